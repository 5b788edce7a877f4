// A stand-in for a desktop's own keyboard on a headless compositor: a
// virtual keyboard whose keymap xkbcommon compiles for the layout given
// (as a compositor does for a keyboard of its own), made the seat's active
// keyboard, so every client's wl_keyboard gets that keymap. It prints
// "ready" once the compositor has it and stays until killed.
//
// usage: qv_seat_keyboard LAYOUT
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

static wl_seat *g_seat = nullptr;
static zwp_virtual_keyboard_manager_v1 *g_manager = nullptr;

static void OnGlobal(void *, wl_registry *reg, uint32_t name, const char *iface, uint32_t) {
    if (!strcmp(iface, wl_seat_interface.name) && !g_seat)
        g_seat = static_cast<wl_seat *>(wl_registry_bind(reg, name, &wl_seat_interface, 1));
    if (!strcmp(iface, zwp_virtual_keyboard_manager_v1_interface.name))
        g_manager = static_cast<zwp_virtual_keyboard_manager_v1 *>(
            wl_registry_bind(reg, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
}

static void OnGlobalRemove(void *, wl_registry *, uint32_t) {}

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s LAYOUT\n", argv[0]);
        return 2;
    }
    wl_display *d = wl_display_connect(nullptr);
    if (!d) return 1;
    wl_registry *reg = wl_display_get_registry(d);
    const wl_registry_listener listener = {OnGlobal, OnGlobalRemove};
    wl_registry_add_listener(reg, &listener, nullptr);
    wl_display_roundtrip(d);
    if (!g_seat || !g_manager) return 1;
    xkb_context *ctx = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_rule_names names = {"evdev", "pc105", argv[1], "", ""};
    xkb_keymap *km = xkb_keymap_new_from_names(ctx, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    char *text = km ? xkb_keymap_get_as_string(km, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    if (!text) return 1;
    size_t size = strlen(text) + 1;
    int fd = memfd_create("seat-keymap", MFD_CLOEXEC);
    if (fd < 0 || write(fd, text, size) != ssize_t(size)) return 1;
    zwp_virtual_keyboard_v1 *kb =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(g_manager, g_seat);
    zwp_virtual_keyboard_v1_keymap(kb, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, uint32_t(size));
    // A keyboard's state change makes it the seat's active one.
    zwp_virtual_keyboard_v1_modifiers(kb, 0, 0, 0, 0);
    wl_display_roundtrip(d);
    printf("ready\n");
    fflush(stdout);
    while (wl_display_dispatch(d) != -1) {
    }
    return 0;
}
