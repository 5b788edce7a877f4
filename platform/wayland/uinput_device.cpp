// uinput devices: set up by ioctls, then fed struct input_event records.
// The kernel stamps the time of each event; ours are left zero.
#include "uinput_device.h"
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void Emit(UinputDevice *d, uint16_t type, uint16_t code, int32_t value) {
    if (d->fd < 0) return;
    input_event e;
    memset(&e, 0, sizeof e);
    e.type = type;
    e.code = code;
    e.value = value;
    // A full queue drops the event as a busy device would; nothing waits.
    if (write(d->fd, &e, sizeof e) != ssize_t(sizeof e)) return;
}

void Report(UinputDevice *d) {
    Emit(d, EV_SYN, SYN_REPORT, 0);
}

bool Fail(const char *what, char *why, size_t whySize) {
    snprintf(why, whySize, "%s: %s", what, strerror(errno));
    return false;
}

bool Create(UinputDevice *d, int fd, const char *name, char *why, size_t whySize) {
    uinput_setup setup;
    memset(&setup, 0, sizeof setup);
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = 0x5176; // "Qv"
    setup.id.product = 1;
    snprintf(setup.name, sizeof setup.name, "%s", name);
    if (ioctl(fd, UI_DEV_SETUP, &setup) < 0) return Fail("UI_DEV_SETUP", why, whySize);
    if (ioctl(fd, UI_DEV_CREATE) < 0) return Fail("UI_DEV_CREATE", why, whySize);
    d->fd = fd;
    return true;
}

} // namespace

bool UinputSetUpKeyboard(UinputDevice *d, int fd, char *why, size_t whySize) {
    if (ioctl(fd, UI_SET_EVBIT, EV_KEY) < 0) return Fail("not a uinput device", why, whySize);
    ioctl(fd, UI_SET_EVBIT, EV_SYN);
    // Every keyboard code up to the last of a PC keyboard's (KEY_MICMUTE).
    for (int k = KEY_ESC; k <= KEY_MICMUTE; k++)
        ioctl(fd, UI_SET_KEYBIT, k);
    return Create(d, fd, "Quorvane keyboard", why, whySize);
}

bool UinputSetUpPointer(UinputDevice *d, int fd, int32_t width, int32_t height, char *why,
                        size_t whySize) {
    if (ioctl(fd, UI_SET_EVBIT, EV_KEY) < 0) return Fail("not a uinput device", why, whySize);
    ioctl(fd, UI_SET_EVBIT, EV_SYN);
    ioctl(fd, UI_SET_EVBIT, EV_ABS);
    ioctl(fd, UI_SET_EVBIT, EV_REL);
    for (int b = BTN_LEFT; b <= BTN_EXTRA; b++)
        ioctl(fd, UI_SET_KEYBIT, b);
    const int wheels[4] = {REL_WHEEL, REL_HWHEEL, REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES};
    for (int r : wheels)
        ioctl(fd, UI_SET_RELBIT, r);
    // The compositor stretches an absolute device over the whole layout.
    const int32_t extent[2] = {width, height};
    for (int axis = 0; axis < 2; axis++) {
        uinput_abs_setup abs;
        memset(&abs, 0, sizeof abs);
        abs.code = uint16_t(axis == 0 ? ABS_X : ABS_Y);
        abs.absinfo.minimum = 0;
        abs.absinfo.maximum = extent[axis] > 1 ? extent[axis] - 1 : 1;
        if (ioctl(fd, UI_SET_ABSBIT, abs.code) < 0 || ioctl(fd, UI_ABS_SETUP, &abs) < 0)
            return Fail("UI_ABS_SETUP", why, whySize);
    }
    d->width = width;
    d->height = height;
    return Create(d, fd, "Quorvane pointer", why, whySize);
}

void UinputDestroy(UinputDevice *d) {
    if (d->fd < 0) return;
    ioctl(d->fd, UI_DEV_DESTROY);
    close(d->fd);
    d->fd = -1;
}

void UinputKey(UinputDevice *d, uint32_t code, bool down) {
    Emit(d, EV_KEY, uint16_t(code), down ? 1 : 0);
    Report(d);
}

void UinputMotion(UinputDevice *d, int32_t x, int32_t y) {
    x = x < 0 ? 0 : x >= d->width ? d->width - 1 : x;
    y = y < 0 ? 0 : y >= d->height ? d->height - 1 : y;
    Emit(d, EV_ABS, ABS_X, x);
    Emit(d, EV_ABS, ABS_Y, y);
    Report(d);
}

void UinputAxis(UinputDevice *d, bool horizontal, int32_t v120) {
    if (!v120) return;
    int32_t &rest = d->wheelRest[horizontal ? 1 : 0];
    rest += v120;
    int32_t notches = rest / 120;
    rest -= notches * 120;
    // The kernel counts the vertical wheel up (away from the user) as
    // positive, the horizontal one right.
    int32_t sign = horizontal ? 1 : -1;
    Emit(d, EV_REL, horizontal ? REL_HWHEEL_HI_RES : REL_WHEEL_HI_RES, sign * v120);
    if (notches) Emit(d, EV_REL, horizontal ? REL_HWHEEL : REL_WHEEL, sign * notches);
    Report(d);
}
