// What the X server lets the program do, for the check. It asks on a
// connection of its own: the check runs before, and without, the toolbar.
#include "../control.h"
#include "../linux/linux_input.h"
#include "x11_backend.h"
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <cstdio>

namespace {

void Set(CheckLine *l, bool works, const char *text, const char *advice = "") {
    l->works = works;
    std::snprintf(l->text, sizeof l->text, "%s", text);
    std::snprintf(l->advice, sizeof l->advice, "%s", advice);
}

} // namespace

void X11Check(CheckReport *r, bool underWayland) {
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        Set(&r->session, false, "none (no X display can be opened)",
            "start Quorvane inside a desktop session");
        Set(&r->playback, false, "none (no display)");
        Set(&r->recording, false, "none (no display)");
        Set(&r->pointer, false, "unknown (no display)");
        Set(&r->hotkeys, false, "none (no display)");
        return;
    }
    char text[200];
    std::snprintf(text, sizeof text, "x11 (display %s)%s", DisplayString(dpy),
                  underWayland ? " through Xwayland on a Wayland session" : "");
    Set(&r->session, true, text);
    // Through Xwayland the X server hears only its own clients: input given
    // to native Wayland windows never reaches it, and it cannot reach them.
    const char *onlyX = underWayland ? ", X11 windows only" : "";
    const char *wayAdvice =
        underWayland ? "native Wayland windows need the Wayland session's own routes" : "";
    int ev = 0, err = 0, major = 0, minor = 0;
    if (XTestQueryExtension(dpy, &ev, &err, &major, &minor)) {
        std::snprintf(text, sizeof text, "XTest%s", onlyX);
        Set(&r->playback, !underWayland, text, wayAdvice);
    } else {
        Set(&r->playback, false, "none (the X server has no XTest extension)",
            "use an X server with XTest (every desktop's Xorg and Xwayland have it)");
    }
    std::snprintf(text, sizeof text, "keys and buttons polled from the X server%s", onlyX);
    Set(&r->recording, !underWayland, text, wayAdvice);
    Window root = 0, child = 0;
    int x = 0, y = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    if (XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &x, &y, &wx, &wy, &mask)) {
        std::snprintf(text, sizeof text, "%d,%d (X server)%s", x, y,
                      underWayland ? ", frozen while over a native Wayland window" : "");
        Set(&r->pointer, !underWayland, text);
    } else {
        Set(&r->pointer, false, "unknown (the pointer is on another screen)");
    }
    std::snprintf(text, sizeof text, "polled on the X server%s", onlyX);
    Set(&r->hotkeys, !underWayland, text,
        underWayland ? "bind quorvane --record, --play and --stop to keys in the desktop's "
                       "keyboard settings"
                     : "");
    XCloseDisplay(dpy);
}

void X11CheckLines(CheckReport *r) {
    X11Check(r, LinuxSessionWanted() == SESSION_WAYLAND);
}
