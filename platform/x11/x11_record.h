// The input as the X server processes it, from its RECORD extension: every
// key, button and motion of every master device (physical or XTest) in the
// order the server took them, each with its own time and the pointer's
// place, on a second connection the server gives over to the data.
#pragma once
#include <X11/Xlib.h>
#include <cstdint>

// One change of the input: a core event type (KeyPress to MotionNotify),
// its key code or button, the server's time, and the pointer's place on
// the root when the event tells it (placed).
struct X11Step {
    int type;
    unsigned detail;
    uint32_t time;
    bool placed;
    int x, y;
};

enum X11RecordItem { X11_RECORD_NOTHING, X11_RECORD_STEP, X11_RECORD_MARK };

// What one intercepted piece of protocol is: a step, the input
// connection's mark (its no-operation request), or nothing we asked for.
// category and data as XRecordInterceptData has them, bytes its length.
X11RecordItem X11RecordDecode(int category, const unsigned char *data, unsigned long bytes,
                              X11Step *step);

// Starts recording the input of the server of input on a connection of its
// own; false when the server has no RECORD extension or refuses.
bool X11RecordOpen(Display *input);
void X11RecordClose(Display *input);
// The data connection's socket, -1 without one.
int X11RecordFd();
// Takes every step that has arrived (x11in::TakeStep); true when any did.
bool X11RecordTake();
// Waits until every step the server took before now has been taken.
void X11RecordSettle(Display *input);
// Motions are recorded (from the server's next request on) or no more.
void X11RecordMotions(Display *input, bool on);
// A raw XInput 2 event of that kind arrived: RECORD owes its step.
void X11RecordRawArrived(int evtype);
// Whether a raw event arrived whose step has not yet come: then the
// server holds it back, and a settle brings it.
bool X11RecordBehind();
