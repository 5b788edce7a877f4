// The window, its boxes, dialogs and menu. Behaviour lives in the core; a
// backend draws what it is told and hands every event of the main window to
// AppWindowProc (app/app.h) as the message it stands for.
#pragma once
#include <cstdint>

struct PlatRect {
    int32_t left, top, right, bottom;
};

// ---- main window ----
// Creates the hidden toolbar window (frame rectangle x, y, w, h). Sends
// MSG_CREATE to AppWindowProc before it returns. False on failure.
bool PlatCreateMainWindow(int32_t x, int32_t y, int32_t w, int32_t h);
void PlatShowMainWindow(bool show);
// The window's 32-bit id, the value PlatGetForegroundWindow reports for it.
uint32_t PlatMainWindowId();
// Runs until PlatPostQuit; returns its code.
int PlatRunMessageLoop();
void PlatPostQuit(int code);
void PlatDestroyMainWindow();
// Posts MSG_COMMAND / MSG_CLOSE to the main window; runs after the current
// message, and before any timer that is due.
void PlatPostCommand(uint32_t wParam, int32_t lParam);
void PlatPostClose();
void PlatSetCaption(const char *text);
void PlatGetCaption(char *buf, uint32_t size);
// Repaints the whole window (the Rec picture depends on the run state).
void PlatInvalidate();
// The frame rectangle in screen coordinates.
void PlatGetWindowRect(PlatRect *r);
// Dialog frame width and small caption height, for the window size.
void PlatFrameMetrics(int32_t *dlgFrame, int32_t *smallCaption);
// ---- the desktop around the window ----
// Whole device pixels per toolbar pixel (1, 2, ...). Places, sizes, frame
// metrics, the pointer and event positions all reach the core in device
// pixels, the ones recording and playback use; only the 21-pixel button
// pitch is counted in toolbar pixels.
int32_t PlatToolbarScale();
// The primary monitor, in the same device pixels: the toolbar starts centred
// on it and a saved place is kept on it.
void PlatPrimaryMonitor(PlatRect *r);
// A Wayland session: only X11 windows can be seen and driven there.
bool PlatWaylandSession();
// Whether the toolbar may take the keyboard focus (on a click): not while a
// playback types into another window, nor before one asked for at start.
void PlatToolbarTakesKeys(bool take);
// The desktop's major version (6 or more where there is no such number).
uint32_t PlatGetVersionMajor();
// The hand cursor and button pictures, made at MSG_CREATE, freed at MSG_DESTROY.
void PlatCreateGraphics();
void PlatDestroyGraphics();
void PlatSetHandCursor();

// ---- boxes and dialogs (modal; timers and posted commands keep running) ----
// flags as the desktop's message box flags; owned by the main window unless
// unowned. Returns 1 (OK) or 2 (Cancel).
int PlatMessageBox(const char *text, const char *title, uint32_t flags, bool unowned = false);
enum PlatFilter { FILTER_RECORDINGS = 0, FILTER_PROGRAMS = 1 };
// buf holds the default name in and the chosen path out (260 bytes);
// mode 1 open, 2 save (with the overwrite prompt). 1 when chosen, else 0 and
// buf emptied.
int PlatChooseFileName(char *buf, PlatFilter filter, int mode);

enum PlatMenuKind : uint8_t { MENU_ITEM, MENU_SEPARATOR, MENU_SUBMENU_BEGIN, MENU_SUBMENU_END };
struct PlatMenuItem {
    PlatMenuKind kind;
    const char *text; // with & mnemonics; the submenu's caption for MENU_SUBMENU_BEGIN
    uint32_t command;
    bool checked;
};
// Shows the popup at screen (x, y); the chosen item is posted as a command
// with lParam 0.
void PlatTrackMenu(const PlatMenuItem *items, int n, int32_t x, int32_t y);

// The repeat-count box: title, prompt and flags as given, a digits-only field
// pre-filled with repeatText and fully selected. The field's text is copied
// back into repeatText (at most 30 characters) when the box closes.
int PlatRepeatCountBox(const char *text, const char *title, uint32_t flags, char repeatText[32]);
// A box of the same kind for a number that may have a decimal point: the
// field takes digits and '.'.
int PlatNumberBox(const char *text, const char *title, uint32_t flags, char numberText[32]);
// The about box with the program icon and a blue link that posts ID_WEBSITE
// with lParam 1.
void PlatAboutBox(const char *text, const char *title, uint32_t flags, const char *linkText);
// One step of the box search that places a control into an open box
// (TIMER_ABOUT_DECORATE / TIMER_REPEAT_DECORATE). True once nothing is left
// to do; backends whose boxes carry their controls already answer true.
bool PlatDecorateBox(uint32_t timerId);
// The answer to a command line: the usage (error false) or why it was
// refused (error true), where the user who typed it sees it.
void PlatCommandLineMessage(const char *text, bool error);
// Opens a web page, or a local file by its absolute path, with the desktop's
// default handler; false when there is none or it cannot be started.
bool PlatOpenUrl(const char *url);
