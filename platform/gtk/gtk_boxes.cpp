// The toolbar's boxes, dialogs and menu on GTK 3. Each runs its own loop, so
// timers and posted commands keep running while it is open.
#include "../../engine/types.h"
#include "gtk_backend.h"
#include "../ui.h"
#include <cstring>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <string>

namespace {

constexpr uint32_t ICON_INFO = 0x40, ICON_WARNING = 0x30, ICON_QUESTION = 0x20, ICON_ERROR = 0x10;
constexpr uint32_t ICON_MASK = 0xF0, BUTTONS_MASK = 0x0F, TOPMOST = 0x40000;

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
    ToolkitThemeNeeded();
    GtkButtonsType buttons = (flags & BUTTONS_MASK) == 1 ? GTK_BUTTONS_OK_CANCEL : GTK_BUTTONS_OK;
    const BoxKind *kind = KindOf(flags);
    GtkWidget *d = gtk_message_dialog_new(unowned ? nullptr : ToolbarWindow(), GTK_DIALOG_MODAL,
                                          kind ? kind->type : GTK_MESSAGE_OTHER, buttons, "%s",
                                          text ? text : "");
    const char *t = title ? title : "Error";
    gtk_window_set_title(GTK_WINDOW(d), t);
    if (flags & TOPMOST) gtk_window_set_keep_above(GTK_WINDOW(d), TRUE);
    gtk_window_set_position(GTK_WINDOW(d), unowned || !ToolbarWindow()
                                               ? GTK_WIN_POS_CENTER
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

// Digits only, and the decimal point where the box takes one, whether
// typed or pasted.
void DigitsOnly(GtkEditable *e, const gchar *text, gint len, gint *, gpointer decimal) {
    for (gint i = 0; len < 0 ? text[i] != 0 : i < len; i++)
        if ((text[i] < '0' || text[i] > '9') && !(decimal && text[i] == '.')) {
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
    if (GdkCursor *hand = ToolbarHandCursor())
        gdk_window_set_cursor(gtk_widget_get_window(w), hand);
}

std::string TrimBlankEdges(const char *text) {
    std::string s = text ? text : "";
    size_t a = s.find_first_not_of(" \t\n");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\n");
    return s.substr(a, b - a + 1);
}

} // namespace

void CopyText(char *buf, uint32_t size, const char *text) {
    if (!size) return;
    size_t n = text ? strlen(text) : 0;
    if (n >= size) n = size - 1;
    if (n) memcpy(buf, text, n);
    buf[n] = 0;
}

int PlatMessageBox(const char *text, const char *title, uint32_t flags, bool unowned) {
    GtkWidget *d = NewBox(text, title, flags, unowned);
    int r = Answer(gtk_dialog_run(GTK_DIALOG(d)));
    gtk_widget_destroy(d);
    return r;
}

int PlatChooseFileName(char *buf, PlatFilter filter, int mode) {
    bool save = mode == 2;
    ToolkitThemeNeeded();
    GtkWidget *d = gtk_file_chooser_dialog_new(
        save ? "Save As" : "Open", ToolbarWindow(),
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
            CopyText(buf, 256, name);
            result = 1;
        }
        g_free(name);
    }
    gtk_widget_destroy(d);
    return result;
}

void PlatTrackMenu(const PlatMenuItem *items, int n, int32_t x, int32_t y) {
    ToolkitThemeNeeded();
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
    GtkWidget *toolbar = GTK_WIDGET(ToolbarWindow());
    if (toolbar && gtk_widget_get_mapped(toolbar)) {
        anchor = gtk_widget_get_window(toolbar);
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
    trigger->button.time =
        GDK_IS_X11_WINDOW(anchor) ? gdk_x11_get_server_time(anchor) : GDK_CURRENT_TIME;
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

static int NumberBox(const char *text, const char *title, uint32_t flags, char repeatText[32],
                     bool decimal) {
    std::string prompt = TrimBlankEdges(text);
    GtkWidget *d = NewBox(prompt.c_str(), title, flags, false);
    GtkWidget *area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(d));
    GtkWidget *entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(entry), repeatText);
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    gtk_entry_set_input_purpose(GTK_ENTRY(entry), GTK_INPUT_PURPOSE_DIGITS);
    g_signal_connect(entry, "insert-text", G_CALLBACK(DigitsOnly), GINT_TO_POINTER(decimal));
    gtk_box_pack_start(GTK_BOX(area), entry, FALSE, FALSE, 0);
    gtk_widget_show(entry);
    gtk_widget_grab_focus(entry);
    gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
    int r = Answer(gtk_dialog_run(GTK_DIALOG(d)));
    // Taken whatever the answer, as the field's text is when the box goes.
    CopyText(repeatText, 31, gtk_entry_get_text(GTK_ENTRY(entry)));
    gtk_widget_destroy(d);
    return r;
}

int PlatRepeatCountBox(const char *text, const char *title, uint32_t flags, char repeatText[32]) {
    return NumberBox(text, title, flags, repeatText, false);
}

int PlatNumberBox(const char *text, const char *title, uint32_t flags, char numberText[32]) {
    return NumberBox(text, title, flags, numberText, true);
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
    // A local page goes by its file URI, which escapes what a path may hold.
    gchar *uri = url[0] == '/' ? g_filename_to_uri(url, nullptr, &err) : g_strdup(url);
    gboolean ok = uri && g_app_info_launch_default_for_uri(uri, nullptr, &err);
    if (err) g_error_free(err);
    g_free(uri);
    return ok;
}
