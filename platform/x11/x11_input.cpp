// Reading the keyboard and the pointer on Xlib, RECORD and XInput 2.
//
// The state follows the events of every keyboard and pointer (XTest's too)
// as they arrive: RECORD's (x11_record.cpp), which tell the pointer's place
// with each, else XInput 2's raw ones. The toolkit's main loop wakes on the
// input connection (X11InputDispatch), each event changes the state by one
// step, and a running recording is told of each step with the event's own
// time. Nothing is asked of the server while nothing happens: x11_capture.cpp
// tells a recording, x11_pointer.cpp reads the pointer when asked, and
// x11_keytable.cpp hands out the keys. Without either extension every scan
// of the core starts with a look that pays two round trips (keymap and
// pointer), and the recorder polls.
#include "../../engine/engine.h"
#include "../input.h"
#include "../timer.h"
#include "x11_backend.h"
#include "x11_conn.h"
#include "x11_input_state.h"
#include "x11_keymap.h"
#include "x11_keystate.h"
#include "x11_record.h"
#include "x11_wheel.h"
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <gtk/gtk.h>

using namespace x11in;

namespace {

char g_keymap[32];   // last XQueryKeymap
bool g_sent = false; // input sent since the last look
bool g_draining = false;
bool g_arrived = false; // the last drain took input

XErrorHandler g_previousHandler = nullptr;

// A window can vanish between two requests (the focus window closing while
// its parents are looked up). Such errors on this connection make that one
// request fail; Xlib's default would end the program.
int OnXError(Display *d, XErrorEvent *e) {
    if (d == g_dpy || ConnectionNumber(d) == X11RecordFd()) return 0;
    return g_previousHandler ? g_previousHandler(d, e) : 0;
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
                // RECORD's steps from before it (the server may still hold
                // them) go in first, at their own times: the change is
                // stamped now, and no later stamp may lie before it.
                if (g_placed && g_recording) X11RecordSettle(g_dpy);
                UpdateDown();
                if (g_recording) RecordInputChange(PlatGetTickCount());
            }
            continue;
        }
        if (e.type == PropertyNotify) {
            if (e.xproperty.atom == g_netActive) g_activeKnown = false;
            continue;
        }
        if (e.type != GenericEvent || e.xcookie.extension != g_xiOpcode) continue;
        if (g_placed) {
            g_arrived = true; // RECORD tells what it was
            X11RecordRawArrived(e.xcookie.evtype);
            continue;
        }
        if (!XGetEventData(g_dpy, &e.xcookie)) continue;
        const auto *ev = static_cast<const XIRawEvent *>(e.xcookie.data);
        g_arrived = true;
        if (g_follow)
            TakeRaw(e.xcookie.evtype, ev);
        else if (e.xcookie.evtype == XI_RawButtonPress)
            X11WheelPress(unsigned(ev->detail)); // only the wheel is counted between the looks
        XFreeEventData(g_dpy, &e.xcookie);
    }
    if (X11RecordTake()) g_arrived = true;
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

bool x11in::Ensure() {
    return g_dpy || X11InputOpen();
}

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
    X11KeymapBuild(g_dpy);
    FindLedMasks();
    // RECORD's events carry what raw events lack (the place of each move,
    // warps). The raw events of keys and buttons are still asked for, and
    // dropped unread: the server may hold back what it recorded until a
    // client's round trip, and they wake the hotkey poll, whose scan makes
    // that round trip.
    g_follow = g_placed = X11RecordOpen(g_dpy);
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
        // With RECORD the motions are not asked for: the most frequent event
        // would then cost a second read each, and RECORD's own data (or the
        // next scan) brings them.
        if (!g_placed) XISetMask(bits, XI_RawMotion);
        XIEventMask mask = {XIAllMasterDevices, int(sizeof bits), bits};
        bool raw = XISelectEvents(g_dpy, g_root, &mask, 1) == Success;
        g_follow = g_follow || raw;
        // A server that lacks a raw event kind refuses the whole selection:
        // the wheel's presses alone then, and the looks for the rest.
        if (!g_follow) {
            unsigned char wheel[XIMaskLen(XI_LASTEVENT)] = {};
            XISetMask(wheel, XI_RawButtonPress);
            XIEventMask only = {XIAllMasterDevices, int(sizeof wheel), wheel};
            XISelectEvents(g_dpy, g_root, &only, 1);
        }
    }
    return true;
}

void X11InputClose() {
    if (!g_dpy) return;
    X11RecordClose(g_dpy);
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
    // RECORD's come on a connection of their own, and the server may hold
    // back what it recorded until some client's round trip makes it flush
    // (the raw events do not): a scan that finds a raw event whose step
    // has not come makes one, and takes everything up to a mark sent with
    // it; so does every scan of a recording, whose moves (no raw event
    // wakes the program for them) would otherwise wait in the server.
    // Meanwhile the recording gets each step's own time and place, only
    // later.
    if (g_placed) Drain();
    if (g_placed && (g_sent || g_recording || X11RecordBehind())) {
        g_sent = false;
        X11RecordSettle(g_dpy);
    } else if (g_sent) {
        g_sent = false;
        XSync(g_dpy, False);
    }
    Drain();
    // A warp brings no raw motion: while recording, each scan (the hotkey
    // poll's) looks where the pointer is. RECORD tells of warps.
    if (g_recording && !g_placed) ReportPlace(PlatGetTickCount());
}

// Only the input connection wakes the loop: its raw events come with every
// key and button (RECORD's steps come with them, or the next scan fetches
// them), and one wake-up takes both.
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
