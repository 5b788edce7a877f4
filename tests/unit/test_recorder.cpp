#include "engine_test_util.h"
#include "../../platform/timer.h"

// Recording is driven the way the window drives it: the record command,
// then timer ticks every 10 ms of the fake clock.
class RecorderTest : public EngineTest {
  protected:
    void Start() {
        Command(ID_RECORD);
        ASSERT_EQ(g_app.runState, Recording);
    }
    // Runs exactly one recorder tick.
    static void Tick() { FakeRunFor(10); }
    static void Ticks(int n) { FakeRunFor(10 * uint32_t(n)); }
    static std::vector<EventRecord> Recorded() {
        if (!g_app.list.records) return {};
        return std::vector<EventRecord>(g_app.list.records, g_app.list.records + g_app.list.count);
    }
    // Kind and low parameter of every record taken.
    using Taken = std::vector<std::pair<uint32_t, uint32_t>>;
    static Taken KindsAndParams() {
        Taken out(g_app.list.records ? g_app.list.count : 0);
        for (size_t i = 0; i < out.size(); i++)
            out[i] = {g_app.list.records[i].message, g_app.list.records[i].paramL};
        return out;
    }
};

TEST_F(RecorderTest, StartClearsTheOldRecordingAndArmsTheTick) {
    InstallRecording({MoveRec(1, 2, 3)});
    Start();
    EXPECT_EQ(g_app.list.records, nullptr) << "the loaded recording is discarded";
    EXPECT_EQ(g_app.startTick, g_fake.tick);
    FakeCall timer = TheOnly("settimer");
    EXPECT_EQ(timer.a, TIMER_RECORD);
    EXPECT_EQ(timer.b, 10);
    EXPECT_EQ(FakeLogOf("invalidate").size(), 1u);
    EXPECT_EQ(FakeLogOf("setkeyboardstate").size(), 1u) << "input is released first";
    EXPECT_TRUE(FakeLogOf("caption").empty());

    Tick();
    EXPECT_EQ(g_app.list.capacity, 20000u) << "the first tick makes the list";
    EXPECT_EQ(g_app.list.count, 0u);
}

// One event per tick: a second key that changed in the same interval waits
// for the next tick and gets that tick's time.
TEST_F(RecorderTest, TwoKeysInOneTickAreTakenOneTickApart) {
    Start();
    FakeKeyDown('B');
    FakeKeyDown('A');
    g_fake.foreground = 0x4444;
    Tick();
    uint32_t first = g_fake.tick;
    Tick();
    FakeKeyUp('A');
    FakeKeyUp('B');
    Ticks(3);
    auto r = Recorded();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].message, WM_KEYDOWN);
    EXPECT_EQ(r[0].paramL, 30u * 256 + 'A');
    EXPECT_EQ(r[0].paramH, 30u);
    EXPECT_EQ(r[0].time, first);
    EXPECT_EQ(r[0].hwnd, 0x4444u);
    EXPECT_EQ(r[1].message, WM_KEYDOWN);
    EXPECT_EQ(r[1].paramL & 0xFF, uint32_t('B'));
    EXPECT_EQ(r[1].time, first + 10);
    EXPECT_EQ(r[2].message, WM_KEYUP);
    EXPECT_EQ(r[2].paramL & 0xFF, uint32_t('A'));
    EXPECT_EQ(r[3].paramL & 0xFF, uint32_t('B'));
    EXPECT_EQ(FakeLogOf("settimer").size(), 6u) << "every tick re-arms";
}

// A tap that begins and ends between two ticks (a tick late on a busy
// machine) is a press at the next tick and its release at the one after; a
// key tapped before the start is none of the recording's.
TEST_F(RecorderTest, TapBetweenTwoTicksIsKept) {
    FakeKeyDown(VK_F8);
    FakeKeyUp(VK_F8);
    Start();
    Tick();
    FakeKeyDown('Q');
    FakeKeyUp('Q');
    Tick();
    uint32_t pressed = g_fake.tick;
    Ticks(2);
    auto r = Recorded();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].message, WM_KEYDOWN);
    EXPECT_EQ(r[0].paramL & 0xFF, uint32_t('Q'));
    EXPECT_EQ(r[0].time, pressed);
    EXPECT_EQ(r[1].message, WM_KEYUP);
    EXPECT_EQ(r[1].paramL & 0xFF, uint32_t('Q'));
    EXPECT_EQ(r[1].time, pressed + 10);
}

TEST_F(RecorderTest, ShiftAndCtrlSides) {
    Start();
    FakeKeyDown(VK_SHIFT);
    FakeKeyDown(VK_LSHIFT);
    Ticks(2);
    FakeKeyUp(VK_SHIFT);
    FakeKeyUp(VK_LSHIFT);
    Ticks(2);
    FakeKeyDown(VK_CONTROL);
    FakeKeyDown(VK_RCONTROL);
    Ticks(3);
    // The left-Shift code is not taken; the right-Ctrl code is.
    EXPECT_EQ(KindsAndParams(), (Taken{{WM_KEYDOWN, 42u * 256 + VK_SHIFT},
                                       {WM_KEYUP, 42u * 256 + VK_SHIFT},
                                       {WM_KEYDOWN, 29u * 256 + VK_CONTROL},
                                       {WM_KEYDOWN, 29u * 256 + VK_RCONTROL}}));
}

TEST_F(RecorderTest, ButtonsCarryThePointerAndTheMiddleButtonIsAKey) {
    Start();
    g_fake.cursorX = 123;
    g_fake.cursorY = 45;
    FakeKeyDown(VK_LBUTTON);
    FakeKeyDown(VK_RBUTTON);
    Ticks(2);
    FakeKeyUp(VK_LBUTTON);
    FakeKeyUp(VK_RBUTTON);
    FakeKeyDown(VK_MBUTTON);
    Ticks(3);
    EXPECT_EQ(KindsAndParams(), (Taken{{WM_LBUTTONDOWN, 123},
                                       {WM_RBUTTONDOWN, 123},
                                       {WM_LBUTTONUP, 123},
                                       {WM_RBUTTONUP, 123},
                                       {WM_KEYDOWN, VK_MBUTTON}}));
    EXPECT_EQ(Recorded().at(0).paramH, 45u);
}

// Moves at the screen's edges and moves that keep the low byte of x + y are
// not taken; a tick that takes a key takes no move.
TEST_F(RecorderTest, MoveFilter) {
    g_fake.cursorX = 400;
    g_fake.cursorY = 300;
    Start();
    // Every other position is taken, also one with the same x + y (or the
    // same low byte of it) as the last; the top and left edges never.
    struct {
        int32_t x, y;
        bool taken;
    } steps[] = {
        {400, 300, false}, {0, 50, false},  {50, 0, false},   {100, 50, true},  {100, 50, false},
        {50, 100, true},   {356, 50, true}, {100, 306, true}, {101, 305, true}, {102, 304, true},
        {102, 304, false}, {-5, 30, true},  {1, 1, true},
    };
    uint32_t expected = 0;
    for (auto &s : steps) {
        g_fake.cursorX = s.x;
        g_fake.cursorY = s.y;
        Tick();
        if (s.taken) {
            expected++;
            ASSERT_EQ(g_app.list.count, expected) << s.x << "," << s.y;
            EventRecord last = g_app.list.records[expected - 1];
            EXPECT_EQ(last.message, WM_MOUSEMOVE);
            EXPECT_EQ(int32_t(last.paramL), s.x);
            EXPECT_EQ(int32_t(last.paramH), s.y);
        }
        EXPECT_EQ(g_app.list.count, expected) << s.x << "," << s.y;
    }
    g_fake.cursorX = 200;
    FakeKeyDown('A');
    Tick();
    Tick();
    auto r = Recorded();
    ASSERT_EQ(r.size(), expected + 2);
    EXPECT_EQ(r[expected].message, WM_KEYDOWN);
    EXPECT_EQ(r[expected + 1].message, WM_MOUSEMOVE);
    EXPECT_EQ(r[expected + 1].paramL, 200u);
}

// The wheel has no state: the turns between ticks add up per direction and
// go in after a key change and before a move, one record a tick. Turns from
// before the start are dropped; parts of a notch are kept as they are.
TEST_F(RecorderTest, WheelTurnsComeBetweenKeysAndMoves) {
    FakeWheel(360, -120);
    Start();
    FakeWheel(120, 0);
    FakeWheel(120, -120);
    FakeWheel(0, 240);
    FakeKeyDown('A');
    g_fake.cursorX = 200;
    Ticks(4);
    FakeWheel(-30, 0);
    Tick();
    FakeWheel(-120, 0);
    FakeWheel(120, 0);
    g_fake.cursorX = 210;
    Tick();
    // Before its first turn the wheel's place goes in, as a move.
    EXPECT_EQ(KindsAndParams(), (Taken{{WM_KEYDOWN, 30u * 256 + 'A'},
                                       {WM_MOUSEMOVE, 200},
                                       {WM_MOUSEWHEEL, 240},
                                       {WM_MOUSEHWHEEL, 120},
                                       {WM_MOUSEWHEEL, uint32_t(-30)},
                                       {WM_MOUSEMOVE, 210}}));
    auto r = Recorded();
    EXPECT_EQ(r[2].paramH, 0u);
    EXPECT_EQ(r[2].hwnd, g_fake.foreground);
    EXPECT_EQ(r[2].time, r[1].time + 10);
}

// Samples keep a 10 ms grid of their own from the start, whatever each scan
// costs; a tick that came late (the machine froze) is taken when it comes,
// and the slots it missed are skipped, not sampled in a burst.
TEST_F(RecorderTest, SamplesKeepTheirOwnTenMsGrid) {
    const struct {
        uint32_t scanCostMs, freezeAt, freezeMs;
        std::vector<uint32_t> offsets; // record times since the start, less the scan cost
    } cases[] = {
        {0, 0, 0, {10, 20, 30, 40, 50, 60, 70, 80}},
        {3, 0, 0, {10, 20, 30, 40, 50, 60, 70, 80}},
        {9, 0, 0, {10, 20, 30, 40, 50, 60, 70, 80}},
        {2, 45, 27, {10, 20, 30, 40, 72, 80}},
        {0, 45, 1500, {10, 20, 30, 40, 1545, 1555, 1565}},
    };
    for (const auto &c : cases) {
        FakeReset();
        g_fake.scanCostMs = c.scanCostMs;
        Start();
        uint32_t start = g_fake.tick;
        // The pointer moves every millisecond, so every sample is a move.
        for (uint32_t t = 1; t < 1700; t++)
            FakeAt(start + t, [] { g_fake.cursorX++; });
        if (c.freezeMs) FakeAt(start + c.freezeAt, [&c] { PlatSleep(c.freezeMs); });
        FakeRunFor(c.offsets.back() + 5);
        std::vector<uint32_t> got;
        for (auto &r : Recorded())
            got.push_back(r.time - start - c.scanCostMs);
        EXPECT_EQ(got, c.offsets) << "scan " << c.scanCostMs << " freeze " << c.freezeMs;
    }
}

// A stop click on the toolbar and everything after it are cut off; the cut
// point becomes the terminator and the rest stays behind it.
TEST_F(RecorderTest, StopClickOnTheToolbarIsTrimmed) {
    Start();
    g_fake.cursorX = 10;
    Tick();
    g_fake.cursorX = 20;
    Tick();
    g_fake.foreground = g_fake.mainWindowId;
    FakeKeyDown(VK_LBUTTON);
    Tick();
    FakeKeyUp(VK_LBUTTON);
    Tick();
    ASSERT_EQ(g_app.list.count, 4u);
    std::strcpy(g_app.recordingName, "named.rec");
    FakeClearLog();
    Command(ID_RECORD);
    EXPECT_EQ(g_app.runState, Idle);
    EXPECT_EQ(g_app.list.count, 2u);
    EXPECT_EQ(g_app.list.records[2].message, 0u);
    EXPECT_EQ(g_app.list.records[3].message, WM_LBUTTONUP);
    EXPECT_EQ(g_fake.caption, "named.rec");
    EXPECT_EQ(FakeLogOf("setkeyboardstate").size(), 1u);
    EXPECT_EQ(FakeLogOf("killtimer").at(0).a, TIMER_RECORD);
    EXPECT_EQ(FakeLogOf("invalidate").size(), 1u);
    EXPECT_TRUE(g_fake.timers.empty());
    FakeRunFor(100);
    EXPECT_EQ(g_app.list.count, 2u) << "no tick after the stop";
}

// The record hotkey's keys taken before the poll saw the chord, side twins
// and moves among them, are cut; the same chord typed mid-way stays.
TEST_F(RecorderTest, StopChordIsTrimmedForEveryChoice) {
    const struct {
        uint8_t choice;
        std::vector<int> keys;
    } cases[] = {
        {HOTKEY_CSA, {VK_CONTROL, VK_LCONTROL, VK_SHIFT, VK_RSHIFT, VK_MENU, VK_LMENU, 'R'}},
        {HOTKEY_PRTSC, {VK_SNAPSHOT}},
        {HOTKEY_F8, {VK_F8}},
        {HOTKEY_F12, {VK_F12}},
    };
    for (auto &c : cases) {
        FakeReset();
        g_app.recordHotkey = c.choice;
        Start();
        // Typed mid-way, then something else: stays.
        for (int k : c.keys) {
            FakeKeyDown(k);
            Tick();
        }
        for (int k : c.keys) {
            FakeKeyUp(k);
            Tick();
        }
        FakeKeyDown('A');
        Tick();
        uint32_t kept = g_app.list.count;
        g_fake.cursorX = 77;
        g_fake.cursorY = 88;
        Tick();
        kept++;
        for (int k : c.keys) {
            FakeKeyDown(k);
            Tick();
            g_fake.cursorX++;
            Tick();
        }
        ASSERT_GT(g_app.list.count, kept);
        Command(RECORD_BY_HOTKEY);
        EXPECT_EQ(g_app.list.count, kept) << int(c.choice);
        EXPECT_EQ(g_app.list.records[kept - 1].message, WM_MOUSEMOVE) << int(c.choice);
        EXPECT_EQ(g_app.list.records[kept].message, 0u) << int(c.choice);
    }
}

TEST_F(RecorderTest, TrimLeavesRecordsWithoutAToolbarPress) {
    // The only press on the toolbar is record 0: it is never examined.
    g_fake.foreground = g_fake.mainWindowId;
    Start();
    FakeKeyDown(VK_LBUTTON);
    Tick();
    g_fake.foreground = 0x5555;
    FakeKeyUp(VK_LBUTTON);
    Tick();
    FakeKeyDown('R');
    Tick();
    Command(ID_RECORD);
    EXPECT_EQ(g_app.list.count, 3u);
    EXPECT_EQ(g_app.list.records[3].message, 0u);
    EXPECT_EQ(g_fake.caption, "Quorvane");
}

TEST_F(RecorderTest, StopBeforeTheFirstTickLeavesNoList) {
    Start();
    Command(ID_RECORD);
    EXPECT_EQ(g_app.runState, Idle);
    EXPECT_EQ(g_app.list.records, nullptr);
    EXPECT_EQ(g_app.list.count, 0u);
    EXPECT_EQ(FakeLogOf("invalidate").size(), 2u);
    Command(ID_PLAY);
    EXPECT_EQ(FakeLogOf("box").size(), 1u) << "nothing to play";
}

// When the heap cannot give the next growth step, the recording ends as if
// stopped, with every record it took and its terminator.
TEST_F(RecorderTest, FullHeapStopsTheRecordingAndKeepsIt) {
    g_blockLimit = 30000; // the first block fits, the second does not
    Start();
    for (int i = 0; i < 900; i++) {
        g_fake.cursorX = 1 + (i & 1);
        g_fake.cursorY = 7;
        Tick();
    }
    ASSERT_EQ(g_app.runState, Recording);
    ASSERT_EQ(g_app.list.count, 900u);
    FakeClearLog();
    g_fake.cursorX = 50;
    Tick();
    EXPECT_EQ(g_app.runState, Idle);
    EXPECT_EQ(g_app.list.count, 900u);
    EXPECT_EQ(g_app.list.capacity, 20000u);
    EXPECT_EQ(g_app.list.records[899].message, WM_MOUSEMOVE);
    EXPECT_EQ(g_app.list.records[900].message, 0u);
    EXPECT_EQ(FakeLogOf("setkeyboardstate").size(), 1u);
    EXPECT_TRUE(FakeLogOf("settimer").empty());
    EXPECT_EQ(g_fake.caption, "Quorvane");
    EXPECT_EQ(FakeLogOf("invalidate").size(), 1u);
}

// A desktop that reports each change as it happens: no timer runs, every
// change is taken at once with its own time, two in one millisecond are
// two records in order, and a burst of moves keeps every place it passed.
TEST_F(RecorderTest, ReportedChangesAreTakenWhenTheyHappen) {
    g_fake.delivers = true;
    Start();
    uint32_t t0 = g_fake.tick;
    EXPECT_TRUE(FakeLogOf("settimer").empty()) << "nothing polls";
    FakeRunFor(1000);
    EXPECT_EQ(g_app.list.records, nullptr) << "nothing happened, nothing taken";

    uint32_t t1 = g_fake.tick;
    FakeKeyDown('A');
    FakeMove(200, 100); // the same millisecond
    g_fake.tick += 3;
    // Right Ctrl: one press that reads as the generic code and its twin.
    g_fake.physical[VK_RCONTROL] = 1;
    FakeKeyDown(VK_CONTROL);
    // A burst within one millisecond: every place, in order; the top edge
    // and a place already taken give nothing.
    g_fake.tick += 1;
    for (int32_t x : {201, 202, 202, 203})
        FakeMove(x, 100);
    FakeMove(204, 0);
    g_fake.tick += 5;
    FakeWheel(-120, 0);
    FakeKeyUp('A');
    // A stamp from before the last one is not taken as going back.
    RecordInputChange(g_fake.tick - 7);
    FakeMove(210, 110);
    Command(ID_RECORD);

    EXPECT_EQ(KindsAndParams(), (Taken{{WM_KEYDOWN, 30u * 256 + 'A'},
                                       {WM_MOUSEMOVE, 200},
                                       {WM_KEYDOWN, 29u * 256 + VK_CONTROL},
                                       {WM_KEYDOWN, 29u * 256 + VK_RCONTROL},
                                       {WM_MOUSEMOVE, 201},
                                       {WM_MOUSEMOVE, 202},
                                       {WM_MOUSEMOVE, 203},
                                       {WM_MOUSEWHEEL, uint32_t(-120)},
                                       {WM_KEYUP, 30u * 256 + 'A'},
                                       {WM_MOUSEMOVE, 210}}));
    std::vector<uint32_t> times;
    for (auto &r : Recorded())
        times.push_back(r.time - t1);
    EXPECT_EQ(times, (std::vector<uint32_t>{0, 0, 3, 3, 4, 4, 4, 9, 9, 9}));
    EXPECT_GT(t1, t0);
    EXPECT_EQ(Recorded().at(1).paramH, 100u);
    EXPECT_EQ(g_app.list.records[g_app.list.count].message, 0u) << "terminated";
    EXPECT_FALSE(g_fake.recording) << "the backend is told the recording ended";
}

// A key held when the recording starts goes in as pressed at the start,
// its release when it comes; a wheel turned first brings its place along.
TEST_F(RecorderTest, ReportedKeyHeldAcrossTheStart) {
    g_fake.delivers = true;
    FakeKeyDown('B');
    g_fake.thread[int('B')] = 0; // the release at the start cleared the table
    Start();
    uint32_t start = g_fake.tick;
    g_fake.tick += 40;
    FakeWheel(0, 240);
    g_fake.tick += 15;
    FakeKeyUp('B');
    EXPECT_EQ(KindsAndParams(), (Taken{{WM_KEYDOWN, 66u * 256 + 'B'},
                                       {WM_MOUSEMOVE, 400},
                                       {WM_MOUSEHWHEEL, 240},
                                       {WM_KEYUP, 66u * 256 + 'B'}}));
    auto r = Recorded();
    EXPECT_EQ(r[0].time, start);
    EXPECT_EQ(r[1].time, start + 40);
    EXPECT_EQ(r[2].time, start + 40);
    EXPECT_EQ(r[3].time, start + 55);
    Command(ID_RECORD);
    FakeKeyDown('C');
    EXPECT_EQ(g_app.list.count, 4u) << "nothing is taken after the stop";
}

// Where the input cannot be read (a Wayland session without rights to the
// input devices), Rec says what to do and records nothing; the next Rec,
// once allowed, starts as usual.
TEST_F(RecorderTest, RecWithoutAccessToTheInputShowsTheBoxAndRecordsNothing) {
    InstallRecording({MoveRec(1, 2, 3)});
    g_fake.recordingUnavailable = "join the input group";
    Command(ID_RECORD);
    EXPECT_EQ(g_app.runState, Idle);
    FakeCall box = TheOnly("box");
    EXPECT_EQ(box.text, "join the input group");
    EXPECT_EQ(box.title, "Quorvane");
    EXPECT_EQ(box.a, 0x52030);
    EXPECT_TRUE(FakeLogOf("settimer").empty());
    EXPECT_FALSE(g_fake.recording) << "the backend is not asked to deliver";
    ASSERT_NE(g_app.list.records, nullptr) << "the loaded recording is kept";
    EXPECT_EQ(g_app.list.count, 1u);
    g_fake.recordingUnavailable = nullptr;
    Start();
}
