// Commands to the running toolbar on Windows: the sender finds the toolbar
// window by its class and sends it the verb. A compiled copy's hidden window
// has the same class, so only a window that carries the control mark takes
// commands. The send waits for the toolbar's answer (with a time-out, so a
// hung toolbar cannot hang the sender): delivered means taken.
#include "../../app/app.h"
#include "../control.h"
#include "win32_backend.h"
#include <cstdio>
#include <cstring>

namespace {

const char CONTROL_MARK[] = "QuorvaneControl";

} // namespace

bool PlatControlListen() {
    return g_mainWindow && SetPropA(g_mainWindow, CONTROL_MARK, HANDLE(1));
}

void PlatControlStop() {
    if (g_mainWindow) RemovePropA(g_mainWindow, CONTROL_MARK);
}

PlatSendResult PlatControlSend(uint32_t verb, char *why, uint32_t whySize) {
    if (whySize) why[0] = 0;
    HWND toolbar = nullptr;
    while ((toolbar = FindWindowExA(nullptr, toolbar, "QuorvaneClass", nullptr)))
        if (GetPropA(toolbar, CONTROL_MARK)) break;
    if (!toolbar) return SEND_NO_TOOLBAR;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(toolbar, WM_QUORVANE_CONTROL, verb, 0, SMTO_ABORTIFHUNG, 5000,
                             &answer)) {
        std::snprintf(why, whySize, "the toolbar did not answer");
        return SEND_FAILED;
    }
    if (answer != 1) {
        std::snprintf(why, whySize, "the toolbar did not take it");
        return SEND_FAILED;
    }
    return SEND_DELIVERED;
}

LRESULT Win32ControlMessage(WPARAM verb) {
    // Known verbs are answered before they act: a playback's start waits
    // for the bound keys to come up, and the sender need not wait with it.
    if (ControlVerbName(uint32_t(verb))[0] == 0) return 0;
    ReplyMessage(1);
    AppControlCommand(uint32_t(verb));
    return 1;
}

void PlatCheck(CheckReport *r) {
    auto set = [](CheckLine *l, const char *text) {
        l->works = true;
        std::snprintf(l->text, sizeof l->text, "%s", text);
        l->advice[0] = 0;
    };
    DWORD version = GetVersion();
    char text[200];
    std::snprintf(text, sizeof text, "windows %lu.%lu", version & 0xFF, (version >> 8) & 0xFF);
    set(&r->session, text);
    set(&r->playback, "SendInput, into every window of this desktop");
    set(&r->recording, "keys and buttons polled from the system");
    POINT p = {};
    GetCursorPos(&p);
    std::snprintf(text, sizeof text, "%ld,%ld (system)", long(p.x), long(p.y));
    set(&r->pointer, text);
    set(&r->hotkeys, "polled from the system");
}
