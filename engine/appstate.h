// The one process-wide state record. Every routine of the program reads and
// writes this; there is no other mutable global of the core.
#pragma once
#include "types.h"

struct AppState {
    uint32_t mainWindow; // 32-bit id of the toolbar window, as the foreground window reports it
    EventList list;
    RunState runState;
    int32_t loopNumber;  // passes finished in the current playback
    uint32_t startTick;  // tick at the start of the recording or of the current pass
    int32_t ownBaseSize; // length of the program as built
    int32_t repeatCount; // passes per playback
    char repeatText[32]; // text of the repeat-count field
    uint8_t tips;        // caption tips shown when exactly 1
    char ownPath[256];
    char iniPath[256];
    char recordingName[32]; // at most 30 characters used
    uint8_t leftHeld;       // last replayed button event was a left press
    uint8_t clickPlayed;    // a left-button event was replayed in this process
    uint8_t speed;          // 1 fast, anything else normal
    uint8_t continuous;
    uint8_t rememberSettings;
    uint8_t recordHotkey;
    uint8_t playHotkey;
    uint8_t waylandNoticeShown; // the Wayland notice was shown once already
    uint8_t playAsked;          // the next playback from idle was asked for at playAskedTick
    uint32_t playAskedTick;
    int32_t lastMoveX; // the last pointer position the recorder took
    int32_t lastMoveY;
    uint8_t keySnapshot[255]; // index 1..254: down as last seen by the recorder
};

extern AppState g_app;

// Puts every field back to its start value (also used between tests).
void ResetAppState();
