// Kernel key and button codes as the virtual-key codes and scan codes that
// recordings store. Keys follow the session's keyboard map by the rule the
// X11 services use (the key table), so a recording made here types the same
// characters on X11 and on the other desktop. An XKB keycode is the kernel
// code plus 8.
#pragma once
#include "../x11/x11_keytable.h"
#include <cstdint>

struct xkb_keymap;

// The meaning of each XKB keycode in the session's map.
void EvdevKeysSetMeanings(const KeyMeaning mean[256]);
// Reads the meanings from a compiled map's group (layout: its XKB name,
// "de"; null: taken from the map where it can be).
void EvdevKeysFromXkb(xkb_keymap *km, uint32_t group, const char *layout);
// Compiles the map of the given names (null: the XKB_DEFAULT_* variables,
// else "us") and reads it; false when it does not compile.
bool EvdevKeysFromNames(const char *layout, const char *variant);
// The codes a down key or button reads as; returns how many.
int EvdevCodeVks(uint16_t code, bool numLock, uint8_t vks[4]);
// The scan code stored for vk: its key's position in the map.
uint32_t EvdevVkScan(uint32_t vk);
// The XKB layout name a map's symbols were compiled from ("de"), or "".
void EvdevKeysLayoutOf(xkb_keymap *km, uint32_t group, char *out, int size);
