// The keys' down state as the X11 input services hand it out: the
// keyboard's own state from a look at it, kept up to date between the looks
// by every XInput 2 raw press and release, in the order they happened.
#pragma once
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <cstdint>

// Takes the keyboard as a look found it (keymap: XQueryKeymap's bits).
void X11KeysSeed(const char keymap[32]);
// Takes a raw key event (XI_RawKeyPress or XI_RawKeyRelease); true when it
// changed a key's state (a repeat changes none).
bool X11KeysRawEvent(int evtype, const XIRawEvent *ev);
// The down state of every virtual-key code.
void X11KeysDown(bool numLock, uint8_t down[256]);
