// The X11 backend's entries in the Linux table of input services.
#include "../linux/linux_input.h"
#include "x11_backend.h"
#include "x11_conn.h"
#include "x11_keymap.h"
#include "x11_wheel.h"

namespace {

const char *Route() {
    return "xtest";
}

const char *Why() {
    return "";
}

// Recording on X11 needs nothing the user must allow first.
const char *RecordingUnavailable() {
    return nullptr;
}

void Settle() {
    if (Display *d = X11Conn()) XSync(d, False);
}

} // namespace

const LinuxInput kX11Input = {
    "x11",
    X11InputOpen,
    X11InputClose,
    Route,
    Why,
    X11CheckLines,
    Settle,
    X11SetToolbarWindow,
    X11KeymapVkOfKeycode,
    X11InputFd,
    X11InputQueued,
    X11InputDispatch,
    X11InputFollows,
    X11PointerMoved,
    X11InputRecording,
    RecordingUnavailable,
    X11InputSnapshot,
    X11GetAsyncKeyState,
    X11GetKeyState,
    X11SetKeyboardState,
    X11KeymapScan,
    X11GetCursorPos,
    X11GetForegroundWindow,
    X11KeybdEvent,
    X11MouseEvent,
    X11MouseButtonEvent,
    X11WheelTake,
    X11SetCursorPos,
    X11ScreenWidth,
    X11ScreenHeight,
};
