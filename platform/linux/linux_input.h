// The input services on Linux are one table of functions, filled by the
// backend the session calls for (X11 or Wayland) and chosen once at start,
// as glfw and SDL choose their platform. The Plat* functions of
// platform/input.h and the GTK shell call through it; nothing else needs to
// know which backend runs.
#pragma once
#include <cstdint>

struct CheckReport;

struct LinuxInput {
    const char *name; // "x11", "wayland"
    // Connects to the desktop; false when this backend cannot work here.
    bool (*open)();
    void (*close)();
    // The route playback takes ("xtest", "wlroots", ...) or nullptr when
    // there is none, and a line on why not.
    const char *(*route)();
    const char *(*why)();
    // Fills the check's lines (platform/control.h) for this backend, open
    // or not: playback, recording, pointer and hotkeys, and the session.
    void (*check)(CheckReport *report);
    // Returns once the desktop has handled every event injected so far: the
    // toolbar takes keys on a click again only after a playback's last
    // release has landed, or that release could hand it the keyboard.
    void (*settle)();
    // The toolbar's window id (0 when it is gone): presses on it make it
    // the foreground window.
    void (*setToolbarWindow)(uint32_t id);
    // The virtual-key code of a key event the toolkit delivered to our own
    // window (keycode: the XKB keycode; keysym when the map lacks it).
    uint32_t (*vkOfKeycode)(unsigned keycode, unsigned long keysym);
    // The backend's own connection for the main loop to watch (-1 without
    // one); queued: events already read wait in its queue, which the
    // socket no longer shows; dispatch takes every one of them and says
    // whether any was input (a key, a button, the wheel, a move, a keymap).
    int (*fd)();
    bool (*queued)();
    bool (*dispatch)();
    // Whether the connection's events tell when input arrives (false: the
    // main loop must look for it itself).
    bool (*follows)();
    // The toolbar saw the pointer enter, leave or move: where it stands is
    // to be read again.
    void (*pointerMoved)();

    // The services of platform/input.h, with the same contracts.
    bool (*inputRecording)(bool on);
    const char *(*recordingUnavailable)();
    void (*snapshot)();
    int16_t (*getAsyncKeyState)(int vk);
    int16_t (*getKeyState)(int vk);
    void (*setKeyboardState)(const uint8_t table[256]);
    uint32_t (*mapVirtualKey)(uint32_t vk);
    void (*getCursorPos)(int32_t *x, int32_t *y);
    uint32_t (*getForegroundWindow)();
    void (*keybdEvent)(uint8_t vk, uint8_t scan, uint32_t flags);
    void (*mouseEvent)(uint32_t flags, uint32_t dx, uint32_t dy);
    void (*mouseButtonEvent)(uint32_t flags, uint32_t data);
    void (*takeWheel)(int32_t *dy, int32_t *dx);
    void (*setCursorPos)(int32_t x, int32_t y);
    int32_t (*screenWidth)();
    int32_t (*screenHeight)();
};

enum LinuxSession { SESSION_X11 = 0, SESSION_WAYLAND = 1 };

// The kind of session from the environment's values (any may be null):
// QUORVANE_SESSION=x11|wayland wins; else Wayland when WAYLAND_DISPLAY is
// set or XDG_SESSION_TYPE says so; else X11.
LinuxSession LinuxSessionOf(const char *override, const char *waylandDisplay,
                            const char *sessionType);

// The backends' tables.
extern const LinuxInput kX11Input;
extern const LinuxInput kWaylandInput;

// Picks and opens the backend for this session: the one the session calls
// for first, the other when that one cannot connect (a Wayland session
// whose socket is gone but with an X display, or the reverse) unless
// QUORVANE_SESSION asked for one by name. False when neither opens.
bool LinuxInputOpen();
void LinuxInputClose();
bool LinuxInputIsOpen();
// The backend in use (the X11 one before LinuxInputOpen).
const LinuxInput &LinuxInputBackend();
// What the session asked for (before any fallback).
LinuxSession LinuxSessionWanted();
// QV_TRACE in the environment: every injected event and posted message is
// listed on stderr.
bool LinuxTracing();
