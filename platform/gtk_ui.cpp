// The toolbar, its menu, boxes and dialogs on GTK 3. Every event of the
// toolbar goes to the core as the window message it stands for; this file
// only draws and asks.
#include "../app/app.h"
#include "../engine/types.h"
#include "../resources/art_data.h"
#include "../resources/hand_cursor.h"
#include "gtk_caption.h"
#include "ui.h"
#include "x11_backend.h"
#include "x11_keymap.h"
#include <cstring>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <string>

namespace {

constexpr uint32_t ICON_INFO = 0x40, ICON_WARNING = 0x30, ICON_QUESTION = 0x20, ICON_ERROR = 0x10;
constexpr uint32_t ICON_MASK = 0xF0, BUTTONS_MASK = 0x0F, TOPMOST = 0x40000;
constexpr int KEY_R = 240, KEY_G = 240, KEY_B = 240;

GtkWidget *g_window = nullptr;
GtkWidget *g_area = nullptr;
cairo_surface_t *g_strip = nullptr;
GdkCursor *g_hand = nullptr;
bool g_handShown = false;
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
    if (!g_strip) return FALSE;
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
    return CaptionRelease(e, gtk_widget_get_allocated_width(g_area));
}

gboolean OnMotion(GtkWidget *, GdkEventMotion *e, gpointer) {
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
    uint32_t vk = X11KeymapVkOfKeycode(e->hardware_keycode, e->keyval);
    if (!vk) return FALSE;
    AppWindowProc(MSG_KEYDOWN, vk, 0);
    return FALSE;
}

gboolean OnDelete(GtkWidget *, GdkEvent *, gpointer) {
    AppWindowProc(MSG_CLOSE, 0, 0);
    return TRUE; // the core decides; it destroys the window itself
}

GtkWindow *Owner() {
    return g_window ? GTK_WINDOW(g_window) : nullptr;
}

// ---- nested loops ----

// A menu runs its own loop here; the loop ends once the menu is gone and
// any chosen item has been activated.
struct MenuRun {
    GMainLoop *loop;
    uint32_t chosen;
};

void OnMenuItem(GtkMenuItem *item, gpointer data) {
    MenuRun *run = static_cast<MenuRun *>(data);
    run->chosen = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "qv-command"));
}

gboolean QuitLoop(gpointer data) {
    g_main_loop_quit(static_cast<GMainLoop *>(data));
    return G_SOURCE_REMOVE;
}

void OnMenuDone(GtkMenuShell *, gpointer data) {
    // The chosen item is activated right after the menu closes: let that
    // happen before the loop ends.
    MenuRun *run = static_cast<MenuRun *>(data);
    g_idle_add_full(G_PRIORITY_LOW, QuitLoop, g_main_loop_ref(run->loop),
                    reinterpret_cast<GDestroyNotify>(g_main_loop_unref));
}

std::string Mnemonic(const char *text) {
    std::string out;
    for (const char *p = text; *p; p++) {
        if (*p == '&' && p[1] == '&') {
            out += '&';
            p++;
        } else if (*p == '&') {
            out += '_';
        } else if (*p == '_') {
            out += "__";
        } else {
            out += *p;
        }
    }
    return out;
}

int BuildMenu(GtkWidget *menu, const PlatMenuItem *items, int n, int i, MenuRun *run) {
    while (i < n) {
        const PlatMenuItem &it = items[i++];
        if (it.kind == MENU_SUBMENU_END) break;
        GtkWidget *w = nullptr;
        switch (it.kind) {
        case MENU_SEPARATOR: w = gtk_separator_menu_item_new(); break;
        case MENU_SUBMENU_BEGIN: {
            w = gtk_menu_item_new_with_mnemonic(Mnemonic(it.text ? it.text : "").c_str());
            GtkWidget *sub = gtk_menu_new();
            i = BuildMenu(sub, items, n, i, run);
            gtk_menu_item_set_submenu(GTK_MENU_ITEM(w), sub);
            break;
        }
        default:
            if (it.checked) {
                w = gtk_check_menu_item_new_with_mnemonic(Mnemonic(it.text ? it.text : "").c_str());
                gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(w), TRUE);
            } else {
                w = gtk_menu_item_new_with_mnemonic(Mnemonic(it.text ? it.text : "").c_str());
            }
            g_object_set_data(G_OBJECT(w), "qv-command", GUINT_TO_POINTER(it.command));
            g_signal_connect(w, "activate", G_CALLBACK(OnMenuItem), run);
            break;
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), w);
    }
    return i;
}

void CopyOut(char *buf, uint32_t size, const char *text) {
    if (!size) return;
    size_t n = text ? strlen(text) : 0;
    if (n >= size) n = size - 1;
    if (n) memcpy(buf, text, n);
    buf[n] = 0;
}

// What the icon bits of a box's flags ask for: the dialog's kind and the
// themed icon that shows it.
struct BoxKind {
    uint32_t icon;
    GtkMessageType type;
    const char *iconName;
};
const BoxKind kBoxKinds[] = {
    {ICON_INFO, GTK_MESSAGE_INFO, "dialog-information-symbolic"},
    {ICON_WARNING, GTK_MESSAGE_WARNING, "dialog-warning-symbolic"},
    {ICON_QUESTION, GTK_MESSAGE_QUESTION, "dialog-question-symbolic"},
    {ICON_ERROR, GTK_MESSAGE_ERROR, "dialog-error-symbolic"},
};

const BoxKind *KindOf(uint32_t flags) {
    for (const BoxKind &k : kBoxKinds)
        if (k.icon == (flags & ICON_MASK)) return &k;
    return nullptr;
}

GtkWidget *NewBox(const char *text, const char *title, uint32_t flags, bool unowned) {
    GtkButtonsType buttons = (flags & BUTTONS_MASK) == 1 ? GTK_BUTTONS_OK_CANCEL : GTK_BUTTONS_OK;
    const BoxKind *kind = KindOf(flags);
    GtkWidget *d = gtk_message_dialog_new(unowned ? nullptr : Owner(), GTK_DIALOG_MODAL,
                                          kind ? kind->type : GTK_MESSAGE_OTHER, buttons, "%s",
                                          text ? text : "");
    const char *t = title ? title : "Error";
    gtk_window_set_title(GTK_WINDOW(d), t);
    if (flags & TOPMOST) gtk_window_set_keep_above(GTK_WINDOW(d), TRUE);
    gtk_window_set_position(GTK_WINDOW(d), unowned || !g_window ? GTK_WIN_POS_CENTER
                                                                : GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_dialog_set_default_response(GTK_DIALOG(d), GTK_RESPONSE_OK);
    // Message boxes of this toolkit no longer draw the kind's icon on their
    // own; the flags ask for one.
    if (kind && gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), kind->iconName)) {
        GtkWidget *img = gtk_image_new_from_icon_name(kind->iconName, GTK_ICON_SIZE_DIALOG);
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(d), img);
        G_GNUC_END_IGNORE_DEPRECATIONS
        gtk_widget_show(img);
    }
    return d;
}

int Answer(int response) {
    return response == GTK_RESPONSE_OK ? 1 : 2;
}

// Digits only, whether typed or pasted.
void DigitsOnly(GtkEditable *e, const gchar *text, gint len, gint *, gpointer) {
    for (gint i = 0; len < 0 ? text[i] != 0 : i < len; i++)
        if (text[i] < '0' || text[i] > '9') {
            g_signal_stop_emission_by_name(e, "insert-text");
            gdk_display_beep(gdk_display_get_default());
            return;
        }
}

gboolean OnLinkPress(GtkWidget *, GdkEventButton *e, gpointer) {
    if (e->type == GDK_BUTTON_PRESS && e->button == 1) PlatPostCommand(ID_WEBSITE, 1);
    return TRUE;
}

void OnLinkRealize(GtkWidget *w, gpointer) {
    if (g_hand) gdk_window_set_cursor(gtk_widget_get_window(w), g_hand);
}

std::string TrimBlankEdges(const char *text) {
    std::string s = text ? text : "";
    size_t a = s.find_first_not_of(" \t\n");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\n");
    return s.substr(a, b - a + 1);
}

} // namespace

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
                                      GDK_POINTER_MOTION_MASK);
    gtk_widget_set_can_focus(g_area, TRUE);
    gtk_container_add(GTK_CONTAINER(g_window), g_area);
    g_signal_connect(g_area, "draw", G_CALLBACK(OnDraw), nullptr);
    g_signal_connect(g_area, "button-press-event", G_CALLBACK(OnButtonPress), nullptr);
    g_signal_connect(g_area, "button-release-event", G_CALLBACK(OnButtonRelease), nullptr);
    g_signal_connect(g_area, "motion-notify-event", G_CALLBACK(OnMotion), nullptr);
    g_signal_connect(g_window, "key-press-event", G_CALLBACK(OnKeyPress), nullptr);
    g_signal_connect(g_window, "delete-event", G_CALLBACK(OnDelete), nullptr);
    gtk_window_move(win, x / s, y / s);
    gtk_widget_show(g_area);
    gtk_widget_realize(g_window);
    GdkWindow *gw = gtk_widget_get_window(g_window);
    if (!gw || !GDK_IS_X11_WINDOW(gw)) {
        gtk_widget_destroy(g_window);
        g_window = g_area = nullptr;
        return false;
    }
    // For managers that frame it anyway: no minimize, maximize or resize.
    gdk_window_set_functions(gw, GdkWMFunction(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
    X11SetToolbarWindow(PlatMainWindowId());
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
    return gw ? uint32_t(GDK_WINDOW_XID(gw)) : 0;
}

void PlatDestroyMainWindow() {
    if (!g_window) return;
    AppWindowProc(MSG_DESTROY, 0, 0);
    GtkWidget *w = g_window;
    g_window = g_area = nullptr;
    X11SetToolbarWindow(0);
    gtk_widget_destroy(w);
}

void PlatSetCaption(const char *text) {
    g_caption = text ? text : "";
    if (!g_window) return;
    // The title too, for task switchers and the manager's own frame.
    gtk_window_set_title(GTK_WINDOW(g_window), g_caption.c_str());
    if (g_area) gtk_widget_queue_draw(g_area);
}

void PlatGetCaption(char *buf, uint32_t size) {
    CopyOut(buf, size, g_caption.c_str());
}

void PlatInvalidate() {
    if (g_area) gtk_widget_queue_draw(g_area);
}

void PlatGetWindowRect(PlatRect *r) {
    *r = {0, 0, 0, 0};
    if (!g_window) return;
    GdkWindow *gw = gtk_widget_get_window(g_window);
    if (!gw) return;
    GdkRectangle f;
    gdk_window_get_frame_extents(gw, &f);
    int32_t s = PlatToolbarScale();
    *r = {f.x * s, f.y * s, (f.x + f.width) * s, (f.y + f.height) * s};
}

void PlatFrameMetrics(int32_t *dlgFrame, int32_t *smallCaption) {
    int32_t s = PlatToolbarScale();
    *dlgFrame = TOOLBAR_FRAME * s;
    *smallCaption = TOOLBAR_CAPTION * s;
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

// ---- boxes and dialogs ----

int PlatMessageBox(const char *text, const char *title, uint32_t flags, bool unowned) {
    GtkWidget *d = NewBox(text, title, flags, unowned);
    int r = Answer(gtk_dialog_run(GTK_DIALOG(d)));
    gtk_widget_destroy(d);
    return r;
}

int PlatChooseFileName(char *buf, PlatFilter filter, int mode) {
    bool save = mode == 2;
    GtkWidget *d = gtk_file_chooser_dialog_new(
        save ? "Save As" : "Open", Owner(),
        save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
        GTK_RESPONSE_CANCEL, save ? "_Save" : "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser *fc = GTK_FILE_CHOOSER(d);
    gtk_window_set_keep_above(GTK_WINDOW(d), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(d), GTK_RESPONSE_ACCEPT);
    if (filter == FILTER_RECORDINGS) {
        GtkFileFilter *rec = gtk_file_filter_new();
        gtk_file_filter_set_name(rec, "Recording Files (*.rec)");
        gtk_file_filter_add_pattern(rec, "*.[rR][eE][cC]");
        gtk_file_chooser_add_filter(fc, rec);
    }
    // Programs carry no telling extension here: the programs filter lists
    // every file.
    GtkFileFilter *all = gtk_file_filter_new();
    gtk_file_filter_set_name(all, "All Files (*.*)");
    gtk_file_filter_add_pattern(all, "*");
    gtk_file_chooser_add_filter(fc, all);
    if (save) {
        gtk_file_chooser_set_do_overwrite_confirmation(fc, TRUE);
        std::string def = buf ? buf : "";
        size_t slash = def.rfind('/');
        if (slash != std::string::npos) {
            gtk_file_chooser_set_current_folder(fc, def.substr(0, slash + 1).c_str());
            def = def.substr(slash + 1);
        } else {
            gchar *cwd = g_get_current_dir();
            gtk_file_chooser_set_current_folder(fc, cwd);
            g_free(cwd);
        }
        gtk_file_chooser_set_current_name(fc, def.c_str());
    } else {
        gchar *cwd = g_get_current_dir();
        gtk_file_chooser_set_current_folder(fc, cwd);
        g_free(cwd);
    }
    int result = 0;
    buf[0] = 0;
    if (gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_ACCEPT) {
        gchar *name = gtk_file_chooser_get_filename(fc);
        // A path the 256-character buffer cannot hold whole is refused
        // rather than cut into another file's name.
        if (name && strlen(name) > 0 && strlen(name) < 256) {
            CopyOut(buf, 256, name);
            result = 1;
        }
        g_free(name);
    }
    gtk_widget_destroy(d);
    return result;
}

void PlatTrackMenu(const PlatMenuItem *items, int n, int32_t x, int32_t y) {
    MenuRun run = {g_main_loop_new(nullptr, FALSE), 0};
    GtkWidget *menu = gtk_menu_new();
    BuildMenu(menu, items, n, 0, &run);
    gtk_widget_show_all(menu);
    gulong done = g_signal_connect(menu, "deactivate", G_CALLBACK(OnMenuDone), &run);
    // Placed against the toolbar's own window when it is on screen (the
    // menu is a popup of it), else against the root window.
    GdkRectangle at = {x, y, 1, 1};
    GdkWindow *root = gdk_get_default_root_window();
    GdkWindow *anchor = root;
    if (g_window && gtk_widget_get_mapped(g_window)) {
        anchor = gtk_widget_get_window(g_window);
        int ox = 0, oy = 0;
        gdk_window_get_origin(anchor, &ox, &oy);
        at.x -= ox;
        at.y -= oy;
    }
    // The command that opens the menu is posted, so no input event is being
    // handled; the menu needs one to take the pointer and keyboard with.
    GdkEvent *trigger = gdk_event_new(GDK_BUTTON_PRESS);
    trigger->button.window = GDK_WINDOW(g_object_ref(anchor));
    // The server's present time: a release that follows within the menu's
    // grace period (the click that asked for the menu) leaves it open.
    trigger->button.time = gdk_x11_get_server_time(anchor);
    // No button: the release of the click that asked for the menu must not
    // close it again.
    trigger->button.button = 0;
    gdk_event_set_device(
        trigger, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_menu_popup_at_rect(GTK_MENU(menu), anchor, &at, GDK_GRAVITY_NORTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, trigger);
    gdk_event_free(trigger);
    if (gtk_widget_get_visible(menu)) g_main_loop_run(run.loop);
    // The run record lives on this stack frame: nothing may reach it once
    // the menu is being taken down.
    g_signal_handler_disconnect(menu, done);
    g_main_loop_unref(run.loop);
    gtk_widget_destroy(menu);
    if (run.chosen) PlatPostCommand(run.chosen, 0);
}

int PlatRepeatCountBox(const char *text, const char *title, uint32_t flags, char repeatText[32]) {
    std::string prompt = TrimBlankEdges(text);
    GtkWidget *d = NewBox(prompt.c_str(), title, flags, false);
    GtkWidget *area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(d));
    GtkWidget *entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(entry), repeatText);
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    gtk_entry_set_input_purpose(GTK_ENTRY(entry), GTK_INPUT_PURPOSE_DIGITS);
    g_signal_connect(entry, "insert-text", G_CALLBACK(DigitsOnly), nullptr);
    gtk_box_pack_start(GTK_BOX(area), entry, FALSE, FALSE, 0);
    gtk_widget_show(entry);
    gtk_widget_grab_focus(entry);
    gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
    int r = Answer(gtk_dialog_run(GTK_DIALOG(d)));
    // Taken whatever the answer, as the field's text is when the box goes.
    CopyOut(repeatText, 31, gtk_entry_get_text(GTK_ENTRY(entry)));
    gtk_widget_destroy(d);
    return r;
}

void PlatAboutBox(const char *text, const char *title, uint32_t flags, const char *linkText) {
    std::string body = TrimBlankEdges(text);
    GtkWidget *d = NewBox(body.c_str(), title, flags & ~ICON_MASK, false);
    GList *icons = gtk_window_get_default_icon_list();
    if (icons) {
        GtkWidget *img = gtk_image_new_from_pixbuf(GDK_PIXBUF(icons->data));
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(d), img);
        G_GNUC_END_IGNORE_DEPRECATIONS
        gtk_widget_show(img);
        g_list_free(icons);
    }
    GtkWidget *area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(d));
    GtkWidget *box = gtk_event_box_new();
    GtkWidget *label = gtk_label_new(nullptr);
    gchar *markup =
        g_markup_printf_escaped("<span foreground=\"#0000FF\">%s</span>", linkText ? linkText : "");
    gtk_label_set_markup(GTK_LABEL(label), markup);
    g_free(markup);
    gtk_container_add(GTK_CONTAINER(box), label);
    gtk_widget_add_events(box, GDK_BUTTON_PRESS_MASK);
    g_signal_connect(box, "button-press-event", G_CALLBACK(OnLinkPress), nullptr);
    g_signal_connect(box, "realize", G_CALLBACK(OnLinkRealize), nullptr);
    gtk_box_pack_start(GTK_BOX(area), box, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(area), box, 0);
    gtk_widget_show_all(box);
    gtk_dialog_run(GTK_DIALOG(d));
    gtk_widget_destroy(d);
}

bool PlatDecorateBox(uint32_t) {
    return true;
}

bool PlatOpenUrl(const char *url) {
    GError *err = nullptr;
    gboolean ok = g_app_info_launch_default_for_uri(url, nullptr, &err);
    if (err) g_error_free(err);
    return ok;
}
