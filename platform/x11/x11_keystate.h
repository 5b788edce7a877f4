// The keys' down state as the X11 input services hand it out: the
// keyboard's own state from a look at it, kept up to date between the looks
// by every press and release event, in the order they happened.
#pragma once
#include <cstdint>

// Takes the keyboard as a look found it (keymap: XQueryKeymap's bits).
void X11KeysSeed(const char keymap[32]);
// Takes a key's press or release event; true when it changed the key's
// state (a repeat changes none).
bool X11KeysEvent(unsigned keycode, bool pressed);
// The down state of every virtual-key code.
void X11KeysDown(bool numLock, uint8_t down[256]);
