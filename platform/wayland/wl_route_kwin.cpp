// Playback on KDE: KWin's org_kde_kwin_fake_input, on a Wayland connection
// of the route's own. KWin offers the global only to a program that a
// desktop entry names by its absolute path (wl_kde_entry.cpp); when it is
// missing, the route writes that entry and connects again, and KWin, which
// reads entries written after it started, then offers it.
#include "fake-input-client-protocol.h"
#include "wl_kde_entry.h"
#include "wl_route.h"
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <glib.h>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

// keyboard_key came with version 4; pointer_motion_absolute with 3.
constexpr uint32_t kVersion = 4;
// KWin learns of a new entry when KDE's service cache is rebuilt, which it
// starts itself on noticing the folder changed: 0.4 to 1.9 s here. Until then
// each new connection is refused the global; the route asks again this
// often, for up to 5 s, once per program path.
constexpr int kRetryMs = 50;
constexpr int kRetries = 100;
// The longest a full socket is waited for before the event is dropped.
constexpr int kStallMs = 1000;

wl_display *g_dpy = nullptr;
wl_registry *g_registry = nullptr;
org_kde_kwin_fake_input *g_fake = nullptr;
uint32_t g_fakeVersion = 0;
bool g_kwin = false;    // the compositor has KWin's own globals: it is KWin
bool g_wasOpen = false; // opened once: a lost connection is made again
gint64 g_lastTry = 0;
char g_why[2048];

void OnGlobal(void *, wl_registry *reg, uint32_t name, const char *iface, uint32_t version) {
    if (std::strcmp(iface, org_kde_kwin_fake_input_interface.name) == 0 && !g_fake &&
        version >= kVersion) {
        g_fake = static_cast<org_kde_kwin_fake_input *>(
            wl_registry_bind(reg, name, &org_kde_kwin_fake_input_interface, kVersion));
        g_fakeVersion = version;
    } else if (std::strncmp(iface, "org_kde_plasma_", 15) == 0 ||
               std::strncmp(iface, "kde_output_device", 17) == 0) {
        // Globals only KWin offers: wlroots compositors offer KDE's
        // decoration and idle protocols too (sway 1.7 has both), and a
        // desktop entry written there would be for nobody, after a wait.
        g_kwin = true;
    }
}

void OnGlobalRemove(void *, wl_registry *, uint32_t) {}

const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};

void Disconnect() {
    if (g_fake) org_kde_kwin_fake_input_destroy(g_fake);
    if (g_registry) wl_registry_destroy(g_registry);
    if (g_dpy) wl_display_disconnect(g_dpy);
    g_fake = nullptr;
    g_registry = nullptr;
    g_dpy = nullptr;
}

// One connection and a look at the globals; true when fake input is bound.
bool Connect() {
    Disconnect();
    g_dpy = wl_display_connect(nullptr);
    if (!g_dpy) {
        std::snprintf(g_why, sizeof g_why, "no Wayland display");
        return false;
    }
    g_registry = wl_display_get_registry(g_dpy);
    wl_registry_add_listener(g_registry, &kRegistry, nullptr);
    if (wl_display_roundtrip(g_dpy) < 0) {
        std::snprintf(g_why, sizeof g_why, "the Wayland display closed the connection");
        Disconnect();
        return false;
    }
    return g_fake != nullptr;
}

bool OwnPath(char *out, size_t size) {
    ssize_t n = readlink("/proc/self/exe", out, size - 1);
    if (n <= 0 || size_t(n) >= size - 1) return false;
    out[n] = 0;
    return true;
}

// A harmless event: KWin makes the fake device on bind, and the round trip
// after it has it in place before the first real event.
void Prime() {
    org_kde_kwin_fake_input_authenticate(g_fake, "Quorvane", "plays back recorded input");
    org_kde_kwin_fake_input_pointer_motion(g_fake, wl_fixed_from_int(0), wl_fixed_from_int(0));
    wl_display_roundtrip(g_dpy);
    g_wasOpen = true;
}

bool Open() {
    if (g_fake) return true;
    g_why[0] = 0;
    g_kwin = false;
    if (Connect()) {
        Prime();
        return true;
    }
    if (!g_dpy) return false;
    if (!g_kwin) {
        std::snprintf(g_why, sizeof g_why,
                      "the compositor offers no org_kde_kwin_fake_input (not KWin)");
        Disconnect();
        return false;
    }
    char exe[1024], why[512];
    if (!OwnPath(exe, sizeof exe)) {
        std::snprintf(g_why, sizeof g_why, "cannot read this program's own path");
        Disconnect();
        return false;
    }
    int wrote =
        KdeEntryEnsure(exe, g_get_user_data_dir(), g_get_system_data_dirs(), why, sizeof why);
    if (wrote < 0) {
        std::snprintf(g_why, sizeof g_why, "KWin refuses fake input without a desktop entry: %s",
                      why);
        Disconnect();
        return false;
    }
    for (int i = 0; i < kRetries; i++) {
        if (Connect()) {
            Prime();
            return true;
        }
        if (!g_dpy) return false;
        g_usleep(kRetryMs * 1000);
    }
    std::snprintf(g_why, sizeof g_why,
                  "KWin does not offer org_kde_kwin_fake_input to %s although a desktop entry "
                  "names it (X-KDE-Wayland-Interfaces in ~/.local/share/applications)",
                  exe);
    Disconnect();
    return false;
}

void Close() {
    // KWin has taken every event before the device goes: a compiled copy
    // whose last record is a move ends right after sending it.
    if (g_dpy && g_fake) wl_display_roundtrip(g_dpy);
    Disconnect();
    g_wasOpen = false;
}

// Each event leaves at once: playback paces them, a buffer would not. When
// KWin reads slower than a burst arrives (it answers nothing while it
// rebuilds its service cache), the socket fills: wait for room, since
// libwayland ends the connection once its own buffer overflows too.
void Send() {
    while (wl_display_flush(g_dpy) < 0) {
        pollfd p = {wl_display_get_fd(g_dpy), POLLOUT, 0};
        if (errno != EAGAIN || poll(&p, 1, kStallMs) <= 0) break;
    }
    if (wl_display_get_error(g_dpy)) {
        std::snprintf(g_why, sizeof g_why, "KWin closed the connection");
        Disconnect();
    }
}

// After a lost connection the next event connects again, at most once a
// second (a KWin that went away is not asked for every event).
bool Ready() {
    if (g_fake) return true;
    if (!g_wasOpen) return false;
    gint64 now = g_get_monotonic_time();
    if (now - g_lastTry < 1000 * 1000) return false;
    g_lastTry = now;
    return Open();
}

void Key(uint32_t code, bool down) {
    if (!Ready()) return;
    org_kde_kwin_fake_input_keyboard_key(g_fake, code, down ? 1 : 0);
    Send();
}

void Motion(int32_t x, int32_t y) {
    if (!Ready()) return;
    org_kde_kwin_fake_input_pointer_motion_absolute(g_fake, wl_fixed_from_double(x),
                                                    wl_fixed_from_double(y));
    Send();
}

void Button(uint32_t code, bool down) {
    if (!Ready()) return;
    org_kde_kwin_fake_input_button(g_fake, code, down ? 1 : 0);
    Send();
}

// KWin passes the value on as a wheel turn of that many degrees, 15 a notch
// as libinput counts a mouse wheel; parts of a notch pass as they are.
void Axis(bool horizontal, int32_t v120) {
    if (!Ready()) return;
    org_kde_kwin_fake_input_axis(
        g_fake, horizontal ? WL_POINTER_AXIS_HORIZONTAL_SCROLL : WL_POINTER_AXIS_VERTICAL_SCROLL,
        wl_fixed_from_double(v120 * 15.0 / 120.0));
    Send();
}

// Sends the queue and reads what KWin sent meanwhile (without waiting), so
// its events never fill the socket. A dead connection ends the route.
void Flush() {
    if (!g_dpy) return;
    while (wl_display_prepare_read(g_dpy) != 0)
        wl_display_dispatch_pending(g_dpy);
    wl_display_flush(g_dpy);
    pollfd p = {wl_display_get_fd(g_dpy), POLLIN, 0};
    if (poll(&p, 1, 0) > 0)
        wl_display_read_events(g_dpy);
    else
        wl_display_cancel_read(g_dpy);
    wl_display_dispatch_pending(g_dpy);
    if (wl_display_get_error(g_dpy)) {
        std::snprintf(g_why, sizeof g_why, "KWin closed the connection");
        Disconnect();
    }
}

const char *Why() {
    return g_why;
}

} // namespace

const WlRoute kKwinRoute = {"kwin", Open, Close, Key, Motion, Button, Axis, Flush, Why};
