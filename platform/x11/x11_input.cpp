// Keyboard and pointer services on Xlib and XTest. Every scan of the core
// starts with PlatInputSnapshot, which pays two round trips (keymap and
// pointer); every key read after it is answered from those bytes. A round
// trip per key would cost milliseconds of every 10 ms recorder tick.
#include "../input.h"
#include "x11_backend.h"
#include "x11_keymap.h"
#include "x11_keystate.h"
#include "x11_wheel.h"
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cstring>
#include <gtk/gtk.h>

namespace {

constexpr int kLockVks[3] = {0x14, 0x90, 0x91}; // Caps, Num, Scroll

Display *g_dpy = nullptr;
Window g_root = 0;
int g_screen = 0;

char g_keymap[32];      // last XQueryKeymap
unsigned g_buttons = 0; // last pointer buttons, bit n for button n
int g_xiPointer = -1;   // the master pointer when XInput 2 is there
int g_xiOpcode = -1;    // XInput 2 events, -1 without it
int g_pointerX = 0, g_pointerY = 0;
Window g_pointerChild = 0; // top-level window under the pointer
bool g_haveSnapshot = false, g_pointerStale = true;

uint8_t g_down[256];       // physically down in the last snapshot
uint8_t g_pressed[256];    // pressed since the last asynchronous read
uint8_t g_suppressed[256]; // cleared from the thread table while still held
uint8_t g_toggle[256];     // thread table toggle bits (not the lock keys)
unsigned g_ledBase = 0;    // lock LEDs as they were when the table was cleared
unsigned g_ledMask[3] = {1, 2, 4};
unsigned g_ledState = 0;
unsigned long g_ledGeneration = 0, g_snapshotGeneration = 0;

Window g_toolbar = 0;
Window g_toolbarTop = 0; // its child-of-root ancestor
bool g_pressOnToolbar = false;
Window g_topCacheFrom = 0, g_topCacheTo = 0;
Atom g_netActive = None;

void FindLedMasks() {
    const char *names[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
    for (int i = 0; i < 3; i++) {
        Atom a = XInternAtom(g_dpy, names[i], True);
        int index = -1;
        if (a != None && XkbGetNamedIndicator(g_dpy, a, &index, nullptr, nullptr, nullptr) &&
            index >= 0 && index < 32)
            g_ledMask[i] = 1u << index;
    }
}

XErrorHandler g_previousHandler = nullptr;

// A window can vanish between two requests (the focus window closing while
// its parents are looked up). Such errors on this connection make that one
// request fail; Xlib's default would end the program.
int OnXError(Display *d, XErrorEvent *e) {
    if (d == g_dpy) return 0;
    return g_previousHandler ? g_previousHandler(d, e) : 0;
}

bool Ensure() {
    return g_dpy || X11InputOpen();
}

uint8_t g_keysDown[256]; // the keys' part of the last snapshot

bool ComputeDown(int vk) {
    switch (vk) {
    case 1: return g_buttons & (1u << 1);
    case 2: return g_buttons & (1u << 3);
    case 4: return g_buttons & (1u << 2);
    case 5: return g_buttons & (1u << 8);
    case 6: return g_buttons & (1u << 9);
    default: break;
    }
    return g_keysDown[vk] != 0;
}

int LockIndex(int vk) {
    for (int i = 0; i < 3; i++)
        if (kLockVks[i] == vk) return i;
    return -1;
}

unsigned LedState() {
    if (g_ledGeneration != g_snapshotGeneration || !g_haveSnapshot) {
        unsigned state = 0;
        if (XkbGetIndicatorState(g_dpy, XkbUseCoreKbd, &state) == Success) g_ledState = state;
        g_ledGeneration = g_snapshotGeneration;
    }
    return g_ledState;
}

// XInput 2 reports every button (the core protocol stops at 5, so the side
// buttons 8 and 9 would be missing) at the same one round trip.
void QueryPointer() {
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
            g_buttons = 0;
            for (int b = 1; b < 16 && b < buttons.mask_len * 8; b++)
                if (XIMaskIsSet(buttons.mask, b)) g_buttons |= 1u << b;
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
Window TopLevelOf(Window w) {
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

void Flush() {
    XFlush(g_dpy);
    g_pointerStale = true;
}

} // namespace

bool X11InputOpen() {
    if (g_dpy) return true;
    g_dpy = XOpenDisplay(nullptr);
    if (!g_dpy) return false;
    int ev = 0, err = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(g_dpy, &ev, &err, &major, &minor)) {
        XCloseDisplay(g_dpy);
        g_dpy = nullptr;
        return false;
    }
    g_previousHandler = XSetErrorHandler(OnXError);
    g_screen = DefaultScreen(g_dpy);
    g_root = RootWindow(g_dpy, g_screen);
    g_netActive = XInternAtom(g_dpy, "_NET_ACTIVE_WINDOW", False);
    int xiOpcode = 0, xiMajor = 2, xiMinor = 2;
    if (XQueryExtension(g_dpy, "XInputExtension", &xiOpcode, &ev, &err) &&
        XIQueryVersion(g_dpy, &xiMajor, &xiMinor) == Success) {
        // The client pointer when one is set, else the first master
        // pointer (the core pointer on a plain server).
        int id = 0;
        if (!XIGetClientPointer(g_dpy, None, &id)) id = 0;
        if (id <= 0) {
            int n = 0;
            XIDeviceInfo *devices = XIQueryDevice(g_dpy, XIAllMasterDevices, &n);
            for (int i = 0; i < n && id <= 0; i++)
                if (devices[i].use == XIMasterPointer) id = devices[i].deviceid;
            if (devices) XIFreeDeviceInfo(devices);
        }
        if (id > 0) g_xiPointer = id;
        g_xiOpcode = xiOpcode;
        // One selection for every raw event we count: a later one on the
        // same window and devices would replace it. Asking for 2.2 above
        // also brings them while another client holds a grab (a menu, a
        // drag).
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
        XISetMask(bits, XI_RawButtonPress);
        XIEventMask mask = {XIAllMasterDevices, int(sizeof bits), bits};
        X11KeysOpen(XISelectEvents(g_dpy, g_root, &mask, 1) == Success);
    }
    X11KeymapBuild(g_dpy);
    FindLedMasks();
    return true;
}

void X11InputClose() {
    if (!g_dpy) return;
    X11KeymapClose();
    XCloseDisplay(g_dpy);
    g_dpy = nullptr;
}

bool X11Tracing() {
    static const bool on = g_getenv("QV_TRACE") != nullptr;
    return on;
}

void X11SetToolbarWindow(uint32_t xid) {
    g_toolbar = Window(xid);
    g_toolbarTop = 0;
}

void PlatInputSnapshot() {
    if (!Ensure()) return;
    // The look first: every key event it reflects is queued before its
    // reply. A changed keyboard map (another layout, a key bound for
    // playback) moves keys to other codes.
    XQueryKeymap(g_dpy, g_keymap);
    while (XPending(g_dpy)) {
        XEvent e;
        XNextEvent(g_dpy, &e);
        if (X11KeymapEvent(&e)) continue;
        if (e.type == GenericEvent && e.xcookie.extension == g_xiOpcode &&
            XGetEventData(g_dpy, &e.xcookie)) {
            const auto *raw = static_cast<const XIRawEvent *>(e.xcookie.data);
            if (e.xcookie.evtype == XI_RawKeyPress || e.xcookie.evtype == XI_RawKeyRelease)
                X11KeysRawEvent(e.xcookie.evtype, raw);
            else if (e.xcookie.evtype == XI_RawButtonPress)
                X11WheelRawPress(raw);
            XFreeEventData(g_dpy, &e.xcookie);
        }
    }
    X11KeysUpdate(g_keymap, X11KeymapNumLock(), g_keysDown);
    QueryPointer();
    g_haveSnapshot = true;
    g_snapshotGeneration++;
    // A press that starts on the toolbar; a drag from elsewhere that
    // crosses it is not one.
    bool left = g_buttons & (1u << 1);
    if (!left) {
        g_pressOnToolbar = false;
    } else if (!g_down[1] && g_toolbar && g_pointerChild) {
        if (!g_toolbarTop) g_toolbarTop = TopLevelOf(g_toolbar);
        g_pressOnToolbar = g_pointerChild == g_toolbarTop;
    }
    for (int vk = 1; vk < 256; vk++) {
        bool down = ComputeDown(vk);
        if (down && !g_down[vk]) {
            g_pressed[vk] = 1;
            g_toggle[vk] ^= 1;
        }
        if (!down) g_suppressed[vk] = 0;
        g_down[vk] = down;
    }
}

int16_t PlatGetAsyncKeyState(int vk) {
    if (vk <= 0 || vk > 255) return 0;
    if (!g_haveSnapshot) PlatInputSnapshot();
    X11KeysRead(vk);
    int16_t r = g_down[vk] ? int16_t(0x8000) : 0;
    if (g_pressed[vk]) r = int16_t(r | 1);
    g_pressed[vk] = 0;
    return r;
}

int16_t PlatGetKeyState(int vk) {
    if (vk <= 0 || vk > 255) return 0;
    if (!g_haveSnapshot) PlatInputSnapshot();
    int16_t r = 0;
    if (g_down[vk] && !g_suppressed[vk]) r = int16_t(0xFF80);
    int lock = LockIndex(vk);
    bool toggled = lock >= 0 ? ((LedState() ^ g_ledBase) & g_ledMask[lock]) != 0 : g_toggle[vk];
    if (toggled) r = int16_t(r | 1);
    return r;
}

void PlatSetKeyboardState(const uint8_t table[256]) {
    // Look again first: releases injected a moment ago must not leave keys
    // marked as held. Steps not yet handed out describe a keyboard that is
    // gone; left in the queue, a chord's later keys would read as pressed
    // after the table was cleared (into a recording the chord started).
    X11KeysCatchUp();
    PlatInputSnapshot();
    if (!g_dpy) return;
    X11KeymapForget();
    unsigned leds = LedState();
    for (int vk = 0; vk < 256; vk++) {
        g_suppressed[vk] = (table[vk] & 0x80) ? 0 : g_down[vk];
        int lock = LockIndex(vk);
        if (lock < 0) {
            g_toggle[vk] = table[vk] & 1;
        } else {
            bool want = table[vk] & 1;
            bool on = (leds & g_ledMask[lock]) != 0;
            g_ledBase = (g_ledBase & ~g_ledMask[lock]) | ((on != want) ? g_ledMask[lock] : 0);
        }
    }
}

void PlatGetCursorPos(int32_t *x, int32_t *y) {
    if (!Ensure()) {
        *x = *y = 0;
        return;
    }
    if (g_pointerStale) QueryPointer();
    *x = g_pointerX;
    *y = g_pointerY;
}

uint32_t PlatGetForegroundWindow() {
    if (!Ensure()) return 0;
    // The toolbar takes the foreground with the press itself, as a click
    // does on the other desktop, even when the recorder looks before the
    // press event reaches the window.
    if (g_pressOnToolbar && (g_buttons & (1u << 1))) return uint32_t(g_toolbar);
    Atom type = None;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char *data = nullptr;
    Window active = 0;
    if (XGetWindowProperty(g_dpy, g_root, g_netActive, 0, 1, False, XA_WINDOW, &type, &format, &n,
                           &after, &data) == Success &&
        data) {
        if (type == XA_WINDOW && format == 32 && n == 1) active = *reinterpret_cast<Window *>(data);
        XFree(data);
    }
    if (active) return uint32_t(active);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(g_dpy, &focus, &revert);
    // With the focus following the pointer the keys go to the window under
    // it.
    if (focus == PointerRoot || focus == None) {
        if (g_pointerStale) QueryPointer();
        return uint32_t(g_pointerChild);
    }
    return uint32_t(TopLevelOf(focus));
}

void PlatKeybdEvent(uint8_t vk, uint8_t scan, uint32_t flags) {
    if (!Ensure()) return;
    if (X11Tracing()) g_printerr("key %#x %#x %u\n", vk, scan, flags);
    X11KeymapPlay(vk, scan, (flags & 2) != 0);
    Flush();
}

// Where the last absolute move put the pointer, until the next placement.
static int s_movedX = -1, s_movedY = -1;

void PlatMouseEvent(uint32_t flags, uint32_t dx, uint32_t dy) {
    if (!Ensure()) return;
    s_movedX = s_movedY = -1;
    if (X11Tracing()) g_printerr("mouse %#x %u %u\n", flags, dx, dy);
    X11KeymapFlush();
    if ((flags & 0x0001) && !(flags & 0x8000))
        XTestFakeRelativeMotionEvent(g_dpy, int(int32_t(dx)), int(int32_t(dy)), CurrentTime);
    if ((flags & 0x0001) && (flags & 0x8000)) {
        // Back from the 0..65535 scale as Windows maps it, so a value lands
        // on the same pixel on both desktops.
        int x = PixelFromAbsolute(dx, PlatScreenWidth());
        int y = PixelFromAbsolute(dy, PlatScreenHeight());
        XTestFakeMotionEvent(g_dpy, g_screen, x, y, CurrentTime);
        s_movedX = x;
        s_movedY = y;
    }
    if (flags & 0x0002) XTestFakeButtonEvent(g_dpy, 1, True, CurrentTime);
    if (flags & 0x0004) XTestFakeButtonEvent(g_dpy, 1, False, CurrentTime);
    if (flags & 0x0008) XTestFakeButtonEvent(g_dpy, 3, True, CurrentTime);
    if (flags & 0x0010) XTestFakeButtonEvent(g_dpy, 3, False, CurrentTime);
    Flush();
}

// Middle is button 2; the side buttons are 8 and 9, as XInput 2 reports
// them back to the recorder; the wheels are buttons 4 to 7.
void PlatMouseButtonEvent(uint32_t flags, uint32_t data) {
    if (!Ensure()) return;
    if (X11Tracing()) g_printerr("button %#x %u\n", flags, data);
    X11KeymapFlush();
    unsigned side = data == 2 ? 9 : data == 1 ? 8 : 0;
    if (flags & 0x0020) XTestFakeButtonEvent(g_dpy, 2, True, CurrentTime);
    if (flags & 0x0040) XTestFakeButtonEvent(g_dpy, 2, False, CurrentTime);
    if ((flags & 0x0080) && side) XTestFakeButtonEvent(g_dpy, side, True, CurrentTime);
    if ((flags & 0x0100) && side) XTestFakeButtonEvent(g_dpy, side, False, CurrentTime);
    if (flags & 0x1800) X11WheelInject(g_dpy, flags, data);
    Flush();
}

void PlatSetCursorPos(int32_t x, int32_t y) {
    if (!Ensure()) return;
    // The absolute move just before already landed exactly here: a warp on
    // top would reach every client as a second motion.
    bool landed = x == s_movedX && y == s_movedY;
    s_movedX = s_movedY = -1;
    if (landed) return;
    XWarpPointer(g_dpy, None, g_root, 0, 0, 0, 0, x, y);
    Flush();
}

int32_t PlatScreenWidth() {
    return Ensure() ? DisplayWidth(g_dpy, g_screen) : 0;
}

int32_t PlatScreenHeight() {
    return Ensure() ? DisplayHeight(g_dpy, g_screen) : 0;
}

uint32_t PlatGetDoubleClickTime() {
    gint ms = 400;
    GtkSettings *settings = gtk_settings_get_default();
    if (settings) g_object_get(settings, "gtk-double-click-time", &ms, nullptr);
    return ms > 0 ? uint32_t(ms) : 400u;
}
