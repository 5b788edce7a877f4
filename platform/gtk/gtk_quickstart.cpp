// What the toolkit's start may leave out. The toolbar draws with cairo
// alone and a playback started from the command line is timed from the
// process start, so work GTK does at start for features the program never
// uses is time a user sees before the first played event. Each piece left
// out below was measured on a display where the program had not run before.
#include "gtk_backend.h"
#include "../../engine/types.h"
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

// Set here, given back once the toolkit has read them: a browser the
// Website item starts gets the environment the program was given.
bool s_setGl, s_setBridge, s_setTheme;
// The start's small style is in use; the desktop's theme is still to load.
bool s_startTheme;

// Where the toolkit looks for a theme of that name before any folder; the
// program carries it (resources/gtk).
const char kStartTheme[] = "QuorvaneStart";
const char kStartThemePath[] = "/org/gtk/libgtk/theme/QuorvaneStart/gtk.css";
const guint kThemeCheckMs = 250;

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

gboolean ThemeWhenPlaybackEnds(gpointer) {
    if (PlatTimerArmed(TIMER_PLAY)) return G_SOURCE_CONTINUE;
    ToolkitThemeNeeded();
    return G_SOURCE_REMOVE;
}

} // namespace

void QuickStartBefore() {
    // GDK looks for OpenGL visuals when it opens the display: that loads
    // the GL driver into the process (a software one, tens of megabytes,
    // on a server without a GPU) and, the first time on a display, has the
    // server load its own. Nothing here draws with GL.
    if (!std::getenv("GDK_GL")) s_setGl = setenv("GDK_GL", "disable", 0) == 0;
}

void QuickStartToolkit(bool playsAtOnce) {
    // With no session bus, the accessibility bridge would start one
    // (dbus-launch), then the accessibility bus and its registry, for
    // nobody: no assistive program can be listening on a bus started now.
    // The first start on a display paid several hundred milliseconds for
    // it; later starts found the bus the first one left behind. Where an
    // assistive program could be listening the bridge is left alone.
    if (!std::getenv("NO_AT_BRIDGE") && !SessionBusKnown() && !AccessibilityBusShown())
        s_setBridge = setenv("NO_AT_BRIDGE", "1", 0) == 0;
    // The desktop's theme is thousands of style rules, whose parsing was
    // most of making the first window: a playback asked for at start runs
    // first with a style of one rule, the toolbar drawing itself anyway.
    // A theme the user named is honoured at once.
    if (playsAtOnce && !std::getenv("GTK_THEME") &&
        g_resources_get_info(kStartThemePath, G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr, nullptr,
                             nullptr))
        s_setTheme = setenv("GTK_THEME", kStartTheme, 0) == 0;
}

void QuickStartAfter() {
    if (s_setGl) unsetenv("GDK_GL");
    if (s_setBridge) unsetenv("NO_AT_BRIDGE");
    if (s_setTheme) {
        // The settings read the theme's name when they are made: made now,
        // with the start's style, the environment can be given back.
        gtk_settings_get_default();
        unsetenv("GTK_THEME");
        s_startTheme = true;
        g_timeout_add_full(G_PRIORITY_LOW, kThemeCheckMs, ThemeWhenPlaybackEnds, nullptr, nullptr);
    }
    s_setGl = s_setBridge = s_setTheme = false;
}

void ToolkitThemeNeeded() {
    if (!s_startTheme) return;
    s_startTheme = false;
    // Told the name changed, the settings read it again, this time from
    // the desktop, as when the user picks another theme.
    g_object_notify(G_OBJECT(gtk_settings_get_default()), "gtk-theme-name");
}
