// What the toolkit's start may leave out. The toolbar draws with cairo
// alone and a playback started from the command line is timed from the
// process start, so work GTK does at start for features the program never
// uses is time a user sees before the first played event. Both parts were
// measured on a display where the program had not run before.
#include "gtk_backend.h"
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

// Set here, given back once the toolkit has read them: a browser the
// Website item starts gets the environment the program was given.
bool s_setGl, s_setBridge;

// A session bus reachable without starting one: named in the environment,
// or the user's bus socket where a session manager keeps it.
bool SessionBusKnown() {
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS")) return true;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !runtime[0]) return false;
    struct stat st;
    return stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// An accessibility bus announced on the display (its launcher puts the
// address on the root window), which assistive programs of this display
// share whether or not there is a session bus.
bool AccessibilityBusShown() {
    Display *d = XOpenDisplay(nullptr);
    if (!d) return false;
    bool shown = false;
    Atom atom = XInternAtom(d, "AT_SPI_BUS", True);
    if (atom != None) {
        Atom type = None;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(d, DefaultRootWindow(d), atom, 0, 1024, False, AnyPropertyType,
                               &type, &format, &n, &after, &data) == Success)
            shown = type != None && n > 0;
        if (data) XFree(data);
    }
    XCloseDisplay(d);
    return shown;
}

} // namespace

void QuickStartBefore() {
    // GDK looks for OpenGL visuals when it opens the display: that loads
    // the GL driver into the process (a software one, tens of megabytes,
    // on a server without a GPU) and, the first time on a display, has the
    // server load its own. Nothing here draws with GL.
    if (!std::getenv("GDK_GL")) s_setGl = setenv("GDK_GL", "disable", 0) == 0;
    // With no session bus, the accessibility bridge would start one
    // (dbus-launch), then the accessibility bus and its registry, for
    // nobody: no assistive program can be listening on a bus started now.
    // The first start on a display paid several hundred milliseconds for
    // it; later starts found the bus the first one left behind. Where an
    // assistive program could be listening the bridge is left alone.
    if (!std::getenv("NO_AT_BRIDGE") && !SessionBusKnown() && !AccessibilityBusShown())
        s_setBridge = setenv("NO_AT_BRIDGE", "1", 0) == 0;
}

void QuickStartAfter() {
    if (s_setGl) unsetenv("GDK_GL");
    if (s_setBridge) unsetenv("NO_AT_BRIDGE");
    s_setGl = s_setBridge = false;
}
