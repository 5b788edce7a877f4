// The check on Linux: the backend the session calls for answers it. The
// check runs before the toolbar exists (quorvane --check) and beside it
// (the Wayland notice); the backend is opened for the question only when
// nobody has opened it yet, and closed again after.
#include "../control.h"
#include "linux_input.h"
#include <cstdio>
#include <initializer_list>

void PlatCheck(CheckReport *r) {
    bool opened = !LinuxInputIsOpen();
    if (!LinuxInputOpen()) {
        bool wayland = LinuxSessionWanted() == SESSION_WAYLAND;
        r->session.works = false;
        std::snprintf(r->session.text, sizeof r->session.text,
                      "none (no %s display can be reached)", wayland ? "Wayland or X11" : "X11");
        std::snprintf(r->session.advice, sizeof r->session.advice,
                      "start Quorvane inside a desktop session");
        for (CheckLine *l : {&r->playback, &r->recording, &r->hotkeys}) {
            l->works = false;
            std::snprintf(l->text, sizeof l->text, "none (no display)");
        }
        return;
    }
    LinuxInputBackend().check(r);
    if (opened) LinuxInputClose();
}
