// Reading the keyboard and the pointer on Xlib and XInput 2.
//
// With XInput 2 the state follows the raw events of every keyboard and
// pointer (XTest's too) as they arrive: the toolkit's main loop wakes on the
// connection (X11InputDispatch), each event changes the state by one step,
// and a running recording is told of each step with the event's own time.
// Nothing is asked of the server while nothing happens; a pointer move is
// read with one round trip after its raw motion, since raw events carry no
// place. Without XInput 2 every scan of the core starts with a look that
// pays two round trips (keymap and pointer), and the recorder polls.
#include "../../engine/engine.h"
#include "../input.h"
#include "../timer.h"
#include "x11_backend.h"
#include "x11_conn.h"
#include "x11_keymap.h"
#include "x11_keystate.h"
#include "x11_wheel.h"
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
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
// The state follows the raw events (XInput 2); false: every scan looks.
bool g_follow = false;
bool g_recording = false; // a recording is told of every change
bool g_sent = false;      // input sent since the last look
bool g_draining = false;
bool g_arrived = false;                 // the last drain took input
int g_reportedX = -1, g_reportedY = -1; // the pointer's place last reported

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
// The manager's active window as last read; a change of the property (an
// event on the root) makes it unknown again.
Window g_active = 0;
bool g_activeKnown = false;
// Without a manager nothing announces another focus: the focus as looked up
// is used for this long.
constexpr uint32_t kFocusLookMs = 100;
Window g_focus = 0;
uint32_t g_focusAt = 0;
bool g_focusKnown = false;

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
// Following the events, the buttons are theirs: a reply can be newer than
// the event being handled.
void QueryPointer() {
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

// The down state of every code from the keys and buttons as they are now;
// a press that starts on the toolbar is noted.
void UpdateDown() {
    X11KeysDown(X11KeymapNumLock(), g_keysDown);
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

// X servers on this machine (Xorg, Xvfb, Xwayland) stamp their events with
// the monotonic clock in milliseconds, the clock PlatGetTickCount reads:
// the event's own time is then exact, however long it waited in the queue
// or behind a busy main loop. A server elsewhere has a clock of its own, and
// no difference of the two clocks tells its offset from the network's
// delay; its times, which would lie before or far behind the arrival, are
// not trusted, and such an event is stamped when it arrives.
uint32_t Stamp(Time serverTime) {
    uint32_t now = PlatGetTickCount();
    int32_t age = int32_t(now - uint32_t(serverTime));
    return age >= 0 && age <= 10000 ? uint32_t(serverTime) : now;
}

void Report(uint32_t stamp) {
    if (g_recording) RecordInputChange(stamp);
}

// A place no raw motion announced (another program warped the pointer)
// goes to the recorder as a move of its own before what came with it.
void ReportPlace(uint32_t stamp) {
    if (!g_recording) return;
    QueryPointer();
    if (g_pointerX == g_reportedX && g_pointerY == g_reportedY) return;
    g_reportedX = g_pointerX;
    g_reportedY = g_pointerY;
    RecordInputChange(stamp);
}

void ButtonChange(unsigned button, bool down, uint32_t stamp) {
    if (button >= 4 && button <= 7) return; // the wheel has no state
    if (button >= 16) return;
    // The place of the press, and the window it lands on.
    if (g_recording)
        ReportPlace(stamp);
    else if (down && button == 1)
        QueryPointer();
    unsigned bit = 1u << button;
    if (((g_buttons & bit) != 0) == down) return;
    g_buttons = down ? g_buttons | bit : g_buttons & ~bit;
    UpdateDown();
    Report(stamp);
}

// Whether the next event already here is a raw motion.
bool MotionFollows() {
    if (!XEventsQueued(g_dpy, QueuedAlready)) return false;
    XEvent next;
    XPeekEvent(g_dpy, &next);
    return next.type == GenericEvent && next.xcookie.extension == g_xiOpcode &&
           next.xcookie.evtype == XI_RawMotion;
}

// A raw motion carries no place: it is read from the server, which answers
// with the newest. When a later motion is already here (a burst of one
// stroke within a millisecond, or a main loop that fell behind), this
// one's own place can no longer be read; the later one goes in with the
// place read after it, at its own time, rather than this one at a place
// it never had.
void TakeMotion(uint32_t stamp) {
    g_pointerStale = true;
    if (!g_recording || MotionFollows()) return;
    QueryPointer();
    if (MotionFollows()) return; // came while the place was asked for
    if (g_pointerX == g_reportedX && g_pointerY == g_reportedY) return;
    g_reportedX = g_pointerX;
    g_reportedY = g_pointerY;
    RecordInputChange(stamp);
}

void TakeRaw(int evtype, const XIRawEvent *ev) {
    uint32_t stamp = Stamp(ev->time);
    switch (evtype) {
    case XI_RawKeyPress:
    case XI_RawKeyRelease:
        if (!X11KeysRawEvent(evtype, ev)) return;
        UpdateDown();
        Report(stamp);
        return;
    case XI_RawButtonPress:
        if (ev->detail >= 4 && ev->detail <= 7) {
            // The wheel acts where the pointer is, warped there or not.
            ReportPlace(stamp);
            X11WheelRawPress(ev);
            Report(stamp);
            return;
        }
        ButtonChange(unsigned(ev->detail), true, stamp);
        return;
    case XI_RawButtonRelease: ButtonChange(unsigned(ev->detail), false, stamp); return;
    case XI_RawMotion: TakeMotion(stamp); return;
    default: return;
    }
}

// Takes every event the connection holds, in order, each one step.
void Drain() {
    if (g_draining) return;
    g_draining = true;
    while (XPending(g_dpy)) {
        XEvent e;
        XNextEvent(g_dpy, &e);
        if (X11KeymapEvent(&e)) {
            g_arrived = true;
            // Another map or group: held keys may read as other codes.
            if (g_follow) {
                UpdateDown();
                Report(PlatGetTickCount());
            }
            continue;
        }
        if (e.type == PropertyNotify) {
            if (e.xproperty.atom == g_netActive) g_activeKnown = false;
            continue;
        }
        if (e.type != GenericEvent || e.xcookie.extension != g_xiOpcode ||
            !XGetEventData(g_dpy, &e.xcookie))
            continue;
        const auto *ev = static_cast<const XIRawEvent *>(e.xcookie.data);
        g_arrived = true;
        if (g_follow)
            TakeRaw(e.xcookie.evtype, ev);
        else if (e.xcookie.evtype == XI_RawButtonPress)
            X11WheelRawPress(ev); // only the wheel is counted between the looks
        XFreeEventData(g_dpy, &e.xcookie);
    }
    g_draining = false;
}

// The full look: the keymap and the pointer, two round trips. Every event
// from before the replies is taken first, so the look is the newest state.
void Look() {
    XQueryKeymap(g_dpy, g_keymap);
    Drain();
    X11KeysSeed(g_keymap);
    bool had = g_haveSnapshot;
    g_haveSnapshot = false; // the reply's buttons too
    QueryPointer();
    g_haveSnapshot = had;
    UpdateDown();
}

} // namespace

Display *X11Conn() {
    return Ensure() ? g_dpy : nullptr;
}

void X11Sent() {
    XFlush(g_dpy);
    g_pointerStale = true;
    g_sent = true;
}

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
    XSelectInput(g_dpy, g_root, PropertyChangeMask);
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
        XISetMask(bits, XI_RawButtonRelease);
        XISetMask(bits, XI_RawMotion);
        XIEventMask mask = {XIAllMasterDevices, int(sizeof bits), bits};
        g_follow = XISelectEvents(g_dpy, g_root, &mask, 1) == Success;
        // A server that lacks a raw event kind refuses the whole selection:
        // the wheel's presses alone then, and the looks for the rest.
        if (!g_follow) {
            unsigned char wheel[XIMaskLen(XI_LASTEVENT)] = {};
            XISetMask(wheel, XI_RawButtonPress);
            XIEventMask only = {XIAllMasterDevices, int(sizeof wheel), wheel};
            XISelectEvents(g_dpy, g_root, &only, 1);
        }
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

void X11InputSnapshot() {
    if (!Ensure() || g_draining) return;
    if (!g_follow || !g_haveSnapshot) {
        Look();
        return;
    }
    // What was sent (releases, a playback's keys) comes back as events
    // before the reply of one round trip: the state then includes it.
    if (g_sent) {
        g_sent = false;
        XSync(g_dpy, False);
    }
    Drain();
    // A warp brings no raw motion: while recording, each scan (the hotkey
    // poll's) looks where the pointer is.
    if (g_recording) ReportPlace(PlatGetTickCount());
}

bool X11InputRecording(bool on) {
    if (!Ensure()) return false;
    g_recording = on && g_follow;
    if (g_recording) {
        if (g_pointerStale) QueryPointer();
        g_reportedX = g_pointerX;
        g_reportedY = g_pointerY;
    }
    return g_recording;
}

int X11InputFd() {
    return Ensure() ? ConnectionNumber(g_dpy) : -1;
}

bool X11InputQueued() {
    return g_dpy && XEventsQueued(g_dpy, QueuedAlready) > 0;
}

bool X11InputDispatch() {
    if (!g_dpy) return false;
    g_arrived = false;
    Drain();
    return g_arrived;
}

bool X11InputFollows() {
    return Ensure() && g_follow;
}

void X11PointerMoved() {
    g_pointerStale = true;
}

int16_t X11GetAsyncKeyState(int vk) {
    if (vk <= 0 || vk > 255) return 0;
    if (!g_haveSnapshot) X11InputSnapshot();
    int16_t r = g_down[vk] ? int16_t(0x8000) : 0;
    if (g_pressed[vk]) r = int16_t(r | 1);
    g_pressed[vk] = 0;
    return r;
}

int16_t X11GetKeyState(int vk) {
    if (vk <= 0 || vk > 255) return 0;
    if (!g_haveSnapshot) X11InputSnapshot();
    int16_t r = 0;
    if (g_down[vk] && !g_suppressed[vk]) r = int16_t(0xFF80);
    int lock = LockIndex(vk);
    bool toggled = lock >= 0 ? ((LedState() ^ g_ledBase) & g_ledMask[lock]) != 0 : g_toggle[vk];
    if (toggled) r = int16_t(r | 1);
    return r;
}

void X11SetKeyboardState(const uint8_t table[256]) {
    // Look again first: releases injected a moment ago must not leave keys
    // marked as held.
    X11InputSnapshot();
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
