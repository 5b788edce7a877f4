// The kernel's input devices through libevdev: it asks what a device has
// and holds, and recovers a consistent state when the kernel dropped events
// (SYN_DROPPED). The device is never grabbed: the desktop keeps getting
// every event.
#include "evdev_device.h"
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

namespace {

const char *KernelDir() {
    return "/dev/input";
}

// The rows of a keyboard's letters: a power button or a lid switch also
// has keys, but types nothing worth recording as a keyboard.
bool HasTypingKeys(libevdev *dev) {
    static const unsigned keys[] = {KEY_A, KEY_Z, KEY_SPACE, KEY_ENTER, KEY_1, KEY_ESC};
    for (unsigned k : keys)
        if (libevdev_has_event_code(dev, EV_KEY, k)) return true;
    return false;
}

void *KernelOpen(const char *path, EvdevInfo *info, int *fd) {
    int f = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (f < 0) return nullptr;
    libevdev *dev = nullptr;
    int rc = libevdev_new_from_fd(f, &dev);
    if (rc < 0) {
        close(f);
        errno = -rc;
        return nullptr;
    }
    // Stamps on the clock the program counts time in.
    libevdev_set_clock_id(dev, CLOCK_MONOTONIC);
    std::memset(info, 0, sizeof *info);
    std::snprintf(info->name, sizeof info->name, "%s", libevdev_get_name(dev));
    info->keyboard = HasTypingKeys(dev);
    info->relative =
        libevdev_has_event_code(dev, EV_REL, REL_X) && libevdev_has_event_code(dev, EV_REL, REL_Y);
    info->pointer = info->relative || libevdev_has_event_code(dev, EV_KEY, BTN_LEFT) ||
                    libevdev_has_event_code(dev, EV_REL, REL_WHEEL);
    for (unsigned code = 0; code <= KEY_MAX; code++)
        if (libevdev_get_event_value(dev, EV_KEY, code))
            info->held[code / 8] |= uint8_t(1u << (code % 8));
    info->numLock = libevdev_get_event_value(dev, EV_LED, LED_NUML) != 0;
    *fd = f;
    return dev;
}

// Reads in libevdev's mode until the device runs dry; a SYN_DROPPED turns
// to sync mode, whose events bring the state where the kernel has it.
bool Drain(libevdev *dev, unsigned flag, EvdevDecoder *d, EvdevEmit emit, void *ctx) {
    for (;;) {
        input_event ev;
        int rc = libevdev_next_event(dev, flag, &ev);
        if (rc == LIBEVDEV_READ_STATUS_SUCCESS) {
            EvdevDecode(d, &ev, 1, emit, ctx);
        } else if (rc == LIBEVDEV_READ_STATUS_SYNC) {
            if (flag == LIBEVDEV_READ_FLAG_SYNC) {
                EvdevDecode(d, &ev, 1, emit, ctx);
                continue;
            }
            EvdevDecoderDiscardFrame(d);
            if (!Drain(dev, LIBEVDEV_READ_FLAG_SYNC, d, emit, ctx)) return false;
        } else if (rc == -EAGAIN) {
            return true;
        } else {
            return rc != -ENODEV;
        }
    }
}

bool KernelRead(void *h, EvdevDecoder *d, EvdevEmit emit, void *ctx) {
    return Drain(static_cast<libevdev *>(h), LIBEVDEV_READ_FLAG_NORMAL, d, emit, ctx);
}

void KernelResync(void *h, EvdevDecoder *d, EvdevEmit emit, void *ctx) {
    auto *dev = static_cast<libevdev *>(h);
    if (!Drain(dev, LIBEVDEV_READ_FLAG_NORMAL, d, emit, ctx)) return;
    // libevdev asks the kernel for the whole state again (EVIOCGKEY and
    // its kin) and hands out the differences as a frame.
    input_event ev;
    if (libevdev_next_event(dev, LIBEVDEV_READ_FLAG_FORCE_SYNC, &ev) == LIBEVDEV_READ_STATUS_SYNC) {
        EvdevDecoderDiscardFrame(d);
        Drain(dev, LIBEVDEV_READ_FLAG_SYNC, d, emit, ctx);
    }
}

void KernelClose(void *h) {
    auto *dev = static_cast<libevdev *>(h);
    int fd = libevdev_get_fd(dev);
    libevdev_free(dev);
    if (fd >= 0) close(fd);
}

} // namespace

const EvdevOps kEvdevKernel = {KernelDir, KernelOpen, KernelRead, KernelResync, KernelClose};
