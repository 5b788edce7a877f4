// The keyboard map as the X11 input services see it: which keycodes read
// as which virtual-key codes, and which keycode plays one.
#pragma once
#include <X11/Xlib.h>
#include <cstdint>

// (Re)reads the keyboard map of the input connection; the first call also
// asks for the events that announce a new map, keyboard or group.
void X11KeymapBuild(Display *dpy);
// Takes an event about the keyboard map; false for any other event.
bool X11KeymapEvent(XEvent *e);
// The virtual-key codes a down key reads as (its own, the shared modifier
// code, the left Ctrl that AltGr holds); returns how many.
int X11KeymapVks(unsigned keycode, bool numLock, uint8_t vks[4]);
// Plays a key of a recording (scan: the record's own scan code).
void X11KeymapPlay(uint8_t vk, uint8_t scan, bool up);
// Plays Ctrl and Alt presses held back to see whether AltGr follows.
void X11KeymapFlush();
// Drops what the playback held back or swallowed: the keys it stands for
// were never pressed, so they are not let go either.
void X11KeymapForget();
// Gives back the keycodes borrowed for playback.
void X11KeymapClose();
// The scan code of the key that reads as vk, 0 when none.
uint32_t X11KeymapScan(uint32_t vk);
// The code of a key event's keycode (the keysym when the map lacks it).
uint32_t X11KeymapVkOfKeycode(unsigned keycode, unsigned long keysym);
// Num Lock as the keyboard's state last reported it.
bool X11KeymapNumLock();
