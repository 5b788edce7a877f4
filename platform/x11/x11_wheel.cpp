// A wheel notch is a click of button 4 (up), 5 (down), 6 (left) or 7
// (right). The input's events report every one of them, whichever window is under
// the pointer and whoever holds a grab, and only between the scans can they
// be counted: a wheel leaves no state behind to query.
#include "../input.h"
#include "x11_wheel.h"
#include <X11/extensions/XTest.h>

namespace {

constexpr int32_t NOTCH = 120;
// A file may ask for any turn; more notches than a wheel gives in a flick
// are not clicked out, so a stray huge value cannot hold the desktop.
constexpr int32_t MOST_NOTCHES = 50;

int32_t g_dy = 0, g_dx = 0;       // turned since the last take
int32_t g_restV = 0, g_restH = 0; // parts of a notch still to play

void Click(Display *dpy, unsigned button, int32_t times) {
    for (int32_t i = 0; i < times; i++) {
        XTestFakeButtonEvent(dpy, button, True, CurrentTime);
        XTestFakeButtonEvent(dpy, button, False, CurrentTime);
    }
}

} // namespace

void X11WheelPress(unsigned button) {
    switch (button) {
    case 4: g_dy = AddTurn(g_dy, NOTCH); break;
    case 5: g_dy = AddTurn(g_dy, -NOTCH); break;
    case 6: g_dx = AddTurn(g_dx, -NOTCH); break;
    case 7: g_dx = AddTurn(g_dx, NOTCH); break;
    default: break;
    }
}

void X11WheelInject(Display *dpy, uint32_t flags, uint32_t data) {
    const struct {
        uint32_t flag;
        int32_t *rest;
        unsigned forward, back; // the buttons of a positive and a negative turn
    } wheels[2] = {{0x0800, &g_restV, 4, 5}, {0x1000, &g_restH, 7, 6}};
    for (const auto &w : wheels) {
        if (!(flags & w.flag)) continue;
        int32_t total = AddTurn(*w.rest, int32_t(data));
        int32_t notches = total / NOTCH;
        *w.rest = total - notches * NOTCH;
        if (notches > MOST_NOTCHES) notches = MOST_NOTCHES;
        if (notches < -MOST_NOTCHES) notches = -MOST_NOTCHES;
        if (notches > 0) Click(dpy, w.forward, notches);
        if (notches < 0) Click(dpy, w.back, -notches);
    }
}

void X11WheelTake(int32_t *dy, int32_t *dx) {
    *dy = g_dy;
    *dx = g_dx;
    g_dy = g_dx = 0;
}
