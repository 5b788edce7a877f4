#include "engine_test_util.h"
#include "../../platform/files.h"
#include <csignal>
#include <sys/resource.h>

class RecFileTest : public EngineTest {
  protected:
    ScratchDir dir;

    static FakeCall LastBox() {
        auto boxes = FakeLogOf("box");
        return boxes.empty() ? FakeCall{} : boxes.back();
    }
    // Saves the recording in memory through the command, answering the
    // dialog with `answer`.
    static void SaveAs(const std::string &answer) {
        g_fake.fileAnswers.push_back(answer);
        Command(ID_SAVE);
    }
};

// What decides a recording is the length and the first byte only: the low
// byte of the first record's kind, so key-down (256) and move (512) pass and
// key-up (257) or a left press (513) do not.
TEST_F(RecFileTest, ValidityRuleAtItsBoundaries) {
    struct {
        size_t size;
        uint8_t first, second;
        bool valid;
    } cases[] = {{0, 0, 0, false}, {1, 0, 0, false},  {2, 0, 0, false},  {19, 0, 0, false},
                 {20, 0, 0, true}, {21, 0, 0, false}, {39, 0, 0, false}, {40, 0, 0, true},
                 {20, 0, 1, true}, {20, 0, 2, true},  {20, 1, 1, false}, {20, 1, 2, false}};
    for (auto &c : cases) {
        FakeReset();
        std::string path = dir / ("case" + std::to_string(&c - cases));
        std::vector<uint8_t> bytes(c.size, 0);
        if (c.size >= 2) {
            bytes[0] = c.first;
            bytes[1] = c.second;
        }
        WriteBytes(path, bytes);
        uint32_t n = LoadRecording(path.c_str(), 0);
        SCOPED_TRACE(testing::Message()
                     << c.size << " bytes, " << int(c.first) << " " << int(c.second));
        if (c.valid) {
            EXPECT_EQ(n, c.size);
            ASSERT_NE(g_app.list.records, nullptr);
            EXPECT_EQ(g_app.list.count, c.size / 20);
            EXPECT_TRUE(FakeLogOf("box").empty());
        } else {
            EXPECT_EQ(n, 0u);
            EXPECT_EQ(g_app.list.records, nullptr);
            FakeCall box = LastBox();
            EXPECT_EQ(box.text, "Not a valid recording");
            EXPECT_EQ(box.title, path);
            EXPECT_EQ(box.a, 0x52030);
        }
    }
}

TEST_F(RecFileTest, LoadKeepsZeroRoomBehindTheRecordsAndNamesTheFile) {
    std::vector<EventRecord> recs = {MoveRec(5, 6, 100), KeyRec(WM_KEYDOWN, 0x41, 110),
                                     KeyRec(WM_KEYUP, 0x41, 120)};
    std::string path = dir / "demo.rec";
    WriteBytes(path, RecordBytes(recs));
    ASSERT_EQ(LoadRecording(path.c_str(), 0), 60u);
    EXPECT_EQ(g_app.list.capacity, 60u + 4096u);
    EXPECT_EQ(g_app.list.records[1].paramL, 30u * 256 + 0x41);
    for (uint32_t i = 3; i < g_app.list.capacity / 20; i++)
        ASSERT_EQ(g_app.list.records[i].message, 0u) << i;
    EXPECT_STREQ(g_app.recordingName, "demo.rec");
    EXPECT_EQ(g_fake.caption, "demo.rec");
}

// A standalone player's records follow the program image in its own file.
TEST_F(RecFileTest, LoadsFromAnOffset) {
    std::vector<uint8_t> bytes(333, 0x5A);
    auto recs = RecordBytes({MoveRec(1, 2, 3), KeyRec(WM_KEYDOWN, 0x52, 4)});
    bytes.insert(bytes.end(), recs.begin(), recs.end());
    std::string path = dir / "player";
    WriteBytes(path, bytes);
    ASSERT_EQ(LoadRecording(path.c_str(), 333), 40u);
    EXPECT_EQ(g_app.list.count, 2u);
    EXPECT_EQ(g_app.list.records[0].paramL, 1u);
    EXPECT_EQ(g_app.list.records[1].paramH, 19u);
    EXPECT_EQ(g_app.list.records[2].message, 0u);

    // Nothing after the image: no records, the usual refusal.
    WriteBytes(path, std::vector<uint8_t>(333, 0));
    EXPECT_EQ(LoadRecording(path.c_str(), 333), 0u);
    EXPECT_EQ(LastBox().title, path);
}

// A refused file takes the old recording with it but not its name.
TEST_F(RecFileTest, FailedLoadEmptiesTheListAndKeepsTheName) {
    std::string good = dir / "good.rec";
    WriteBytes(good, RecordBytes({MoveRec(1, 2, 3)}));
    ASSERT_NE(LoadRecording(good.c_str(), 0), 0u);
    std::string missing = dir / "missing.rec";
    EXPECT_EQ(LoadRecording(missing.c_str(), 0), 0u);
    EXPECT_EQ(LastBox().title, missing);
    EXPECT_EQ(g_app.list.records, nullptr);
    EXPECT_STREQ(g_app.recordingName, "good.rec");
    EXPECT_EQ(g_fake.caption, "good.rec");
    // A folder is no recording either.
    EXPECT_EQ(LoadRecording(dir.path.c_str(), 0), 0u);
    // Nothing left to play or save now.
    Command(ID_PLAY);
    EXPECT_EQ(LastBox().title, "Quorvane");
    EXPECT_EQ(g_app.runState, Idle);
}

TEST_F(RecFileTest, LoadRefusesWhenNoBlockCanBeHad) {
    std::string path = dir / "big.rec";
    WriteBytes(path, std::vector<uint8_t>(40000, 0));
    g_blockLimit = 40000; // the file plus its zero room does not fit
    EXPECT_EQ(LoadRecording(path.c_str(), 0), 0u);
    EXPECT_EQ(g_app.list.records, nullptr);
    EXPECT_EQ(LastBox().text, "Not a valid recording");
}

TEST_F(RecFileTest, NamesAreCutToTwentyNineOnLoadAndThirtyOnSave) {
    std::string name42 = "abcdefghijklmnopqrstuvwxyz0123456789ABC.rec";
    ASSERT_EQ(name42.size(), 43u);
    name42 = name42.substr(1); // 42 characters
    std::string path = dir / name42;
    WriteBytes(path, RecordBytes({MoveRec(1, 2, 3)}));
    ASSERT_NE(LoadRecording(path.c_str(), 0), 0u);
    EXPECT_EQ(std::string(g_app.recordingName), name42.substr(0, 29));
    EXPECT_EQ(g_fake.caption, name42.substr(0, 29));

    std::string saved = dir / ("x" + name42);
    SaveAs(saved);
    EXPECT_EQ(ReadBytes(saved).size(), 20u);
    EXPECT_EQ(std::string(g_app.recordingName), ("x" + name42).substr(0, 30));
    EXPECT_EQ(g_fake.caption, ("x" + name42).substr(0, 30));
}

TEST_F(RecFileTest, SaveAppendsTheExtensionOnlyWhenMissing) {
    InstallRecording({MoveRec(1, 2, 3), MoveRec(4, 5, 6)});
    struct {
        const char *chosen, *written;
    } cases[] = {{"demo", "demo.rec"}, {"demo.REC", "demo.REC"}, {"b.Rec", "b.Rec"},
                 {"ab", "ab.rec"},     {"rec", "rec.rec"},       {"x.rec.txt", "x.rec.txt.rec"}};
    for (auto &c : cases) {
        SaveAs(dir / c.chosen);
        EXPECT_EQ(ReadBytes(dir / c.written).size(), 40u) << c.chosen;
        EXPECT_STREQ(g_app.recordingName, c.written);
    }
    // The dialog offers the name of the last save as the default.
    auto chooses = FakeLogOf("choose");
    EXPECT_EQ(chooses[0].text, "");
    EXPECT_EQ(chooses.back().text, "rec.rec");
    EXPECT_EQ(chooses.back().b, 2);
    EXPECT_EQ(dir.Names().size(), 6u) << "no scratch file is left behind";
}

// The file is exactly the records before count: no terminator, nothing of a
// longer file that was there before.
TEST_F(RecFileTest, SaveWritesExactlyCountRecords) {
    std::vector<EventRecord> recs;
    for (uint32_t i = 0; i < 10; i++)
        recs.push_back(MoveRec(int32_t(i + 1), 7, 100 + i));
    InstallRecording(recs);
    std::string path = dir / "ten.rec";
    WriteBytes(path, std::vector<uint8_t>(1000, 0xEE));
    SaveAs(path);
    EXPECT_EQ(ReadBytes(path), RecordBytes(recs));

    g_app.list.count = 3; // a playback stopped at position 3
    SaveAs(path);
    EXPECT_EQ(ReadBytes(path), RecordBytes({recs[0], recs[1], recs[2]}));
}

TEST_F(RecFileTest, SaveFailureIsReportedAndChangesNothing) {
    InstallRecording({MoveRec(1, 2, 3)});
    std::strcpy(g_app.recordingName, "old.rec");
    g_fake.caption = "old.rec";
    std::string folderIsMissing = dir / "nowhere/x.rec";
    SaveAs(folderIsMissing);
    FakeCall box = LastBox();
    EXPECT_EQ(box.text, "Save Failed!\n\n" + folderIsMissing);
    EXPECT_EQ(box.title, "Quorvane");
    EXPECT_EQ(box.a, 0x52030);
    EXPECT_STREQ(g_app.recordingName, "old.rec");
    EXPECT_EQ(g_fake.caption, "old.rec");
    EXPECT_TRUE(FakeLogOf("caption").empty());

    // A folder in the way of the target stays a folder.
    std::filesystem::create_directory(dir / "taken.rec");
    SaveAs(dir / "taken.rec");
    EXPECT_EQ(LastBox().text, "Save Failed!\n\n" + (dir / "taken.rec"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.rec"));
    EXPECT_EQ(dir.Names().size(), 1u) << "the scratch file is removed";
}

// A write that runs out of room midway leaves the old file as it was.
TEST_F(RecFileTest, FailedWriteKeepsTheOldFile) {
    std::vector<EventRecord> recs(10, MoveRec(3, 4, 5));
    InstallRecording(recs);
    std::string path = dir / "keep.rec";
    std::vector<uint8_t> old = RecordBytes({KeyRec(WM_KEYDOWN, 0x41, 1)});
    WriteBytes(path, old);

    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 100; // the 200 bytes of the new file do not fit
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    SaveAs(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(LastBox().text, "Save Failed!\n\n" + path);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(dir.Names().size(), 1u);
    EXPECT_STREQ(g_app.recordingName, "");
}

TEST_F(RecFileTest, SaveNeedsARecordingAndAChoice) {
    Command(ID_SAVE);
    EXPECT_EQ(LastBox().text, kNothingRecorded);
    EXPECT_EQ(LastBox().title, "Quorvane");
    EXPECT_EQ(LastBox().a, 0x52040);
    EXPECT_TRUE(FakeLogOf("choose").empty());

    InstallRecording({MoveRec(1, 2, 3)});
    g_app.list.count = 0; // a playback stopped before its first event
    Command(ID_SAVE);
    EXPECT_EQ(FakeLogOf("box").size(), 2u);

    g_app.list.count = 1;
    Command(ID_SAVE); // cancelled
    EXPECT_EQ(FakeLogOf("choose").size(), 1u);
    EXPECT_TRUE(dir.Names().empty());
    EXPECT_TRUE(FakeLogOf("caption").empty());
}

TEST_F(RecFileTest, OpenLoadsTheChosenFile) {
    std::string path = dir / "open.rec";
    WriteBytes(path, RecordBytes({MoveRec(8, 9, 10), MoveRec(9, 9, 20)}));
    InstallRecording({MoveRec(1, 2, 3)});
    Command(ID_OPEN); // cancelled: the recording stays
    EXPECT_EQ(g_app.list.count, 1u);
    g_fake.fileAnswers.push_back(path);
    Command(ID_OPEN);
    auto chooses = FakeLogOf("choose");
    ASSERT_EQ(chooses.size(), 2u);
    EXPECT_EQ(chooses[1].text, "") << "Open starts from an empty name";
    EXPECT_EQ(chooses[1].b, 1);
    EXPECT_EQ(g_app.list.count, 2u);
    EXPECT_STREQ(g_app.recordingName, "open.rec");
}

TEST_F(RecFileTest, FileRoutines) {
    std::string path = dir / "f.bin";
    WriteBytes(path, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_EQ(FileSizeOf(path.c_str()), 10u);
    EXPECT_EQ(FileSizeOf((dir / "none").c_str()), 0u);
    EXPECT_EQ(FileSizeOf(dir.path.c_str()), 0u);
    // No path measures the running program.
    EXPECT_EQ(FileSizeOf(""), 0u);
    g_fake.modulePath = path;
    EXPECT_EQ(FileSizeOf(""), 10u);
    EXPECT_EQ(FileSizeOf(nullptr), 10u);

    uint8_t buf[16];
    std::memset(buf, 0xFF, sizeof buf);
    EXPECT_EQ(ReadFileAt(path.c_str(), 7, buf, 10), 3u);
    EXPECT_EQ(buf[0], 8);
    EXPECT_EQ(buf[3], 0) << "a NUL follows the bytes read";
    EXPECT_EQ(ReadFileAt(path.c_str(), -4, buf, 2), 2u);
    EXPECT_EQ(buf[0], 7);
    EXPECT_EQ(buf[1], 8);
    EXPECT_EQ(ReadFileAt(path.c_str(), 10, buf, 10), 0u);
    EXPECT_EQ(ReadFileAt(path.c_str(), -11, buf, 10), 0u);
    EXPECT_EQ(ReadFileAt((dir / "none").c_str(), 0, buf, 10), 0u);
    EXPECT_EQ(ReadFileAt(path.c_str(), 0, nullptr, 10), 0u);

    // Writing never truncates; a negative offset appends.
    uint8_t ab[2] = {0xA, 0xB};
    EXPECT_EQ(WriteFileAt(path.c_str(), 0, ab, 2), 2u);
    EXPECT_EQ(WriteFileAt(path.c_str(), -1, ab, 1), 1u);
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{0xA, 0xB, 3, 4, 5, 6, 7, 8, 9, 10, 0xA}));
    EXPECT_EQ(WriteFileAt((dir / "new").c_str(), 0, ab, 2), 2u);
    EXPECT_EQ(ReadBytes(dir / "new").size(), 2u);
    EXPECT_EQ(WriteFileAt(dir.path.c_str(), 0, ab, 2), 0u);
    EXPECT_EQ(WriteFileAt((dir / "no/such").c_str(), 0, ab, 2), 0u);
    EXPECT_EQ(WriteFileAt(nullptr, 0, ab, 2), 0u);
    EXPECT_EQ(WriteFileAt("", 0, ab, 2), 0u);
}

TEST_F(RecFileTest, ChooseFileNameEmptiesTheBufferOnCancel) {
    char buf[260] = "default.rec";
    EXPECT_EQ(ChooseFileName(buf, FILTER_RECORDINGS, 2), 0);
    EXPECT_STREQ(buf, "");
    g_fake.fileAnswers.push_back("/x/y.rec");
    EXPECT_EQ(ChooseFileName(buf, FILTER_PROGRAMS, 1), 1);
    EXPECT_STREQ(buf, "/x/y.rec");
    EXPECT_EQ(FakeLogOf("choose").back().a, FILTER_PROGRAMS);
}

// Recordings hold what was typed: a new file is its owner's alone, while a
// file that is replaced keeps the mode its owner chose.
TEST_F(RecFileTest, NewFilesArePrivateAndReplacedOnesKeepTheirMode) {
    auto modeOf = [](const std::string &p) {
        struct stat st;
        return stat(p.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    char temp[TEMP_PATH_SIZE];
    std::string fresh = dir / "new.rec", kept = dir / "kept.rec";
    ASSERT_TRUE(PlatTempNameBeside(fresh.c_str(), temp, sizeof temp));
    ASSERT_TRUE(PlatReplaceFile(temp, fresh.c_str()));
    EXPECT_EQ(modeOf(fresh), 0600);
    ASSERT_TRUE(PlatTempNameBeside(fresh.c_str(), temp, sizeof temp));
    ASSERT_TRUE(PlatMakeExecutable(temp));
    EXPECT_EQ(modeOf(temp), 0700);
    PutFile(kept, "old");
    chmod(kept.c_str(), 0644);
    ASSERT_TRUE(PlatReplaceFile(temp, kept.c_str()));
    EXPECT_EQ(modeOf(kept), 0644);
}
