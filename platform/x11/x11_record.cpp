// The RECORD context behind x11_record.h. The server writes each device
// event to the data connection as it processes it, so a move comes with
// the place it went to, however many follow it before the program looks,
// and a warp by another program is a motion like any other. Nothing is
// asked per event: the one round trip left is the settle, after the
// program's own injections.
#include "x11_input_state.h"
#include "x11_record.h"
#include <X11/Xproto.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/record.h>
#include <poll.h>

namespace {

Display *g_data = nullptr; // the context's data connection, its own from now on
XRecordContext g_context = 0;
// A resource of the input connection: it names that connection to the
// server as the one client whose no-operation requests are recorded.
Pixmap g_name = 0;
unsigned long g_marksSent = 0, g_marksSeen = 0;
bool g_took = false;
bool g_closing = false;
// Since the last settle: raw events of keys and buttons against the steps
// RECORD brought of them.
unsigned g_rawPresses = 0, g_stepPresses = 0;

// A server that stops answering must not hold the program: the settle
// then goes on with what came. Far above any real server's answer.
constexpr int kSettleMs = 2000;

void OnData(XPointer, XRecordInterceptData *d) {
    X11Step step;
    if (g_closing) {
        XRecordFreeData(d);
        return;
    }
    X11RecordItem item = X11RecordDecode(d->category, d->data, d->data_len * 4ul, &step);
    if (item == X11_RECORD_MARK) g_marksSeen++;
    if (item == X11_RECORD_STEP) {
        g_took = true;
        if (step.type != MotionNotify) g_stepPresses++;
        x11in::TakeStep(step);
    }
    XRecordFreeData(d);
}

// Sends a mark on the input connection and takes what arrives until the
// server has recorded it: every step before it has been taken then.
bool WaitForMark(Display *input) {
    unsigned long want = ++g_marksSent;
    XNoOp(input);
    XSync(input, False);
    while (int(g_marksSeen - want) < 0) {
        XRecordProcessReplies(g_data);
        if (int(g_marksSeen - want) >= 0) break;
        pollfd p = {ConnectionNumber(g_data), POLLIN, 0};
        if (poll(&p, 1, kSettleMs) <= 0) return false;
    }
    return true;
}

// What the context records: keys and buttons, and the motions too while a
// recording runs (otherwise nothing reads them in time, and they would
// pile up in the server while the pointer wanders); the mark always.
// Given again for the same client, the ranges replace the old ones.
bool Ranges(Display *input, bool motions) {
    XRecordRange *range = XRecordAllocRange();
    if (!range) return false;
    range->device_events.first = KeyPress;
    range->device_events.last = motions ? MotionNotify : ButtonRelease;
    range->core_requests.first = range->core_requests.last = X_NoOperation;
    XRecordClientSpec client = g_name;
    Status ok = 1;
    if (g_context)
        ok = XRecordRegisterClients(input, g_context, 0, &client, 1, &range, 1);
    else
        g_context = XRecordCreateContext(input, 0, &client, 1, &range, 1);
    XFree(range);
    return ok && g_context;
}

} // namespace

bool X11RecordOpen(Display *input) {
    int major = 0, minor = 0;
    if (g_data || !XRecordQueryVersion(input, &major, &minor)) return false;
    g_data = XOpenDisplay(DisplayString(input));
    if (!g_data) return false;
    g_name = XCreatePixmap(input, DefaultRootWindow(input), 1, 1, 1);
    Ranges(input, false);
    // Made on this connection, enabled on the other: it must exist before
    // the other's request arrives.
    XSync(input, False);
    // The context is used once the server has recorded the first mark:
    // refused anywhere on the way, the raw events take over.
    if (!g_context || !XRecordEnableContextAsync(g_data, g_context, OnData, nullptr) ||
        !WaitForMark(input)) {
        X11RecordClose(input);
        return false;
    }
    return true;
}

void X11RecordClose(Display *input) {
    if (!g_data) return;
    // The server takes no request of the data connection while its context
    // is enabled, not even the one closing it waits for.
    if (g_context) {
        XRecordDisableContext(input, g_context);
        XRecordFreeContext(input, g_context);
    }
    XFreePixmap(input, g_name);
    XSync(input, False);
    g_closing = true; // what still comes belongs to no one
    XCloseDisplay(g_data);
    g_closing = false;
    g_data = nullptr;
    g_context = 0;
    g_name = 0;
}

int X11RecordFd() {
    return g_data ? ConnectionNumber(g_data) : -1;
}

bool X11RecordTake() {
    if (!g_data) return false;
    g_took = false;
    XRecordProcessReplies(g_data);
    return g_took;
}

void X11RecordSettle(Display *input) {
    if (!g_data) return;
    WaitForMark(input);
    g_rawPresses = g_stepPresses = 0;
}

void X11RecordMotions(Display *input, bool on) {
    if (g_data) Ranges(input, on);
}

void X11RecordRawArrived(int evtype) {
    if (evtype != XI_RawMotion) g_rawPresses++;
}

bool X11RecordBehind() {
    return g_stepPresses < g_rawPresses;
}
