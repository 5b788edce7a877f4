// KDE: KWin runs scripts it is handed over the session bus
// (org.kde.KWin /Scripting: loadScript, then start). Ours reports
// workspace.cursorPos at once and on every change by calling back a method
// of this process; nothing is installed, and the script is unloaded when
// the program ends. KWin's script engine passes numbers as doubles, so the
// place travels as the text "x,y".
#include "pointer.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gio/gio.h>
#include <string>
#include <unistd.h>

namespace {

constexpr const char *kPath = "/org/quorvane/Pointer";
const char *const kIntrospection = "<node><interface name='org.quorvane.Pointer'>"
                                   "<method name='Position'><arg type='s' direction='in'/></method>"
                                   "</interface></node>";

GDBusConnection *g_bus = nullptr;
guint g_object = 0, g_filter = 0;
std::string g_script, g_plugin;
char g_why[300] = "";

// Each report is read twice: as it arrives, on the bus's own thread (the
// place kept here), and later on the main loop (told as a move). A click
// takes the place kept here after a round trip to KWin, so a report still
// on its way is not missed; the reports it has overtaken are then not told
// again, out of order, after the click.
GMutex g_lock;
bool g_have = false; // a report has come (the first is the start, no move)
int32_t g_x = 0, g_y = 0;
uint32_t g_seen = 0;    // reports arrived
uint32_t g_handled = 0; // reports handled on the main loop
uint32_t g_taken = 0;   // reports arrived when the place was last taken

bool Parse(GVariant *params, int32_t *px, int32_t *py) {
    if (!params || !g_variant_is_of_type(params, G_VARIANT_TYPE("(s)"))) return false;
    const char *text = nullptr;
    g_variant_get(params, "(&s)", &text);
    char *end = nullptr;
    double x = std::strtod(text, &end);
    if (end == text || *end != ',') return false;
    const char *rest = end + 1;
    double y = std::strtod(rest, &end);
    if (end == rest || !(x > -1e6 && x < 1e6 && y > -1e6 && y < 1e6)) return false;
    *px = int32_t(x);
    *py = int32_t(y);
    return true;
}

bool IsReport(GDBusMessage *m) {
    return g_dbus_message_get_message_type(m) == G_DBUS_MESSAGE_TYPE_METHOD_CALL &&
           !g_strcmp0(g_dbus_message_get_path(m), kPath) &&
           !g_strcmp0(g_dbus_message_get_interface(m), "org.quorvane.Pointer") &&
           !g_strcmp0(g_dbus_message_get_member(m), "Position");
}

GDBusMessage *OnArrival(GDBusConnection *, GDBusMessage *m, gboolean incoming, gpointer) {
    int32_t x = 0, y = 0;
    if (incoming && IsReport(m) && Parse(g_dbus_message_get_body(m), &x, &y)) {
        g_mutex_lock(&g_lock);
        g_x = x;
        g_y = y;
        g_have = true;
        g_seen++;
        g_mutex_unlock(&g_lock);
    }
    return m;
}

void OnCall(GDBusConnection *, const char *, const char *, const char *, const char *method,
            GVariant *params, GDBusMethodInvocation *inv, gpointer) {
    int32_t x = 0, y = 0;
    if (!std::strcmp(method, "Position") && Parse(params, &x, &y)) {
        g_mutex_lock(&g_lock);
        uint32_t n = ++g_handled;
        bool stale = n <= g_taken;
        g_mutex_unlock(&g_lock);
        if (n == 1)
            // KWin has read the script: nothing is left behind should the
            // program be killed.
            unlink(g_script.c_str());
        else if (!stale)
            PointerReportMove(x, y);
    }
    g_dbus_method_invocation_return_value(inv, nullptr);
}

const GDBusInterfaceVTable kVtable = {OnCall, nullptr, nullptr, {}};

GVariant *CallKwin(const char *method, GVariant *args, const GVariantType *reply) {
    GError *err = nullptr;
    GVariant *r = g_dbus_connection_call_sync(g_bus, "org.kde.KWin", "/Scripting",
                                              "org.kde.kwin.Scripting", method, args, reply,
                                              G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &err);
    if (err) {
        std::snprintf(g_why, sizeof g_why, "KWin did not run the pointer script: %s", err->message);
        g_error_free(err);
    }
    return r;
}

bool Present() {
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    GVariant *r = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", "org.kde.KWin"), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, 500, nullptr, nullptr);
    gboolean has = FALSE;
    if (r) {
        g_variant_get(r, "(b)", &has);
        g_variant_unref(r);
    }
    g_object_unref(bus);
    return has;
}

bool Open() {
    g_why[0] = 0;
    g_have = false;
    g_seen = g_handled = g_taken = 0;
    g_bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!g_bus) return false;
    g_filter = g_dbus_connection_add_filter(g_bus, OnArrival, nullptr, nullptr);
    GDBusNodeInfo *info = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    g_object = g_dbus_connection_register_object(g_bus, kPath, info->interfaces[0], &kVtable,
                                                 nullptr, nullptr, nullptr);
    g_dbus_node_info_unref(info);
    // The script names this process's own connection, so two programs
    // never hear each other's pointer.
    char plugin[64];
    std::snprintf(plugin, sizeof plugin, "quorvane-pointer-%d", int(getpid()));
    g_plugin = plugin;
    g_script = std::string(g_get_user_runtime_dir()) + "/" + plugin + ".js";
    // A program that ends without unloading it (killed) leaves the script
    // running: unanswered reports pile up, and after a hundred of them it
    // stops reporting.
    char *text = g_strdup_printf(
        "var unanswered = 0;\n"
        "function report() {\n"
        "    if (++unanswered > 100) {\n"
        "        workspace.cursorPosChanged.disconnect(report);\n"
        "        return;\n"
        "    }\n"
        "    var p = workspace.cursorPos;\n"
        "    callDBus('%s', '%s', 'org.quorvane.Pointer', 'Position', p.x + ',' + p.y,\n"
        "             function() { unanswered = 0; });\n"
        "}\n"
        "workspace.cursorPosChanged.connect(report);\n"
        "report();\n",
        g_dbus_connection_get_unique_name(g_bus), kPath);
    bool written = g_file_set_contents(g_script.c_str(), text, -1, nullptr);
    g_free(text);
    if (!written) {
        std::snprintf(g_why, sizeof g_why, "the pointer script could not be written to %s",
                      g_script.c_str());
        return false;
    }
    GVariant *id = CallKwin("loadScript", g_variant_new("(ss)", g_script.c_str(), plugin),
                            G_VARIANT_TYPE("(i)"));
    if (!id) return false;
    g_variant_unref(id);
    // KWin reads the file in a thread of its own after start returns: it
    // is taken away at the script's first report (or at close), never
    // before, or a busy KWin finds nothing to run.
    if (GVariant *r = CallKwin("start", nullptr, nullptr)) g_variant_unref(r);
    return g_why[0] == 0;
}

void Close() {
    if (!g_bus) return;
    if (!g_plugin.empty())
        if (GVariant *r = CallKwin("unloadScript", g_variant_new("(s)", g_plugin.c_str()),
                                   G_VARIANT_TYPE("(b)")))
            g_variant_unref(r);
    if (!g_script.empty()) unlink(g_script.c_str());
    if (g_object) g_dbus_connection_unregister_object(g_bus, g_object);
    if (g_filter) g_dbus_connection_remove_filter(g_bus, g_filter);
    g_object = g_filter = 0;
    g_plugin.clear();
    g_script.clear();
    g_object_unref(g_bus);
    g_bus = nullptr;
}

bool Query(int32_t *x, int32_t *y) {
    if (!g_bus) return false;
    bool have = false;
    // The script's first report comes a few milliseconds after start;
    // after it, a call KWin answers on the thread that runs the script
    // brings in every report it sent before.
    for (gint64 until = g_get_monotonic_time() + 1000000;; g_usleep(1000)) {
        g_mutex_lock(&g_lock);
        have = g_have;
        g_mutex_unlock(&g_lock);
        if (have || g_get_monotonic_time() > until) break;
    }
    if (!have) return false;
    GVariant *r = g_dbus_connection_call_sync(
        g_bus, "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "isScriptLoaded",
        g_variant_new("(s)", g_plugin.c_str()), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 500,
        nullptr, nullptr);
    if (r) g_variant_unref(r);
    g_mutex_lock(&g_lock);
    *x = g_x;
    *y = g_y;
    g_taken = g_seen;
    g_mutex_unlock(&g_lock);
    return true;
}

const char *Why() {
    return g_why;
}

} // namespace

const PointerProvider kKwinPointer = {"kwin script", Present, Open, Close, Query, Why};
