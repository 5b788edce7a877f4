// Playback through /dev/uinput, which every compositor reads through
// libinput: a keyboard and an absolute pointer of the kernel's. It needs
// write access to /dev/uinput (a udev rule or the input group), which most
// desktops do not give; where it is given, any compositor takes it.
//
// QV_UINPUT names another file in place of /dev/uinput (the tests give a
// plain file).
#include "uinput_device.h"
#include "wl_route.h"
#include "wl_session.h"
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

UinputDevice g_keyboard, g_pointer;
WlBox g_box = {};
char g_why[200] = "";
// New devices are announced to the compositor through udev; events written
// before it opened them are lost. The first event waits until then.
timespec g_ready = {};

const char *Path() {
    const char *p = getenv("QV_UINPUT");
    return p && *p ? p : "/dev/uinput";
}

int OpenDevice() {
    return open(Path(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
}

void WaitReady() {
    if (!g_ready.tv_sec) return;
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t left = (int64_t(g_ready.tv_sec) - now.tv_sec) * 1000000000 +
                   (int64_t(g_ready.tv_nsec) - now.tv_nsec);
    if (left > 0) {
        timespec wait = {time_t(left / 1000000000), long(left % 1000000000)};
        nanosleep(&wait, nullptr);
    }
    g_ready = {};
}

void Close() {
    UinputDestroy(&g_keyboard);
    UinputDestroy(&g_pointer);
}

bool Open() {
    g_why[0] = 0;
    int kfd = OpenDevice();
    if (kfd < 0) {
        snprintf(g_why, sizeof g_why, "cannot open %s: %s", Path(), strerror(errno));
        return false;
    }
    if (!UinputSetUpKeyboard(&g_keyboard, kfd, g_why, sizeof g_why)) {
        close(kfd);
        return false;
    }
    g_box = WlLayoutBox();
    int pfd = OpenDevice();
    if (pfd < 0 ||
        !UinputSetUpPointer(&g_pointer, pfd, g_box.width, g_box.height, g_why, sizeof g_why)) {
        if (pfd >= 0) close(pfd);
        Close();
        return false;
    }
    clock_gettime(CLOCK_MONOTONIC, &g_ready);
    g_ready.tv_nsec += 200000000;
    if (g_ready.tv_nsec >= 1000000000) {
        g_ready.tv_sec++;
        g_ready.tv_nsec -= 1000000000;
    }
    return true;
}

void Key(uint32_t code, bool down) {
    WaitReady();
    UinputKey(&g_keyboard, code, down);
}

void Motion(int32_t x, int32_t y) {
    WaitReady();
    UinputMotion(&g_pointer, x - g_box.x, y - g_box.y);
}

void Button(uint32_t button, bool down) {
    WaitReady();
    UinputKey(&g_pointer, button, down);
}

void Axis(bool horizontal, int32_t v120) {
    WaitReady();
    UinputAxis(&g_pointer, horizontal, v120);
}

void Flush() {}

const char *Why() {
    return g_why;
}

} // namespace

const WlRoute kUinputRoute = {"uinput", Open, Close, Key, Motion, Button, Axis, Flush, Why};
