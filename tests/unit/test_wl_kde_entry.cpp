// The desktop entry KWin asks for before it offers fake input: what the
// program writes names its own path whatever characters the path holds,
// each path gets a file of its own, an entry already there is found, and a
// folder that cannot be written to is reported, not half written.
#include "platform/wayland/wl_kde_entry.h"
#include "test_app_util.h"
#include <gtest/gtest.h>
#include <string>
#include <filesystem>

namespace {

std::string Text(const char *exe) {
    char buf[4096];
    return KdeEntryText(exe, buf, sizeof buf) ? buf : "";
}

std::string Name(const char *exe) {
    char name[64];
    KdeEntryName(exe, name);
    return name;
}

TEST(KdeEntry, TheWrittenEntryNamesExactlyItsPath) {
    const char *paths[] = {"/usr/bin/quorvane",
                           "/home/a b/my tools/quorvane",
                           "/opt/q\"uote/quorvane",
                           "/tmp/$HOME/`x`/quorvane",
                           "/tmp/back\\slash/quorvane",
                           "/tmp/50%/quorvane",
                           "/tmp/ümlaut/q"};
    for (const char *p : paths) {
        std::string t = Text(p);
        ASSERT_FALSE(t.empty()) << p;
        EXPECT_TRUE(KdeEntryCovers(t.c_str(), p)) << t;
        EXPECT_FALSE(KdeEntryCovers(t.c_str(), "/usr/bin/quorvane2")) << t;
        // KWin takes the list as one word: no separator after it.
        EXPECT_NE(t.find("\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n"),
                  std::string::npos);
        EXPECT_NE(t.find("\nNoDisplay=true\n"), std::string::npos);
    }
    // A prefix of the path is another program.
    EXPECT_FALSE(KdeEntryCovers(Text("/usr/bin/quorvane").c_str(), "/usr/bin/quorv"));
}

TEST(KdeEntry, PathsAnEntryCannotHoldAreRefused) {
    char small[64];
    EXPECT_EQ(Text("quorvane"), "");           // not absolute: KWin refuses a bare name
    EXPECT_EQ(Text("/tmp/line\nbreak/q"), ""); // would end the Exec= line
    EXPECT_EQ(Text("/tmp/car\rriage/q"), "");
    EXPECT_FALSE(KdeEntryText("/usr/bin/quorvane", small, sizeof small));
}

TEST(KdeEntry, OneFileNamePerPath) {
    EXPECT_EQ(Name("/usr/bin/quorvane"), Name("/usr/bin/quorvane"));
    EXPECT_NE(Name("/usr/bin/quorvane"), Name("/usr/local/bin/quorvane"));
    EXPECT_NE(Name("/a/quorvane"), Name("/b/quorvane"));
    std::string n = Name("/x");
    ASSERT_EQ(n.size(), std::string("quorvane-0123456789abcdef.desktop").size());
    EXPECT_EQ(n.rfind("quorvane-", 0), 0u);
    EXPECT_EQ(n.substr(n.size() - 8), ".desktop");
}

TEST(KdeEntry, EntriesOthersWroteAreReadAsKWinReadsThem) {
    const char *exe = "/usr/bin/quorvane";
    struct Case {
        const char *text;
        bool covers;
    } cases[] = {
        {"[Desktop Entry]\nExec=/usr/bin/quorvane "
         "%f\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n",
         true},
        {"[Desktop "
         "Entry]\r\nExec=/usr/bin/quorvane\r\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\r\n",
         true},
        {"[Desktop Entry]\nExec=\"/usr/bin/quorvane\" "
         "%f\nX-KDE-Wayland-Interfaces=a,org_kde_kwin_fake_input\n",
         true},
        {"[Desktop Entry]\nExec=/usr/bin/quorvane %f\n", false},
        {"[Desktop Entry]\nExec=quorvane %f\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n",
         false},
        {"[Desktop "
         "Entry]\nExec=/usr/bin/quorvane\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input_v2\n",
         false},
        {"[Desktop Entry]\nExec=/usr/bin/quorvane\n[Desktop Action x]\n"
         "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n",
         false},
        {"", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(KdeEntryCovers(c.text, exe), c.covers) << c.text;
}

struct EntryDirs : ::testing::Test {
    ScratchDir dir;
    std::string user = dir / "user", sys1 = dir / "sys1", sys2 = dir / "sys2";
    const char *system[3] = {sys1.c_str(), sys2.c_str(), nullptr};
    char why[512] = "";
    int Ensure(const char *exe) {
        return KdeEntryEnsure(exe, user.c_str(), system, why, sizeof why);
    }
};

TEST_F(EntryDirs, WrittenOnceAndFoundAfterwards) {
    const char *exe = "/opt/build tree/quorvane";
    ASSERT_EQ(Ensure(exe), 1) << why;
    std::string path = user + "/applications/" + Name(exe);
    EXPECT_TRUE(KdeEntryCovers(GetFile(path).c_str(), exe));
    EXPECT_EQ(Ensure(exe), 0);
    ScratchDir apps;
    apps.path = user + "/applications";
    EXPECT_EQ(apps.Names().size(), 1u); // no temporary left beside it
    apps.path = "/nonexistent-keep";    // not removed twice
    // Another copy gets a file of its own; the first stays as it was.
    ASSERT_EQ(Ensure("/opt/copy/quorvane"), 1);
    EXPECT_TRUE(KdeEntryCovers(GetFile(path).c_str(), exe));
}

TEST_F(EntryDirs, TheInstalledEntryIsEnoughWhenItNamesThisPath) {
    std::filesystem::create_directories(sys2 + "/applications");
    PutFile(sys2 + "/applications/quorvane.desktop",
            "[Desktop Entry]\nExec=/usr/bin/quorvane "
            "%f\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n");
    EXPECT_EQ(Ensure("/usr/bin/quorvane"), 0);
    EXPECT_FALSE(Exists(user + "/applications"));
    // An installed entry of another prefix is not this program's.
    EXPECT_EQ(Ensure("/tmp/prefix/bin/quorvane"), 1);
}

TEST_F(EntryDirs, AFolderThatCannotBeMadeIsReported) {
    PutFile(user, "a file where the data folder should be");
    EXPECT_EQ(Ensure("/usr/bin/quorvane"), -1);
    EXPECT_NE(std::string(why).find(user), std::string::npos) << why;
    EXPECT_EQ(GetFile(user), "a file where the data folder should be");
}

} // namespace
