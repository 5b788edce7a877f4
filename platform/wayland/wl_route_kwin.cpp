// Placeholder until the kwin route is written: it never opens, so the next
// route is tried.
#include "wl_route.h"

namespace {

bool Open() {
    return false;
}
void Close() {}
void Key(uint32_t, bool) {}
void Motion(int32_t, int32_t) {}
void Button(uint32_t, bool) {}
void Axis(bool, int32_t) {}
void Flush() {}
const char *Why() {
    return "not built in";
}

} // namespace

const WlRoute kKwinRoute = {"kwin", Open, Close, Key, Motion, Button, Axis, Flush, Why};
