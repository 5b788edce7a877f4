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
// QV_TRACE in the environment: every injected event and posted message is
// listed on stderr.
bool X11Tracing();
// The input connection's socket for the main loop to watch, -1 without
// one. Events can also wait already read, in the connection's queue
// (X11InputQueued); X11InputDispatch takes all of them and says whether
// any was input (a key, a button, the wheel, a move, another keymap).
int X11InputFd();
bool X11InputQueued();
bool X11InputDispatch();
// Whether the input state follows the raw events (XInput 2), so the input
// connection's events tell when input arrives.
bool X11InputFollows();
// The pointer may stand elsewhere now (the toolbar saw it enter, leave or
// move): the next read asks the server, also after a warp, which brings no
// raw motion.
void X11PointerMoved();
// The input services of platform/input.h on X11, which the Linux table
// (kX11Input, x11_table.cpp) hands out.
void X11InputSnapshot();
bool X11InputRecording(bool on);
int16_t X11GetAsyncKeyState(int vk);
int16_t X11GetKeyState(int vk);
void X11SetKeyboardState(const uint8_t table[256]);
void X11GetCursorPos(int32_t *x, int32_t *y);
uint32_t X11GetForegroundWindow();
void X11KeybdEvent(uint8_t vk, uint8_t scan, uint32_t flags);
void X11MouseEvent(uint32_t flags, uint32_t dx, uint32_t dy);
void X11MouseButtonEvent(uint32_t flags, uint32_t data);
void X11SetCursorPos(int32_t x, int32_t y);
int32_t X11ScreenWidth();
int32_t X11ScreenHeight();
// Fills the check's lines from the X server of DISPLAY; underWayland when
// that server is a Wayland session's Xwayland.
struct CheckReport;
void X11Check(CheckReport *report, bool underWayland);
// The same for the backend table: under Wayland when the session asked for
// Wayland and got X11.
void X11CheckLines(CheckReport *report);
