// What a Wayland session lets the program do, for the check: the backend is
// opened as the toolbar would open it (its route, the input devices, the
// desktop's pointer source) and closed again.
#include "../control.h"
#include "../linux/linux_input.h"
#include "wl_devices.h"
#include <cstdio>
#include <cstdlib>

namespace {

void Set(CheckLine *l, bool works, const char *text, const char *advice = "") {
    l->works = works;
    std::snprintf(l->text, sizeof l->text, "%s", text);
    std::snprintf(l->advice, sizeof l->advice, "%s", advice);
}

} // namespace

// Fills every line; false when no Wayland compositor answers.
bool WlCheck(CheckReport *r) {
    if (!kWaylandInput.open()) return false;
    char text[200];
    const char *display = std::getenv("WAYLAND_DISPLAY");
    std::snprintf(text, sizeof text, "wayland (display %s)", display ? display : "wayland-0");
    Set(&r->session, true, text);
    if (const char *route = kWaylandInput.route())
        Set(&r->playback, true, route);
    else
        Set(&r->playback, false, "none", kWaylandInput.why());
    r->recording.works = WlRecordingLine(r->recording.text, sizeof r->recording.text,
                                         r->recording.advice, sizeof r->recording.advice);
    r->pointer.works = WlPointerLine(r->pointer.text, sizeof r->pointer.text, r->pointer.advice,
                                     sizeof r->pointer.advice);
    // The hotkeys and the stop keys are read from the same devices.
    if (r->recording.works)
        Set(&r->hotkeys, true, "read from the input devices");
    else
        Set(&r->hotkeys, false, "none",
            "bind quorvane --record, --play and --stop to keys in the desktop's keyboard "
            "settings");
    kWaylandInput.close();
    return true;
}
