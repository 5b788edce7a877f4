// Where the pointer is on a Wayland desktop. No protocol tells a program
// this outside its own windows, so each desktop is asked its own way: a
// GNOME Shell extension, a KWin script, Hyprland's socket; where there is
// no way at all (sway), the place is estimated from the input devices'
// motion and corrected whenever it is known for sure.
#pragma once
#include <cstdint>

// A desktop's way of telling the pointer's place.
struct PointerProvider {
    const char *name; // in --check's parentheses: "gnome-shell extension"
    // Whether this desktop is the one running (cheap, no set-up).
    bool (*present)();
    // Sets up; false with why() saying what the user can do.
    bool (*open)();
    void (*close)();
    // The place now; false when it cannot be had.
    bool (*query)(int32_t *x, int32_t *y);
    const char *(*why)();
};

extern const PointerProvider kGnomePointer;    // pointer_gnome.cpp
extern const PointerProvider kKwinPointer;     // pointer_kwin.cpp
extern const PointerProvider kHyprlandPointer; // pointer_hyprland.cpp
extern const PointerProvider kEstimatePointer; // pointer_estimate.cpp

// Moves some desktops tell as they happen (GNOME, KDE): x, y in the
// layout's logical coordinates, us the arrival on the monotonic clock.
typedef void (*PointerMovedFn)(int32_t x, int32_t y, uint64_t us);

// Picks the provider of the running desktop and sets it up.
void PointerOpen(PointerMovedFn moved);
void PointerClose();
// The place now. exact is false for the estimate.
bool PointerQuery(int32_t *x, int32_t *y, bool *exact);
// The provider picked (its name), and when it cannot tell the place, what
// the user can do; "" when it works.
const char *PointerSourceName();
const char *PointerWhy();
// Reported by the providers that push moves.
void PointerReportMove(int32_t x, int32_t y);

// The estimate's inputs.
// The box of all outputs, logical coordinates.
void PointerEstimateBox(int32_t x, int32_t y, int32_t w, int32_t h);
// Relative motion from a device that moves the pointer.
void PointerEstimateMotion(int32_t dx, int32_t dy);
// A place known for sure (the program's own move, the pointer over the
// toolbar).
void PointerEstimateKnown(int32_t x, int32_t y);
// How far off the estimate may be now, in pixels (0 right after a known
// place; grows with the motion since).
int32_t PointerEstimateError();
