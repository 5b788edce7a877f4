// One input device behind a small table of operations: the kernel's
// devices through libevdev, or a test's stand-ins (FIFOs named in a table
// file). What the device is and which keys it holds is asked here; what
// its events mean is the decoder's business.
#pragma once
#include "evdev_decode.h"

struct EvdevInfo {
    char name[64];
    bool keyboard; // has typing keys
    bool pointer;  // has a left button, relative motion or a wheel
    bool relative; // moves by relative motion (a mouse, not a tablet)
    uint8_t held[kEvdevKeyBytes];
    bool numLock;
};

struct EvdevOps {
    // Where the devices are, as event* entries.
    const char *(*dir)();
    // Opens the entry read-only and non-blocking and says what it is; null
    // when it cannot be opened (errno tells why: EACCES without rights).
    // *fd is the descriptor to wait on.
    void *(*open)(const char *path, EvdevInfo *info, int *fd);
    // Hands every pending event to the decoder; false when the device is
    // gone.
    bool (*read)(void *dev, EvdevDecoder *d, EvdevEmit emit, void *ctx);
    // Asks the device anew which keys it holds (EVIOCGKEY) and brings the
    // decoder there; what differs is handed out as changes.
    void (*resync)(void *dev, EvdevDecoder *d, EvdevEmit emit, void *ctx);
    void (*close)(void *dev);
};

extern const EvdevOps kEvdevKernel;
// QUORVANE_EVDEV_DIR: a folder of FIFOs that carry struct input_event, and
// a file "devices" there, one line a device:
//   FILE KINDS HELD NAME...
// KINDS: keyboard, pointer or keyboard,pointer (pointer moves relatively;
// "tablet" for an absolute one); HELD: key codes held, comma separated,
// or "-". The line is read again when the device is asked what it holds.
extern const EvdevOps kEvdevFake;
// The fake when QUORVANE_EVDEV_DIR is set, else the kernel's.
const EvdevOps *EvdevChosenOps();
