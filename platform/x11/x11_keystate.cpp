// Which virtual keys read as down. The recorder looks every 10 ms and
// takes one change per look, so a key tapped while another change takes
// the look (Shift before the key it shifts) would be pressed and released
// unseen. XInput 2 raw key events tell every press and release in order;
// while something scans the keys, they are handed out one step at a time,
// each step held until the codes it changed have been read.
#include "x11_keystate.h"
#include "x11_keymap.h"
#include <X11/extensions/XInput2.h>
#include <cstring>
#include <glib.h>

namespace {

constexpr int kQueueSize = 512;
struct Step {
    uint8_t code;
    uint8_t down;
};
Step g_queue[kQueueSize];
int g_head = 0, g_count = 0;
bool g_haveRaw = false;

uint8_t g_shown[256];  // per keycode: down as handed out
uint8_t g_unread[256]; // per virtual key: changed by the last step, not read yet
gint64 g_stepShown = 0;
gint64 g_lastScan = 0; // when a full scan of the keys last began

// A scanner (the recorder) reads the codes from 1 up every tick; without
// one there is nobody to hand the steps to.
constexpr gint64 kScanGap = 60 * 1000;
// A step nobody reads is let go after this long.
constexpr gint64 kStepLimit = 200 * 1000;

void Compute(bool numLock, uint8_t down[256]) {
    memset(down, 0, 256);
    for (int kc = 8; kc < 256; kc++) {
        if (!g_shown[kc]) continue;
        uint8_t vks[4];
        int n = X11KeymapVks(unsigned(kc), numLock, vks);
        for (int i = 0; i < n; i++)
            down[vks[i]] = 1;
    }
}

bool AnyUnread() {
    for (int vk = 0; vk < 256; vk++)
        if (g_unread[vk]) return true;
    return false;
}

} // namespace

void X11KeysOpen(bool haveRaw) {
    g_haveRaw = haveRaw;
}

void X11KeysRawEvent(int evtype, const XIRawEvent *ev) {
    if (ev->detail < 8 || ev->detail > 255) return;
    if (g_count == kQueueSize) {
        // Far behind: the next look starts again from the keyboard itself.
        g_count = -1;
        return;
    }
    if (g_count < 0) return;
    g_queue[(g_head + g_count) % kQueueSize] = {uint8_t(ev->detail),
                                                uint8_t(evtype == XI_RawKeyPress)};
    g_count++;
}

void X11KeysUpdate(const char keymap[32], bool numLock, uint8_t down[256]) {
    gint64 now = g_get_monotonic_time();
    bool paced = g_haveRaw && g_count > 0 && now - g_lastScan < kScanGap;
    if (paced && AnyUnread() && now - g_stepShown < kStepLimit) {
        Compute(numLock, down);
        return;
    }
    if (!paced) {
        // Nothing to catch up with: the keyboard as it is now.
        g_head = 0;
        g_count = 0;
        memset(g_unread, 0, sizeof g_unread);
        for (int kc = 0; kc < 256; kc++)
            g_shown[kc] = (keymap[kc >> 3] >> (kc & 7)) & 1;
        Compute(numLock, down);
        return;
    }
    uint8_t before[256];
    Compute(numLock, before);
    memset(g_unread, 0, sizeof g_unread);
    // Steps that change no code (a repeat, a key without one) go at once.
    while (g_count > 0) {
        Step s = g_queue[g_head];
        g_head = (g_head + 1) % kQueueSize;
        g_count--;
        g_shown[s.code] = s.down;
        Compute(numLock, down);
        bool changed = false;
        for (int vk = 0; vk < 256; vk++)
            if (down[vk] != before[vk]) {
                g_unread[vk] = 1;
                changed = true;
            }
        if (changed) break;
    }
    g_stepShown = now;
}

void X11KeysCatchUp() {
    g_count = -1;
}

void X11KeysRead(int vk) {
    if (vk == 1) g_lastScan = g_get_monotonic_time();
    if (vk > 0 && vk < 256) g_unread[vk] = 0;
}
