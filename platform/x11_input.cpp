// Keyboard and pointer services on Xlib and XTest. Every scan of the core
// starts with PlatInputSnapshot, which pays two round trips (keymap and
// pointer); every key read after it is answered from those bytes. A round
// trip per key would cost milliseconds of every 10 ms recorder tick.
#include "input.h"
#include "x11_backend.h"
#include "x11_wheel.h"
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cstring>
#include <gtk/gtk.h>

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
constexpr int kLockVks[3] = {0x14, 0x90, 0x91}; // Caps, Num, Scroll

Display *g_dpy = nullptr;
Window g_root = 0;
int g_screen = 0;

const KeyDef *g_def[256];        // table row per virtual key
KeyCode g_codes[256][kMaxCodes]; // keycodes that read as the key
char g_keymap[32];               // last XQueryKeymap
unsigned g_buttons = 0;          // last pointer buttons, bit n for button n
int g_xiPointer = -1;            // the master pointer when XInput 2 is there
int g_pointerX = 0, g_pointerY = 0;
Window g_pointerChild = 0; // top-level window under the pointer
bool g_haveSnapshot = false, g_pointerStale = true;

uint8_t g_down[256];       // physically down in the last snapshot
uint8_t g_pressed[256];    // pressed since the last asynchronous read
uint8_t g_suppressed[256]; // cleared from the thread table while still held
uint8_t g_toggle[256];     // thread table toggle bits (not the lock keys)
unsigned g_ledBase = 0;    // lock LEDs as they were when the table was cleared
unsigned g_ledMask[3] = {1, 2, 4};
unsigned g_ledState = 0;
unsigned long g_ledGeneration = 0, g_snapshotGeneration = 0;

Window g_toolbar = 0;
Window g_toolbarTop = 0; // its child-of-root ancestor
bool g_pressOnToolbar = false;
Window g_topCacheFrom = 0, g_topCacheTo = 0;
Atom g_netActive = None;

void FindLedMasks() {
    const char *names[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
    for (int i = 0; i < 3; i++) {
        Atom a = XInternAtom(g_dpy, names[i], True);
        int index = -1;
        if (a != None && XkbGetNamedIndicator(g_dpy, a, &index, nullptr, nullptr, nullptr) &&
            index >= 0 && index < 32)
            g_ledMask[i] = 1u << index;
    }
}

void BuildCodeTable() {
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

XErrorHandler g_previousHandler = nullptr;

// A window can vanish between two requests (the focus window closing while
// its parents are looked up). Such errors on this connection make that one
// request fail; Xlib's default would end the program.
int OnXError(Display *d, XErrorEvent *e) {
    if (d == g_dpy) return 0;
    return g_previousHandler ? g_previousHandler(d, e) : 0;
}

bool Ensure() {
    return g_dpy || X11InputOpen();
}

bool CodeDown(KeyCode code) {
    return code && (g_keymap[code >> 3] & (1 << (code & 7)));
}

bool ComputeDown(int vk) {
    switch (vk) {
    case 1: return g_buttons & (1u << 1);
    case 2: return g_buttons & (1u << 3);
    case 4: return g_buttons & (1u << 2);
    case 5: return g_buttons & (1u << 8);
    case 6: return g_buttons & (1u << 9);
    default: break;
    }
    for (KeyCode code : g_codes[vk])
        if (CodeDown(code)) return true;
    return false;
}

int LockIndex(int vk) {
    for (int i = 0; i < 3; i++)
        if (kLockVks[i] == vk) return i;
    return -1;
}

unsigned LedState() {
    if (g_ledGeneration != g_snapshotGeneration || !g_haveSnapshot) {
        unsigned state = 0;
        if (XkbGetIndicatorState(g_dpy, XkbUseCoreKbd, &state) == Success) g_ledState = state;
        g_ledGeneration = g_snapshotGeneration;
    }
    return g_ledState;
}

// XInput 2 reports every button (the core protocol stops at 5, so the side
// buttons 8 and 9 would be missing) at the same one round trip.
void QueryPointer() {
    Window root = 0, child = 0;
    if (g_xiPointer >= 0) {
        double rx = 0, ry = 0, wx = 0, wy = 0;
        XIButtonState buttons = {};
        XIModifierState mods = {};
        XIGroupState group = {};
        if (XIQueryPointer(g_dpy, g_xiPointer, g_root, &root, &child, &rx, &ry, &wx, &wy, &buttons,
                           &mods, &group)) {
            g_pointerX = int(rx);
            g_pointerY = int(ry);
            g_pointerChild = child;
            g_buttons = 0;
            for (int b = 1; b < 16 && b < buttons.mask_len * 8; b++)
                if (XIMaskIsSet(buttons.mask, b)) g_buttons |= 1u << b;
        }
        if (buttons.mask) XFree(buttons.mask);
    } else {
        int wx = 0, wy = 0;
        unsigned mask = 0;
        if (XQueryPointer(g_dpy, g_root, &root, &child, &g_pointerX, &g_pointerY, &wx, &wy,
                          &mask)) {
            g_pointerChild = child;
            g_buttons = 0;
            for (int b = 1; b <= 5; b++)
                if (mask & (Button1Mask << (b - 1))) g_buttons |= 1u << b;
        }
    }
    g_pointerStale = false;
}

// The child of the root window that holds w (w itself for a top-level
// window without a window manager's frame).
Window TopLevelOf(Window w) {
    if (!w || w == g_root) return 0;
    if (w == g_topCacheFrom) return g_topCacheTo;
    Window cur = w;
    for (int depth = 0; depth < 64; depth++) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(g_dpy, cur, &root, &parent, &children, &n)) return 0;
        if (children) XFree(children);
        if (parent == root || !parent) break;
        cur = parent;
    }
    g_topCacheFrom = w;
    g_topCacheTo = cur;
    return cur;
}

void Flush() {
    XFlush(g_dpy);
    g_pointerStale = true;
}

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

KeyCode InjectCode(uint8_t vk, uint8_t scan) {
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

bool X11InputOpen() {
    if (g_dpy) return true;
    g_dpy = XOpenDisplay(nullptr);
    if (!g_dpy) return false;
    int ev = 0, err = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(g_dpy, &ev, &err, &major, &minor)) {
        XCloseDisplay(g_dpy);
        g_dpy = nullptr;
        return false;
    }
    g_previousHandler = XSetErrorHandler(OnXError);
    g_screen = DefaultScreen(g_dpy);
    g_root = RootWindow(g_dpy, g_screen);
    g_netActive = XInternAtom(g_dpy, "_NET_ACTIVE_WINDOW", False);
    int xiOpcode = 0, xiMajor = 2, xiMinor = 2;
    if (XQueryExtension(g_dpy, "XInputExtension", &xiOpcode, &ev, &err) &&
        XIQueryVersion(g_dpy, &xiMajor, &xiMinor) == Success) {
        // The client pointer when one is set, else the first master
        // pointer (the core pointer on a plain server).
        int id = 0;
        if (!XIGetClientPointer(g_dpy, None, &id)) id = 0;
        if (id <= 0) {
            int n = 0;
            XIDeviceInfo *devices = XIQueryDevice(g_dpy, XIAllMasterDevices, &n);
            for (int i = 0; i < n && id <= 0; i++)
                if (devices[i].use == XIMasterPointer) id = devices[i].deviceid;
            if (devices) XIFreeDeviceInfo(devices);
        }
        if (id > 0) g_xiPointer = id;
        // From 2.1 on, raw events arrive also while another client holds
        // a grab (a menu, a drag).
        if (xiMajor > 2 || (xiMajor == 2 && xiMinor >= 1)) X11WheelListen(g_dpy, g_root, xiOpcode);
    }
    BuildCodeTable();
    FindLedMasks();
    return true;
}

bool X11Tracing() {
    static const bool on = g_getenv("QV_TRACE") != nullptr;
    return on;
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

void X11SetToolbarWindow(uint32_t xid) {
    g_toolbar = Window(xid);
    g_toolbarTop = 0;
}

void PlatInputSnapshot() {
    if (!Ensure()) return;
    // A changed keyboard map (another layout, a key bound for playback)
    // moves keys to other codes; nothing else arrives on this connection.
    bool remap = false;
    while (XPending(g_dpy)) {
        XEvent e;
        XNextEvent(g_dpy, &e);
        if (X11WheelEvent(g_dpy, &e)) continue;
        if (e.type == MappingNotify) {
            XRefreshKeyboardMapping(&e.xmapping);
            remap = true;
        }
    }
    if (remap) BuildCodeTable();
    XQueryKeymap(g_dpy, g_keymap);
    QueryPointer();
    g_haveSnapshot = true;
    g_snapshotGeneration++;
    // A press that starts on the toolbar; a drag from elsewhere that
    // crosses it is not one.
    bool left = g_buttons & (1u << 1);
    if (!left) {
        g_pressOnToolbar = false;
    } else if (!g_down[1] && g_toolbar && g_pointerChild) {
        if (!g_toolbarTop) g_toolbarTop = TopLevelOf(g_toolbar);
        g_pressOnToolbar = g_pointerChild == g_toolbarTop;
    }
    for (int vk = 1; vk < 256; vk++) {
        bool down = ComputeDown(vk);
        if (down && !g_down[vk]) {
            g_pressed[vk] = 1;
            g_toggle[vk] ^= 1;
        }
        if (!down) g_suppressed[vk] = 0;
        g_down[vk] = down;
    }
}

int16_t PlatGetAsyncKeyState(int vk) {
    if (vk <= 0 || vk > 255) return 0;
    if (!g_haveSnapshot) PlatInputSnapshot();
    int16_t r = g_down[vk] ? int16_t(0x8000) : 0;
    if (g_pressed[vk]) r = int16_t(r | 1);
    g_pressed[vk] = 0;
    return r;
}

int16_t PlatGetKeyState(int vk) {
    if (vk <= 0 || vk > 255) return 0;
    if (!g_haveSnapshot) PlatInputSnapshot();
    int16_t r = 0;
    if (g_down[vk] && !g_suppressed[vk]) r = int16_t(0xFF80);
    int lock = LockIndex(vk);
    bool toggled = lock >= 0 ? ((LedState() ^ g_ledBase) & g_ledMask[lock]) != 0 : g_toggle[vk];
    if (toggled) r = int16_t(r | 1);
    return r;
}

void PlatSetKeyboardState(const uint8_t table[256]) {
    // Look again first: releases injected a moment ago must not leave keys
    // marked as held.
    PlatInputSnapshot();
    if (!g_dpy) return;
    unsigned leds = LedState();
    for (int vk = 0; vk < 256; vk++) {
        g_suppressed[vk] = (table[vk] & 0x80) ? 0 : g_down[vk];
        int lock = LockIndex(vk);
        if (lock < 0) {
            g_toggle[vk] = table[vk] & 1;
        } else {
            bool want = table[vk] & 1;
            bool on = (leds & g_ledMask[lock]) != 0;
            g_ledBase = (g_ledBase & ~g_ledMask[lock]) | ((on != want) ? g_ledMask[lock] : 0);
        }
    }
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

void PlatGetCursorPos(int32_t *x, int32_t *y) {
    if (!Ensure()) {
        *x = *y = 0;
        return;
    }
    if (g_pointerStale) QueryPointer();
    *x = g_pointerX;
    *y = g_pointerY;
}

uint32_t PlatGetForegroundWindow() {
    if (!Ensure()) return 0;
    // The toolbar takes the foreground with the press itself, as a click
    // does on the other desktop, even when the recorder looks before the
    // press event reaches the window.
    if (g_pressOnToolbar && (g_buttons & (1u << 1))) return uint32_t(g_toolbar);
    Atom type = None;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char *data = nullptr;
    Window active = 0;
    if (XGetWindowProperty(g_dpy, g_root, g_netActive, 0, 1, False, XA_WINDOW, &type, &format, &n,
                           &after, &data) == Success &&
        data) {
        if (type == XA_WINDOW && format == 32 && n == 1) active = *reinterpret_cast<Window *>(data);
        XFree(data);
    }
    if (active) return uint32_t(active);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(g_dpy, &focus, &revert);
    // With the focus following the pointer the keys go to the window under
    // it.
    if (focus == PointerRoot || focus == None) {
        if (g_pointerStale) QueryPointer();
        return uint32_t(g_pointerChild);
    }
    return uint32_t(TopLevelOf(focus));
}

void PlatKeybdEvent(uint8_t vk, uint8_t scan, uint32_t flags) {
    if (!Ensure()) return;
    if (X11Tracing()) g_printerr("key %#x %#x %u\n", vk, scan, flags);
    KeyCode code = InjectCode(vk, scan);
    if (!code) return;
    XTestFakeKeyEvent(g_dpy, code, (flags & 2) ? False : True, CurrentTime);
    Flush();
}

// Where the last absolute move put the pointer, until the next placement.
static int s_movedX = -1, s_movedY = -1;

void PlatMouseEvent(uint32_t flags, uint32_t dx, uint32_t dy) {
    if (!Ensure()) return;
    s_movedX = s_movedY = -1;
    if (X11Tracing()) g_printerr("mouse %#x %u %u\n", flags, dx, dy);
    if ((flags & 0x0001) && !(flags & 0x8000))
        XTestFakeRelativeMotionEvent(g_dpy, int(int32_t(dx)), int(int32_t(dy)), CurrentTime);
    if ((flags & 0x0001) && (flags & 0x8000)) {
        // Back from the 0..65535 scale to pixels: rounding up undoes the
        // truncation the caller's scaling made, so a position survives the
        // round trip exactly.
        uint64_t w = uint64_t(PlatScreenWidth()), h = uint64_t(PlatScreenHeight());
        int x = int((uint64_t(dx & 0xFFFF) * w + 65534) / 65535);
        int y = int((uint64_t(dy & 0xFFFF) * h + 65534) / 65535);
        if (x >= int(w)) x = int(w) - 1;
        if (y >= int(h)) y = int(h) - 1;
        XTestFakeMotionEvent(g_dpy, g_screen, x, y, CurrentTime);
        s_movedX = x;
        s_movedY = y;
    }
    if (flags & 0x0002) XTestFakeButtonEvent(g_dpy, 1, True, CurrentTime);
    if (flags & 0x0004) XTestFakeButtonEvent(g_dpy, 1, False, CurrentTime);
    if (flags & 0x0008) XTestFakeButtonEvent(g_dpy, 3, True, CurrentTime);
    if (flags & 0x0010) XTestFakeButtonEvent(g_dpy, 3, False, CurrentTime);
    Flush();
}

// Middle is button 2; the side buttons are 8 and 9, as XInput 2 reports
// them back to the recorder; the wheels are buttons 4 to 7.
void PlatMouseButtonEvent(uint32_t flags, uint32_t data) {
    if (!Ensure()) return;
    if (X11Tracing()) g_printerr("button %#x %u\n", flags, data);
    unsigned side = data == 2 ? 9 : data == 1 ? 8 : 0;
    if (flags & 0x0020) XTestFakeButtonEvent(g_dpy, 2, True, CurrentTime);
    if (flags & 0x0040) XTestFakeButtonEvent(g_dpy, 2, False, CurrentTime);
    if ((flags & 0x0080) && side) XTestFakeButtonEvent(g_dpy, side, True, CurrentTime);
    if ((flags & 0x0100) && side) XTestFakeButtonEvent(g_dpy, side, False, CurrentTime);
    if (flags & 0x1800) X11WheelInject(g_dpy, flags, data);
    Flush();
}

void PlatSetCursorPos(int32_t x, int32_t y) {
    if (!Ensure()) return;
    // The absolute move just before already landed exactly here: a warp on
    // top would reach every client as a second motion.
    bool landed = x == s_movedX && y == s_movedY;
    s_movedX = s_movedY = -1;
    if (landed) return;
    XWarpPointer(g_dpy, None, g_root, 0, 0, 0, 0, x, y);
    Flush();
}

int32_t PlatScreenWidth() {
    return Ensure() ? DisplayWidth(g_dpy, g_screen) : 0;
}

int32_t PlatScreenHeight() {
    return Ensure() ? DisplayHeight(g_dpy, g_screen) : 0;
}

uint32_t PlatGetDoubleClickTime() {
    gint ms = 400;
    GtkSettings *settings = gtk_settings_get_default();
    if (settings) g_object_get(settings, "gtk-double-click-time", &ms, nullptr);
    return ms > 0 ? uint32_t(ms) : 400u;
}
