// From the process start to the end of the message loop: the command-line
// split, the window's size and place, the standalone test and the choice of
// run mode.
#include "../engine/appstate.h"
#include "../engine/engine.h"
#include "../engine/eventlist.h"
#include "../engine/text.h"
#include "../engine/winconst.h"
#include "../platform/control.h"
#include "../platform/files.h"
#include "../platform/input.h"
#include "../platform/timer.h"
#include "../platform/ui.h"
#include "app.h"
#include "appcore.h"
#include "fields.h"
#include <cstring>

// Codes 1..32 separate the program name from its argument. Bytes 128..255
// are ordinary characters: they are the lead and continuation bytes of UTF-8
// names, and a path like "/home/zoë/run" must not be cut inside a letter.
static bool IsBlank(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u != 0 && u <= 32;
}

const char *ArgumentText(const char *commandLine) {
    if (!commandLine) return "";
    const char *p = commandLine;
    if (*p == '"') {
        p++;
        while (*p && *p != '"')
            p++;
        if (*p == '"') p++;
    } else {
        while (*p && !IsBlank(*p))
            p++;
    }
    while (IsBlank(*p))
        p++;
    return p;
}

void MainWindowSize(int32_t *width, int32_t *height) {
    // The horizontal frame metric serves both directions, as the window has
    // always been sized.
    int32_t frame = 0, smallCaption = 0;
    PlatFrameMetrics(&frame, &smallCaption);
    // Metrics are in device pixels already; the client area grows by the
    // whole-number scale, so the pictures stay crisp.
    int32_t scale = PlatToolbarScale();
    *width = 2 * frame + CLIENT_WIDTH * scale;
    *height = smallCaption + 2 * frame + CLIENT_HEIGHT * scale;
}

int32_t ClampPosition(int32_t value, int32_t screen, int32_t window) {
    if (value < 5) value = 5;
    if (screen - window < value) value = screen - window;
    return value;
}

// File mode: the whole argument, blanks included, is one path once its
// double quotes are gone. The argument is copied, since the caller's text may
// be read-only; its length is not bounded by the 256-character path fields,
// so the copy lives on the heap.
static bool PlayNamedFile(const char *argText) {
    uint32_t length = uint32_t(std::strlen(argText));
    char *path = static_cast<char *>(AllocZeroed(length + 1, 1));
    if (!path) return false;
    std::memcpy(path, argText, length);
    RemoveQuotes(path);
    uint32_t loaded = LoadRecording(path, 0);
    FreeBlock(path);
    if (!loaded) return false;
    PlatPostCommand(ID_PLAY, 0);
    return true;
}

int AppMain(const char *argText) {
    if (!argText) argText = "";
    int onlyAsked = 0;
    if (AppCommandLineOnly(argText, &onlyAsked)) return onlyAsked;
    // A playback this start asks for counts its first delay from the
    // process start, so setting up the toolkit and the window runs inside it.
    uint32_t startTick = PlatProcessStartTick();
    int32_t width = 0, height = 0;
    MainWindowSize(&width, &height);

    char ownSize[7];
    ReadOwnSizeText(ownSize);
    g_app.ownBaseSize = ParseDecimal(ownSize);

    if (!PlatGetModuleFileName(g_app.ownPath, 255)) g_app.ownPath[0] = 0;
    // Compared unsigned, as the sizes are: a copy carries its records after
    // the program's own bytes.
    bool standalone = FileSizeOf(g_app.ownPath) > uint32_t(g_app.ownBaseSize);

    int32_t x = 0, y = 0;
    ReadSettings(width, height, &x, &y);
    // Kept on the primary monitor, not the whole screen: a place across the
    // seam of two monitors, or where no monitor is, cannot be reached.
    PlatRect monitor;
    PlatPrimaryMonitor(&monitor);
    x = monitor.left + ClampPosition(x - monitor.left, monitor.right - monitor.left, width);
    y = monitor.top + ClampPosition(y - monitor.top, monitor.bottom - monitor.top, height);

    if (!PlatCreateMainWindow(x, y, width, height)) {
        PlatMessageBox("Quorvane Run Failure", nullptr,
                       MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL | MB_SETFOREGROUND, true);
        return 0;
    }
    g_app.mainWindow = PlatMainWindowId();
    PlatShowMainWindow(!standalone);
    // Commands from a second start are for the toolbar the user sees; a
    // compiled copy plays its own recording and ends.
    if (!standalone) PlatControlListen();
    if (!standalone) WaylandNotice();

    if (argText[0]) {
        // A refused file leaves the program idle.
        if (PlayNamedFile(argText)) PlayAskedAt(startTick);
    } else if (standalone) {
        // A copy whose records cannot be had ends here; its window was never
        // shown, so nothing of it stays on screen.
        if (!LoadRecording(g_app.ownPath, g_app.ownBaseSize)) return 0;
        char field[6];
        ReadSpeedField(field);
        g_app.speed = uint8_t(ParseDecimal(field));
        ReadRepeatField(field);
        g_app.repeatCount = ParseDecimal(field);
        PlatPostCommand(ID_PLAY, 0);
        PlayAskedAt(startTick);
    }
    return PlatRunMessageLoop();
}
