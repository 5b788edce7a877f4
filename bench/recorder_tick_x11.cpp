// What one recorder tick costs on a real X server (run it under Xvfb or a
// desktop): the whole tick of the core over the X11 backend, in four
// situations: nothing changes, the pointer moves every tick (one record per
// tick, with the foreground window look-up), the wheel turns every tick, and
// a key is held. Also the
// backend's snapshot alone, which is the floor of every scan. Prints the
// numbers; nothing is judged here.
#include "../engine/appstate.h"
#include "../engine/engine.h"
#include "../engine/eventlist.h"
#include "../platform/input.h"
#include "../platform/x11/x11_backend.h"
#include "../platform/x11/x11_conn.h"
#include "../platform/x11/x11_keymap.h"
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <gtk/gtk.h>
#include <vector>

using Clock = std::chrono::steady_clock;

struct Stats {
    double median, p95, max;
};

static Stats Summarise(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 95 / 100], us.back()};
}

template <class F> static Stats Measure(int rounds, F &&f) {
    std::vector<double> us;
    us.reserve(size_t(rounds));
    for (int i = 0; i < rounds; i++) {
        auto t0 = Clock::now();
        f(i);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    return Summarise(us);
}

static void Report(const char *what, Stats s) {
    std::printf("%-40s median %7.1f us   p95 %7.1f us   max %8.1f us\n", what, s.median, s.p95,
                s.max);
}

static void StartRecordingState() {
    ResetAppState();
    g_app.runState = Recording;
    GrowEventList(&g_app.list);
    PlatInputSnapshot();
    for (int vk = 1; vk <= 254; vk++)
        g_app.keySnapshot[vk] = PlatGetKeyState(vk) < 0 ? 1 : 0;
}

int main(int argc, char **argv) {
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv) || !X11InputOpen()) {
        std::printf("recorder tick bench: no X display, skipped\n");
        return 0;
    }
    const int rounds = 2000;
    Display *d = XOpenDisplay(nullptr);

    Report("snapshot (keymap + pointer)", Measure(rounds, [](int) { PlatInputSnapshot(); }));
    // Paid at start and whenever the map, the keyboard or the group changes
    // (a program binding a spare keycode, a layout switch).
    Report("keyboard map read (xkbcommon-x11)",
           Measure(200, [](int) { X11KeymapBuild(X11Conn()); }));

    StartRecordingState();
    Report("record tick, nothing changes", Measure(rounds, [](int) { RecordTick(1001); }));
    uint32_t idleRecords = g_app.list.count;

    StartRecordingState();
    Report("record tick, pointer moves every tick", Measure(rounds, [d](int i) {
               // The move is made by another connection, as a user's would be.
               XTestFakeMotionEvent(d, -1, 100 + (i % 500), 100 + (i % 300), CurrentTime);
               XSync(d, False);
               RecordTick(1001);
           }));
    uint32_t moveRecords = g_app.list.count;

    StartRecordingState();
    Report("record tick, the wheel turns every tick", Measure(rounds, [d](int i) {
               unsigned button = i % 2 ? 5 : 4;
               XTestFakeButtonEvent(d, button, True, CurrentTime);
               XTestFakeButtonEvent(d, button, False, CurrentTime);
               XSync(d, False);
               RecordTick(1001);
           }));
    uint32_t wheelRecords = g_app.list.count;

    StartRecordingState();
    KeyCode shift = XKeysymToKeycode(d, XK_Shift_L);
    XTestFakeKeyEvent(d, shift, True, CurrentTime);
    XSync(d, False);
    Report("record tick, a key held", Measure(rounds, [](int) { RecordTick(1001); }));
    XTestFakeKeyEvent(d, shift, False, CurrentTime);
    XSync(d, False);

    std::printf("records taken: idle %u of %d ticks, moving %u of %d ticks, wheel %u of %d ticks\n",
                idleRecords, rounds, moveRecords, rounds, wheelRecords, rounds);
    std::printf("a tick every 10 ms: the idle tick's median is %.2f%% of the interval\n",
                Measure(200, [](int) { RecordTick(1001); }).median / 100.0);
    ClearEventList(&g_app.list);
    XCloseDisplay(d);
    return 0;
}
