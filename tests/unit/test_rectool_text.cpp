// The text form: every byte survives dump then build, edits land where a
// person expects them, and bad lines are named without writing anything.
#include "engine_test_util.h"
#include "rectool/rectool.h"
#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string Dump(const Bytes &b, const char *name = "x.rec") {
    std::string text;
    DumpText(b.data(), b.size(), name, text);
    return text;
}

Bytes Build(const std::string &text, std::vector<std::string> *errorsOut = nullptr) {
    Bytes out;
    std::vector<std::string> errors;
    bool ok = BuildRecording(text.data(), text.size(), "edit.txt", out, errors);
    EXPECT_EQ(ok, errors.empty());
    if (errorsOut)
        *errorsOut = errors;
    else
        EXPECT_TRUE(errors.empty()) << errors[0];
    return out;
}

// The whole records in a file's bytes, and their times.
std::vector<EventRecord> Records(const Bytes &b) {
    std::vector<EventRecord> r(b.size() / 20);
    if (!r.empty()) std::memcpy(r.data(), b.data(), r.size() * 20);
    return r;
}
std::vector<uint32_t> Times(const Bytes &b) {
    std::vector<uint32_t> out;
    for (auto &r : Records(b))
        out.push_back(r.time);
    return out;
}

// The record lines of a dump, comments dropped.
std::vector<std::string> RecordLines(const std::string &text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        std::string line = text.substr(at, nl - at);
        if (!line.empty() && line[0] != '#') lines.push_back(line);
        at = nl == std::string::npos ? text.size() : nl + 1;
    }
    return lines;
}

// Records of every shape a file can hold, with times that jump, run
// backwards and wrap.
Bytes RandomBytes(uint32_t seed, size_t records, size_t trailing) {
    static const uint32_t kinds[] = {256, 257, 512, 513, 514,   516,
                                     517, 522, 526, 0,   0x203, 0xFFFFFFFF};
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return uint32_t(x >> 11);
    };
    std::vector<EventRecord> recs(records);
    for (auto &r : recs) {
        r.message = kinds[next() % 12];
        r.paramL = next() % 3 ? next() % 0x10000 : next();
        r.paramH = next() % 2 ? (r.paramL >> 8) & 0xFF : next();
        r.time = next() % 4 ? 0xFFFFFF00u + next() % 0x200 : next();
        r.hwnd = next();
    }
    Bytes b = RecordBytes(recs);
    for (size_t i = 0; i < trailing; i++)
        b.push_back(uint8_t(next()));
    return b;
}

TEST(RecToolText, AnyBytesComeBackExactly) {
    for (uint32_t seed = 1; seed <= 60; seed++) {
        Bytes b = RandomBytes(seed, seed * 7 % 50, seed % 20);
        EXPECT_EQ(Build(Dump(b)), b) << "seed " << seed;
    }
    EXPECT_EQ(Build(Dump({})), Bytes{});
}

TEST(RecToolText, FixturesComeBackExactly) {
    int seen = 0;
    for (const char *folder : {"/rectool/fixtures", "/resources"}) {
        std::string dir = std::string(QV_RECTOOL_SOURCE_DIR) + folder;
        DIR *d = opendir(dir.c_str());
        if (!d) continue;
        while (dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name.size() < 5 || name.substr(name.size() - 4) != ".rec") continue;
            Bytes b = ReadBytes(dir + "/" + name);
            ASSERT_FALSE(b.empty()) << name;
            EXPECT_EQ(Build(Dump(b, name.c_str())), b) << name;
            seen++;
        }
        closedir(d);
    }
    EXPECT_GE(seen, 3);
}

TEST(RecToolText, LinesNameKindsKeysAndPositions) {
    Bytes b = RecordBytes({{WM_KEYDOWN, 'A' + 30 * 256, 30, 100, 0x2222},
                           {WM_MOUSEMOVE, uint32_t(-5), 700, 110, 0x2222},
                           {WM_RBUTTONUP, 1, 2, 130, 0x2222},
                           {0x203, 7, 8, 131, 0},
                           {WM_MOUSEWHEEL, 120, 0, 140, 0},
                           {WM_MOUSEHWHEEL, uint32_t(-240), 0, 150, 0},
                           {WM_MOUSEWHEEL, uint32_t(-30), 7, 160, 0},
                           {WM_MOUSEHWHEEL, 0, 0, 170, 0}});
    auto lines = RecordLines(Dump(b));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "keydown key=A vk=65 scan=30 delay=0 time=100 hwnd=0x2222");
    EXPECT_EQ(lines[1], "move    x=-5 y=700 delay=10 time=110 hwnd=0x2222");
    EXPECT_EQ(lines[2], "rup     x=1 y=2 delay=20 time=130 hwnd=0x2222");
    EXPECT_EQ(lines[3], "msg=515 paramL=0x7 paramH=0x8 delay=1 time=131 hwnd=0x0");
    EXPECT_EQ(lines[4], "wheel   dy=+120 delay=9 time=140 hwnd=0x0");
    EXPECT_EQ(lines[5], "hwheel  dx=-240 delay=10 time=150 hwnd=0x0");
    EXPECT_EQ(lines[6], "wheel   dy=-30 paramH=7 delay=10 time=160 hwnd=0x0");
    EXPECT_EQ(lines[7], "hwheel  dx=0 delay=10 time=170 hwnd=0x0");
    EXPECT_EQ(Build(Dump(b)), b);
    // Typed in by hand, with or without the sign.
    EXPECT_EQ(Records(Build("wheel dy=120\nhwheel dx=+0x78 paramH=1\n"))[1].paramL, 120u);
    EXPECT_EQ(Records(Build("wheel dy=120\n"))[0].message, uint32_t(WM_MOUSEWHEEL));
    // Trailing bytes in hex of either case.
    EXPECT_EQ(Build("trailing bytes=09afAF\n"), (Bytes{0x09, 0xAF, 0xAF}));
    // The file's name in the comment line: control bytes shown as '?',
    // spaces and other bytes as they are.
    std::string head = Dump({}, "a b\x1f\x7f\xc3\xa9.rec");
    EXPECT_EQ(head.substr(0, head.find('\n')),
              "# quorvane-rec dump of a b??\xc3\xa9.rec: 0 records");

    // Every key name leads back to its own code, whatever the case.
    for (uint32_t vk = 0; vk < 256; vk++) {
        const char *name = KeyName(vk);
        if (!name) continue;
        std::string lower = name;
        for (char &ch : lower)
            ch = char(std::tolower(ch));
        EXPECT_EQ(KeyByName(name, std::strlen(name)), int(vk)) << name;
        EXPECT_EQ(KeyByName(lower.data(), lower.size()), int(vk)) << name;
    }
    // The ends of each range made by rule, and the codes just outside them.
    const std::pair<uint32_t, const char *> ends[] = {
        {'0', "0"},      {'9', "9"},     {'A', "A"},      {'Z', "Z"},
        {0x60, "Num0"},  {0x69, "Num9"}, {0x70, "F1"},    {0x78, "F9"},
        {0x79, "F10"},   {0x87, "F24"},  {0x2F, "Help"},  {0x3A, nullptr},
        {0x40, nullptr}, {0x5B, "LWin"}, {0x88, nullptr}, {256, nullptr},
    };
    for (auto &e : ends) {
        const char *name = KeyName(e.first);
        EXPECT_EQ(name ? std::string(name) : "(none)", e.second ? e.second : "(none)") << e.first;
    }
    // A name is matched whole, not as the start of a longer one.
    EXPECT_EQ(KeyByName("F2", 2), 0x71);
    EXPECT_EQ(KeyByName("Num", 3), -1);
}

TEST(RecToolText, DelaysCarryAcrossTheTickWrap) {
    Bytes b = RecordBytes({{WM_MOUSEMOVE, 1, 1, 0xFFFFFFF0u, 0},
                           {WM_MOUSEMOVE, 2, 2, 0xFFFFFFFAu, 0},
                           {WM_MOUSEMOVE, 3, 3, 4, 0}});
    auto lines = RecordLines(Dump(b));
    EXPECT_NE(lines[2].find(" delay=10 time=4 "), std::string::npos) << lines[2];
    EXPECT_EQ(Build(Dump(b)), b);
    RecSummary s;
    Summarize(b.data(), b.size(), &s);
    EXPECT_EQ(s.duration, 20u);
}

TEST(RecToolText, EditedDelaysMoveEverythingAfterThem) {
    Bytes b = RecordBytes({{WM_MOUSEMOVE, 1, 1, 1000, 9},
                           {WM_MOUSEMOVE, 2, 2, 1010, 9},
                           {WM_LBUTTONDOWN, 2, 2, 1030, 9},
                           {WM_LBUTTONUP, 2, 2, 1100, 9}});
    std::string text = Dump(b);
    // A longer pause before the press: the press and all after it move.
    size_t at = text.find("ldown   x=2 y=2 delay=20");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 24, "ldown   x=2 y=2 delay=520");
    Bytes edited = Build(text);
    ASSERT_EQ(edited.size(), b.size());
    EXPECT_EQ(Times(edited), (std::vector<uint32_t>{1000, 1010, 1530, 1600}));
    EXPECT_EQ(Records(edited)[3].hwnd, 9u);

    // A typed-in line takes its time from its delay; the old time= fields of
    // the lines after it are not read.
    text = Dump(b);
    at = text.find("ldown");
    text.insert(at, "keydown key=f8 delay=5\n");
    edited = Build(text);
    ASSERT_EQ(edited.size(), 100u);
    EXPECT_EQ(Records(edited)[2].message, uint32_t(WM_KEYDOWN));
    EXPECT_EQ(Records(edited)[2].paramL, 0x77u);
    EXPECT_EQ(Times(edited), (std::vector<uint32_t>{1000, 1010, 1015, 1035, 1105}));

    // Without the first line the second one's own stamp starts the list.
    text = Dump(b);
    at = text.find("move    x=1");
    text.erase(at, text.find('\n', at) - at + 1);
    edited = Build(text);
    EXPECT_EQ(edited, Bytes(b.begin() + 20, b.end()));
}

TEST(RecToolText, BadLinesAreNamedAndNothingIsBuilt) {
    const std::pair<const char *, const char *> cases[] = {
        {"jump x=1 y=2",
         "unknown kind 'jump' (keydown, keyup, move, ldown, lup, rdown, rup, wheel, hwheel, msg=N "
         "or trailing)"},
        {"move x=1", "move needs x= and y="},
        {"move x=1 y=2 x=3", "x is given twice"},
        {"move x=1 y=2 vk=3", "'vk' is not a field of move"},
        {"move x=1 y", "'y' is not FIELD=VALUE"},
        {"move x=1 y=abc", "y=abc is not a number"},
        {"move x=2147483648 y=0", "x=2147483648 is out of range (-2147483648 to 2147483647)"},
        {"move x=1 y=2 delay=-1", "delay=-1 is out of range (0 to 4294967295)"},
        {"move x=1 y=2 hwnd=0x100000000", "hwnd=0x100000000 is out of range (0 to 4294967295)"},
        {"keydown scan=3", "keydown needs key= or vk="},
        {"wheel paramH=0", "wheel needs dy="},
        {"hwheel dy=120", "'dy' is not a field of hwheel"},
        {"wheel dy=120 x=1", "'x' is not a field of wheel"},
        {"wheel dy=+-120", "dy=+-120 is not a number"},
        {"hwheel dx=-2147483649", "dx=-2147483649 is out of range (-2147483648 to 2147483647)"},
        {"keydown key=Hyper", "key=Hyper is not a key name"},
        {"keyup key=A vk=66", "key=A is vk 65, not vk=66"},
        // A field that is no number is not checked any further.
        {"keyup key=A vk=abc", "vk=abc is not a number"},
        {"keyup vk=256", "vk=256 is out of range (0 to 255)"},
        {"msg=x paramL=1", "'msg=x' needs a number from 0 to 4294967295"},
        {"trailing bytes=abc", "trailing needs bytes= with 1 to 19 bytes in hex"},
        {"trailing bytes=0/", "trailing needs bytes= with 1 to 19 bytes in hex"},
        {"trailing bytes=0:", "trailing needs bytes= with 1 to 19 bytes in hex"},
        {"trailing bytes=0@", "trailing needs bytes= with 1 to 19 bytes in hex"},
        {"trailing bytes=0G", "trailing needs bytes= with 1 to 19 bytes in hex"},
        {"trailing bytes=0`", "trailing needs bytes= with 1 to 19 bytes in hex"},
        {"trailing bytes=0g", "trailing needs bytes= with 1 to 19 bytes in hex"},
        {"trailing bytes=0011\nmove x=1 y=1", "no record may follow the trailing bytes"},
    };
    for (auto &c : cases) {
        std::vector<std::string> errors;
        std::string text = std::string("# fine\nmove x=5 y=5 # fine too\n\n") + c.first + "\n";
        Bytes out = Build(text, &errors);
        EXPECT_TRUE(out.empty()) << c.first;
        ASSERT_EQ(errors.size(), 1u) << c.first;
        int line = std::strchr(c.first, '\n') ? 5 : 4;
        EXPECT_EQ(errors[0], "edit.txt:" + std::to_string(line) + ": " + c.second);
    }
    // Every bad line is reported, up to a limit, then counted.
    std::string many;
    for (int i = 0; i < 30; i++)
        many += "bad\n";
    std::vector<std::string> errors;
    Build(many, &errors);
    ASSERT_EQ(errors.size(), 21u);
    EXPECT_EQ(errors[19].substr(0, 12), "edit.txt:20:");
    EXPECT_EQ(errors[20], "edit.txt: 10 more errors");
    // Control bytes in a bad token cannot break the one-line message.
    Build(std::string("move\x01\x02 x=1\r\n", 12), &errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "edit.txt:1: unknown kind 'move?"
                         "?' (keydown, keyup, move, ldown, lup, "
                         "rdown, rup, wheel, hwheel, msg=N or trailing)");
}

} // namespace
