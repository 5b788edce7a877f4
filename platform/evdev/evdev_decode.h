// What a stream of kernel input events means to the recorder: key and
// button presses and releases, wheel turns and relative motion, each taken
// at the end of the frame (SYN_REPORT) that carried it, with the frame's
// time. Pure: fed from a device, a pipe or a file alike.
#pragma once
#include <cstdint>
#include <linux/input.h>

enum EvdevChangeKind : uint8_t {
    EVDEV_KEY,    // code: KEY_* or BTN_*; down
    EVDEV_WHEEL,  // dy: 120 a notch, positive away from the user
    EVDEV_HWHEEL, // dx: 120 a notch, positive to the right
    EVDEV_MOTION, // dx, dy: relative motion in device units
};

struct EvdevChange {
    EvdevChangeKind kind;
    bool down;
    uint16_t code;
    int32_t dx, dy;
    uint64_t timeUs; // the frame's time, microseconds of the device's clock
};

constexpr int kEvdevKeyBytes = (KEY_MAX + 1 + 7) / 8;
constexpr int kEvdevFrameKeys = 64;

// One device's running state. Zero-initialised it is a device with nothing
// held and Num Lock off.
struct EvdevDecoder {
    uint8_t keys[kEvdevKeyBytes]; // down as of the last complete frame
    bool numLock;
    // The frame being read: its key events in order, its motion and turns.
    struct {
        uint16_t code;
        bool down;
    } frameKeys[kEvdevFrameKeys];
    int frameKeyCount;
    int32_t relX, relY, wheel, wheelHiRes, hwheel, hwheelHiRes;
    bool sawHiRes, sawHHiRes;
    bool skipToReport; // after SYN_DROPPED in a raw stream
    // A byte stream (pipe, file) may stop inside an event.
    uint8_t partial[sizeof(input_event)];
    uint32_t partialBytes;
};

typedef void (*EvdevEmit)(void *ctx, const EvdevChange *c);

// Starts a device whose keys held now are given (a bit per code, as
// EVIOCGKEY fills it; null: none).
void EvdevDecoderInit(EvdevDecoder *d, const uint8_t *held, bool numLock);
// Takes events; every complete frame's changes go to emit, in order.
void EvdevDecode(EvdevDecoder *d, const input_event *ev, int n, EvdevEmit emit, void *ctx);
// The same from raw bytes (a pipe or a file), any split.
void EvdevDecodeBytes(EvdevDecoder *d, const uint8_t *bytes, uint32_t n, EvdevEmit emit, void *ctx);
// The frame being read is void: the device's state is about to be given
// anew (libevdev's resync after dropped events).
void EvdevDecoderDiscardFrame(EvdevDecoder *d);
bool EvdevKeyHeld(const EvdevDecoder *d, uint16_t code);
