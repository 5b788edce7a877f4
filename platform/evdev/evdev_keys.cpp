// Kernel codes to virtual-key codes.
#include "evdev_keys.h"
#include "../linux/keymap.h"
#include <linux/input.h>

namespace {

// The buttons as the recorder names them: left, right, middle, and the two
// side buttons (back and forward on most mice).
uint8_t ButtonVk(uint16_t code) {
    switch (code) {
    case BTN_LEFT: return 1;
    case BTN_RIGHT: return 2;
    case BTN_MIDDLE: return 4;
    case BTN_SIDE:
    case BTN_BACK: return 5;
    case BTN_EXTRA:
    case BTN_FORWARD: return 6;
    default: return 0;
    }
}

} // namespace

int EvdevCodeVks(uint16_t code, bool numLock, uint8_t vks[4]) {
    if (uint8_t b = ButtonVk(code)) {
        vks[0] = b;
        return 1;
    }
    if (code > 255 - 8) return 0;
    return KeymapVks(code + 8u, numLock, vks);
}
