#include "builder/builder.h"
#include "engine_test_util.h"
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::string> Entries(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

constexpr size_t REPEAT_AT = 700, SPEED_AT = 1500, RATE_AT = 2100, PAUSE_AT = 2600;

// A stand-in for the program's file: varied bytes with the four fields in it.
// The marker runs are made here rather than written out, like the builder's.
Bytes MakeImage(size_t size) {
    Bytes image(size);
    uint32_t x = 12345;
    for (auto &b : image) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
        if (b == '@' || b == '$' || b == '#' || b == '~') b = 'x';
    }
    const struct {
        size_t at;
        char marker;
        size_t width;
    } fields[] = {{REPEAT_AT, '@', 5}, {SPEED_AT, '$', 5}, {RATE_AT, '#', 5}, {PAUSE_AT, '~', 8}};
    for (auto &f : fields)
        if (f.at + f.width < size) {
            std::memset(&image[f.at], f.marker, f.width);
            image[f.at + f.width] = 0;
        }
    return image;
}

class Builder : public ::testing::Test {
  protected:
    ScratchDir scratch;
    std::string dir = scratch.path, own = scratch / "quorvane";
    Bytes image;

    void SetUp() override {
        FakeReset();
        UseImage(MakeImage(4000));
    }
    void TearDown() override { ClearEventList(&g_app.list); }
    void UseImage(const Bytes &bytes, size_t extra = 0) {
        image = bytes;
        Bytes file = bytes;
        file.resize(bytes.size() + extra, 0x5A);
        WriteBytes(own, file);
        g_fake.modulePath = own;
        g_app.ownBaseSize = int32_t(bytes.size());
    }
    // n records in a block with room behind them, as the recorder leaves it.
    void Record(uint32_t n, uint32_t seed = 1) {
        std::vector<EventRecord> recs(n);
        for (uint32_t i = 0; i < n; i++)
            recs[i] = {i % 2 ? 512u : 256u, i * seed, i + 7, 5000 + i * 10, 0x2222};
        InstallRecording(recs);
    }
    std::string Compile(const std::string &chosen) {
        g_fake.fileAnswers.push_back(chosen);
        CompileCommand();
        auto boxes = FakeLogOf("box");
        if (boxes.empty()) return "";
        EXPECT_EQ(boxes.back().title, "Quorvane");
        EXPECT_EQ(boxes.back().a, 0x52040);
        return boxes.back().text;
    }
    static std::string Field(const Bytes &file, size_t at, size_t width = 5) {
        return std::string(file.begin() + long(at), file.begin() + long(at + width));
    }
};

TEST_F(Builder, DefaultNameDropsRecordingExtension) {
    const char *cases[][2] = {
        {"demo.rec", "demo"},   {"demo.REC", "demo"},      {"", ""}, {"rec", "rec"}, {".rec", ""},
        {"a.rec.Rec", "a.rec"}, {"demo.recx", "demo.recx"}};
    for (auto &c : cases) {
        char out[260];
        DefaultProgramName(c[0], out);
        EXPECT_STREQ(out, c[1]) << c[0];
    }
    // The dialog is the programs one, in save mode, proposing that name.
    Record(2);
    std::strcpy(g_app.recordingName, "demo.REC");
    CompileCommand(); // cancelled: no answer queued
    auto chosen = FakeLogOf("choose");
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0].text, "demo");
    EXPECT_EQ(chosen[0].a, FILTER_PROGRAMS);
    EXPECT_EQ(chosen[0].b, 2);
    EXPECT_TRUE(FakeLogOf("box").empty());
    EXPECT_EQ(Entries(dir).size(), 1u);
}

TEST_F(Builder, ExeNameOnlyWhereProgramsNeedIt) {
    const std::string longest(255, 'a');
    const struct {
        std::string chosen;
        bool needed;
        std::string written;
    } cases[] = {{"demo", true, "demo.exe"},
                 {"demo.EXE", true, "demo.EXE"},
                 {"demo", false, "demo"},
                 {longest, true, longest + ".exe"}};
    for (auto &c : cases) {
        char path[260];
        std::strcpy(path, c.chosen.c_str());
        AddProgramExtension(path, c.needed);
        EXPECT_EQ(std::string(path), c.written) << c.chosen;
    }
#ifdef _WIN32
    EXPECT_TRUE(ProgramsNeedExeName());
#else
    EXPECT_FALSE(ProgramsNeedExeName());
#endif
}

TEST_F(Builder, PlayerIsPatchedImageFollowedByRecords) {
    struct {
        int32_t repeat;
        uint8_t speed;
        int32_t rate, pause;
        const char *r, *s, *rt, *p;
    } cases[] = {{3, 1, 200, 1500, "00003", "00001", "00200", "00001500"},
                 {1, 0, 100, 0, "00001", "00000", "00100", "00000000"},
                 {2, 0, 10, 86400000, "00002", "00000", "00010", "86400000"}};
    for (auto &c : cases) {
        Record(10, uint32_t(c.repeat));
        g_app.repeatCount = c.repeat;
        g_app.speed = c.speed;
        g_app.ratePercent = c.rate;
        g_app.maxPauseMs = c.pause;
        std::string target = dir + "/demo";
        FakeClearLog();
        EXPECT_EQ(Compile(target), "Compile Successful: \"demo\"\n\nFile Size:  4k");
        Bytes file = ReadBytes(target);
        ASSERT_EQ(file.size(), image.size() + 200);
        EXPECT_EQ(Field(file, REPEAT_AT), c.r);
        EXPECT_EQ(Field(file, SPEED_AT), c.s);
        EXPECT_EQ(Field(file, RATE_AT), c.rt);
        EXPECT_EQ(Field(file, PAUSE_AT, 8), c.p);
        size_t differing = 0;
        for (size_t i = 0; i < image.size(); i++)
            differing += file[i] != image[i];
        EXPECT_EQ(differing, 23u); // the four fields and nothing else
        EXPECT_EQ(std::memcmp(file.data() + image.size(), g_app.list.records, 200), 0);
        struct stat st;
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_TRUE(st.st_mode & S_IXUSR);
        EXPECT_EQ(Entries(dir).size(), 2u); // no scratch file left behind
        // The recording in memory is untouched.
        EXPECT_EQ(g_app.list.count, 10u);
    }
}

TEST_F(Builder, RepeatCountHeldInsideTheField) {
    const std::pair<int32_t, const char *> cases[] = {
        {99999, "99999"}, {100000, "99999"}, {123456, "99999"}, {INT32_MAX, "99999"},
        {0, "00000"},     {-5, "00000"},     {42, "00042"}};
    for (auto &c : cases) {
        char out[6];
        FieldDigits(c.first, out);
        EXPECT_STREQ(out, c.second) << c.first;
    }
    // The pause limit's field is eight digits wide.
    const std::pair<int32_t, const char *> wide[] = {
        {0, "00000000"}, {86400000, "86400000"}, {INT32_MAX, "99999999"}, {-1, "00000000"}};
    for (auto &c : wide) {
        char out[9];
        FieldDigits(c.first, out, 8);
        EXPECT_STREQ(out, c.second) << c.first;
    }
    Record(1);
    g_app.repeatCount = 123456;
    std::string target = dir + "/big";
    Compile(target);
    EXPECT_EQ(Field(ReadBytes(target), REPEAT_AT), "99999");
}

TEST_F(Builder, SizeLineSwitchesToMegabytesPastOneMegabyte) {
    char text[400];
    CompileReportText("/x/y/p", 33992, text, sizeof text);
    EXPECT_STREQ(text, "Compile Successful: \"p\"\n\nFile Size:  33k");
    // 2976 + 20 * 52280 is exactly 1,048,576; one image byte more passes it.
    for (size_t imageSize : {2976u, 2977u}) {
        UseImage(MakeImage(imageSize));
        Record(52280);
        std::string target = dir + "/size";
        FakeClearLog();
        std::string report = Compile(target);
        EXPECT_EQ(ReadBytes(target).size(), imageSize + 52280u * 20u);
        EXPECT_EQ(report, imageSize == 2976u ? "Compile Successful: \"size\"\n\nFile Size:  1024k"
                                             : "Compile Successful: \"size\"\n\nFile Size:  1 MB");
    }
}

TEST_F(Builder, StoppedPlaybackCompilesOnlyRecordsBeforeTheStop) {
    Record(10);
    g_app.list.count = 3; // a pass stopped at position 3
    std::string target = dir + "/part";
    Compile(target);
    Bytes file = ReadBytes(target);
    ASSERT_EQ(file.size(), image.size() + 60);
    EXPECT_EQ(std::memcmp(file.data() + image.size(), g_app.list.records, 60), 0);
}

TEST_F(Builder, OwnFileWithRecordsHandsOnOnlyItsImage) {
    // Records already stand behind the image: the new program must not carry
    // them in front of, or after, its own.
    UseImage(MakeImage(4000), 20 * 7);
    Record(4, 3);
    std::string target = dir + "/second";
    EXPECT_EQ(Compile(target), "Compile Successful: \"second\"\n\nFile Size:  3k");
    Bytes file = ReadBytes(target);
    ASSERT_EQ(file.size(), 4000u + 80u);
    EXPECT_EQ(std::memcmp(file.data() + 4000, g_app.list.records, 80), 0);

    // A compiled player as the own file: its fields hold digits already, so
    // there is no field left to carry the new values, and nothing is made.
    UseImage(Bytes(file.begin(), file.begin() + 4000), 80);
    std::string third = dir + "/third";
    EXPECT_EQ(Compile(third), "Compile Failed!\n\n" + third);
    EXPECT_FALSE(Exists(third));
}

TEST_F(Builder, FailureLeavesNothingAtTheTarget) {
    Record(5);
    size_t before = Entries(dir).size();
    std::string missing = dir + "/no-such-folder/demo";
    EXPECT_EQ(Compile(missing), "Compile Failed!\n\n" + missing);
    EXPECT_FALSE(Exists(missing));

    std::string folder = dir + "/folder";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    EXPECT_EQ(Compile(folder), "Compile Failed!\n\n" + folder);
    EXPECT_TRUE(Entries(folder).empty());
    rmdir(folder.c_str());

    // An own file shorter than its image: an existing file at the target is
    // kept exactly as it was.
    std::string target = dir + "/kept";
    WriteBytes(target, Bytes(33, 7));
    g_app.ownBaseSize = int32_t(image.size() + 1);
    EXPECT_EQ(Compile(target), "Compile Failed!\n\n" + target);
    EXPECT_EQ(ReadBytes(target), Bytes(33, 7));
    EXPECT_EQ(Entries(dir).size(), before + 1);
}

TEST_F(Builder, ExistingTargetIsReplacedWhole) {
    std::string target = dir + "/demo";
    WriteBytes(target, Bytes(100000, 1));
    Record(2);
    Compile(target);
    EXPECT_EQ(ReadBytes(target).size(), image.size() + 40);
}

TEST_F(Builder, ActsOnlyWhenIdleWithSomethingRecorded) {
    CompileCommand(); // no block at all
    Record(0);
    CompileCommand(); // a block, but nothing in it
    auto boxes = FakeLogOf("box");
    ASSERT_EQ(boxes.size(), 2u);
    for (auto &b : boxes)
        EXPECT_EQ(b.text, kNothingRecorded);
    EXPECT_TRUE(FakeLogOf("choose").empty());

    Record(3);
    for (RunState s : {Recording, Playing}) {
        FakeClearLog();
        g_app.runState = s;
        CompileCommand();
        EXPECT_TRUE(g_fake.log.empty());
    }
}

} // namespace
