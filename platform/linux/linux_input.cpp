// The input services of platform/input.h on Linux: each one calls the
// backend chosen at start. A call before the choice goes to X11, the
// backend the program had before there was a choice.
#include "linux_input.h"
#include "../input.h"
#include <cstdlib>
#include <cstring>
#include <gtk/gtk.h>

namespace {

const LinuxInput *g_backend = &kX11Input;
bool g_open = false;
LinuxSession g_wanted = SESSION_X11;

} // namespace

bool LinuxInputOpen() {
    if (g_open) return true;
    const char *override = std::getenv("QUORVANE_SESSION");
    g_wanted =
        LinuxSessionOf(override, std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE"));
    const LinuxInput *first = g_wanted == SESSION_WAYLAND ? &kWaylandInput : &kX11Input;
    const LinuxInput *second = first == &kX11Input ? &kWaylandInput : &kX11Input;
    bool named = override && (!strcasecmp(override, "x11") || !strcasecmp(override, "wayland"));
    const LinuxInput *order[2] = {first, second};
    for (const LinuxInput *b : order) {
        if (b == second && named) break;
        if (b->open()) {
            g_backend = b;
            g_open = true;
            return true;
        }
    }
    return false;
}

bool LinuxInputIsOpen() {
    return g_open;
}

void LinuxInputClose() {
    if (g_open) g_backend->close();
    g_open = false;
}

const LinuxInput &LinuxInputBackend() {
    return *g_backend;
}

LinuxSession LinuxSessionWanted() {
    return g_wanted;
}

bool LinuxTracing() {
    static const bool on = std::getenv("QV_TRACE") != nullptr;
    return on;
}

bool PlatInputRecording(bool on) {
    return g_backend->inputRecording(on);
}

const char *PlatRecordingUnavailable() {
    return g_backend->recordingUnavailable();
}

void PlatInputSnapshot() {
    g_backend->snapshot();
}

int16_t PlatGetAsyncKeyState(int vk) {
    return g_backend->getAsyncKeyState(vk);
}

int16_t PlatGetKeyState(int vk) {
    return g_backend->getKeyState(vk);
}

void PlatSetKeyboardState(const uint8_t table[256]) {
    g_backend->setKeyboardState(table);
}

uint32_t PlatMapVirtualKey(uint32_t vk) {
    return g_backend->mapVirtualKey(vk);
}

void PlatGetCursorPos(int32_t *x, int32_t *y) {
    g_backend->getCursorPos(x, y);
}

uint32_t PlatGetForegroundWindow() {
    return g_backend->getForegroundWindow();
}

void PlatKeybdEvent(uint8_t vk, uint8_t scan, uint32_t flags) {
    if (LinuxTracing()) g_printerr("key %#x %#x %u\n", vk, scan, flags);
    g_backend->keybdEvent(vk, scan, flags);
}

void PlatMouseEvent(uint32_t flags, uint32_t dx, uint32_t dy) {
    if (LinuxTracing()) g_printerr("mouse %#x %u %u\n", flags, dx, dy);
    g_backend->mouseEvent(flags, dx, dy);
}

void PlatMouseButtonEvent(uint32_t flags, uint32_t data) {
    if (LinuxTracing()) g_printerr("button %#x %u\n", flags, data);
    g_backend->mouseButtonEvent(flags, data);
}

void PlatTakeWheel(int32_t *dy, int32_t *dx) {
    g_backend->takeWheel(dy, dx);
}

void PlatSetCursorPos(int32_t x, int32_t y) {
    g_backend->setCursorPos(x, y);
}

int32_t PlatScreenWidth() {
    return g_backend->screenWidth();
}

int32_t PlatScreenHeight() {
    return g_backend->screenHeight();
}

uint32_t PlatGetDoubleClickTime() {
    gint ms = 400;
    GtkSettings *settings = gtk_settings_get_default();
    if (settings) g_object_get(settings, "gtk-double-click-time", &ms, nullptr);
    return ms > 0 ? uint32_t(ms) : 400u;
}
