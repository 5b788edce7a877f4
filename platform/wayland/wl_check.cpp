// What a Wayland session lets the program do, for the check and the notice.
#include "wl_check.h"
#include "../control.h"
#include "wl_devices.h"
#include "wl_session.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Set(CheckLine *l, bool works, const char *text, const char *advice = "") {
    l->works = works;
    std::snprintf(l->text, sizeof l->text, "%s", text);
    std::snprintf(l->advice, sizeof l->advice, "%s", advice);
}

// What each route is, for a reader who does not know the names.
const struct {
    const char *name, *what;
} kRouteWords[] = {
    {"mutter", "GNOME's remote desktop interface"},
    {"kwin", "KWin's fake input"},
    {"wlroots", "virtual keyboard and pointer"},
    {"uinput", "a kernel input device, /dev/uinput"},
};

const char *RouteWords(const char *name) {
    for (auto &r : kRouteWords)
        if (std::strcmp(r.name, name) == 0) return r.what;
    return "";
}

} // namespace

void WlCheck(CheckReport *r, const char *route, const char *why) {
    const char *socket = std::getenv("WAYLAND_DISPLAY");
    if (!WlDisplay()) {
        char text[200];
        std::snprintf(text, sizeof text, "wayland (%s cannot be reached)",
                      socket && socket[0] ? socket : "no WAYLAND_DISPLAY");
        Set(&r->session, false, text, "start Quorvane inside the desktop session");
        return;
    }
    char text[200];
    std::snprintf(text, sizeof text, "wayland (%s)", socket && socket[0] ? socket : "wayland-0");
    Set(&r->session, true, text);
    if (route) {
        std::snprintf(text, sizeof text, "%s (%s), into every window", route, RouteWords(route));
        Set(&r->playback, true, text);
    } else {
        std::snprintf(text, sizeof text, "none (%s)", why && why[0] ? why : "no route opened");
        Set(&r->playback, false, text,
            "GNOME and KDE Plasma are served by their own interfaces, wlroots desktops by "
            "virtual devices; elsewhere give your user write access to /dev/uinput");
    }
    WlCheckRecording(&r->recording);
    WlCheckPointer(&r->pointer);
    WlCheckHotkeys(&r->hotkeys);
}

// The input devices, where the user may read them.
void WlCheckRecording(CheckLine *l) {
    l->works = WlRecordingLine(l->text, sizeof l->text, l->advice, sizeof l->advice);
}

void WlCheckPointer(CheckLine *l) {
    l->works = WlPointerLine(l->text, sizeof l->text, l->advice, sizeof l->advice);
}

// The hotkeys and the stop keys are read from the same devices.
void WlCheckHotkeys(CheckLine *l) {
    if (WlRecordingAvailable())
        Set(l, true, "read from the input devices");
    else
        Set(l, false, "none (no input device can be read)",
            "bind quorvane --record, --play and --stop to keys in the desktop's keyboard "
            "settings");
}
