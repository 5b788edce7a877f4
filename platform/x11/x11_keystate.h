// The keys' down state as the X11 input services hand it out: the
// keyboard itself, or while a scanner falls behind a fast typist, every
// press and release in the order they happened.
#pragma once
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <cstdint>

// Whether XInput 2 raw key events come to the input connection; without
// them the keyboard's own state is all there is.
void X11KeysOpen(bool haveRaw);
// Takes a raw key event (XI_RawKeyPress or XI_RawKeyRelease).
void X11KeysRawEvent(int evtype, const XIRawEvent *ev);
// After the look at the keyboard (keymap: XQueryKeymap's bits): the down
// state of every virtual-key code.
void X11KeysUpdate(const char keymap[32], bool numLock, uint8_t down[256]);
// The next look takes the keyboard as it is, dropping steps not handed out.
void X11KeysCatchUp();
// A caller read vk's state.
void X11KeysRead(int vk);
