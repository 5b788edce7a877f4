#include "engine_test_util.h"

class ReleaseTest : public EngineTest {
  protected:
    // The injected key releases as (code, flags) pairs.
    static std::vector<std::pair<int64_t, int64_t>> KeyReleases() {
        std::vector<std::pair<int64_t, int64_t>> out;
        for (auto &k : FakeLogOf("key"))
            out.push_back({k.a, k.c});
        return out;
    }
};

TEST_F(ReleaseTest, WithNothingHeldOnlyTheLeftButtonIsReleased) {
    ReleaseAllInput();
    EXPECT_EQ(TheOnly("mouse").a, MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(FakeLogOf("key").empty());
    EXPECT_EQ(FakeLogOf("setkeyboardstate").size(), 1u);
    EXPECT_EQ(TheOnly("sleep").a, 1);
    EXPECT_EQ(g_fake.log.back().what, "sleep") << "the sleep comes last";
}

TEST_F(ReleaseTest, ReleasesHeldKeysInCodeOrderWithTheirFlags) {
    // Ctrl+Shift+Alt+R held with the left-hand modifiers, right Alt, an
    // arrow key and the right, middle and both side buttons.
    const int held[] = {VK_CONTROL, VK_SHIFT,    VK_MENU,    'R',  VK_LCONTROL,
                        VK_LSHIFT,  VK_LMENU,    VK_RMENU,   0x26, VK_RBUTTON,
                        VK_MBUTTON, VK_XBUTTON1, VK_XBUTTON2};
    for (int vk : held)
        FakeKeyDown(vk);
    ReleaseAllInput();
    std::vector<std::pair<int64_t, int64_t>> expected = {
        {VK_SHIFT, 2},  {VK_CONTROL, 3},  {VK_MENU, 2},  {0x26, 3},     {'R', 2},
        {VK_LSHIFT, 2}, {VK_LCONTROL, 2}, {VK_LMENU, 2}, {VK_RMENU, 2},
    };
    EXPECT_EQ(KeyReleases(), expected) << "the buttons get no key event";
    auto mouse = FakeLogOf("mouse");
    ASSERT_EQ(mouse.size(), 2u);
    EXPECT_EQ(mouse[1].a, MOUSEEVENTF_RIGHTUP) << "the right button gets a real release";
    auto buttons = FakeLogOf("button");
    ASSERT_EQ(buttons.size(), 3u);
    const int64_t want[3][2] = {
        {MOUSEEVENTF_MIDDLEUP, 0}, {MOUSEEVENTF_XUP, XBUTTON1}, {MOUSEEVENTF_XUP, XBUTTON2}};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(buttons[i].a, want[i][0]) << i;
        EXPECT_EQ(buttons[i].b, want[i][1]) << i;
    }
    EXPECT_EQ(FakeLogOf("key")[5].b, 42) << "with its scan code";
    for (int vk = 0; vk < 256; vk++)
        ASSERT_EQ(PlatGetKeyState(vk), 0) << vk;
}

// The thread's table decides for keys the device no longer reports, and the
// lock keys are never released.
TEST_F(ReleaseTest, ThreadTableAndLockKeys) {
    g_fake.thread[VK_BACK] = 0x01;    // toggled only: counts for Backspace
    g_fake.thread[0x51] = 0x01;       // toggled only: does not count for others
    g_fake.thread[0x57] = 0x80;       // down in the table only
    g_fake.thread[VK_LBUTTON] = 0x80; // buttons look only at the device
    for (int vk : {int(VK_CAPITAL), int(VK_NUMLOCK), int(VK_SCROLL)})
        FakeKeyDown(vk);
    ReleaseAllInput();
    std::vector<std::pair<int64_t, int64_t>> expected = {{VK_BACK, 2}, {'W', 2}};
    EXPECT_EQ(KeyReleases(), expected);
    EXPECT_EQ(PlatGetKeyState(VK_CAPITAL), 0) << "toggles are cleared from the table";
}
