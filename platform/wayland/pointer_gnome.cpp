// GNOME: the Shell extension this package installs answers GetPosition on
// the session bus and tells every move with a Moved signal. GNOME 45 moved
// extensions to modules, so there are two of the same: one for 43 and 44,
// one for 45 on. A newly installed extension is loaded at the next login.
#include "pointer.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gio/gio.h>
#include <string>

namespace {

constexpr const char *kName = "org.quorvane.Pointer";
constexpr const char *kPath = "/org/quorvane/Pointer";
constexpr const char *kIface = "org.quorvane.Pointer";

GDBusConnection *g_bus = nullptr;
guint g_moved = 0, g_filter = 0;
char g_why[400] = "";

// A click asks the Shell where the pointer is; the Moved signals it sent
// before its answer (counted on the bus's own thread as they arrive) are
// then older than the place the click took, and are not told after it.
gint g_seen = 0;        // Moved signals arrived
uint32_t g_handled = 0; // handled on the main loop
uint32_t g_taken = 0;   // arrived when the place was last asked

GDBusMessage *OnArrival(GDBusConnection *, GDBusMessage *m, gboolean incoming, gpointer) {
    if (incoming && g_dbus_message_get_message_type(m) == G_DBUS_MESSAGE_TYPE_SIGNAL &&
        !g_strcmp0(g_dbus_message_get_path(m), kPath) &&
        !g_strcmp0(g_dbus_message_get_interface(m), kIface) &&
        !g_strcmp0(g_dbus_message_get_member(m), "Moved"))
        g_atomic_int_inc(&g_seen);
    return m;
}

bool HasOwner(GDBusConnection *bus, const char *name) {
    GVariant *r = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                              "org.freedesktop.DBus", "NameHasOwner",
                                              g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"),
                                              G_DBUS_CALL_FLAGS_NONE, 500, nullptr, nullptr);
    if (!r) return false;
    gboolean has = FALSE;
    g_variant_get(r, "(b)", &has);
    g_variant_unref(r);
    return has;
}

// The Shell's major version, 0 when it does not say.
int ShellMajor() {
    GVariant *r = g_dbus_connection_call_sync(
        g_bus, "org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.gnome.Shell", "ShellVersion"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, 500, nullptr, nullptr);
    if (!r) return 0;
    GVariant *v = nullptr;
    g_variant_get(r, "(v)", &v);
    int major = 0;
    if (v && g_variant_is_of_type(v, G_VARIANT_TYPE_STRING))
        major = std::atoi(g_variant_get_string(v, nullptr));
    if (v) g_variant_unref(v);
    g_variant_unref(r);
    return major;
}

bool Installed(const char *uuid) {
    std::string rel = std::string("gnome-shell/extensions/") + uuid + "/metadata.json";
    std::string user = std::string(g_get_user_data_dir()) + "/" + rel;
    if (g_file_test(user.c_str(), G_FILE_TEST_EXISTS)) return true;
    for (const char *const *d = g_get_system_data_dirs(); *d; d++)
        if (g_file_test((std::string(*d) + "/" + rel).c_str(), G_FILE_TEST_EXISTS)) return true;
    return false;
}

void OnMoved(GDBusConnection *, const char *, const char *, const char *, const char *,
             GVariant *params, gpointer) {
    if (!g_variant_is_of_type(params, G_VARIANT_TYPE("(ii)"))) return;
    int32_t x = 0, y = 0;
    g_variant_get(params, "(ii)", &x, &y);
    if (++g_handled > g_taken) PointerReportMove(x, y);
}

bool Present() {
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    bool has = HasOwner(bus, "org.gnome.Shell");
    g_object_unref(bus);
    return has;
}

void Close() {
    if (!g_bus) return;
    if (g_moved) g_dbus_connection_signal_unsubscribe(g_bus, g_moved);
    if (g_filter) g_dbus_connection_remove_filter(g_bus, g_filter);
    g_moved = g_filter = 0;
    g_object_unref(g_bus);
    g_bus = nullptr;
}

bool Open() {
    g_why[0] = 0;
    g_bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!g_bus) return false;
    if (!HasOwner(g_bus, kName)) {
        const char *uuid = ShellMajor() == 43 || ShellMajor() == 44
                               ? "pointer-legacy@quorvane.example"
                               : "pointer@quorvane.example";
        if (Installed(uuid))
            std::snprintf(g_why, sizeof g_why,
                          "enable the Quorvane pointer extension: gnome-extensions enable %s "
                          "(GNOME loads it at the next login)",
                          uuid);
        else
            std::snprintf(g_why, sizeof g_why,
                          "the GNOME Shell extension %s is not installed (the package puts it in "
                          "share/gnome-shell/extensions); install it, run gnome-extensions enable "
                          "%s and log in again",
                          uuid, uuid);
        Close();
        return false;
    }
    g_atomic_int_set(&g_seen, 0);
    g_handled = g_taken = 0;
    g_filter = g_dbus_connection_add_filter(g_bus, OnArrival, nullptr, nullptr);
    g_moved =
        g_dbus_connection_signal_subscribe(g_bus, kName, kIface, "Moved", kPath, nullptr,
                                           G_DBUS_SIGNAL_FLAGS_NONE, OnMoved, nullptr, nullptr);
    return true;
}

bool Query(int32_t *x, int32_t *y) {
    if (!g_bus) return false;
    GVariant *r = g_dbus_connection_call_sync(g_bus, kName, kPath, kIface, "GetPosition", nullptr,
                                              G_VARIANT_TYPE("(ii)"), G_DBUS_CALL_FLAGS_NONE, 500,
                                              nullptr, nullptr);
    if (!r) return false;
    g_variant_get(r, "(ii)", x, y);
    g_variant_unref(r);
    g_taken = uint32_t(g_atomic_int_get(&g_seen));
    return true;
}

const char *Why() {
    return g_why;
}

} // namespace

const PointerProvider kGnomePointer = {"gnome-shell extension", Present, Open, Close, Query, Why};
