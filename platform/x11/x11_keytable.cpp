// The keys as the key-state services hand them out: down, pressed since
// the last asynchronous read, toggled, and the thread table a playback
// sets, from the keys and buttons the events (or a look) left.
#include "../input.h"
#include "x11_backend.h"
#include "x11_input_state.h"
#include "x11_keymap.h"
#include "x11_keystate.h"
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

using namespace x11in;

namespace {

constexpr int kLockVks[3] = {0x14, 0x90, 0x91}; // Caps, Num, Scroll

uint8_t g_down[256];       // physically down in the last snapshot
uint8_t g_pressed[256];    // pressed since the last asynchronous read
uint8_t g_suppressed[256]; // cleared from the thread table while still held
uint8_t g_toggle[256];     // thread table toggle bits (not the lock keys)
unsigned g_ledBase = 0;    // lock LEDs as they were when the table was cleared
unsigned g_ledMask[3] = {1, 2, 4};
unsigned g_ledState = 0;
unsigned long g_ledGeneration = 0, g_snapshotGeneration = 0;
uint8_t g_keysDown[256]; // the keys' part of the last snapshot

bool ComputeDown(int vk) {
    switch (vk) {
    case 1: return g_buttons & (1u << 1);
    case 2: return g_buttons & (1u << 3);
    case 4: return g_buttons & (1u << 2);
    case 5: return g_buttons & (1u << 8);
    case 6: return g_buttons & (1u << 9);
    default: break;
    }
    return g_keysDown[vk] != 0;
}

int LockIndex(int vk) {
    for (int i = 0; i < 3; i++)
        if (kLockVks[i] == vk) return i;
    return -1;
}

unsigned LedState() {
    if (g_ledGeneration != g_snapshotGeneration || !g_haveSnapshot) {
        unsigned state = 0;
        if (XkbGetIndicatorState(g_dpy, XkbUseCoreKbd, &state) == Success) g_ledState = state;
        g_ledGeneration = g_snapshotGeneration;
    }
    return g_ledState;
}

} // namespace

void x11in::FindLedMasks() {
    const char *names[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
    for (int i = 0; i < 3; i++) {
        Atom a = XInternAtom(g_dpy, names[i], True);
        int index = -1;
        if (a != None && XkbGetNamedIndicator(g_dpy, a, &index, nullptr, nullptr, nullptr) &&
            index >= 0 && index < 32)
            g_ledMask[i] = 1u << index;
    }
}

// The down state of every code from the keys and buttons as they are now;
// a press that starts on the toolbar is noted.
void x11in::UpdateDown() {
    X11KeysDown(X11KeymapNumLock(), g_keysDown);
    g_haveSnapshot = true;
    g_snapshotGeneration++;
    // A press that starts on the toolbar; a drag from elsewhere that
    // crosses it is not one.
    bool left = g_buttons & (1u << 1);
    if (!left) {
        g_pressOnToolbar = false;
    } else if (!g_down[1] && g_toolbar && g_pointerChild) {
        if (!g_toolbarTop) g_toolbarTop = TopLevelOf(g_toolbar);
        g_pressOnToolbar = g_pointerChild == g_toolbarTop;
    }
    for (int vk = 1; vk < 256; vk++) {
        bool down = ComputeDown(vk);
        if (down && !g_down[vk]) {
            g_pressed[vk] = 1;
            g_toggle[vk] ^= 1;
        }
        if (!down) g_suppressed[vk] = 0;
        g_down[vk] = down;
    }
}

int16_t X11GetAsyncKeyState(int vk) {
    if (vk <= 0 || vk > 255) return 0;
    if (!g_haveSnapshot) X11InputSnapshot();
    int16_t r = g_down[vk] ? int16_t(0x8000) : 0;
    if (g_pressed[vk]) r = int16_t(r | 1);
    g_pressed[vk] = 0;
    return r;
}

int16_t X11GetKeyState(int vk) {
    if (vk <= 0 || vk > 255) return 0;
    if (!g_haveSnapshot) X11InputSnapshot();
    int16_t r = 0;
    if (g_down[vk] && !g_suppressed[vk]) r = int16_t(0xFF80);
    int lock = LockIndex(vk);
    bool toggled = lock >= 0 ? ((LedState() ^ g_ledBase) & g_ledMask[lock]) != 0 : g_toggle[vk];
    if (toggled) r = int16_t(r | 1);
    return r;
}

void X11SetKeyboardState(const uint8_t table[256]) {
    // Look again first: releases injected a moment ago must not leave keys
    // marked as held.
    X11InputSnapshot();
    if (!g_dpy) return;
    X11KeymapForget();
    unsigned leds = LedState();
    for (int vk = 0; vk < 256; vk++) {
        g_suppressed[vk] = (table[vk] & 0x80) ? 0 : g_down[vk];
        int lock = LockIndex(vk);
        if (lock < 0) {
            g_toggle[vk] = table[vk] & 1;
        } else {
            bool want = table[vk] & 1;
            bool on = (leds & g_ledMask[lock]) != 0;
            g_ledBase = (g_ledBase & ~g_ledMask[lock]) | ((on != want) ? g_ledMask[lock] : 0);
        }
    }
}
