// From the process start to the end of the message loop: the command-line
// split, the window's size and place, the standalone test and the choice of
// run mode.
#include "../engine/appstate.h"
#include "../engine/engine.h"
#include "../engine/eventlist.h"
#include "../engine/pace.h"
#include "../engine/text.h"
#include "../engine/winconst.h"
#include "../platform/control.h"
#include "../platform/files.h"
#include "../platform/input.h"
#include "../platform/timer.h"
#include "../platform/ui.h"
#include "app.h"
#include "appcore.h"
#include "cmdline.h"
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

// File mode: the recording the command line names; a refused file leaves
// the program idle.
static bool PlayNamedFile(const char *path) {
    if (!LoadRecording(path, 0)) return false;
    PlatPostCommand(ID_PLAY, 0);
    return true;
}

// The program's own size as built and whether the running file is longer:
// a compiled copy carries its records after the program's own bytes.
static bool FindOwnImage() {
    char ownSize[7];
    ReadOwnSizeText(ownSize);
    g_app.ownBaseSize = ParseDecimal(ownSize);
    if (!PlatGetModuleFileName(g_app.ownPath, 255)) g_app.ownPath[0] = 0;
    // Compared unsigned, as the sizes are.
    return FileSizeOf(g_app.ownPath) > uint32_t(g_app.ownBaseSize);
}

// What a compiled copy carries in its fields. A field still holding its
// placeholder reads 0: a rate of 0 is the recorded pace and a pause limit
// of 0 none, so a copy made without them plays as copies always did.
static void ReadCopyFields() {
    char field[PAUSE_FIELD_WIDTH + 1];
    ReadSpeedField(field);
    g_app.speed = uint8_t(ParseDecimal(field));
    ReadRepeatField(field);
    g_app.repeatCount = ParseDecimal(field);
    ReadRateField(field);
    g_app.ratePercent = ClampRate(ParseDecimal(field));
    ReadPauseField(field);
    int32_t pause = ParseDecimal(field);
    g_app.maxPauseMs = pause > 0 ? pause : 0;
}

// A writable copy of the argument text, which the parse cuts up in place;
// its length is not bounded by the 256-character path fields.
static char *CopyOfText(const char *text) {
    uint32_t length = uint32_t(std::strlen(text));
    char *copy = static_cast<char *>(AllocZeroed(length + 1, 1));
    if (copy) std::memcpy(copy, text, length);
    return copy;
}

// The usage or a refusal, told where the user typed the line; the exit
// code the process ends with.
static int AnswerCommandLine(CommandLineVerdict verdict, const CommandLine &cl) {
    if (verdict == CMDLINE_HELP) {
        char usage[1500];
        CommandLineUsage(usage, sizeof usage);
        PlatCommandLineMessage(usage, false);
        return 0;
    }
    PlatCommandLineMessage(cl.error, true);
    return 2;
}

// A start that only asks: a command for the running toolbar or the check.
// A compiled copy is no toolbar and speaks for none: it plays its own
// recording whatever such an option says. -1 when the start is no such one.
static int AnswerQuestion(const CommandLine &cl, bool standalone) {
    if (standalone || !(cl.control || cl.check)) return -1;
    return cl.check ? CheckCommand() : SendControlCommand(cl.control);
}

int AppCommandLineExit(const char *argText, bool *playsAtOnce) {
    if (playsAtOnce) *playsAtOnce = false;
    bool standalone = FindOwnImage();
    if (!argText || !argText[0]) {
        if (playsAtOnce) *playsAtOnce = standalone;
        return -1;
    }
    char *line = CopyOfText(argText);
    if (!line) return -1;
    CommandLine cl;
    CommandLineVerdict verdict = ParseCommandLine(line, standalone, &cl);
    int code =
        verdict == CMDLINE_RUN ? AnswerQuestion(cl, standalone) : AnswerCommandLine(verdict, cl);
    if (playsAtOnce) *playsAtOnce = code < 0 && (standalone || cl.path[0]);
    FreeBlock(line);
    return code;
}

// The command line's values for the playback it asks for. A rate means
// normal speed, the only one that has a rate, unless --fast says otherwise.
static void PlayOnceWith(const CommandLine &cl) {
    if (!HasPlaybackOptions(cl)) return;
    PlayOnce &o = g_app.once;
    o.active = 1;
    o.speed = cl.fast ? 1 : cl.ratePercent ? 0 : g_app.speed;
    o.ratePercent = cl.ratePercent ? cl.ratePercent : g_app.ratePercent;
    o.maxPauseMs = cl.maxPauseMs >= 0 ? cl.maxPauseMs : g_app.maxPauseMs;
    o.repeatCount = cl.repeatCount ? cl.repeatCount : g_app.repeatCount;
    o.continuous = cl.continuous ? 1 : cl.repeatCount ? 0 : g_app.continuous;
}

int AppMain(const char *argText) {
    if (!argText) argText = "";
    // A playback this start asks for counts its first delay from the
    // process start, so setting up the toolkit and the window runs inside it.
    uint32_t startTick = PlatProcessStartTick();
    int32_t width = 0, height = 0;
    MainWindowSize(&width, &height);
    bool standalone = FindOwnImage();

    // The command line is answered before anything shows: the usage, or a
    // refusal with its exit code.
    char *line = CopyOfText(argText);
    if (!line) return 0;
    CommandLine cl;
    CommandLineVerdict verdict = ParseCommandLine(line, standalone, &cl);
    int answered =
        verdict == CMDLINE_RUN ? AnswerQuestion(cl, standalone) : AnswerCommandLine(verdict, cl);
    if (answered >= 0) {
        FreeBlock(line);
        return answered;
    }

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
        FreeBlock(line);
        return 0;
    }
    g_app.mainWindow = PlatMainWindowId();
    PlatShowMainWindow(!standalone);
    // Commands from a second start are for the toolbar the user sees; a
    // compiled copy plays its own recording and ends.
    if (!standalone) PlatControlListen();
    if (!standalone) WaylandNotice();

    if (cl.path[0]) {
        if (PlayNamedFile(cl.path)) {
            PlayOnceWith(cl);
            PlayAskedAt(startTick);
        }
    } else if (standalone) {
        // A copy whose records cannot be had ends here; its window was never
        // shown, so nothing of it stays on screen.
        if (!LoadRecording(g_app.ownPath, g_app.ownBaseSize)) {
            FreeBlock(line);
            return 0;
        }
        ReadCopyFields();
        PlayOnceWith(cl);
        PlatPostCommand(ID_PLAY, 0);
        PlayAskedAt(startTick);
    }
    FreeBlock(line);
    FollowRunStateWithKeys(true);
    return PlatRunMessageLoop();
}
