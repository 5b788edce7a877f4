// Shared helpers of the unit tests: scratch folders and real files, the fake
// desktop's log, and the application tests' fixture (a fresh fake desktop
// and a private scratch folder per test).
#pragma once
#include "app/app.h"
#include "app/appcore.h"
#include "engine/appstate.h"
#include "engine/types.h"
#include "platform/fake/fake.h"
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <gtest/gtest.h>

// The box Play, Save and Compile show when there is nothing to act on.
inline const std::string kNothingRecorded =
    "Nothing Recorded\n\nPress the blue button to start a new recording";

// A scratch folder removed with everything in it at the end of the test.
struct ScratchDir {
    std::string path;
    ScratchDir() {
        char tmpl[] = "/tmp/qv-test-XXXXXX";
        const char *made = mkdtemp(tmpl);
        path = made ? made : "/tmp";
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
    // Names of the files in the folder, so a test can see nothing was left
    // behind.
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        std::error_code ec;
        for (auto &e : std::filesystem::directory_iterator(path, ec))
            out.push_back(e.path().filename().string());
        return out;
    }
};

void PutFile(const std::string &path, const std::string &bytes);
std::string GetFile(const std::string &path); // "" when missing
bool Exists(const std::string &path);
inline void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    PutFile(path, std::string(bytes.begin(), bytes.end()));
}
inline std::vector<uint8_t> ReadBytes(const std::string &path) {
    std::string s = GetFile(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}
// n key-down records (vk 0x41) followed by nothing: a valid recording.
std::string RecordBytes(int n);

// The one log entry of a kind; a test failure (and an empty entry) when the
// log holds none or several.
FakeCall TheOnly(const char *kind);
// Posted commands (wParam) in the log, in order.
std::vector<uint32_t> Posted();
// Texts of every caption set, in order.
std::vector<std::string> Captions();

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FakeReset();
        // A toolbar of 137 x 47 at (100, 200).
        g_fake.windowRect = PlatRect{100, 200, 237, 247};
        g_app.mainWindow = g_fake.mainWindowId;
    }
    void TearDown() override { FakeReset(); }
    // One hotkey poll, as the window's timer hands it over.
    void Poll() { AppWindowProc(MSG_TIMER, TIMER_POLL, 0); }
    void Command(uint32_t wParam, int32_t lParam = 0) {
        AppWindowProc(MSG_COMMAND, wParam, lParam);
    }
    // For tests that start the program: its own (empty, so not a compiled
    // copy) file in a fresh scratch folder, no window yet, and a message
    // loop that returns at once unless a test wants it to run.
    ScratchDir scratch;
    std::string dir = scratch.path, exe = scratch / "quorvane";
    void BeforeStart() {
        g_app.mainWindow = 0;
        g_fake.modulePath = exe;
        PutFile(exe, "");
        g_fake.loopLimitMs = 0;
    }
};
