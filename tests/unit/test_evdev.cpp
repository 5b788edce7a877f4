// The input-device source without devices: event streams decoded from
// pipes and files, the stand-in device table, and kernel codes read
// through compiled keyboard maps.
#include "platform/evdev/evdev_decode.h"
#include "platform/evdev/evdev_keys.h"
#include "platform/evdev/evdev_source.h"
#include "platform/linux/keymap.h"
#include "platform/linux/xkb_slots.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xkbcommon/xkbcommon.h>

namespace {

input_event Ev(uint16_t type, uint16_t code, int32_t value, uint64_t us = 0) {
    input_event e = {};
    e.input_event_sec = time_t(us / 1000000);
    e.input_event_usec = suseconds_t(us % 1000000);
    e.type = type;
    e.code = code;
    e.value = value;
    return e;
}
input_event Report(uint64_t us = 0) {
    return Ev(EV_SYN, SYN_REPORT, 0, us);
}

// What came out, one line a change: "key 30 down @5", "wheel -120 @7".
std::string Describe(const EvdevChange &c) {
    char buf[96];
    switch (c.kind) {
    case EVDEV_KEY:
        std::snprintf(buf, sizeof buf, "key %u %s", c.code, c.down ? "down" : "up");
        break;
    case EVDEV_WHEEL: std::snprintf(buf, sizeof buf, "wheel %d", c.dy); break;
    case EVDEV_HWHEEL: std::snprintf(buf, sizeof buf, "hwheel %d", c.dx); break;
    case EVDEV_MOTION: std::snprintf(buf, sizeof buf, "motion %d,%d", c.dx, c.dy); break;
    }
    return std::string(buf) + " @" + std::to_string(c.timeUs);
}

void Collect(void *ctx, const EvdevChange *c) {
    static_cast<std::vector<std::string> *>(ctx)->push_back(Describe(*c));
}

std::vector<std::string> Decode(EvdevDecoder *d, const std::vector<input_event> &evs) {
    std::vector<std::string> out;
    EvdevDecode(d, evs.data(), int(evs.size()), Collect, &out);
    return out;
}

using Lines = std::vector<std::string>;

} // namespace

// Each case: the events of a stream and the changes they must give.
TEST(EvdevDecode, FramesGiveTheirChangesInOrderWithTheirTime) {
    struct Case {
        const char *what;
        std::vector<input_event> events;
        Lines expected;
    } cases[] = {
        {"a key press and release, each in its frame",
         {Ev(EV_MSC, MSC_SCAN, 0x1e), Ev(EV_KEY, KEY_A, 1), Report(1000), Ev(EV_KEY, KEY_A, 0),
          Report(2000)},
         {"key 30 down @1000", "key 30 up @2000"}},
        {"autorepeat is no change",
         {Ev(EV_KEY, KEY_A, 1), Report(5), Ev(EV_KEY, KEY_A, 2), Report(6), Ev(EV_KEY, KEY_A, 2),
          Report(7), Ev(EV_KEY, KEY_A, 0), Report(8)},
         {"key 30 down @5", "key 30 up @8"}},
        {"two keys in one frame keep their order",
         {Ev(EV_KEY, KEY_LEFTSHIFT, 1), Ev(EV_KEY, KEY_H, 1), Report(9)},
         {"key 42 down @9", "key 35 down @9"}},
        {"nothing before the report", {Ev(EV_KEY, KEY_B, 1)}, {}},
        {"motion summed per frame, before the button of the same frame",
         {Ev(EV_REL, REL_X, 3), Ev(EV_KEY, BTN_LEFT, 1), Ev(EV_REL, REL_X, 2),
          Ev(EV_REL, REL_Y, -4), Report(11)},
         {"motion 5,-4 @11", "key 272 down @11"}},
        {"whole notches without a fine wheel",
         {Ev(EV_REL, REL_WHEEL, -1), Report(12), Ev(EV_REL, REL_HWHEEL, 2), Report(13)},
         {"wheel -120 @12", "hwheel 240 @13"}},
        {"a fine wheel: its parts, not the notch it rounds to",
         {Ev(EV_REL, REL_WHEEL_HI_RES, 30), Report(14), Ev(EV_REL, REL_WHEEL_HI_RES, 90),
          Ev(EV_REL, REL_WHEEL, 1), Report(15), Ev(EV_REL, REL_HWHEEL_HI_RES, -60), Report(16)},
         {"wheel 30 @14", "wheel 90 @15", "hwheel -60 @16"}},
        {"dropped events void the frame and the next one up to its report",
         {Ev(EV_KEY, KEY_C, 1), Ev(EV_SYN, SYN_DROPPED, 0), Ev(EV_KEY, KEY_D, 1), Report(17),
          Ev(EV_KEY, KEY_E, 1), Report(18)},
         {"key 18 down @18"}},
        {"a release of a key never seen down is no change", {Ev(EV_KEY, KEY_F, 0), Report(19)}, {}},
        {"a wheel spun absurdly stays a large turn the right way",
         {Ev(EV_REL, REL_WHEEL, INT32_MIN / 2), Ev(EV_REL, REL_WHEEL, INT32_MIN / 2), Report(20)},
         {"wheel -2147483648 @20"}},
        {"codes past the key range are passed over",
         {Ev(EV_KEY, KEY_MAX + 1, 1), Ev(EV_ABS, ABS_X, 5), Report(21)},
         {}},
    };
    for (const Case &c : cases) {
        EvdevDecoder d;
        EvdevDecoderInit(&d, nullptr, true);
        EXPECT_EQ(Decode(&d, c.events), c.expected) << c.what;
    }
}

TEST(EvdevDecode, KeysHeldAtTheStartAreStateNotChanges) {
    uint8_t held[kEvdevKeyBytes] = {};
    held[KEY_LEFTCTRL / 8] |= 1 << (KEY_LEFTCTRL % 8);
    EvdevDecoder d;
    EvdevDecoderInit(&d, held, false);
    EXPECT_TRUE(EvdevKeyHeld(&d, KEY_LEFTCTRL));
    EXPECT_FALSE(d.numLock);
    // Its press again (a repeat the state already has) is nothing; its
    // release is the change.
    EXPECT_EQ(Decode(&d, {Ev(EV_KEY, KEY_LEFTCTRL, 1), Report(1), Ev(EV_LED, LED_NUML, 1),
                          Ev(EV_KEY, KEY_LEFTCTRL, 0), Report(2)}),
              Lines({"key 29 up @2"}));
    EXPECT_FALSE(EvdevKeyHeld(&d, KEY_LEFTCTRL));
    EXPECT_TRUE(d.numLock);
}

// A pipe hands out what was written in pieces of any size; an event split
// across two reads decodes once whole.
TEST(EvdevDecode, StreamsFromPipesAndFilesSplitAnywhere) {
    std::vector<input_event> evs = {Ev(EV_KEY, KEY_Q, 1),
                                    Report(100),
                                    Ev(EV_KEY, KEY_Q, 0),
                                    Report(200),
                                    Ev(EV_REL, REL_WHEEL_HI_RES, -15),
                                    Report(300)};
    const Lines want = {"key 16 down @100", "key 16 up @200", "wheel -15 @300"};
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], evs.data(), evs.size() * sizeof(input_event)),
              ssize_t(evs.size() * sizeof(input_event)));
    close(fds[1]);
    for (size_t chunk : {size_t(1), size_t(7), sizeof(input_event) + 5, size_t(4096)}) {
        EvdevDecoder d;
        EvdevDecoderInit(&d, nullptr, true);
        Lines got;
        std::vector<uint8_t> all(evs.size() * sizeof(input_event));
        std::memcpy(all.data(), evs.data(), all.size());
        for (size_t off = 0; off < all.size(); off += chunk)
            EvdevDecodeBytes(&d, all.data() + off, uint32_t(std::min(chunk, all.size() - off)),
                             Collect, &got);
        EXPECT_EQ(got, want) << "pieces of " << chunk;
    }
    EvdevDecoder d;
    EvdevDecoderInit(&d, nullptr, true);
    Lines got;
    uint8_t buf[50];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        EvdevDecodeBytes(&d, buf, uint32_t(n), Collect, &got);
    close(fds[0]);
    EXPECT_EQ(got, want) << "from the pipe";
}

// ---- the stand-in devices and the source that follows them ----

namespace {

class EvdevSourceTest : public ::testing::Test {
  protected:
    std::string dir;
    static Lines s_seen;
    static void Sink(const EvdevChange *c, bool relative) {
        EvdevChange copy = *c;
        copy.timeUs = 0; // stamps are checked on their own
        s_seen.push_back(Describe(copy) + (relative ? " rel" : ""));
    }
    void SetUp() override {
        char tmpl[] = "/tmp/qv22-unit-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        setenv("QUORVANE_EVDEV_DIR", dir.c_str(), 1);
        s_seen.clear();
    }
    void TearDown() override {
        EvdevSourceClose();
        unsetenv("QUORVANE_EVDEV_DIR");
        std::string cmd = "rm -rf " + dir;
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    void Table(const char *text) {
        FILE *f = fopen((dir + "/devices").c_str(), "w");
        fputs(text, f);
        fclose(f);
    }
    void Fifo(const char *name, mode_t mode = 0600) {
        ASSERT_EQ(mkfifo((dir + "/" + name).c_str(), mode), 0);
    }
    // Writes events as a test writer would, then lets the source read.
    void Feed(const char *name, const std::vector<input_event> &evs) {
        int fd = open((dir + "/" + name).c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        ssize_t n = ssize_t(evs.size() * sizeof(input_event));
        ASSERT_EQ(write(fd, evs.data(), size_t(n)), n);
        close(fd);
        EvdevSourcePump();
    }
};
Lines EvdevSourceTest::s_seen;

} // namespace

TEST_F(EvdevSourceTest, TheTableSaysWhatEachDeviceIsAndHolds) {
    Table("event0 keyboard 29,42 Fake keyboard\n"
          "event1 pointer - Fake mouse\n"
          "event2 tablet - Fake pen\n"
          "event3 - - A lid switch\n"
          "mouse0 pointer - not an event entry\n");
    for (const char *f : {"event0", "event1", "event2", "event3", "mouse0"})
        Fifo(f);
    Fifo("event4"); // no line in the table: not a device
    EvdevAccess a = EvdevProbeAccess(&kEvdevFake);
    EXPECT_TRUE(a.dirExists);
    EXPECT_EQ(a.found, 5);
    EXPECT_EQ(a.readable, 4);
    EXPECT_EQ(a.keyboards, 1);
    EXPECT_EQ(a.pointers, 2);
    EXPECT_EQ(a.relativePointers, 1);
    EXPECT_EQ(a.denied, 0);

    EvdevSourceOpen(EvdevChosenOps(), Sink, false);
    EXPECT_EQ(EvdevSourceAccess().readable, 3) << "the lid switch is not kept open";
    EXPECT_TRUE(EvdevSourceKeyDown(KEY_LEFTCTRL));
    EXPECT_TRUE(EvdevSourceKeyDown(KEY_LEFTSHIFT));
    EXPECT_FALSE(EvdevSourceKeyDown(KEY_A));
    EXPECT_TRUE(s_seen.empty()) << "what is held at the start is no change";
    Feed("event1", {Ev(EV_REL, REL_X, 4), Report(), Ev(EV_KEY, BTN_LEFT, 1), Report()});
    Feed("event0", {Ev(EV_KEY, KEY_LEFTCTRL, 0), Report()});
    Feed("event2", {Ev(EV_KEY, BTN_LEFT, 1), Report()});
    EXPECT_EQ(s_seen, Lines({"motion 4,0 @0 rel", "key 272 down @0 rel", "key 29 up @0",
                             "key 272 down @0"}));
    EXPECT_TRUE(EvdevSourceKeyDown(BTN_LEFT));
}

TEST_F(EvdevSourceTest, NoRightsToAnyDeviceIsToldApartFromNoDevices) {
    setenv("QUORVANE_EVDEV_DIR", (dir + "/missing").c_str(), 1);
    EvdevAccess a = EvdevProbeAccess(EvdevChosenOps());
    EXPECT_FALSE(a.dirExists);
    EXPECT_EQ(a.readable, 0);
    setenv("QUORVANE_EVDEV_DIR", dir.c_str(), 1);
    Table("event0 keyboard - Fake keyboard\n");
    Fifo("event0", 0200);
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
    ASSERT_EQ(chmod((dir + "/devices").c_str(), 0644), 0);
    // As a user without the rights (root reads every FIFO): the counts come
    // back through the exit status.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) _exit(99);
        EvdevAccess a = EvdevProbeAccess(EvdevChosenOps());
        _exit(a.found * 16 + a.readable * 4 + a.denied);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1 * 16 + 0 * 4 + 1) << "found 1, readable 0, denied 1";
}

// Devices plugged in and pulled out while the source runs; a pulled device
// lets go of what it held.
TEST_F(EvdevSourceTest, DevicesThatComeAndGoAreFollowed) {
    Table("event0 keyboard - Fake keyboard\nevent7 keyboard,pointer 30 Late combo\n");
    Fifo("event0");
    EvdevSourceOpen(EvdevChosenOps(), Sink, false);
    EXPECT_EQ(EvdevSourceAccess().readable, 1);
    Fifo("event7");
    EvdevSourcePump();
    EXPECT_EQ(EvdevSourceAccess().readable, 2);
    EXPECT_EQ(EvdevSourceAccess().keyboards, 2);
    EXPECT_TRUE(EvdevSourceKeyDown(KEY_A));
    Feed("event7", {Ev(EV_KEY, KEY_B, 1), Report()});
    ASSERT_EQ(unlink((dir + "/event7").c_str()), 0);
    EvdevSourcePump();
    EXPECT_EQ(EvdevSourceAccess().readable, 1);
    EXPECT_FALSE(EvdevSourceKeyDown(KEY_A));
    EXPECT_FALSE(EvdevSourceKeyDown(KEY_B));
    EXPECT_EQ(s_seen, Lines({"key 48 down @0 rel", "key 30 up @0 rel", "key 48 up @0 rel"}));
    // A writer that came and went leaves the FIFO ready for the next one.
    Feed("event0", {Ev(EV_KEY, KEY_C, 1), Report()});
    Feed("event0", {Ev(EV_KEY, KEY_C, 0), Report()});
    EXPECT_EQ(s_seen.back(), "key 46 up @0");
}

// Asking anew which keys are held (EVIOCGKEY at a recording's start) brings
// the state to the device's answer; the differences are changes.
TEST_F(EvdevSourceTest, AskingAgainWhatIsHeldBringsTheStateThere) {
    Table("event0 keyboard 29 Fake keyboard\n");
    Fifo("event0");
    EvdevSourceOpen(EvdevChosenOps(), Sink, false);
    Table("event0 keyboard 56,100 Fake keyboard\n");
    EvdevSourceResync();
    EXPECT_FALSE(EvdevSourceKeyDown(KEY_LEFTCTRL));
    EXPECT_TRUE(EvdevSourceKeyDown(KEY_LEFTALT));
    EXPECT_TRUE(EvdevSourceKeyDown(KEY_RIGHTALT));
    EXPECT_EQ(s_seen, Lines({"key 29 up @0", "key 56 down @0", "key 100 down @0"}));
}

TEST_F(EvdevSourceTest, StampsAreTheDevicesWhenPlausibleElseTheArrival) {
    Table("event0 keyboard - Fake keyboard\n");
    Fifo("event0");
    static std::vector<uint64_t> stamps;
    stamps.clear();
    EvdevSourceOpen(
        EvdevChosenOps(), [](const EvdevChange *c, bool) { stamps.push_back(c->timeUs); }, false);
    uint64_t before = uint64_t(g_get_monotonic_time());
    uint64_t past = before - 1500;
    Feed("event0", {Ev(EV_KEY, KEY_A, 1), Report(past), Ev(EV_KEY, KEY_A, 0),
                    Report(before + 60000000), Ev(EV_KEY, KEY_B, 1), Report(1)});
    uint64_t after = uint64_t(g_get_monotonic_time());
    ASSERT_EQ(stamps.size(), 3u);
    EXPECT_EQ(stamps[0], past);
    EXPECT_GE(stamps[1], before) << "from the future: the arrival";
    EXPECT_LE(stamps[1], after);
    EXPECT_GE(stamps[2], before) << "from long ago: the arrival";
}

// ---- kernel codes through keyboard maps ----

namespace {

// The session's map as the Wayland backend hands it to the keymap logic.
bool UseLayout(const char *layout) {
    xkb_context *ctx = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_rule_names names = {};
    names.layout = layout;
    xkb_keymap *km = xkb_keymap_new_from_names(ctx, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    static KeySlot slots[256];
    char name[64];
    bool ok = XkbReadSlots(km, 0, slots, name);
    if (ok) KeymapAssign(name, slots);
    if (km) xkb_keymap_unref(km);
    xkb_context_unref(ctx);
    return ok;
}

} // namespace

TEST(EvdevKeys, CodesReadAsTheMapsKeysAndTheButtonsAsTheirs) {
    struct Case {
        const char *layout;
        uint16_t code;
        bool numLock;
        std::vector<uint8_t> vks;
    } cases[] = {
        {"us", KEY_A, true, {'A'}},
        {"us", KEY_Y, true, {'Y'}},
        {"de", KEY_Y, true, {'Z'}},
        {"de", KEY_Z, true, {'Y'}},
        {"de", KEY_MINUS, true, {0xDB}},
        {"de", KEY_SLASH, true, {0xBD}},
        {"fr", KEY_Q, true, {'A'}},
        {"fr", KEY_1, true, {'1'}},
        {"us", KEY_LEFTSHIFT, true, {0xA0, 0x10}},
        {"us", KEY_RIGHTCTRL, true, {0xA3, 0x11}},
        {"us", KEY_RIGHTALT, true, {0xA5, 0x12}},
        {"de", KEY_RIGHTALT, true, {0xA5, 0x12, 0xA2, 0x11}},
        {"us", KEY_KP7, true, {0x67}},
        {"us", KEY_KP7, false, {0x24}},
        {"us", KEY_PAUSE, true, {0x13}},
        {"us", KEY_SCROLLLOCK, true, {0x91}},
        {"us", KEY_SYSRQ, true, {0x2C}},
        {"us", KEY_F8, true, {0x77}},
        {"us", BTN_LEFT, true, {1}},
        {"us", BTN_RIGHT, true, {2}},
        {"us", BTN_MIDDLE, true, {4}},
        {"us", BTN_SIDE, true, {5}},
        {"us", BTN_EXTRA, true, {6}},
        {"us", BTN_TOUCH, true, {}},
        {"us", KEY_MAX, true, {}},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(UseLayout(c.layout)) << c.layout;
        uint8_t vks[4] = {};
        int n = EvdevCodeVks(c.code, c.numLock, vks);
        EXPECT_EQ(std::vector<uint8_t>(vks, vks + n), c.vks) << c.layout << " code " << c.code;
    }
    ASSERT_TRUE(UseLayout("de"));
    EXPECT_EQ(KeymapScan('Z'), 0x15u) << "German Z sits where a US keyboard has Y";
}
