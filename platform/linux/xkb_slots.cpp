// Key slots from an xkbcommon keymap: key names, and the symbols of levels
// 1 and 2 in the active layout.
#include "xkb_slots.h"
#include <cstring>
#include <xkbcommon/xkbcommon.h>

namespace {

// A compiled map keeps each layout's description, not the name it was
// asked for; the key table knows layouts by name. Countries sharing a
// language come before the language itself.
const struct {
    const char *description;
    const char *code;
} kLayoutCodes[] = {
    {"German (Austria", "at"},     {"German (Switzerland", "ch"},
    {"German (Belgium", "be"},     {"German", "de"},
    {"French (Switzerland", "ch"}, {"French (Canada", "ca"},
    {"French (Belgium", "be"},     {"French", "fr"},
    {"English (UK)", "gb"},        {"English (US)", "us"},
};

} // namespace

const char *XkbLayoutCode(const char *description) {
    if (!description) return nullptr;
    for (const auto &l : kLayoutCodes)
        if (!strncmp(description, l.description, strlen(l.description))) return l.code;
    return nullptr;
}

bool XkbReadSlots(xkb_keymap *km, uint32_t layout, KeySlot slots[256], char name[64]) {
    memset(slots, 0, 256 * sizeof(KeySlot));
    name[0] = 0;
    if (!km) return false;
    if (layout >= xkb_keymap_num_layouts(km)) layout = 0;
    const char *description = xkb_keymap_layout_get_name(km, layout);
    const char *code = XkbLayoutCode(description);
    if (code || description) {
        strncpy(name, code ? code : description, 63);
        name[63] = 0;
    }
    xkb_keycode_t lo = xkb_keymap_min_keycode(km), hi = xkb_keymap_max_keycode(km);
    for (xkb_keycode_t kc = lo; kc <= hi && kc < 256; kc++) {
        const char *keyName = xkb_keymap_key_get_name(km, kc);
        if (!keyName) continue;
        strncpy(slots[kc].name, keyName, 4);
        slots[kc].name[4] = 0;
        xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(km, kc);
        if (!layouts) continue;
        xkb_layout_index_t g = layout < layouts ? layout : 0;
        for (xkb_level_index_t level = 0; level < 2; level++) {
            const xkb_keysym_t *syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(km, kc, g, level, &syms) > 0)
                slots[kc].sym[level] = syms[0];
        }
    }
    return true;
}
