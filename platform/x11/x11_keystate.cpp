// Which virtual keys read as down. A look at the keyboard (XQueryKeymap)
// costs a round trip; the key events (RECORD's, else XInput 2's raw ones)
// tell every press and release as it happens, so between the looks the state follows them, one step
// per event, and a recorder told of each step sees a fast typist's every key.
#include "x11_keystate.h"
#include "x11_keymap.h"
#include <cstring>

namespace {

uint8_t g_shown[256]; // per keycode: down

} // namespace

void X11KeysSeed(const char keymap[32]) {
    for (int kc = 0; kc < 256; kc++)
        g_shown[kc] = (keymap[kc >> 3] >> (kc & 7)) & 1;
}

bool X11KeysEvent(unsigned keycode, bool pressed) {
    if (keycode < 8 || keycode > 255) return false;
    uint8_t down = pressed ? 1 : 0;
    if (g_shown[keycode] == down) return false;
    g_shown[keycode] = down;
    return true;
}

void X11KeysDown(bool numLock, uint8_t down[256]) {
    memset(down, 0, 256);
    for (int kc = 8; kc < 256; kc++) {
        if (!g_shown[kc]) continue;
        uint8_t vks[4];
        int n = X11KeymapVks(unsigned(kc), numLock, vks);
        for (int i = 0; i < n; i++)
            down[vks[i]] = 1;
    }
}
