// Between virtual-key codes and the keycodes of the X keyboard map. The
// map is read through XKB (key names, the active group's symbols and the
// layout's name) and handed to the key table; it is read again whenever
// the server says the map, the keyboard or the group changed.
#include "x11_keymap.h"
#include "../input.h"
#include "x11_backend.h"
#include "x11_keytable.h"
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cstring>

namespace {

Display *g_dpy = nullptr;
unsigned g_numMask = 0;  // the modifier Num Lock locks
bool g_numLock = true;   // keypad keys read as digits
int g_xkbEvent = -1;     // first XKB event code, -1 without XKB
KeyMeaning g_mean[256];  // per keycode
char g_names[256][5];    // XKB key names per keycode
uint8_t g_codeOf[256];   // the keycode that plays each virtual-key code
uint8_t g_altGrCode = 0; // the key that selects level 3, 0 when none
char g_layout[64] = "";  // XKB layout name of the active group

// Keycodes given a keysym for playback; the map is put back as it was
// when the program ends and whenever something else changes it.
constexpr int kMaxSpare = 16;
struct Spare {
    uint8_t code;
    uint32_t sym;
};
Spare g_spare[kMaxSpare];
int g_spareCount = 0;
int g_ownChanges = 0; // MappingNotify events our own changes will cause

void ReadLayoutName(int group) {
    g_layout[0] = 0;
    Atom names = XInternAtom(g_dpy, "_XKB_RULES_NAMES", True);
    if (names == None) return;
    Atom type = None;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(g_dpy, DefaultRootWindow(g_dpy), names, 0, 1024, False, XA_STRING, &type,
                           &format, &n, &after, &data) != Success ||
        !data)
        return;
    // rules, model, layouts (one per group, comma-separated), variants, options
    const char *p = reinterpret_cast<const char *>(data), *end = p + n;
    for (int field = 0; field < 2 && p < end; field++)
        p += strnlen(p, size_t(end - p)) + 1;
    for (int g = 0; g < group && p < end; g++) {
        const char *comma = static_cast<const char *>(memchr(p, ',', size_t(end - p)));
        p = comma ? comma + 1 : end;
    }
    size_t len = 0;
    while (p + len < end && p[len] && p[len] != ',' && len + 1 < sizeof g_layout)
        len++;
    if (p < end) memcpy(g_layout, p, len);
    g_layout[len] = 0;
    XFree(data);
}

// Without XKB names (a server without the extension) the keys still get
// their codes by symbol.
void ReadCoreSlots(KeySlot slots[256]) {
    int lo = 0, hi = 0, per = 0;
    XDisplayKeycodes(g_dpy, &lo, &hi);
    KeySym *map = XGetKeyboardMapping(g_dpy, KeyCode(lo), hi - lo + 1, &per);
    if (!map) return;
    for (int kc = lo; kc <= hi && kc < 256; kc++) {
        slots[kc].name[0] = '-';
        slots[kc].sym[0] = uint32_t(map[(kc - lo) * per]);
        slots[kc].sym[1] = per > 1 ? uint32_t(map[(kc - lo) * per + 1]) : 0;
    }
    XFree(map);
}

bool ReadXkbSlots(KeySlot slots[256], int *group) {
    XkbDescPtr xkb = XkbGetMap(g_dpy, XkbKeySymsMask | XkbKeyTypesMask, XkbUseCoreKbd);
    if (!xkb) return false;
    bool ok = XkbGetNames(g_dpy, XkbKeyNamesMask, xkb) == Success && xkb->names && xkb->names->keys;
    XkbStateRec state = {};
    if (ok && XkbGetState(g_dpy, XkbUseCoreKbd, &state) == Success) {
        *group = state.group;
        g_numMask = XkbKeysymToModifiers(g_dpy, XK_Num_Lock);
        g_numLock = (state.locked_mods & g_numMask) != 0;
    }
    for (int kc = xkb->min_key_code; ok && kc <= xkb->max_key_code && kc < 256; kc++) {
        memcpy(slots[kc].name, xkb->names->keys[kc].name, XkbKeyNameLength);
        slots[kc].name[4] = 0;
        int groups = XkbKeyNumGroups(xkb, kc);
        if (!groups) continue;
        int g = *group < groups ? *group : 0;
        int width = XkbKeyGroupWidth(xkb, kc, g);
        for (int level = 0; level < 2 && level < width; level++)
            slots[kc].sym[level] = uint32_t(XkbKeySymEntry(xkb, kc, level, g));
    }
    XkbFreeKeyboard(xkb, 0, True);
    return ok;
}

bool OwnsSpare(uint8_t code) {
    for (int i = 0; i < g_spareCount; i++)
        if (g_spare[i].code == code) return true;
    return false;
}

// Empties the borrowed keycodes that still hold what we put there.
void GiveBackSpares() {
    for (int i = 0; i < g_spareCount; i++) {
        int per = 0;
        KeySym *now = XGetKeyboardMapping(g_dpy, g_spare[i].code, 1, &per);
        bool ours = now && per > 0 && uint32_t(now[0]) == g_spare[i].sym;
        if (now) XFree(now);
        if (!ours) continue;
        KeySym none = NoSymbol;
        XChangeKeyboardMapping(g_dpy, g_spare[i].code, 1, &none, 1);
        g_ownChanges++;
    }
    g_spareCount = 0;
    XSync(g_dpy, False);
}

// A key the keyboard map lacks (F13 and up on many maps) is given a keycode
// nobody uses, so a recording made on a fuller keyboard still plays.
uint8_t BindSpareKeycode(uint32_t sym) {
    if (!sym || g_spareCount == kMaxSpare) return 0;
    int lo = 0, hi = 0, per = 0;
    XDisplayKeycodes(g_dpy, &lo, &hi);
    KeySym *map = XGetKeyboardMapping(g_dpy, KeyCode(lo), hi - lo + 1, &per);
    if (!map) return 0;
    uint8_t found = 0;
    for (int k = hi; k >= lo && !found; k--) {
        bool empty = true;
        for (int j = 0; j < per; j++)
            empty &= map[(k - lo) * per + j] == NoSymbol;
        if (empty && k < 256) found = uint8_t(k);
    }
    XFree(map);
    if (!found) return 0;
    KeySym syms[2] = {sym, sym};
    XChangeKeyboardMapping(g_dpy, found, 2, syms, 1);
    g_ownChanges++;
    XSync(g_dpy, False);
    g_spare[g_spareCount++] = {found, sym};
    return found;
}

bool IsPhysical(int kc) {
    return g_mean[kc].scan != 0;
}

// AltGr holds Ctrl while the recording names it (as the other desktop
// reports it); a layout with a level-3 key plays it as that key, since an
// X client reads Ctrl + Alt as a shortcut, not as the third level.
constexpr int kMaxHeld = 8;
uint8_t g_heldBack[kMaxHeld]; // Ctrl and Alt presses not yet played
int g_heldBackCount = 0;
uint8_t g_swallowed[256]; // presses that became AltGr: their release is dropped

void Press(uint8_t code, bool up) {
    XTestFakeKeyEvent(g_dpy, code, up ? False : True, CurrentTime);
}

uint8_t CodeFor(uint8_t vk, uint8_t scan) {
    if (g_codeOf[vk]) return g_codeOf[vk];
    // A code the map does not know: the key at the record's own position,
    // when that key means something here (a position whose key types a
    // media symbol is no F13).
    for (int ext = 0; ext < 2 && scan; ext++) {
        const char *name = KeyTableNameOfScan(scan, ext != 0);
        for (int kc = 8; name && kc < 256; kc++)
            if (g_mean[kc].vk && !strncmp(g_names[kc], name, 4)) return uint8_t(kc);
    }
    uint8_t code = BindSpareKeycode(KeyTableKeysymOfVk(vk));
    // From now on the key also reads back as down while held.
    if (code) X11KeymapBuild(g_dpy);
    return code;
}

void PlayHeldBack() {
    for (int i = 0; i < g_heldBackCount; i++) {
        uint8_t code = CodeFor(g_heldBack[i], 0);
        if (code) Press(code, false);
    }
    g_heldBackCount = 0;
}

bool IsCtrl(uint8_t vk) {
    return vk == 0x11 || vk == 0xA2;
}

} // namespace

void X11KeymapBuild(Display *dpy) {
    if (g_dpy != dpy) {
        g_dpy = dpy;
        int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
        if (XkbQueryExtension(dpy, &opcode, &g_xkbEvent, &error, &major, &minor)) {
            XkbSelectEvents(dpy, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                            XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
            unsigned state = XkbGroupStateMask | XkbModifierLockMask;
            XkbSelectEventDetails(dpy, XkbUseCoreKbd, XkbStateNotify, state, state);
        } else {
            g_xkbEvent = -1;
        }
    }
    static KeySlot slots[256];
    memset(slots, 0, sizeof slots);
    int group = 0;
    if (g_xkbEvent < 0 || !ReadXkbSlots(slots, &group)) {
        memset(slots, 0, sizeof slots);
        ReadCoreSlots(slots);
    }
    ReadLayoutName(group);
    KeyTableAssign(g_layout, slots, g_mean);
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
    // A spare keycode bound earlier reads as its key.
    for (int i = 0; i < g_spareCount; i++) {
        uint32_t vk = KeyTableVkOfKeysym(g_spare[i].sym);
        if (vk && vk < 256 && !g_mean[g_spare[i].code].vk) {
            g_mean[g_spare[i].code].vk = g_mean[g_spare[i].code].vkNumOff = uint8_t(vk);
            if (!g_codeOf[vk]) g_codeOf[vk] = g_spare[i].code;
        }
    }
}

bool X11KeymapEvent(XEvent *e) {
    if (e->type == MappingNotify) {
        if (e->xmapping.request == MappingPointer) return true;
        XRefreshKeyboardMapping(&e->xmapping);
        bool own =
            g_ownChanges > 0 && e->xmapping.count == 1 && OwnsSpare(e->xmapping.first_keycode);
        if (own) {
            g_ownChanges--;
        } else if (g_spareCount) {
            GiveBackSpares();
        }
        X11KeymapBuild(g_dpy);
        return true;
    }
    if (g_xkbEvent >= 0 && e->type == g_xkbEvent) {
        // Map changes also arrive as MappingNotify; a new keyboard or
        // another group only here.
        int kind = reinterpret_cast<XkbAnyEvent *>(e)->xkb_type;
        if (kind == XkbStateNotify) {
            auto *st = reinterpret_cast<XkbStateNotifyEvent *>(e);
            g_numLock = (unsigned(st->locked_mods) & g_numMask) != 0;
            if (st->changed & XkbGroupStateMask) X11KeymapBuild(g_dpy);
        } else if (kind == XkbNewKeyboardNotify) {
            X11KeymapBuild(g_dpy);
        }
        return true;
    }
    return false;
}

int X11KeymapVks(unsigned keycode, bool numLock, uint8_t vks[4]) {
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

void X11KeymapPlay(uint8_t vk, uint8_t scan, bool up) {
    if (!g_dpy) return;
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
            Press(g_altGrCode, false);
            return;
        }
    }
    X11KeymapFlush();
    uint8_t code = CodeFor(vk, scan);
    if (code) Press(code, up);
}

void X11KeymapFlush() {
    if (g_heldBackCount) PlayHeldBack();
}

void X11KeymapForget() {
    g_heldBackCount = 0;
    memset(g_swallowed, 0, sizeof g_swallowed);
}

void X11KeymapClose() {
    if (g_dpy && g_spareCount) GiveBackSpares();
}

uint32_t X11KeymapScan(uint32_t vk) {
    if (vk < 256 && g_codeOf[vk] && g_mean[g_codeOf[vk]].scan) return g_mean[g_codeOf[vk]].scan;
    return KeyTableScan(vk);
}

uint32_t X11KeymapVkOfKeycode(unsigned keycode, unsigned long keysym) {
    uint8_t vks[4];
    if (X11KeymapVks(keycode, true, vks)) return vks[0];
    return KeyTableVkOfKeysym(uint32_t(keysym));
}

bool X11KeymapNumLock() {
    return g_numLock;
}

uint32_t PlatMapVirtualKey(uint32_t vk) {
    return X11KeymapScan(vk);
}
