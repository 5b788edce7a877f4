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
#include <fcntl.h>
#include <unistd.h>

namespace {

UinputDevice g_keyboard, g_pointer;
WlBox g_box = {};
char g_why[200] = "";
const char *Path() {
    const char *p = getenv("QV_UINPUT");
    return p && *p ? p : "/dev/uinput";
}

int OpenDevice() {
    return open(Path(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
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
    // The compositor hears of the devices through udev and opens them
    // some time later; events written before that are lost.
    WlSettleFor(200);
    return true;
}

void Key(uint32_t code, bool down) {
    WlWaitSettled();
    UinputKey(&g_keyboard, code, down);
}

void Motion(int32_t x, int32_t y) {
    WlWaitSettled();
    UinputMotion(&g_pointer, x - g_box.x, y - g_box.y);
}

void Button(uint32_t button, bool down) {
    WlWaitSettled();
    UinputKey(&g_pointer, button, down);
}

void Axis(bool horizontal, int32_t v120) {
    WlWaitSettled();
    UinputAxis(&g_pointer, horizontal, v120);
}

void Flush() {}

const char *Why() {
    return g_why;
}

} // namespace

const WlRoute kUinputRoute = {"uinput", Open, Close, Key, Motion, Button, Axis, Flush, Why};
