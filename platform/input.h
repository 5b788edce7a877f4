// Reading and injecting keyboard and pointer input. Key codes are the
// virtual-key numbers that .rec files store, on every backend; results follow
// the desktop calls they are named after (bit 15 = down, bit 0 = toggled).
#pragma once
#include <cstdint>

// A recording starts (on) or ends (off). Returns whether the backend, until
// the recording ends, calls RecordInputChange (engine/engine.h) for every
// change of the input as it happens, stamped with when it happened; the
// recorder then takes no look of its own. False: the recorder looks every
// 10 ms. A backend that delivers may also report between recordings; the
// recorder ignores those calls.
bool PlatInputRecording(bool on);
// Null when recording can work here; else the text of the box that says
// what the user must do first (a Wayland session without rights to the
// input devices). Nothing is recorded then.
const char *PlatRecordingUnavailable();
// Takes a fresh look at the devices. The core calls it once before each scan
// (recorder tick, input release, hotkey poll, play tick) so a backend that
// pays a round trip per look (X11) pays it once per scan, not once per key.
// A backend that follows the input by its events needs no look when none
// arrived since the last one, and should then cost next to nothing. It also
// hands the recorder, before it returns, every change it has not reported.
void PlatInputSnapshot();
// Physical state: bit 15 while down. Codes 1 and 2 are the left and right
// mouse buttons, 4 to 6 the middle and extra buttons.
int16_t PlatGetAsyncKeyState(int vk);
// The thread's key-state table: bit 15 down, bit 0 toggled.
int16_t PlatGetKeyState(int vk);
// Replaces the thread's key-state table (the core only ever passes zeros).
void PlatSetKeyboardState(const uint8_t table[256]);
// The key's hardware scan code as a PC keyboard sends it, 0 when none.
uint32_t PlatMapVirtualKey(uint32_t vk);
void PlatGetCursorPos(int32_t *x, int32_t *y);
// The window that has the focus, as a 32-bit id.
uint32_t PlatGetForegroundWindow();
// flags: 1 extended key, 2 key up.
void PlatKeybdEvent(uint8_t vk, uint8_t scan, uint32_t flags);
// flags: 2/4 left down/up, 8/16 right down/up (dx, dy 0), or 0x8001 with an
// absolute position scaled to 0..65535 of the primary screen.
void PlatMouseEvent(uint32_t flags, uint32_t dx, uint32_t dy);
// The absolute scale and back. The desktop maps a value to the pixel
// value * size / 65536, rounded down (Windows and Wine do). Rounding up on
// the way there makes that the pixel itself, so a click handled before the
// cursor set that follows the move still lands where it was recorded.
// Outside the screen the value stops at its edge.
inline uint32_t AbsoluteFromPixel(int32_t pixel, int32_t size) {
    if (size <= 0 || pixel <= 0) return 0;
    uint64_t v = (uint64_t(pixel) * 65536 + uint64_t(size) - 1) / uint64_t(size);
    return v > 65535 ? 65535 : uint32_t(v);
}
inline int32_t PixelFromAbsolute(uint32_t value, int32_t size) {
    return size <= 0 ? 0 : int32_t((uint64_t(value & 0xFFFF) * uint64_t(size)) >> 16);
}
// The buttons past left and right, at the pointer: flags 0x20/0x40 middle
// down/up, 0x80/0x100 side button down/up with data 1 (first) or 2 (second),
// 0x800/0x1000 the wheel/the horizontal wheel turned by data, a signed delta
// of 120 a notch. A desktop that turns only whole notches keeps the rest
// for the next turn of that wheel.
void PlatMouseButtonEvent(uint32_t flags, uint32_t data);
// A sum of turns (or of relative moves) that never wraps: a wheel spun
// for hours, or a device's absurd values, stays a large turn the right way.
inline int32_t AddTurn(int32_t sum, int64_t turn) {
    int64_t total = int64_t(sum) + turn;
    return total > INT32_MAX ? INT32_MAX : total < INT32_MIN ? INT32_MIN : int32_t(total);
}
// How far the wheels turned since the last take, summed, 120 a notch (finer
// wheels give parts of one): dy positive away from the user, dx positive to
// the right. A wheel has no state to poll, so the backend counts the turns
// as they arrive, also between the scans.
void PlatTakeWheel(int32_t *dy, int32_t *dx);
void PlatSetCursorPos(int32_t x, int32_t y);
int32_t PlatScreenWidth();
int32_t PlatScreenHeight();
uint32_t PlatGetDoubleClickTime();
