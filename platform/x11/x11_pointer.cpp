// The pointer's place and the foreground window, read from the server
// when the events cannot tell them.
#include "../timer.h"
#include "x11_backend.h"
#include "x11_input_state.h"
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

using namespace x11in;

namespace {

Window g_topCacheFrom = 0, g_topCacheTo = 0;
// The manager's active window as last read; a change of the property (an
// event on the root) makes it unknown again.
Window g_active = 0;
// Without a manager nothing announces another focus: the focus as looked up
// is used for this long.
constexpr uint32_t kFocusLookMs = 100;
Window g_focus = 0;
uint32_t g_focusAt = 0;
bool g_focusKnown = false;

} // namespace

// XInput 2 reports every button (the core protocol stops at 5, so the side
// buttons 8 and 9 would be missing) at the same one round trip.
// Following the events, the buttons are theirs: a reply can be newer than
// the event being handled.
void x11in::QueryPointer() {
    bool buttonsToo = !g_follow || !g_haveSnapshot;
    Window root = 0, child = 0;
    if (g_xiPointer >= 0) {
        double rx = 0, ry = 0, wx = 0, wy = 0;
        XIButtonState buttons = {};
        XIModifierState mods = {};
        XIGroupState group = {};
        if (XIQueryPointer(g_dpy, g_xiPointer, g_root, &root, &child, &rx, &ry, &wx, &wy, &buttons,
                           &mods, &group)) {
            g_pointerX = int(rx);
            g_pointerY = int(ry);
            g_pointerChild = child;
            if (buttonsToo) {
                g_buttons = 0;
                for (int b = 1; b < 16 && b < buttons.mask_len * 8; b++)
                    if (XIMaskIsSet(buttons.mask, b)) g_buttons |= 1u << b;
            }
        }
        if (buttons.mask) XFree(buttons.mask);
    } else {
        int wx = 0, wy = 0;
        unsigned mask = 0;
        if (XQueryPointer(g_dpy, g_root, &root, &child, &g_pointerX, &g_pointerY, &wx, &wy,
                          &mask)) {
            g_pointerChild = child;
            g_buttons = 0;
            for (int b = 1; b <= 5; b++)
                if (mask & (Button1Mask << (b - 1))) g_buttons |= 1u << b;
        }
    }
    g_pointerStale = false;
}

// The child of the root window that holds w (w itself for a top-level
// window without a window manager's frame).
Window x11in::TopLevelOf(Window w) {
    if (!w || w == g_root) return 0;
    if (w == g_topCacheFrom) return g_topCacheTo;
    Window cur = w;
    for (int depth = 0; depth < 64; depth++) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(g_dpy, cur, &root, &parent, &children, &n)) return 0;
        if (children) XFree(children);
        if (parent == root || !parent) break;
        cur = parent;
    }
    g_topCacheFrom = w;
    g_topCacheTo = cur;
    return cur;
}

void X11PointerMoved() {
    g_pointerStale = true;
}

void X11GetCursorPos(int32_t *x, int32_t *y) {
    if (!Ensure()) {
        *x = *y = 0;
        return;
    }
    if (g_pointerStale) QueryPointer();
    *x = g_pointerX;
    *y = g_pointerY;
}

uint32_t X11GetForegroundWindow() {
    if (!Ensure()) return 0;
    // The toolbar takes the foreground with the press itself, as a click
    // does on the other desktop, even when the recorder looks before the
    // press event reaches the window.
    if (g_pressOnToolbar && (g_buttons & (1u << 1))) return uint32_t(g_toolbar);
    if (!g_activeKnown) {
        Atom type = None;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char *data = nullptr;
        g_active = 0;
        if (XGetWindowProperty(g_dpy, g_root, g_netActive, 0, 1, False, XA_WINDOW, &type, &format,
                               &n, &after, &data) == Success &&
            data) {
            if (type == XA_WINDOW && format == 32 && n == 1)
                g_active = *reinterpret_cast<Window *>(data);
            XFree(data);
        }
        g_activeKnown = true;
    }
    if (g_active) return uint32_t(g_active);
    uint32_t now = PlatGetTickCount();
    if (!g_focusKnown || now - g_focusAt >= kFocusLookMs) {
        int revert = 0;
        g_focus = 0;
        XGetInputFocus(g_dpy, &g_focus, &revert);
        g_focusAt = now;
        g_focusKnown = true;
    }
    // With the focus following the pointer the keys go to the window under
    // it.
    if (g_focus == PointerRoot || g_focus == None) {
        if (g_pointerStale) QueryPointer();
        return uint32_t(g_pointerChild);
    }
    return uint32_t(TopLevelOf(g_focus));
}
