// The Wayland backend's connection: globals as the registry announces them,
// the seat's keyboard for the session's keymap, and the outputs' logical
// places from xdg-output (wl_output's own positions read 0,0 on wlroots).
#include "wl_session.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace {

struct Global {
    uint32_t name;
    char iface[64];
    uint32_t version;
};

struct Output {
    uint32_t global;
    wl_output *output;
    zxdg_output_v1 *xdg;
    int32_t x, y, w, h;   // logical, from xdg-output
    int32_t modeW, modeH; // current mode, the fallback without it
    int32_t scale;
};

constexpr int kMaxGlobals = 128, kMaxOutputs = 16;
wl_display *g_display = nullptr;
wl_registry *g_registry = nullptr;
Global g_globals[kMaxGlobals];
int g_globalCount = 0;
wl_seat *g_seat = nullptr;
wl_keyboard *g_keyboard = nullptr;
zxdg_output_manager_v1 *g_xdgManager = nullptr;
Output g_outputs[kMaxOutputs];
int g_outputCount = 0;

xkb_context *g_xkb = nullptr;
xkb_keymap *g_keymap = nullptr;
char *g_keymapText = nullptr;
uint32_t g_keymapSize = 0, g_keymapGeneration = 0, g_layout = 0;
timespec g_settled = {}; // no event before this (monotonic); zero once passed

timespec Monotonic() {
    timespec ts = {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts;
}

void SetKeymap(xkb_keymap *km) {
    if (!km) return;
    char *text = xkb_keymap_get_as_string(km, XKB_KEYMAP_FORMAT_TEXT_V1);
    // Our own virtual keyboard's map comes back to us once it is the seat's
    // active keyboard. It is no change: taken as one, it would make the
    // route upload it again, which resets the modifiers it holds.
    if (!text || (g_keymapText && !strcmp(text, g_keymapText))) {
        free(text);
        xkb_keymap_unref(km);
        return;
    }
    if (g_keymap) xkb_keymap_unref(g_keymap);
    free(g_keymapText);
    g_keymap = km;
    g_keymapText = text;
    g_keymapSize = uint32_t(strlen(text) + 1);
    g_layout = 0;
    g_keymapGeneration++;
}

void OnKeymap(void *, wl_keyboard *, uint32_t format, int32_t fd, uint32_t size) {
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
        void *map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            // The text is zero-terminated within size; a map that is not
            // leaves the keymap we had.
            const char *text = static_cast<const char *>(map);
            if (memchr(text, 0, size))
                SetKeymap(xkb_keymap_new_from_string(g_xkb, text, XKB_KEYMAP_FORMAT_TEXT_V1,
                                                     XKB_KEYMAP_COMPILE_NO_FLAGS));
            munmap(map, size);
        }
    }
    close(fd);
}

void OnEnter(void *, wl_keyboard *, uint32_t, wl_surface *, wl_array *) {}
void OnLeave(void *, wl_keyboard *, uint32_t, wl_surface *) {}
void OnKey(void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t) {}
void OnModifiers(void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t group) {
    if (group != g_layout) {
        g_layout = group;
        g_keymapGeneration++;
    }
}
void OnRepeat(void *, wl_keyboard *, int32_t, int32_t) {}

const wl_keyboard_listener kKeyboard = {OnKeymap, OnEnter, OnLeave, OnKey, OnModifiers, OnRepeat};

void OnCapabilities(void *, wl_seat *seat, uint32_t caps) {
    bool has = caps & WL_SEAT_CAPABILITY_KEYBOARD;
    if (has && !g_keyboard) {
        g_keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(g_keyboard, &kKeyboard, nullptr);
    } else if (!has && g_keyboard) {
        // The keymap stays: it is still the session's until another comes.
        if (wl_keyboard_get_version(g_keyboard) >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
            wl_keyboard_release(g_keyboard);
        else
            wl_keyboard_destroy(g_keyboard);
        g_keyboard = nullptr;
    }
}

void OnSeatName(void *, wl_seat *, const char *) {}

const wl_seat_listener kSeat = {OnCapabilities, OnSeatName};

Output *OutputOf(void *data) {
    return static_cast<Output *>(data);
}

void OnGeometry(void *, wl_output *, int32_t, int32_t, int32_t, int32_t, int32_t, const char *,
                const char *, int32_t) {}
void OnMode(void *data, wl_output *, uint32_t flags, int32_t w, int32_t h, int32_t) {
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        OutputOf(data)->modeW = w;
        OutputOf(data)->modeH = h;
    }
}
void OnOutputDone(void *, wl_output *) {}
void OnScale(void *data, wl_output *, int32_t factor) {
    OutputOf(data)->scale = factor > 0 ? factor : 1;
}

void OnOutputName(void *, wl_output *, const char *) {}
void OnOutputDescription(void *, wl_output *, const char *) {}

const wl_output_listener kOutput = {OnGeometry, OnMode,       OnOutputDone,
                                    OnScale,    OnOutputName, OnOutputDescription};

void OnLogicalPosition(void *data, zxdg_output_v1 *, int32_t x, int32_t y) {
    OutputOf(data)->x = x;
    OutputOf(data)->y = y;
}
void OnLogicalSize(void *data, zxdg_output_v1 *, int32_t w, int32_t h) {
    OutputOf(data)->w = w;
    OutputOf(data)->h = h;
}
void OnXdgDone(void *, zxdg_output_v1 *) {}
void OnXdgName(void *, zxdg_output_v1 *, const char *) {}
void OnXdgDescription(void *, zxdg_output_v1 *, const char *) {}

const zxdg_output_v1_listener kXdgOutput = {OnLogicalPosition, OnLogicalSize, OnXdgDone, OnXdgName,
                                            OnXdgDescription};

void WatchXdg(Output *o) {
    if (g_xdgManager && o->output && !o->xdg) {
        o->xdg = zxdg_output_manager_v1_get_xdg_output(g_xdgManager, o->output);
        zxdg_output_v1_add_listener(o->xdg, &kXdgOutput, o);
    }
}

uint32_t Min(uint32_t a, uint32_t b) {
    return a < b ? a : b;
}

void OnGlobal(void *, wl_registry *reg, uint32_t name, const char *iface, uint32_t version) {
    if (g_globalCount < kMaxGlobals) {
        Global &g = g_globals[g_globalCount++];
        g.name = name;
        strncpy(g.iface, iface, sizeof g.iface - 1);
        g.iface[sizeof g.iface - 1] = 0;
        g.version = version;
    }
    if (!strcmp(iface, wl_seat_interface.name) && !g_seat) {
        g_seat = static_cast<wl_seat *>(
            wl_registry_bind(reg, name, &wl_seat_interface, Min(version, 5)));
        wl_seat_add_listener(g_seat, &kSeat, nullptr);
    } else if (!strcmp(iface, wl_output_interface.name) && g_outputCount < kMaxOutputs) {
        Output &o = g_outputs[g_outputCount++];
        o = {};
        o.global = name;
        o.scale = 1;
        o.output = static_cast<wl_output *>(
            wl_registry_bind(reg, name, &wl_output_interface, Min(version, 2)));
        wl_output_add_listener(o.output, &kOutput, &o);
        WatchXdg(&o);
    } else if (!strcmp(iface, zxdg_output_manager_v1_interface.name) && !g_xdgManager) {
        g_xdgManager = static_cast<zxdg_output_manager_v1 *>(
            wl_registry_bind(reg, name, &zxdg_output_manager_v1_interface, Min(version, 2)));
        for (int i = 0; i < g_outputCount; i++)
            WatchXdg(&g_outputs[i]);
    }
}

void DropOutput(int i) {
    Output &o = g_outputs[i];
    if (o.xdg) zxdg_output_v1_destroy(o.xdg);
    if (o.output) wl_output_destroy(o.output);
    // The listeners point at their slot: later outputs move down only after
    // their objects are made again, so a slot never changes owner under one.
    for (int j = i; j + 1 < g_outputCount; j++) {
        g_outputs[j] = g_outputs[j + 1];
        wl_proxy_set_user_data(reinterpret_cast<wl_proxy *>(g_outputs[j].output), &g_outputs[j]);
        if (g_outputs[j].xdg)
            wl_proxy_set_user_data(reinterpret_cast<wl_proxy *>(g_outputs[j].xdg), &g_outputs[j]);
    }
    g_outputCount--;
}

void OnGlobalRemove(void *, wl_registry *, uint32_t name) {
    for (int i = 0; i < g_outputCount; i++)
        if (g_outputs[i].global == name) {
            DropOutput(i);
            break;
        }
    for (int i = 0; i < g_globalCount; i++)
        if (g_globals[i].name == name) {
            g_globals[i] = g_globals[--g_globalCount];
            break;
        }
}

const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};

} // namespace

bool WlSessionOpen() {
    if (g_display) return true;
    g_display = wl_display_connect(nullptr);
    if (!g_display) return false;
    g_xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    g_registry = wl_display_get_registry(g_display);
    wl_registry_add_listener(g_registry, &kRegistry, nullptr);
    // Globals, then what binding them brought (seat capabilities, output
    // modes and places), then the keyboard's keymap.
    for (int i = 0; i < 3; i++)
        wl_display_roundtrip(g_display);
    if (!g_keymap && g_xkb)
        SetKeymap(xkb_keymap_new_from_names(g_xkb, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
    return true;
}

void WlSessionClose() {
    if (!g_display) return;
    while (g_outputCount)
        DropOutput(g_outputCount - 1);
    if (g_xdgManager) zxdg_output_manager_v1_destroy(g_xdgManager);
    if (g_keyboard) wl_keyboard_destroy(g_keyboard);
    if (g_seat) wl_seat_destroy(g_seat);
    if (g_registry) wl_registry_destroy(g_registry);
    wl_display_flush(g_display);
    wl_display_disconnect(g_display);
    g_display = nullptr;
    g_registry = nullptr;
    g_seat = nullptr;
    g_keyboard = nullptr;
    g_xdgManager = nullptr;
    g_globalCount = 0;
    if (g_keymap) xkb_keymap_unref(g_keymap);
    g_keymap = nullptr;
    free(g_keymapText);
    g_keymapText = nullptr;
    if (g_xkb) xkb_context_unref(g_xkb);
    g_xkb = nullptr;
}

wl_display *WlDisplay() {
    return g_display;
}

void WlSessionDispatch() {
    if (!g_display) return;
    wl_display_dispatch_pending(g_display);
    if (wl_display_prepare_read(g_display) != 0) {
        wl_display_dispatch_pending(g_display);
        return;
    }
    wl_display_flush(g_display);
    pollfd p = {wl_display_get_fd(g_display), POLLIN, 0};
    if (poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
        wl_display_read_events(g_display);
    } else {
        wl_display_cancel_read(g_display);
    }
    wl_display_dispatch_pending(g_display);
}

void WlSessionRoundtrip() {
    if (g_display) wl_display_roundtrip(g_display);
}

void *WlBind(const wl_interface *iface, uint32_t maxVersion) {
    for (int i = 0; g_display && i < g_globalCount; i++)
        if (!strcmp(g_globals[i].iface, iface->name))
            return wl_registry_bind(g_registry, g_globals[i].name, iface,
                                    Min(Min(g_globals[i].version, maxVersion), iface->version));
    return nullptr;
}

bool WlOffers(const char *interfaceName) {
    for (int i = 0; i < g_globalCount; i++)
        if (!strcmp(g_globals[i].iface, interfaceName)) return true;
    return false;
}

wl_seat *WlSeat() {
    return g_seat;
}

WlBox WlLayoutBox() {
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool any = false;
    for (int i = 0; i < g_outputCount; i++) {
        const Output &o = g_outputs[i];
        int32_t w = o.w, h = o.h;
        if (w <= 0 || h <= 0) { // no xdg-output: the mode, scaled
            w = o.modeW / o.scale;
            h = o.modeH / o.scale;
        }
        if (w <= 0 || h <= 0) continue;
        if (!any || o.x < x0) x0 = o.x;
        if (!any || o.y < y0) y0 = o.y;
        if (!any || o.x + w > x1) x1 = o.x + w;
        if (!any || o.y + h > y1) y1 = o.y + h;
        any = true;
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

xkb_keymap *WlKeymap() {
    return g_keymap;
}

const char *WlKeymapText(uint32_t *size) {
    *size = g_keymapSize;
    return g_keymapText;
}

uint32_t WlKeymapGeneration() {
    return g_keymapGeneration;
}

uint32_t WlKeymapLayout() {
    return g_layout;
}

void WlSettleFor(uint32_t ms) {
    g_settled = Monotonic();
    g_settled.tv_sec += ms / 1000;
    g_settled.tv_nsec += long(ms % 1000) * 1000000;
    if (g_settled.tv_nsec >= 1000000000) {
        g_settled.tv_sec++;
        g_settled.tv_nsec -= 1000000000;
    }
}

void WlWaitSettled() {
    if (!g_settled.tv_sec) return;
    timespec now = Monotonic();
    int64_t left = (int64_t(g_settled.tv_sec) - now.tv_sec) * 1000000000 +
                   (int64_t(g_settled.tv_nsec) - now.tv_nsec);
    if (left > 0) {
        timespec wait = {time_t(left / 1000000000), long(left % 1000000000)};
        nanosleep(&wait, nullptr);
    }
    g_settled = {};
}

uint32_t WlNow() {
    timespec ts = Monotonic();
    return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}
