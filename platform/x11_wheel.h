// The wheel on X11, for the input services' own connection: the turns are
// counted from XInput 2 raw button events as they arrive, and played back
// as XTest clicks of the wheel buttons.
#pragma once
#include <X11/Xlib.h>
#include <cstdint>

// Asks for the raw button presses of every master device on the root
// window; xiOpcode is the extension's major opcode.
void X11WheelListen(Display *dpy, Window root, int xiOpcode);
// Counts a raw press of buttons 4 to 7. True when the event was one of
// ours (a raw event of any kind), so the caller can pass it over.
bool X11WheelEvent(Display *dpy, XEvent *e);
// Turns the wheel by a signed delta (flags 0x800 vertical, 0x1000
// horizontal) in whole notches, keeping the rest for the next turn.
void X11WheelInject(Display *dpy, uint32_t flags, uint32_t data);
