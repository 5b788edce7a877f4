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
guint g_moved = 0;
char g_why[400] = "";

GDBusConnection *Bus() {
    if (!g_bus) g_bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    return g_bus;
}

bool HasOwner(const char *name) {
    GDBusConnection *bus = Bus();
    if (!bus) return false;
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
        Bus(), "org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Get",
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
    PointerReportMove(x, y);
}

bool Present() {
    return HasOwner("org.gnome.Shell");
}

bool Open() {
    g_why[0] = 0;
    if (!HasOwner(kName)) {
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
        return false;
    }
    g_moved =
        g_dbus_connection_signal_subscribe(Bus(), kName, kIface, "Moved", kPath, nullptr,
                                           G_DBUS_SIGNAL_FLAGS_NONE, OnMoved, nullptr, nullptr);
    return true;
}

void Close() {
    if (g_moved && g_bus) g_dbus_connection_signal_unsubscribe(g_bus, g_moved);
    g_moved = 0;
}

bool Query(int32_t *x, int32_t *y) {
    if (!Bus()) return false;
    GVariant *r = g_dbus_connection_call_sync(Bus(), kName, kPath, kIface, "GetPosition", nullptr,
                                              G_VARIANT_TYPE("(ii)"), G_DBUS_CALL_FLAGS_NONE, 500,
                                              nullptr, nullptr);
    if (!r) return false;
    g_variant_get(r, "(ii)", x, y);
    g_variant_unref(r);
    return true;
}

const char *Why() {
    return g_why;
}

} // namespace

const PointerProvider kGnomePointer = {"gnome-shell extension", Present, Open, Close, Query, Why};
