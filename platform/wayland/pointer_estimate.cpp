// The pointer's place where the desktop tells it to nobody (sway, river,
// labwc): the devices' relative motion added up from the last place known
// for sure, kept inside the outputs' box. The desktop itself scales the
// motion (pointer acceleration), which the devices do not show, so the
// estimate drifts with travel; a known place (the program's own move, the
// pointer over the toolbar, an edge it was pushed against) puts it right.
#include "pointer.h"
#include <cstdlib>

namespace {

int32_t g_boxX = 0, g_boxY = 0, g_boxW = 0, g_boxH = 0;
double g_x = 0, g_y = 0;
bool g_known = false; // a place has been known since the start
// Travel since the last known place, for the error bound.
int64_t g_travel = 0;

// The desktop's acceleration makes a fast flick travel up to about twice
// its device motion and a slow one about half: half the travel is what the
// estimate can be off by until the next known place.
constexpr int kErrorPerTravel = 2;

void Clamp() {
    if (g_boxW <= 0 || g_boxH <= 0) return;
    // The desktop stops the pointer at the layout's edges: pushed
    // against one, that coordinate is right again.
    double maxX = g_boxX + g_boxW - 1, maxY = g_boxY + g_boxH - 1;
    if (g_x < g_boxX) g_x = g_boxX;
    if (g_x > maxX) g_x = maxX;
    if (g_y < g_boxY) g_y = g_boxY;
    if (g_y > maxY) g_y = maxY;
}

bool Present() {
    return true;
}
bool Open() {
    return true;
}
void Close() {}

bool Query(int32_t *x, int32_t *y) {
    if (!g_known && g_boxW > 0) {
        // Nothing known yet: the middle of the layout is the least wrong.
        g_x = g_boxX + g_boxW / 2;
        g_y = g_boxY + g_boxH / 2;
        g_known = true;
        g_travel = (int64_t(g_boxW) + g_boxH) / 2 * kErrorPerTravel;
    }
    *x = int32_t(g_x);
    *y = int32_t(g_y);
    return true;
}

const char *Why() {
    return "";
}

} // namespace

void PointerEstimateBox(int32_t x, int32_t y, int32_t w, int32_t h) {
    g_boxX = x;
    g_boxY = y;
    g_boxW = w;
    g_boxH = h;
    Clamp();
}

void PointerEstimateMotion(int32_t dx, int32_t dy) {
    if (!g_known) {
        int32_t x, y;
        Query(&x, &y);
    }
    g_x += dx;
    g_y += dy;
    g_travel += std::abs(dx) + std::abs(dy);
    Clamp();
}

void PointerEstimateKnown(int32_t x, int32_t y) {
    g_x = x;
    g_y = y;
    g_known = true;
    g_travel = 0;
    Clamp();
}

int32_t PointerEstimateError() {
    int64_t e = g_travel / kErrorPerTravel;
    return e > 100000 ? 100000 : int32_t(e);
}

const PointerProvider kEstimatePointer = {"estimate", Present, Open, Close, Query, Why};
