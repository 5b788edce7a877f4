#include "appstate.h"
#include "eventlist.h"
#include <cstring>

AppState g_app;

void ResetAppState() {
    if (g_app.list.records) FreeBlock(g_app.list.records);
    std::memset(&g_app, 0, sizeof g_app);
    g_app.runState = Idle;
    g_app.repeatCount = 1;
    std::strcpy(g_app.repeatText, "1");
    g_app.tips = 1;
}
