// The desktop around the toolbar on GTK: the primary monitor, the toolkit's
// whole-number scale and the kind of session. GTK counts in scaled pixels,
// X in device pixels; everything handed to the core is in device pixels, the
// pointer's and the recorder's system.
#include "../../app/appcore.h"
#include "../ui.h"
#include <cstdio>
#include <cstdlib>
#include <gtk/gtk.h>

namespace {

GdkMonitor *PrimaryMonitor() {
    GdkDisplay *d = gdk_display_get_default();
    if (!d) return nullptr;
    // Without a primary one (no RandR output marked, or Xinerama heads), the
    // first monitor stands in, as the desktop itself treats it.
    GdkMonitor *m = gdk_display_get_primary_monitor(d);
    return m ? m : gdk_display_get_monitor(d, 0);
}

} // namespace

int32_t PlatToolbarScale() {
    // One answer for the process: the window is sized by it before it exists,
    // and GTK's own scale does not change while it runs.
    static int32_t scale = 0;
    if (!scale) {
        GdkMonitor *m = PrimaryMonitor();
        scale = m ? gdk_monitor_get_scale_factor(m) : 1;
        if (scale < 1) scale = 1;
    }
    return scale;
}

void PlatPrimaryMonitor(PlatRect *r) {
    GdkRectangle g = {0, 0, 0, 0};
    if (GdkMonitor *m = PrimaryMonitor()) gdk_monitor_get_geometry(m, &g);
    int32_t s = PlatToolbarScale();
    *r = {g.x * s, g.y * s, (g.x + g.width) * s, (g.y + g.height) * s};
}

bool PlatWaylandSession() {
    return IsWaylandSession(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE"));
}
