// The settings file beside the executable, or in the user's configuration
// folder for an installed one: read once before the window
// exists, written (or deleted) once when it is destroyed.
#include "../engine/appstate.h"
#include "../engine/pace.h"
#include "../engine/text.h"
#include "../platform/files.h"
#include "../platform/input.h"
#include "../platform/profile.h"
#include "../platform/ui.h"
#include "appcore.h"
#include <cstring>

static const char SECTION[] = "Quorvane";
static const char WAYLAND_NOTICE_KEY[] = "wayland_notice";

// The byte settings, in the order they are read and written after the
// window position.
static const struct {
    const char *key;
    uint8_t AppState::*field;
    int32_t def;
} byteKeys[] = {
    {"tips", &AppState::tips, 1},
    {"speed", &AppState::speed, 0},
    {"record_key", &AppState::recordHotkey, 0},
    {"play_key", &AppState::playHotkey, 0},
};

// The playback rate and the pause limit, whole numbers after the byte keys.
// A value outside what the player takes is brought within it: a rate of 0
// or less is the recorded pace, a negative limit none.
static int32_t FitPause(int32_t ms) {
    return ms > 0 ? ms : 0;
}
static const struct {
    const char *key;
    int32_t AppState::*field;
    int32_t def;
    int32_t (*fit)(int32_t);
} intKeys[] = {
    {"rate", &AppState::ratePercent, 100, ClampRate},
    {"max_pause", &AppState::maxPauseMs, 0, FitPause},
};

void IniPathFor(const char *exePath, char out[256]) {
    // The last '.' counts even in a folder name: a program without an
    // extension in "C:\my.tools" keeps its settings in "C:\my.ini". A '/'
    // ends the search, though: Linux programs carry no extension, and a
    // program in "~/.local/bin" must not put its settings in "~/.ini". Desktop
    // paths that use backslashes never hold a '/', so they keep the rule.
    size_t length = std::strlen(exePath);
    size_t cut = length;
    for (size_t i = length; i > 0 && exePath[i - 1] != '/'; i--)
        if (exePath[i - 1] == '.') {
            cut = i - 1;
            break;
        }
    // A path that cannot take the suffix gets no settings file at all rather
    // than one under a shortened, different name.
    if (cut + 4 > 255) {
        out[0] = 0;
        return;
    }
    std::memcpy(out, exePath, cut);
    std::memcpy(out + cut, ".ini", 5);
}

void ReadSettings(int32_t windowWidth, int32_t windowHeight, int32_t *x, int32_t *y) {
    // Named beside the program; an installed one that cannot write there
    // keeps it in the user's configuration folder instead.
    char beside[256];
    IniPathFor(g_app.ownPath, beside);
    if (!beside[0] || !PlatSettingsPath(beside, g_app.iniPath, sizeof g_app.iniPath))
        g_app.iniPath[0] = 0;
    const char *path = g_app.iniPath;
    // Any non-directory counts, an empty file too: its presence is the wish
    // to have the settings kept.
    g_app.rememberSettings = path[0] && PlatFileKind(path) == 0 ? 1 : 0;

    // Monitor and window are halved separately, as the default always was.
    PlatRect m;
    PlatPrimaryMonitor(&m);
    int32_t defX = m.left + (m.right - m.left) / 2 - windowWidth / 2;
    int32_t defY = m.top + (m.bottom - m.top) / 2 - windowHeight / 2;
    // Without a path there is nothing to read: some profile readers take an
    // empty name for a system-wide file of their own.
    bool readable = path[0] != 0;
    *x = readable ? PlatProfileGetInt(SECTION, "window_x", defX, path) : defX;
    *y = readable ? PlatProfileGetInt(SECTION, "window_y", defY, path) : defY;
    // Only the low byte is kept; values are not checked against the known
    // choices (an unknown hotkey simply never matches).
    for (auto &k : byteKeys)
        g_app.*k.field = uint8_t(readable ? PlatProfileGetInt(SECTION, k.key, k.def, path) : k.def);
    for (auto &k : intKeys)
        g_app.*k.field = k.fit(readable ? PlatProfileGetInt(SECTION, k.key, k.def, path) : k.def);
    // A limit that is on is also the one the menu switches on again.
    if (g_app.maxPauseMs > 0) g_app.pauseLimitMs = g_app.maxPauseMs;
    g_app.waylandNoticeShown =
        uint8_t(readable ? PlatProfileGetInt(SECTION, WAYLAND_NOTICE_KEY, 0, path) : 0);
}

static void WriteKey(const char *key, int32_t value) {
    char text[32];
    std::memset(text, 0, sizeof text);
    FormatDecimal(value, text);
    PlatProfileWriteString(SECTION, key, text, g_app.iniPath);
}

void SaveSettings() {
    if (!g_app.iniPath[0]) return;
    if (!g_app.rememberSettings) {
        PlatDeleteFile(g_app.iniPath);
        return;
    }
    PlatRect r;
    PlatGetWindowRect(&r);
    WriteKey("window_x", r.left);
    WriteKey("window_y", r.top);
    for (auto &k : byteKeys)
        WriteKey(k.key, int32_t(g_app.*k.field));
    for (auto &k : intKeys)
        WriteKey(k.key, g_app.*k.field);
    // Written only once it is true: files of desktops that never showed the
    // notice keep their six keys.
    if (g_app.waylandNoticeShown) WriteKey(WAYLAND_NOTICE_KEY, 1);
}
