// The 50 ms poll: the two hotkeys, then the caption, which is the program's
// only status line.
#include "../engine/appstate.h"
#include "../engine/engine.h"
#include "../engine/winconst.h"
#include "../platform/input.h"
#include "../platform/timer.h"
#include "../platform/ui.h"
#include "appcore.h"
#include <cstdio>
#include <cstring>

// The tip of each hotkey choice, appended to "Rec (" / "Play (".
static const struct {
    uint8_t choice;
    const char *tip;
} hotkeyKeys[] = {
    {HOTKEY_CSA, "ctl+shft+alt+"},
    {HOTKEY_PRTSC, "Print Scr)"},
    {HOTKEY_F8, "F8)"},
    {HOTKEY_F12, "F12)"},
};

static const uint32_t POLL_MS = 50;
// The poll timer fires on input (PlatSetInputTimer), not every 50 ms.
static bool s_waitsForInput;

static bool IsDown(int vk) {
    return PlatGetKeyState(vk) < 0;
}

// An unknown choice (hand-edited settings) matches no key at all.
static bool HotkeyDown(uint8_t choice, uint8_t letter) {
    uint8_t keys[4];
    int n = HotkeyChordKeys(choice, letter, keys);
    for (int i = 0; i < n; i++)
        if (!IsDown(keys[i])) return false;
    return n > 0;
}

static void AppendHotkeyTip(char *text, size_t size, uint8_t choice, char letter) {
    for (auto &h : hotkeyKeys) {
        if (h.choice != choice) continue;
        size_t len = std::strlen(text);
        if (choice == HOTKEY_CSA)
            std::snprintf(text + len, size - len, "%s%c)", h.tip, letter);
        else
            std::snprintf(text + len, size - len, "%s", h.tip);
        return;
    }
}

static const char *const buttonTips[6] = {"Open (O)", "Save",    "Rec (",
                                          "Play (",   "Compile", "Options (Enter)"};

// Older desktops draw the caption in a narrower space; the short forms
// ("ctl+sft+alt+R", "Prnt Scr") fit it.
static void ShortenForOldDesktop(char *text) {
    if (text[0] != 'R' && text[0] != 'P') return;
    char *w = text;
    for (const char *r = text; *r; r++)
        if (*r != 'h' && *r != 'i') *w++ = *r;
    *w = 0;
}

static void PointerTip(char *out, size_t size) {
    if (g_app.tips != 1) return;
    int32_t x = 0, y = 0;
    PlatGetCursorPos(&x, &y);
    PlatRect r;
    PlatGetWindowRect(&r);
    // Both edges count as inside, and the caption bar and frame too: the tip
    // is chosen by x alone.
    if (x < r.left || x > r.right || y < r.top || y > r.bottom) return;
    int32_t index = ButtonIndexAt((x - r.left) / PlatToolbarScale());
    std::snprintf(out, size, "%s", buttonTips[index]);
    if (index == 2) AppendHotkeyTip(out, size, g_app.recordHotkey, 'R');
    if (index == 3) AppendHotkeyTip(out, size, g_app.playHotkey, 'P');
    if ((PlatGetVersionMajor() & 0xFF) <= 5) ShortenForOldDesktop(out);
}

void BuildCaption(char out[256]) {
    out[0] = 0;
    uint32_t seconds = (PlatGetTickCount() - g_app.startTick) / 1000;
    int minutes = int(seconds / 60), rest = int(seconds % 60);
    if (g_app.runState == Recording) {
        std::snprintf(out, 256, "REC %02d:%02d", minutes, rest);
    } else if (g_app.runState == Playing) {
        std::snprintf(out, 256, "PLAY %02d:%02d (%d/%d%s)", minutes, rest, g_app.loopNumber + 1,
                      PlayContinuous() ? 0 : PlayRepeatCount(), PlayContinuous() ? "*" : "");
    } else if (g_app.recordingName[0]) {
        std::snprintf(out, 256, "%.31s", g_app.recordingName);
    } else {
        PointerTip(out, 256);
    }
    if (!out[0]) std::snprintf(out, 256, "%s", PROGRAM_NAME);
}

// The poll has something to look at only when input came (a hotkey, the
// pointer over a tip) or the caption's clock turns. Where the backend says
// when input comes, the next tick waits for it (at least the usual 50 ms
// after this one), or for the next second of a recording's clock; idle,
// nothing else changes the caption or the keys that matter but a command
// (a load, a playback started from the command line), which wakes the poll
// itself (PollSoon). A playback keeps the steady 50 ms for its stop keys.
static void NextPoll() {
    if (g_app.runState == Playing) {
        if (s_waitsForInput) PlatSetTimer(TIMER_POLL, POLL_MS);
        s_waitsForInput = false;
        return;
    }
    uint32_t latest = 0;
    if (g_app.runState == Recording) latest = 1000 - (PlatGetTickCount() - g_app.startTick) % 1000;
    s_waitsForInput = PlatSetInputTimer(TIMER_POLL, POLL_MS, latest);
}

void PollSoon() {
    if (!s_waitsForInput) return;
    s_waitsForInput = false;
    PlatSetTimer(TIMER_POLL, POLL_MS);
}

void PollStop() {
    s_waitsForInput = false;
    PlatKillTimer(TIMER_POLL);
}

void PollTick() {
    PlatInputSnapshot();
    // At most one command per tick; the record hotkey wins when both are
    // down, and when both name the same key.
    if (HotkeyDown(g_app.recordHotkey, 'R')) {
        PlatPostCommand(RECORD_BY_HOTKEY, 0);
    } else if (g_app.runState == Playing && StopKeyDown()) {
        // However long the wait for the next record, the stop keys act now.
        StopPlaybackByKey();
    } else if (HotkeyDown(g_app.playHotkey, 'P')) {
        // Lets the hotkey's own keys come up before a playback starts
        // feeding input.
        PlatSleep(150);
        PlatPostCommand(g_app.runState == Playing ? PLAY_STOP_REQUEST : ID_PLAY, 0);
    }

    char text[256];
    BuildCaption(text);
    char current[256];
    PlatGetCaption(current, 256);
    if (std::strcmp(current, text) != 0) PlatSetCaption(text);
    FollowRunStateWithKeys();
    NextPoll();
}
