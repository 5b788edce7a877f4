// The recording test double behind every platform header: scripted key,
// pointer and clock state; every injected event, timer, post, caption, box
// and dialog goes into one log that tests read. The message loop is simulated
// in virtual time: posted messages first, then the earliest due timer.
#pragma once
#include "../control.h"
#include "../ui.h"
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct FakeCall {
    std::string what; // "key", "mouse", "button", "setcursor", "settimer", "killtimer", "post",
                      // "close", "caption", "box", "choose", "menu", "repeatbox",
                      // "about", "url", "sleep", "listen", "unlisten", "send", "setkeyboardstate",
                      // "invalidate", "show", "create", "destroy", "graphics", "decorate", "quit"
    int64_t a = 0, b = 0, c = 0;
    std::string text, title;
    uint32_t tick = 0; // virtual clock when it happened
};

struct FakeTimer {
    uint32_t interval;
    uint32_t due;
};

struct FakePost {
    bool close; // MSG_CLOSE instead of MSG_COMMAND
    uint32_t wParam;
    int32_t lParam;
};

struct FakeState {
    uint32_t tick = 1000;
    uint8_t physical[256] = {};     // 1 while physically down (PlatGetAsyncKeyState)
    uint8_t pressedSince[256] = {}; // pressed since the last PlatGetAsyncKeyState of it
    uint8_t thread[256] = {};       // 0x80 down, 0x01 toggled (PlatGetKeyState)
    int32_t cursorX = 400, cursorY = 300;
    int32_t wheelDy = 0, wheelDx = 0; // turned since the last PlatTakeWheel
    int32_t screenW = 1024, screenH = 768;
    uint32_t foreground = 0x2222;
    uint32_t mainWindowId = 0x10001;
    uint32_t doubleClickTime = 500;
    uint32_t versionMajor = 6;
    int32_t dlgFrame = 3, smallCaption = 15;
    int32_t scale = 1;               // PlatToolbarScale
    PlatRect primary = {0, 0, 0, 0}; // PlatPrimaryMonitor; empty: the whole screen
    bool wayland = false;            // PlatWaylandSession
    // Reports every change to the recorder (RecordInputChange) while a
    // recording runs, instead of being polled; FakeKeyDown, FakeKeyUp,
    // FakeWheel and FakeMove report theirs.
    bool delivers = false;
    bool recording = false;                     // between PlatInputRecording(true) and (false)
    const char *recordingUnavailable = nullptr; // PlatRecordingUnavailable
    // PlatSetInputTimer arms (logged "inputtimer": id, soonest, latest; the
    // timer fires after latest); false: it arms nothing and says so.
    bool inputTimers = false;
    PlatRect windowRect = {0, 0, 0, 0};
    std::string caption;
    bool windowExists = false, visible = false, createFails = false;
    std::string modulePath; // PlatGetModuleFileName answer
    bool urlOk = true;

    std::deque<int> boxAnswers;             // PlatMessageBox / PlatRepeatCountBox (default 1)
    std::deque<std::string> fileAnswers;    // PlatChooseFileName ("" cancels; none left cancels)
    std::deque<std::string> repeatTyped;    // text left in the repeat field (none: unchanged)
    std::deque<uint32_t> menuAnswers;       // command chosen from the next menu (0: none)
    std::vector<PlatMenuItem> lastMenu;     // items of the last menu shown
    std::vector<std::string> lastMenuTexts; // their texts, kept past the call
    std::function<void(const std::string &title)> onModal; // runs inside every box/dialog/menu

    std::map<uint32_t, FakeTimer> timers;
    std::deque<FakePost> posted;
    std::multimap<uint32_t, std::function<void()>> script; // actions at virtual ticks
    bool quit = false;
    int quitCode = 0;
    // Virtual time every injection takes, as a real injection costs a little.
    uint32_t injectCostMs = 0;
    // Virtual time every input snapshot takes, the scan's own cost.
    uint32_t scanCostMs = 0;
    // PlatProcessStartTick; FakeReset makes it the tick of the reset.
    uint32_t processStartTick = 0;
    uint32_t loopLimitMs = 600000; // PlatRunMessageLoop gives up after this much virtual time

    // Commands from a second start and the check.
    PlatSendResult sendResult = SEND_NO_TOOLBAR; // PlatControlSend's answer
    std::string sendWhy;                         // and the fault it names
    bool listenOk = true;                        // PlatControlListen's answer
    std::function<void(CheckReport *)> check;    // PlatCheck (none: leaves "unknown")

    std::vector<FakeCall> log;
};

extern FakeState g_fake;

// Back to a fresh desktop (also resets the core's AppState).
void FakeReset();
// Key held / released by the user: physical state and the thread's table.
void FakeKeyDown(int vk);
void FakeKeyUp(int vk);
// The user turns the wheels (120 a notch); the turns add up until taken.
void FakeWheel(int32_t dy, int32_t dx);
// The user moves the pointer.
void FakeMove(int32_t x, int32_t y);
// Runs `action` when the virtual clock reaches `at`.
void FakeAt(uint32_t at, std::function<void()> action);
// Dispatches posted messages and due timers while virtual time runs for ms
// (stops early on quit). Returns the number of messages dispatched.
int FakeRunFor(uint32_t ms);
// Dispatches what is posted or due now, without moving the clock.
int FakeRunPending();
// Appends one entry, stamped with the virtual clock, for the caller to fill
// in further.
FakeCall &FakeLog(const char *what, int64_t a = 0, int64_t b = 0, int64_t c = 0);
// Log entries of one kind, in order.
std::vector<FakeCall> FakeLogOf(const std::string &what);
void FakeClearLog();
