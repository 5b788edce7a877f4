// The toolbar as a layer surface (gtk_layer.h). Anchored to the top and
// left edges of one monitor, its margins are its place on that monitor.
#include "gtk_layer.h"
#include <cstdlib>
#include <cstring>
#include <gdk/gdkwayland.h>
#include <gtk-layer-shell.h>
#include <wayland-client.h>

namespace {

bool g_layer = false;
GdkRectangle g_monitor = {0, 0, 0, 0};
int g_left = 0, g_top = 0; // margins
bool g_dragging = false;
bool g_take = false, g_inside = false, g_asked = false;
double g_pressX = 0, g_pressY = 0;

void OnGlobal(void *data, wl_registry *, uint32_t, const char *iface, uint32_t) {
    if (std::strcmp(iface, "zwlr_layer_shell_v1") == 0) *static_cast<bool *>(data) = true;
}
void OnGlobalRemove(void *, wl_registry *, uint32_t) {}
const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};

// One look at the compositor's globals on a connection of its own: the
// toolkit's backend must be chosen before the toolkit can be asked.
bool OffersLayerShell() {
    wl_display *d = wl_display_connect(nullptr);
    if (!d) return false;
    bool found = false;
    wl_registry *r = wl_display_get_registry(d);
    wl_registry_add_listener(r, &kRegistry, &found);
    wl_display_roundtrip(d);
    wl_registry_destroy(r);
    wl_display_disconnect(d);
    return found;
}

void Place(GtkWindow *w) {
    gtk_layer_set_margin(w, GTK_LAYER_SHELL_EDGE_LEFT, g_left);
    gtk_layer_set_margin(w, GTK_LAYER_SHELL_EDGE_TOP, g_top);
}

} // namespace

const char *ToolbarBackends(bool waylandSession) {
    if (!waylandSession) return "x11";
    if (OffersLayerShell()) return "wayland";
    const char *x = std::getenv("DISPLAY");
    return x && x[0] ? "x11,wayland" : "wayland";
}

bool ToolbarLayerSetUp(GtkWindow *w, int x, int y) {
    GdkDisplay *display = gdk_display_get_default();
    if (!display || !GDK_IS_WAYLAND_DISPLAY(display) || !gtk_layer_is_supported()) return false;
    gtk_layer_init_for_window(w);
    gtk_layer_set_namespace(w, "quorvane");
    gtk_layer_set_layer(w, GTK_LAYER_SHELL_LAYER_OVERLAY);
    gtk_layer_set_anchor(w, GTK_LAYER_SHELL_EDGE_LEFT, TRUE);
    gtk_layer_set_anchor(w, GTK_LAYER_SHELL_EDGE_TOP, TRUE);
    // Placed against the monitor's own edges, not pushed aside by panels:
    // a saved place means the same spot at every start.
    gtk_layer_set_exclusive_zone(w, -1);
    // Mapped without the keyboard: a playback asked for at start types into
    // the window that has it. Taking keys on a click comes once idle.
    gtk_layer_set_keyboard_mode(w, GTK_LAYER_SHELL_KEYBOARD_MODE_NONE);
    GdkMonitor *monitor = gdk_display_get_monitor_at_point(display, x, y);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (monitor) {
        gtk_layer_set_monitor(w, monitor);
        gdk_monitor_get_geometry(monitor, &g_monitor);
    }
    g_left = x - g_monitor.x;
    g_top = y - g_monitor.y;
    if (g_left < 0) g_left = 0;
    if (g_top < 0) g_top = 0;
    Place(w);
    g_layer = true;
    return true;
}

bool ToolbarIsLayer() {
    return g_layer;
}

// Keys on demand only while idle and while the pointer is over the toolbar:
// some compositors (sway 1.7) hand the keyboard to an overlay surface as
// soon as it asks for keys on demand, not on a click, and give it back to
// the window that had it once the surface asks for none again.
void Apply(GtkWindow *w) {
    bool want = g_take && g_inside;
    if (want == g_asked) return;
    g_asked = want;
    gtk_layer_set_keyboard_mode(w, want ? GTK_LAYER_SHELL_KEYBOARD_MODE_ON_DEMAND
                                        : GTK_LAYER_SHELL_KEYBOARD_MODE_NONE);
    // In force now, not at the next frame: the playback's first events come
    // on the backend's own connection, and a button let go over a surface
    // that still takes keys would hand it the keyboard.
    GdkWindow *gw = gtk_widget_get_window(GTK_WIDGET(w));
    if (!gw || !gdk_window_is_visible(gw)) return;
    if (wl_surface *surface = gdk_wayland_window_get_wl_surface(gw)) wl_surface_commit(surface);
    gdk_display_sync(gdk_window_get_display(gw));
}

void ToolbarLayerTakesKeys(GtkWindow *w, bool take) {
    if (!g_layer) return;
    g_take = take;
    Apply(w);
}

void ToolbarLayerPointer(GtkWindow *w, bool inside) {
    if (!g_layer) return;
    g_inside = inside;
    Apply(w);
}

void ToolbarLayerRect(GtkWindow *w, GdkRectangle *r) {
    int width = 0, height = 0;
    gtk_window_get_size(w, &width, &height);
    *r = {g_monitor.x + g_left, g_monitor.y + g_top, width, height};
}

void ToolbarLayerDragStart(const GdkEventButton *e) {
    g_dragging = true;
    g_pressX = e->x;
    g_pressY = e->y;
}

bool ToolbarLayerDragMotion(GtkWindow *w, const GdkEventMotion *e) {
    if (!g_dragging) return false;
    // The pointer's place in the surface, which moves with each step: the
    // step is how far it left the spot where the press took the caption.
    int dx = int(e->x - g_pressX), dy = int(e->y - g_pressY);
    if (!dx && !dy) return true;
    int width = 0, height = 0;
    gtk_window_get_size(w, &width, &height);
    g_left += dx;
    g_top += dy;
    // Kept on its monitor, as a saved place is at start.
    if (g_left > g_monitor.width - width) g_left = g_monitor.width - width;
    if (g_top > g_monitor.height - height) g_top = g_monitor.height - height;
    if (g_left < 0) g_left = 0;
    if (g_top < 0) g_top = 0;
    Place(w);
    return true;
}

bool ToolbarLayerDragEnd() {
    bool was = g_dragging;
    g_dragging = false;
    return was;
}
