// Handlers of the toolbar window's commands and timers that live in app/.
#pragma once
#include "../platform/control.h"
#include <cstdint>

// There is no web home: the Website item and the about box's link, which
// shows this text, open the documentation that comes with the program.
constexpr const char *DOC_LINK_TEXT = "Quorvane documentation";

// window.cpp
// The button (0..5) that x, counted from the window's left edge, belongs to.
// Clicks 3 pixels left of a picture and in the gaps count for a neighbour:
// the toolbar has no dead spots.
int32_t ButtonIndexAt(int32_t x);
// Tells the toolbar whether it may take the keyboard, when that changed:
// first at the end of the start, then after every command and poll tick.
void FollowRunStateWithKeys(bool first = false);

// start.cpp
// Toolbar window size for the desktop's frame metrics: a 131 x 26 client
// area inside the dialog frame and the small caption.
void MainWindowSize(int32_t *width, int32_t *height);
// Keeps a saved coordinate on the screen: at least 5, and never beyond
// screen - window (that bound wins on a too small screen).
int32_t ClampPosition(int32_t value, int32_t screen, int32_t window);

// settings.cpp
// The settings file's path for an executable path: the last '.' anywhere is
// cut and ".ini" appended. Empty when the result would not fit.
void IniPathFor(const char *exePath, char out[256]);
// Derives the INI path from ownPath, sets the remember flag and reads the
// settings; hands back the saved (or default) window position.
void ReadSettings(int32_t windowWidth, int32_t windowHeight, int32_t *x, int32_t *y);
void SaveSettings();

// menu.cpp
void ShowOptionsMenu();                // ID_OPTIONS
void SettingCommand(uint32_t command); // speed, continuous, tips, remember
void HotkeyChoiceCommand(uint32_t command);
void RateCommand(uint32_t command); // the rates of the menu: normal speed at that rate
void PauseLimitCommand();           // the pause limit on or off
void HelpCommand();
void WebsiteCommand(int32_t lParam);
// The documentation page for the program at exePath: the installed one
// (<prefix>/share/doc/quorvane/README.html for <prefix>/bin/program), else
// README.html beside the program (a build folder, a portable copy). True
// when one exists; otherwise out names where it belongs (installed on Linux,
// beside a Windows program) for the failure box. False with out empty when
// no path fits.
bool DocumentationPage(const char *exePath, char *out, uint32_t size);
extern const char HELP_TEXT[];

// poll.cpp
void PollTick();
// A command changed what the poll shows or watches: it looks again soon,
// whatever input it was waiting for.
void PollSoon();
// The window is going: no poll any more, and no command brings it back.
void PollStop();
// Caption text for the current state and pointer (never empty).
void BuildCaption(char out[256]);

// boxes.cpp
// A Wayland session by its environment: WAYLAND_DISPLAY set and not empty,
// or XDG_SESSION_TYPE "wayland" (either may be null).
bool IsWaylandSession(const char *waylandDisplay, const char *sessionType);
// Says once, and never again once remembered, what works on a Wayland
// session and what to do about what does not: the check's lines.
void WaylandNotice();
// The notice's text for a check's report.
void BuildNoticeText(const CheckReport &report, char *out, uint32_t size);
void RepeatCountCommand();
void OtherRateCommand();   // a rate typed into a box
void PauseLengthCommand(); // the pause limit's length typed into a box
void AboutCommand();
void DecorateTick(uint32_t timerId);
// "Mon D YYYY hh:mm:ss" from the compiler's date ("Mmm dd yyyy", day padded
// with a blank) and time texts.
void FormatBuildStamp(const char *date, const char *time, char out[32]);
// The about box's text for the given build stamp.
void BuildAboutText(const char *stamp, char *out, uint32_t size);

// control.cpp
// Hands verb to the running toolbar; 0 when delivered, else 1 with a line
// on the error output.
int SendControlCommand(uint32_t verb);
// "label: text", and "; advice" when there is some.
void FormatCheckLine(const char *label, const CheckLine &line, char *out, uint32_t size);
// Every line "unknown", then the desktop's answer.
void TakeCheck(CheckReport *report);
// Prints the five lines; 0 when playback and recording both work, else 1.
int CheckCommand();
