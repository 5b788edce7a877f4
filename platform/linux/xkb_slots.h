// A keyboard map compiled by xkbcommon, as the key slots the key table
// reads: the same on X11 (libxkbcommon-x11 reads the server's map) and on
// Wayland (the compositor's keymap).
#pragma once
#include "keytable.h"
#include <cstdint>

struct xkb_keymap;

// Fills slots (indexed by keycode, 256 of them) from the map's layout
// (group) and the layout's short XKB name into name ("de"; the map's own
// description when no short name is known). False when km is null.
bool XkbReadSlots(xkb_keymap *km, uint32_t layout, KeySlot slots[256], char name[64]);
// The short XKB name of a layout from the description a compiled map keeps
// ("German" -> "de"); null when unknown.
const char *XkbLayoutCode(const char *description);
