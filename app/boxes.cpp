// The repeat-count and about boxes. Placing their controls is the backend's
// work (PlatDecorateBox); the core owns what the boxes say and what their
// answers do.
#include "../engine/appstate.h"
#include "../engine/text.h"
#include "../engine/winconst.h"
#include "../platform/timer.h"
#include "../platform/ui.h"
#include "appcore.h"
#include "cmdline.h"
#include <cstdio>
#include <cstring>

void RepeatCountCommand() {
    // The search timer places the field while the box's own loop runs.
    PlatSetTimer(TIMER_REPEAT_DECORATE, 10);
    std::snprintf(g_app.repeatText, sizeof g_app.repeatText, "%d",
                  g_app.repeatCount < 1 ? 1 : g_app.repeatCount);
    int answer = PlatRepeatCountBox("Number of Playback Loops:\t\n\n\n\n\n", "Playback Repeats",
                                    MB_OKCANCEL | MB_ICONQUESTION | MB_TOPMOST, g_app.repeatText);
    if (answer == IDOK) {
        // An empty field or 0 still means one pass; a count is the opposite
        // of playing until stopped.
        int32_t n = ParseDecimal(g_app.repeatText);
        g_app.repeatCount = n >= 1 ? n : 1;
        g_app.continuous = 0;
    }
    // The box may have closed before the field was placed.
    PlatKillTimer(TIMER_REPEAT_DECORATE);
}

// A number typed into a box of the repeat box's kind; true with the field's
// text when the box was confirmed. The search timer places the field where
// the desktop's box cannot hold one of its own.
static bool AskNumber(const char *prompt, const char *title, char text[32]) {
    PlatSetTimer(TIMER_REPEAT_DECORATE, 10);
    int answer = PlatNumberBox(prompt, title, MB_OKCANCEL | MB_ICONQUESTION | MB_TOPMOST, text);
    PlatKillTimer(TIMER_REPEAT_DECORATE);
    return answer == IDOK;
}

void OtherRateCommand() {
    char text[32];
    FormatFixed(g_app.ratePercent, 2, text);
    if (!AskNumber("Play at this many times the recorded pace (0.1 to 10):\t\n\n\n\n\n",
                   "Playback Rate", text))
        return;
    int32_t percent = 0;
    // A mistyped rate is said so and changes nothing.
    if (!ParseRate(text, &percent)) {
        PlatMessageBox("The rate must be a number from 0.1 to 10, such as 1.5.", PROGRAM_NAME,
                       BOX_INFO);
        return;
    }
    g_app.ratePercent = percent;
    // A rate is a pace of normal speed.
    g_app.speed = 0;
}

void PauseLengthCommand() {
    char text[32];
    FormatFixed(g_app.maxPauseMs > 0 ? g_app.maxPauseMs : g_app.pauseLimitMs, 3, text);
    if (!AskNumber("Longest pause between two events, in seconds (0 for no limit):\t\n\n\n\n\n",
                   "Longest Pause", text))
        return;
    int32_t ms = 0;
    if (!ParseSeconds(text, &ms)) {
        PlatMessageBox("The longest pause must be a number of seconds from 0 to 86400, such as 2 "
                       "or 0.5.",
                       PROGRAM_NAME, BOX_INFO);
        return;
    }
    // A length is the wish to have the limit: it is switched on with it, and
    // 0 switches it off.
    if (ms > 0) g_app.pauseLimitMs = ms;
    g_app.maxPauseMs = ms;
}

void FormatBuildStamp(const char *date, const char *time, char out[32]) {
    // The compiler pads a one-digit day with a blank ("Dec  8 2026"); the
    // stamp shows it unpadded.
    char month[4] = {date[0], date[1], date[2], 0};
    const char *day = date + 4;
    if (*day == ' ') day++;
    int dayLen = 0;
    while (day[dayLen] && day[dayLen] != ' ')
        dayLen++;
    const char *year = day + dayLen;
    while (*year == ' ')
        year++;
    std::snprintf(out, 32, "%s %.*s %.4s %.8s", month, dayLen > 2 ? 2 : dayLen, day, year, time);
}

void BuildAboutText(const char *stamp, char *out, uint32_t size) {
    std::snprintf(out, size,
                  "\n\n\n%s  %s\n\n"
                  "Copyright (C) 2026 The Quorvane developers\n"
                  "Build:  %s"
                  "\n\nIf you like this program, please consider donating at our "
                  "website.\t\nThank you!\n\n",
                  PROGRAM_NAME, PROGRAM_VERSION, stamp);
}

void AboutCommand() {
    PlatSetTimer(TIMER_ABOUT_DECORATE, 10);
    char stamp[32];
    FormatBuildStamp(__DATE__, __TIME__, stamp);
    char text[512];
    BuildAboutText(stamp, text, sizeof text);
    char title[32];
    std::snprintf(title, sizeof title, "About %s", PROGRAM_NAME);
    PlatAboutBox(text, title, MB_OK | MB_USERICON | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST,
                 DOC_LINK_TEXT);
    PlatKillTimer(TIMER_ABOUT_DECORATE);
}

// One search step; the timer stops once the box carries its control.
void DecorateTick(uint32_t timerId) {
    if (PlatDecorateBox(timerId)) PlatKillTimer(timerId);
}

bool IsWaylandSession(const char *waylandDisplay, const char *sessionType) {
    if (waylandDisplay && waylandDisplay[0]) return true;
    return sessionType && std::strcmp(sessionType, "wayland") == 0;
}

// Each part on a line of its own; what does not work carries what to do,
// so the box is the check's advice, not a bare refusal.
void BuildNoticeText(const CheckReport &r, char *out, uint32_t size) {
    const struct {
        const char *label;
        const CheckLine *line;
    } parts[] = {{"Playback", &r.playback},
                 {"Recording", &r.recording},
                 {"Pointer", &r.pointer},
                 {"Hotkeys", &r.hotkeys}};
    uint32_t n = uint32_t(
        std::snprintf(out, size, "This desktop is a Wayland session: %s.\n", r.session.text));
    for (auto &p : parts) {
        if (n >= size) break;
        n += uint32_t(std::snprintf(out + n, size - n, "\n%s: %s.", p.label, p.line->text));
        if (n < size && p.line->advice[0])
            n += uint32_t(std::snprintf(out + n, size - n, "\n    %s.", p.line->advice));
    }
    if (n < size)
        std::snprintf(out + n, size - n,
                      "\n\nquorvane --check prints these lines again in a terminal.");
}

void WaylandNotice() {
    if (g_app.waylandNoticeShown || !PlatWaylandSession()) return;
    // Marked first: the box's own loop runs the poll, and the flag is kept
    // with the other settings at exit.
    g_app.waylandNoticeShown = 1;
    CheckReport report;
    TakeCheck(&report);
    char text[2048];
    BuildNoticeText(report, text, sizeof text);
    PlatMessageBox(text, PROGRAM_NAME,
                   MB_OK | MB_ICONINFORMATION | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST);
}
