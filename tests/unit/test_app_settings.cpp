// The settings file: its path, the remember flag, reading with defaults and
// the low-byte rule, and the save or delete when the window goes.
#include "platform/files.h"
#include "test_app_util.h"
#include <cstring>

namespace {

class SettingsTest : public AppTest {
  protected:
    std::string ini;
    void SetUp() override {
        AppTest::SetUp();
        std::snprintf(g_app.ownPath, sizeof g_app.ownPath, "%s/quorvane.bin", dir.c_str());
        ini = dir + "/quorvane.ini";
    }
    int32_t x = 0, y = 0;
    void Read() { ReadSettings(137, 47, &x, &y); }
};

// The last dot of the path is cut, but a slash ends the search (dotted
// folders are everywhere on Linux) while a backslash does not; a path with
// no room left for the suffix gives none.
TEST(IniPath, LastDotOfTheNameIsCutAndTooLongGivesNoPath) {
    std::string over(252, 'a'), dotted = over;
    dotted[240] = '.'; // a dot late enough leaves room again
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Tools\\prog.exe", "C:\\Tools\\prog.ini"},
        {"C:\\my.tools\\prog", "C:\\my.ini"},
        {"/usr/bin/quorvane", "/usr/bin/quorvane.ini"},
        {"quorvane", "quorvane.ini"},
        {"D:\\out\\demo.tar.exe", "D:\\out\\demo.tar.ini"},
        {"/home/u/.local/bin/quorvane", "/home/u/.local/bin/quorvane.ini"},
        // A folder name ending in a dot is a folder name all the same.
        {"./quorvane", "./quorvane.ini"},
        {"/opt/v1./quorvane", "/opt/v1./quorvane.ini"},
        {"/opt/q-1.50/quorvane.bin", "/opt/q-1.50/quorvane.ini"},
        {std::string(251, 'a'), std::string(251, 'a') + ".ini"}, // 255 characters: fits
        {over, ""},
        {dotted, std::string(240, 'a') + ".ini"},
    };
    for (auto &c : cases) {
        char out[256];
        IniPathFor(c.first.c_str(), out);
        EXPECT_EQ(std::string(out), c.second) << c.first;
    }
}

TEST_F(SettingsTest, NoFileGivesTheDefaults) {
    g_app.tips = 9; // whatever was there is replaced
    g_app.speed = 9;
    Read();
    EXPECT_EQ(std::string(g_app.iniPath), ini);
    EXPECT_EQ(g_app.rememberSettings, 0);
    // Screen and window halved separately: 512 - 68, 384 - 23.
    EXPECT_EQ(x, 444);
    EXPECT_EQ(y, 361);
    EXPECT_EQ(g_app.tips, 1);
    EXPECT_EQ(g_app.speed, 0);
    EXPECT_EQ(g_app.recordHotkey, 0);
    EXPECT_EQ(g_app.playHotkey, 0);
    EXPECT_EQ(g_app.ratePercent, 100);
    EXPECT_EQ(g_app.maxPauseMs, 0);
    SaveSettings(); // flag off and no file: still none
    EXPECT_FALSE(Exists(ini));
    // Odd sizes: 1023 / 2 - 137 / 2 = 511 - 68; halving the difference gives 443.
    g_fake.screenW = 1023;
    Read();
    EXPECT_EQ(x, 443);
}

TEST_F(SettingsTest, RoundTripThroughARealFile) {
    Read();
    g_app.rememberSettings = 1;
    g_app.tips = 0;
    g_app.speed = 1;
    g_app.recordHotkey = HOTKEY_F12;
    g_app.playHotkey = HOTKEY_PRTSC;
    g_app.repeatCount = 5;
    g_app.continuous = 1;
    g_app.ratePercent = 250;
    g_app.maxPauseMs = 1500;
    g_fake.windowRect = PlatRect{-300, 40, -163, 87}; // a monitor left of the primary
    SaveSettings();
    std::string text = GetFile(ini);
    EXPECT_NE(text.find("[Quorvane]"), std::string::npos);
    EXPECT_NE(text.find("window_x=-300"), std::string::npos);
    EXPECT_NE(text.find("window_y=40"), std::string::npos);
    EXPECT_NE(text.find("record_key=12"), std::string::npos);
    EXPECT_NE(text.find("rate=250"), std::string::npos);
    EXPECT_NE(text.find("max_pause=1500"), std::string::npos);
    // The counts of one run are not settings.
    EXPECT_EQ(text.find("repeat"), std::string::npos);
    EXPECT_EQ(text.find("continuous"), std::string::npos);

    FakeReset();
    std::snprintf(g_app.ownPath, sizeof g_app.ownPath, "%s/quorvane.bin", dir.c_str());
    Read();
    EXPECT_EQ(g_app.rememberSettings, 1);
    EXPECT_EQ(x, -300);
    EXPECT_EQ(y, 40);
    EXPECT_EQ(g_app.tips, 0);
    EXPECT_EQ(g_app.speed, 1);
    EXPECT_EQ(g_app.recordHotkey, HOTKEY_F12);
    EXPECT_EQ(g_app.playHotkey, HOTKEY_PRTSC);
    EXPECT_EQ(g_app.ratePercent, 250);
    EXPECT_EQ(g_app.maxPauseMs, 1500);
    EXPECT_EQ(g_app.pauseLimitMs, 1500) << "the menu switches the saved length on again";
    EXPECT_EQ(g_app.repeatCount, 1);
    EXPECT_EQ(g_app.continuous, 0);
}

// Values the player cannot take are brought within what it takes: no rate
// of 0 to divide by, no negative limit.
TEST_F(SettingsTest, RateAndPauseLimitAreHeldWithinBounds) {
    const struct {
        const char *file;
        int32_t rate, pause;
    } cases[] = {
        {"rate=400\nmax_pause=0\n", 400, 0},
        {"rate=10\nmax_pause=1\n", 10, 1},
        {"rate=1000\n", 1000, 0},
        {"rate=5\n", 10, 0},
        {"rate=5000\nmax_pause=-7\n", 1000, 0},
        {"rate=0\n", 100, 0},
        {"rate=-50\n", 100, 0},
        {"rate=abc\nmax_pause=xyz\n", 100, 0},
    };
    for (auto &c : cases) {
        PutFile(ini, std::string("[Quorvane]\n") + c.file);
        Read();
        EXPECT_EQ(g_app.ratePercent, c.rate) << c.file;
        EXPECT_EQ(g_app.maxPauseMs, c.pause) << c.file;
    }
}

// A program whose folder cannot be written (here: one that does not exist,
// since tests may run as root) keeps its settings in the user's config
// folder under its own name, made when first written, readable by the user
// only; a portable one keeps them beside itself.
TEST_F(SettingsTest, InstalledProgramKeepsItsSettingsInTheConfigFolder) {
    std::string config = dir + "/config";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    std::snprintf(g_app.ownPath, sizeof g_app.ownPath, "%s/ro/bin/demo", dir.c_str());
    Read();
    EXPECT_EQ(std::string(g_app.iniPath), config + "/quorvane/demo.ini");
    EXPECT_EQ(g_app.rememberSettings, 0);
    g_app.rememberSettings = 1;
    g_app.speed = 1;
    SaveSettings();
    struct stat st;
    ASSERT_EQ(stat(g_app.iniPath, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    FakeReset();
    std::snprintf(g_app.ownPath, sizeof g_app.ownPath, "%s/ro/bin/demo", dir.c_str());
    Read();
    EXPECT_EQ(g_app.rememberSettings, 1);
    EXPECT_EQ(g_app.speed, 1);
    g_app.rememberSettings = 0;
    SaveSettings();
    EXPECT_FALSE(Exists(config + "/quorvane/demo.ini"));
    unsetenv("XDG_CONFIG_HOME");

    std::snprintf(g_app.ownPath, sizeof g_app.ownPath, "%s/quorvane.bin", dir.c_str());
    Read();
    EXPECT_EQ(std::string(g_app.iniPath), ini);
}

// The system's own folders never take a user's settings, not even when
// root, who can write them, runs the program; a folder merely named like one
// is no such folder.
TEST_F(SettingsTest, ProgramsInSystemFoldersUseTheConfigFolder) {
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    std::filesystem::create_directories(dir + "/usr/bin");
    const std::pair<std::string, std::string> cases[] = {
        {"/usr/bin/quorvane.ini", "/cfg/quorvane/quorvane.ini"},
        {"/usr/local/bin/player.ini", "/cfg/quorvane/player.ini"},
        {"/usr/quorvane.ini", "/cfg/quorvane/quorvane.ini"},
        {"/opt/quorvane/bin/quorvane.ini", "/cfg/quorvane/quorvane.ini"},
        {"/bin/quorvane.ini", "/cfg/quorvane/quorvane.ini"},
        {"/sbin/quorvane.ini", "/cfg/quorvane/quorvane.ini"},
        {"/lib/quorvane/quorvane.ini", "/cfg/quorvane/quorvane.ini"},
        {"/lib64/quorvane.ini", "/cfg/quorvane/quorvane.ini"},
        {dir + "/usr/bin/quorvane.ini", dir + "/usr/bin/quorvane.ini"},
        {dir + "/quorvane.ini", dir + "/quorvane.ini"},
    };
    for (auto &c : cases) {
        char out[300];
        ASSERT_TRUE(PlatSettingsPath(c.first.c_str(), out, sizeof out)) << c.first;
        EXPECT_EQ(std::string(out), c.second) << c.first;
    }
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(SettingsTest, ByteSettingsKeepTheLowByte) {
    PutFile(ini, "[Quorvane]\ntips=257\nspeed=2\nrecord_key=5\nplay_key=-244\n");
    Read();
    EXPECT_EQ(g_app.tips, 1);
    EXPECT_EQ(g_app.speed, 2);
    EXPECT_EQ(g_app.recordHotkey, 5);
    EXPECT_EQ(g_app.playHotkey, 12);
    PutFile(ini, "[Quorvane]\ntips=256\n");
    Read();
    EXPECT_EQ(g_app.tips, 0);
    // Written back as 0..255.
    g_app.speed = 200;
    SaveSettings();
    EXPECT_NE(GetFile(ini).find("speed=200"), std::string::npos);
}

TEST_F(SettingsTest, AnEmptyFileTurnsRememberOn) {
    PutFile(ini, "");
    Read();
    EXPECT_EQ(g_app.rememberSettings, 1);
    EXPECT_EQ(x, 444);
    EXPECT_EQ(g_app.tips, 1);
}

TEST_F(SettingsTest, FlagTurnedOffDeletesTheFile) {
    PutFile(ini, "[Quorvane]\ntips=0\n");
    Read();
    ASSERT_EQ(g_app.rememberSettings, 1);
    Command(ID_REMEMBER_SETTINGS);
    SaveSettings();
    EXPECT_FALSE(Exists(ini));
}

TEST_F(SettingsTest, IniPathThatIsADirectoryIsLeftAlone) {
    ASSERT_EQ(mkdir(ini.c_str(), 0755), 0);
    PutFile(ini + "/keep", "x");
    Read();
    EXPECT_EQ(g_app.rememberSettings, 0);
    EXPECT_EQ(x, 444);
    SaveSettings();
    EXPECT_TRUE(Exists(ini + "/keep"));
    // Even with the flag turned on from the menu, the write fails quietly.
    g_app.rememberSettings = 1;
    SaveSettings();
    EXPECT_EQ(GetFile(ini + "/keep"), "x");
}

// The window's destruction saves whatever way it comes: here a close.
TEST_F(SettingsTest, ClosingTheWindowSaves) {
    PutFile(ini, "");
    Read();
    ASSERT_TRUE(PlatCreateMainWindow(50, 60, 137, 47));
    g_app.speed = 1;
    PlatPostClose();
    FakeRunPending();
    std::string text = GetFile(ini);
    EXPECT_NE(text.find("window_x=50"), std::string::npos);
    EXPECT_NE(text.find("window_y=60"), std::string::npos);
    EXPECT_NE(text.find("speed=1"), std::string::npos);
    EXPECT_TRUE(g_fake.quit);
}

} // namespace
