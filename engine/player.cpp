// The player: a one-shot timer that wakes when the next record is due. Each
// record has a deadline on one clock (the pass's start, the first delay, and
// the recorded distance from the pass's first record), so the work of a
// tick never adds up over a pass. At fast speed runs of pointer moves are
// thinned out. The end of a pass is posted as a play command, so one place
// decides whether another pass follows.
#include "../platform/input.h"
#include "../platform/timer.h"
#include "appstate.h"
#include "engine.h"
#include "eventlist.h"
#include "pace.h"
#include "winconst.h"

static const uint32_t FIRST_TICK_MS = 25;
static const uint32_t FAST_AFTER_MOVES_MS = 75;
static const uint32_t FAST_STEP_MS = 1;
// Later than this and the machine stalled (frozen, swapped, debugged): the
// schedule starts again from now instead of firing everything it missed in
// one burst. Well above what a busy desktop's timers slip in normal running
// (a 15.6 ms system tick, a slow paint, an X round trip), so ordinary
// lateness is caught up and a pass keeps its length; well below what a user
// sees as a jump.
static const int32_t STALL_MS = 50;
// A tick that has caught up this long gives the message loop a turn, so a
// stop still gets through a file of thousands of records stamped alike.
static const uint32_t TICK_BUDGET_MS = 16;
// A step this long is a stamp that ran backwards (a file not written by the
// recorder): it is waited out as before, never read as lateness.
static const uint32_t BACKWARDS_STEP = 0x80000000u;

// Tick at which the record at the play position is due.
static uint32_t s_due;
// The part of a millisecond the rate left over from the last wait.
static uint32_t s_paceCarry;
// A playback asked for before its command could run: the one the start
// posts, while the window is still being built.
void PlayAskedAt(uint32_t tick) {
    g_app.playAsked = 1;
    g_app.playAskedTick = tick;
}

void StopPlayback() {
    // A standalone copy is longer than the program it was made from; it has
    // done its work once its playback stops, whatever stopped it.
    if (FileSizeOf("") > uint32_t(g_app.ownBaseSize)) PlatPostClose();
    PlatKillTimer(TIMER_PLAY);
    // What the command line gave was for this playback only.
    g_app.once.active = 0;
    g_app.loopNumber = 0;
    g_app.runState = Idle;
    ShowIdleCaption();
}

static const int kStopKeys[] = {VK_PAUSE, VK_SCROLL};

bool StopKeyDown() {
    PlatInputSnapshot();
    // The device's state as well as the thread's table: a table that a
    // pass's release has just cleared can go on reading a later press as
    // up (seen under Wine), and then the stop key would do nothing. A tap
    // shorter than the time between two looks counts too: the device
    // notes a press since the last look, and a user who tapped Pause
    // expects the playback to stop however quick the tap.
    bool down = false;
    for (int vk : kStopKeys)
        if (PlatGetKeyState(vk) < 0 || (PlatGetAsyncKeyState(vk) & 0x8001) != 0) down = true;
    return down;
}

// A press from before the playback (the one that stopped the last) is no
// request to stop this one.
static void ForgetStopKeyPresses() {
    for (int vk : kStopKeys)
        PlatGetAsyncKeyState(vk);
}

void PlayCommand(uint32_t wParam) {
    bool askedEarlier = g_app.playAsked != 0;
    g_app.playAsked = 0;
    if (g_app.runState == Recording) return;
    if (!g_app.list.records) {
        ShowNothingRecorded();
        return;
    }
    bool firstPass = g_app.runState == Idle;
    if (firstPass) {
        // Values the command line gave belong to the playback the start
        // asked for; one started otherwise runs with the settings.
        if (!askedEarlier) g_app.once.active = 0;
        g_app.loopNumber = 0;
        g_app.runState = Playing;
        ForgetStopKeyPresses();
    } else {
        // Between passes a stop key still held is read now: the release
        // below would let go of it before the poll could see it, so a short
        // recording played continuously could never be stopped.
        if (StopKeyDown()) {
            StopPlaybackByKey();
            return;
        }
        g_app.loopNumber = int32_t(uint32_t(g_app.loopNumber) + 1);
    }
    ReleaseAllInput();
    bool stopRequest = (wParam >> 16) != 0;
    if (stopRequest || (g_app.loopNumber >= PlayRepeatCount() && !PlayContinuous())) {
        StopPlayback();
        return;
    }
    g_app.startTick = PlatGetTickCount();
    g_app.list.count = 0;
    // The first delay of a playback asked for earlier runs from then: the
    // window built in the meantime is most of a start's time, and the
    // schedule from the first record on is the same either way.
    uint32_t firstDelay = FIRST_TICK_MS;
    if (firstPass && askedEarlier) {
        uint32_t waited = g_app.startTick - g_app.playAskedTick;
        firstDelay = waited < FIRST_TICK_MS ? FIRST_TICK_MS - waited : 0;
    }
    s_due = g_app.startTick + firstDelay;
    s_paceCarry = PaceStart(PlayRatePercent());
    PlatSetTimer(TIMER_PLAY, firstDelay);
}

void ReplayPointerMove(int32_t x, int32_t y) {
    uint32_t dy = AbsoluteFromPixel(y, PlatScreenHeight());
    uint32_t dx = AbsoluteFromPixel(x, PlatScreenWidth());
    PlatMouseEvent(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, dx, dy);
    PlatSetCursorPos(x, y);
}

// Middle and side buttons are stored as key records of their codes; they
// act where the pointer is, as the other buttons do.
static void ReplayButtonKey(uint32_t vk, bool up) {
    static const struct {
        uint32_t down, up, data;
    } buttons[3] = {{MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 0},
                    {MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, XBUTTON1},
                    {MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, XBUTTON2}};
    const auto &b = buttons[vk - VK_MBUTTON];
    PlatMouseButtonEvent(up ? b.up : b.down, b.data);
    g_app.leftHeld = 0;
}

static void ReplayRecord(const EventRecord &r) {
    switch (r.message) {
    case WM_KEYDOWN:
    case WM_KEYUP: {
        uint32_t vk = r.paramL & 0xFF;
        if (vk == VK_LSHIFT) return;
        if (vk >= VK_MBUTTON && vk <= VK_XBUTTON2) {
            ReplayButtonKey(vk, r.message == WM_KEYUP);
            return;
        }
        uint32_t flags = IsExtendedKey(vk) ? uint32_t(KEYEVENTF_EXTENDEDKEY) : 0u;
        if (r.message == WM_KEYUP) flags |= KEYEVENTF_KEYUP;
        PlatKeybdEvent(uint8_t(vk), uint8_t(PlatMapVirtualKey(vk)), flags);
        return;
    }
    case WM_MOUSEMOVE: ReplayPointerMove(int32_t(r.paramL), int32_t(r.paramH)); return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        g_app.clickPlayed = 1;
        PlatMouseEvent(r.message == WM_LBUTTONDOWN ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP, 0,
                       0);
        g_app.leftHeld = r.message == WM_LBUTTONDOWN ? 1 : 0;
        return;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        PlatMouseEvent(r.message == WM_RBUTTONDOWN ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP, 0,
                       0);
        g_app.leftHeld = 0;
        return;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
        // At the pointer, like a button; a held left button stays held.
        if (r.paramL)
            PlatMouseButtonEvent(
                r.message == WM_MOUSEWHEEL ? MOUSEEVENTF_WHEEL : MOUSEEVENTF_HWHEEL, r.paramL);
        return;
    default: return;
    }
}

// The kind of the record at i; past the block it reads as the end, so no
// list, however it was loaded, is walked beyond its memory.
static uint32_t MessageAt(uint32_t i) {
    return i < ListCapacityRecords(&g_app.list) ? g_app.list.records[i].message : 0;
}

// A stop by Pause or Scroll Lock lets go of whatever the recording held,
// and undoes the Scroll Lock toggle that the stop press switched on.
void StopPlaybackByKey() {
    g_app.runState = Idle;
    // The thread's table, read before the release clears it again. The
    // playback started with a cleared table, so its toggle bit is on only
    // when Scroll Lock was pressed during the playback (the stop itself); a
    // light the user had on before is left alone.
    bool scrollOn = (PlatGetKeyState(VK_SCROLL) & 1) != 0;
    ReleaseAllInput();
    if (scrollOn) {
        uint8_t scan = uint8_t(PlatMapVirtualKey(VK_SCROLL));
        PlatKeybdEvent(VK_SCROLL, scan, 0);
        PlatKeybdEvent(VK_SCROLL, scan, KEYEVENTF_KEYUP);
    }
    StopPlayback();
}

static void EndOfPass() {
    if (g_app.clickPlayed) PlatSleep(PlatGetDoubleClickTime() / 2);
    PlatPostCommand(ID_PLAY, 0);
}

void PlayTick(uint32_t timerId) {
    // A tick still pending from a playback that has ended (or a recording
    // that has started since) has nothing to do.
    if (g_app.runState != Playing) return;
    if (StopKeyDown()) {
        StopPlaybackByKey();
        return;
    }

    EventList &list = g_app.list;
    if (list.count >= ListCapacityRecords(&list)) {
        EndOfPass();
        return;
    }
    uint32_t now = PlatGetTickCount();
    uint32_t tickStart = now;
    // A timer that came early (or a stray one) only waits on.
    uint32_t early = s_due - now;
    if (int32_t(early) > 0 && early < BACKWARDS_STEP) {
        PlatSetTimer(timerId, early);
        return;
    }
    for (;;) {
        if (int32_t(now - s_due) > STALL_MS) s_due = now;
        ReplayRecord(list.records[list.count]);
        list.count++;
        if (MessageAt(list.count) == 0) {
            EndOfPass();
            return;
        }
        uint32_t step;
        if (PlaySpeed() != 1) {
            // Unsigned difference: a tick count that wrapped between the two
            // records still gives the true interval. The rate and the pause
            // limit shape it; the schedule stays one clock all the same.
            step = PacedWait(list.records[list.count].time - list.records[list.count - 1].time,
                             PlayRatePercent(), PlayMaxPauseMs(), &s_paceCarry);
        } else {
            // Of a run of moves only every sixth position and the run's last
            // move are worth showing; a drag keeps every move, one per tick.
            // The pauses between the shown moves count as their designed
            // length on the schedule, whatever the sleeps really took.
            bool moved = false;
            uint32_t slept = 0;
            while (!g_app.leftHeld && MessageAt(list.count) == WM_MOUSEMOVE) {
                if (list.count % 6 == 0 || MessageAt(list.count + 1) != WM_MOUSEMOVE) {
                    const EventRecord &r = list.records[list.count];
                    ReplayPointerMove(int32_t(r.paramL), int32_t(r.paramH));
                    PlatSleep(1);
                    slept++;
                    moved = true;
                }
                list.count++;
            }
            if (MessageAt(list.count) == 0) {
                EndOfPass();
                return;
            }
            step = slept + (moved ? FAST_AFTER_MOVES_MS : FAST_STEP_MS);
        }
        s_due += step;
        now = PlatGetTickCount();
        uint32_t wait = s_due - now;
        if (step >= BACKWARDS_STEP || (int32_t(wait) > 0 && wait < BACKWARDS_STEP)) {
            PlatSetTimer(timerId, wait);
            return;
        }
        // Fast speed keeps one step per tick, late or not: the desktop has
        // placed the pointer before the next button acts on it.
        if (PlaySpeed() == 1 || now - tickStart >= TICK_BUDGET_MS) {
            PlatSetTimer(timerId, 0);
            return;
        }
    }
}
