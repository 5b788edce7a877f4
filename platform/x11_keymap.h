// The keyboard map as the X11 input services see it: which keycodes read
// as which virtual-key code, and which keycode plays one.
#pragma once
#include <X11/Xlib.h>
#include <cstdint>

// (Re)reads the keyboard map of the input connection.
void X11KeymapBuild(Display *dpy);
// Whether a key that reads as vk is down in an XQueryKeymap result.
bool X11KeymapDown(const char keymap[32], int vk);
// The keycode that plays vk (scan: the record's own scan code), 0 when none.
unsigned X11KeymapInjectCode(uint8_t vk, uint8_t scan);
