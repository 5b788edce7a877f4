// What the X11 input services and the GTK shell share inside the Linux
// backend.
#pragma once
#include <cstdint>

// Opens the input services' own display connection; false when there is no
// X display to talk to.
bool X11InputOpen();
// Gives back what the input services borrowed (spare keycodes) and closes
// their connection.
void X11InputClose();
// The toolbar's X window: a press on it makes it the foreground window at
// once, before the press event itself is dispatched.
void X11SetToolbarWindow(uint32_t xid);
// Fills the check's lines from the X server of DISPLAY; underWayland when
// that server is a Wayland session's Xwayland.
struct CheckReport;
void X11Check(CheckReport *report, bool underWayland);
// The same for the backend table: under Wayland when the session asked for
// Wayland and got X11.
void X11CheckLines(CheckReport *report);
