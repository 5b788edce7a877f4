// The clock, the main window's timers, posted messages and the message loop
// on GLib's default main context. Every source may run again while one of
// its own callbacks is inside a nested loop (a menu, box or dialog), the way
// a modal loop on the other desktop keeps dispatching the window's timers
// and posted commands.
#include "../../app/app.h"
#include "../../engine/types.h"
#include "../timer.h"
#include "../ui.h"
#include "../linux/linux_input.h"
#include "gtk_backend.h"
#include <deque>
#include <glib.h>
#include <map>

namespace {

struct Post {
    uint32_t msg;
    uint32_t wParam;
    int32_t lParam;
};

std::map<uint32_t, GSource *> g_timers; // timer id -> its live source
// Timers that fire on input: id -> the earliest tick they may fire at.
std::map<uint32_t, uint32_t> g_onInput;
std::deque<Post> g_posts;
GSource *g_postSource = nullptr;
GMainLoop *g_loop = nullptr;
int g_quitCode = 0;
bool g_quit = false;

gboolean TimerFired(gpointer data) {
    uint32_t id = GPOINTER_TO_UINT(data);
    GSource *self = g_main_current_source();
    g_onInput.erase(id); // fired: an input timer's wait is over
    AppWindowProc(MSG_TIMER, id, 0);
    // Killed or re-armed by the handler: this source is finished.
    auto it = g_timers.find(id);
    return it != g_timers.end() && it->second == self ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

gboolean PostReady(gpointer) {
    if (g_posts.empty()) {
        g_source_unref(g_postSource);
        g_postSource = nullptr;
        return G_SOURCE_REMOVE;
    }
    Post p = g_posts.front();
    g_posts.pop_front();
    if (LinuxTracing()) g_printerr("post %#x %#x %d\n", p.msg, p.wParam, p.lParam);
    AppWindowProc(p.msg, p.wParam, p.lParam);
    return G_SOURCE_CONTINUE;
}

void Enqueue(uint32_t msg, uint32_t wParam, int32_t lParam) {
    g_posts.push_back({msg, wParam, lParam});
    if (g_postSource) return;
    // Above the timers and the window system's events: a posted command
    // runs before any timer that is already due.
    g_postSource = g_idle_source_new();
    g_source_set_priority(g_postSource, G_PRIORITY_HIGH);
    g_source_set_can_recurse(g_postSource, TRUE);
    g_source_set_callback(g_postSource, PostReady, nullptr, nullptr);
    g_source_attach(g_postSource, nullptr);
}

// The input connection: the loop wakes when its socket has something, or
// when events were read along with a reply and wait in its queue, which
// the socket no longer shows.
struct InputSource {
    GSource base;
    gpointer fd;
};

gboolean InputPrepare(GSource *, gint *timeout) {
    *timeout = -1;
    return LinuxInputBackend().queued();
}

gboolean InputCheck(GSource *src) {
    auto *in = reinterpret_cast<InputSource *>(src);
    return (g_source_query_unix_fd(src, in->fd) & G_IO_IN) || LinuxInputBackend().queued();
}

gboolean InputDispatch(GSource *, GSourceFunc, gpointer) {
    if (LinuxInputBackend().dispatch()) InputArrived();
    return G_SOURCE_CONTINUE;
}

GSourceFuncs g_inputFuncs = {InputPrepare, InputCheck, InputDispatch, nullptr, nullptr, nullptr};
GSource *g_inputSource = nullptr;

void WatchInput() {
    int fd = LinuxInputBackend().fd();
    if (g_inputSource || fd < 0) return;
    g_inputSource = g_source_new(&g_inputFuncs, sizeof(InputSource));
    auto *in = reinterpret_cast<InputSource *>(g_inputSource);
    in->fd = g_source_add_unix_fd(g_inputSource, fd, GIOCondition(G_IO_IN | G_IO_ERR | G_IO_HUP));
    // Menus and boxes run loops of their own: input is taken there too.
    g_source_set_can_recurse(g_inputSource, TRUE);
    g_source_attach(g_inputSource, nullptr);
}

} // namespace

void InputArrived() {
    if (g_onInput.empty()) return;
    auto waiting = g_onInput;
    g_onInput.clear();
    uint32_t now = PlatGetTickCount();
    for (auto &w : waiting) {
        int32_t left = int32_t(w.second - now);
        PlatSetTimer(w.first, left > 0 ? uint32_t(left) : 0);
    }
}

uint32_t PlatGetTickCount() {
    return uint32_t(uint64_t(g_get_monotonic_time()) / 1000u);
}

// Taken while the program's static data is set up, before main.
static const uint32_t s_processStart = PlatGetTickCount();

uint32_t PlatProcessStartTick() {
    return s_processStart;
}

void PlatSleep(uint32_t ms) {
    g_usleep(gulong(ms) * 1000);
}

void PlatSetTimer(uint32_t id, uint32_t ms) {
    PlatKillTimer(id);
    GSource *src = g_timeout_source_new(ms);
    g_source_set_can_recurse(src, TRUE);
    g_source_set_callback(src, TimerFired, GUINT_TO_POINTER(id), nullptr);
    g_source_attach(src, nullptr);
    g_timers[id] = src;
}

bool PlatSetInputTimer(uint32_t id, uint32_t soonest, uint32_t latest) {
    if (!LinuxInputBackend().follows()) return false;
    if (latest)
        PlatSetTimer(id, latest);
    else
        PlatKillTimer(id);
    g_onInput[id] = PlatGetTickCount() + soonest;
    return true;
}

void PlatKillTimer(uint32_t id) {
    g_onInput.erase(id);
    auto it = g_timers.find(id);
    if (it == g_timers.end()) return;
    g_source_destroy(it->second);
    g_source_unref(it->second);
    g_timers.erase(it);
}

bool PlatTimerArmed(uint32_t id) {
    return g_timers.count(id) != 0;
}

void PlatPostCommand(uint32_t wParam, int32_t lParam) {
    Enqueue(MSG_COMMAND, wParam, lParam);
}

void PlatPostClose() {
    Enqueue(MSG_CLOSE, 0, 0);
}

int PlatRunMessageLoop() {
    if (g_quit) return g_quitCode;
    WatchInput();
    g_loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(g_loop);
    g_main_loop_unref(g_loop);
    g_loop = nullptr;
    return g_quitCode;
}

void PlatPostQuit(int code) {
    g_quitCode = code;
    g_quit = true;
    for (auto &t : g_timers) {
        g_source_destroy(t.second);
        g_source_unref(t.second);
    }
    g_timers.clear();
    g_onInput.clear();
    // The window is gone: what was posted to it goes nowhere.
    g_posts.clear();
    if (g_loop) g_main_loop_quit(g_loop);
}
