// One keymap logic for both Linux backends: which XKB keycodes read as which
// virtual-key codes, and which keycode plays a recorded key, by one rule on
// X11 and Wayland (letters and digits by what they type, the other keys by
// position, AltGr as the level-3 key). The backends hand in the keyboard map
// as key slots (read by xkbcommon) and play keycodes their own way.
#pragma once
#include "keytable.h"
#include <cstdint>

// Takes a new map: slots indexed by XKB keycode (evdev code + 8), layout
// the XKB layout name of the active group ("de", "fr(azerty)").
void KeymapAssign(const char *layout, const KeySlot slots[256]);
// A keycode bound to sym for playback (a key the map lacked) reads as the
// key sym stands for.
void KeymapAddBound(uint8_t keycode, uint32_t sym);
// The virtual-key codes a down key reads as (its own, the shared modifier
// code, the left Ctrl that AltGr holds); returns how many.
int KeymapVks(unsigned keycode, bool numLock, uint8_t vks[4]);
// The scan code of the key that reads as vk, 0 when none.
uint32_t KeymapScan(uint32_t vk);
// The code of a key event's keycode (the keysym when the map lacks it).
uint32_t KeymapVkOfKeycode(unsigned keycode, unsigned long keysym);
// The XKB name of a keycode ("AC01"), empty when unused.
const char *KeymapKeyName(unsigned keycode);

// How a backend plays: press or release one keycode; bind gives a keycode
// to a key the map lacks (0 when it cannot; null when the backend never
// can), after which it calls KeymapAssign/KeymapAddBound itself.
struct KeymapSink {
    void (*press)(uint8_t keycode, bool up);
    uint8_t (*bind)(uint32_t vk, uint32_t sym);
};
// Plays a key of a recording (scan: the record's own scan code).
void KeymapPlay(const KeymapSink &sink, uint8_t vk, uint8_t scan, bool up);
// Plays Ctrl and Alt presses held back to see whether AltGr follows.
void KeymapFlush(const KeymapSink &sink);
// Drops what the playback held back or swallowed: the keys it stands for
// were never pressed, so they are not let go either.
void KeymapForget();
