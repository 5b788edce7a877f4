// Between virtual-key codes and the keycodes of the X keyboard map. The
// map is read through libxkbcommon-x11 (key names and the active group's
// symbols) with the layout's name from the server, and handed to the keymap
// logic both Linux backends share; it is read again whenever the server
// says the map, the keyboard or the group changed.
#include "x11_keymap.h"
#include "../input.h"
#include "x11_backend.h"
#include "../linux/keymap.h"
#include "../linux/xkb_slots.h"
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/Xlib-xcb.h>
#include <X11/keysym.h>
#include <cstring>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

namespace {

Display *g_dpy = nullptr;
unsigned g_numMask = 0;    // the modifier Num Lock locks
bool g_numLock = true;     // keypad keys read as digits
int g_xkbEvent = -1;       // first XKB event code, -1 without XKB
char g_layout[64] = "";    // XKB layout name of the active group
char g_xkbLayout[64] = ""; // the same from the compiled map, when the server names none
bool g_xkbX11Ready = false;
xkb_context *g_xkbContext = nullptr;

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

// The server's map through libxkbcommon-x11, the same reader and rule the
// Wayland backend uses on a compositor's map; the group and Num Lock come
// from the server's state.
bool ReadXkbSlots(KeySlot slots[256], int *group) {
    xcb_connection_t *conn = XGetXCBConnection(g_dpy);
    if (!conn) return false;
    if (!g_xkbX11Ready) {
        g_xkbX11Ready = xkb_x11_setup_xkb_extension(
            conn, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr);
        if (!g_xkbX11Ready) return false;
    }
    if (!g_xkbContext) g_xkbContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    int32_t device = xkb_x11_get_core_keyboard_device_id(conn);
    xkb_keymap *km = g_xkbContext && device >= 0
                         ? xkb_x11_keymap_new_from_device(g_xkbContext, conn, device,
                                                          XKB_KEYMAP_COMPILE_NO_FLAGS)
                         : nullptr;
    if (!km) return false;
    XkbStateRec state = {};
    if (XkbGetState(g_dpy, XkbUseCoreKbd, &state) == Success) {
        *group = state.group;
        g_numMask = XkbKeysymToModifiers(g_dpy, XK_Num_Lock);
        g_numLock = (state.locked_mods & g_numMask) != 0;
    }
    bool ok = XkbReadSlots(km, uint32_t(*group), slots, g_xkbLayout);
    xkb_keymap_unref(km);
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

void Press(uint8_t code, bool up) {
    XTestFakeKeyEvent(g_dpy, code, up ? False : True, CurrentTime);
}

uint8_t Bind(uint32_t, uint32_t sym) {
    uint8_t code = BindSpareKeycode(sym);
    // From now on the key also reads back as down while held.
    if (code) X11KeymapBuild(g_dpy);
    return code;
}

const KeymapSink kSink = {Press, Bind};

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
    g_xkbLayout[0] = 0;
    int group = 0;
    if (g_xkbEvent < 0 || !ReadXkbSlots(slots, &group)) {
        memset(slots, 0, sizeof slots);
        ReadCoreSlots(slots);
    }
    ReadLayoutName(group);
    KeymapAssign(g_layout[0] ? g_layout : g_xkbLayout, slots);
    // A spare keycode bound earlier reads as its key.
    for (int i = 0; i < g_spareCount; i++)
        KeymapAddBound(g_spare[i].code, g_spare[i].sym);
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
    return KeymapVks(keycode, numLock, vks);
}

void X11KeymapPlay(uint8_t vk, uint8_t scan, bool up) {
    if (g_dpy) KeymapPlay(kSink, vk, scan, up);
}

void X11KeymapFlush() {
    if (g_dpy) KeymapFlush(kSink);
}

void X11KeymapForget() {
    KeymapForget();
}

void X11KeymapClose() {
    if (g_dpy && g_spareCount) GiveBackSpares();
    if (g_xkbContext) xkb_context_unref(g_xkbContext);
    g_xkbContext = nullptr;
    g_xkbX11Ready = false;
}

uint32_t X11KeymapScan(uint32_t vk) {
    return KeymapScan(vk);
}

uint32_t X11KeymapVkOfKeycode(unsigned keycode, unsigned long keysym) {
    return KeymapVkOfKeycode(keycode, keysym);
}

bool X11KeymapNumLock() {
    return g_numLock;
}
