// Raw Input: every keyboard and mouse reports to the toolbar, focused or
// not, without a hook or a thread of its own. The wheel has no state to
// poll, so its turns are added up here until the recorder takes them. While
// a recording runs, each key, button, wheel and move is told to it as it
// comes (RecordInputChange), with the key and button state as of that input
// and the pointer where the message says it was, so two inputs queued
// behind each other stay two changes in their order.
#include "../../engine/engine.h"
#include "../../platform/input.h"
#include "../../platform/timer.h"
#include "win32_backend.h"
#include <initializer_list>

static int32_t s_dy, s_dx;
static bool s_recording;
// Down state of every code as the raw input told it, while recording.
static uint8_t s_down[256];
// The pointer as of the input being told, while it is told.
static bool s_placeGiven;
static POINT s_place;

// Wine hands a window in the background the raw input of the moves that
// SendInput makes, but in our runs not that of its clicks and keys, and its
// message places were a pixel off: under Wine the recorder polls, as it
// does on a desktop without raw input.
static bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void Win32RawInputListen(HWND window) {
    RAWINPUTDEVICE devices[2] = {};
    devices[0].usUsagePage = 0x01; // generic desktop
    devices[0].usUsage = 0x02;     // mouse
    devices[0].dwFlags = RIDEV_INPUTSINK;
    devices[0].hwndTarget = window;
    devices[1] = devices[0];
    devices[1].usUsage = 0x06; // keyboard
    // The keys only where the recorder is told of them.
    RegisterRawInputDevices(devices, UnderWine() ? 1 : 2, sizeof devices[0]);
}

bool PlatInputRecording(bool on) {
    static const bool wine = UnderWine();
    s_recording = on && !wine;
    if (s_recording)
        for (int vk = 1; vk < 256; vk++)
            s_down[vk] = GetAsyncKeyState(vk) < 0 ? 1 : 0;
    return s_recording;
}

bool Win32RawKeyState(int vk, int16_t *state) {
    if (!s_recording || vk <= 0 || vk > 255) return false;
    *state = s_down[vk] ? int16_t(0x8000) : 0;
    return true;
}

bool Win32RawPlace(int32_t *x, int32_t *y) {
    if (!s_placeGiven) return false;
    *x = s_place.x;
    *y = s_place.y;
    return true;
}

// The message's time is on the system tick (10 to 16 ms steps): an input
// handled at once is stamped when it is handled, on the finer clock; one
// that waited longer than a step or two (the loop was busy) is stamped
// that much earlier.
static uint32_t Stamp() {
    uint32_t now = PlatGetTickCount();
    DWORD age = DWORD(GetTickCount64()) - DWORD(GetMessageTime());
    return age > 32 && age < 60000 ? now - age : now;
}

static void Tell(uint32_t stamp) {
    RecordInputChange(stamp);
}

// A key and, for the three modifiers, its side's own code; the generic
// code is down while either side is.
static void KeyInput(const RAWKEYBOARD &k, uint32_t stamp) {
    if (k.VKey == 0 || k.VKey >= 255) return; // a prefix, no key
    uint8_t down = (k.Flags & RI_KEY_BREAK) ? 0 : 1;
    int vk = k.VKey, side = 0;
    bool e0 = (k.Flags & RI_KEY_E0) != 0;
    if (vk == VK_SHIFT) side = k.MakeCode == 0x36 ? VK_RSHIFT : VK_LSHIFT;
    if (vk == VK_CONTROL) side = e0 ? VK_RCONTROL : VK_LCONTROL;
    if (vk == VK_MENU) side = e0 ? VK_RMENU : VK_LMENU;
    if (side) {
        if (s_down[side] == down) return;
        s_down[side] = down;
        int other = side & 1 ? side - 1 : side + 1;
        s_down[vk] = down || s_down[other];
    } else {
        if (s_down[vk] == down) return; // a repeat
        s_down[vk] = down;
    }
    Tell(stamp);
}

static void MouseInput(const RAWMOUSE &m, uint32_t stamp) {
    // The move first: a press that came with it happened at its end.
    if (m.lLastX || m.lLastY || (m.usFlags & MOUSE_MOVE_ABSOLUTE)) Tell(stamp);
    static const struct {
        USHORT down, up;
        int vk;
    } buttons[] = {{RI_MOUSE_LEFT_BUTTON_DOWN, RI_MOUSE_LEFT_BUTTON_UP, VK_LBUTTON},
                   {RI_MOUSE_RIGHT_BUTTON_DOWN, RI_MOUSE_RIGHT_BUTTON_UP, VK_RBUTTON},
                   {RI_MOUSE_MIDDLE_BUTTON_DOWN, RI_MOUSE_MIDDLE_BUTTON_UP, VK_MBUTTON},
                   {RI_MOUSE_BUTTON_4_DOWN, RI_MOUSE_BUTTON_4_UP, VK_XBUTTON1},
                   {RI_MOUSE_BUTTON_5_DOWN, RI_MOUSE_BUTTON_5_UP, VK_XBUTTON2}};
    for (const auto &b : buttons) {
        for (USHORT flag : {b.down, b.up}) {
            if (!(m.usButtonFlags & flag)) continue;
            uint8_t down = flag == b.down ? 1 : 0;
            if (s_down[b.vk] == down) continue;
            s_down[b.vk] = down;
            Tell(stamp);
        }
    }
    if (m.usButtonFlags & (RI_MOUSE_WHEEL | RI_MOUSE_HWHEEL)) Tell(stamp);
}

void Win32RawInput(LPARAM lParam) {
    RAWINPUT raw = {};
    UINT size = sizeof raw;
    if (GetRawInputData(HRAWINPUT(lParam), RID_INPUT, &raw, &size, sizeof(RAWINPUTHEADER)) ==
        UINT(-1))
        return;
    if (raw.header.dwType == RIM_TYPEMOUSE) {
        USHORT flags = raw.data.mouse.usButtonFlags;
        // The delta is a signed 16-bit value in an unsigned field.
        int32_t delta = SHORT(raw.data.mouse.usButtonData);
        if (flags & RI_MOUSE_WHEEL) s_dy = AddTurn(s_dy, delta);
        if (flags & RI_MOUSE_HWHEEL) s_dx = AddTurn(s_dx, delta);
    }
    if (!s_recording) return;
    // Where the pointer was when the input came, as the message has it.
    DWORD pos = GetMessagePos();
    s_place = {SHORT(LOWORD(pos)), SHORT(HIWORD(pos))};
    s_placeGiven = true;
    uint32_t stamp = Stamp();
    if (raw.header.dwType == RIM_TYPEMOUSE) MouseInput(raw.data.mouse, stamp);
    if (raw.header.dwType == RIM_TYPEKEYBOARD) KeyInput(raw.data.keyboard, stamp);
    s_placeGiven = false;
}

void PlatTakeWheel(int32_t *dy, int32_t *dx) {
    *dy = s_dy;
    *dx = s_dx;
    s_dy = s_dx = 0;
}
