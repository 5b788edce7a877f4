// The settings file service on the Linux desktop: what a hand-edited or
// foreign INI file reads as, and what a write keeps.
#include "engine_test_util.h"
#include "platform/profile.h"

namespace {

struct ProfileDir : ::testing::Test {
    ScratchDir dir;
    std::string path = dir / "prog.ini";
    void Write(const std::string &text) { PutFile(path, text); }
    std::string Read() { return GetFile(path); }
    int Get(const char *key, int def = -99) {
        return PlatProfileGetInt("Quorvane", key, def, path.c_str());
    }
};

TEST_F(ProfileDir, MissingFileGivesDefaultsAndAWriteCreatesIt) {
    EXPECT_EQ(Get("tips", 1), 1);
    ASSERT_TRUE(PlatProfileWriteString("Quorvane", "window_x", "-40", path.c_str()));
    ASSERT_TRUE(PlatProfileWriteString("Quorvane", "tips", "0", path.c_str()));
    EXPECT_EQ(Get("window_x"), -40);
    EXPECT_EQ(Get("tips", 1), 0);
    EXPECT_EQ(Get("speed", 5), 5);
}

TEST_F(ProfileDir, OtherKeysSectionsAndCommentsSurviveAWrite) {
    Write("; written on the other desktop\r\n[Other]\r\nname=keep "
          "me\r\n[Quorvane]\r\ntips=2\r\nextra=9\r\n");
    EXPECT_EQ(Get("tips"), 2);
    ASSERT_TRUE(PlatProfileWriteString("Quorvane", "tips", "0", path.c_str()));
    std::string text = Read();
    EXPECT_NE(text.find("written on the other desktop"), std::string::npos);
    EXPECT_NE(text.find("name=keep me"), std::string::npos);
    EXPECT_NE(text.find("extra=9"), std::string::npos);
    EXPECT_EQ(Get("tips"), 0);
    EXPECT_EQ(PlatProfileGetInt("Other", "name", 3, path.c_str()), 3); // not a number
}

TEST_F(ProfileDir, ValuesReadAsTheirLeadingNumber) {
    Write("[Quorvane]\ntips = 257\nspeed=1 ; "
          "fast\nrecord_key=abc\nplay_key=-0012\nwindow_x=99999999999\n");
    EXPECT_EQ(Get("tips"), 257);
    EXPECT_EQ(Get("speed"), 1);
    EXPECT_EQ(Get("record_key", 4), 4);
    EXPECT_EQ(Get("play_key"), -12);
    EXPECT_EQ(Get("window_x"), 2147483647);
}

// A file the reader cannot make sense of is the user's, not ours: defaults
// are used and the file is left byte for byte as it was.
TEST_F(ProfileDir, UnreadableFileGivesDefaultsAndIsNeverRewritten) {
    const std::string junk = "this is not\nan ini file [at all\ntips=0\n";
    Write(junk);
    EXPECT_EQ(Get("tips", 1), 1);
    EXPECT_FALSE(PlatProfileWriteString("Quorvane", "tips", "0", path.c_str()));
    EXPECT_EQ(Read(), junk);
}

} // namespace
