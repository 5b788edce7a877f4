// The commands as a user runs them: info's verdict against the program's
// own loader, exit codes and one-line errors, no output on failure, a
// recording the program itself made, and a picture with its marks in place.
#include "engine_test_util.h"
#include "rectool/rectool.h"
#include <algorithm>
#include <cairo.h>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// The font library keeps its configuration for the life of the process and
// lets go of it in ways leak checking cannot follow; the picture's legend
// loads it once. Our own allocations stay checked.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

using Bytes = std::vector<uint8_t>;

std::string AsString(const Bytes &b) {
    return std::string(b.begin(), b.end());
}

class RecToolCli : public ::testing::Test {
  protected:
    ScratchDir dir;
    std::string out, err;
    std::string P(const char *name) { return dir / name; }

    int Run(std::vector<std::string> args) {
        args.insert(args.begin(), "quorvane-rec");
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        std::FILE *o = std::tmpfile(), *e = std::tmpfile();
        int rc = RecToolMain(int(argv.size()), argv.data(), o, e);
        out = Read(o);
        err = Read(e);
        return rc;
    }
    static std::string Read(std::FILE *f) {
        std::string s;
        std::rewind(f);
        int c;
        while ((c = std::fgetc(f)) != EOF)
            s += char(c);
        std::fclose(f);
        return s;
    }
    static int Lines(const std::string &s) { return int(std::count(s.begin(), s.end(), '\n')); }
};

TEST_F(RecToolCli, VerdictAgreesWithTheProgramsLoader) {
    for (uint32_t size = 0; size <= 45; size++) {
        for (uint8_t first : {0, 1, 2}) {
            Bytes b(size, 0);
            if (size) b[0] = first;
            bool fine = RecordingFaults(b.data(), size) == 0;
            EXPECT_EQ(fine, IsValidRecording(b.data(), size)) << size << " " << int(first);
        }
    }
    PutFile(P("odd.rec"), std::string("\x01\x02\x03", 3));
    EXPECT_EQ(Run({"info", P("odd.rec")}), 0);
    EXPECT_NE(out.find("valid:      no: first byte is 1, not 0; size 3 is not a multiple of 20\n"),
              std::string::npos)
        << out;
    PutFile(P("empty.rec"), "");
    Run({"info", P("empty.rec")});
    EXPECT_NE(out.find("valid:      no: shorter than 2 bytes\n"), std::string::npos) << out;
}

TEST_F(RecToolCli, InfoCountsKindsTimeAndArea) {
    Bytes b = RecordBytes({{WM_MOUSEMOVE, uint32_t(-20), 5, 0xFFFFFC00u, 1},
                           {WM_LBUTTONDOWN, 300, 40, 0xFFFFFE00u, 1},
                           {WM_LBUTTONUP, 300, 40, 0x00000100u, 1},
                           {WM_KEYDOWN, 65 + 30 * 256, 30, 0x00000400u, 1},
                           {WM_MOUSEWHEEL, uint32_t(-9999), 0, 0x00000400u, 1},
                           {WM_MOUSEHWHEEL, 9999, 0, 0x00000400u, 1},
                           {WM_MOUSEWHEEL, 120, 0, 0x00000400u, 1},
                           {0x203, 9999, 9999, 0x00000500u, 1}});
    PutFile(P("a.rec"), AsString(b));
    ASSERT_EQ(Run({"info", P("a.rec")}), 0);
    EXPECT_EQ(out, "file:       " + P("a.rec") +
                       "\n"
                       "records:    8\n"
                       "size:       160 bytes\n"
                       "duration:   2.304 s (2304 ms)\n"
                       "kinds:      keydown 1, keyup 0, move 1, ldown 1, lup 1, rdown 0, rup 0, "
                       "wheel 2, hwheel 1, other 1\n"
                       "pointer:    x -20..300, y 5..40\n"
                       "valid:      yes\n");
    EXPECT_EQ(err, "");
}

TEST_F(RecToolCli, UsageBadInputAndHelpExitCodes) {
    PutFile(P("a.rec"), AsString(RecordBytes({{WM_MOUSEMOVE, 1, 1, 1, 1}})));
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{}, 2},
        {{"frobnicate"}, 2},
        {{"info"}, 2},
        {{"info", P("a.rec"), "-o", P("x")}, 2},
        {{"dump", P("a.rec"), "-o"}, 2},
        {{"dump", P("a.rec"), "--fast"}, 2},
        {{"dump", P("a.rec"), P("a.rec")}, 2},
        {{"build", P("a.rec")}, 2},
        {{"plot", P("a.rec")}, 2},
        {{"info", P("missing.rec")}, 1},
        {{"dump", dir.path}, 1},
        {{"plot", P("missing.rec"), "-o", P("p.png")}, 1},
    };
    for (auto &c : cases) {
        EXPECT_EQ(Run(c.first), c.second) << (c.first.empty() ? "" : c.first[0]);
        EXPECT_EQ(Lines(err), 1) << err; // one line, whichever failure
        EXPECT_EQ(out, "");
    }
    for (const char *cmd : {"info", "dump", "build", "plot"}) {
        EXPECT_EQ(Run({cmd, "--help"}), 0);
        EXPECT_EQ(out.rfind(std::string("usage: quorvane-rec ") + cmd, 0), 0u) << out;
    }
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_FALSE(Exists(P("p.png")));
}

TEST_F(RecToolCli, FailedBuildLeavesTheOldFileAlone) {
    PutFile(P("old.rec"), "keep me");
    PutFile(P("bad.txt"), "move x=1 y=2\nmove x=1\nkeydown key=Nope\n");
    EXPECT_EQ(Run({"build", P("bad.txt"), "-o", P("old.rec")}), 1);
    EXPECT_EQ(err, P("bad.txt") + ":2: move needs x= and y=\n" + P("bad.txt") +
                       ":3: key=Nope is not a key name\n");
    EXPECT_EQ(GetFile(P("old.rec")), "keep me");
    EXPECT_EQ(dir.Names().size(), 2u);

    // Written when asked, with a warning when the program would refuse it.
    PutFile(P("click.txt"), "ldown x=1 y=2\n");
    EXPECT_EQ(Run({"build", P("click.txt"), "-o", P("old.rec")}), 0);
    EXPECT_EQ(GetFile(P("old.rec")).size(), 20u);
    EXPECT_EQ(err, "quorvane-rec: warning: Quorvane will not load '" + P("old.rec") +
                       "' (its first byte is not 0)\n");
}

// A recording the program itself made, saved by its own Save command, goes
// through dump and build unchanged.
TEST_F(RecToolCli, ProgramRecordingComesBackExactly) {
    FreshDesktop();
    g_fake.tick = 0xFFFFFFFFu - 200; // the tick count wraps while recording
    AppWindowProc(MSG_COMMAND, ID_RECORD, 0);
    for (int i = 0; i < 40; i++) {
        g_fake.cursorX = 100 + i * 3;
        g_fake.cursorY = 200 + i;
        if (i == 10) FakeKeyDown('Q');
        if (i == 12) FakeKeyUp('Q');
        if (i == 20) FakeKeyDown(VK_LBUTTON);
        if (i == 22) FakeKeyUp(VK_LBUTTON);
        if (i == 30) FakeWheel(120, 0);
        if (i == 32) FakeWheel(0, -360);
        FakeRunFor(10);
    }
    AppWindowProc(MSG_COMMAND, ID_RECORD, 0);
    ASSERT_GT(g_app.list.count, 30u);
    g_fake.fileAnswers.push_back(P("made.rec"));
    SaveCommand();
    FakeReset();
    std::string saved = GetFile(P("made.rec"));
    ASSERT_EQ(saved.size() % 20, 0u);
    ASSERT_GT(saved.size(), 600u);

    ASSERT_EQ(Run({"dump", P("made.rec"), "-o", P("made.txt")}), 0);
    std::string text = GetFile(P("made.txt"));
    EXPECT_NE(text.find("keydown key=Q vk=81"), std::string::npos);
    EXPECT_NE(text.find("ldown   x=160 y=220"), std::string::npos);
    EXPECT_NE(text.find("\nwheel   dy=+120 delay="), std::string::npos);
    EXPECT_NE(text.find("\nhwheel  dx=-360 delay="), std::string::npos);
    ASSERT_EQ(Run({"build", P("made.txt"), "-o", P("again.rec")}), 0);
    EXPECT_EQ(GetFile(P("again.rec")), saved);
    // Without -o the dump goes to standard output, the same text.
    ASSERT_EQ(Run({"dump", P("made.rec")}), 0);
    EXPECT_EQ(out, text);
}

bool ToString(void *context, const unsigned char *data, unsigned int length) {
    static_cast<std::string *>(context)->append(reinterpret_cast<const char *>(data), length);
    return true;
}

struct Reader {
    const std::string *png;
    size_t at;
};
cairo_status_t ReadPiece(void *closure, unsigned char *data, unsigned int length) {
    auto *r = static_cast<Reader *>(closure);
    if (r->at + length > r->png->size()) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, r->png->data() + r->at, length);
    r->at += length;
    return CAIRO_STATUS_SUCCESS;
}

TEST_F(RecToolCli, PlotMarksClicksWhereTheyHappened) {
    // The area is 201 x 101 pixels at scale 1: a left click at its right
    // end, a right click at its bottom left and the wheel turned there.
    Bytes b = RecordBytes({{WM_MOUSEMOVE, 100, 100, 0, 0},
                           {WM_MOUSEMOVE, 300, 200, 10, 0},
                           {WM_LBUTTONDOWN, 300, 200, 20, 0},
                           {WM_LBUTTONUP, 300, 200, 30, 0},
                           {WM_MOUSEMOVE, 100, 150, 40, 0},
                           {WM_RBUTTONDOWN, 100, 150, 50, 0},
                           {WM_RBUTTONUP, 100, 150, 60, 0},
                           {WM_MOUSEWHEEL, uint32_t(-120), 0, 65, 0},
                           {WM_KEYDOWN, 65, 0, 70, 0}});
    std::string png, why;
    ASSERT_TRUE(PlotRecording(b.data(), b.size(), "t.rec", {1200, 900}, ToString, &png, why));
    Reader r = {&png, 0};
    cairo_surface_t *img = cairo_image_surface_create_from_png_stream(ReadPiece, &r);
    ASSERT_EQ(cairo_surface_status(img), CAIRO_STATUS_SUCCESS);
    int w = cairo_image_surface_get_width(img), h = cairo_image_surface_get_height(img);
    EXPECT_GE(w, 201 + 48);
    // Both ends of the recorded span are in the area: 101 rows, between the
    // margins and above the legend.
    EXPECT_EQ(h, 101 + 48 + 64);
    auto pixel = [&](int x, int y) {
        const uint8_t *p =
            cairo_image_surface_get_data(img) + y * cairo_image_surface_get_stride(img);
        uint32_t v;
        std::memcpy(&v, p + 4 * x, 4);
        return v & 0xFFFFFF;
    };
    auto reddish = [](uint32_t v) { return (v >> 16 & 255) > 180 && (v >> 8 & 255) < 90; };
    auto purplish = [](uint32_t v) {
        return (v >> 16 & 255) > 100 && (v >> 8 & 255) < 90 && (v & 255) > 150;
    };
    // Pixel (24 + x - 100, 24 + y - 100) shows screen point (x, y).
    EXPECT_TRUE(reddish(pixel(24 + 200, 24 + 100))) << std::hex << pixel(224, 124);
    EXPECT_TRUE(purplish(pixel(24 + 0, 24 + 50))) << std::hex << pixel(24, 74);
    auto orange = [](uint32_t v) {
        return (v >> 16 & 255) > 200 && (v >> 8 & 255) > 100 && (v >> 8 & 255) < 180 &&
               (v & 255) < 60;
    };
    EXPECT_TRUE(orange(pixel(24 + 10, 24 + 50 + 6))) << std::hex << pixel(34, 80);
    uint32_t inside = pixel(24 + 100, 24 + 20);
    EXPECT_TRUE(inside >= 0xF0F0F0u && inside <= 0xF5F5F5u && (inside & 255) == (inside >> 16))
        << "inside the area, off the path: " << std::hex << inside;
    EXPECT_EQ(pixel(5, 5), 0xFFFFFFu) << "outside the area";
    cairo_surface_destroy(img);

    // The legend shows each kind of mark once, however wide the picture:
    // the wheel's orange wedge sits in one place below a 1001 x 51 area.
    Bytes wide = RecordBytes({{WM_MOUSEMOVE, 100, 100, 0, 0},
                              {WM_MOUSEMOVE, 1100, 150, 10, 0},
                              {WM_MOUSEWHEEL, 120, 0, 20, 0}});
    png.clear();
    ASSERT_TRUE(PlotRecording(wide.data(), wide.size(), "w.rec", {1200, 900}, ToString, &png, why));
    r = {&png, 0};
    img = cairo_image_surface_create_from_png_stream(ReadPiece, &r);
    ASSERT_EQ(cairo_surface_status(img), CAIRO_STATUS_SUCCESS);
    w = cairo_image_surface_get_width(img);
    h = cairo_image_surface_get_height(img);
    EXPECT_GE(w, 1001 + 48);
    int lo = w, hi = -1;
    for (int y = 24 + 51 + 8; y < h; y++)
        for (int x = 0; x < w; x++)
            if (orange(pixel(x, y))) {
                lo = std::min(lo, x);
                hi = std::max(hi, x);
            }
    EXPECT_GE(hi, 0) << "a wheel mark in the legend";
    EXPECT_LT(hi - lo, 15) << "one wheel mark in the legend, from x " << lo << " to " << hi;
    cairo_surface_destroy(img);

    // The command writes the same picture; a recording without a pointer
    // still gives a picture.
    PutFile(P("t.rec"), AsString(b));
    ASSERT_EQ(Run({"plot", P("t.rec"), "-o", P("t.png")}), 0);
    EXPECT_EQ(GetFile(P("t.png")).substr(0, 8), "\x89PNG\r\n\x1a\n");
    PutFile(P("keys.rec"), AsString(RecordBytes({{WM_KEYDOWN, 65, 0, 70, 0}})));
    EXPECT_EQ(Run({"plot", P("keys.rec"), "-o", P("k.png")}), 0);
    EXPECT_TRUE(Exists(P("k.png")));
}

} // namespace
