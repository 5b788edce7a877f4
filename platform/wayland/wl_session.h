// The Wayland backend's own connection to the compositor, shared by the
// routes: its globals, the seat, the layout of the outputs and the
// session's keymap. It is a connection of its own beside the toolkit's, so
// its events are read only when the backend asks.
#pragma once
#include <cstdint>

struct wl_display;
struct wl_interface;
struct wl_seat;
struct xkb_keymap;

struct WlBox {
    int32_t x, y, width, height; // logical coordinates
};

// Connects (WAYLAND_DISPLAY) and reads the globals, outputs and keymap;
// false when there is no compositor to talk to.
bool WlSessionOpen();
void WlSessionClose();
wl_display *WlDisplay();
// Reads and handles what the compositor sent, without waiting.
void WlSessionDispatch();
// One round trip: everything sent so far has been handled by the
// compositor and its answers by us.
void WlSessionRoundtrip();
// Binds the global of that interface (version at most maxVersion); null
// when the compositor does not offer it.
void *WlBind(const wl_interface *iface, uint32_t maxVersion);
bool WlOffers(const char *interfaceName);
wl_seat *WlSeat();
// The box around every output, in the layout's logical coordinates.
WlBox WlLayoutBox();
// The session's keymap: the one the compositor sends the seat's keyboard,
// or, while the seat has no keyboard, the one xkbcommon compiles from the
// environment (XKB_DEFAULT_*), as wlroots does for a keyboard of its own.
// Its text (with the terminating zero) is what a virtual keyboard uploads.
xkb_keymap *WlKeymap();
const char *WlKeymapText(uint32_t *size);
// Counts up whenever the keymap changes.
uint32_t WlKeymapGeneration();
// The active layout (group) of the seat's keyboard.
uint32_t WlKeymapLayout();
// Milliseconds for event time stamps, on one clock per connection.
uint32_t WlNow();
// New virtual devices lose their first events: the windows learn of a new
// seat capability (the first pointer or keyboard of a seat) only in the
// event that announces it, and bind their own pointer or keyboard one round
// trip later; whatever is sent before that reaches no one. A route that
// made devices calls WlSettleFor() once the compositor has them, and the
// first event played after waits out the rest of that time in
// WlWaitSettled().
void WlSettleFor(uint32_t ms);
void WlWaitSettled();
