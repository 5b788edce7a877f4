// Shared helpers of the application tests: a fresh fake desktop per test and
// a private scratch folder for real files (settings, recordings, programs).
#pragma once
#include "app/app.h"
#include "app/appcore.h"
#include "engine/appstate.h"
#include "engine/types.h"
#include "platform/fake.h"
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <gtest/gtest.h>

// The box Play, Save and Compile show when there is nothing to act on.
inline const std::string kNothingRecorded =
    "Nothing Recorded\n\nPress the blue button to start a new recording";

std::string NewScratchDir(); // fresh per call, removed at exit
void PutFile(const std::string &path, const std::string &bytes);
std::string GetFile(const std::string &path); // "" when missing
bool Exists(const std::string &path);
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
    std::string dir, exe;
    void BeforeStart() {
        g_app.mainWindow = 0;
        dir = NewScratchDir();
        ASSERT_FALSE(dir.empty());
        exe = dir + "/quorvane";
        g_fake.modulePath = exe;
        PutFile(exe, "");
        g_fake.loopLimitMs = 0;
    }
};
