// Lets go of everything the user or a playback holds down, so a recording
// or a pass never starts with a key stuck from before.
#include "../platform/input.h"
#include "../platform/timer.h"
#include "engine.h"
#include "winconst.h"

bool IsExtendedKey(uint32_t vk) {
    return vk == VK_CONTROL || (vk >= VK_PRIOR && vk <= VK_DELETE) || vk == VK_LWIN ||
           vk == VK_RWIN || vk == VK_APPS;
}

static bool ReadsAsDown(int vk) {
    if (PlatGetAsyncKeyState(vk) < 0) return true;
    // The buttons get a second look at the device; Backspace counts when
    // its toggle is set in the thread's table; every other key when the
    // table holds it down.
    if (vk == VK_LBUTTON || vk == VK_RBUTTON || (vk >= VK_MBUTTON && vk <= VK_XBUTTON2))
        return PlatGetAsyncKeyState(vk) < 0;
    if (vk == VK_BACK) return (PlatGetKeyState(vk) & 1) != 0;
    return PlatGetKeyState(vk) < 0;
}

// A held button past the left one gets a button release: a key event of its
// code lifts nothing on either desktop.
static bool ReleaseButton(int vk) {
    switch (vk) {
    case VK_RBUTTON: PlatMouseEvent(MOUSEEVENTF_RIGHTUP, 0, 0); return true;
    case VK_MBUTTON: PlatMouseButtonEvent(MOUSEEVENTF_MIDDLEUP, 0); return true;
    case VK_XBUTTON1: PlatMouseButtonEvent(MOUSEEVENTF_XUP, XBUTTON1); return true;
    case VK_XBUTTON2: PlatMouseButtonEvent(MOUSEEVENTF_XUP, XBUTTON2); return true;
    default: return false;
    }
}

void ReleaseAllInput() {
    PlatInputSnapshot();
    PlatMouseEvent(MOUSEEVENTF_LEFTUP, 0, 0);
    for (int vk = 0; vk <= 255; vk++) {
        // The lock keys are states the user chose, not keys held down.
        if (vk == VK_CAPITAL || vk == VK_NUMLOCK || vk == VK_SCROLL) continue;
        if (!ReadsAsDown(vk)) continue;
        if (ReleaseButton(vk)) continue;
        uint32_t flags =
            KEYEVENTF_KEYUP | (IsExtendedKey(uint32_t(vk)) ? uint32_t(KEYEVENTF_EXTENDEDKEY) : 0u);
        PlatKeybdEvent(uint8_t(vk), uint8_t(PlatMapVirtualKey(uint32_t(vk))), flags);
    }
    static const uint8_t cleared[256] = {};
    PlatSetKeyboardState(cleared);
    // Reads away the pressed-since-last-look marks.
    for (int vk = 0; vk <= 254; vk++)
        PlatGetAsyncKeyState(vk);
    PlatSleep(1);
}
