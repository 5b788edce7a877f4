// Kernel key and button codes as the virtual-key codes recordings store.
// Keys go through the one keymap logic of both Linux backends on the
// session's map (an XKB keycode is the kernel code plus 8), so a recording
// made from the devices types the same characters on X11 and on the other
// desktop.
#pragma once
#include <cstdint>

// The codes a down key or button reads as; returns how many.
int EvdevCodeVks(uint16_t code, bool numLock, uint8_t vks[4]);
