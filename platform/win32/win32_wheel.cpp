// The wheel while recording: Raw Input sends the toolbar every turn of
// every mouse, also while another window has the focus, without a hook.
// A wheel has no state to poll, so the turns are added up here until the
// recorder's tick takes them.
#include "../../platform/input.h"
#include "win32_backend.h"

static int32_t s_dy, s_dx;

// Adds without wrapping, however long the wheel spins between two takes.
static int32_t AddTurn(int32_t sum, int32_t turn) {
    int64_t total = int64_t(sum) + turn;
    if (total > INT32_MAX) return INT32_MAX;
    if (total < INT32_MIN) return INT32_MIN;
    return int32_t(total);
}

void Win32WheelListen(HWND window) {
    RAWINPUTDEVICE mouse = {};
    mouse.usUsagePage = 0x01; // generic desktop
    mouse.usUsage = 0x02;     // mouse
    mouse.dwFlags = RIDEV_INPUTSINK;
    mouse.hwndTarget = window;
    RegisterRawInputDevices(&mouse, 1, sizeof mouse);
}

void Win32WheelInput(LPARAM lParam) {
    RAWINPUT raw = {};
    UINT size = sizeof raw;
    if (GetRawInputData(HRAWINPUT(lParam), RID_INPUT, &raw, &size, sizeof(RAWINPUTHEADER)) ==
        UINT(-1))
        return;
    if (raw.header.dwType != RIM_TYPEMOUSE) return;
    USHORT flags = raw.data.mouse.usButtonFlags;
    // The delta is a signed 16-bit value in an unsigned field.
    int32_t delta = SHORT(raw.data.mouse.usButtonData);
    if (flags & RI_MOUSE_WHEEL) s_dy = AddTurn(s_dy, delta);
    if (flags & RI_MOUSE_HWHEEL) s_dx = AddTurn(s_dx, delta);
}

void PlatTakeWheel(int32_t *dy, int32_t *dx) {
    *dy = s_dy;
    *dx = s_dx;
    s_dy = s_dx = 0;
}
