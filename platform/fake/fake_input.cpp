#include "fake.h"
#include "../input.h"

bool PlatInputRecording(bool on) {
    g_fake.recording = on;
    return on && g_fake.delivers;
}

const char *PlatRecordingUnavailable() {
    return g_fake.recordingUnavailable;
}

void PlatInputSnapshot() {
    g_fake.tick += g_fake.scanCostMs;
}

int16_t PlatGetAsyncKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    int16_t r = g_fake.physical[vk] ? int16_t(0x8000) : 0;
    if (g_fake.pressedSince[vk]) r = int16_t(r | 1);
    g_fake.pressedSince[vk] = 0;
    return r;
}

int16_t PlatGetKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    int16_t r = 0;
    if (g_fake.thread[vk] & 0x80) r = int16_t(r | 0xFF80);
    if (g_fake.thread[vk] & 0x01) r = int16_t(r | 1);
    return r;
}

void PlatSetKeyboardState(const uint8_t table[256]) {
    for (int i = 0; i < 256; i++)
        g_fake.thread[i] = table[i];
    FakeLog("setkeyboardstate", 0);
}

// A PC keyboard's set-1 codes for the keys the tests use; others follow a
// simple rule so every code has a distinct, repeatable answer.
uint32_t PlatMapVirtualKey(uint32_t vk) {
    switch (vk) {
    case 0x41: return 30; // A
    case 0x52: return 19; // R
    case 0x50: return 25; // P
    case 0x10: return 42; // Shift
    case 0x11: return 29; // Ctrl
    case 0x12: return 56; // Alt
    case 0xA0: return 42;
    case 0xA1: return 54;
    case 0xA2: return 29;
    case 0xA3: return 29;
    case 0xA4: return 56;
    case 0xA5: return 56;
    case 0x01:
    case 0x02:
    case 0x04:
    case 0x05:
    case 0x06: return 0;
    default: return vk < 0x80 ? (vk & 0x7F) : 0;
    }
}

void PlatGetCursorPos(int32_t *x, int32_t *y) {
    *x = g_fake.cursorX;
    *y = g_fake.cursorY;
}

uint32_t PlatGetForegroundWindow() {
    return g_fake.foreground;
}

void PlatKeybdEvent(uint8_t vk, uint8_t scan, uint32_t flags) {
    FakeLog("key", vk, scan, flags);
    g_fake.tick += g_fake.injectCostMs;
}

void PlatMouseEvent(uint32_t flags, uint32_t dx, uint32_t dy) {
    FakeLog("mouse", flags, dx, dy);
    g_fake.tick += g_fake.injectCostMs;
}

void PlatMouseButtonEvent(uint32_t flags, uint32_t data) {
    FakeLog("button", flags, data);
}

void PlatTakeWheel(int32_t *dy, int32_t *dx) {
    *dy = g_fake.wheelDy;
    *dx = g_fake.wheelDx;
    g_fake.wheelDy = g_fake.wheelDx = 0;
}

void PlatSetCursorPos(int32_t x, int32_t y) {
    g_fake.cursorX = x;
    g_fake.cursorY = y;
    FakeLog("setcursor", x, y);
}

int32_t PlatScreenWidth() {
    return g_fake.screenW;
}
int32_t PlatScreenHeight() {
    return g_fake.screenH;
}
uint32_t PlatGetDoubleClickTime() {
    return g_fake.doubleClickTime;
}
