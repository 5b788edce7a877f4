// The clock, sleeps, the toolbar's timers and the message loop.
//
// A window timer fires no sooner than 10 ms and then only on the system's
// clock tick (about 15.6 ms unless someone raised the resolution), so a
// recorded 10 ms gap would play as 15-16 ms and fast speed's 1 ms steps as a
// whole tick. The recorder's and the player's timers therefore wait on a
// high-resolution waitable timer in the message loop, and the clock is the
// performance counter, not the tick count that moves in 15.6 ms steps.
// Where that kind of waitable timer is missing (before Windows 10 1803), an
// ordinary one is used with the system's resolution raised to 1 ms, and only
// while one of the two is armed.
//
// The loop hands out every queued message first and a due waitable timer
// only when the queue is empty, the place a WM_TIMER has: a posted command
// runs before a timer that is already due. Menus and boxes run loops of
// their own that never look at the waitable timers, so each of those timers
// is shadowed by a window timer of the same id, which those loops dispatch;
// whichever fires first is handled, and the handler's kill or re-arm
// cancels both.
#include "../../engine/types.h"
#include "../../platform/timer.h"
#include "win32_backend.h"
#include <mmsystem.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

struct PreciseTimer {
    uint32_t id;
    HANDLE handle;
    bool armed;
    uint32_t interval;
    // Counts every arm and kill, so the loop sees whether a handler
    // replaced the timer it has just dispatched.
    uint32_t serial;
};

PreciseTimer s_precise[] = {{TIMER_RECORD, nullptr, false, 0, 0},
                            {TIMER_PLAY, nullptr, false, 0, 0}};
HANDLE s_sleepTimer;
bool s_made, s_highResolution, s_periodRaised;

HANDLE MakeTimer(DWORD flags) {
    return CreateWaitableTimerExW(nullptr, nullptr, flags, TIMER_ALL_ACCESS);
}

void MakeTimers() {
    if (s_made) return;
    s_made = true;
    s_sleepTimer = MakeTimer(CREATE_WAITABLE_TIMER_HIGH_RESOLUTION);
    s_highResolution = s_sleepTimer != nullptr;
    if (!s_sleepTimer) s_sleepTimer = MakeTimer(0);
    for (auto &t : s_precise)
        t.handle = MakeTimer(s_highResolution ? CREATE_WAITABLE_TIMER_HIGH_RESOLUTION : 0);
}

PreciseTimer *PreciseOf(uint32_t id) {
    for (auto &t : s_precise)
        if (t.id == id) return &t;
    return nullptr;
}

// Relative, in 100 ns units; a zero wait is due at once.
bool ArmWaitable(HANDLE handle, uint32_t ms) {
    LARGE_INTEGER due;
    due.QuadPart = ms ? -LONGLONG(ms) * 10000 : -1;
    return handle && SetWaitableTimer(handle, &due, 0, nullptr, nullptr, FALSE);
}

void RaisePeriod() {
    if (s_highResolution || s_periodRaised) return;
    s_periodRaised = timeBeginPeriod(1) == TIMERR_NOERROR;
}

// Given back once the loop is idle with neither timer armed: a handler that
// kills and re-arms its timer keeps the resolution across the gap.
void LowerPeriodWhenUnused() {
    if (!s_periodRaised) return;
    for (auto &t : s_precise)
        if (t.armed) return;
    timeEndPeriod(1);
    s_periodRaised = false;
}

bool FireDueTimer() {
    for (auto &t : s_precise) {
        if (!t.armed || WaitForSingleObject(t.handle, 0) != WAIT_OBJECT_0) continue;
        uint32_t serial = t.serial;
        SendMessageA(g_mainWindow, WM_TIMER, t.id, 0);
        // Left alone by its handler: a timer fires again after its interval.
        if (t.armed && t.serial == serial) ArmWaitable(t.handle, t.interval);
        return true;
    }
    return false;
}

} // namespace

uint32_t PlatGetTickCount() {
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uint64_t n = uint64_t(counter.QuadPart), f = uint64_t(frequency.QuadPart);
    // Whole seconds first: the counter times 1000 would overflow.
    return uint32_t(n / f * 1000u + n % f * 1000u / f);
}

// Taken while the program's static data is set up, before WinMain.
static const uint32_t s_processStart = PlatGetTickCount();

uint32_t PlatProcessStartTick() {
    return s_processStart;
}

void PlatSleep(uint32_t ms) {
    MakeTimers();
    if (ms && s_highResolution && ArmWaitable(s_sleepTimer, ms)) {
        WaitForSingleObject(s_sleepTimer, INFINITE);
        return;
    }
    Sleep(ms);
}

void PlatSetTimer(uint32_t id, uint32_t ms) {
    if (!g_mainWindow) return;
    SetTimer(g_mainWindow, id, ms, nullptr);
    PreciseTimer *t = PreciseOf(id);
    if (!t) return;
    MakeTimers();
    RaisePeriod();
    t->interval = ms;
    t->serial++;
    t->armed = ArmWaitable(t->handle, ms);
}

// The hotkey poll keeps its steady 50 ms here: menus and boxes run loops of
// their own, which would not hand input on to such a timer.
bool PlatSetInputTimer(uint32_t, uint32_t, uint32_t) {
    return false;
}

void PlatKillTimer(uint32_t id) {
    if (g_mainWindow) KillTimer(g_mainWindow, id);
    PreciseTimer *t = PreciseOf(id);
    if (!t || !t->armed) return;
    CancelWaitableTimer(t->handle);
    t->armed = false;
    t->serial++;
}

int PlatRunMessageLoop() {
    MSG msg = {};
    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        if (FireDueTimer()) continue;
        LowerPeriodWhenUnused();
        HANDLE waits[sizeof s_precise / sizeof s_precise[0]];
        DWORD n = 0;
        for (auto &t : s_precise)
            if (t.armed) waits[n++] = t.handle;
        MsgWaitForMultipleObjectsEx(n, waits, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    for (auto &t : s_precise)
        t.armed = false;
    LowerPeriodWhenUnused();
    return int(msg.wParam);
}
