// Drives one playback route directly, for the route tests and timings:
// route_probe ROUTE reads lines from stdin and sends them through the route.
//   k CODE 0|1    key up/down (evdev)      b CODE 0|1  button up/down
//   m X Y         move (logical)           a AXIS V120 wheel
//   s MS          sleep                    f           flush
// Prints "open ROUTE: WHY" first (exit 2 when the route does not open), and
// at the end "calls N first-call-ms F then us-per-call F" for the calls made.
#include "../../../platform/wayland/wl_route.h"
#include <chrono>
#include <cstdio>
#include <cstring>
#include <glib.h>
#include <thread>

int main(int argc, char **argv) {
    if (argc < 2) return 1;
    const WlRoute *route = nullptr;
    for (const WlRoute *r : {&kMutterRoute, &kKwinRoute})
        if (std::strcmp(r->name, argv[1]) == 0) route = r;
    if (!route) return 1;
    auto t0 = std::chrono::steady_clock::now();
    bool ok = route->open();
    auto t1 = std::chrono::steady_clock::now();
    std::printf("open %s %s %.1f ms: %s\n", route->name, ok ? "ok" : "failed",
                std::chrono::duration<double, std::milli>(t1 - t0).count(), route->why());
    std::fflush(stdout);
    if (!ok) return 2;
    char line[128];
    long calls = 0;
    double spent = 0, first = 0; // the first call waits for new devices to settle
    while (std::fgets(line, sizeof line, stdin)) {
        char op = 0;
        double a = 0, b = 0;
        if (std::sscanf(line, " %c %lf %lf", &op, &a, &b) < 1) continue;
        auto s = std::chrono::steady_clock::now();
        switch (op) {
        case 'k': route->key(uint32_t(a), b != 0); break;
        case 'b': route->button(uint32_t(a), b != 0); break;
        case 'm': route->motion(int32_t(a), int32_t(b)); break;
        case 'a': route->axis(a != 0, int32_t(b)); break;
        case 'f': route->flush(); break;
        case 's':
            route->flush();
            // Replies and signals of the route arrive through the main loop.
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(long(a)));
            continue;
        default: continue;
        }
        double us =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - s).count();
        if (calls++ == 0)
            first = us;
        else
            spent += us;
    }
    route->flush();
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    std::printf("calls %ld first-call-ms %.1f then us-per-call %.1f why: %s\n", calls, first / 1000,
                calls > 1 ? spent / double(calls - 1) : 0.0, route->why());
    route->close();
    return 0;
}
