// A recording told of each change as its event arrives, at the event's own
// time. RECORD's events tell where the pointer was; a raw XInput 2 event
// tells no place, so a move is then read with one round trip after it.
#include "../../engine/engine.h"
#include "../timer.h"
#include "x11_backend.h"
#include "x11_input_state.h"
#include "x11_keystate.h"
#include "x11_record.h"
#include "x11_wheel.h"
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

using namespace x11in;

namespace {

int g_reportedX = -1, g_reportedY = -1; // the pointer's place last reported

// X servers on this machine (Xorg, Xvfb, Xwayland) stamp their events with
// the monotonic clock in milliseconds, the clock PlatGetTickCount reads:
// the event's own time is then exact, however long it waited in the queue
// or behind a busy main loop. A server elsewhere has a clock of its own, and
// no difference of the two clocks tells its offset from the network's
// delay; its times, which would lie before or far behind the arrival, are
// not trusted, and such an event is stamped when it arrives.
uint32_t Stamp(uint32_t serverTime) {
    uint32_t now = PlatGetTickCount();
    int32_t age = int32_t(now - serverTime);
    return age >= 0 && age <= 10000 ? serverTime : now;
}

void Report(uint32_t stamp) {
    if (g_recording) RecordInputChange(stamp);
}

// The place as it now stands told to a recording, when it moved.
void ReportKnownPlace(uint32_t stamp) {
    if (!g_recording) return;
    if (g_pointerX == g_reportedX && g_pointerY == g_reportedY) return;
    g_reportedX = g_pointerX;
    g_reportedY = g_pointerY;
    RecordInputChange(stamp);
}

// The window under the pointer, which no event tells, read for a press:
// the place stays the event's own (the reply's may be newer).
void ReadChild() {
    int x = g_pointerX, y = g_pointerY;
    QueryPointer();
    g_pointerX = x;
    g_pointerY = y;
}

void ButtonChange(const X11Step &s, bool down, uint32_t stamp) {
    unsigned button = s.detail;
    if (button >= 4 && button <= 7) return; // the wheel has no state
    if (button >= 16) return;
    // The place of the press, and the window it lands on.
    if (s.placed) {
        ReportKnownPlace(stamp);
        if (g_recording || (down && button == 1)) ReadChild();
    } else if (g_recording) {
        ReportPlace(stamp);
    } else if (down && button == 1) {
        QueryPointer();
    }
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
void TakeRawMotion(uint32_t stamp) {
    g_pointerStale = true;
    if (!g_recording || MotionFollows()) return;
    QueryPointer();
    if (MotionFollows()) return; // came while the place was asked for
    ReportKnownPlace(stamp);
}

} // namespace

// A place no raw motion announced (another program warped the pointer)
// goes to the recorder as a move of its own before what came with it.
void x11in::ReportPlace(uint32_t stamp) {
    if (!g_recording) return;
    QueryPointer();
    ReportKnownPlace(stamp);
}

void x11in::TakeStep(const X11Step &s) {
    uint32_t stamp = Stamp(s.time);
    if (s.placed) {
        g_pointerX = s.x;
        g_pointerY = s.y;
        // Outside a recording no motions come: the next read asks.
        g_pointerStale = !g_recording;
    }
    switch (s.type) {
    case KeyPress:
    case KeyRelease:
        if (!X11KeysEvent(s.detail, s.type == KeyPress)) return;
        UpdateDown();
        Report(stamp);
        return;
    case ButtonPress:
        if (s.detail >= 4 && s.detail <= 7) {
            // The wheel acts where the pointer is, warped there or not.
            if (s.placed)
                ReportKnownPlace(stamp);
            else
                ReportPlace(stamp);
            X11WheelPress(s.detail);
            Report(stamp);
            return;
        }
        ButtonChange(s, true, stamp);
        return;
    case ButtonRelease: ButtonChange(s, false, stamp); return;
    case MotionNotify:
        // Each motion RECORD tells is a move of its own at its own place,
        // however many came within one millisecond.
        if (s.placed)
            ReportKnownPlace(stamp);
        else
            TakeRawMotion(stamp);
        return;
    default: return;
    }
}

void x11in::TakeRaw(int evtype, const XIRawEvent *ev) {
    static const struct {
        int raw, type;
    } kinds[] = {{XI_RawKeyPress, KeyPress},
                 {XI_RawKeyRelease, KeyRelease},
                 {XI_RawButtonPress, ButtonPress},
                 {XI_RawButtonRelease, ButtonRelease},
                 {XI_RawMotion, MotionNotify}};
    for (const auto &k : kinds)
        if (k.raw == evtype)
            TakeStep({k.type, unsigned(ev->detail), uint32_t(ev->time), false, 0, 0});
}

bool X11InputRecording(bool on) {
    if (!Ensure()) return false;
    // Moves the server still holds back belong to the recording that ends.
    if (!on && g_recording && g_placed) {
        X11RecordSettle(g_dpy);
        X11RecordMotions(g_dpy, false);
    }
    bool was = g_recording;
    g_recording = on && g_follow;
    if (g_recording) {
        // Every motion from here on comes with its place; the place now is
        // read after the server took that in.
        if (g_placed && !was) {
            X11RecordMotions(g_dpy, true);
            g_pointerStale = true;
        }
        if (g_pointerStale) QueryPointer();
        g_reportedX = g_pointerX;
        g_reportedY = g_pointerY;
    }
    return g_recording;
}
