// The one process-wide state record. Every routine of the program reads and
// writes this; there is no other mutable global of the core.
#pragma once
#include "types.h"

// What the command line asked of the one playback it starts. The settings
// stay as they were, to be used (and saved) again once it is over.
struct PlayOnce {
    uint8_t active;
    uint8_t speed;
    uint8_t continuous;
    int32_t ratePercent;
    int32_t maxPauseMs;
    int32_t repeatCount;
};

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
    uint8_t toolbarKeys;  // what the toolbar was last told: 0 nothing yet, 1 takes keys, 2 not
    int32_t ratePercent;  // normal speed plays at this percent of the recorded pace, 10..1000
    int32_t maxPauseMs;   // no wait between two records is longer; 0: no limit
    int32_t pauseLimitMs; // the limit the menu switches on, kept while it is off
    PlayOnce once;
    int32_t lastMoveX; // the last pointer position the recorder took
    int32_t lastMoveY;
    uint8_t keySnapshot[255]; // index 1..254: down as last seen by the recorder
};

extern AppState g_app;

// The values a playback runs with: the settings, or what the command line
// gave for the playback it asked for.
inline uint8_t PlaySpeed() {
    return g_app.once.active ? g_app.once.speed : g_app.speed;
}
inline uint8_t PlayContinuous() {
    return g_app.once.active ? g_app.once.continuous : g_app.continuous;
}
inline int32_t PlayRepeatCount() {
    return g_app.once.active ? g_app.once.repeatCount : g_app.repeatCount;
}
inline int32_t PlayRatePercent() {
    return g_app.once.active ? g_app.once.ratePercent : g_app.ratePercent;
}
inline int32_t PlayMaxPauseMs() {
    return g_app.once.active ? g_app.once.maxPauseMs : g_app.maxPauseMs;
}

// Puts every field back to its start value (also used between tests).
void ResetAppState();
