// What the X11 input services' files share: the connection, the pointer
// and the button state, the toolbar, and the steps between them. One
// connection and one state, kept by x11_input.cpp (the connection and its
// events), x11_capture.cpp (a recording told of each change),
// x11_pointer.cpp (the pointer and the foreground window) and
// x11_keytable.cpp (the keys as the key-state services hand them out).
#pragma once
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <cstdint>

struct X11Step;

namespace x11in {

inline Display *g_dpy = nullptr;
inline Window g_root = 0;
inline int g_screen = 0;

inline unsigned g_buttons = 0; // last pointer buttons, bit n for button n
inline int g_xiPointer = -1;   // the master pointer when XInput 2 is there
inline int g_xiOpcode = -1;    // XInput 2 events, -1 without it
inline int g_pointerX = 0, g_pointerY = 0;
inline Window g_pointerChild = 0; // top-level window under the pointer
inline bool g_haveSnapshot = false, g_pointerStale = true;
// The state follows the input's events (RECORD, else XInput 2's raw ones);
// false: every scan looks.
inline bool g_follow = false;
// The events come from RECORD: each tells the pointer's place, warps too.
inline bool g_placed = false;
inline bool g_recording = false; // a recording is told of every change

inline Window g_toolbar = 0;
inline Window g_toolbarTop = 0; // its child-of-root ancestor
inline bool g_pressOnToolbar = false;
inline Atom g_netActive = None;
// The manager's active window is unknown again (its property changed).
inline bool g_activeKnown = false;

// The connection is open (opened now if it was not).
bool Ensure();
// Reads the pointer's place, the window under it, and (unless the events
// own them) the buttons: one round trip.
void QueryPointer();
// The child of the root window that holds w.
Window TopLevelOf(Window w);
// The lock keys' LED bits on this server.
void FindLedMasks();
// The down state of every code from the keys and buttons as they are now.
void UpdateDown();
// A change of the input taken into the state, and told to a recording.
void TakeStep(const X11Step &step);
// A raw XInput 2 event as such a change (without a place).
void TakeRaw(int evtype, const XIRawEvent *ev);
// While recording: the pointer's place read, and told when it moved.
void ReportPlace(uint32_t stamp);

} // namespace x11in
