// Playback on wlroots compositors (sway, Hyprland, river, labwc, wayfire):
// a virtual keyboard that carries the session's own keymap, and a virtual
// pointer moved absolutely over the box of all outputs.
//
// wlroots does not work the modifier state out of the keys a virtual
// keyboard sends (Shift then a arrives as "a"): the route runs the keys
// through an xkb_state of its own and sends the modifiers whenever they
// change, after the key that changed them, as a real keyboard's would be.
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wl_route.h"
#include "wl_session.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace {

zwp_virtual_keyboard_manager_v1 *g_kbManager = nullptr;
zwlr_virtual_pointer_manager_v1 *g_ptrManager = nullptr;
zwp_virtual_keyboard_v1 *g_keyboard = nullptr;
zwlr_virtual_pointer_v1 *g_pointer = nullptr;
xkb_state *g_state = nullptr;
uint32_t g_generation = 0;
uint32_t g_sent[4] = {}; // depressed, latched, locked, group as last sent
int32_t g_wheelRest[2] = {};
char g_why[160] = "";

// The keymap goes to the compositor as a file it maps: an anonymous one.
bool UploadKeymap() {
    uint32_t size = 0;
    const char *text = WlKeymapText(&size);
    xkb_keymap *km = WlKeymap();
    if (!text || !km) {
        snprintf(g_why, sizeof g_why, "no keymap to give the virtual keyboard");
        return false;
    }
    int fd = memfd_create("quorvane-keymap", MFD_CLOEXEC);
    if (fd < 0) return false;
    bool ok = write(fd, text, size) == ssize_t(size);
    if (ok) zwp_virtual_keyboard_v1_keymap(g_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, size);
    close(fd);
    if (!ok) return false;
    if (g_state) xkb_state_unref(g_state);
    g_state = xkb_state_new(km);
    // The session's active layout stays active.
    uint32_t group = WlKeymapLayout();
    xkb_state_update_mask(g_state, 0, 0, 0, 0, 0, group);
    g_sent[0] = g_sent[1] = g_sent[2] = 0;
    g_sent[3] = group;
    zwp_virtual_keyboard_v1_modifiers(g_keyboard, 0, 0, 0, group);
    g_generation = WlKeymapGeneration();
    return true;
}

void SendModifiers() {
    uint32_t now[4] = {
        xkb_state_serialize_mods(g_state, XKB_STATE_MODS_DEPRESSED),
        xkb_state_serialize_mods(g_state, XKB_STATE_MODS_LATCHED),
        xkb_state_serialize_mods(g_state, XKB_STATE_MODS_LOCKED),
        xkb_state_serialize_layout(g_state, XKB_STATE_LAYOUT_EFFECTIVE),
    };
    if (!memcmp(now, g_sent, sizeof now)) return;
    memcpy(g_sent, now, sizeof now);
    zwp_virtual_keyboard_v1_modifiers(g_keyboard, now[0], now[1], now[2], now[3]);
}

void Close() {
    if (g_keyboard) zwp_virtual_keyboard_v1_destroy(g_keyboard);
    if (g_pointer) zwlr_virtual_pointer_v1_destroy(g_pointer);
    if (g_ptrManager) zwlr_virtual_pointer_manager_v1_destroy(g_ptrManager);
    // The keyboard manager has no destructor request.
    if (g_kbManager) wl_proxy_destroy(reinterpret_cast<wl_proxy *>(g_kbManager));
    if (g_state) xkb_state_unref(g_state);
    g_keyboard = nullptr;
    g_pointer = nullptr;
    g_ptrManager = nullptr;
    g_kbManager = nullptr;
    g_state = nullptr;
    if (WlDisplay()) wl_display_flush(WlDisplay());
}

bool Open() {
    g_why[0] = 0;
    if (!WlSeat()) {
        snprintf(g_why, sizeof g_why, "the compositor has no seat");
        return false;
    }
    const wl_interface *needed[2] = {&zwp_virtual_keyboard_manager_v1_interface,
                                     &zwlr_virtual_pointer_manager_v1_interface};
    for (const wl_interface *i : needed)
        if (!WlOffers(i->name)) {
            snprintf(g_why, sizeof g_why, "the compositor offers no %s", i->name);
            return false;
        }
    g_kbManager = static_cast<zwp_virtual_keyboard_manager_v1 *>(
        WlBind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    g_ptrManager = static_cast<zwlr_virtual_pointer_manager_v1 *>(
        WlBind(&zwlr_virtual_pointer_manager_v1_interface, 1));
    g_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(g_kbManager, WlSeat());
    g_pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g_ptrManager, WlSeat());
    if (!UploadKeymap()) {
        if (!g_why[0]) snprintf(g_why, sizeof g_why, "the keymap could not be shared");
        Close();
        return false;
    }
    // A compositor that refuses virtual devices (an untrusted client)
    // ends the connection with a protocol error; better to learn it now.
    WlSessionRoundtrip();
    if (wl_display_get_error(WlDisplay())) {
        snprintf(g_why, sizeof g_why, "the compositor refused the virtual devices");
        Close();
        return false;
    }
    // The devices exist now; the windows take a moment to bind to them.
    WlSettleFor(150);
    return true;
}

void Key(uint32_t code, bool down) {
    if (!g_keyboard) return;
    WlWaitSettled();
    if (WlKeymapGeneration() != g_generation) UploadKeymap();
    zwp_virtual_keyboard_v1_key(g_keyboard, WlNow(), code,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED
                                     : WL_KEYBOARD_KEY_STATE_RELEASED);
    xkb_state_update_key(g_state, code + 8, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    SendModifiers();
}

void Motion(int32_t x, int32_t y) {
    if (!g_pointer) return;
    WlWaitSettled();
    WlBox box = WlLayoutBox();
    if (box.width <= 0 || box.height <= 0) return;
    // Inside the box: the last pixel is width - 1 of an extent of width.
    int64_t rx = int64_t(x) - box.x, ry = int64_t(y) - box.y;
    rx = rx < 0 ? 0 : rx >= box.width ? box.width - 1 : rx;
    ry = ry < 0 ? 0 : ry >= box.height ? box.height - 1 : ry;
    zwlr_virtual_pointer_v1_motion_absolute(g_pointer, WlNow(), uint32_t(rx), uint32_t(ry),
                                            uint32_t(box.width), uint32_t(box.height));
    zwlr_virtual_pointer_v1_frame(g_pointer);
}

void Button(uint32_t button, bool down) {
    if (!g_pointer) return;
    WlWaitSettled();
    zwlr_virtual_pointer_v1_button(g_pointer, WlNow(), button,
                                   down ? WL_POINTER_BUTTON_STATE_PRESSED
                                        : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(g_pointer);
}

// Whole notches, as a wheel sends them; the rest waits for the next turn.
void Axis(bool horizontal, int32_t v120) {
    if (!g_pointer) return;
    WlWaitSettled();
    int32_t &rest = g_wheelRest[horizontal ? 1 : 0];
    rest += v120;
    int32_t notches = rest / 120;
    if (!notches) return;
    rest -= notches * 120;
    uint32_t axis =
        horizontal ? WL_POINTER_AXIS_HORIZONTAL_SCROLL : WL_POINTER_AXIS_VERTICAL_SCROLL;
    zwlr_virtual_pointer_v1_axis_source(g_pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
    // 15 units a notch, what libinput reports for a wheel click.
    zwlr_virtual_pointer_v1_axis_discrete(g_pointer, WlNow(), axis, wl_fixed_from_int(15 * notches),
                                          notches);
    zwlr_virtual_pointer_v1_frame(g_pointer);
}

void Flush() {
    if (WlDisplay()) wl_display_flush(WlDisplay());
}

const char *Why() {
    return g_why;
}

} // namespace

const WlRoute kWlrootsRoute = {"wlroots", Open, Close, Key, Motion, Button, Axis, Flush, Why};
