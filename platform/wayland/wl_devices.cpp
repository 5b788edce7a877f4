// The user's own input on Wayland: the input devices for keys, buttons and
// wheels, the desktop for the pointer's place. Each change is applied here
// and, while a recording runs, handed to the recorder at once with the
// device's own time stamp (the kernel stamps on the monotonic clock, the
// clock of PlatGetTickCount).
#include "wl_devices.h"
#include "../../engine/engine.h"
#include "../input.h"
#include "../evdev/evdev_keys.h"
#include "../evdev/evdev_source.h"
#include "pointer.h"
#include "wl_session.h"
#include <cstdio>
#include <cstring>

namespace {

bool g_open = false;
bool g_recording = false;
uint8_t g_down[256]; // held on some device, by virtual-key code
int32_t g_wheelDy = 0, g_wheelDx = 0;
int32_t g_x = 0, g_y = 0;
bool g_pushes = false; // the desktop tells each move (GNOME, KDE)
bool g_exact = false;  // the desktop answers where the pointer is
void (*g_listener)() = nullptr;

void MarkHeld(uint16_t code, void *) {
    uint8_t vks[4];
    int n = EvdevCodeVks(code, EvdevSourceNumLock(), vks);
    for (int i = 0; i < n; i++)
        g_down[vks[i]] = 1;
}

// From the devices' held codes, by the keymap in force now: a layout
// switched while a key is held reads it by the new one, as X11 does.
void Recompute() {
    std::memset(g_down, 0, sizeof g_down);
    EvdevSourceForEachHeld(MarkHeld, nullptr);
}

void Report(uint32_t tick) {
    if (g_listener) g_listener();
    if (g_recording) RecordInputChange(tick);
}

void AskPointer() {
    bool exact = false;
    int32_t x = 0, y = 0;
    if (PointerQuery(&x, &y, &exact)) {
        g_x = x;
        g_y = y;
    }
}

void OnChange(const EvdevChange *c, bool relative) {
    uint32_t tick = uint32_t(c->timeUs / 1000);
    switch (c->kind) {
    case EVDEV_KEY:
        // A click lands where the pointer is now: ask a desktop that
        // answers, rather than trust a move told a moment ago (one that
        // tells its moves may still have the last on its way: a click
        // right after a move). Outside a recording, that only costs.
        if (c->code >= BTN_MOUSE && c->code < BTN_JOYSTICK && g_exact && (g_recording || !g_pushes))
            AskPointer();
        Recompute();
        break;
    case EVDEV_WHEEL:
    case EVDEV_HWHEEL:
        // The wheel acts where the pointer is, as a click does.
        if (g_exact && g_recording) AskPointer();
        if (c->kind == EVDEV_WHEEL)
            g_wheelDy = AddTurn(g_wheelDy, c->dy);
        else
            g_wheelDx = AddTurn(g_wheelDx, c->dx);
        break;
    case EVDEV_MOTION:
        // A desktop that tells its moves is heard instead (with the
        // pointer's acceleration applied); a tablet's motion is not
        // relative.
        if (g_pushes || !relative) return;
        if (!g_exact) PointerEstimateMotion(c->dx, c->dy);
        AskPointer();
        break;
    }
    Report(tick);
}

void OnPointerMoved(int32_t x, int32_t y, uint64_t us) {
    g_x = x;
    g_y = y;
    Report(uint32_t(us / 1000));
}

} // namespace

void WlDevicesOpen() {
    if (g_open) return;
    g_open = true;
    std::memset(g_down, 0, sizeof g_down);
    WlBox box = WlLayoutBox();
    PointerEstimateBox(box.x, box.y, box.width, box.height);
    PointerOpen(OnPointerMoved);
    const char *src = PointerSourceName();
    g_exact = !PointerWhy()[0] && std::strcmp(src, "estimate") != 0;
    g_pushes =
        g_exact && (!std::strcmp(src, "gnome-shell extension") || !std::strcmp(src, "kwin script"));
    AskPointer();
    EvdevSourceOpen(EvdevChosenOps(), OnChange, true);
    Recompute();
}

void WlDevicesClose() {
    if (!g_open) return;
    EvdevSourceClose();
    PointerClose();
    g_open = false;
    g_recording = false;
}

void WlDevicesPump() {
    if (g_open) EvdevSourcePump();
}

bool WlDeviceDown(int vk) {
    return vk > 0 && vk < 256 && g_down[vk];
}

void WlDevicesResync() {
    if (!g_open) return;
    EvdevSourceResync();
    Recompute();
}

bool WlDevicesRecording(bool on) {
    g_recording = on && g_open && EvdevSourceAccess().readable > 0;
    return g_recording;
}

void WlDevicesCursor(int32_t *x, int32_t *y) {
    // A desktop that tells every move is not asked again.
    if (!g_pushes) AskPointer();
    *x = g_x;
    *y = g_y;
}

void WlDevicesPlayedMove(int32_t x, int32_t y) {
    g_x = x;
    g_y = y;
    PointerEstimateKnown(x, y);
}

void WlDevicesTakeWheel(int32_t *dy, int32_t *dx) {
    *dy = g_wheelDy;
    *dx = g_wheelDx;
    g_wheelDy = g_wheelDx = 0;
}

namespace {
bool g_overToolbar = false;
}

void WlDevicesSetOverToolbar(bool over) {
    g_overToolbar = over;
}

bool WlDevicesOverToolbar() {
    return g_overToolbar;
}

void WlDevicesSetListener(void (*changed)()) {
    g_listener = changed;
}

// ---- what the check and the Rec button say ----

namespace {

const char kGroupFix[] = "reading them needs membership in the input group: run sudo usermod "
                         "-aG input $USER and log in again (it lets the programs you run read "
                         "every keystroke)";

EvdevAccess Access() {
    return g_open ? EvdevSourceAccess() : EvdevProbeAccess(EvdevChosenOps());
}

} // namespace

bool WlRecordingAvailable() {
    return Access().readable > 0;
}

bool WlRecordingLine(char *text, int textSize, char *advice, int adviceSize) {
    // A fresh look, which also counts the devices that refuse this user.
    EvdevAccess a = EvdevProbeAccess(EvdevChosenOps());
    size_t n = size_t(textSize);
    advice[0] = 0;
    if (a.readable > 0) {
        std::snprintf(text, n, "input devices (%d keyboard%s, %d pointer%s)", a.keyboards,
                      a.keyboards == 1 ? "" : "s", a.pointers, a.pointers == 1 ? "" : "s");
        return true;
    }
    if (a.found > 0)
        std::snprintf(text, n, "none (%d input device%s, none readable)", a.found,
                      a.found == 1 ? "" : "s");
    else
        std::snprintf(text, n, "none (no input device can be read under %s)",
                      EvdevChosenOps()->dir());
    std::snprintf(advice, size_t(adviceSize), "%s", kGroupFix);
    return false;
}

bool WlPointerLine(char *text, int textSize, char *advice, int adviceSize) {
    size_t n = size_t(textSize);
    advice[0] = 0;
    if (!g_open) {
        WlBox box = WlLayoutBox();
        PointerEstimateBox(box.x, box.y, box.width, box.height);
        PointerOpen(nullptr);
    }
    int32_t x = 0, y = 0;
    bool exact = false;
    PointerQuery(&x, &y, &exact);
    const char *why = PointerWhy();
    bool known = true;
    if (why[0]) {
        std::snprintf(text, n, "unknown");
        std::snprintf(advice, size_t(adviceSize), "%s", why);
        known = false;
    } else if (exact) {
        std::snprintf(text, n, "%d,%d (%s)", x, y, PointerSourceName());
    } else {
        std::snprintf(text, n, "%d,%d (estimate, approximate: within %d px)", x, y,
                      PointerEstimateError());
        std::snprintf(advice, size_t(adviceSize),
                      "this desktop tells no program where the pointer is: recordings add up the "
                      "devices' motion from the last place known for sure, and drift with "
                      "pointer acceleration until the next");
    }
    if (!g_open) PointerClose();
    return known;
}

const char *WlNoAccessText() {
    return "Recording on Wayland reads the keys, buttons and wheel from the input devices, "
           "and this user may read none of them.\n\n"
           "Members of the \"input\" group may. To join it, run\n\n"
           "    sudo usermod -aG input $USER\n\n"
           "and log in again: the membership takes effect at the next login.\n\n"
           "Membership lets every program you run read every keystroke, passwords included.\n\n"
           "Nothing was recorded.";
}
