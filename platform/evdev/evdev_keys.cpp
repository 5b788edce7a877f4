// Kernel codes to virtual-key codes through the session's keyboard map.
#include "evdev_keys.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <linux/input.h>
#include <xkbcommon/xkbcommon.h>

namespace {

KeyMeaning g_mean[256];
bool g_haveMap = false;

// The buttons as the recorder names them: left, right, middle, and the two
// side buttons (back and forward on most mice).
uint8_t ButtonVk(uint16_t code) {
    switch (code) {
    case BTN_LEFT: return 1;
    case BTN_RIGHT: return 2;
    case BTN_MIDDLE: return 4;
    case BTN_SIDE:
    case BTN_BACK: return 5;
    case BTN_EXTRA:
    case BTN_FORWARD: return 6;
    default: return 0;
    }
}

// What a down key reads as, by the rule of the X11 services.
int MeaningVks(const KeyMeaning &m, bool numLock, uint8_t vks[4]) {
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

void EnsureMap() {
    if (!g_haveMap) EvdevKeysFromNames(nullptr, nullptr);
}

} // namespace

void EvdevKeysSetMeanings(const KeyMeaning mean[256]) {
    std::memcpy(g_mean, mean, sizeof g_mean);
    g_haveMap = true;
}

// A compiled map keeps only its groups' descriptions ("German (no dead
// keys)"); the XKB rules' list of layouts and variants gives the names
// back ("de(nodeadkeys)").
void EvdevKeysLayoutOf(xkb_keymap *km, uint32_t group, char *out, int size) {
    out[0] = 0;
    const char *desc =
        group < xkb_keymap_num_layouts(km) ? xkb_keymap_layout_get_name(km, group) : nullptr;
    if (!desc || !*desc) return;
    const char *root = std::getenv("XKB_CONFIG_ROOT");
    std::string path =
        std::string(root && *root ? root : "/usr/share/X11/xkb") + "/rules/evdev.lst";
    FILE *f = std::fopen(path.c_str(), "r");
    if (!f) return;
    char line[512], section[32] = "";
    while (std::fgets(line, sizeof line, f)) {
        line[std::strcspn(line, "\r\n")] = 0;
        if (line[0] == '!') {
            std::snprintf(section, sizeof section, "%.31s", line + 2);
            continue;
        }
        char name[64] = "";
        int used = 0;
        if (std::sscanf(line, " %63s %n", name, &used) != 1) continue;
        const char *text = line + used;
        if (!std::strcmp(section, "layout") && !std::strcmp(text, desc)) {
            std::snprintf(out, size_t(size), "%s", name);
            break;
        }
        // "  azerty          fr: French (AZERTY)"
        const char *colon = std::strstr(text, ": ");
        if (!std::strcmp(section, "variant") && colon && !std::strcmp(colon + 2, desc)) {
            std::snprintf(out, size_t(size), "%.*s(%s)", int(colon - text), text, name);
            break;
        }
    }
    std::fclose(f);
}

void EvdevKeysFromXkb(xkb_keymap *km, uint32_t group, const char *layout) {
    static KeySlot slots[256];
    std::memset(slots, 0, sizeof slots);
    xkb_keycode_t lo = xkb_keymap_min_keycode(km), hi = xkb_keymap_max_keycode(km);
    for (xkb_keycode_t kc = lo; kc <= hi && kc < 256; kc++) {
        const char *name = xkb_keymap_key_get_name(km, kc);
        if (!name) continue;
        std::snprintf(slots[kc].name, sizeof slots[kc].name, "%s", name);
        uint32_t groups = xkb_keymap_num_layouts_for_key(km, kc);
        if (!groups) continue;
        uint32_t g = group < groups ? group : 0;
        for (uint32_t level = 0; level < 2; level++) {
            const xkb_keysym_t *syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(km, kc, g, level, &syms) > 0)
                slots[kc].sym[level] = syms[0];
        }
    }
    char name[64];
    if (!layout) {
        EvdevKeysLayoutOf(km, group, name, sizeof name);
        layout = name;
    }
    static KeyMeaning mean[256];
    KeyTableAssign(layout, slots, mean);
    EvdevKeysSetMeanings(mean);
}

bool EvdevKeysFromNames(const char *layout, const char *variant) {
    xkb_context *ctx = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!ctx) return false;
    xkb_rule_names names = {};
    names.layout = layout;
    names.variant = variant;
    xkb_keymap *km = xkb_keymap_new_from_names(ctx, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (km) {
        EvdevKeysFromXkb(km, 0, nullptr);
        xkb_keymap_unref(km);
    }
    xkb_context_unref(ctx);
    return km != nullptr;
}

int EvdevCodeVks(uint16_t code, bool numLock, uint8_t vks[4]) {
    if (uint8_t b = ButtonVk(code)) {
        vks[0] = b;
        return 1;
    }
    if (code > 255 - 8) return 0;
    EnsureMap();
    return MeaningVks(g_mean[code + 8], numLock, vks);
}

uint32_t EvdevVkScan(uint32_t vk) {
    EnsureMap();
    // The map's key that reads as vk, the first of a kind (the keyboard's
    // own before an internal code); else a US keyboard's.
    for (int kc = 8; kc < 256 && vk < 256; kc++)
        if (g_mean[kc].vk == vk && g_mean[kc].scan) return g_mean[kc].scan;
    return KeyTableScan(vk);
}
