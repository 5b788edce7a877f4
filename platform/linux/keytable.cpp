// Virtual-key codes for the keys of an X keyboard map, by key name and
// symbol. Scan codes are the set-1 codes a PC keyboard sends, so files
// recorded here play on the other desktop and back.
#include "keytable.h"
#include <X11/keysym.h>
#include <cstring>

namespace {

struct KeyDef {
    uint8_t vk;
    uint8_t scan;     // PC keyboard set-1 code, as files carry it
    uint32_t syms[3]; // the first one is what playback types
};

// Between virtual-key codes and the keys of a PC keyboard. Scan codes are
// the set-1 codes a PC keyboard sends, so files recorded here play on the
// other desktop and back. Punctuation keys list their unshifted symbol only:
// on other layouts the shifted one sits on a different key.
const KeyDef kKeys[] = {
    {0x08, 0x0E, {XK_BackSpace}},
    {0x09, 0x0F, {XK_Tab, XK_ISO_Left_Tab}},
    {0x0C, 0x4C, {XK_Clear}}, // keypad 5 without Num Lock reads as keypad 5 only
    {0x0D, 0x1C, {XK_Return, XK_KP_Enter}},
    {0x10, 0x2A, {XK_Shift_L, XK_Shift_R}},
    {0x11, 0x1D, {XK_Control_L, XK_Control_R}},
    {0x12, 0x38, {XK_Alt_L, XK_Alt_R, XK_ISO_Level3_Shift}},
    {0x13, 0x45, {XK_Pause, XK_Break}},
    {0x14, 0x3A, {XK_Caps_Lock}},
    {0x1B, 0x01, {XK_Escape}},
    {0x20, 0x39, {XK_space}},
    {0x21, 0x49, {XK_Prior}},
    {0x22, 0x51, {XK_Next}},
    {0x23, 0x4F, {XK_End}},
    {0x24, 0x47, {XK_Home}},
    {0x25, 0x4B, {XK_Left}},
    {0x26, 0x48, {XK_Up}},
    {0x27, 0x4D, {XK_Right}},
    {0x28, 0x50, {XK_Down}},
    {0x29, 0x00, {XK_Select}},
    {0x2B, 0x00, {XK_Execute}},
    {0x2C, 0x54, {XK_Print, XK_Sys_Req}},
    {0x2D, 0x52, {XK_Insert}},
    {0x2E, 0x53, {XK_Delete}},
    {0x2F, 0x63, {XK_Help}},
    {0x30, 0x0B, {XK_0}},
    {0x31, 0x02, {XK_1}},
    {0x32, 0x03, {XK_2}},
    {0x33, 0x04, {XK_3}},
    {0x34, 0x05, {XK_4}},
    {0x35, 0x06, {XK_5}},
    {0x36, 0x07, {XK_6}},
    {0x37, 0x08, {XK_7}},
    {0x38, 0x09, {XK_8}},
    {0x39, 0x0A, {XK_9}},
    {0x41, 0x1E, {XK_a}},
    {0x42, 0x30, {XK_b}},
    {0x43, 0x2E, {XK_c}},
    {0x44, 0x20, {XK_d}},
    {0x45, 0x12, {XK_e}},
    {0x46, 0x21, {XK_f}},
    {0x47, 0x22, {XK_g}},
    {0x48, 0x23, {XK_h}},
    {0x49, 0x17, {XK_i}},
    {0x4A, 0x24, {XK_j}},
    {0x4B, 0x25, {XK_k}},
    {0x4C, 0x26, {XK_l}},
    {0x4D, 0x32, {XK_m}},
    {0x4E, 0x31, {XK_n}},
    {0x4F, 0x18, {XK_o}},
    {0x50, 0x19, {XK_p}},
    {0x51, 0x10, {XK_q}},
    {0x52, 0x13, {XK_r}},
    {0x53, 0x1F, {XK_s}},
    {0x54, 0x14, {XK_t}},
    {0x55, 0x16, {XK_u}},
    {0x56, 0x2F, {XK_v}},
    {0x57, 0x11, {XK_w}},
    {0x58, 0x2D, {XK_x}},
    {0x59, 0x15, {XK_y}},
    {0x5A, 0x2C, {XK_z}},
    {0x5B, 0x5B, {XK_Super_L}},
    {0x5C, 0x5C, {XK_Super_R}},
    {0x5D, 0x5D, {XK_Menu}},
    {0x60, 0x52, {XK_KP_0, XK_KP_Insert}},
    {0x61, 0x4F, {XK_KP_1, XK_KP_End}},
    {0x62, 0x50, {XK_KP_2, XK_KP_Down}},
    {0x63, 0x51, {XK_KP_3, XK_KP_Next}},
    {0x64, 0x4B, {XK_KP_4, XK_KP_Left}},
    {0x65, 0x4C, {XK_KP_5, XK_KP_Begin}},
    {0x66, 0x4D, {XK_KP_6, XK_KP_Right}},
    {0x67, 0x47, {XK_KP_7, XK_KP_Home}},
    {0x68, 0x48, {XK_KP_8, XK_KP_Up}},
    {0x69, 0x49, {XK_KP_9, XK_KP_Prior}},
    {0x6A, 0x37, {XK_KP_Multiply}},
    {0x6B, 0x4E, {XK_KP_Add}},
    {0x6C, 0x00, {XK_KP_Separator}},
    {0x6D, 0x4A, {XK_KP_Subtract}},
    {0x6E, 0x53, {XK_KP_Decimal, XK_KP_Delete}},
    {0x6F, 0x35, {XK_KP_Divide}},
    {0x70, 0x3B, {XK_F1}},
    {0x71, 0x3C, {XK_F2}},
    {0x72, 0x3D, {XK_F3}},
    {0x73, 0x3E, {XK_F4}},
    {0x74, 0x3F, {XK_F5}},
    {0x75, 0x40, {XK_F6}},
    {0x76, 0x41, {XK_F7}},
    {0x77, 0x42, {XK_F8}},
    {0x78, 0x43, {XK_F9}},
    {0x79, 0x44, {XK_F10}},
    {0x7A, 0x57, {XK_F11}},
    {0x7B, 0x58, {XK_F12}},
    {0x7C, 0x64, {XK_F13}},
    {0x7D, 0x65, {XK_F14}},
    {0x7E, 0x66, {XK_F15}},
    {0x7F, 0x67, {XK_F16}},
    {0x80, 0x68, {XK_F17}},
    {0x81, 0x69, {XK_F18}},
    {0x82, 0x6A, {XK_F19}},
    {0x83, 0x6B, {XK_F20}},
    {0x84, 0x6C, {XK_F21}},
    {0x85, 0x6D, {XK_F22}},
    {0x86, 0x6E, {XK_F23}},
    {0x87, 0x76, {XK_F24}},
    {0x90, 0x45, {XK_Num_Lock}},
    {0x91, 0x46, {XK_Scroll_Lock}},
    {0xA0, 0x2A, {XK_Shift_L}},
    {0xA1, 0x36, {XK_Shift_R}},
    {0xA2, 0x1D, {XK_Control_L}},
    {0xA3, 0x1D, {XK_Control_R}},
    {0xA4, 0x38, {XK_Alt_L}},
    {0xA5, 0x38, {XK_Alt_R, XK_ISO_Level3_Shift}},
    {0xAD, 0x00, {0x1008FF12}}, // mute
    {0xAE, 0x00, {0x1008FF11}}, // volume down
    {0xAF, 0x00, {0x1008FF13}}, // volume up
    {0xB0, 0x00, {0x1008FF17}}, // next track
    {0xB1, 0x00, {0x1008FF16}}, // previous track
    {0xB2, 0x00, {0x1008FF15}}, // stop
    {0xB3, 0x00, {0x1008FF14}}, // play / pause
    {0xBA, 0x27, {XK_semicolon}},
    {0xBB, 0x0D, {XK_equal}},
    {0xBC, 0x33, {XK_comma}},
    {0xBD, 0x0C, {XK_minus}},
    {0xBE, 0x34, {XK_period}},
    {0xBF, 0x35, {XK_slash}},
    {0xC0, 0x29, {XK_grave}},
    {0xDB, 0x1A, {XK_bracketleft}},
    {0xDC, 0x2B, {XK_backslash}},
    {0xDD, 0x1B, {XK_bracketright}},
    {0xDE, 0x28, {XK_apostrophe}},
    {0xE2, 0x56, {XK_less}},
};

struct Position {
    char name[5];
    uint8_t scan;
    uint8_t extended;
    uint8_t vk;       // the US layout's code for the key
    uint8_t vkNumOff; // keypad keys only
};

// The keys of a PC keyboard by XKB name. Names that evdev keycodes use for
// the same position (AC12 for the key left of Return) are aliases that the
// keyboard map resolves before we see them.
const Position kPositions[] = {
    {"ESC", 0x01, 0, 0x1B, 0},    {"AE01", 0x02, 0, '1', 0},     {"AE02", 0x03, 0, '2', 0},
    {"AE03", 0x04, 0, '3', 0},    {"AE04", 0x05, 0, '4', 0},     {"AE05", 0x06, 0, '5', 0},
    {"AE06", 0x07, 0, '6', 0},    {"AE07", 0x08, 0, '7', 0},     {"AE08", 0x09, 0, '8', 0},
    {"AE09", 0x0A, 0, '9', 0},    {"AE10", 0x0B, 0, '0', 0},     {"AE11", 0x0C, 0, 0xBD, 0},
    {"AE12", 0x0D, 0, 0xBB, 0},   {"BKSP", 0x0E, 0, 0x08, 0},    {"TAB", 0x0F, 0, 0x09, 0},
    {"AD01", 0x10, 0, 'Q', 0},    {"AD02", 0x11, 0, 'W', 0},     {"AD03", 0x12, 0, 'E', 0},
    {"AD04", 0x13, 0, 'R', 0},    {"AD05", 0x14, 0, 'T', 0},     {"AD06", 0x15, 0, 'Y', 0},
    {"AD07", 0x16, 0, 'U', 0},    {"AD08", 0x17, 0, 'I', 0},     {"AD09", 0x18, 0, 'O', 0},
    {"AD10", 0x19, 0, 'P', 0},    {"AD11", 0x1A, 0, 0xDB, 0},    {"AD12", 0x1B, 0, 0xDD, 0},
    {"RTRN", 0x1C, 0, 0x0D, 0},   {"LCTL", 0x1D, 0, 0xA2, 0},    {"AC01", 0x1E, 0, 'A', 0},
    {"AC02", 0x1F, 0, 'S', 0},    {"AC03", 0x20, 0, 'D', 0},     {"AC04", 0x21, 0, 'F', 0},
    {"AC05", 0x22, 0, 'G', 0},    {"AC06", 0x23, 0, 'H', 0},     {"AC07", 0x24, 0, 'J', 0},
    {"AC08", 0x25, 0, 'K', 0},    {"AC09", 0x26, 0, 'L', 0},     {"AC10", 0x27, 0, 0xBA, 0},
    {"AC11", 0x28, 0, 0xDE, 0},   {"TLDE", 0x29, 0, 0xC0, 0},    {"LFSH", 0x2A, 0, 0xA0, 0},
    {"BKSL", 0x2B, 0, 0xDC, 0},   {"AB01", 0x2C, 0, 'Z', 0},     {"AB02", 0x2D, 0, 'X', 0},
    {"AB03", 0x2E, 0, 'C', 0},    {"AB04", 0x2F, 0, 'V', 0},     {"AB05", 0x30, 0, 'B', 0},
    {"AB06", 0x31, 0, 'N', 0},    {"AB07", 0x32, 0, 'M', 0},     {"AB08", 0x33, 0, 0xBC, 0},
    {"AB09", 0x34, 0, 0xBE, 0},   {"AB10", 0x35, 0, 0xBF, 0},    {"RTSH", 0x36, 0, 0xA1, 0},
    {"KPMU", 0x37, 0, 0x6A, 0},   {"LALT", 0x38, 0, 0xA4, 0},    {"SPCE", 0x39, 0, 0x20, 0},
    {"CAPS", 0x3A, 0, 0x14, 0},   {"FK01", 0x3B, 0, 0x70, 0},    {"FK02", 0x3C, 0, 0x71, 0},
    {"FK03", 0x3D, 0, 0x72, 0},   {"FK04", 0x3E, 0, 0x73, 0},    {"FK05", 0x3F, 0, 0x74, 0},
    {"FK06", 0x40, 0, 0x75, 0},   {"FK07", 0x41, 0, 0x76, 0},    {"FK08", 0x42, 0, 0x77, 0},
    {"FK09", 0x43, 0, 0x78, 0},   {"FK10", 0x44, 0, 0x79, 0},    {"NMLK", 0x45, 0, 0x90, 0},
    {"SCLK", 0x46, 0, 0x91, 0},   {"KP7", 0x47, 0, 0x67, 0x24},  {"KP8", 0x48, 0, 0x68, 0x26},
    {"KP9", 0x49, 0, 0x69, 0x21}, {"KPSU", 0x4A, 0, 0x6D, 0},    {"KP4", 0x4B, 0, 0x64, 0x25},
    {"KP5", 0x4C, 0, 0x65, 0x0C}, {"KP6", 0x4D, 0, 0x66, 0x27},  {"KPAD", 0x4E, 0, 0x6B, 0},
    {"KP1", 0x4F, 0, 0x61, 0x23}, {"KP2", 0x50, 0, 0x62, 0x28},  {"KP3", 0x51, 0, 0x63, 0x22},
    {"KP0", 0x52, 0, 0x60, 0x2D}, {"KPDL", 0x53, 0, 0x6E, 0x2E}, {"LSGT", 0x56, 0, 0xE2, 0},
    {"FK11", 0x57, 0, 0x7A, 0},   {"FK12", 0x58, 0, 0x7B, 0},    {"FK13", 0x64, 0, 0x7C, 0},
    {"FK14", 0x65, 0, 0x7D, 0},   {"FK15", 0x66, 0, 0x7E, 0},    {"FK16", 0x67, 0, 0x7F, 0},
    {"FK17", 0x68, 0, 0x80, 0},   {"FK18", 0x69, 0, 0x81, 0},    {"FK19", 0x6A, 0, 0x82, 0},
    {"FK20", 0x6B, 0, 0x83, 0},   {"FK21", 0x6C, 0, 0x84, 0},    {"FK22", 0x6D, 0, 0x85, 0},
    {"FK23", 0x6E, 0, 0x86, 0},   {"FK24", 0x76, 0, 0x87, 0},    {"KPEN", 0x1C, 1, 0x0D, 0},
    {"RCTL", 0x1D, 1, 0xA3, 0},   {"KPDV", 0x35, 1, 0x6F, 0},    {"PRSC", 0x37, 1, 0x2C, 0},
    {"RALT", 0x38, 1, 0xA5, 0},   {"PAUS", 0x45, 1, 0x13, 0},    {"HOME", 0x47, 1, 0x24, 0},
    {"UP", 0x48, 1, 0x26, 0},     {"PGUP", 0x49, 1, 0x21, 0},    {"LEFT", 0x4B, 1, 0x25, 0},
    {"RGHT", 0x4D, 1, 0x27, 0},   {"END", 0x4F, 1, 0x23, 0},     {"DOWN", 0x50, 1, 0x28, 0},
    {"PGDN", 0x51, 1, 0x22, 0},   {"INS", 0x52, 1, 0x2D, 0},     {"DELE", 0x53, 1, 0x2E, 0},
    {"LWIN", 0x5B, 1, 0x5B, 0},   {"RWIN", 0x5C, 1, 0x5C, 0},    {"COMP", 0x5D, 1, 0x5D, 0},
};

struct LayoutKey {
    char name[5];
    uint8_t vk;
};

// The typing keys whose code differs from the US layout's, as the
// layouts of the same name assign them on the other desktop.
const LayoutKey kGerman[] = {
    {"TLDE", 0xDC}, {"AE11", 0xDB}, {"AE12", 0xDD}, {"AD11", 0xBA}, {"AD12", 0xBB},
    {"AC10", 0xC0}, {"AC11", 0xDE}, {"BKSL", 0xBF}, {"AB10", 0xBD}, {"", 0},
};
const LayoutKey kFrench[] = {
    {"TLDE", 0xDE}, {"AE11", 0xDB}, {"AD11", 0xDD}, {"AD12", 0xBA}, {"AC11", 0xC0}, {"BKSL", 0xDC},
    {"AB07", 0xBC}, {"AB08", 0xBE}, {"AB09", 0xBF}, {"AB10", 0xDF}, {"", 0},
};
const LayoutKey kBritish[] = {
    {"TLDE", 0xDF}, {"AC11", 0xC0}, {"BKSL", 0xDE}, {"LSGT", 0xDC}, {"", 0},
};

const struct {
    const char *layout;
    const LayoutKey *keys;
} kLayouts[] = {{"de", kGerman}, {"at", kGerman}, {"fr", kFrench}, {"gb", kBritish}};

const Position *PositionNamed(const char *name) {
    for (const Position &p : kPositions)
        if (!strncmp(p.name, name, 4)) return &p;
    return nullptr;
}

const LayoutKey *LayoutKeys(const char *layout) {
    if (!layout) return nullptr;
    size_t n = strcspn(layout, "(,:+ ");
    for (const auto &l : kLayouts)
        if (strlen(l.layout) == n && !strncmp(l.layout, layout, n)) return l.keys;
    return nullptr;
}

uint8_t LayoutVk(const LayoutKey *keys, const char *name) {
    for (; keys && keys->name[0]; keys++)
        if (!strncmp(keys->name, name, 4)) return keys->vk;
    return 0;
}

const KeyDef *DefOfKeysym(uint32_t sym) {
    if (!sym) return nullptr;
    for (const KeyDef &k : kKeys)
        for (uint32_t s : k.syms)
            if (s && s == sym) return &k;
    return nullptr;
}

// Keys that do not type (modifiers, function and navigation keys, media
// keys) mean what their symbol says wherever the map puts them. Dead keys
// type, so they go by position.
bool IsControlKeysym(uint32_t sym) {
    return (sym >= 0xFF00 && sym <= 0xFFFF) || (sym >= 0xFE01 && sym <= 0xFE0F) ||
           (sym & 0xFFFF0000u) == 0x10080000u;
}

// A modifier key reads as its own side's code; the shared code (VK_SHIFT)
// follows from it.
uint8_t SidedModifier(uint32_t sym) {
    switch (sym) {
    case XK_Shift_L: return 0xA0;
    case XK_Shift_R: return 0xA1;
    case XK_Control_L: return 0xA2;
    case XK_Control_R: return 0xA3;
    case XK_Alt_L:
    case XK_Meta_L: return 0xA4;
    case XK_Alt_R:
    case XK_Meta_R:
    case XK_ISO_Level3_Shift: return 0xA5;
    default: return 0;
    }
}

uint8_t LetterOrDigit(uint32_t sym) {
    if (sym >= 'a' && sym <= 'z') return uint8_t(sym - 'a' + 'A');
    if (sym >= 'A' && sym <= 'Z') return uint8_t(sym);
    if (sym >= '0' && sym <= '9') return uint8_t(sym);
    return 0;
}

} // namespace

void KeyTableAssign(const char *layout, const KeySlot slots[256], KeyMeaning out[256]) {
    memset(out, 0, 256 * sizeof(KeyMeaning));
    const LayoutKey *keys = LayoutKeys(layout);
    bool taken[256] = {};
    const Position *pos[256] = {};
    // Letters and digits first: they claim their code by what they type,
    // so the positions decided afterwards never take it twice.
    for (int kc = 8; kc < 256; kc++) {
        const KeySlot &s = slots[kc];
        if (!s.name[0]) continue;
        pos[kc] = PositionNamed(s.name);
        if (pos[kc]) out[kc].scan = pos[kc]->scan;
        if (pos[kc] && pos[kc]->vkNumOff) {
            out[kc].vk = pos[kc]->vk;
            out[kc].vkNumOff = pos[kc]->vkNumOff;
            continue;
        }
        const KeyDef *d = DefOfKeysym(s.sym[0]);
        uint8_t sided = SidedModifier(s.sym[0]);
        if (IsControlKeysym(s.sym[0]) && (sided || d)) {
            out[kc].vk = out[kc].vkNumOff = sided ? sided : d->vk;
            out[kc].altGr = s.sym[0] == XK_ISO_Level3_Shift;
            continue;
        }
        // Digits sit on level 2 of some layouts (French).
        uint8_t vk = LetterOrDigit(s.sym[0]);
        if (!vk && pos[kc] && pos[kc]->name[0] == 'A' && pos[kc]->name[1] == 'E')
            vk = LetterOrDigit(s.sym[1]);
        if (vk >= '0' && vk <= '9' && !(pos[kc] && pos[kc]->name[1] == 'E')) vk = 0;
        if (vk && !taken[vk]) {
            out[kc].vk = out[kc].vkNumOff = vk;
            taken[vk] = true;
        }
    }
    // Then the other typing keys: by the layout's own table; for a layout
    // the table does not know, by what the key types on a US keyboard;
    // else by the US code of the position; else the first OEM code left.
    static const uint8_t kOem[] = {0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xC0, 0xDB,
                                   0xDC, 0xDD, 0xDE, 0xDF, 0xE2, 0xE1, 0xE3, 0xE4};
    for (int round = 0; round < 4; round++)
        for (int kc = 8; kc < 256; kc++) {
            const KeySlot &s = slots[kc];
            if (!s.name[0] || out[kc].vk || IsControlKeysym(s.sym[0])) continue;
            uint8_t vk = 0;
            const KeyDef *d = DefOfKeysym(s.sym[0]);
            if (round == 0 && pos[kc]) vk = LayoutVk(keys, pos[kc]->name);
            if (round == 1 && d && !keys) vk = d->vk;
            if (round == 2 && pos[kc]) vk = pos[kc]->vk;
            for (int i = 0; round == 3 && pos[kc] && !vk && i < int(sizeof kOem); i++)
                if (!taken[kOem[i]]) vk = kOem[i];
            if (vk && !taken[vk]) {
                out[kc].vk = out[kc].vkNumOff = vk;
                taken[vk] = true;
            }
        }
}

uint8_t KeyTableScan(uint32_t vk) {
    for (const KeyDef &k : kKeys)
        if (k.vk == vk) return k.scan;
    return 0;
}

uint32_t KeyTableVkOfKeysym(uint32_t keysym) {
    // Letters arrive as either case depending on Shift and Caps Lock.
    if (keysym >= XK_A && keysym <= XK_Z) return keysym;
    if (keysym >= XK_a && keysym <= XK_z) return keysym - XK_a + 'A';
    const KeyDef *d = DefOfKeysym(keysym);
    return d ? d->vk : 0;
}

uint32_t KeyTableKeysymOfVk(uint32_t vk) {
    for (const KeyDef &k : kKeys)
        if (k.vk == vk) return uint32_t(k.syms[0]);
    return 0;
}

const char *KeyTableNameOfScan(uint8_t scan, bool extended) {
    if (!scan) return nullptr;
    for (const Position &p : kPositions)
        if (p.scan == scan && (p.extended != 0) == extended) return p.name;
    return nullptr;
}
