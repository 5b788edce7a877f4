// The options menu, the setting and hotkey commands, help and web site.
#include "engine/winconst.h"
#include "test_app_util.h"
#include <cstring>
#include <unistd.h>

namespace {

class MenuTest : public AppTest {
  protected:
    // Checked commands of the last menu shown.
    std::vector<uint32_t> Checked() {
        std::vector<uint32_t> out;
        for (auto &i : g_fake.lastMenu)
            if (i.checked) out.push_back(i.command);
        return out;
    }
    std::vector<FakeCall> Boxes() { return FakeLogOf("box"); }
};

TEST_F(MenuTest, MenuHoldsEveryItemInOrderAtTheWindowsCorner) {
    Command(ID_OPTIONS);
    FakeCall menu = TheOnly("menu");
    EXPECT_EQ(menu.a, 237 - 16);
    EXPECT_EQ(menu.b, 247 - 10);
    const struct {
        PlatMenuKind kind;
        const char *text;
        uint32_t command;
    } expected[] = {
        {MENU_ITEM, "Play Speed: &Normal", ID_SPEED_NORMAL},
        {MENU_ITEM, "Play Speed: &Fast", ID_SPEED_FAST},
        {MENU_SEPARATOR, "", 0},
        {MENU_ITEM, "Play Rate: 0.&5x", ID_RATE_50},
        {MENU_ITEM, "Play Rate: &1x", ID_RATE_100},
        {MENU_ITEM, "Play Rate: &2x", ID_RATE_200},
        {MENU_ITEM, "Play Rate: &4x", ID_RATE_400},
        {MENU_ITEM, "Play Rate: &Other...", ID_RATE_OTHER},
        {MENU_ITEM, "Limit &Pauses to 2 s", ID_PAUSE_LIMIT},
        {MENU_ITEM, "Set Pause &Limit...", ID_PAUSE_LENGTH},
        {MENU_SEPARATOR, "", 0},
        {MENU_ITEM, "&Continuous Playback", ID_CONTINUOUS},
        {MENU_ITEM, "Set &Repeat Count...", ID_REPEAT_COUNT},
        {MENU_SEPARATOR, "", 0},
        {MENU_SUBMENU_BEGIN, "Recording Hotkey", 0},
        {MENU_ITEM, "Control + Shift + Alt + R", ID_RECKEY_CSA},
        {MENU_ITEM, "Print Screen", ID_RECKEY_PRTSC},
        {MENU_ITEM, "F8", ID_RECKEY_F8},
        {MENU_ITEM, "F12", ID_RECKEY_F12},
        {MENU_SUBMENU_END, "", 0},
        {MENU_SUBMENU_BEGIN, "Playback Hotkey", 0},
        {MENU_ITEM, "Control + Shift + Alt + P", ID_PLAYKEY_CSA},
        {MENU_ITEM, "Print Screen", ID_PLAYKEY_PRTSC},
        {MENU_ITEM, "F8", ID_PLAYKEY_F8},
        {MENU_ITEM, "F12", ID_PLAYKEY_F12},
        {MENU_SUBMENU_END, "", 0},
        {MENU_ITEM, "Remember &Settings in .INI", ID_REMEMBER_SETTINGS},
        {MENU_ITEM, "Show &Tips", ID_TIPS},
        {MENU_SEPARATOR, "", 0},
        {MENU_ITEM, "&Help", ID_HELP},
        {MENU_ITEM, "Quorvane &Website", ID_WEBSITE},
        {MENU_ITEM, "&About Quorvane", ID_ABOUT},
    };
    ASSERT_EQ(g_fake.lastMenu.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); i++) {
        EXPECT_EQ(g_fake.lastMenu[i].kind, expected[i].kind) << i;
        EXPECT_STREQ(g_fake.lastMenu[i].text, expected[i].text) << i;
        EXPECT_EQ(g_fake.lastMenu[i].command, expected[i].command) << i;
    }
    // Fresh start: normal speed at 1x with no pause limit, tips on, both
    // Ctrl+Shift+Alt hotkeys.
    EXPECT_EQ(Checked(), (std::vector<uint32_t>{ID_SPEED_NORMAL, ID_RATE_100, ID_RECKEY_CSA,
                                                ID_PLAYKEY_CSA, ID_TIPS}));
}

TEST_F(MenuTest, CheckMarksFollowTheCurrentValues) {
    g_app.speed = 2; // hand-edited: shown as fast
    g_app.continuous = 1;
    g_app.rememberSettings = 1;
    g_app.tips = 0;
    g_app.recordHotkey = HOTKEY_F12;
    g_app.playHotkey = HOTKEY_PRTSC;
    g_app.ratePercent = 400;
    g_app.maxPauseMs = 1500;
    Command(ID_OPTIONS);
    EXPECT_EQ(Checked(),
              (std::vector<uint32_t>{ID_SPEED_FAST, ID_RATE_400, ID_PAUSE_LIMIT, ID_CONTINUOUS,
                                     ID_RECKEY_F12, ID_PLAYKEY_PRTSC, ID_REMEMBER_SETTINGS}));
    // The limit's item names the length in force.
    EXPECT_STREQ(g_fake.lastMenu[8].text, "Limit &Pauses to 1.5 s");
    // An unknown hotkey value checks nothing in its submenu; the menu is
    // built afresh each time.
    g_app.recordHotkey = 5;
    g_app.playHotkey = HOTKEY_F8;
    g_app.tips = 2;
    // A rate none of the items names checks "Other", which shows it; a
    // limit switched off still names the length it would switch on.
    g_app.ratePercent = 125;
    g_app.maxPauseMs = 0;
    Command(ID_OPTIONS);
    EXPECT_EQ(Checked(), (std::vector<uint32_t>{ID_SPEED_FAST, ID_RATE_OTHER, ID_CONTINUOUS,
                                                ID_PLAYKEY_F8, ID_REMEMBER_SETTINGS, ID_TIPS}));
    EXPECT_STREQ(g_fake.lastMenu[7].text, "Play Rate: &Other (1.25x)...");
    EXPECT_STREQ(g_fake.lastMenu[8].text, "Limit &Pauses to 2 s");
}

TEST_F(MenuTest, ChosenItemArrivesAsACommand) {
    g_fake.menuAnswers.push_back(ID_TIPS);
    AppWindowProc(MSG_KEYDOWN, VK_RETURN, 0); // Enter posts ID_OPTIONS
    FakeRunPending();
    EXPECT_EQ(Posted(), (std::vector<uint32_t>{ID_OPTIONS, ID_TIPS}));
    EXPECT_EQ(g_app.tips, 0);
}

TEST_F(MenuTest, SettingCommandsSetAndToggleInEveryRunState) {
    for (RunState s : {Idle, Recording, Playing}) {
        FakeReset();
        g_app.runState = s;
        Command(ID_SPEED_FAST);
        EXPECT_EQ(g_app.speed, 1);
        Command(ID_SPEED_NORMAL);
        EXPECT_EQ(g_app.speed, 0);
        Command(ID_CONTINUOUS);
        EXPECT_EQ(g_app.continuous, 1);
        Command(ID_CONTINUOUS);
        EXPECT_EQ(g_app.continuous, 0);
        Command(ID_REMEMBER_SETTINGS);
        EXPECT_EQ(g_app.rememberSettings, 1);
        Command(ID_TIPS);
        EXPECT_EQ(g_app.tips, 0);
        Command(ID_TIPS);
        EXPECT_EQ(g_app.tips, 1);
    }
    // Any non-zero value toggles to 0, not to its complement.
    g_app.tips = 2;
    g_app.continuous = 255;
    g_app.rememberSettings = 7;
    Command(ID_TIPS);
    Command(ID_CONTINUOUS);
    Command(ID_REMEMBER_SETTINGS);
    EXPECT_EQ(g_app.tips, 0);
    EXPECT_EQ(g_app.continuous, 0);
    EXPECT_EQ(g_app.rememberSettings, 0);
    // Nothing touches the disk or the screen.
    EXPECT_TRUE(g_fake.log.empty());
}

// A rate chosen from the menu plays at normal speed, the one with a rate;
// the pause limit switches on with the length last set.
TEST_F(MenuTest, RatesAndThePauseLimit) {
    const std::pair<uint32_t, int32_t> rates[] = {
        {ID_RATE_50, 50}, {ID_RATE_200, 200}, {ID_RATE_400, 400}, {ID_RATE_100, 100}};
    for (auto &r : rates) {
        g_app.speed = 1;
        g_fake.menuAnswers.push_back(r.first);
        Command(ID_OPTIONS);
        FakeRunPending();
        EXPECT_EQ(g_app.ratePercent, r.second);
        EXPECT_EQ(g_app.speed, 0);
        Command(ID_OPTIONS);
        EXPECT_EQ(Checked(), (std::vector<uint32_t>{ID_SPEED_NORMAL, r.first, ID_RECKEY_CSA,
                                                    ID_PLAYKEY_CSA, ID_TIPS}));
    }
    Command(ID_PAUSE_LIMIT);
    EXPECT_EQ(g_app.maxPauseMs, 2000);
    Command(ID_PAUSE_LIMIT);
    EXPECT_EQ(g_app.maxPauseMs, 0);
    g_app.pauseLimitMs = 750;
    Command(ID_PAUSE_LIMIT);
    EXPECT_EQ(g_app.maxPauseMs, 750);
    Command(ID_OPTIONS);
    EXPECT_STREQ(g_fake.lastMenu[8].text, "Limit &Pauses to 0.75 s");
    EXPECT_TRUE(g_fake.lastMenu[8].checked);
}

TEST_F(MenuTest, HotkeyChoicesRefuseOnlyTheOthersSingleKey) {
    const struct {
        uint32_t command;
        bool recording;
        uint8_t value;
    } choices[] = {
        {ID_RECKEY_CSA, true, 0},  {ID_RECKEY_PRTSC, true, 1},  {ID_RECKEY_F8, true, 8},
        {ID_RECKEY_F12, true, 12}, {ID_PLAYKEY_CSA, false, 0},  {ID_PLAYKEY_PRTSC, false, 1},
        {ID_PLAYKEY_F8, false, 8}, {ID_PLAYKEY_F12, false, 12},
    };
    for (auto &c : choices)
        for (uint8_t other : {uint8_t(0), uint8_t(1), uint8_t(8), uint8_t(12)}) {
            FakeReset();
            g_app.runState = Playing; // no run-state guard
            uint8_t &mine = c.recording ? g_app.recordHotkey : g_app.playHotkey;
            uint8_t &theirs = c.recording ? g_app.playHotkey : g_app.recordHotkey;
            mine = 99;
            theirs = other;
            Command(c.command);
            bool clash = c.value != 0 && c.value == other;
            if (clash) {
                EXPECT_EQ(mine, 99) << c.command;
                FakeCall box = TheOnly("box");
                EXPECT_EQ(box.text,
                          c.recording ? "Conflict: Playback Hotkey" : "Conflict: Recording Hotkey");
                EXPECT_EQ(box.title, "Quorvane");
                EXPECT_EQ(box.a, 0); // a plain OK box
                EXPECT_EQ(box.b, 0); // owned
            } else {
                EXPECT_EQ(mine, c.value) << c.command << " vs " << int(other);
                EXPECT_TRUE(Boxes().empty());
            }
            EXPECT_EQ(theirs, other);
        }
}

TEST_F(MenuTest, HelpBox) {
    g_app.runState = Playing; // help has no run-state guard
    Command(ID_HELP);
    FakeCall box = TheOnly("box");
    EXPECT_EQ(box.title, "Quorvane 1.50");
    EXPECT_EQ(box.a, 0x52040);
    EXPECT_EQ(box.text, HELP_TEXT);
    ASSERT_GE(box.text.size(), 30u);
    EXPECT_EQ(box.text.rfind("QUICK START GUIDE:\n\n", 0), 0u);
    EXPECT_NE(box.text.find("Example: \t quorvane  c:\\recording.rec\n"), std::string::npos);
    EXPECT_NE(box.text.find("Break or Scroll Lk\t\t-->  Terminate Playback\n"), std::string::npos);
    EXPECT_EQ(box.text.substr(box.text.size() - 30), "Enter + R\t\t\t-->  Set Repeats\n\n");
}

// The installed page (<prefix>/share/doc/quorvane) wins over one beside the
// program; a missing one is named where it belongs: installed for a Linux
// path, beside a Windows one.
TEST(DocumentationPage, InstalledFirstThenBesideTheProgram) {
    ScratchDir d;
    std::filesystem::create_directories(d / "p/bin");
    std::filesystem::create_directories(d / "p/share/doc/quorvane");
    std::filesystem::create_directories(d / "build");
    std::filesystem::create_directories(d / "both/bin");
    std::filesystem::create_directories(d / "both/share/doc/quorvane");
    PutFile(d / "p/share/doc/quorvane/README.html", "<html>");
    PutFile(d / "build/README.html", "<html>");
    PutFile(d / "both/bin/README.html", "<html>");
    PutFile(d / "both/share/doc/quorvane/README.html", "<html>");
    std::filesystem::create_directories(d / "dironly/share/doc/quorvane/README.html");
    const struct {
        std::string exe, page;
        bool found;
    } cases[] = {
        {d / "p/bin/quorvane", d / "p/share/doc/quorvane/README.html", true},
        {d / "build/quorvane", d / "build/README.html", true},
        {d / "both/bin/quorvane", d / "both/share/doc/quorvane/README.html", true},
        {d / "none/bin/quorvane", d / "none/share/doc/quorvane/README.html", false},
        // A folder of that name is no page.
        {d / "dironly/bin/quorvane", d / "dironly/share/doc/quorvane/README.html", false},
        {"C:\\Tools\\quorvane.exe", "C:\\Tools\\README.html", false},
        {"quorvane", "README.html", false},
        // In the root folder there is no parent to hold share/doc.
        {"/quorvane", "/README.html", false},
    };
    for (auto &c : cases) {
        char out[300] = "x";
        EXPECT_EQ(DocumentationPage(c.exe.c_str(), out, sizeof out), c.found) << c.exe;
        EXPECT_EQ(std::string(out), c.page) << c.exe;
    }
    // No room: nothing named, nothing found.
    char small[8] = "x";
    EXPECT_FALSE(DocumentationPage((d / "p/bin/quorvane").c_str(), small, sizeof small));
    EXPECT_STREQ(small, "");
    // A program in the root folder has no parent to look in: the page is
    // not looked for wherever the program happens to stand.
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_EQ(chdir((d / "p").c_str()), 0);
    char root[300] = "x";
    bool rootFound = DocumentationPage("/quorvane", root, sizeof root);
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_FALSE(rootFound);
    EXPECT_STREQ(root, "/README.html");
    // A page's path is named only whole: it and its end must fit the
    // program's own 300 bytes and the caller's buffer.
    const std::string besideDir = "C:\\" + std::string(284, 'd'); // + "\\README.html": 299
    const std::string parent = "/" + std::string(267, 'p') + "/"; // + "share/doc/...": 299
    const struct {
        std::string exe;
        uint32_t size;
        std::string page;
    } edges[] = {
        {besideDir + "\\quorvane.exe", 300, besideDir + "\\README.html"},
        {besideDir + "\\quorvane.exe", 299, ""},
        {besideDir + "d\\quorvane.exe", 400, ""},
        {parent + "bin/quorvane", 300, parent + "share/doc/quorvane/README.html"},
        {parent + "bin/quorvane", 299, ""},
        {parent.substr(0, 268) + "p/bin/quorvane", 400, ""},
    };
    for (auto &e : edges) {
        char out[400] = "x";
        EXPECT_FALSE(DocumentationPage(e.exe.c_str(), out, e.size));
        EXPECT_EQ(std::string(out), e.page) << e.exe.size() << " " << e.size;
    }
}

// Both the menu item and the about box's link open the documentation page.
TEST_F(MenuTest, WebsiteOpensTheDocumentation) {
    PutFile(scratch / "README.html", "<html>");
    std::snprintf(g_app.ownPath, sizeof g_app.ownPath, "%s", exe.c_str());
    Command(ID_WEBSITE, 0);
    Command(ID_WEBSITE, 1);
    auto urls = FakeLogOf("url");
    ASSERT_EQ(urls.size(), 2u);
    EXPECT_EQ(urls[0].text, scratch / "README.html");
    EXPECT_EQ(urls[1].text, scratch / "README.html");
    EXPECT_TRUE(Boxes().empty());
}

// A page that cannot be shown, or is not there to be shown, gets the
// failure box naming it; a missing one is never handed to the desktop.
TEST_F(MenuTest, WebsiteFailureNamesThePage) {
    PutFile(scratch / "README.html", "<html>");
    std::snprintf(g_app.ownPath, sizeof g_app.ownPath, "%s", exe.c_str());
    g_fake.urlOk = false;
    Command(ID_WEBSITE, 0);
    FakeCall box = TheOnly("box");
    EXPECT_EQ(box.text, "Unable to connect to \"" + (scratch / "README.html") + "\"");
    EXPECT_EQ(box.title, "Quorvane");
    EXPECT_EQ(box.a, 0x52040);

    FakeReset();
    std::filesystem::remove(scratch / "README.html");
    std::snprintf(g_app.ownPath, sizeof g_app.ownPath, "%s/bin/quorvane", dir.c_str());
    Command(ID_WEBSITE, 1);
    EXPECT_TRUE(FakeLogOf("url").empty());
    EXPECT_EQ(TheOnly("box").text,
              "Unable to connect to \"" + (scratch / "share/doc/quorvane/README.html") + "\"");
}

} // namespace
