// Whole runs of the program on the fake desktop: started idle, driven only by
// scripted keys and the window's own timers and posted commands.
#include "engine_test_util.h"
#include <algorithm>

namespace {

class ScenarioTest : public AppTest {
  protected:
    uint32_t t0 = 0;
    void SetUp() override {
        AppTest::SetUp();
        BeforeStart();
        g_fake.cursorX = g_fake.cursorY = 0; // away from the toolbar
        ASSERT_EQ(AppMain(""), 0);
        t0 = g_fake.tick;
    }
    // Hotkey keys held from `at` for `ms`.
    void Chord(uint32_t at, std::initializer_list<int> keys, uint32_t ms = 80) {
        std::vector<int> k(keys);
        FakeAt(at, [k] {
            for (int vk : k)
                FakeKeyDown(vk);
        });
        FakeAt(at + ms, [k] {
            for (int vk : k)
                FakeKeyUp(vk);
        });
    }
    static void Tap(uint32_t at, int vk, uint32_t ms) {
        FakeAt(at, [vk] { FakeKeyDown(vk); });
        FakeAt(at + ms, [vk] { FakeKeyUp(vk); });
    }
    bool CaptionShown(const std::string &text) {
        for (auto &c : Captions())
            if (c == text) return true;
        return false;
    }
    // Injected presses and releases of one key, as "d@tick" / "u@tick".
    std::vector<std::string> Injected(int vk) {
        std::vector<std::string> out;
        for (auto &k : FakeLogOf("key"))
            if (k.a == vk)
                out.push_back(std::string(k.c & KEYEVENTF_KEYUP ? "u@" : "d@") +
                              std::to_string(k.tick - t0));
        return out;
    }
};

TEST_F(ScenarioTest, RecordWithTheHotkeyThenPlayItBack) {
    Chord(t0 + 100, {'R', VK_CONTROL, VK_SHIFT, VK_MENU});
    Tap(t0 + 500, 'A', 120);
    Chord(t0 + 1300, {'R', VK_CONTROL, VK_SHIFT, VK_MENU});
    FakeRunFor(1900);
    ASSERT_EQ(g_app.runState, Idle);
    EXPECT_TRUE(CaptionShown("REC 00:00"));
    EXPECT_TRUE(CaptionShown("REC 00:01"));
    ASSERT_NE(g_app.list.records, nullptr);
    ASSERT_GT(g_app.list.count, 0u);

    FakeClearLog();
    Chord(g_fake.tick + 50, {'P', VK_CONTROL, VK_SHIFT, VK_MENU}, 100);
    FakeRunFor(3000);
    EXPECT_EQ(g_app.runState, Idle);
    EXPECT_TRUE(CaptionShown("PLAY 00:00 (1/1)"));
    EXPECT_EQ(g_fake.caption, "Quorvane");
    // The play hotkey slept its 150 ms before the command went out.
    auto sleeps = FakeLogOf("sleep");
    ASSERT_FALSE(sleeps.empty());
    EXPECT_EQ(sleeps[0].a, 150);
    // 'A' comes back once, held as long as it was.
    auto a = Injected('A');
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0][0], 'd');
    EXPECT_EQ(a[1][0], 'u');
    int held = std::stoi(a[1].substr(2)) - std::stoi(a[0].substr(2));
    EXPECT_GE(held, 110);
    EXPECT_LE(held, 130);
}

// The play hotkey pressed during a playback asks it to stop; pressed during
// a recording it is refused.
TEST_F(ScenarioTest, PlayHotkeyStopsAPlaybackAndIsRefusedWhileRecording) {
    std::string path = dir + "/long.rec";
    std::vector<EventRecord> recs;
    for (uint32_t i = 0; i < 50; i++)
        recs.push_back(KeyRec(i % 2 ? WM_KEYUP : WM_KEYDOWN, 'A', 100 * i));
    WriteBytes(path, RecordBytes(recs));
    g_app.playHotkey = HOTKEY_F8;
    g_app.recordHotkey = HOTKEY_F12;
    g_fake.fileAnswers.push_back(path);
    AppWindowProc(MSG_KEYDOWN, 'O', 0); // O opens
    FakeRunFor(10);
    ASSERT_EQ(g_app.list.count, 50u);
    Tap(g_fake.tick + 40, VK_F8, 60);   // play
    Tap(g_fake.tick + 1040, VK_F8, 60); // stop
    FakeRunFor(1600);
    auto posts = Posted();
    EXPECT_NE(std::find(posts.begin(), posts.end(), PLAY_STOP_REQUEST), posts.end());
    EXPECT_EQ(g_app.runState, Idle);
    size_t played = Injected('A').size();
    EXPECT_GT(played, 5u);
    EXPECT_LT(played, 20u);

    // Recording, then the play hotkey: still recording, nothing played.
    FakeClearLog();
    Tap(g_fake.tick + 20, VK_F12, 60);
    Tap(g_fake.tick + 400, VK_F8, 60);
    FakeRunFor(800);
    EXPECT_EQ(g_app.runState, Recording);
    EXPECT_TRUE(Injected('A').empty());
    for (auto &s : FakeLogOf("settimer"))
        EXPECT_NE(s.a, TIMER_PLAY);
}

// While a box is open the poll keeps running: a hotkey pressed meanwhile
// starts a recording from inside the box's loop.
TEST_F(ScenarioTest, HotkeysStayLiveWhileABoxIsOpen) {
    g_app.recordHotkey = HOTKEY_F8;
    g_fake.onModal = [](const std::string &title) {
        if (title != "Quorvane 1.50") return;
        Tap(g_fake.tick + 100, VK_F8, 60);
        FakeRunFor(500);
    };
    AppWindowProc(MSG_KEYDOWN, VK_RETURN, 0);
    g_fake.menuAnswers.push_back(ID_HELP);
    FakeRunFor(20);
    EXPECT_EQ(FakeLogOf("box").size(), 1u);
    EXPECT_EQ(g_app.runState, Recording);
    EXPECT_EQ(g_fake.caption.rfind("REC ", 0), 0u);
}

} // namespace
