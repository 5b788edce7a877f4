// The toolbar window on GTK 3: its pictures, its own caption and every event,
// handed to the core as the window message it stands for. Its boxes, dialogs
// and menu are in gtk_boxes.cpp.
#include "../../app/app.h"
#include "../../engine/types.h"
#include "../../resources/art_data.h"
#include "../../resources/hand_cursor.h"
#include "gtk_backend.h"
#include "gtk_caption.h"
#include "gtk_layer.h"
#include "../ui.h"
#include "../linux/linux_input.h"
#include "../wayland/wl_devices.h"
#include <cstring>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <string>

namespace {

constexpr int KEY_R = 240, KEY_G = 240, KEY_B = 240;

GtkWidget *g_window = nullptr;
GtkWidget *g_area = nullptr;
cairo_surface_t *g_strip = nullptr;
GdkCursor *g_hand = nullptr;
bool g_handShown = false;
// The frame's place on the screen, while no event said it changed.
PlatRect g_frame = {0, 0, 0, 0};
bool g_frameKnown = false;
std::string g_caption;

// ---- pictures ----

uint32_t Le32(const unsigned char *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The strip as an image whose key-coloured pixels are fully transparent,
// so the window's own background shows through them.
cairo_surface_t *LoadStrip() {
    const unsigned char *b = kStripBmp;
    uint32_t off = Le32(b + 10);
    int32_t w = int32_t(Le32(b + 18)), h = int32_t(Le32(b + 22));
    if (w <= 0 || h == 0 || (b[28] | b[29] << 8) != 24) return nullptr;
    bool bottomUp = h > 0;
    if (h < 0) h = -h;
    uint32_t stride = (uint32_t(w) * 3 + 3) & ~3u;
    if (off + stride * uint32_t(h) > sizeof kStripBmp) return nullptr;
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_surface_flush(s);
    unsigned char *dst = cairo_image_surface_get_data(s);
    int dstStride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; y++) {
        const unsigned char *row = b + off + stride * uint32_t(bottomUp ? h - 1 - y : y);
        uint32_t *out = reinterpret_cast<uint32_t *>(dst + dstStride * y);
        for (int x = 0; x < w; x++) {
            int bl = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
            out[x] = (r == KEY_R && g == KEY_G && bl == KEY_B)
                         ? 0u
                         : 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(bl);
        }
    }
    cairo_surface_mark_dirty(s);
    return s;
}

GdkPixbuf *PixbufFromPng(const unsigned char *data, gsize len) {
    GdkPixbufLoader *loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    if (!loader) return nullptr;
    GdkPixbuf *pb = nullptr;
    if (gdk_pixbuf_loader_write(loader, data, len, nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr)) {
        pb = gdk_pixbuf_loader_get_pixbuf(loader);
        if (pb) g_object_ref(pb);
    }
    g_object_unref(loader);
    return pb;
}

void SetProgramIcons() {
    GList *list = nullptr;
    const struct {
        const unsigned char *data;
        gsize len;
    } icons[] = {{kIconPng48, sizeof kIconPng48},
                 {kIconPng32, sizeof kIconPng32},
                 {kIconPng16, sizeof kIconPng16}};
    for (auto &i : icons)
        if (GdkPixbuf *pb = PixbufFromPng(i.data, i.len)) list = g_list_append(list, pb);
    gtk_window_set_default_icon_list(list);
    g_list_free_full(list, g_object_unref);
}

// The two masks give black, white or see-through pixels; the inverting
// combination has no counterpart here and shows black.
GdkCursor *MakeHandCursor() {
    cairo_surface_t *s =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, HAND_CURSOR_SIZE, HAND_CURSOR_SIZE);
    cairo_surface_flush(s);
    unsigned char *dst = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < HAND_CURSOR_SIZE; y++) {
        uint32_t *out = reinterpret_cast<uint32_t *>(dst + stride * y);
        for (int x = 0; x < HAND_CURSOR_SIZE; x++) {
            int byte = y * 4 + x / 8, bit = 0x80 >> (x % 8);
            bool andBit = HAND_CURSOR_AND[byte] & bit, xorBit = HAND_CURSOR_XOR[byte] & bit;
            if (andBit && !xorBit)
                out[x] = 0;
            else
                out[x] = (!andBit && xorBit) ? 0xFFFFFFFFu : 0xFF000000u;
        }
    }
    cairo_surface_mark_dirty(s);
    GdkCursor *c =
        gdk_cursor_new_from_surface(gdk_display_get_default(), s, HAND_HOTSPOT_X, HAND_HOTSPOT_Y);
    cairo_surface_destroy(s);
    return c;
}

// ---- toolbar events ----

// Positions of the whole window in client pixels and back: the frame and
// the caption strip lie above and left of the client area.
constexpr int CLIENT_LEFT = TOOLBAR_FRAME, CLIENT_TOP = TOOLBAR_FRAME + TOOLBAR_CAPTION;

// A position in the client area as the core takes it: device pixels.
int32_t ClientParam(double x, double y) {
    int32_t s = PlatToolbarScale();
    int cx = int(x - CLIENT_LEFT) * s, cy = int(y - CLIENT_TOP) * s;
    if (cx < 0) cx = 0;
    if (cy < 0) cy = 0;
    return int32_t(uint32_t(cx & 0xFFFF) | uint32_t(cy & 0xFFFF) << 16);
}

gboolean OnDraw(GtkWidget *w, cairo_t *cr, gpointer) {
    CaptionDraw(cr, gtk_widget_get_allocated_width(w), gtk_widget_get_allocated_height(w),
                g_caption.c_str());
    // The caption's text alone (its clock) leaves the buttons as they are.
    GdkRectangle clip;
    if (!g_strip || (gdk_cairo_get_clip_rectangle(cr, &clip) && clip.y + clip.height <= CLIENT_TOP))
        return FALSE;
    for (int i = 0; i < 6; i++) {
        int dx = CLIENT_LEFT + ButtonDestX(i), dy = CLIENT_TOP + 5, sx = ButtonSourceX(i);
        cairo_save(cr);
        cairo_rectangle(cr, dx, dy, 16, 16);
        cairo_clip(cr);
        cairo_set_source_surface(cr, g_strip, dx - sx, dy);
        // Whole-number scaling pixel for pixel: at 2x every picture pixel
        // becomes a sharp 2x2 block, not a blur.
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
        cairo_restore(cr);
    }
    return FALSE;
}

gboolean OnButtonPress(GtkWidget *, GdkEventButton *e, gpointer) {
    // A second and third press of a double click arrive as extra events;
    // every single press already came as its own event.
    if (e->type == GDK_BUTTON_PRESS && e->button == 1)
        // A click activates the toolbar, so O and Enter reach it afterwards,
        // also where no window manager hands out the focus.
        gtk_window_present_with_time(GTK_WINDOW(g_window), e->time);
    if (CaptionPress(GTK_WINDOW(g_window), e, gtk_widget_get_allocated_width(g_area))) return TRUE;
    if (e->type != GDK_BUTTON_PRESS || e->button != 1) return FALSE;
    AppWindowProc(MSG_LBUTTONDOWN, 1, ClientParam(e->x, e->y));
    return TRUE;
}

gboolean OnButtonRelease(GtkWidget *, GdkEventButton *e, gpointer) {
    if (e->button == 1 && ToolbarLayerDragEnd()) return TRUE;
    return CaptionRelease(e, gtk_widget_get_allocated_width(g_area));
}

gboolean OnFrameChange(GtkWidget *, GdkEvent *, gpointer) {
    g_frameKnown = false;
    return FALSE;
}

// A warp onto or off the toolbar brings no raw motion; the toolbar's own
// events say the pointer stands elsewhere, for the tips. A layer surface
// takes keys only with the pointer over it. Where the desktop shows no
// program the pointer (Wayland), the toolbar's surface still does: a press
// while it is over it is a press on it.
gboolean OnCrossing(GtkWidget *, GdkEventCrossing *e, gpointer) {
    WlDevicesSetOverToolbar(e->type == GDK_ENTER_NOTIFY);
    LinuxInputBackend().pointerMoved();
    // Pointer grabs and ungrabs (a menu, a drag) move no pointer.
    if (e->mode == GDK_CROSSING_NORMAL)
        ToolbarLayerPointer(GTK_WINDOW(g_window), e->type == GDK_ENTER_NOTIFY);
    InputArrived();
    return FALSE;
}

gboolean OnMotion(GtkWidget *, GdkEventMotion *e, gpointer) {
    if (ToolbarLayerDragMotion(GTK_WINDOW(g_window), e)) return TRUE;
    LinuxInputBackend().pointerMoved();
    InputArrived();
    // The hand belongs to the buttons; the caption keeps the arrow.
    if (e->y < CLIENT_TOP) {
        if (g_handShown) gdk_window_set_cursor(e->window, nullptr);
        g_handShown = false;
        return FALSE;
    }
    AppWindowProc(MSG_MOUSEMOVE, 0, ClientParam(e->x, e->y));
    return FALSE;
}

gboolean OnKeyPress(GtkWidget *, GdkEventKey *e, gpointer) {
    uint32_t vk = LinuxInputBackend().vkOfKeycode(e->hardware_keycode, e->keyval);
    if (!vk) return FALSE;
    AppWindowProc(MSG_KEYDOWN, vk, 0);
    return FALSE;
}

gboolean OnDelete(GtkWidget *, GdkEvent *, gpointer) {
    AppWindowProc(MSG_CLOSE, 0, 0);
    return TRUE; // the core decides; it destroys the window itself
}

} // namespace

GtkWindow *ToolbarWindow() {
    return g_window ? GTK_WINDOW(g_window) : nullptr;
}

GdkCursor *ToolbarHandCursor() {
    return g_hand;
}

// ---- main window ----

bool PlatCreateMainWindow(int32_t x, int32_t y, int32_t w, int32_t h) {
    SetProgramIcons();
    g_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (!g_window) return false;
    GtkWindow *win = GTK_WINDOW(g_window);
    gtk_window_set_title(win, PROGRAM_NAME);
    g_caption = PROGRAM_NAME;
    gtk_window_set_type_hint(win, GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_keep_above(win, TRUE);
    gtk_window_set_resizable(win, FALSE);
    gtk_window_set_skip_taskbar_hint(win, TRUE);
    // The window draws its own frame and small caption, the status line; a
    // manager's title bar would cut it to an ellipsis at this width.
    gtk_window_set_decorated(win, FALSE);
    g_area = gtk_drawing_area_new();
    // The core's sizes and places are in device pixels, GTK's in scaled ones.
    int32_t s = PlatToolbarScale();
    int32_t cw = w > 0 ? w / s : CLIENT_WIDTH, ch = h > 0 ? h / s : CLIENT_HEIGHT;
    gtk_widget_set_size_request(g_area, cw, ch);
    gtk_widget_add_events(g_area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                      GDK_POINTER_MOTION_MASK | GDK_ENTER_NOTIFY_MASK |
                                      GDK_LEAVE_NOTIFY_MASK);
    gtk_widget_set_can_focus(g_area, TRUE);
    gtk_container_add(GTK_CONTAINER(g_window), g_area);
    g_signal_connect(g_area, "draw", G_CALLBACK(OnDraw), nullptr);
    g_signal_connect(g_area, "button-press-event", G_CALLBACK(OnButtonPress), nullptr);
    g_signal_connect(g_area, "button-release-event", G_CALLBACK(OnButtonRelease), nullptr);
    g_signal_connect(g_area, "motion-notify-event", G_CALLBACK(OnMotion), nullptr);
    g_signal_connect(g_area, "enter-notify-event", G_CALLBACK(OnCrossing), nullptr);
    g_signal_connect(g_area, "leave-notify-event", G_CALLBACK(OnCrossing), nullptr);
    g_signal_connect(g_window, "key-press-event", G_CALLBACK(OnKeyPress), nullptr);
    g_signal_connect(g_window, "delete-event", G_CALLBACK(OnDelete), nullptr);
    for (const char *change :
         {"configure-event", "map-event", "unmap-event", "property-notify-event"})
        g_signal_connect(g_window, change, G_CALLBACK(OnFrameChange), nullptr);
    if (!ToolbarLayerSetUp(win, x / s, y / s)) {
        gtk_window_move(win, x / s, y / s);
        // Through Xwayland on a Wayland desktop, mapping must not take the
        // keyboard from the window a playback asked for at start types into.
        if (PlatWaylandSession()) gtk_window_set_focus_on_map(win, FALSE);
    }
    gtk_widget_show(g_area);
    gtk_widget_realize(g_window);
    GdkWindow *gw = gtk_widget_get_window(g_window);
    if (!gw) {
        gtk_widget_destroy(g_window);
        g_window = g_area = nullptr;
        return false;
    }
    // For managers that frame it anyway: no minimize, maximize or resize.
    gdk_window_set_functions(gw, GdkWMFunction(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
    LinuxInputBackend().setToolbarWindow(PlatMainWindowId());
    AppWindowProc(MSG_CREATE, 0, 0);
    return true;
}

void PlatShowMainWindow(bool show) {
    if (!g_window) return;
    // Shown without taking the keyboard: a recording played at start goes
    // to the window that had it.
    if (show) {
        gtk_widget_show(g_window);
    } else {
        gtk_widget_hide(g_window);
    }
}

uint32_t PlatMainWindowId() {
    if (!g_window) return 0;
    GdkWindow *gw = gtk_widget_get_window(g_window);
    if (!gw) return 0;
    // A Wayland surface has no id another client could name; any fixed
    // non-zero value tells the toolbar apart from "no window".
    return GDK_IS_X11_WINDOW(gw) ? uint32_t(GDK_WINDOW_XID(gw)) : 1;
}

void PlatDestroyMainWindow() {
    if (!g_window) return;
    AppWindowProc(MSG_DESTROY, 0, 0);
    GtkWidget *w = g_window;
    g_window = g_area = nullptr;
    g_frameKnown = false;
    LinuxInputBackend().setToolbarWindow(0);
    gtk_widget_destroy(w);
}

void PlatSetCaption(const char *text) {
    g_caption = text ? text : "";
    if (!g_window) return;
    // The title too, for task switchers and the manager's own frame.
    gtk_window_set_title(GTK_WINDOW(g_window), g_caption.c_str());
    // Only the text's area: a recording's clock changes it every second.
    if (g_area) {
        GdkRectangle r = CaptionTextArea(gtk_widget_get_allocated_width(g_area));
        gtk_widget_queue_draw_area(g_area, r.x, r.y, r.width, r.height);
    }
}

void PlatGetCaption(char *buf, uint32_t size) {
    CopyText(buf, size, g_caption.c_str());
}

void PlatInvalidate() {
    if (g_area) gtk_widget_queue_draw(g_area);
}

void PlatGetWindowRect(PlatRect *r) {
    *r = {0, 0, 0, 0};
    if (!g_window) return;
    if (ToolbarIsLayer()) {
        // No client learns a Wayland surface's place; the layer surface's is
        // the one its margins give it.
        GdkRectangle f;
        ToolbarLayerRect(GTK_WINDOW(g_window), &f);
        int32_t s = PlatToolbarScale();
        *r = {f.x * s, f.y * s, (f.x + f.width) * s, (f.y + f.height) * s};
        return;
    }
    GdkWindow *gw = gtk_widget_get_window(g_window);
    if (!gw) return;
    // The frame's place costs four round trips; the idle poll asks for it
    // twenty times a second, and it changes only with a configure, map or
    // property event of the window (a move, a new frame).
    if (!g_frameKnown) {
        GdkRectangle f;
        gdk_window_get_frame_extents(gw, &f);
        int32_t s = PlatToolbarScale();
        g_frame = {f.x * s, f.y * s, (f.x + f.width) * s, (f.y + f.height) * s};
        g_frameKnown = true;
    }
    *r = g_frame;
}

void PlatFrameMetrics(int32_t *dlgFrame, int32_t *smallCaption) {
    int32_t s = PlatToolbarScale();
    *dlgFrame = TOOLBAR_FRAME * s;
    *smallCaption = TOOLBAR_CAPTION * s;
}

void PlatToolbarTakesKeys(bool take) {
    if (!g_window) return;
    if (ToolbarIsLayer()) {
        if (take) LinuxInputBackend().settle();
        ToolbarLayerTakesKeys(GTK_WINDOW(g_window), take);
    } else if (PlatWaylandSession()) {
        // Xwayland or a plain Wayland window: one that does not accept the
        // focus is not given it while a playback runs. On X11 the toolbar
        // keeps what it always did.
        gtk_window_set_accept_focus(GTK_WINDOW(g_window), take);
    }
}

uint32_t PlatGetVersionMajor() {
    return 6;
}

void PlatCreateGraphics() {
    if (!g_strip) g_strip = LoadStrip();
    if (!g_hand) g_hand = MakeHandCursor();
}

void PlatDestroyGraphics() {
    if (g_strip) cairo_surface_destroy(g_strip);
    g_strip = nullptr;
    if (g_hand) g_object_unref(g_hand);
    g_hand = nullptr;
    g_handShown = false;
}

void PlatSetHandCursor() {
    if (g_handShown || !g_hand || !g_area) return;
    GdkWindow *gw = gtk_widget_get_window(g_area);
    if (!gw) return;
    gdk_window_set_cursor(gw, g_hand);
    g_handShown = true;
}
