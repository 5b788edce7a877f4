// Playback on GNOME: mutter's remote-desktop service on the session bus. Keys
// go in as evdev codes (mutter applies the session's layout), buttons as
// BTN_ codes. Absolute moves need a screen-cast stream linked to the
// remote-desktop session, one per monitor, and mutter places the pointer
// relative to a stream; a stream needs PipeWire running.
//
// Without PipeWire the route still works, with relative moves: first far
// towards the top-left, which pins the pointer in the corner of the monitor
// it is on, then by the wanted position. That is exact on one monitor whose
// corner is the layout's origin and on a desktop that does not accelerate
// virtual pointers (mutter does not). With several monitors the corner is
// the one of the monitor the pointer happens to be on, so a position lands
// offset by that monitor's place; a desktop with acceleration on virtual
// relative motion would overshoot.
#include "wl_route.h"
#include <cstdio>
#include <cstring>
#include <gio/gio.h>
#include <utility>

namespace {

constexpr const char *kRdName = "org.gnome.Mutter.RemoteDesktop";
constexpr const char *kRdPath = "/org/gnome/Mutter/RemoteDesktop";
constexpr const char *kRdSession = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr const char *kScName = "org.gnome.Mutter.ScreenCast";
constexpr const char *kScPath = "/org/gnome/Mutter/ScreenCast";
constexpr const char *kScSession = "org.gnome.Mutter.ScreenCast.Session";
constexpr const char *kDcName = "org.gnome.Mutter.DisplayConfig";
constexpr const char *kDcPath = "/org/gnome/Mutter/DisplayConfig";
constexpr int kTimeoutMs = 3000;
// A new virtual device can drop the events that arrive while mutter is
// still adding it to the seat (a first Shift+A was seen lost on mutter 43),
// and places a first absolute move by where the pointer stood: at 150 ms,
// half the first clicks of a playback asked for at start (its start now
// quicker) landed 5-230 px short of their place; at 600 ms none did. The
// wait costs only the first event of a session.
constexpr gint64 kSettleUs = 600 * 1000;
constexpr int kMaxStreams = 16;

// One monitor: its box in the layout's logical coordinates, and the scale
// from those to the stream's pixels, in which mutter takes positions.
struct Stream {
    char path[128];
    char connector[64];
    double x, y, w, h, scale;
};

GDBusConnection *g_bus = nullptr;
char g_session[128];
char g_cast[128];
Stream g_streams[kMaxStreams];
int g_streamCount = 0;
bool g_open = false;
bool g_reopen = false; // the desktop closed the session or moved monitors
guint g_closedWatch = 0, g_monitorsWatch = 0;
gint64 g_readyAt = 0;
int32_t g_wheelRest[2];
char g_why[512];

// An error's own text, without the D-Bus error name GDBus puts in front.
const char *Message(GError *err) {
    if (!err) return "";
    g_dbus_error_strip_remote_error(err);
    return err->message;
}

void SetWhy(const char *what, GError *err) {
    std::snprintf(g_why, sizeof g_why, "%s%s%s", what, err ? ": " : "", Message(err));
}

GVariant *Call(const char *dest, const char *path, const char *iface, const char *method,
               GVariant *args, const char *reply, GError **err) {
    return g_dbus_connection_call_sync(g_bus, dest, path, iface, method, args,
                                       reply ? G_VARIANT_TYPE(reply) : nullptr,
                                       G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, err);
}

bool CallPath(const char *dest, const char *path, const char *iface, const char *method,
              GVariant *args, char *out, size_t size, GError **err) {
    GVariant *r = Call(dest, path, iface, method, args, "(o)", err);
    if (!r) return false;
    const char *p = nullptr;
    g_variant_get(r, "(&o)", &p);
    bool fits = std::strlen(p) < size;
    if (fits) std::memcpy(out, p, std::strlen(p) + 1);
    g_variant_unref(r);
    return fits;
}

// Replies come back through the main loop; a refusal there means the
// session is gone, and the next event opens a new one.
void OnReply(GObject *src, GAsyncResult *res, gpointer) {
    GError *err = nullptr;
    GVariant *r = g_dbus_connection_call_finish(G_DBUS_CONNECTION(src), res, &err);
    if (r) g_variant_unref(r);
    if (!err) return;
    SetWhy("mutter refused an input event", err);
    g_error_free(err);
    g_reopen = true;
}

// Input calls do not wait for their replies: on the one connection they
// arrive in order, and playback keeps its pace.
void Notify(const char *method, GVariant *args) {
    g_dbus_connection_call(g_bus, kRdName, g_session, kRdSession, method, args, nullptr,
                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr, OnReply, nullptr);
}

void OnClosed(GDBusConnection *, const char *, const char *, const char *, const char *, GVariant *,
              gpointer) {
    g_reopen = true;
}

// The streams are per monitor: a new layout needs new ones.
void OnMonitorsChanged(GDBusConnection *, const char *, const char *, const char *, const char *,
                       GVariant *, gpointer) {
    g_reopen = true;
}

// Reads the monitors' boxes: the logical monitors hold place and scale, the
// physical ones their current mode. With the layout in physical pixels
// (layout-mode 2) the logical box is the mode's size and streams are 1:1.
bool ReadLayout() {
    GError *err = nullptr;
    GVariant *st = Call(kDcName, kDcPath, kDcName, "GetCurrentState", nullptr,
                        "(ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv})", &err);
    if (!st) {
        if (err) g_error_free(err);
        return false;
    }
    GVariant *monitors = g_variant_get_child_value(st, 1);
    GVariant *logical = g_variant_get_child_value(st, 2);
    GVariant *props = g_variant_get_child_value(st, 3);
    uint32_t layoutMode = 1;
    g_variant_lookup(props, "layout-mode", "u", &layoutMode);
    g_streamCount = 0;
    GVariantIter it;
    g_variant_iter_init(&it, logical);
    GVariant *lm;
    while ((lm = g_variant_iter_next_value(&it)) && g_streamCount < kMaxStreams) {
        int32_t x = 0, y = 0;
        double scale = 1;
        uint32_t transform = 0;
        gboolean primary = false;
        GVariant *members = nullptr, *lprops = nullptr;
        g_variant_get(lm, "(iidub@a(ssss)@a{sv})", &x, &y, &scale, &transform, &primary, &members,
                      &lprops);
        const char *connector = "";
        if (g_variant_n_children(members) > 0)
            g_variant_get_child(members, 0, "(&s&s&s&s)", &connector, nullptr, nullptr, nullptr);
        int32_t w = 0, h = 0;
        GVariantIter mit;
        g_variant_iter_init(&mit, monitors);
        GVariant *m;
        while ((m = g_variant_iter_next_value(&mit))) {
            const char *c = nullptr;
            GVariant *modes = nullptr;
            g_variant_get(m, "((&s&s&s&s)@a(siiddada{sv})@a{sv})", &c, nullptr, nullptr, nullptr,
                          &modes, nullptr);
            if (std::strcmp(c, connector) == 0) {
                GVariantIter modeIt;
                g_variant_iter_init(&modeIt, modes);
                GVariant *mode;
                while ((mode = g_variant_iter_next_value(&modeIt))) {
                    int32_t mw = 0, mh = 0;
                    GVariant *mprops = nullptr;
                    g_variant_get(mode, "(&siidd@ad@a{sv})", nullptr, &mw, &mh, nullptr, nullptr,
                                  nullptr, &mprops);
                    gboolean current = false;
                    if (g_variant_lookup(mprops, "is-current", "b", &current) && current) {
                        w = mw;
                        h = mh;
                    }
                    g_variant_unref(mprops);
                    g_variant_unref(mode);
                }
            }
            g_variant_unref(modes);
            g_variant_unref(m);
        }
        if (transform % 2 == 1) std::swap(w, h); // turned a quarter
        Stream &s = g_streams[g_streamCount];
        if (w > 0 && h > 0 && scale > 0 && std::strlen(connector) < sizeof s.connector) {
            double k = layoutMode == 2 ? 1.0 : scale;
            s = {{}, {}, double(x), double(y), w / k, h / k, k};
            std::memcpy(s.connector, connector, std::strlen(connector) + 1);
            g_streamCount++;
        }
        g_variant_unref(members);
        g_variant_unref(lprops);
        g_variant_unref(lm);
    }
    g_variant_unref(monitors);
    g_variant_unref(logical);
    g_variant_unref(props);
    g_variant_unref(st);
    return g_streamCount > 0;
}

void DropSessions() {
    if (g_closedWatch) g_dbus_connection_signal_unsubscribe(g_bus, g_closedWatch);
    g_closedWatch = 0;
    // Stopping the remote-desktop session stops the linked cast too; one
    // that never started (or is gone) just answers with an error.
    if (g_session[0]) {
        GVariant *r = Call(kRdName, g_session, kRdSession, "Stop", nullptr, nullptr, nullptr);
        if (r) g_variant_unref(r);
    }
    g_session[0] = g_cast[0] = 0;
    g_streamCount = 0;
}

// A remote-desktop session, with a cast of every monitor linked when cast is
// set. Started, it has its virtual devices.
bool StartSession(bool cast, GError **err) {
    if (!CallPath(kRdName, kRdPath, kRdName, "CreateSession", nullptr, g_session, sizeof g_session,
                  err))
        return false;
    g_closedWatch =
        g_dbus_connection_signal_subscribe(g_bus, kRdName, kRdSession, "Closed", g_session, nullptr,
                                           G_DBUS_SIGNAL_FLAGS_NONE, OnClosed, nullptr, nullptr);
    if (cast) {
        GVariant *id = Call(kRdName, g_session, "org.freedesktop.DBus.Properties", "Get",
                            g_variant_new("(ss)", kRdSession, "SessionId"), "(v)", err);
        if (!id) return false;
        GVariant *v = nullptr;
        g_variant_get(id, "(v)", &v);
        GVariantBuilder b;
        g_variant_builder_init(&b, G_VARIANT_TYPE("a{sv}"));
        g_variant_builder_add(&b, "{sv}", "remote-desktop-session-id", v);
        bool made = CallPath(kScName, kScPath, kScName, "CreateSession",
                             g_variant_new("(a{sv})", &b), g_cast, sizeof g_cast, err);
        g_variant_unref(v);
        g_variant_unref(id);
        if (!made) return false;
        for (int i = 0; i < g_streamCount; i++) {
            GVariantBuilder p;
            g_variant_builder_init(&p, G_VARIANT_TYPE("a{sv}"));
            // No pointer in the picture: nothing reads it.
            g_variant_builder_add(&p, "{sv}", "cursor-mode", g_variant_new_uint32(0));
            if (!CallPath(kScName, g_cast, kScSession, "RecordMonitor",
                          g_variant_new("(sa{sv})", g_streams[i].connector, &p), g_streams[i].path,
                          sizeof g_streams[i].path, err))
                return false;
        }
    }
    GVariant *r = Call(kRdName, g_session, kRdSession, "Start", nullptr, nullptr, err);
    if (!r) return false;
    g_variant_unref(r);
    return true;
}

// Events no client sees: a key of no code (mutter logs a warning and passes
// nothing on) and a move by nothing. Without a key first, the first key
// presses of a session were lost here, later ones arrived; the wait below
// covers the devices being added to the seat.
void Prime() {
    Notify("NotifyKeyboardKeycode", g_variant_new("(ub)", 0u, TRUE));
    Notify("NotifyKeyboardKeycode", g_variant_new("(ub)", 0u, FALSE));
    Notify("NotifyPointerMotionRelative", g_variant_new("(dd)", 0.0, 0.0));
    g_dbus_connection_flush_sync(g_bus, nullptr, nullptr);
    g_readyAt = g_get_monotonic_time() + kSettleUs;
}

// No mutter on this bus at all (another desktop).
bool Absent(GError *err) {
    if (!err || !g_dbus_error_is_remote_error(err)) return false;
    char *remote = g_dbus_error_get_remote_error(err);
    bool absent =
        remote && (std::strcmp(remote, "org.freedesktop.DBus.Error.ServiceUnknown") == 0 ||
                   std::strcmp(remote, "org.freedesktop.DBus.Error.NameHasNoOwner") == 0);
    g_free(remote);
    return absent;
}

bool Open() {
    if (g_open) return true;
    g_reopen = false;
    g_why[0] = 0;
    GError *err = nullptr;
    if (!g_bus) {
        g_bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &err);
        if (!g_bus) {
            SetWhy("no session bus", err);
            g_clear_error(&err);
            return false;
        }
        g_monitorsWatch = g_dbus_connection_signal_subscribe(
            g_bus, kDcName, kDcName, "MonitorsChanged", kDcPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
            OnMonitorsChanged, nullptr, nullptr);
    }
    bool layout = ReadLayout();
    if (layout && StartSession(true, &err)) {
        g_open = true;
        Prime();
        return true;
    }
    char castError[256];
    std::snprintf(castError, sizeof castError, "%s",
                  err ? Message(err) : "no monitor layout from org.gnome.Mutter.DisplayConfig");
    g_clear_error(&err);
    DropSessions();
    if (!StartSession(false, &err)) {
        if (Absent(err))
            SetWhy("org.gnome.Mutter.RemoteDesktop is not on the session bus (not GNOME)", nullptr);
        else
            SetWhy("mutter refused a remote-desktop session", err);
        g_clear_error(&err);
        DropSessions();
        return false;
    }
    std::snprintf(g_why, sizeof g_why,
                  "relative moves from the top-left corner, exact only on one monitor and "
                  "without pointer acceleration (no screen cast: %s; is PipeWire running?)",
                  castError);
    g_open = true;
    Prime();
    return true;
}

void Close() {
    if (!g_bus) return;
    if (g_open) DropSessions();
    g_open = false;
    if (g_monitorsWatch) g_dbus_connection_signal_unsubscribe(g_bus, g_monitorsWatch);
    g_monitorsWatch = 0;
    g_dbus_connection_flush_sync(g_bus, nullptr, nullptr);
    g_clear_object(&g_bus);
}

// Every event first makes sure a live session is there, and waits out the
// rest of a new one's settling time.
bool Ready() {
    if (g_reopen && g_open) {
        g_open = false;
        DropSessions();
    }
    if (!g_open && !Open()) return false;
    gint64 wait = g_readyAt - g_get_monotonic_time();
    if (wait > 0) g_usleep(gulong(wait));
    g_readyAt = 0;
    return true;
}

void Key(uint32_t code, bool down) {
    if (Ready()) Notify("NotifyKeyboardKeycode", g_variant_new("(ub)", code, gboolean(down)));
}

void Button(uint32_t code, bool down) {
    if (Ready())
        Notify("NotifyPointerButton", g_variant_new("(ib)", int32_t(code), gboolean(down)));
}

// The monitor that holds the point, else the nearest one (a position past
// the layout's edge goes to the edge, as a real pointer would).
const Stream *StreamAt(double x, double y) {
    const Stream *best = nullptr;
    double bestD = 0;
    for (int i = 0; i < g_streamCount; i++) {
        const Stream &s = g_streams[i];
        double dx = x < s.x ? s.x - x : x >= s.x + s.w ? x - (s.x + s.w - 1) : 0;
        double dy = y < s.y ? s.y - y : y >= s.y + s.h ? y - (s.y + s.h - 1) : 0;
        double d = dx * dx + dy * dy;
        if (!best || d < bestD) best = &s, bestD = d;
    }
    return best;
}

void Motion(int32_t x, int32_t y) {
    if (!Ready()) return;
    if (!g_cast[0]) {
        Notify("NotifyPointerMotionRelative", g_variant_new("(dd)", -1e5, -1e5));
        Notify("NotifyPointerMotionRelative", g_variant_new("(dd)", double(x), double(y)));
        return;
    }
    const Stream *s = StreamAt(x, y);
    if (!s) return;
    double sx = (x - s->x) * s->scale, sy = (y - s->y) * s->scale;
    double maxX = s->w * s->scale - 1, maxY = s->h * s->scale - 1;
    sx = sx < 0 ? 0 : sx > maxX ? maxX : sx;
    sy = sy < 0 ? 0 : sy > maxY ? maxY : sy;
    Notify("NotifyPointerMotionAbsolute", g_variant_new("(sdd)", s->path, sx, sy));
}

// Whole notches only (mutter's discrete steps), the rest waits for the
// next turn.
void Axis(bool horizontal, int32_t v120) {
    if (!Ready()) return;
    int axis = horizontal ? 1 : 0; // mutter's axis numbers
    int32_t total = g_wheelRest[axis] + v120;
    int32_t steps = total / 120;
    g_wheelRest[axis] = total - steps * 120;
    if (steps) Notify("NotifyPointerAxisDiscrete", g_variant_new("(ui)", uint32_t(axis), steps));
}

void Flush() {
    if (g_bus) g_dbus_connection_flush_sync(g_bus, nullptr, nullptr);
}

const char *Why() {
    return g_why;
}

} // namespace

const WlRoute kMutterRoute = {"mutter", Open, Close, Key, Motion, Button, Axis, Flush, Why};
