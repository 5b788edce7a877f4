// Every readable keyboard and pointing device, followed while devices come
// and go: the Wayland backend's view of the keys, buttons and wheels.
#pragma once
#include "evdev_decode.h"
#include "evdev_device.h"

struct EvdevAccess {
    bool dirExists;
    int found;    // event* entries
    int readable; // of those, opened
    int keyboards, pointers, relativePointers;
    int denied; // refused for want of rights (EACCES, EPERM)
};

// Each change of any device, with its time on the monotonic clock in
// microseconds (the arrival time where the device's own stamp is not
// plausible) and whether the device moves the pointer relatively.
typedef void (*EvdevSourceSink)(const EvdevChange *c, bool relative);

// Opens every device the chosen operations find and starts following the
// folder; with attach, GLib's default main context wakes the sink as
// events arrive (otherwise only EvdevSourcePump reads). Opening again
// after a close starts afresh.
void EvdevSourceOpen(const EvdevOps *ops, EvdevSourceSink sink, bool attach);
void EvdevSourceClose();
// Reads what is pending on every device and in the folder, now.
void EvdevSourcePump();
// What a look at the folder finds, without keeping anything open.
EvdevAccess EvdevProbeAccess(const EvdevOps *ops);
// The state of the open devices.
EvdevAccess EvdevSourceAccess();
// Down on any device (KEY_* or BTN_* code).
bool EvdevSourceKeyDown(uint16_t code);
// Every code held down on any device (a code held on two, twice).
void EvdevSourceForEachHeld(void (*fn)(uint16_t code, void *ctx), void *ctx);
// Num Lock as the keyboards' lights show it (on when there is no keyboard).
bool EvdevSourceNumLock();
// Asks every device which keys it holds now; differences reach the sink.
void EvdevSourceResync();
