// A playback route on Wayland: one way of putting synthetic input into the
// session (a compositor's own interface, a virtual-device protocol, a
// kernel device). The backend tries the routes in kWlRoutes' order at start
// and plays everything through the first that opens; the others are never
// touched.
//
// Contract for a route:
// - open() makes its devices at once (a new virtual device loses its first
//   events, so it is created early, primed with a harmless event, and kept
//   until close()), and returns false with why() saying what it lacks.
// - Events are queued by key(), motion(), button() and axis() and reach the
//   compositor no later than flush(), which the backend calls after every
//   event it plays.
// - Keys are evdev codes (linux/input-event-codes.h): the XKB keycode less
//   8. The compositor applies its own keymap to them; a route that must say
//   the modifier state itself (wlroots) follows it from the keys it sends.
// - motion() takes a position in the layout's logical coordinates, the
//   space of WlLayoutBox(): a point on any output, not only the first.
// - Buttons are evdev codes too (BTN_LEFT 0x110 and on); axis() takes a
//   signed turn in 120ths of a notch, positive down (vertical) or right
//   (horizontal), as wl_pointer counts.
// - Everything runs on the one UI thread.
#pragma once
#include <cstdint>

struct WlRoute {
    const char *name; // "mutter", "kwin", "wlroots", "uinput": what --check prints
    bool (*open)();
    void (*close)();
    void (*key)(uint32_t evdevCode, bool down);
    void (*motion)(int32_t x, int32_t y);
    void (*button)(uint32_t evdevButton, bool down);
    void (*axis)(bool horizontal, int32_t v120);
    void (*flush)();
    // Why the route did not open (or stopped working): one line for the
    // check and the notice, "" when it works.
    const char *(*why)();
};

// The routes in the order they are tried.
extern const WlRoute kMutterRoute;  // org.gnome.Mutter.RemoteDesktop (wl_route_mutter.cpp)
extern const WlRoute kKwinRoute;    // org_kde_kwin_fake_input (wl_route_kwin.cpp)
extern const WlRoute kWlrootsRoute; // zwp_virtual_keyboard_v1 + zwlr_virtual_pointer_v1
extern const WlRoute kUinputRoute;  // /dev/uinput
extern const WlRoute *const kWlRoutes[];
extern const int kWlRouteCount;
