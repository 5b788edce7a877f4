// Between virtual-key codes and the keycodes of the X keyboard map.
#include "x11_keymap.h"
#include "input.h"
#include "x11_backend.h"
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <cstring>

namespace {

struct KeyDef {
    uint8_t vk;
    uint8_t scan;          // PC keyboard set-1 code, as files carry it
    unsigned long syms[3]; // the first one is what playback types
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

constexpr int kMaxCodes = 4;

Display *g_dpy = nullptr;
const KeyDef *g_def[256];        // table row per virtual key
KeyCode g_codes[256][kMaxCodes]; // keycodes that read as the key

// A key the keyboard map lacks (F13 and up on many maps) is given a keycode
// nobody uses, so a recording made on a fuller keyboard still plays.
KeyCode BindSpareKeycode(KeySym sym) {
    int lo = 0, hi = 0, per = 0;
    XDisplayKeycodes(g_dpy, &lo, &hi);
    KeySym *map = XGetKeyboardMapping(g_dpy, KeyCode(lo), hi - lo + 1, &per);
    if (!map) return 0;
    KeyCode found = 0;
    for (int k = hi; k >= lo && !found; k--) {
        bool empty = true;
        for (int j = 0; j < per; j++)
            empty &= map[(k - lo) * per + j] == NoSymbol;
        if (empty) found = KeyCode(k);
    }
    XFree(map);
    if (!found) return 0;
    KeySym syms[2] = {sym, sym};
    XChangeKeyboardMapping(g_dpy, found, 2, syms, 1);
    XSync(g_dpy, False);
    return found;
}

unsigned InjectCode(uint8_t vk, uint8_t scan) {
    if (g_def[vk]) {
        if (g_codes[vk][0]) return g_codes[vk][0];
        KeyCode code = BindSpareKeycode(KeySym(g_def[vk]->syms[0]));
        // From now on the key also reads back as down while held.
        g_codes[vk][0] = code;
        return code;
    }
    // A code the table does not know: the keys whose scan codes are below
    // 0x59 have the same number on evdev, 8 below the X keycode.
    if (scan && scan < 0x59) return KeyCode(scan + 8);
    return 0;
}

} // namespace

void X11KeymapBuild(Display *dpy) {
    g_dpy = dpy;

    memset(g_codes, 0, sizeof g_codes);
    memset(g_def, 0, sizeof g_def);
    for (const KeyDef &k : kKeys) {
        g_def[k.vk] = &k;
        int n = 0;
        for (unsigned long sym : k.syms) {
            if (!sym) break;
            KeyCode code = XKeysymToKeycode(g_dpy, KeySym(sym));
            if (!code) continue;
            bool seen = false;
            for (int j = 0; j < n; j++)
                seen |= g_codes[k.vk][j] == code;
            if (!seen && n < kMaxCodes) g_codes[k.vk][n++] = code;
        }
    }
}

bool X11KeymapDown(const char keymap[32], int vk) {
    for (KeyCode code : g_codes[vk])
        if (code && (keymap[code >> 3] & (1 << (code & 7)))) return true;
    return false;
}

unsigned X11KeymapInjectCode(uint8_t vk, uint8_t scan) {
    return InjectCode(vk, scan);
}

uint32_t X11KeysymToVk(unsigned long keysym) {
    // Letters arrive as either case depending on Shift and Caps Lock.
    if (keysym >= XK_A && keysym <= XK_Z) return uint32_t(keysym);
    if (keysym >= XK_a && keysym <= XK_z) return uint32_t(keysym - XK_a + 'A');
    for (const KeyDef &k : kKeys)
        for (unsigned long sym : k.syms)
            if (sym && sym == keysym) return k.vk;
    return 0;
}

uint32_t PlatMapVirtualKey(uint32_t vk) {
    if (vk > 255 || !g_def[vk]) {
        // The table is filled when the display opens; without one the codes
        // are still known.
        for (const KeyDef &k : kKeys)
            if (k.vk == vk) return k.scan;
        return 0;
    }
    return g_def[vk]->scan;
}
