// Picks the running desktop's way to the pointer. Where that way is not set
// up (the GNOME extension not enabled yet), the estimate stands in, and the
// check says what to do.
#include "pointer.h"
#include <glib.h>

namespace {

const PointerProvider *const kProviders[] = {&kHyprlandPointer, &kGnomePointer, &kKwinPointer};

const PointerProvider *g_picked = nullptr; // the desktop's own way
bool g_open = false;                       // and it works
PointerMovedFn g_moved = nullptr;

} // namespace

void PointerOpen(PointerMovedFn moved) {
    PointerClose();
    g_moved = moved;
    g_picked = &kEstimatePointer;
    for (const PointerProvider *p : kProviders)
        if (p->present()) {
            g_picked = p;
            break;
        }
    g_open = g_picked->open();
}

void PointerClose() {
    if (g_picked && g_open) g_picked->close();
    g_picked = nullptr;
    g_open = false;
    g_moved = nullptr;
}

bool PointerQuery(int32_t *x, int32_t *y, bool *exact) {
    if (g_picked && g_open && g_picked != &kEstimatePointer && g_picked->query(x, y)) {
        *exact = true;
        // Also the estimate's start, should the desktop stop answering.
        PointerEstimateKnown(*x, *y);
        return true;
    }
    *exact = false;
    return kEstimatePointer.query(x, y);
}

const char *PointerSourceName() {
    return g_picked ? g_picked->name : kEstimatePointer.name;
}

const char *PointerWhy() {
    if (!g_picked) return "";
    return g_open ? "" : g_picked->why();
}

void PointerReportMove(int32_t x, int32_t y) {
    PointerEstimateKnown(x, y);
    if (g_moved) g_moved(x, y, uint64_t(g_get_monotonic_time()));
}
