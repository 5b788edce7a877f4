// What a backend calls in the core. Safe to include beside a desktop's own
// headers.
#pragma once
#include <cstdint>

// The main routine: argText is everything after the program name (quotes
// still in it). Returns the process exit code.
int AppMain(const char *argText);
// Answers --help and refuses a bad command line before anything else is
// set up (a desktop need not even be there): -1 when the program is to
// start, else the exit code after the answer was given. playsAtOnce, when
// given, tells whether the start plays a recording (a named file, or a
// compiled copy's own) before anyone touches the toolbar.
int AppCommandLineExit(const char *argText, bool *playsAtOnce = nullptr);
// Splits a whole command line (program name first) and returns the argument
// text within it.
const char *ArgumentText(const char *commandLine);
// Every message of the main window that the core handles: MSG_CREATE,
// MSG_DESTROY, MSG_CLOSE, MSG_KEYDOWN, MSG_COMMAND, MSG_TIMER, MSG_MOUSEMOVE,
// MSG_LBUTTONDOWN (wParam/lParam as the desktop gives them). MSG_PAINT is the
// backend's own: it draws ButtonSourceX for each button.
void AppWindowProc(uint32_t msg, uint32_t wParam, int32_t lParam);
// Where button i (0..5) is drawn in the client area and which picture of the
// strip it shows in the current run state.
int32_t ButtonDestX(int i);
int32_t ButtonSourceX(int i);
// Client area of the toolbar.
constexpr int32_t CLIENT_WIDTH = 131;
constexpr int32_t CLIENT_HEIGHT = 26;

// Commands a second start hands to the running toolbar. The numbers travel
// between processes (Windows posts them), so they stay as they are.
enum ControlVerb : uint32_t {
    CONTROL_NONE = 0,
    CONTROL_RECORD = 1,
    CONTROL_PLAY = 2,
    CONTROL_STOP = 3
};
// The name a verb travels under on a socket ("record", "play", "stop"), and
// back (CONTROL_NONE for anything else).
const char *ControlVerbName(uint32_t verb);
uint32_t ControlVerbOf(const char *name);
// A command reached this toolbar: it does what the Rec button, the Play
// button or the play hotkey's stop does. False for an unknown verb.
bool AppControlCommand(uint32_t verb);
