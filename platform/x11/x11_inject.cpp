// Injecting keyboard and pointer input on XTest, through the input
// services' own connection (the X11 backend's part of the Linux table).
#include "../input.h"
#include "x11_backend.h"
#include "x11_conn.h"
#include "x11_keymap.h"
#include "x11_wheel.h"
#include <X11/extensions/XTest.h>

void X11KeybdEvent(uint8_t vk, uint8_t scan, uint32_t flags) {
    Display *dpy = X11Conn();
    if (!dpy) return;
    X11KeymapPlay(vk, scan, (flags & 2) != 0);
    X11Sent();
}

// Where the last absolute move put the pointer, until the next placement.
static int s_movedX = -1, s_movedY = -1;

void X11MouseEvent(uint32_t flags, uint32_t dx, uint32_t dy) {
    Display *dpy = X11Conn();
    if (!dpy) return;
    s_movedX = s_movedY = -1;
    X11KeymapFlush();
    if ((flags & 0x0001) && !(flags & 0x8000))
        XTestFakeRelativeMotionEvent(dpy, int(int32_t(dx)), int(int32_t(dy)), CurrentTime);
    if ((flags & 0x0001) && (flags & 0x8000)) {
        // Back from the 0..65535 scale as Windows maps it, so a value lands
        // on the same pixel on both desktops.
        int x = PixelFromAbsolute(dx, X11ScreenWidth());
        int y = PixelFromAbsolute(dy, X11ScreenHeight());
        XTestFakeMotionEvent(dpy, DefaultScreen(dpy), x, y, CurrentTime);
        s_movedX = x;
        s_movedY = y;
    }
    if (flags & 0x0002) XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    if (flags & 0x0004) XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    if (flags & 0x0008) XTestFakeButtonEvent(dpy, 3, True, CurrentTime);
    if (flags & 0x0010) XTestFakeButtonEvent(dpy, 3, False, CurrentTime);
    X11Sent();
}

// Middle is button 2; the side buttons are 8 and 9, as XInput 2 reports
// them back to the recorder; the wheels are buttons 4 to 7.
void X11MouseButtonEvent(uint32_t flags, uint32_t data) {
    Display *dpy = X11Conn();
    if (!dpy) return;
    X11KeymapFlush();
    unsigned side = data == 2 ? 9 : data == 1 ? 8 : 0;
    if (flags & 0x0020) XTestFakeButtonEvent(dpy, 2, True, CurrentTime);
    if (flags & 0x0040) XTestFakeButtonEvent(dpy, 2, False, CurrentTime);
    if ((flags & 0x0080) && side) XTestFakeButtonEvent(dpy, side, True, CurrentTime);
    if ((flags & 0x0100) && side) XTestFakeButtonEvent(dpy, side, False, CurrentTime);
    if (flags & 0x1800) X11WheelInject(dpy, flags, data);
    X11Sent();
}

void X11SetCursorPos(int32_t x, int32_t y) {
    Display *dpy = X11Conn();
    if (!dpy) return;
    // The absolute move just before already landed exactly here: a warp on
    // top would reach every client as a second motion.
    bool landed = x == s_movedX && y == s_movedY;
    s_movedX = s_movedY = -1;
    if (landed) return;
    XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, x, y);
    X11Sent();
}

int32_t X11ScreenWidth() {
    Display *d = X11Conn();
    return d ? DisplayWidth(d, DefaultScreen(d)) : 0;
}

int32_t X11ScreenHeight() {
    Display *d = X11Conn();
    return d ? DisplayHeight(d, DefaultScreen(d)) : 0;
}
