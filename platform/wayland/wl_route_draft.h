// One way of putting input into a Wayland desktop. Each route is a table of
// these functions, tried in order until one opens. Keys are evdev key codes
// (the desktop applies its own layout), buttons evdev BTN_ codes, positions
// logical coordinates of the whole layout.
#pragma once
#include <cstdint>

struct WlRoute {
    const char *name;
    // Makes the devices, primes them and keeps them; false when the desktop
    // does not offer the route (why() says what is missing).
    bool (*open)();
    void (*close)();
    void (*key)(uint32_t code, bool down);
    void (*motion)(double x, double y);
    void (*button)(uint32_t code, bool down);
    // axis 0 the wheel (positive down), 1 the horizontal wheel (positive
    // right); 120 a notch. A route that turns only whole notches keeps the
    // rest for the next turn of the same wheel.
    void (*axis)(int axis, int32_t v120);
    // Sends what is queued.
    void (*flush)();
    // After a failed open: why. After a good one: what the route cannot do
    // here (empty when nothing).
    const char *(*why)();
};

extern const WlRoute kMutterRoute;
extern const WlRoute kKwinRoute;
