// The wheel on X11, for the input services' own connection: the turns are
// counted from the button events (RECORD's or XInput 2's raw ones) as they
// arrive, and played back as XTest clicks of the wheel buttons.
#pragma once
#include <X11/Xlib.h>
#include <cstdint>

// Counts a press of buttons 4 to 7 (a master device's: each press comes
// once, whichever physical device or XTest made it).
void X11WheelPress(unsigned button);
// Turns the wheel by a signed delta (flags 0x800 vertical, 0x1000
// horizontal) in whole notches, keeping the rest for the next turn.
void X11WheelInject(Display *dpy, uint32_t flags, uint32_t data);
// How far the wheels turned since the last take (PlatTakeWheel).
void X11WheelTake(int32_t *dy, int32_t *dx);
