#include "appstate.h"
#include "eventlist.h"
#include <cstring>

static void SetStartValues(AppState &s) {
    s.runState = Idle;
    s.repeatCount = 1;
    std::strcpy(s.repeatText, "1");
    s.tips = 1;
    s.ratePercent = 100;
    s.pauseLimitMs = DEFAULT_PAUSE_LIMIT_MS;
}

// The program starts with these values too, not only the tests: a process
// that never calls ResetAppState would play zero passes.
AppState g_app = [] {
    AppState s{};
    SetStartValues(s);
    return s;
}();

void ResetAppState() {
    if (g_app.list.records) FreeBlock(g_app.list.records);
    std::memset(&g_app, 0, sizeof g_app);
    SetStartValues(g_app);
}
