// The keyboard map as both Linux backends read and play it: the meaning of
// every keycode, the keycode that plays each virtual-key code, and AltGr.
#include "keymap.h"
#include <cstring>

namespace {

KeyMeaning g_mean[256];  // per keycode
char g_names[256][5];    // XKB key names per keycode
uint8_t g_codeOf[256];   // the keycode that plays each virtual-key code
uint8_t g_altGrCode = 0; // the key that selects level 3, 0 when none

bool IsPhysical(int kc) {
    return g_mean[kc].scan != 0;
}

// AltGr holds Ctrl while the recording names it (as the other desktop
// reports it); a layout with a level-3 key plays it as that key, since a
// client reads Ctrl + Alt as a shortcut, not as the third level.
constexpr int kMaxHeld = 8;
uint8_t g_heldBack[kMaxHeld]; // Ctrl and Alt presses not yet played
int g_heldBackCount = 0;
uint8_t g_swallowed[256]; // presses that became AltGr: their release is dropped

uint8_t CodeFor(const KeymapSink &sink, uint8_t vk, uint8_t scan) {
    if (g_codeOf[vk]) return g_codeOf[vk];
    // A code the map does not know: the key at the record's own position,
    // when that key means something here (a position whose key types a
    // media symbol is no F13).
    for (int ext = 0; ext < 2 && scan; ext++) {
        const char *name = KeyTableNameOfScan(scan, ext != 0);
        for (int kc = 8; name && kc < 256; kc++)
            if (g_mean[kc].vk && !strncmp(g_names[kc], name, 4)) return uint8_t(kc);
    }
    return sink.bind ? sink.bind(vk, KeyTableKeysymOfVk(vk)) : 0;
}

void PlayHeldBack(const KeymapSink &sink) {
    for (int i = 0; i < g_heldBackCount; i++) {
        uint8_t code = CodeFor(sink, g_heldBack[i], 0);
        if (code) sink.press(code, false);
    }
    g_heldBackCount = 0;
}

bool IsCtrl(uint8_t vk) {
    return vk == 0x11 || vk == 0xA2;
}

} // namespace

void KeymapAssign(const char *layout, const KeySlot slots[256]) {
    KeyTableAssign(layout, slots, g_mean);
    for (int kc = 0; kc < 256; kc++)
        memcpy(g_names[kc], slots[kc].name, sizeof g_names[kc]);
    memset(g_codeOf, 0, sizeof g_codeOf);
    g_altGrCode = 0;
    // Playback prefers a key of the keyboard itself to a code the map only
    // uses internally (the evdev level-3 code 92), and the first of equals.
    // A keypad key plays its Num Lock off code only where no key of its
    // own has it (Home is the Home key).
    for (int pass = 0; pass < 4; pass++)
        for (int kc = 8; kc < 256; kc++) {
            if (IsPhysical(kc) != (pass % 2 == 0)) continue;
            uint8_t vk = pass < 2 ? g_mean[kc].vk : g_mean[kc].vkNumOff;
            if (vk && !g_codeOf[vk]) g_codeOf[vk] = uint8_t(kc);
        }
    if (g_codeOf[0xA5] && g_mean[g_codeOf[0xA5]].altGr) g_altGrCode = g_codeOf[0xA5];
    // The shared modifier codes play as the left-hand keys.
    const uint8_t shared[3][2] = {{0x10, 0xA0}, {0x11, 0xA2}, {0x12, 0xA4}};
    for (const auto &s : shared)
        if (!g_codeOf[s[0]]) g_codeOf[s[0]] = g_codeOf[s[1]];
}

void KeymapAddBound(uint8_t keycode, uint32_t sym) {
    uint32_t vk = KeyTableVkOfKeysym(sym);
    if (vk && vk < 256 && !g_mean[keycode].vk) {
        g_mean[keycode].vk = g_mean[keycode].vkNumOff = uint8_t(vk);
        if (!g_codeOf[vk]) g_codeOf[vk] = keycode;
    }
}

int KeymapVks(unsigned keycode, bool numLock, uint8_t vks[4]) {
    if (keycode > 255) return 0;
    const KeyMeaning &m = g_mean[keycode];
    uint8_t vk = numLock ? m.vk : m.vkNumOff;
    if (!vk) return 0;
    int n = 0;
    vks[n++] = vk;
    if (vk == 0xA0 || vk == 0xA1) vks[n++] = 0x10;
    if (vk == 0xA2 || vk == 0xA3) vks[n++] = 0x11;
    if (vk == 0xA4 || vk == 0xA5) vks[n++] = 0x12;
    if (m.altGr) {
        vks[n++] = 0xA2;
        vks[n++] = 0x11;
    }
    return n;
}

uint32_t KeymapScan(uint32_t vk) {
    if (vk < 256 && g_codeOf[vk] && g_mean[g_codeOf[vk]].scan) return g_mean[g_codeOf[vk]].scan;
    return KeyTableScan(vk);
}

uint32_t KeymapVkOfKeycode(unsigned keycode, unsigned long keysym) {
    uint8_t vks[4];
    if (KeymapVks(keycode, true, vks)) return vks[0];
    return KeyTableVkOfKeysym(uint32_t(keysym));
}

const char *KeymapKeyName(unsigned keycode) {
    return keycode < 256 ? g_names[keycode] : "";
}

void KeymapPlay(const KeymapSink &sink, uint8_t vk, uint8_t scan, bool up) {
    if (up && g_swallowed[vk]) {
        g_swallowed[vk] = 0;
        return;
    }
    if (g_altGrCode && !up) {
        bool ctrlHeld = false;
        for (int i = 0; i < g_heldBackCount; i++)
            ctrlHeld |= IsCtrl(g_heldBack[i]);
        if ((IsCtrl(vk) || (vk == 0x12 && ctrlHeld)) && g_heldBackCount < kMaxHeld) {
            g_heldBack[g_heldBackCount++] = vk;
            return;
        }
        if (vk == 0xA5 && ctrlHeld) {
            for (int i = 0; i < g_heldBackCount; i++)
                g_swallowed[g_heldBack[i]] = 1;
            g_heldBackCount = 0;
            sink.press(g_altGrCode, false);
            return;
        }
    }
    KeymapFlush(sink);
    uint8_t code = CodeFor(sink, vk, scan);
    if (code) sink.press(code, up);
}

void KeymapFlush(const KeymapSink &sink) {
    if (g_heldBackCount) PlayHeldBack(sink);
}

void KeymapForget() {
    g_heldBackCount = 0;
    memset(g_swallowed, 0, sizeof g_swallowed);
}
