#include "engine_test_util.h"
#include "../../platform/timer.h"
#include "engine/pace.h"

// Playback is driven through the window's dispatch: the play command, the
// player's own end-of-pass posts and its timer, on the fake clock.
class PlayerTest : public EngineTest {
  protected:
    // The injected input and the player's control flow, as one readable
    // trace: "release", "key 65 up", "move 60 70", "mouse 2", "post 32771",
    // "sleep 250", "close".
    static std::vector<std::string> Trace() {
        std::vector<std::string> out;
        for (auto &c : g_fake.log) {
            std::string s;
            if (c.what == "setkeyboardstate") {
                // A release opens with a left-button release of its own:
                // folded into the one "release" entry.
                size_t j = out.size();
                while (j > 0 && out[j - 1].rfind("key ", 0) == 0 && out[j - 1].size() > 3 &&
                       out[j - 1].substr(out[j - 1].size() - 3) == " up")
                    j--;
                if (j > 0 && out[j - 1] == "mouse 4") out.erase(out.begin() + long(j - 1));
                s = "release";
            } else if (c.what == "key")
                s = "key " + std::to_string(c.a) + ((c.c & 2) ? " up" : " down");
            else if (c.what == "setcursor")
                s = "move " + std::to_string(c.a) + " " + std::to_string(c.b);
            else if (c.what == "mouse" && c.a != 0x8001)
                s = "mouse " + std::to_string(c.a);
            else if (c.what == "post")
                s = "post " + std::to_string(c.a);
            else if (c.what == "sleep" && c.a != 1)
                s = "sleep " + std::to_string(c.a);
            else if (c.what == "close")
                s = "close";
            if (!s.empty()) out.push_back(s);
        }
        return out;
    }
    // Ticks of the fake clock at which entries of one kind happened.
    static std::vector<uint32_t> TicksOf(const std::string &what, int64_t a) {
        std::vector<uint32_t> out;
        for (auto &c : FakeLogOf(what))
            if (c.a == a) out.push_back(c.tick);
        return out;
    }
    static std::vector<int64_t> PlayTimerDelays() {
        std::vector<int64_t> out;
        for (auto &c : FakeLogOf("settimer"))
            if (c.a == TIMER_PLAY) out.push_back(c.b);
        return out;
    }
    // Plays `recs` once at fast speed; the cursor moves it made, in order.
    static std::vector<std::string> PlayFastMoves(const std::vector<EventRecord> &recs) {
        g_app.speed = 1;
        InstallRecording(recs);
        Command(ID_PLAY);
        FakeRunFor(1000);
        std::vector<std::string> moves;
        for (auto &t : Trace())
            if (t.rfind("move", 0) == 0) moves.push_back(t);
        return moves;
    }
    // A standalone copy: the running file is longer than the program.
    ScratchDir dir;
    void BeStandalone() {
        g_fake.modulePath = dir / "copy";
        WriteBytes(g_fake.modulePath, std::vector<uint8_t>(100, 1));
        g_app.ownBaseSize = 99;
    }
};

TEST_F(PlayerTest, ThreePassesWithReleasesAroundEach) {
    InstallRecording({KeyRec(WM_KEYDOWN, 'A', 5000), KeyRec(WM_KEYUP, 'A', 5100)});
    g_app.repeatCount = 3;
    std::strcpy(g_app.recordingName, "three.rec");
    Command(ID_PLAY);
    EXPECT_EQ(g_app.runState, Playing);
    FakeRunFor(2000);
    std::vector<std::string> pass = {"key 65 down", "key 65 up", "post 32771", "release"};
    std::vector<std::string> expected = {"release"};
    for (int i = 0; i < 3; i++)
        expected.insert(expected.end(), pass.begin(), pass.end());
    EXPECT_EQ(Trace(), expected);
    EXPECT_EQ(g_app.runState, Idle);
    EXPECT_EQ(g_app.loopNumber, 0);
    EXPECT_EQ(g_app.list.count, 2u) << "a full pass leaves count at the terminator";
    EXPECT_EQ(g_fake.caption, "three.rec");
    EXPECT_TRUE(g_fake.timers.empty());
}

// The first event of a pass comes 25 ms after the pass starts; then the
// recorded differences, also across a wrap of the tick count.
TEST_F(PlayerTest, NormalSpeedKeepsTheRecordedPacing) {
    InstallRecording(
        {KeyRec(WM_KEYDOWN, 'A', 0xFFFFFFF0u), KeyRec(WM_KEYUP, 'A', 0x10),
         MoveRec(60, 70, 0x10 + 300), EventRecord{WM_LBUTTONDBLCLK, 1, 1, 0x10 + 340, 0},
         KeyRec(WM_KEYDOWN, VK_LSHIFT, 0x10 + 345), KeyRec(WM_KEYUP, 'B', 0x10 + 350)});
    Command(ID_PLAY);
    FakeRunFor(2000);
    EXPECT_EQ(PlayTimerDelays(), (std::vector<int64_t>{25, 32, 300, 40, 5, 5}));
    auto timerSet = FakeLogOf("settimer").at(0).tick;
    auto keys = FakeLogOf("key");
    ASSERT_EQ(keys.size(), 3u) << "the left-Shift code and unknown kinds inject nothing";
    EXPECT_EQ(keys[0].tick, timerSet + 25);
    EXPECT_EQ(keys[1].tick, timerSet + 25 + 32);
    EXPECT_EQ(keys[2].tick, timerSet + 25 + 32 + 300 + 40 + 5 + 5);
    EXPECT_EQ(keys[0].b, 30) << "the scan code is derived again";
    EXPECT_EQ(keys[2].a, 'B');
    auto moves = FakeLogOf("mouse");
    ASSERT_GE(moves.size(), 2u);
    EXPECT_EQ(moves[1].a, 0x8001);
    EXPECT_EQ(moves[1].b, 3840);
    EXPECT_EQ(moves[1].c, 5974);
}

// A move's absolute value maps back to the recorded pixel, as the desktop
// maps it (value * size / 65536, rounded down) and as the X11 backend does,
// on every column and row of the screens that landed a pixel off and of
// odd sizes; past an edge it stops at the edge.
TEST_F(PlayerTest, PointerMovesLandOnTheirPixelOnEveryScreen) {
    static const struct {
        int32_t w, h;
    } screens[] = {{1280, 1024}, {1024, 768}, {1920, 1080}, {1366, 768}, {1023, 767},
                   {2561, 1441}, {3, 7},      {1, 1},       {7680, 4320}};
    for (auto s : screens) {
        g_fake.screenW = s.w;
        g_fake.screenH = s.h;
        auto played = [&](int32_t x, int32_t y) {
            FakeClearLog();
            ReplayPointerMove(x, y);
            auto m = FakeLogOf("mouse").at(0);
            EXPECT_EQ(m.a, 0x8001);
            EXPECT_LE(m.b, 65535);
            EXPECT_LE(m.c, 65535);
            int64_t winX = m.b * s.w / 65536, winY = m.c * s.h / 65536;
            EXPECT_EQ(PixelFromAbsolute(uint32_t(m.b), s.w), winX);
            EXPECT_EQ(PixelFromAbsolute(uint32_t(m.c), s.h), winY);
            return std::pair<int64_t, int64_t>{winX, winY};
        };
        int failures = 0;
        for (int32_t i = 0; i < std::max(s.w, s.h) && failures < 3; i++) {
            int32_t x = std::min(i, s.w - 1), y = std::min(i, s.h - 1);
            auto at = played(x, y);
            if (at != std::pair<int64_t, int64_t>{x, y})
                ADD_FAILURE() << s.w << "x" << s.h << ": " << x << "," << y << " lands at "
                              << at.first << "," << at.second << " (failure " << ++failures << ")";
        }
        EXPECT_EQ(played(s.w, s.h), (std::pair<int64_t, int64_t>{s.w - 1, s.h - 1}));
        EXPECT_EQ(played(100000, -5), (std::pair<int64_t, int64_t>{s.w - 1, 0}));
        EXPECT_EQ(played(-70000, 1 << 30), (std::pair<int64_t, int64_t>{0, s.h - 1}));
    }
}

TEST_F(PlayerTest, KeysAndButtonsAreInjectedWithTheirFlags) {
    InstallRecording({KeyRec(WM_KEYDOWN, VK_CONTROL, 0), KeyRec(WM_KEYUP, 0x25, 1),
                      KeyRec(WM_KEYDOWN, VK_RCONTROL, 2), ButtonRec(WM_RBUTTONDOWN, 3),
                      ButtonRec(WM_RBUTTONUP, 4), ButtonRec(WM_LBUTTONDOWN, 5),
                      ButtonRec(WM_LBUTTONUP, 6), KeyRec(WM_KEYDOWN, VK_MBUTTON, 7),
                      KeyRec(WM_KEYUP, VK_MBUTTON, 8), KeyRec(WM_KEYDOWN, VK_XBUTTON1, 9),
                      KeyRec(WM_KEYUP, VK_XBUTTON1, 10), KeyRec(WM_KEYDOWN, VK_XBUTTON2, 11),
                      KeyRec(WM_KEYUP, VK_XBUTTON2, 12)});
    Command(ID_PLAY);
    FakeRunFor(500);
    // Key records of the middle and side buttons play as those buttons.
    std::vector<std::pair<int64_t, int64_t>> more;
    for (auto &b : FakeLogOf("button"))
        more.push_back({b.a, b.b});
    EXPECT_EQ(more, (std::vector<std::pair<int64_t, int64_t>>{{MOUSEEVENTF_MIDDLEDOWN, 0},
                                                              {MOUSEEVENTF_MIDDLEUP, 0},
                                                              {MOUSEEVENTF_XDOWN, XBUTTON1},
                                                              {MOUSEEVENTF_XUP, XBUTTON1},
                                                              {MOUSEEVENTF_XDOWN, XBUTTON2},
                                                              {MOUSEEVENTF_XUP, XBUTTON2}}));
    auto keys = FakeLogOf("key");
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].c, 1) << "Ctrl is an extended key";
    EXPECT_EQ(keys[1].c, 3) << "an arrow key released";
    EXPECT_EQ(keys[2].c, 0) << "the side-specific code is not extended";
    std::vector<int64_t> buttons;
    for (auto &m : FakeLogOf("mouse"))
        buttons.push_back(m.a);
    // Each release starts with a left-button release of its own.
    EXPECT_EQ(buttons, (std::vector<int64_t>{4, 8, 16, 2, 4, 4}));
    EXPECT_EQ(g_app.clickPlayed, 1);
    EXPECT_EQ(g_app.leftHeld, 0);
}

// Wheel records turn the wheel where the pointer is, by their signed delta;
// at fast speed they end a run of moves as a button does, and a drag stays
// a drag across them.
TEST_F(PlayerTest, WheelRecordsTurnTheWheelAtThePointer) {
    auto wheel = [](uint32_t message, int32_t delta, uint32_t time) {
        return EventRecord{message, uint32_t(delta), 0, time, 0x2222};
    };
    InstallRecording({wheel(WM_MOUSEWHEEL, 120, 0), wheel(WM_MOUSEWHEEL, -240, 10),
                      wheel(WM_MOUSEHWHEEL, 120, 30), wheel(WM_MOUSEWHEEL, 0, 60),
                      wheel(WM_MOUSEHWHEEL, -1, 100), KeyRec(WM_KEYDOWN, 'A', 150)});
    Command(ID_PLAY);
    FakeRunFor(500);
    std::vector<std::pair<int64_t, int64_t>> turns;
    for (auto &b : FakeLogOf("button"))
        turns.push_back({b.a, b.b});
    EXPECT_EQ(turns, (std::vector<std::pair<int64_t, int64_t>>{{MOUSEEVENTF_WHEEL, 120},
                                                               {MOUSEEVENTF_WHEEL, 0xFFFFFF10},
                                                               {MOUSEEVENTF_HWHEEL, 120},
                                                               {MOUSEEVENTF_HWHEEL, 0xFFFFFFFF}}))
        << "a turn of 0 injects nothing";
    EXPECT_EQ(PlayTimerDelays(), (std::vector<int64_t>{25, 10, 20, 30, 40, 50}));
    EXPECT_EQ(g_app.clickPlayed, 0) << "no double-click wait for a wheel";

    FakeClearLog();
    std::vector<EventRecord> recs;
    for (int32_t pos = 0; pos < 5; pos++)
        recs.push_back(MoveRec(pos * 10 + 10, 5, 0));
    recs.push_back(wheel(WM_MOUSEWHEEL, -120, 0));
    for (int32_t pos = 6; pos < 9; pos++)
        recs.push_back(MoveRec(pos * 10 + 10, 5, 0));
    std::vector<std::string> order;
    PlayFastMoves(recs);
    for (auto &c : LogOf({"setcursor", "button"}))
        order.push_back(c.what == "button" ? "wheel " + std::to_string(int32_t(c.b))
                                           : "move " + std::to_string(c.a));
    EXPECT_EQ(order,
              (std::vector<std::string>{"move 10", "move 50", "wheel -120", "move 70", "move 90"}));

    FakeClearLog();
    g_app.leftHeld = 1;
    PlayFastMoves(recs);
    EXPECT_EQ(FakeLogOf("setcursor").size(), 8u) << "every move of a drag";
    EXPECT_EQ(g_app.leftHeld, 1);
}

// Once a left-button event has been played, every end of pass waits half
// the double-click time, so the next pass's first click is no double click.
TEST_F(PlayerTest, EndOfPassWaitsHalfTheDoubleClickTimeAfterAClick) {
    InstallRecording({KeyRec(WM_KEYDOWN, 'A', 0)});
    Command(ID_PLAY);
    FakeRunFor(200);
    EXPECT_EQ(Trace(),
              (std::vector<std::string>{"release", "key 65 down", "post 32771", "release"}));
    FakeClearLog();
    InstallRecording({ButtonRec(WM_LBUTTONDOWN, 0), ButtonRec(WM_LBUTTONUP, 10)});
    g_fake.doubleClickTime = 501;
    Command(ID_PLAY);
    FakeRunFor(1000);
    EXPECT_EQ(Trace(), (std::vector<std::string>{"release", "mouse 2", "mouse 4", "sleep 250",
                                                 "post 32771", "release"}));
    FakeClearLog();
    InstallRecording({KeyRec(WM_KEYDOWN, 'A', 0)});
    Command(ID_PLAY);
    FakeRunFor(1000);
    EXPECT_EQ(FakeLogOf("sleep").size(), 3u) << "two releases and the wait";
}

// Fast speed: a run of moves shows only list positions divisible by 6 and
// the run's last move, then waits 75 ms; every other step takes 1 ms.
TEST_F(PlayerTest, FastSpeedThinsRunsOfMoves) {
    std::vector<EventRecord> recs;
    for (uint32_t i = 0; i < 6; i++)
        recs.push_back(KeyRec(i % 2 ? WM_KEYUP : WM_KEYDOWN, 'A', 0));
    for (int32_t pos = 6; pos <= 18; pos++)
        recs.push_back(MoveRec(pos * 10, 5, 0));
    recs.push_back(ButtonRec(WM_RBUTTONDOWN, 0));
    for (int32_t pos = 20; pos <= 23; pos++)
        recs.push_back(MoveRec(pos * 10, 5, 0));
    recs.push_back(KeyRec(WM_KEYDOWN, 'B', 0));
    EXPECT_EQ(PlayFastMoves(recs),
              (std::vector<std::string>{"move 60 5", "move 120 5", "move 180 5", "move 230 5"}));
    EXPECT_EQ(PlayTimerDelays(), (std::vector<int64_t>{25, 1, 1, 1, 1, 1, 75, 75}));
    auto right = TicksOf("mouse", MOUSEEVENTF_RIGHTDOWN);
    auto lastKey = FakeLogOf("key").back();
    ASSERT_EQ(right.size(), 1u);
    EXPECT_EQ(lastKey.a, 'B');
    EXPECT_EQ(lastKey.tick, right[0] + 75 + 1) << "75 ms after the tick that slept 1 ms";
}

// Every record keeps its deadline on the pass's clock, though each injection
// costs time: re-arming from "now" would fall 2 ms behind per move. The pass
// runs across a wrap of the tick count.
TEST_F(PlayerTest, NormalSpeedKeepsDeadlinesOverALongPass) {
    std::vector<EventRecord> recs;
    for (uint32_t i = 0; i < 3000; i++)
        recs.push_back(MoveRec(int32_t(1 + i % 500), 7, 77 + 10 * i));
    InstallRecording(recs);
    g_fake.injectCostMs = 2;
    g_fake.tick = 0xFFFFF000u;
    Command(ID_PLAY);
    uint32_t start = g_fake.tick;
    FakeRunFor(40000);
    auto moves = TicksOf("mouse", 0x8001);
    ASSERT_EQ(moves.size(), 3000u);
    for (uint32_t i = 0; i < 3000; i += 499)
        EXPECT_EQ(moves[i], start + 25 + 10 * i) << "move " << i;
    EXPECT_EQ(moves.back(), start + 25 + 29990) << "the pass ends on time";
    EXPECT_EQ(PlayTimerDelays().at(5), 8) << "the 10 ms step less the 2 ms the move took";
}

// Each recorded wait divided by the rate, the fraction carried on so the
// waits add up to the pass's length divided by the rate; the pause limit
// cuts the wait after the rate.
TEST(PacedWait, DividesCarriesAndCutsAfterTheRate) {
    const struct {
        uint32_t recorded;
        int32_t rate, limit;
        uint32_t wait;
    } cases[] = {
        {1000, 200, 0, 500},
        {8000, 200, 0, 4000},
        {1000, 400, 0, 250},
        {8000, 400, 0, 2000},
        {1000, 50, 0, 2000},
        {1000, 50, 1000, 1000},
        {8000, 50, 1000, 1000},
        {1500, 200, 1000, 750}, // the limit counts after the rate
        {1000, 10, 0, 10000},
        {1000, 1000, 0, 100},
        {0, 300, 0, 0},
        {1000, 0, 0, 1000},
        {1000, 5, 0, 10000},
        {1000, 5000, 0, 100},
        {0xFFFFFF00u, 200, 0, 0xFFFFFF00u}, // ran backwards: left alone
        {0xFFFFFF00u, 200, 1000, 1000},     // but for the limit
        {0x7FFFFFFFu, 10, 0, 0x7FFFFFFFu},  // the longest forward wait
    };
    for (auto &c : cases) {
        uint32_t carry = PaceStart(c.rate);
        EXPECT_EQ(PacedWait(c.recorded, c.rate, c.limit, &carry), c.wait)
            << c.recorded << " at " << c.rate << "% limit " << c.limit;
    }
    // Short steps at rates that do not divide them: the sum stays the
    // rounded whole, however many steps there are.
    const struct {
        int32_t rate;
        uint32_t step, steps, total;
    } runs[] = {{300, 10, 3000, 10000}, {700, 10, 1001, 1430}, {30, 7, 999, 23310},
                {1000, 3, 1000, 300},   {100, 13, 500, 6500},  {150, 1, 999, 666}};
    for (auto &r : runs) {
        uint32_t carry = PaceStart(r.rate), sum = 0, longest = 0;
        for (uint32_t i = 0; i < r.steps; i++) {
            uint32_t w = PacedWait(r.step, r.rate, 0, &carry);
            sum += w;
            longest = w > longest ? w : longest;
        }
        EXPECT_EQ(sum, r.total) << r.step << " x " << r.steps << " at " << r.rate << "%";
        EXPECT_LE(longest, (r.step * 100 + uint32_t(r.rate) - 1) / uint32_t(r.rate));
    }
}

// The rate on the pass's one clock: a recording of a, b 1000 ms later and c
// 8000 ms later, keys only, at 2x and at 0.5x with a one-second limit; and
// a long pass of moves at 3x lasts a third as long, to the millisecond.
TEST_F(PlayerTest, RateAndPauseLimitPaceNormalSpeed) {
    const struct {
        int32_t rate, limit;
        uint32_t ab, bc;
    } cases[] = {
        {200, 0, 500, 4000}, {50, 1000, 1000, 1000}, {400, 0, 250, 2000}, {100, 3000, 1000, 3000}};
    for (auto &c : cases) {
        FreshDesktop();
        InstallRecording({KeyRec(WM_KEYDOWN, 'A', 100), KeyRec(WM_KEYDOWN, 'B', 1100),
                          KeyRec(WM_KEYDOWN, 'C', 9100)});
        g_app.ratePercent = c.rate;
        g_app.maxPauseMs = c.limit;
        g_fake.injectCostMs = 2;
        Command(ID_PLAY);
        FakeRunFor(30000);
        auto keys = FakeLogOf("key");
        ASSERT_EQ(keys.size(), 3u);
        EXPECT_EQ(keys[1].tick - keys[0].tick, c.ab) << c.rate << "% " << c.limit;
        EXPECT_EQ(keys[2].tick - keys[1].tick, c.bc) << c.rate << "% " << c.limit;
    }
    // Fast speed keeps its own pacing whatever the rate.
    FreshDesktop();
    InstallRecording({KeyRec(WM_KEYDOWN, 'A', 100), KeyRec(WM_KEYDOWN, 'B', 1100)});
    g_app.speed = 1;
    g_app.ratePercent = 50;
    Command(ID_PLAY);
    FakeRunFor(3000);
    EXPECT_EQ(PlayTimerDelays(), (std::vector<int64_t>{25, 1}));

    FreshDesktop();
    std::vector<EventRecord> recs;
    for (uint32_t i = 0; i < 3000; i++)
        recs.push_back(MoveRec(int32_t(1 + i % 500), 7, 77 + 10 * i));
    InstallRecording(recs);
    g_app.ratePercent = 300;
    g_fake.injectCostMs = 2;
    g_fake.tick = 0xFFFFF000u;
    Command(ID_PLAY);
    uint32_t start = g_fake.tick;
    FakeRunFor(40000);
    auto moves = TicksOf("mouse", 0x8001);
    ASSERT_EQ(moves.size(), 3000u);
    EXPECT_EQ(moves.back() - start, 25u + 9997u) << "29990 ms at 3x, rounded";
}

// Lateness up to the stall limit is caught up by playing what is due at
// once; a longer stall starts the schedule again from now.
TEST_F(PlayerTest, StallsAreCaughtUpOrReBased) {
    std::vector<EventRecord> recs;
    for (uint32_t i = 0; i < 40; i++)
        recs.push_back(MoveRec(int32_t(10 + i), 7, 500 + 10 * i));
    InstallRecording(recs);
    Command(ID_PLAY);
    uint32_t t0 = g_fake.tick + 25;
    FakeAt(t0 + 55, [] { PlatSleep(30); });
    FakeAt(t0 + 205, [] { PlatSleep(200); });
    FakeRunFor(2000);
    auto moves = TicksOf("mouse", 0x8001);
    ASSERT_EQ(moves.size(), 40u) << "nothing is dropped";
    for (uint32_t i = 0; i < 6; i++)
        EXPECT_EQ(moves[i], t0 + 10 * i);
    for (uint32_t i = 6; i <= 8; i++)
        EXPECT_EQ(moves[i], t0 + 85) << "30 ms late: the three due moves at once";
    EXPECT_EQ(moves[9], t0 + 90) << "then back on the schedule";
    EXPECT_EQ(moves[20], t0 + 200);
    EXPECT_EQ(moves[21], t0 + 405) << "200 ms late: played now, not bursting the rest";
    EXPECT_EQ(moves[22], t0 + 415);
    EXPECT_EQ(moves[39], t0 + 405 + 180);
}

// A drag keeps every move, one per tick; thinning resumes after the release.
TEST_F(PlayerTest, FastSpeedKeepsEveryMoveOfADrag) {
    std::vector<EventRecord> recs = {ButtonRec(WM_LBUTTONDOWN, 0)};
    for (int32_t pos = 1; pos <= 4; pos++)
        recs.push_back(MoveRec(pos, 9, 0));
    recs.push_back(ButtonRec(WM_LBUTTONUP, 0));
    for (int32_t pos = 6; pos <= 11; pos++)
        recs.push_back(MoveRec(pos, 9, 0));
    EXPECT_EQ(PlayFastMoves(recs), (std::vector<std::string>{"move 1 9", "move 2 9", "move 3 9",
                                                             "move 4 9", "move 6 9", "move 11 9"}));
    // The list ends in a run of moves: its last move ends the pass in the
    // same tick, with no 75 ms wait.
    EXPECT_EQ(PlayTimerDelays(), (std::vector<int64_t>{25, 1, 1, 1, 1, 1}));
    EXPECT_EQ(g_app.list.count, 12u);
}

TEST_F(PlayerTest, ContinuousRunsUntilAStopRequest) {
    InstallRecording({KeyRec(WM_KEYDOWN, 'A', 0), KeyRec(WM_KEYUP, 'A', 40)});
    g_app.continuous = 1;
    g_app.repeatCount = 1;
    Command(ID_PLAY);
    for (int i = 0; i < 2000 && g_app.loopNumber < 5; i++)
        FakeRunFor(1);
    EXPECT_EQ(g_app.loopNumber, 5);
    EXPECT_EQ(g_app.runState, Playing);
    FakeClearLog();
    Command(PLAY_STOP_REQUEST);
    EXPECT_EQ(g_app.runState, Idle);
    EXPECT_EQ(g_app.loopNumber, 0);
    FakeRunFor(500);
    EXPECT_EQ(Trace(), (std::vector<std::string>{"release"})) << "the pending tick does nothing";
}

// A stop request while idle still releases input, and a standalone copy
// closes whenever a playback stops through the play command.
TEST_F(PlayerTest, StopRequestAndTheStandaloneClose) {
    InstallRecording({KeyRec(WM_KEYDOWN, 'A', 0)});
    Command(PLAY_STOP_REQUEST);
    EXPECT_EQ(Trace(), (std::vector<std::string>{"release"}));
    EXPECT_EQ(g_app.runState, Idle);
    EXPECT_TRUE(PlayTimerDelays().empty());

    BeStandalone();
    FakeClearLog();
    Command(PLAY_STOP_REQUEST);
    EXPECT_EQ(Trace(), (std::vector<std::string>{"release", "close"}));

    g_app.ownBaseSize = 100; // exactly as long: not a copy
    FakeClearLog();
    Command(PLAY_STOP_REQUEST);
    EXPECT_EQ(Trace(), (std::vector<std::string>{"release"}));

    g_app.repeatCount = 0; // nothing to play: the command stops at once
    FakeClearLog();
    Command(ID_PLAY);
    EXPECT_EQ(g_app.runState, Idle);
    EXPECT_EQ(Trace(), (std::vector<std::string>{"release"}));
}

TEST_F(PlayerTest, StandaloneCopyClosesAfterItsPasses) {
    BeStandalone();
    InstallRecording({KeyRec(WM_KEYDOWN, 'A', 0)});
    g_app.repeatCount = 2;
    Command(ID_PLAY);
    FakeRunFor(100);
    auto t = Trace();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back(), "close");
    EXPECT_EQ(std::count(t.begin(), t.end(), "key 65 down"), 2);
}

// Pause or Scroll Lock down when a tick runs ends the playback; whatever the
// recording held is let go, and a Scroll Lock toggle is turned off again.
TEST_F(PlayerTest, PauseOrScrollLockStopsAndReleases) {
    struct {
        int key;
        bool scrollWasOn;
        std::vector<std::string> after;
    } cases[] = {
        {VK_PAUSE, false, {"release"}},
        {VK_SCROLL, false, {"release", "key 145 down", "key 145 up"}},
        // A light that was on before the playback is the user's choice: the
        // table cleared at the start of the playback does not show it.
        {VK_PAUSE, true, {"release"}},
    };
    for (auto &c : cases) {
        FreshDesktop();
        if (c.scrollWasOn) g_fake.thread[VK_SCROLL] = 1;
        InstallRecording({KeyRec(WM_KEYDOWN, 'A', 0), KeyRec(WM_KEYUP, 'A', 1000)});
        g_app.continuous = 1;
        Command(ID_PLAY);
        FakeRunFor(100);
        ASSERT_EQ(FakeLogOf("key").size(), 1u);
        // The played press reached the desktop; then the user stops.
        g_fake.thread[int('A')] = 0x80;
        FakeKeyDown(c.key);
        FakeClearLog();
        FakeRunFor(2000);
        std::vector<std::string> expected;
        if (c.key == VK_PAUSE) expected.push_back("key 19 up");
        expected.push_back("key 65 up");
        SCOPED_TRACE(c.key);
        auto trace = Trace();
        // The release's own key-ups come before the table is cleared.
        std::vector<std::string> want = expected;
        want.insert(want.end(), c.after.begin(), c.after.end());
        EXPECT_EQ(trace, want);
        EXPECT_EQ(g_app.runState, Idle);
        EXPECT_EQ(g_app.list.count, 1u) << "stopped at position 1";
        EXPECT_EQ(FakeLogOf("caption").size(), 1u) << "the idle caption";
        EXPECT_TRUE(g_fake.timers.empty());
    }
}

// A stop key held when a pass ends stops there: the release that opens the
// next pass would let go of it before the poll could read it.
TEST_F(PlayerTest, PauseHeldAtTheEndOfAPassStops) {
    InstallRecording({KeyRec(WM_KEYDOWN, 'A', 0), KeyRec(WM_KEYUP, 'A', 40)});
    g_app.continuous = 1;
    Command(ID_PLAY);
    FakeRunFor(30);
    FakeKeyDown(VK_PAUSE);
    FakeClearLog();
    Command(ID_PLAY); // as the end of the pass posts it
    EXPECT_EQ(g_app.runState, Idle);
    EXPECT_EQ(g_app.loopNumber, 0);
    FakeRunFor(500);
    EXPECT_EQ(Trace(), (std::vector<std::string>{"key 19 up", "release"})) << "nothing more played";
}

// A tap of a stop key that begins and ends between two looks still stops
// the playback at the next; a press from before the playback does not.
TEST_F(PlayerTest, PauseTappedBetweenTicksStopsAtTheNext) {
    InstallRecording({KeyRec(WM_KEYDOWN, 'A', 0), KeyRec(WM_KEYUP, 'A', 1000)});
    FakeKeyDown(VK_PAUSE);
    FakeKeyUp(VK_PAUSE);
    Command(ID_PLAY);
    uint32_t now = g_fake.tick;
    FakeAt(now + 300, [] { FakeKeyDown(VK_PAUSE); });
    FakeAt(now + 340, [] { FakeKeyUp(VK_PAUSE); });
    FakeRunFor(2000);
    EXPECT_EQ(Trace(), (std::vector<std::string>{"release", "key 65 down", "release"}))
        << "stopped when A's release was due; the stop's own release let A go";
    EXPECT_EQ(g_app.runState, Idle);
}

TEST_F(PlayerTest, RunStateGuards) {
    Command(ID_PLAY);
    FakeCall box = TheOnly("box");
    EXPECT_EQ(box.text, kNothingRecorded);
    EXPECT_EQ(box.a, 0x52040);
    EXPECT_EQ(g_app.runState, Idle);

    // A block without records still plays: each pass ends at its first tick.
    InstallRecording({});
    Command(ID_PLAY);
    FakeRunFor(30);
    EXPECT_EQ(PlayTimerDelays(), (std::vector<int64_t>{25}));
    EXPECT_EQ(g_app.runState, Idle);

    // Play, or a stop request, while recording is ignored.
    Command(ID_RECORD);
    FakeClearLog();
    Command(ID_PLAY);
    Command(PLAY_STOP_REQUEST);
    EXPECT_EQ(g_app.runState, Recording);
    EXPECT_TRUE(g_fake.log.empty());
    // A late play tick with a stop key down leaves the recording running.
    FakeKeyDown(VK_PAUSE);
    PlayTick(TIMER_PLAY);
    EXPECT_EQ(g_app.runState, Recording);
    FakeKeyUp(VK_PAUSE);
    Command(ID_RECORD);
}

// The record command stops a playback: no trim, no terminator over the
// records, and the pending tick ends without injecting.
TEST_F(PlayerTest, RecordCommandStopsAPlayback) {
    InstallRecording({KeyRec(WM_KEYDOWN, 'A', 0), KeyRec(WM_KEYUP, 'A', 100),
                      ButtonRec(WM_LBUTTONDOWN, 200), KeyRec(WM_KEYDOWN, 'B', 300)});
    g_app.list.records[2].hwnd = g_fake.mainWindowId;
    Command(ID_PLAY);
    FakeRunFor(50);
    ASSERT_EQ(g_app.list.count, 1u);
    Command(ID_RECORD);
    EXPECT_EQ(g_app.runState, Idle);
    EXPECT_EQ(g_fake.caption, "Quorvane");
    EXPECT_EQ(g_app.list.records[1].message, WM_KEYUP);
    FakeClearLog();
    FakeRunFor(1000);
    EXPECT_TRUE(FakeLogOf("key").empty());
    EXPECT_EQ(g_app.list.count, 1u);
    // Play during playback counts as a finished pass and starts over.
    g_app.repeatCount = 5;
    Command(ID_PLAY);
    FakeRunFor(30);
    Command(ID_PLAY);
    EXPECT_EQ(g_app.loopNumber, 1);
    EXPECT_EQ(g_app.list.count, 0u);
}
