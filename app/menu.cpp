// The options menu and the commands chosen in it that are neither recording,
// playback nor file work.
#include "../engine/appstate.h"
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
    CHECK_RECKEY,  // record hotkey == value
    CHECK_PLAYKEY, // play hotkey == value
};

struct MenuEntry {
    PlatMenuKind kind;
    const char *text;
    uint32_t command;
    CheckRule rule;
    uint8_t value;
};

static const MenuEntry optionsMenu[] = {
    {MENU_ITEM, "Play Speed: &Normal", ID_SPEED_NORMAL, CHECK_SPEED_NORMAL, 0},
    {MENU_ITEM, "Play Speed: &Fast", ID_SPEED_FAST, CHECK_SPEED_FAST, 0},
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
    }
    return false;
}

void ShowOptionsMenu() {
    // While a recording or playback runs, a menu would only get in the way
    // of the input being taken or given.
    if (g_app.runState != Idle) return;
    PlatMenuItem items[MENU_LENGTH];
    for (int i = 0; i < MENU_LENGTH; i++) {
        const MenuEntry &e = optionsMenu[i];
        items[i] = PlatMenuItem{e.kind, e.text, e.command, IsChecked(e)};
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
