// A recording told of each change as its raw XInput 2 event arrives, at
// the event's own time. A pointer move is read with one round trip after
// its raw motion, since raw events carry no place.
#include "../../engine/engine.h"
#include "../timer.h"
#include "x11_backend.h"
#include "x11_input_state.h"
#include "x11_keystate.h"
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
uint32_t Stamp(Time serverTime) {
    uint32_t now = PlatGetTickCount();
    int32_t age = int32_t(now - uint32_t(serverTime));
    return age >= 0 && age <= 10000 ? uint32_t(serverTime) : now;
}

void Report(uint32_t stamp) {
    if (g_recording) RecordInputChange(stamp);
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

} // namespace

// A place no raw motion announced (another program warped the pointer)
// goes to the recorder as a move of its own before what came with it.
void x11in::ReportPlace(uint32_t stamp) {
    if (!g_recording) return;
    QueryPointer();
    if (g_pointerX == g_reportedX && g_pointerY == g_reportedY) return;
    g_reportedX = g_pointerX;
    g_reportedY = g_pointerY;
    RecordInputChange(stamp);
}

void x11in::TakeRaw(int evtype, const XIRawEvent *ev) {
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
