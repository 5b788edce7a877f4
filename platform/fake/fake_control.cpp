#include "../control.h"
#include "fake.h"
#include <cstdio>

bool PlatControlListen() {
    FakeLog("listen", g_fake.listenOk);
    return g_fake.listenOk;
}

void PlatControlStop() {
    FakeLog("unlisten");
}

PlatSendResult PlatControlSend(uint32_t verb, char *why, uint32_t whySize) {
    FakeLog("send", verb, g_fake.sendResult);
    std::snprintf(why, whySize, "%s", g_fake.sendWhy.c_str());
    return g_fake.sendResult;
}

void PlatCheck(CheckReport *report) {
    if (g_fake.check) g_fake.check(report);
}
