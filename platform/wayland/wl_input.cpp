// The input services on Wayland. A client sees no global input there: what
// reads as down is what the playback itself holds and what the input
// devices hold (wl_devices.h, where the user may read them), and the
// pointer is where the desktop says or, where it says nothing, where the
// devices' motion and the playback's own moves put it. Everything played goes through the first
// route that opens (wl_route.h); keys pass the same keymap logic as on X11, on the session's
// keymap.
#include "../input.h"
#include "../linux/keymap.h"
#include "../linux/linux_input.h"
#include "../linux/xkb_slots.h"
#include "wl_check.h"
#include "wl_devices.h"
#include "wl_route.h"
#include "wl_session.h"
#include <cstdio>
#include <cstring>
#include <wayland-client.h>

namespace {

constexpr uint32_t BTN_LEFT = 0x110, BTN_RIGHT = 0x111, BTN_MIDDLE = 0x112, BTN_SIDE = 0x113,
                   BTN_EXTRA = 0x114;

const WlRoute *g_route = nullptr;
char g_why[512] = "";
uint32_t g_keymapGeneration = ~0u;

uint8_t g_played[256];     // held by the playback, per virtual-key code
uint8_t g_down[256];       // held by the playback or on a device
uint8_t g_pressed[256];    // pressed since the last asynchronous read
uint8_t g_suppressed[256]; // cleared from the thread table while still held
uint8_t g_toggle[256];     // thread table toggle bits
uint8_t g_codeDown[256];   // keycodes the route holds down
uint8_t g_buttonDown[8];   // BTN_LEFT + i held
int32_t g_x = 0, g_y = 0;  // where the pointer was last put
int32_t g_movedX = -1, g_movedY = -1;

void ReadKeymap() {
    if (WlKeymapGeneration() == g_keymapGeneration) return;
    g_keymapGeneration = WlKeymapGeneration();
    static KeySlot slots[256];
    char layout[64];
    XkbReadSlots(WlKeymap(), WlKeymapLayout(), slots, layout);
    KeymapAssign(layout, slots);
}

// A key the route holds is not pressed again, nor one it let go let go
// again. Two codes of a recording reach one keycode (Alt with left Alt,
// Ctrl with left Ctrl, as the other desktop records them), and KWin counts
// a modifier's every press but ignores a release of a key already up: the
// modifier would stay on for the whole session.
void Press(uint8_t keycode, bool up) {
    if (keycode < 8 || g_codeDown[keycode] == !up) return;
    g_codeDown[keycode] = !up;
    if (g_route) g_route->key(keycode - 8u, !up);
}

const KeymapSink kSink = {Press, nullptr};

void Flush() {
    if (g_route) g_route->flush();
}

void Button(uint32_t button, bool down) {
    if (button >= BTN_LEFT && button < BTN_LEFT + 8) g_buttonDown[button - BTN_LEFT] = down;
    if (g_route) g_route->button(button, down);
}

void Motion(int32_t x, int32_t y) {
    g_x = x;
    g_y = y;
    WlDevicesPlayedMove(x, y);
    if (g_route) g_route->motion(x, y);
}

// A key reads as down while the playback or a device holds it.
void Update(int vk) {
    bool down = g_played[vk] || WlDeviceDown(vk);
    if (down && !g_down[vk]) {
        g_pressed[vk] = 1;
        g_toggle[vk] ^= 1;
    }
    if (!down) g_suppressed[vk] = 0;
    g_down[vk] = down;
}

void UpdateAll() {
    for (int vk = 1; vk < 256; vk++)
        Update(vk);
}

// The virtual-key code of a button held or let go, for the key readers.
void Hold(int vk, bool down) {
    g_played[vk] = down;
    Update(vk);
}

bool Open() {
    if (!WlSessionOpen()) return false;
    ReadKeymap();
    WlBox box = WlLayoutBox();
    g_x = box.x + box.width / 2;
    g_y = box.y + box.height / 2;
    g_why[0] = 0;
    for (int i = 0; i < kWlRouteCount && !g_route; i++) {
        if (kWlRoutes[i]->open()) {
            g_route = kWlRoutes[i];
            break;
        }
        size_t n = strlen(g_why);
        snprintf(g_why + n, sizeof g_why - n, "%s%s: %s", n ? "; " : "", kWlRoutes[i]->name,
                 kWlRoutes[i]->why());
    }
    WlDevicesSetListener(UpdateAll);
    WlDevicesOpen();
    WlDevicesCursor(&g_x, &g_y);
    return true;
}

void Close() {
    WlDevicesClose();
    if (g_route) g_route->close();
    g_route = nullptr;
    WlSessionClose();
}

const char *Route() {
    return g_route ? g_route->name : nullptr;
}

const char *Why() {
    return g_route ? g_route->why() : g_why;
}

void Check(CheckReport *r) {
    WlCheck(r, Route(), Why());
}

uint32_t g_toolbar = 0;

void SetToolbarWindow(uint32_t id) {
    g_toolbar = id;
}

uint32_t VkOfKeycode(unsigned keycode, unsigned long keysym) {
    ReadKeymap();
    return KeymapVkOfKeycode(keycode, keysym);
}

int Fd() {
    return WlDisplay() ? wl_display_get_fd(WlDisplay()) : -1;
}

bool Queued() {
    return false;
}

// The connection brings the compositor's news (keymaps, outputs), never the
// user's input: no client is told of that on Wayland.
bool Dispatch() {
    WlSessionDispatch();
    return false;
}

bool Follows() {
    return false;
}

void PointerMoved() {}

// The input devices report each change as it happens, where they can be
// read.
bool InputRecording(bool on) {
    return WlDevicesRecording(on);
}

const char *RecordingUnavailable() {
    return WlRecordingAvailable() ? nullptr : WlNoAccessText();
}

void Snapshot() {
    WlSessionDispatch();
    ReadKeymap();
    WlDevicesPump();
    UpdateAll();
}

int16_t GetAsyncKeyState(int vk) {
    if (vk <= 0 || vk > 255) return 0;
    int16_t r = g_down[vk] ? int16_t(0x8000) : 0;
    if (g_pressed[vk]) r = int16_t(r | 1);
    g_pressed[vk] = 0;
    return r;
}

int16_t GetKeyState(int vk) {
    if (vk <= 0 || vk > 255) return 0;
    int16_t r = 0;
    if (g_down[vk] && !g_suppressed[vk]) r = int16_t(0xFF80);
    if (g_toggle[vk]) r = int16_t(r | 1);
    return r;
}

// The release of everything held ends here (it runs after the releases of
// every key that reads as down): whatever the route still holds, a key the
// AltGr rule pressed under another code or a button, is let go too, so no
// stop leaves anything held in the session.
void SetKeyboardState(const uint8_t table[256]) {
    // What the devices hold is asked anew: a key held across a recording's
    // start is then known exactly, whatever events were missed.
    WlDevicesPump();
    WlDevicesResync();
    UpdateAll();
    KeymapForget();
    for (int kc = 8; kc < 256; kc++)
        if (g_codeDown[kc]) Press(uint8_t(kc), true);
    for (uint32_t i = 0; i < 8; i++)
        if (g_buttonDown[i]) Button(BTN_LEFT + i, false);
    Flush();
    for (int vk = 0; vk < 256; vk++) {
        g_suppressed[vk] = (table[vk] & 0x80) ? 0 : g_down[vk];
        g_toggle[vk] = table[vk] & 1;
    }
}

uint32_t MapVirtualKey(uint32_t vk) {
    return KeymapScan(vk);
}

void GetCursorPos(int32_t *x, int32_t *y) {
    WlDevicesCursor(&g_x, &g_y);
    *x = g_x;
    *y = g_y;
}

// No other client's window can be named; the toolbar is the foreground
// window while the pointer is over it, so a stop click on it is known.
uint32_t GetForegroundWindow() {
    return WlDevicesOverToolbar() ? g_toolbar : 0;
}

void KeybdEvent(uint8_t vk, uint8_t scan, uint32_t flags) {
    ReadKeymap();
    bool up = (flags & 2) != 0;
    KeymapPlay(kSink, vk, scan, up);
    Hold(vk, !up);
    Flush();
}

int32_t ScreenWidth() {
    WlBox b = WlLayoutBox();
    return b.x + b.width > 0 ? b.x + b.width : 1;
}

int32_t ScreenHeight() {
    WlBox b = WlLayoutBox();
    return b.y + b.height > 0 ? b.y + b.height : 1;
}

void MouseEvent(uint32_t flags, uint32_t dx, uint32_t dy) {
    KeymapFlush(kSink);
    g_movedX = g_movedY = -1;
    if ((flags & 0x0001) && !(flags & 0x8000)) Motion(g_x + int32_t(dx), g_y + int32_t(dy));
    if ((flags & 0x0001) && (flags & 0x8000)) {
        // Back from the 0..65535 scale as the other desktops map it, so a
        // value lands on the same pixel everywhere.
        int32_t x = PixelFromAbsolute(dx, ScreenWidth());
        int32_t y = PixelFromAbsolute(dy, ScreenHeight());
        Motion(x, y);
        g_movedX = x;
        g_movedY = y;
    }
    if (flags & 0x0002) Button(BTN_LEFT, true), Hold(1, true);
    if (flags & 0x0004) Button(BTN_LEFT, false), Hold(1, false);
    if (flags & 0x0008) Button(BTN_RIGHT, true), Hold(2, true);
    if (flags & 0x0010) Button(BTN_RIGHT, false), Hold(2, false);
    Flush();
}

void MouseButtonEvent(uint32_t flags, uint32_t data) {
    KeymapFlush(kSink);
    uint32_t side = data == 2 ? BTN_EXTRA : data == 1 ? BTN_SIDE : 0;
    int sideVk = data == 2 ? 6 : 5;
    if (flags & 0x0020) Button(BTN_MIDDLE, true), Hold(4, true);
    if (flags & 0x0040) Button(BTN_MIDDLE, false), Hold(4, false);
    if ((flags & 0x0080) && side) Button(side, true), Hold(sideVk, true);
    if ((flags & 0x0100) && side) Button(side, false), Hold(sideVk, false);
    // The recording counts away from the user and to the right as positive;
    // Wayland counts down and right.
    if ((flags & 0x0800) && g_route) g_route->axis(false, -int32_t(data));
    if ((flags & 0x1000) && g_route) g_route->axis(true, int32_t(data));
    Flush();
}

void TakeWheel(int32_t *dy, int32_t *dx) {
    WlDevicesTakeWheel(dy, dx);
}

void SetCursorPos(int32_t x, int32_t y) {
    // The absolute move just before already put it here.
    bool landed = x == g_movedX && y == g_movedY;
    g_movedX = g_movedY = -1;
    if (landed) return;
    Motion(x, y);
    Flush();
}

} // namespace

const LinuxInput kWaylandInput = {
    "wayland",
    Open,
    Close,
    Route,
    Why,
    Check,
    WlSessionRoundtrip,
    SetToolbarWindow,
    VkOfKeycode,
    Fd,
    Queued,
    Dispatch,
    Follows,
    PointerMoved,
    InputRecording,
    RecordingUnavailable,
    Snapshot,
    GetAsyncKeyState,
    GetKeyState,
    SetKeyboardState,
    MapVirtualKey,
    GetCursorPos,
    GetForegroundWindow,
    KeybdEvent,
    MouseEvent,
    MouseButtonEvent,
    TakeWheel,
    SetCursorPos,
    ScreenWidth,
    ScreenHeight,
};
