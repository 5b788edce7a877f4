// The toolbar window's procedure: which routine owns each message, command
// and timer. Everything that acts on a click or key is posted as a command
// first, so one table decides what every entry point does.
#include "../builder/builder.h"
#include "../engine/appstate.h"
#include "../engine/engine.h"
#include "../engine/eventlist.h"
#include "../engine/winconst.h"
#include "../platform/control.h"
#include "../platform/timer.h"
#include "../platform/ui.h"
#include "app.h"
#include "appcore.h"

int32_t ButtonDestX(int i) {
    return 21 * i + 5;
}

int32_t ButtonIndexAt(int32_t x) {
    int32_t index = (x - 2) / 21;
    if (index < 0) index = 0;
    if (index > 5) index = 5;
    return index;
}

int32_t ButtonSourceX(int i) {
    if (i == 2 && g_app.runState == Recording) return 96;
    return 16 * i;
}

// ---- commands ----
static void CmdOpen(uint32_t, int32_t) {
    OpenCommand();
}
static void CmdSave(uint32_t, int32_t) {
    SaveCommand();
}
static void CmdRecord(uint32_t wParam, int32_t) {
    RecordCommand(wParam);
}
static void CmdPlay(uint32_t wParam, int32_t) {
    PlayCommand(wParam);
}
static void CmdCompile(uint32_t, int32_t) {
    CompileCommand();
}
static void CmdOptions(uint32_t, int32_t) {
    ShowOptionsMenu();
}
static void CmdSetting(uint32_t wParam, int32_t) {
    SettingCommand(wParam & 0xFFFF);
}
static void CmdRepeat(uint32_t, int32_t) {
    RepeatCountCommand();
}
static void CmdHelp(uint32_t, int32_t) {
    HelpCommand();
}
static void CmdWebsite(uint32_t, int32_t lParam) {
    WebsiteCommand(lParam);
}
static void CmdAbout(uint32_t, int32_t) {
    AboutCommand();
}
static void CmdHotkey(uint32_t wParam, int32_t) {
    HotkeyChoiceCommand(wParam & 0xFFFF);
}
static void CmdRate(uint32_t wParam, int32_t) {
    RateCommand(wParam & 0xFFFF);
}
static void CmdRateOther(uint32_t, int32_t) {
    OtherRateCommand();
}
static void CmdPauseLimit(uint32_t, int32_t) {
    PauseLimitCommand();
}
static void CmdPauseLength(uint32_t, int32_t) {
    PauseLengthCommand();
}

typedef void (*CommandHandler)(uint32_t wParam, int32_t lParam);

// Indexed by command - ID_OPEN; the gap 0x8006..0x8009 belongs to nobody.
static const CommandHandler commandTable[] = {
    CmdOpen,   CmdSave,    CmdRecord, CmdPlay,      CmdCompile,    CmdOptions,     nullptr,
    nullptr,   nullptr,    nullptr,   CmdSetting,   CmdSetting,    CmdSetting,     CmdRepeat,
    CmdHelp,   CmdWebsite, CmdAbout,  CmdSetting,   CmdSetting,    CmdHotkey,      CmdHotkey,
    CmdHotkey, CmdHotkey,  CmdHotkey, CmdHotkey,    CmdHotkey,     CmdHotkey,      CmdRate,
    CmdRate,   CmdRate,    CmdRate,   CmdRateOther, CmdPauseLimit, CmdPauseLength,
};
static_assert(sizeof commandTable / sizeof commandTable[0] == ID_LAST_COMMAND - ID_OPEN + 1);

static void TellToolbarKeys(bool take) {
    uint8_t want = take ? 1 : 2;
    if (g_app.toolbarKeys == want) return;
    g_app.toolbarKeys = want;
    PlatToolbarTakesKeys(take);
}

void FollowRunStateWithKeys(bool first) {
    // A playback types into the window that has the focus: the toolbar
    // gives up the keyboard for as long as one runs or is on its way. The
    // start tells it first, once it knows whether it plays at once.
    if (!first && !g_app.toolbarKeys) return;
    TellToolbarKeys(g_app.runState != Playing && !g_app.playAsked);
}

static void DispatchCommand(uint32_t wParam, int32_t lParam) {
    uint32_t command = wParam & 0xFFFF;
    if (command < ID_OPEN || command > ID_LAST_COMMAND) return;
    CommandHandler handler = commandTable[command - ID_OPEN];
    // A playback's start lets go of held input before its handler returns:
    // a button let go over a toolbar that takes keys on a click would hand
    // it the keyboard, so it gives that up first.
    if (command == ID_PLAY && g_app.runState == Idle && g_app.toolbarKeys) TellToolbarKeys(false);
    if (handler) handler(wParam, lParam);
    FollowRunStateWithKeys();
    PollSoon();
}

// ---- timers ----
static void TimerRecord(uint32_t id) {
    PlatKillTimer(id);
    RecordTick(id);
}

static void TimerPlay(uint32_t id) {
    // Without a recording the tick would have nothing to walk; the timer
    // stays armed and fires again harmlessly.
    if (!g_app.list.records) return;
    PlatKillTimer(id);
    PlayTick(id);
}

static void TimerDecorate(uint32_t id) {
    DecorateTick(id);
}
static void TimerPoll(uint32_t) {
    PollTick();
}

static const struct {
    uint32_t id;
    void (*handler)(uint32_t id);
} timerTable[] = {
    {TIMER_RECORD, TimerRecord},
    {TIMER_PLAY, TimerPlay},
    {TIMER_ABOUT_DECORATE, TimerDecorate},
    {TIMER_REPEAT_DECORATE, TimerDecorate},
    {TIMER_POLL, TimerPoll},
};

static void DispatchTimer(uint32_t id) {
    for (auto &t : timerTable)
        if (t.id == id) {
            t.handler(id);
            return;
        }
}

// ---- window messages ----
static void OnCreate(uint32_t, int32_t) {
    PlatCreateGraphics();
    PlatSetTimer(TIMER_POLL, 50);
}

static void OnDestroy(uint32_t, int32_t) {
    PlatControlStop();
    SaveSettings();
    ClearEventList(&g_app.list);
    PlatDestroyGraphics();
    PollStop();
    PlatPostQuit(0);
}

// A recording or playback closed mid-way must not leave keys or buttons
// down after the program is gone.
static void OnClose(uint32_t, int32_t) {
    if (g_app.runState != Idle) {
        PlatKillTimer(TIMER_RECORD);
        PlatKillTimer(TIMER_PLAY);
        ReleaseAllInput();
        g_app.runState = Idle;
    }
    PlatDestroyMainWindow();
}

static void OnKeyDown(uint32_t wParam, int32_t) {
    if (wParam == 0x4F)
        PlatPostCommand(ID_OPEN, 0);
    else if (wParam == VK_RETURN)
        PlatPostCommand(ID_OPTIONS, 0);
}

static void OnCommand(uint32_t wParam, int32_t lParam) {
    DispatchCommand(wParam, lParam);
}
static void OnTimer(uint32_t wParam, int32_t) {
    DispatchTimer(wParam);
}
static void OnMouseMove(uint32_t, int32_t) {
    PlatSetHandCursor();
}

static void OnLButtonDown(uint32_t, int32_t lParam) {
    int32_t x = int32_t(uint32_t(lParam) & 0xFFFF);
    PlatPostCommand(ID_OPEN + uint32_t(ButtonIndexAt(x / PlatToolbarScale())), 0);
}

static const struct {
    uint32_t msg;
    void (*handler)(uint32_t wParam, int32_t lParam);
} messageTable[] = {
    {MSG_CREATE, OnCreate},       {MSG_DESTROY, OnDestroy},         {MSG_CLOSE, OnClose},
    {MSG_KEYDOWN, OnKeyDown},     {MSG_COMMAND, OnCommand},         {MSG_TIMER, OnTimer},
    {MSG_MOUSEMOVE, OnMouseMove}, {MSG_LBUTTONDOWN, OnLButtonDown},
};

void AppWindowProc(uint32_t msg, uint32_t wParam, int32_t lParam) {
    for (auto &m : messageTable)
        if (m.msg == msg) {
            m.handler(wParam, lParam);
            return;
        }
}
