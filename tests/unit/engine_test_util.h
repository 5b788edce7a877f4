// Helpers shared by the engine's tests: a fresh fake desktop for each test
// and recordings built in memory (files and scratch folders come from
// test_app_util.h).
#pragma once
#include "app/app.h"
#include "engine/appstate.h"
#include "engine/engine.h"
#include "engine/eventlist.h"
#include "engine/winconst.h"
#include "platform/fake/fake.h"
#include "platform/input.h"
#include "test_app_util.h"
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// A fresh desktop with the toolbar window known to the core, the way the
// start sequence leaves it.
inline void FreshDesktop() {
    FakeReset();
    g_app.mainWindow = g_fake.mainWindowId;
    g_blockLimit = 0xFFFFFFFFu;
}

// Each test starts on a fresh desktop.
class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override { FreshDesktop(); }
    void TearDown() override {
        g_blockLimit = 0xFFFFFFFFu;
        FakeReset();
    }
    static void Command(uint32_t wParam) { AppWindowProc(MSG_COMMAND, wParam, 0); }
};

inline std::vector<uint8_t> RecordBytes(const std::vector<EventRecord> &recs) {
    std::vector<uint8_t> out(recs.size() * sizeof(EventRecord));
    if (!recs.empty()) std::memcpy(out.data(), recs.data(), out.size());
    return out;
}

inline EventRecord KeyRec(uint32_t message, uint32_t vk, uint32_t time) {
    uint32_t scan = PlatMapVirtualKey(vk);
    return EventRecord{message, scan * 256 + vk, scan, time, 0x2222};
}
inline EventRecord MoveRec(int32_t x, int32_t y, uint32_t time) {
    return EventRecord{WM_MOUSEMOVE, uint32_t(x), uint32_t(y), time, 0x2222};
}
inline EventRecord ButtonRec(uint32_t message, uint32_t time) {
    return EventRecord{message, 10, 10, time, 0x2222};
}

// Puts a recording into memory the way a load leaves it: the records, then
// zero-filled room behind them.
inline void InstallRecording(const std::vector<EventRecord> &recs) {
    if (g_app.list.records) ClearEventList(&g_app.list);
    uint32_t bytes = uint32_t(recs.size() * sizeof(EventRecord)) + 4096;
    g_app.list.records = static_cast<EventRecord *>(AllocZeroed(bytes, 1));
    g_app.list.capacity = bytes;
    for (size_t i = 0; i < recs.size(); i++)
        g_app.list.records[i] = recs[i];
    g_app.list.count = uint32_t(recs.size());
}

// The log without the entries a test does not look at.
inline std::vector<FakeCall> LogOf(std::initializer_list<const char *> kinds) {
    std::vector<FakeCall> out;
    for (auto &c : g_fake.log)
        for (const char *k : kinds)
            if (c.what == k) {
                out.push_back(c);
                break;
            }
    return out;
}
