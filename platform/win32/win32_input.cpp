// Keyboard and pointer state and synthetic input: each is the desktop call
// it is named after.
#include "../../platform/input.h"
#include "win32_backend.h"

// The system keeps its own state; there is nothing to fetch ahead of a scan.
const char *PlatRecordingUnavailable() {
    return nullptr;
}

void PlatInputSnapshot() {}

int16_t PlatGetAsyncKeyState(int vk) {
    int16_t state = 0;
    if (Win32RawKeyState(vk, &state)) return state;
    return GetAsyncKeyState(vk);
}

int16_t PlatGetKeyState(int vk) {
    return GetKeyState(vk);
}

void PlatSetKeyboardState(const uint8_t table[256]) {
    BYTE copy[256];
    for (int i = 0; i < 256; i++)
        copy[i] = table[i];
    SetKeyboardState(copy);
}

uint32_t PlatMapVirtualKey(uint32_t vk) {
    return MapVirtualKeyA(vk, 0);
}

void PlatGetCursorPos(int32_t *x, int32_t *y) {
    if (Win32RawPlace(x, y)) return;
    POINT p = {0, 0};
    GetCursorPos(&p);
    *x = p.x;
    *y = p.y;
}

// Window handles are 32-bit values on 64-bit Windows too, so the id is the
// handle itself.
uint32_t PlatGetForegroundWindow() {
    return uint32_t(uintptr_t(GetForegroundWindow()));
}

void PlatKeybdEvent(uint8_t vk, uint8_t scan, uint32_t flags) {
    keybd_event(vk, scan, flags, 0);
}

void PlatMouseEvent(uint32_t flags, uint32_t dx, uint32_t dy) {
    mouse_event(flags, dx, dy, 0, 0);
}

// The wheel's delta goes in as it is: the desktop takes parts of a notch.
void PlatMouseButtonEvent(uint32_t flags, uint32_t data) {
    mouse_event(flags, 0, 0, data, 0);
}

void PlatSetCursorPos(int32_t x, int32_t y) {
    SetCursorPos(x, y);
}

int32_t PlatScreenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}

int32_t PlatScreenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}

uint32_t PlatGetDoubleClickTime() {
    return GetDoubleClickTime();
}
