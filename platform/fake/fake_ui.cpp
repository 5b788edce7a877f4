#include "../../app/app.h"
#include "../../engine/types.h"
#include "fake.h"
#include "../ui.h"
#include <cstring>

static void Modal(const char *title) {
    if (g_fake.onModal) g_fake.onModal(title ? title : "");
}

bool PlatCreateMainWindow(int32_t x, int32_t y, int32_t w, int32_t h) {
    FakeLog("create", x, y).c = (int64_t(w) << 16) | h;
    if (g_fake.createFails) return false;
    g_fake.windowExists = true;
    g_fake.windowRect = PlatRect{x, y, x + w, y + h};
    g_fake.caption = PROGRAM_NAME;
    AppWindowProc(MSG_CREATE, 0, 0);
    return true;
}

void PlatShowMainWindow(bool show) {
    g_fake.visible = show;
    FakeLog("show", show);
}

uint32_t PlatMainWindowId() {
    return g_fake.mainWindowId;
}

int PlatRunMessageLoop() {
    uint32_t start = g_fake.tick;
    while (!g_fake.quit && g_fake.tick - start < g_fake.loopLimitMs)
        FakeRunFor(50);
    return g_fake.quitCode;
}

void PlatPostQuit(int code) {
    g_fake.quit = true;
    g_fake.quitCode = code;
    FakeLog("quit", code);
}

void PlatDestroyMainWindow() {
    if (!g_fake.windowExists) return;
    FakeLog("destroy");
    AppWindowProc(MSG_DESTROY, 0, 0);
    g_fake.windowExists = false;
    g_fake.timers.clear();
}

void PlatPostCommand(uint32_t wParam, int32_t lParam) {
    g_fake.posted.push_back(FakePost{false, wParam, lParam});
    FakeLog("post", wParam, lParam);
}

void PlatPostClose() {
    g_fake.posted.push_back(FakePost{true, 0, 0});
    FakeLog("close");
}

void PlatSetCaption(const char *text) {
    g_fake.caption = text;
    FakeLog("caption").text = text;
}

void PlatGetCaption(char *buf, uint32_t size) {
    if (!size) return;
    std::strncpy(buf, g_fake.caption.c_str(), size - 1);
    buf[size - 1] = 0;
}

void PlatInvalidate() {
    FakeLog("invalidate");
}

void PlatGetWindowRect(PlatRect *r) {
    *r = g_fake.windowRect;
}

void PlatFrameMetrics(int32_t *dlgFrame, int32_t *smallCaption) {
    *dlgFrame = g_fake.dlgFrame;
    *smallCaption = g_fake.smallCaption;
}

int32_t PlatToolbarScale() {
    return g_fake.scale;
}

void PlatPrimaryMonitor(PlatRect *r) {
    const PlatRect &p = g_fake.primary;
    bool empty = p.right <= p.left || p.bottom <= p.top;
    *r = empty ? PlatRect{0, 0, g_fake.screenW, g_fake.screenH} : p;
}

bool PlatWaylandSession() {
    return g_fake.wayland;
}

uint32_t PlatGetVersionMajor() {
    return g_fake.versionMajor;
}

void PlatCreateGraphics() {
    FakeLog("graphics", 1);
}
void PlatDestroyGraphics() {
    FakeLog("graphics", 0);
}
void PlatSetHandCursor() {
    FakeLog("handcursor");
}

int PlatMessageBox(const char *text, const char *title, uint32_t flags, bool unowned) {
    FakeCall &c = FakeLog("box", flags, unowned);
    c.text = text ? text : "";
    c.title = title ? title : "";
    Modal(title);
    int r = 1;
    if (!g_fake.boxAnswers.empty()) {
        r = g_fake.boxAnswers.front();
        g_fake.boxAnswers.pop_front();
    }
    return r;
}

int PlatChooseFileName(char *buf, PlatFilter filter, int mode) {
    FakeCall &c = FakeLog("choose", filter, mode);
    c.text = buf;
    Modal("");
    std::string answer;
    if (!g_fake.fileAnswers.empty()) {
        answer = g_fake.fileAnswers.front();
        g_fake.fileAnswers.pop_front();
    }
    std::strncpy(buf, answer.c_str(), 255);
    buf[255] = 0;
    return answer.empty() ? 0 : 1;
}

void PlatTrackMenu(const PlatMenuItem *items, int n, int32_t x, int32_t y) {
    FakeLog("menu", x, y, n);
    g_fake.lastMenuTexts.clear();
    for (int i = 0; i < n; i++)
        g_fake.lastMenuTexts.push_back(items[i].text ? items[i].text : "");
    g_fake.lastMenu.assign(items, items + n);
    for (int i = 0; i < n; i++)
        g_fake.lastMenu[size_t(i)].text = g_fake.lastMenuTexts[size_t(i)].c_str();
    Modal("");
    if (!g_fake.menuAnswers.empty()) {
        uint32_t cmd = g_fake.menuAnswers.front();
        g_fake.menuAnswers.pop_front();
        if (cmd) PlatPostCommand(cmd, 0);
    }
}

static int NumberBox(const char *kind, const char *text, const char *title, uint32_t flags,
                     char repeatText[32]) {
    FakeCall &c = FakeLog(kind, flags);
    c.text = text;
    c.title = title;
    g_fake.log.back().b = 0;
    FakeCall shown = g_fake.log.back();
    shown.what = "repeatfield";
    shown.text = repeatText;
    g_fake.log.push_back(shown);
    Modal(title);
    if (!g_fake.repeatTyped.empty()) {
        std::strncpy(repeatText, g_fake.repeatTyped.front().c_str(), 30);
        repeatText[30] = 0;
        g_fake.repeatTyped.pop_front();
    }
    int r = 1;
    if (!g_fake.boxAnswers.empty()) {
        r = g_fake.boxAnswers.front();
        g_fake.boxAnswers.pop_front();
    }
    return r;
}

int PlatRepeatCountBox(const char *text, const char *title, uint32_t flags, char repeatText[32]) {
    return NumberBox("repeatbox", text, title, flags, repeatText);
}

int PlatNumberBox(const char *text, const char *title, uint32_t flags, char numberText[32]) {
    return NumberBox("numberbox", text, title, flags, numberText);
}

void PlatAboutBox(const char *text, const char *title, uint32_t flags, const char *linkText) {
    FakeCall &c = FakeLog("about", flags);
    c.text = text;
    c.title = title;
    FakeCall link = c;
    link.what = "aboutlink";
    link.text = linkText;
    g_fake.log.push_back(link);
    Modal(title);
}

bool PlatDecorateBox(uint32_t timerId) {
    FakeLog("decorate", timerId);
    return true;
}

bool PlatOpenUrl(const char *url) {
    FakeLog("url", g_fake.urlOk).text = url;
    return g_fake.urlOk;
}

void PlatCommandLineMessage(const char *text, bool error) {
    FakeLog("cmdline", error).text = text;
}

void PlatToolbarTakesKeys(bool take) {
    FakeLog("takekeys", take);
}
