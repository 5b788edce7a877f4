// Virtual input devices through the kernel's uinput: what the uinput route
// writes, kept apart from the route so the bytes can be checked against a
// plain file or pipe standing in for /dev/uinput.
#pragma once
#include <cstddef>
#include <cstdint>

struct UinputDevice {
    int fd = -1;
    int32_t width = 0, height = 0; // the absolute axes' extent
    int32_t wheelRest[2] = {};     // parts of a notch, vertical and horizontal
};

// Makes the device on an open uinput file: a keyboard (every key code) or an
// absolute pointer over width x height with five buttons and both wheels.
// False with a reason in why when the file is no uinput device.
bool UinputSetUpKeyboard(UinputDevice *d, int fd, char *why, size_t whySize);
bool UinputSetUpPointer(UinputDevice *d, int fd, int32_t width, int32_t height, char *why,
                        size_t whySize);
void UinputDestroy(UinputDevice *d);

// Each writes its events and a report (EV_SYN) that ends them.
void UinputKey(UinputDevice *d, uint32_t code, bool down);
// x, y within the extent, clamped into it.
void UinputMotion(UinputDevice *d, int32_t x, int32_t y);
// v120 in 120ths of a notch, positive down or right (as the routes take
// it); the high-resolution axes get every part, the notch axes whole
// notches.
void UinputAxis(UinputDevice *d, bool horizontal, int32_t v120);
