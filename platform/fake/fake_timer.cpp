#include "../../app/app.h"
#include "../../engine/appstate.h"
#include "../../engine/engine.h"
#include "fake.h"
#include "../timer.h"

FakeState g_fake;

FakeCall &FakeLog(const char *what, int64_t a, int64_t b, int64_t c) {
    FakeCall call;
    call.what = what;
    call.a = a;
    call.b = b;
    call.c = c;
    call.tick = g_fake.tick;
    g_fake.log.push_back(call);
    return g_fake.log.back();
}

// Runs scripted actions whose time has come, in time order.
static void RunScriptUpTo(uint32_t now) {
    while (!g_fake.script.empty() && g_fake.script.begin()->first <= now) {
        uint32_t at = g_fake.script.begin()->first;
        auto action = g_fake.script.begin()->second;
        g_fake.script.erase(g_fake.script.begin());
        if (int32_t(at - g_fake.tick) > 0) g_fake.tick = at;
        action();
    }
}

void FakeReset() {
    g_fake = FakeState();
    g_fake.processStartTick = g_fake.tick;
    ResetAppState();
}

// A delivering desktop tells the recorder of each change at once, stamped
// with the virtual clock.
static void Deliver() {
    if (g_fake.delivers && g_fake.recording) RecordInputChange(g_fake.tick);
}

void FakeKeyDown(int vk) {
    g_fake.physical[vk & 255] = 1;
    g_fake.pressedSince[vk & 255] = 1;
    g_fake.thread[vk & 255] = uint8_t((g_fake.thread[vk & 255] ^ 0x01) | 0x80);
    Deliver();
}

void FakeKeyUp(int vk) {
    g_fake.physical[vk & 255] = 0;
    g_fake.thread[vk & 255] &= uint8_t(~0x80);
    Deliver();
}

void FakeWheel(int32_t dy, int32_t dx) {
    g_fake.wheelDy += dy;
    g_fake.wheelDx += dx;
    Deliver();
}

void FakeMove(int32_t x, int32_t y) {
    g_fake.cursorX = x;
    g_fake.cursorY = y;
    Deliver();
}

void FakeAt(uint32_t at, std::function<void()> action) {
    g_fake.script.emplace(at, action);
}

uint32_t PlatGetTickCount() {
    return g_fake.tick;
}

uint32_t PlatProcessStartTick() {
    return g_fake.processStartTick;
}

void PlatSleep(uint32_t ms) {
    FakeLog("sleep", ms);
    uint32_t end = g_fake.tick + ms;
    RunScriptUpTo(end);
    g_fake.tick = end;
}

void PlatSetTimer(uint32_t id, uint32_t ms) {
    g_fake.timers[id] = FakeTimer{ms, g_fake.tick + ms};
    FakeLog("settimer", id, ms);
}

bool PlatSetInputTimer(uint32_t id, uint32_t soonest, uint32_t latest) {
    if (!g_fake.inputTimers) return false;
    g_fake.timers.erase(id);
    if (latest) g_fake.timers[id] = FakeTimer{latest, g_fake.tick + latest};
    FakeLog("inputtimer", id, soonest, latest);
    return true;
}

void PlatKillTimer(uint32_t id) {
    g_fake.timers.erase(id);
    FakeLog("killtimer", id);
}

static bool DispatchOne(uint32_t end, bool moveClock) {
    if (!g_fake.posted.empty()) {
        FakePost p = g_fake.posted.front();
        g_fake.posted.pop_front();
        if (p.close)
            AppWindowProc(MSG_CLOSE, 0, 0);
        else
            AppWindowProc(MSG_COMMAND, p.wParam, p.lParam);
        return true;
    }
    // Earliest due timer; ties go to the lower id, as good as any order.
    uint32_t bestId = 0, bestDue = 0;
    bool found = false;
    for (auto &t : g_fake.timers) {
        uint32_t due = t.second.due;
        if (int32_t(due - g_fake.tick) < 0) due = g_fake.tick;
        if (!found || int32_t(due - bestDue) < 0) {
            found = true;
            bestId = t.first;
            bestDue = due;
        }
    }
    if (!found) return false;
    if (!moveClock && bestDue != g_fake.tick) return false;
    if (int32_t(bestDue - end) > 0) return false;
    RunScriptUpTo(bestDue);
    if (!g_fake.posted.empty()) return true; // an action posted something: it goes first
    // An action that took time (a sleep: the machine froze) makes the timer
    // late; it never fires before now.
    if (int32_t(bestDue - g_fake.tick) > 0) g_fake.tick = bestDue;
    auto it = g_fake.timers.find(bestId);
    if (it == g_fake.timers.end()) return true;
    it->second.due = bestDue + (it->second.interval ? it->second.interval : 1);
    AppWindowProc(MSG_TIMER, bestId, 0);
    return true;
}

int FakeRunFor(uint32_t ms) {
    uint32_t end = g_fake.tick + ms;
    int n = 0;
    while (!g_fake.quit && int32_t(end - g_fake.tick) >= 0) {
        if (DispatchOne(end, true)) {
            n++;
            continue;
        }
        break;
    }
    if (!g_fake.quit) {
        RunScriptUpTo(end);
        if (int32_t(end - g_fake.tick) > 0) g_fake.tick = end;
    }
    return n;
}

int FakeRunPending() {
    int n = 0;
    while (!g_fake.quit && DispatchOne(g_fake.tick, false))
        n++;
    return n;
}

std::vector<FakeCall> FakeLogOf(const std::string &what) {
    std::vector<FakeCall> out;
    for (auto &c : g_fake.log)
        if (c.what == what) out.push_back(c);
    return out;
}

void FakeClearLog() {
    g_fake.log.clear();
}
