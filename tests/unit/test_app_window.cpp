// The toolbar window's dispatch: messages, commands, timers, the hit test and
// the keys, and each command's run-state guard.
#include "engine_test_util.h"
#include "platform/timer.h"

namespace {

class WindowTest : public AppTest {};

TEST_F(WindowTest, ClicksMapToButtonsWithoutDeadSpots) {
    const struct {
        uint32_t x;
        uint32_t command;
    } cases[] = {
        {0, ID_OPEN},        {1, ID_OPEN},      {22, ID_OPEN},     {23, ID_SAVE},
        {43, ID_SAVE},       {44, ID_RECORD},   {64, ID_RECORD},   {65, ID_PLAY},
        {86, ID_COMPILE},    {106, ID_COMPILE}, {107, ID_OPTIONS}, {130, ID_OPTIONS},
        {65535, ID_OPTIONS},
    };
    for (auto &c : cases) {
        FakeClearLog();
        // y in the high word plays no part, nor do stray bits beyond 16 of x.
        for (uint32_t yword : {0u, 25u << 16, 0xFFFFu << 16}) {
            AppWindowProc(MSG_LBUTTONDOWN, 1, int32_t(yword | c.x));
        }
        EXPECT_EQ(Posted(), std::vector<uint32_t>(3, c.command)) << "x " << c.x;
    }
    // Posted, not run: nothing happens before the loop takes it.
    EXPECT_TRUE(FakeLogOf("menu").empty());
}

// Client positions come in device pixels; at 2x each button is twice as
// wide and its boundaries lie at twice the unscaled ones.
TEST_F(WindowTest, ScaledClicksMapToTheSameButtons) {
    g_fake.scale = 2;
    const struct {
        uint32_t x;
        uint32_t command;
    } cases[] = {
        {0, ID_OPEN},      {45, ID_OPEN},     {46, ID_SAVE},       {87, ID_SAVE},
        {88, ID_RECORD},   {130, ID_PLAY},    {172, ID_COMPILE},   {213, ID_COMPILE},
        {214, ID_OPTIONS}, {261, ID_OPTIONS}, {65535, ID_OPTIONS},
    };
    for (auto &c : cases) {
        FakeClearLog();
        AppWindowProc(MSG_LBUTTONDOWN, 1, int32_t((25u << 16) | c.x));
        EXPECT_EQ(Posted(), std::vector<uint32_t>{c.command}) << "x " << c.x;
    }
}

TEST_F(WindowTest, KeysOAndEnterPostInEveryRunState) {
    for (RunState s : {Idle, Recording, Playing}) {
        FakeReset();
        g_app.runState = s;
        AppWindowProc(MSG_KEYDOWN, 0x4F, 0);
        AppWindowProc(MSG_KEYDOWN, VK_RETURN, 0x1C0001);
        AppWindowProc(MSG_KEYDOWN, 'P', 0);
        AppWindowProc(MSG_KEYDOWN, 'o', 0); // not a virtual-key code of any key
        AppWindowProc(MSG_KEYDOWN, VK_SHIFT, 0);
        EXPECT_EQ(Posted(), (std::vector<uint32_t>{ID_OPEN, ID_OPTIONS}));
        for (auto &c : FakeLogOf("post"))
            EXPECT_EQ(c.b, 0);
    }
}

// Every pixel of each drawn 16-pixel button clicks that button, and all of
// them fit the client area; the Rec button shows its red picture only while
// recording.
TEST_F(WindowTest, ButtonsAreDrawnOverTheirClickAreasAndRecTurnsRedWhileRecording) {
    const uint32_t commands[6] = {ID_OPEN, ID_SAVE, ID_RECORD, ID_PLAY, ID_COMPILE, ID_OPTIONS};
    for (int i = 0; i < 6; i++) {
        FakeClearLog();
        for (int32_t dx = 0; dx < 16; dx++)
            AppWindowProc(MSG_LBUTTONDOWN, 1, ButtonDestX(i) + dx);
        EXPECT_EQ(Posted(), std::vector<uint32_t>(16, commands[i])) << "button " << i;
    }
    EXPECT_GE(ButtonDestX(0), 0);
    EXPECT_LE(ButtonDestX(5) + 16, CLIENT_WIDTH);
    const int32_t idle[6] = {0, 16, 32, 48, 64, 80};
    for (RunState s : {Idle, Recording, Playing}) {
        g_app.runState = s;
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(ButtonSourceX(i), (i == 2 && s == Recording) ? 96 : idle[i]);
    }
}

TEST_F(WindowTest, CreateAndDestroyInOrder) {
    ASSERT_TRUE(PlatCreateMainWindow(10, 20, 137, 47));
    AppWindowProc(MSG_MOUSEMOVE, 0, 0);
    EXPECT_EQ(FakeLogOf("handcursor").size(), 1u);
    InstallRecording(std::vector<EventRecord>(3));
    PlatDestroyMainWindow();
    std::vector<std::string> seq;
    for (auto &c : g_fake.log)
        if (c.what != "create" && c.what != "handcursor")
            seq.push_back(c.what + ":" + std::to_string(c.a));
    // The command channel closes first: nothing may reach a window that is
    // being taken apart.
    EXPECT_EQ(seq,
              (std::vector<std::string>{"graphics:1", "settimer:1005", "destroy:0", "unlisten:0",
                                        "graphics:0", "killtimer:1005", "quit:0"}));
    EXPECT_EQ(FakeLogOf("settimer")[0].b, 50);
    EXPECT_EQ(g_app.list.records, nullptr);
}

// Closing never asks; a recording or playback lets go of what it holds
// first, an idle program injects nothing.
TEST_F(WindowTest, CloseDestroysInEveryRunState) {
    for (RunState s : {Idle, Recording, Playing}) {
        FakeReset();
        ASSERT_TRUE(PlatCreateMainWindow(10, 20, 137, 47));
        g_app.runState = s;
        FakeKeyDown('A');
        AppWindowProc(MSG_CLOSE, 0, 0);
        EXPECT_EQ(FakeLogOf("destroy").size(), 1u);
        EXPECT_TRUE(g_fake.quit);
        EXPECT_EQ(FakeLogOf("key").size(), s == Idle ? 0u : 1u) << s;
        EXPECT_EQ(FakeLogOf("mouse").size(), s == Idle ? 0u : 1u) << s;
        EXPECT_TRUE(FakeLogOf("box").empty());
        EXPECT_EQ(g_app.runState, Idle);
    }
}

TEST_F(WindowTest, CommandsOutsideTheTableDoNothing) {
    for (uint32_t cmd :
         {0u, 1u, 0x7FFFu, 0x8006u, 0x8007u, 0x8008u, 0x8009u, 0x8022u, 0x9000u, 0xFFFFu})
        Command(cmd);
    AppWindowProc(MSG_TIMER, 1000, 0);
    AppWindowProc(MSG_TIMER, 1006, 0);
    AppWindowProc(MSG_PAINT, 0, 0);
    AppWindowProc(0x0202, 0, 0);
    EXPECT_TRUE(g_fake.log.empty());
    EXPECT_EQ(g_app.speed, 0);
    EXPECT_EQ(g_app.tips, 1);
}

// Only the low word chooses the handler.
TEST_F(WindowTest, HighWordDoesNotChooseTheCommand) {
    Command(0x2800B); // ID_SPEED_FAST
    EXPECT_EQ(g_app.speed, 1);
    Command(0x70000 | ID_RECKEY_F8);
    EXPECT_EQ(g_app.recordHotkey, HOTKEY_F8);
}

TEST_F(WindowTest, PlayTimerWithoutARecordingStaysArmed) {
    PlatSetTimer(TIMER_PLAY, 10);
    FakeClearLog();
    AppWindowProc(MSG_TIMER, TIMER_PLAY, 0);
    EXPECT_TRUE(FakeLogOf("killtimer").empty());
    EXPECT_EQ(g_fake.timers.count(TIMER_PLAY), 1u);
}

TEST_F(WindowTest, DecorateTimersStopOnceTheBoxIsDone) {
    PlatSetTimer(TIMER_ABOUT_DECORATE, 10);
    PlatSetTimer(TIMER_REPEAT_DECORATE, 10);
    FakeClearLog();
    AppWindowProc(MSG_TIMER, TIMER_ABOUT_DECORATE, 0);
    AppWindowProc(MSG_TIMER, TIMER_REPEAT_DECORATE, 0);
    auto decorated = FakeLogOf("decorate"), killed = FakeLogOf("killtimer");
    ASSERT_EQ(decorated.size(), 2u);
    ASSERT_EQ(killed.size(), 2u);
    EXPECT_EQ(killed[0].a, TIMER_ABOUT_DECORATE);
    EXPECT_EQ(killed[1].a, TIMER_REPEAT_DECORATE);
}

// ---- run-state guards of every command, through the dispatch ----

// What a command left in the log, summed up.
std::string Effect() {
    std::string out;
    for (auto &c : g_fake.log) {
        if (c.what == "choose" || c.what == "menu" || c.what == "repeatbox" || c.what == "about" ||
            c.what == "url")
            out += c.what + " ";
        else if (c.what == "box")
            out += "box(" + c.text.substr(0, c.text.find('\n')) + ") ";
        else if (c.what == "settimer")
            out += "settimer" + std::to_string(c.a) + " ";
    }
    return out;
}

TEST_F(WindowTest, FileAndMenuCommandsActOnlyWhileIdle) {
    for (RunState s : {Recording, Playing}) {
        for (uint32_t cmd : {ID_OPEN, ID_SAVE, ID_COMPILE, ID_OPTIONS}) {
            FakeReset();
            g_app.runState = s;
            InstallRecording(std::vector<EventRecord>(2));
            Command(cmd);
            EXPECT_EQ(Effect(), "") << std::hex << cmd << " in state " << s;
        }
    }
    // Idle, the same commands act.
    const struct {
        uint32_t cmd;
        const char *effect;
    } idle[] = {
        {ID_OPEN, "choose "},
        {ID_SAVE, "box(Nothing Recorded) "},
        {ID_COMPILE, "box(Nothing Recorded) "},
        {ID_OPTIONS, "menu "},
    };
    for (auto &c : idle) {
        FakeReset();
        Command(c.cmd);
        EXPECT_EQ(Effect(), c.effect) << std::hex << c.cmd;
    }
}

TEST_F(WindowTest, BoxAndPageCommandsActInEveryRunState) {
    const struct {
        uint32_t cmd;
        int32_t lParam;
        const char *effect;
    } cases[] = {
        {ID_REPEAT_COUNT, 0, "settimer1004 repeatbox "},
        {ID_HELP, 0, "box(QUICK START GUIDE:) "},
        {ID_WEBSITE, 0, "url "},
        {ID_WEBSITE, 1, "url "},
        {ID_ABOUT, 0, "settimer1003 about "},
    };
    PutFile(scratch / "README.html", "<html>");
    for (RunState s : {Idle, Recording, Playing})
        for (auto &c : cases) {
            FakeReset();
            std::snprintf(g_app.ownPath, sizeof g_app.ownPath, "%s", exe.c_str());
            g_app.runState = s;
            Command(c.cmd, c.lParam);
            EXPECT_EQ(Effect(), c.effect) << std::hex << c.cmd << " in state " << s;
        }
}

} // namespace
