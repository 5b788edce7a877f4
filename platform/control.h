// The program as a command-line tool: commands from a second start to the
// toolbar that runs already, and what the desktop lets the program do.
#pragma once
#include <cstdint>

// ---- commands to the running toolbar ----
// Where a desktop gives programs no global hotkeys, its own keyboard
// settings run `quorvane --play`; that start hands the command on and ends.
enum PlatSendResult { SEND_DELIVERED, SEND_NO_TOOLBAR, SEND_FAILED };
// The toolbar side: from now on commands arrive, on the UI thread, as
// AppControlCommand (app/app.h). False when another toolbar of this desktop
// takes them already, or no channel can be made; the toolbar runs on.
bool PlatControlListen();
void PlatControlStop();
// The sending side: hands verb (a ControlVerb of app/app.h) to the toolbar
// of this desktop. why names the fault of a failure (may be left empty).
PlatSendResult PlatControlSend(uint32_t verb, char *why, uint32_t whySize);

// ---- what works here ----
// One line of the check: what the program found, whether it serves, and for
// a part that does not, what the user can do.
struct CheckLine {
    bool works;
    char text[200];
    char advice[300];
};
struct CheckReport {
    CheckLine session, playback, recording, pointer, hotkeys;
};
// The desktop's answer, line by line. The caller fills each line with
// "unknown" first; a backend leaves alone what it cannot tell.
void PlatCheck(CheckReport *report);
