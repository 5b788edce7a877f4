// What each key of a keyboard map means in virtual-key codes, decided from
// the map's key names and symbols alone (XKB names and keysyms, the same on
// X11 and Wayland): no display is needed, so the tables are tested as they are.
#pragma once
#include <cstdint>

// One keycode as the keyboard map describes it.
struct KeySlot {
    char name[5];    // XKB key name ("AC01", "TLDE"), empty when the code is unused
    uint32_t sym[2]; // keysyms of levels 1 and 2 in the active group
};

// What the key reads as.
struct KeyMeaning {
    uint8_t vk;       // with Num Lock on; 0 when the key has no code
    uint8_t vkNumOff; // keypad keys with Num Lock off (the navigation codes)
    uint8_t scan;     // PC set-1 scan code of the position, 0 when none
    uint8_t altGr;    // the key is AltGr: it also reads as the left Ctrl
};

// Assigns a meaning to every keycode, following what the layout's Windows
// counterpart gives the same keys: letters and digits by what they type,
// the other typing keys by position. layout is the XKB layout name of the
// active group ("de", "fr(azerty)"); unknown layouts use the US positions.
void KeyTableAssign(const char *layout, const KeySlot slots[256], KeyMeaning out[256]);
// The scan code of a virtual-key code on a US keyboard, 0 when none.
uint8_t KeyTableScan(uint32_t vk);
// The virtual-key code a keysym stands for when no keycode is known (US
// keyboard), 0 when none.
uint32_t KeyTableVkOfKeysym(uint32_t keysym);
// The first keysym that types vk when the keyboard map lacks it, 0 when none.
uint32_t KeyTableKeysymOfVk(uint32_t vk);
// The position a scan code names ("AE01"), nullptr when none; extended keys
// (the navigation block, right Ctrl and Alt) are looked up with extended set.
const char *KeyTableNameOfScan(uint8_t scan, bool extended);
