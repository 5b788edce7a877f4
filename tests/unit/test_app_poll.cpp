// The hotkey poll and the caption it writes.
#include "engine/winconst.h"
#include "test_app_util.h"

namespace {

class PollTest : public AppTest {
  protected:
    // Pointer at client-relative x of the toolbar, on its caption bar.
    void PointAt(int32_t dx, int32_t dy = 5) {
        g_fake.cursorX = g_fake.windowRect.left + dx;
        g_fake.cursorY = g_fake.windowRect.top + dy;
    }
    std::string CaptionNow() {
        Poll();
        return g_fake.caption;
    }
};

struct HotkeyCase {
    uint8_t choice;
    std::vector<int> keys;
};

const HotkeyCase recordCases[] = {
    {HOTKEY_CSA, {'R', VK_CONTROL, VK_SHIFT, VK_MENU}},
    {HOTKEY_PRTSC, {VK_SNAPSHOT}},
    {HOTKEY_F8, {VK_F8}},
    {HOTKEY_F12, {VK_F12}},
};

TEST_F(PollTest, EveryRecordChoicePostsRecordWhenAllItsKeysAreDown) {
    for (auto &c : recordCases) {
        FakeReset();
        g_app.recordHotkey = c.choice;
        g_app.playHotkey = 99; // out of the way
        for (int k : c.keys)
            FakeKeyDown(k);
        Poll();
        EXPECT_EQ(Posted(), std::vector<uint32_t>{RECORD_BY_HOTKEY}) << "choice " << int(c.choice);
        EXPECT_TRUE(FakeLogOf("sleep").empty());
        // Any single key of the combination up: nothing.
        for (int up : c.keys) {
            FakeClearLog();
            FakeKeyUp(up);
            Poll();
            EXPECT_TRUE(Posted().empty()) << "choice " << int(c.choice) << " key " << up;
            FakeKeyDown(up);
        }
    }
}

TEST_F(PollTest, EveryPlayChoiceSleepsThenPostsPlayOrStop) {
    const HotkeyCase playCases[] = {
        {HOTKEY_CSA, {'P', VK_CONTROL, VK_SHIFT, VK_MENU}},
        {HOTKEY_PRTSC, {VK_SNAPSHOT}},
        {HOTKEY_F8, {VK_F8}},
        {HOTKEY_F12, {VK_F12}},
    };
    const struct {
        RunState state;
        uint32_t posted;
    } states[] = {{Idle, ID_PLAY}, {Recording, ID_PLAY}, {Playing, PLAY_STOP_REQUEST}};
    for (auto &c : playCases)
        for (auto &s : states) {
            FakeReset();
            g_app.recordHotkey = 99;
            g_app.playHotkey = c.choice;
            g_app.runState = s.state;
            for (int k : c.keys)
                FakeKeyDown(k);
            uint32_t before = g_fake.tick;
            Poll();
            auto sleeps = FakeLogOf("sleep");
            auto posts = FakeLogOf("post");
            ASSERT_EQ(sleeps.size(), 1u);
            EXPECT_EQ(sleeps[0].a, 150);
            ASSERT_EQ(posts.size(), 1u);
            EXPECT_EQ(uint32_t(posts[0].a), s.posted);
            EXPECT_EQ(posts[0].b, 0);
            // The command goes out after the whole wait.
            EXPECT_EQ(posts[0].tick, before + 150);
        }
}

// Two polls with keys held; the record hotkey is checked first, and one
// that matches ends the poll before the play hotkey's wait.
TEST_F(PollTest, RecordWinsExtraKeysDoNotMatterUnknownChoicesMatchNothing) {
    std::vector<int> everyKey;
    for (int vk = 1; vk < 255; vk++)
        everyKey.push_back(vk);
    const std::vector<uint32_t> twice = {RECORD_BY_HOTKEY, RECORD_BY_HOTKEY};
    const struct {
        const char *what;
        uint8_t record, play;
        RunState state;
        std::vector<int> held;
        std::vector<uint32_t> posted;
    } cases[] = {
        {"other keys held",
         HOTKEY_PRTSC,
         HOTKEY_CSA,
         Idle,
         {VK_SNAPSHOT, VK_CONTROL, VK_SHIFT, VK_MENU, 'Q'},
         twice},
        {"both hotkeys down", HOTKEY_F8, HOTKEY_F12, Idle, {VK_F8, VK_F12}, twice},
        {"identical choices, playing", HOTKEY_F12, HOTKEY_F12, Playing, {VK_F12}, twice},
        {"unknown choices", 5, 2, Idle, everyKey, {}},
    };
    for (auto &c : cases) {
        FakeReset();
        g_app.recordHotkey = c.record;
        g_app.playHotkey = c.play;
        g_app.runState = c.state;
        for (int k : c.held)
            FakeKeyDown(k);
        Poll();
        Poll();
        EXPECT_EQ(Posted(), c.posted) << c.what;
        EXPECT_TRUE(FakeLogOf("sleep").empty()) << c.what;
    }
}

// Pause or Scroll Lock stop a playback from the poll, during any wait, as
// the play tick would; not when idle. Down on the device is enough, since a
// cleared thread table can miss the press.
TEST_F(PollTest, StopKeysEndAPlaybackAtOnce) {
    for (int key : {VK_PAUSE, VK_SCROLL}) {
        for (bool deviceOnly : {false, true}) {
            for (RunState s : {Idle, Playing}) {
                FakeReset();
                g_app.runState = s;
                if (deviceOnly)
                    g_fake.physical[key] = 1;
                else
                    FakeKeyDown(key);
                Poll();
                EXPECT_EQ(g_app.runState, Idle);
                EXPECT_EQ(FakeLogOf("setkeyboardstate").size(), s == Playing ? 1u : 0u)
                    << key << " " << deviceOnly;
                EXPECT_TRUE(Posted().empty());
            }
        }
    }
}

// The poll reads the hotkeys from the thread's key table, not the physical
// state.
TEST_F(PollTest, ReadsTheThreadKeyTable) {
    g_app.recordHotkey = HOTKEY_F8;
    g_fake.physical[VK_F8] = 1;
    Poll();
    EXPECT_TRUE(Posted().empty());
    g_fake.physical[VK_F8] = 0;
    g_fake.thread[VK_F8] = 0x80;
    Poll();
    EXPECT_EQ(Posted(), std::vector<uint32_t>{RECORD_BY_HOTKEY});
    // Toggled but up is up.
    FakeClearLog();
    g_fake.thread[VK_F8] = 0x01;
    Poll();
    EXPECT_TRUE(Posted().empty());
}

// ---- caption ----

// Total minutes (not hours) and whole seconds, also across a wrap of the
// tick count.
TEST_F(PollTest, RecordingCaptionCountsTotalMinutes) {
    const struct {
        uint32_t now, start;
        const char *caption;
    } cases[] = {
        {100000, 100000 - 75000, "REC 01:15"},
        {7000000, 7000000 - 6000000, "REC 100:00"},
        {100000, 100000 - 999, "REC 00:00"},
        {2000, 0xFFFFFFFFu - 62999, "REC 01:05"}, // 63 s before the wrap + 2 s
    };
    g_app.runState = Recording;
    for (auto &c : cases) {
        g_fake.tick = c.now;
        g_app.startTick = c.start;
        EXPECT_EQ(CaptionNow(), c.caption) << c.now << " - " << c.start;
    }
}

TEST_F(PollTest, PlayingCaptionShowsPassAndCount) {
    g_app.runState = Playing;
    g_app.startTick = g_fake.tick - 7500;
    g_app.loopNumber = 1;
    g_app.repeatCount = 3;
    EXPECT_EQ(CaptionNow(), "PLAY 00:07 (2/3)");
    g_app.loopNumber = 4;
    g_app.continuous = 1;
    EXPECT_EQ(CaptionNow(), "PLAY 00:07 (5/0*)");
    // Continuous wins over any count, whatever the name or pointer say.
    g_app.continuous = 2;
    std::snprintf(g_app.recordingName, sizeof g_app.recordingName, "demo.rec");
    PointAt(50);
    EXPECT_EQ(CaptionNow(), "PLAY 00:07 (5/0*)");
}

TEST_F(PollTest, NameOutranksTips) {
    std::snprintf(g_app.recordingName, sizeof g_app.recordingName, "Report.rec");
    g_fake.versionMajor = 5;
    PointAt(50);
    EXPECT_EQ(CaptionNow(), "Report.rec"); // not shortened: only tips are
}

TEST_F(PollTest, TipsByPointerXWithBothEdgesInside) {
    // The rectangle is (100, 200)-(237, 247): 137 wide.
    const struct {
        int32_t dx, dy;
        const char *caption;
    } cases[] = {
        {0, 0, "Open (O)"}, // top-left corner, on the frame
        {22, 5, "Open (O)"},
        {23, 30, "Save"},
        {44, 47, "Rec (ctl+shft+alt+R)"}, // bottom edge
        {65, 20, "Play (ctl+shft+alt+P)"},
        {86, 20, "Compile"},
        {107, 20, "Options (Enter)"},
        {137, 47, "Options (Enter)"}, // bottom-right corner
        {-1, 20, "Quorvane"},
        {138, 20, "Quorvane"},
        {50, -1, "Quorvane"},
        {50, 48, "Quorvane"},
    };
    for (auto &c : cases) {
        PointAt(c.dx, c.dy);
        EXPECT_EQ(CaptionNow(), c.caption) << c.dx << "," << c.dy;
    }
}

// At 2x the window, the pointer and the rectangle are all in device pixels;
// the button pitch is in toolbar pixels, so every boundary lies twice as far.
TEST_F(PollTest, ScaledTipsUseOneCoordinateSystem) {
    g_fake.scale = 2;
    g_fake.windowRect = PlatRect{1000, 600, 1000 + 268, 600 + 73};
    const struct {
        int32_t dx, dy;
        const char *caption;
    } cases[] = {
        {0, 0, "Open (O)"},
        {45, 30, "Open (O)"},
        {46, 30, "Save"},
        {87, 30, "Save"},
        {88, 30, "Rec (ctl+shft+alt+R)"},
        {129, 30, "Rec (ctl+shft+alt+R)"},
        {131, 30, "Play (ctl+shft+alt+P)"},
        {214, 30, "Options (Enter)"},
        {268, 73, "Options (Enter)"},
        {269, 30, "Quorvane"},
        {-1, 30, "Quorvane"},
        {100, 74, "Quorvane"},
    };
    for (auto &c : cases) {
        PointAt(c.dx, c.dy);
        EXPECT_EQ(CaptionNow(), c.caption) << c.dx << "," << c.dy;
    }
}

TEST_F(PollTest, TipsNeedExactlyOne) {
    PointAt(30);
    g_app.tips = 2;
    EXPECT_EQ(CaptionNow(), "Quorvane");
    g_app.tips = 0;
    EXPECT_EQ(CaptionNow(), "Quorvane");
    g_app.tips = 1;
    EXPECT_EQ(CaptionNow(), "Save");
}

TEST_F(PollTest, RecAndPlayTipsNameTheHotkeyInBothVersionForms) {
    const struct {
        uint8_t choice;
        const char *rec6, *rec5, *play6, *play5;
    } cases[] = {
        {0, "Rec (ctl+shft+alt+R)", "Rec (ctl+sft+alt+R)", "Play (ctl+shft+alt+P)",
         "Play (ctl+sft+alt+P)"},
        {1, "Rec (Print Scr)", "Rec (Prnt Scr)", "Play (Print Scr)", "Play (Prnt Scr)"},
        {8, "Rec (F8)", "Rec (F8)", "Play (F8)", "Play (F8)"},
        {12, "Rec (F12)", "Rec (F12)", "Play (F12)", "Play (F12)"},
        {7, "Rec (", "Rec (", "Play (", "Play ("},
    };
    for (auto &c : cases)
        for (int version : {6, 5}) {
            g_app.recordHotkey = g_app.playHotkey = c.choice;
            g_fake.versionMajor = version;
            PointAt(50);
            EXPECT_EQ(CaptionNow(), version == 6 ? c.rec6 : c.rec5);
            PointAt(70);
            EXPECT_EQ(CaptionNow(), version == 6 ? c.play6 : c.play5);
        }
    // The short forms are for the Rec and Play tips only.
    g_fake.versionMajor = 4;
    PointAt(120);
    EXPECT_EQ(CaptionNow(), "Options (Enter)");
    PointAt(90);
    EXPECT_EQ(CaptionNow(), "Compile");
}

TEST_F(PollTest, CaptionIsWrittenOnlyWhenItChanges) {
    g_fake.caption = "";
    g_fake.cursorX = 0;
    g_fake.cursorY = 0;
    for (int i = 0; i < 4; i++)
        Poll();
    PointAt(30);
    Poll();
    Poll();
    g_fake.cursorX = 0;
    Poll();
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Quorvane", "Save", "Quorvane"}));
}

// Through the window's own repeating timer, in virtual time.
TEST_F(PollTest, PollRunsEveryFiftyMillisecondsAndFollowsTheRecordingClock) {
    AppWindowProc(MSG_CREATE, 0, 0);
    g_app.runState = Recording;
    g_app.startTick = g_fake.tick;
    g_fake.cursorX = g_fake.cursorY = 0;
    FakeRunFor(2000);
    auto caps = Captions();
    ASSERT_EQ(caps.size(), 3u);
    EXPECT_EQ(caps[0], "REC 00:00");
    EXPECT_EQ(caps[1], "REC 00:01");
    EXPECT_EQ(caps[2], "REC 00:02");
    EXPECT_EQ(FakeLogOf("caption")[1].tick, g_app.startTick + 1000);
}

// Where the backend tells when input comes, the poll waits for it: while
// recording it wakes only for the clock's next second (and input), idle
// only for input and commands, and a playback brings back the steady 50 ms.
TEST_F(PollTest, WhereInputIsToldThePollWaitsForIt) {
    g_fake.inputTimers = true;
    AppWindowProc(MSG_CREATE, 0, 0);
    g_app.runState = Recording;
    g_app.startTick = g_fake.tick;
    g_fake.cursorX = g_fake.cursorY = 0;
    FakeRunFor(2010);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"REC 00:00", "REC 00:01", "REC 00:02"}));
    auto waits = FakeLogOf("inputtimer");
    ASSERT_EQ(waits.size(), 3u) << "no tick between the seconds";
    EXPECT_EQ(waits[0].tick, g_app.startTick + 50);
    EXPECT_EQ(waits[0].c, 950);
    EXPECT_EQ(waits[1].tick, g_app.startTick + 1000);
    EXPECT_EQ(waits[1].b, 50) << "input wakes it no sooner than 50 ms on";
    g_app.runState = Idle;
    Poll();
    EXPECT_EQ(FakeLogOf("inputtimer").back().c, 0) << "idle, only input wakes it";
    EXPECT_EQ(g_fake.timers.count(TIMER_POLL), 0u);
    // A command (a load, a playback from the command line) changes what the
    // caption shows without any input: the poll looks again on its own.
    FakeClearLog();
    AppWindowProc(MSG_COMMAND, ID_ABOUT, 0);
    ASSERT_EQ(g_fake.timers.count(TIMER_POLL), 1u);
    EXPECT_EQ(g_fake.timers[TIMER_POLL].interval, 50u);
    Poll();
    FakeClearLog();
    g_app.runState = Playing;
    Poll();
    Poll();
    auto steady = FakeLogOf("settimer");
    ASSERT_EQ(steady.size(), 1u);
    EXPECT_EQ(steady[0].a, TIMER_POLL);
    EXPECT_EQ(steady[0].b, 50);
    EXPECT_TRUE(FakeLogOf("inputtimer").empty());
}

} // namespace
