// The recorder. Where the backend reports each change of the input as it
// happens (RecordInputChange), every change becomes its records at once,
// stamped with the change's own time, and nothing runs while nothing
// happens. Elsewhere a 10 ms one-shot timer compares every key with the
// last state it saw and takes at most one event per tick: a key change
// first, then a turn of the wheel, a pointer move only when neither.
#include "../platform/input.h"
#include "../platform/timer.h"
#include "appstate.h"
#include "engine.h"
#include "eventlist.h"
#include "winconst.h"
#include <cstring>

static const uint32_t RECORD_INTERVAL_MS = 10;
// Tick at which the next sample is due: the samples keep a 10 ms grid of
// their own, whatever each tick's scan costs.
static uint32_t s_sampleDue;
// Wheel turns taken from the backend but not yet recorded: a tick that
// records a key, or the other wheel, leaves them for a later tick.
static int32_t s_wheelDy, s_wheelDx;
// Whether a record with the pointer's place has been taken yet.
static bool s_placeTaken;
// Whether the backend reports the changes of the running recording itself.
static bool s_delivered;
// The last stamp given out to a reported change.
static uint32_t s_lastStamp;

void ShowIdleCaption() {
    PlatSetCaption(g_app.recordingName[0] ? g_app.recordingName : PROGRAM_NAME);
}

static void StartRecording() {
    g_app.runState = Recording;
    ClearEventList(&g_app.list);
    PlatGetCursorPos(&g_app.lastMoveX, &g_app.lastMoveY);
    // The release just cleared the thread's table, so this snapshot is
    // (nearly) all up; the ticks compare it with the physical state and so
    // record every key that is still held as a press.
    PlatInputSnapshot();
    // (The release also read away the marks of keys pressed since the last
    // look: a press from before the start is no tap of this recording.)
    for (int vk = 1; vk <= 254; vk++)
        g_app.keySnapshot[vk] = PlatGetKeyState(vk) < 0 ? 1 : 0;
    // Turns from before the start belong to no recording.
    int32_t dy = 0, dx = 0;
    PlatTakeWheel(&dy, &dx);
    s_wheelDy = s_wheelDx = 0;
    s_placeTaken = false;
    g_app.startTick = PlatGetTickCount();
    s_lastStamp = g_app.startTick;
    s_delivered = PlatInputRecording(true);
    if (s_delivered) {
        // The first look: a key still held now goes in as pressed at the
        // start, as the first tick would take it.
        RecordInputChange(g_app.startTick);
    } else {
        s_sampleDue = g_app.startTick + RECORD_INTERVAL_MS;
        PlatSetTimer(TIMER_RECORD, RECORD_INTERVAL_MS);
    }
    PlatInvalidate();
}

// No more reported changes are taken: the releases a stop injects are the
// program's, not the user's.
static void EndDelivery() {
    if (!s_delivered) return;
    s_delivered = false;
    PlatInputRecording(false);
}

// Drops a stop click on the toolbar and everything after it. Record 0 is
// never looked at, so a recording is never emptied by this.
static void TrimStopClick(EventList *list) {
    uint32_t i = list->count ? list->count - 1 : 0;
    while (i > 0) {
        const EventRecord &r = list->records[i];
        if (r.message == 0) break;
        if (r.message == WM_LBUTTONDOWN && r.hwnd == g_app.mainWindow) break;
        i--;
    }
    if (i > 0) list->count = i;
}

int HotkeyChordKeys(uint8_t choice, uint8_t letter, uint8_t keys[4]) {
    switch (choice) {
    case HOTKEY_CSA:
        keys[0] = letter;
        keys[1] = VK_CONTROL;
        keys[2] = VK_SHIFT;
        keys[3] = VK_MENU;
        return 4;
    case HOTKEY_PRTSC: keys[0] = VK_SNAPSHOT; return 1;
    case HOTKEY_F8: keys[0] = VK_F8; return 1;
    case HOTKEY_F12: keys[0] = VK_F12; return 1;
    default: return 0;
    }
}

// A key of the record hotkey, or the left/right twin of one: the recorder
// takes the generic modifier first and its twin a tick later.
static bool IsRecordChordKey(uint32_t vk) {
    static const struct {
        uint8_t generic, left, right;
    } twins[] = {{VK_CONTROL, VK_LCONTROL, VK_RCONTROL},
                 {VK_SHIFT, VK_LSHIFT, VK_RSHIFT},
                 {VK_MENU, VK_LMENU, VK_RMENU}};
    uint8_t keys[4];
    int n = HotkeyChordKeys(g_app.recordHotkey, 'R', keys);
    for (int i = 0; i < n; i++) {
        if (vk == keys[i]) return true;
        for (auto &t : twins)
            if (keys[i] == t.generic && (vk == t.left || vk == t.right)) return true;
    }
    return false;
}

// Drops the record hotkey's keys that the recorder took before the poll saw
// the chord, and the moves made while it was held. The run is cut from its
// first chord key; moves before that stay. A chord typed earlier, followed
// by anything else, stays too. Record 0 is never looked at.
static void TrimStopChord(EventList *list) {
    uint32_t cut = list->count;
    for (uint32_t i = list->count; i > 1; i--) {
        const EventRecord &r = list->records[i - 1];
        bool key = r.message == WM_KEYDOWN || r.message == WM_KEYUP;
        if (key && IsRecordChordKey(r.paramL & 0xFF))
            cut = i - 1;
        else if (r.message != WM_MOUSEMOVE)
            break;
    }
    list->count = cut;
}

static void Terminate(EventList *list) {
    if (list->count < ListCapacityRecords(list))
        std::memset(&list->records[list->count], 0, sizeof(EventRecord));
}

// What every stop shares: the timer ends, the state is Idle and the caption
// names the recording again.
static void StopCommon() {
    EndDelivery();
    PlatKillTimer(TIMER_RECORD);
    g_app.runState = Idle;
    ShowIdleCaption();
}

void RecordCommand(uint32_t wParam) {
    if (g_app.runState == Recording && s_delivered) {
        // What the user did up to the stop still goes in.
        PlatInputSnapshot();
        EndDelivery();
    }
    ReleaseAllInput();
    if (g_app.runState == Idle) {
        // Where the user must first allow the reading of the input, the
        // box says how, and no recording starts.
        if (const char *why = PlatRecordingUnavailable()) {
            PlatMessageBox(why, PROGRAM_NAME,
                           MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST);
            return;
        }
        StartRecording();
        return;
    }
    if (g_app.runState == Playing) {
        // While playing, count is the play position, not a fresh
        // recording's length: there is nothing to trim or terminate then.
        StopPlayback();
        PlatInvalidate();
        return;
    }
    StopCommon();
    if (g_app.list.records) {
        if ((wParam >> 16) != 0) TrimStopChord(&g_app.list);
        TrimStopClick(&g_app.list);
        Terminate(&g_app.list);
    }
    PlatInvalidate();
}

// No memory for more records: the recording ends here with everything
// taken so far. The last growth left at least 100 free records, so the
// terminator still fits.
static void StopOnFullList() {
    EndDelivery();
    ReleaseAllInput();
    StopCommon();
    if (g_app.list.records) Terminate(&g_app.list);
    PlatInvalidate();
}

// The next key whose state differs from the snapshot, taken into it; 0 when
// every key reads as the snapshot has it. Code 255 is never looked at. A key
// pressed and let go since the last look (a tick came late on a busy
// machine) reads as down once, so its release comes at the next look: a
// quick tap is not lost between two ticks.
static int NextKeyChange(bool *down) {
    for (int vk = 1; vk <= 254; vk++) {
        int16_t state = PlatGetAsyncKeyState(vk);
        uint8_t now = state < 0 || ((state & 1) && !g_app.keySnapshot[vk]) ? 1 : 0;
        if (now != g_app.keySnapshot[vk]) {
            g_app.keySnapshot[vk] = now;
            *down = now != 0;
            return vk;
        }
    }
    return 0;
}

// The record of a key or button change; false for left Shift, which shows
// up under the generic Shift code first and only updates the snapshot.
static bool KeyRecord(int vk, bool down, int32_t x, int32_t y, EventRecord *rec) {
    if (vk == VK_LSHIFT) return false;
    if (vk == VK_LBUTTON || vk == VK_RBUTTON) {
        if (vk == VK_LBUTTON)
            rec->message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        else
            rec->message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        rec->paramL = uint32_t(x);
        rec->paramH = uint32_t(y);
        return true;
    }
    uint32_t scan = PlatMapVirtualKey(uint32_t(vk));
    rec->message = down ? WM_KEYDOWN : WM_KEYUP;
    rec->paramL = scan * 256 + uint32_t(vk);
    rec->paramH = scan;
    return true;
}

static void TakeMove(int32_t x, int32_t y, EventRecord *rec) {
    g_app.lastMoveX = x;
    g_app.lastMoveY = y;
    rec->message = WM_MOUSEMOVE;
    rec->paramL = uint32_t(x);
    rec->paramH = uint32_t(y);
}

// When no key changed: one turn of the wheel, else a move, else nothing
// (rec->message stays 0).
static void WheelOrMove(int32_t x, int32_t y, EventRecord *rec) {
    if ((s_wheelDy || s_wheelDx) && !s_placeTaken && x != 0 && y != 0) {
        // The wheel acts where the pointer is, so the recording first
        // takes where that is; it also keeps the file one the loader
        // accepts when the wheel is the first thing done.
        TakeMove(x, y, rec);
    } else if (s_wheelDy || s_wheelDx) {
        // One wheel a record, all its turns since the last record of it;
        // it acts where the pointer is, so no position is kept.
        int32_t &turn = s_wheelDy ? s_wheelDy : s_wheelDx;
        rec->message = s_wheelDy ? WM_MOUSEWHEEL : WM_MOUSEHWHEEL;
        rec->paramL = uint32_t(turn);
        turn = 0;
    } else if (x != 0 && y != 0 && (x != g_app.lastMoveX || y != g_app.lastMoveY)) {
        // Every position that differs from the last one taken is a move;
        // the screen's top and left edges are not taken.
        TakeMove(x, y, rec);
    }
}

static void TakeWheelTurns() {
    int32_t dy = 0, dx = 0;
    PlatTakeWheel(&dy, &dx);
    s_wheelDy = AddTurn(s_wheelDy, dy);
    s_wheelDx = AddTurn(s_wheelDx, dx);
}

// Fills in the foreground window and the stamp and appends; the list has
// room (the caller grew it).
static void Append(EventRecord rec, uint32_t stamp) {
    // Moves and buttons carry the pointer's place.
    if (rec.message >= WM_MOUSEMOVE && rec.message <= WM_RBUTTONUP) s_placeTaken = true;
    rec.hwnd = PlatGetForegroundWindow();
    rec.time = stamp;
    g_app.list.records[g_app.list.count++] = rec;
}

void RecordInputChange(uint32_t tick) {
    static bool inside;
    if (g_app.runState != Recording || !s_delivered || inside) return;
    inside = true;
    // Stamps never go back: the backend may map each from a clock of its
    // own, and the player waits the difference of two stamps.
    if (int32_t(tick - s_lastStamp) < 0) tick = s_lastStamp;
    s_lastStamp = tick;
    int32_t x = 0, y = 0;
    PlatGetCursorPos(&x, &y);
    TakeWheelTurns();
    // Every key that differs, in code order: a modifier and then its
    // left/right twin come from one press.
    bool keyed = false, full = false;
    bool down = false;
    while (!full) {
        int vk = NextKeyChange(&down);
        if (!vk) break;
        EventRecord rec = {};
        if (!KeyRecord(vk, down, x, y, &rec)) continue;
        if (!GrowEventList(&g_app.list)) {
            full = true;
            break;
        }
        Append(rec, tick);
        keyed = true;
    }
    // As in a tick, a key change takes no move: a backend reports a move
    // and a press that came together as two changes, the move first.
    while (!keyed && !full) {
        EventRecord rec = {};
        WheelOrMove(x, y, &rec);
        if (!rec.message) break;
        if (!GrowEventList(&g_app.list)) {
            full = true;
            break;
        }
        Append(rec, tick);
    }
    inside = false;
    if (full) StopOnFullList();
}

void RecordTick(uint32_t timerId) {
    PlatInputSnapshot();
    if (!GrowEventList(&g_app.list)) {
        StopOnFullList();
        return;
    }
    bool down = false;
    int changed = NextKeyChange(&down);
    int32_t x = 0, y = 0;
    PlatGetCursorPos(&x, &y);
    TakeWheelTurns();

    // One record a tick: a key change first, then a turn of the wheel, a
    // move only when neither.
    EventRecord rec = {};
    if (!(changed && KeyRecord(changed, down, x, y, &rec))) WheelOrMove(x, y, &rec);
    if (rec.message) Append(rec, PlatGetTickCount());
    // The next slot of the grid that is still ahead; slots a slow tick
    // missed are skipped, not sampled in a burst.
    uint32_t now = PlatGetTickCount();
    if (now - s_sampleDue > 1000u && int32_t(now - s_sampleDue) > 0) s_sampleDue = now;
    while (int32_t(s_sampleDue - now) <= 0)
        s_sampleDue += RECORD_INTERVAL_MS;
    PlatSetTimer(timerId, s_sampleDue - now);
}
