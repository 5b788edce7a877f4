// The options menu and the commands chosen in it that are neither recording,
// playback nor file work.
#include "../engine/appstate.h"
#include "../engine/text.h"
#include "../engine/winconst.h"
#include "../platform/files.h"
#include "../platform/ui.h"
#include "appcore.h"
#include <cstdio>
#include <cstring>

// ---- the menu as data ----
// When an item carries its check mark; evaluated afresh each time the menu
// opens.
enum CheckRule : uint8_t {
    CHECK_NEVER,
    CHECK_SPEED_NORMAL,
    CHECK_SPEED_FAST,
    CHECK_CONTINUOUS,
    CHECK_REMEMBER,
    CHECK_TIPS,
    CHECK_RECKEY,     // record hotkey == value
    CHECK_PLAYKEY,    // play hotkey == value
    CHECK_RATE,       // rate == value (percent)
    CHECK_RATE_OTHER, // a rate none of the CHECK_RATE items names
    CHECK_PAUSE_LIMIT,
};

// Items whose text shows a value: the table's text is a format for it.
enum TextRule : uint8_t {
    TEXT_FIXED,
    TEXT_OTHER_RATE,  // "%s": " (1.5x)" while the rate is another one, else ""
    TEXT_PAUSE_LIMIT, // "%s": the limit's length in seconds
};

struct MenuEntry {
    PlatMenuKind kind;
    const char *text;
    uint32_t command;
    CheckRule rule;
    int32_t value;
    TextRule textRule = TEXT_FIXED;
};

static const MenuEntry optionsMenu[] = {
    {MENU_ITEM, "Play Speed: &Normal", ID_SPEED_NORMAL, CHECK_SPEED_NORMAL, 0},
    {MENU_ITEM, "Play Speed: &Fast", ID_SPEED_FAST, CHECK_SPEED_FAST, 0},
    {MENU_SEPARATOR, nullptr, 0, CHECK_NEVER, 0},
    {MENU_ITEM, "Play Rate: 0.&5x", ID_RATE_50, CHECK_RATE, 50},
    {MENU_ITEM, "Play Rate: &1x", ID_RATE_100, CHECK_RATE, 100},
    {MENU_ITEM, "Play Rate: &2x", ID_RATE_200, CHECK_RATE, 200},
    {MENU_ITEM, "Play Rate: &4x", ID_RATE_400, CHECK_RATE, 400},
    {MENU_ITEM, "Play Rate: &Other%s...", ID_RATE_OTHER, CHECK_RATE_OTHER, 0, TEXT_OTHER_RATE},
    {MENU_ITEM, "Limit &Pauses to %s s", ID_PAUSE_LIMIT, CHECK_PAUSE_LIMIT, 0, TEXT_PAUSE_LIMIT},
    {MENU_ITEM, "Set Pause &Limit...", ID_PAUSE_LENGTH, CHECK_NEVER, 0},
    {MENU_SEPARATOR, nullptr, 0, CHECK_NEVER, 0},
    {MENU_ITEM, "&Continuous Playback", ID_CONTINUOUS, CHECK_CONTINUOUS, 0},
    {MENU_ITEM, "Set &Repeat Count...", ID_REPEAT_COUNT, CHECK_NEVER, 0},
    {MENU_SEPARATOR, nullptr, 0, CHECK_NEVER, 0},
    {MENU_SUBMENU_BEGIN, "Recording Hotkey", 0, CHECK_NEVER, 0},
    {MENU_ITEM, "Control + Shift + Alt + R", ID_RECKEY_CSA, CHECK_RECKEY, HOTKEY_CSA},
    {MENU_ITEM, "Print Screen", ID_RECKEY_PRTSC, CHECK_RECKEY, HOTKEY_PRTSC},
    {MENU_ITEM, "F8", ID_RECKEY_F8, CHECK_RECKEY, HOTKEY_F8},
    {MENU_ITEM, "F12", ID_RECKEY_F12, CHECK_RECKEY, HOTKEY_F12},
    {MENU_SUBMENU_END, nullptr, 0, CHECK_NEVER, 0},
    {MENU_SUBMENU_BEGIN, "Playback Hotkey", 0, CHECK_NEVER, 0},
    {MENU_ITEM, "Control + Shift + Alt + P", ID_PLAYKEY_CSA, CHECK_PLAYKEY, HOTKEY_CSA},
    {MENU_ITEM, "Print Screen", ID_PLAYKEY_PRTSC, CHECK_PLAYKEY, HOTKEY_PRTSC},
    {MENU_ITEM, "F8", ID_PLAYKEY_F8, CHECK_PLAYKEY, HOTKEY_F8},
    {MENU_ITEM, "F12", ID_PLAYKEY_F12, CHECK_PLAYKEY, HOTKEY_F12},
    {MENU_SUBMENU_END, nullptr, 0, CHECK_NEVER, 0},
    {MENU_ITEM, "Remember &Settings in .INI", ID_REMEMBER_SETTINGS, CHECK_REMEMBER, 0},
    {MENU_ITEM, "Show &Tips", ID_TIPS, CHECK_TIPS, 0},
    {MENU_SEPARATOR, nullptr, 0, CHECK_NEVER, 0},
    {MENU_ITEM, "&Help", ID_HELP, CHECK_NEVER, 0},
    {MENU_ITEM, "Quorvane &Website", ID_WEBSITE, CHECK_NEVER, 0},
    {MENU_ITEM, "&About Quorvane", ID_ABOUT, CHECK_NEVER, 0},
};
constexpr int MENU_LENGTH = int(sizeof optionsMenu / sizeof optionsMenu[0]);

// Whether one of the menu's rates is the one set.
static bool IsMenuRate(int32_t percent) {
    for (const MenuEntry &e : optionsMenu)
        if (e.rule == CHECK_RATE && e.value == percent) return true;
    return false;
}

// The menu tests for non-zero where the rest of the program wants exactly 1,
// so a hand-edited 2 shows a check mark.
static bool IsChecked(const MenuEntry &e) {
    switch (e.rule) {
    case CHECK_NEVER: return false;
    case CHECK_SPEED_NORMAL: return g_app.speed == 0;
    case CHECK_SPEED_FAST: return g_app.speed != 0;
    case CHECK_CONTINUOUS: return g_app.continuous != 0;
    case CHECK_REMEMBER: return g_app.rememberSettings != 0;
    case CHECK_TIPS: return g_app.tips != 0;
    case CHECK_RECKEY: return g_app.recordHotkey == e.value;
    case CHECK_PLAYKEY: return g_app.playHotkey == e.value;
    case CHECK_RATE: return g_app.ratePercent == e.value;
    case CHECK_RATE_OTHER: return !IsMenuRate(g_app.ratePercent);
    case CHECK_PAUSE_LIMIT: return g_app.maxPauseMs > 0;
    }
    return false;
}

// An item's text with its value filled in; out holds 64 bytes.
static const char *ItemText(const MenuEntry &e, char *out) {
    char value[32] = "";
    switch (e.textRule) {
    case TEXT_FIXED: return e.text;
    case TEXT_OTHER_RATE:
        if (!IsMenuRate(g_app.ratePercent)) {
            char rate[24] = "";
            FormatFixed(g_app.ratePercent, 2, rate);
            std::snprintf(value, sizeof value, " (%sx)", rate);
        }
        break;
    case TEXT_PAUSE_LIMIT:
        FormatFixed(g_app.maxPauseMs > 0 ? g_app.maxPauseMs : g_app.pauseLimitMs, 3, value);
        break;
    }
    std::snprintf(out, 64, e.text, value);
    return out;
}

void ShowOptionsMenu() {
    // While a recording or playback runs, a menu would only get in the way
    // of the input being taken or given.
    if (g_app.runState != Idle) return;
    PlatMenuItem items[MENU_LENGTH];
    char texts[MENU_LENGTH][64];
    for (int i = 0; i < MENU_LENGTH; i++) {
        const MenuEntry &e = optionsMenu[i];
        items[i] = PlatMenuItem{e.kind, ItemText(e, texts[i]), e.command, IsChecked(e)};
    }
    PlatRect r;
    PlatGetWindowRect(&r);
    PlatTrackMenu(items, MENU_LENGTH, r.right - 16, r.bottom - 10);
}

// ---- setting commands: effective in every run state, kept in memory ----
enum SettingAction : uint8_t { SET_ZERO, SET_ONE, TOGGLE };

static const struct {
    uint32_t command;
    uint8_t AppState::*field;
    SettingAction action;
} settingTable[] = {
    {ID_SPEED_NORMAL, &AppState::speed, SET_ZERO},
    {ID_SPEED_FAST, &AppState::speed, SET_ONE},
    {ID_CONTINUOUS, &AppState::continuous, TOGGLE},
    {ID_TIPS, &AppState::tips, TOGGLE},
    {ID_REMEMBER_SETTINGS, &AppState::rememberSettings, TOGGLE},
};

void SettingCommand(uint32_t command) {
    for (auto &s : settingTable) {
        if (s.command != command) continue;
        uint8_t &v = g_app.*s.field;
        // A toggle of any non-zero value gives 0, so a hand-edited 2 is
        // switched off, not on.
        v = s.action == SET_ZERO ? 0 : s.action == SET_ONE ? 1 : (v == 0 ? 1 : 0);
        return;
    }
}

// ---- hotkey choices ----
static const struct {
    uint32_t command;
    bool forRecording;
    uint8_t choice;
} hotkeyTable[] = {
    {ID_RECKEY_CSA, true, HOTKEY_CSA},   {ID_RECKEY_PRTSC, true, HOTKEY_PRTSC},
    {ID_RECKEY_F8, true, HOTKEY_F8},     {ID_RECKEY_F12, true, HOTKEY_F12},
    {ID_PLAYKEY_CSA, false, HOTKEY_CSA}, {ID_PLAYKEY_PRTSC, false, HOTKEY_PRTSC},
    {ID_PLAYKEY_F8, false, HOTKEY_F8},   {ID_PLAYKEY_F12, false, HOTKEY_F12},
};

void HotkeyChoiceCommand(uint32_t command) {
    for (auto &h : hotkeyTable) {
        if (h.command != command) continue;
        uint8_t &mine = h.forRecording ? g_app.recordHotkey : g_app.playHotkey;
        uint8_t other = h.forRecording ? g_app.playHotkey : g_app.recordHotkey;
        // One key cannot serve both; the two Ctrl+Shift+Alt choices differ
        // in their letter and so never clash.
        if (h.choice != HOTKEY_CSA && other == h.choice) {
            PlatMessageBox(h.forRecording ? "Conflict: Playback Hotkey"
                                          : "Conflict: Recording Hotkey",
                           PROGRAM_NAME, MB_OK);
            return;
        }
        mine = h.choice;
        return;
    }
}

// ---- playback rate and pause limit ----
static const struct {
    uint32_t command;
    int32_t percent;
} rateTable[] = {
    {ID_RATE_50, 50},
    {ID_RATE_100, 100},
    {ID_RATE_200, 200},
    {ID_RATE_400, 400},
};

// A rate is a pace of normal speed, so choosing one leaves fast speed.
void RateCommand(uint32_t command) {
    for (auto &r : rateTable)
        if (r.command == command) {
            g_app.ratePercent = r.percent;
            g_app.speed = 0;
            return;
        }
}

void PauseLimitCommand() {
    g_app.maxPauseMs = g_app.maxPauseMs > 0 ? 0 : g_app.pauseLimitMs;
}

// ---- help and web site ----
const char HELP_TEXT[] = "QUICK START GUIDE:\n\n"
                         "    1) Press the BLUE button to start recording (changes to red)\n"
                         "    2) Press the RED button to stop recording\n"
                         "    3) Press the GREEN button to play\n\n"
                         "Recordings can also be run from the command line.\n"
                         "Example: \t quorvane  c:\\recording.rec\n\n\n"
                         "SHORTCUT KEYS:    (can be customized in Options menu)\n\n"
                         "Control + Shift + Alt + R\t-->  Start/Stop Recording\n"
                         "Control + Shift + Alt + P\t-->  Start/Stop Playback\n"
                         "Break or Scroll Lk\t\t-->  Terminate Playback\n"
                         "O\t\t\t-->  Open\n"
                         "Enter\t\t\t-->  Show Options\n"
                         "Enter + R\t\t\t-->  Set Repeats\n\n";

void HelpCommand() {
    char title[32];
    std::snprintf(title, sizeof title, "%s %s", PROGRAM_NAME, PROGRAM_VERSION);
    PlatMessageBox(HELP_TEXT, title, BOX_INFO);
}

bool DocumentationPage(const char *exePath, char *out, uint32_t size) {
    // Programs named with backslashes are Windows ones, which live in one
    // folder of their own: there the page beside them is the one to name.
    const char *slash = std::strrchr(exePath, '/');
    const char *back = std::strrchr(exePath, '\\');
    const char *sep = back > slash ? back : slash;
    char s = sep == back && back ? '\\' : '/';
    int dirLen = sep ? int(sep - exePath) : 0;
    // The folder's parent taken from the text: the running program's path
    // is already the resolved one.
    int parentLen = dirLen;
    while (parentLen > 0 && exePath[parentLen - 1] != s)
        parentLen--;
    char installed[300], beside[300];
    int a = std::snprintf(installed, sizeof installed, "%.*sshare%cdoc%cquorvane%cREADME.html",
                          parentLen, exePath, s, s, s);
    int b = sep ? std::snprintf(beside, sizeof beside, "%.*s%cREADME.html", dirLen, exePath, s)
                : std::snprintf(beside, sizeof beside, "README.html");
    bool fitA = a > 0 && size_t(a) < sizeof installed && uint32_t(a) < size;
    bool fitB = b > 0 && size_t(b) < sizeof beside && uint32_t(b) < size;
    const char *found = nullptr;
    if (sep && fitA && parentLen > 0 && PlatFileKind(installed) == 0)
        found = installed;
    else if (fitB && PlatFileKind(beside) == 0)
        found = beside;
    // Where it is missing, it is named where a user would look for it.
    bool installedFirst = s == '/' && sep && parentLen > 0;
    const char *named = found            ? found
                        : installedFirst ? (fitA ? installed : nullptr)
                                         : (fitB ? beside : nullptr);
    if (!named || !size) {
        if (size) out[0] = 0;
        return false;
    }
    std::snprintf(out, size, "%s", named);
    return found != nullptr;
}

// The menu item and the about box's link (lParam 1) both open the
// documentation page; one that is missing or cannot be shown gets the
// failure box rather than a browser's error page.
void WebsiteCommand(int32_t) {
    char page[300];
    if (DocumentationPage(g_app.ownPath, page, sizeof page) && PlatOpenUrl(page)) return;
    char message[360];
    std::snprintf(message, sizeof message, "Unable to connect to \"%s\"", page);
    PlatMessageBox(message, PROGRAM_NAME, BOX_INFO);
}
