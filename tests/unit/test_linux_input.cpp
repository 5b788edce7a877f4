// The Linux input layer without a desktop: the session rule, the keyboard
// maps xkbcommon compiles (as Wayland compositors send them) against the
// X server's maps of the same layouts, the shared playback of AltGr, and
// the bytes the uinput route writes.
#include "platform/linux/keymap.h"
#include "platform/linux/linux_input.h"
#include "platform/linux/xkb_slots.h"
#include "platform/wayland/uinput_device.h"
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <xkbcommon/xkbcommon.h>

namespace {

struct XkbMap {
    xkb_context *ctx = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap *km = nullptr;
    explicit XkbMap(const char *layout) {
        xkb_rule_names names = {"evdev", "pc105", layout, "", ""};
        km = xkb_keymap_new_from_names(ctx, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    }
    ~XkbMap() {
        xkb_keymap_unref(km);
        xkb_context_unref(ctx);
    }
};

// The X server's map of a layout, as tools/keymap_fixture.py wrote it.
bool LoadFixture(const char *layout, KeySlot slots[256]) {
    memset(slots, 0, 256 * sizeof(KeySlot));
    std::string path = std::string(QV_KEYMAP_FIXTURES) + "/" + layout + ".txt";
    FILE *f = fopen(path.c_str(), "r");
    if (!f) return false;
    int kc = 0;
    char name[8] = {};
    unsigned a = 0, b = 0;
    while (fscanf(f, "%d %7s %x %x", &kc, name, &a, &b) == 4)
        if (kc > 0 && kc < 256) {
            memcpy(slots[kc].name, name, 4);
            slots[kc].sym[0] = a;
            slots[kc].sym[1] = b;
        }
    fclose(f);
    return true;
}

} // namespace

TEST(LinuxSession, ChosenByTheEnvironmentWithTheOverrideFirst) {
    struct {
        const char *override, *display, *type;
        LinuxSession want;
    } cases[] = {
        {nullptr, nullptr, nullptr, SESSION_X11},
        {nullptr, "wayland-0", nullptr, SESSION_WAYLAND},
        {nullptr, "", "x11", SESSION_X11},
        {nullptr, nullptr, "wayland", SESSION_WAYLAND},
        {nullptr, nullptr, "tty", SESSION_X11},
        {"x11", "wayland-0", "wayland", SESSION_X11},
        {"WAYLAND", nullptr, "x11", SESSION_WAYLAND},
        // An override that names nothing known leaves the session's choice.
        {"mir", "wayland-1", nullptr, SESSION_WAYLAND},
        {"", nullptr, nullptr, SESSION_X11},
    };
    for (auto &c : cases)
        EXPECT_EQ(LinuxSessionOf(c.override, c.display, c.type), c.want)
            << (c.override ? c.override : "-") << " " << (c.display ? c.display : "-") << " "
            << (c.type ? c.type : "-");
}

TEST(LinuxKeymap, XkbcommonMapsMeanWhatTheXServersMapsMean) {
    // One rule on both desktops: a layout compiled by xkbcommon (a Wayland
    // compositor's map) gives every key the code the X server's map of the
    // same layout gives it.
    for (const char *layout : {"us", "de", "fr", "gb"}) {
        XkbMap map(layout);
        ASSERT_TRUE(map.km) << layout;
        static KeySlot fromXkb[256], fromX[256];
        char name[64];
        ASSERT_TRUE(XkbReadSlots(map.km, 0, fromXkb, name));
        EXPECT_STREQ(name, layout);
        ASSERT_TRUE(LoadFixture(layout, fromX));
        static KeyMeaning a[256], b[256];
        KeyTableAssign(name, fromXkb, a);
        KeyTableAssign(layout, fromX, b);
        int compared = 0;
        for (int kc = 8; kc < 256; kc++) {
            if (!fromX[kc].name[0] || !b[kc].scan) continue;
            compared++;
            EXPECT_STREQ(fromXkb[kc].name, fromX[kc].name) << layout << " " << kc;
            EXPECT_EQ(a[kc].vk, b[kc].vk) << layout << " " << fromX[kc].name;
            EXPECT_EQ(a[kc].vkNumOff, b[kc].vkNumOff) << layout << " " << fromX[kc].name;
            EXPECT_EQ(a[kc].altGr, b[kc].altGr) << layout << " " << fromX[kc].name;
        }
        EXPECT_GE(compared, 95) << layout;
    }
    EXPECT_STREQ(XkbLayoutCode("German (Austria)"), "at");
    EXPECT_STREQ(XkbLayoutCode("German (no dead keys)"), "de");
    EXPECT_STREQ(XkbLayoutCode("English (UK)"), "gb");
    EXPECT_EQ(XkbLayoutCode("Icelandic"), nullptr);
    static KeySlot none[256];
    char name[64];
    EXPECT_FALSE(XkbReadSlots(nullptr, 0, none, name));
}

namespace {

std::vector<std::string> g_pressed;

void Record(uint8_t keycode, bool up) {
    g_pressed.push_back(std::string(up ? "-" : "+") + KeymapKeyName(keycode));
}

std::vector<std::string> Play(const char *layout, std::vector<std::pair<uint8_t, bool>> keys) {
    XkbMap map(layout);
    static KeySlot slots[256];
    char name[64];
    XkbReadSlots(map.km, 0, slots, name);
    KeymapAssign(name, slots);
    KeymapForget();
    g_pressed.clear();
    KeymapSink sink = {Record, nullptr};
    for (auto &k : keys)
        KeymapPlay(sink, k.first, 0, k.second);
    KeymapFlush(sink);
    return g_pressed;
}

} // namespace

TEST(LinuxKeymap, AltGrPlaysAsTheLevelThreeKeyWhereTheLayoutHasOne) {
    // AltGr+Q as it is recorded: Ctrl, Alt, left Ctrl, right Alt, Q.
    std::vector<std::pair<uint8_t, bool>> altGrQ = {
        {0x11, false}, {0x12, false}, {0xA2, false}, {0xA5, false}, {'Q', false},
        {'Q', true},   {0x11, true},  {0x12, true},  {0xA2, true},  {0xA5, true}};
    EXPECT_EQ(Play("de", altGrQ), (std::vector<std::string>{"+RALT", "+AD01", "-AD01", "-RALT"}));
    // Without a level-3 key they are what they say.
    EXPECT_EQ(Play("us", altGrQ),
              (std::vector<std::string>{"+LCTL", "+LALT", "+LCTL", "+RALT", "+AD01", "-AD01",
                                        "-LCTL", "-LALT", "-LCTL", "-RALT"}));
    // Ctrl alone is held back only until the next key shows it is no AltGr.
    EXPECT_EQ(Play("de", {{0x11, false}, {'C', false}, {'C', true}, {0x11, true}}),
              (std::vector<std::string>{"+LCTL", "+AB03", "-AB03", "-LCTL"}));
    // Letters by what they type: Z is the German key left of U.
    EXPECT_EQ(Play("de", {{'Z', false}, {'Z', true}}),
              (std::vector<std::string>{"+AD06", "-AD06"}));
}

namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe2(fd, O_NONBLOCK), 0); }
    ~Pipe() {
        close(fd[0]);
        close(fd[1]);
    }
    std::vector<std::string> Read() {
        std::vector<std::string> out;
        input_event e;
        while (read(fd[0], &e, sizeof e) == ssize_t(sizeof e)) {
            char line[48];
            snprintf(line, sizeof line, "%u %u %d", e.type, e.code, e.value);
            out.push_back(line);
        }
        return out;
    }
};

} // namespace

TEST(Uinput, EventsAsTheKernelWantsThem) {
    Pipe p;
    UinputDevice d;
    d.fd = p.fd[1];
    d.width = 2560;
    d.height = 1024;
    UinputKey(&d, KEY_A, true);
    UinputKey(&d, KEY_A, false);
    UinputMotion(&d, 1500, 300);
    UinputMotion(&d, 4000, -5); // clamped into the extent
    UinputKey(&d, BTN_SIDE, true);
    UinputAxis(&d, false, 120); // one notch down: the kernel's wheel counts up
    UinputAxis(&d, true, -60);  // half a notch left: high resolution only
    UinputAxis(&d, true, -60);  // the other half completes the notch
    UinputAxis(&d, false, 0);   // nothing at all
    EXPECT_EQ(p.Read(), (std::vector<std::string>{
                            "1 30 1",    "0 0 0",   "1 30 0",   "0 0 0",           // key
                            "3 0 1500",  "3 1 300", "0 0 0",                       // move
                            "3 0 2559",  "3 1 0",   "0 0 0",                       // clamped
                            "1 275 1",   "0 0 0",                                  // side button
                            "2 11 -120", "2 8 -1",  "0 0 0",                       // wheel down
                            "2 12 -60",  "0 0 0",   "2 12 -60", "2 6 -1", "0 0 0", // left
                        }));
    d.fd = -1;
}

TEST(Uinput, APlainFileIsRefusedWithItsReason) {
    char path[] = "/tmp/qv-uinput-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    UinputDevice d;
    char why[200] = "";
    EXPECT_FALSE(UinputSetUpKeyboard(&d, fd, why, sizeof why));
    EXPECT_NE(strstr(why, "not a uinput device"), nullptr) << why;
    EXPECT_FALSE(UinputSetUpPointer(&d, fd, 100, 100, why, sizeof why));
    EXPECT_EQ(d.fd, -1);
    close(fd);
    unlink(path);
}
