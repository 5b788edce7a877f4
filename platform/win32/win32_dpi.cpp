// Monitors and scale on Windows. The manifest declares per-monitor DPI
// awareness (v2), so every coordinate is a physical pixel on every monitor;
// the toolbar follows its monitor's DPI in whole steps, so its 16-pixel
// pictures are doubled, never smeared.
#include "../../platform/ui.h"
#include "win32_backend.h"

namespace {

using DpiForWindowFn = UINT(WINAPI *)(HWND);
using DpiForSystemFn = UINT(WINAPI *)();
using MetricsForDpiFn = int(WINAPI *)(int, UINT);

// Looked up at run time: desktops before these calls existed, and Wine
// builds without them, still start the program at 96 dpi metrics.
template <typename Fn> Fn User32(const char *name) {
    HMODULE user = GetModuleHandleA("user32.dll");
    return user ? reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(user, name)))
                : nullptr;
}

UINT CurrentDpi() {
    static DpiForWindowFn forWindow = User32<DpiForWindowFn>("GetDpiForWindow");
    static DpiForSystemFn forSystem = User32<DpiForSystemFn>("GetDpiForSystem");
    UINT dpi = 0;
    if (g_mainWindow && forWindow) dpi = forWindow(g_mainWindow);
    if (!dpi && forSystem) dpi = forSystem();
    if (!dpi) {
        HDC screen = GetDC(nullptr);
        dpi = UINT(GetDeviceCaps(screen, LOGPIXELSX));
        ReleaseDC(nullptr, screen);
    }
    return dpi ? dpi : 96;
}

int Metric(int index) {
    static MetricsForDpiFn forDpi = User32<MetricsForDpiFn>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, CurrentDpi()) : GetSystemMetrics(index);
}

} // namespace

int32_t PlatToolbarScale() {
    // 150% stays at 1, 175% and up doubles: the nearest whole step, with a
    // half step rounded down so a 150% desktop keeps the compact toolbar.
    int32_t scale = int32_t((CurrentDpi() + 47) / 96);
    return scale < 1 ? 1 : scale;
}

void PlatFrameMetrics(int32_t *dlgFrame, int32_t *smallCaption) {
    *dlgFrame = Metric(SM_CXDLGFRAME);
    *smallCaption = Metric(SM_CYSMCAPTION);
}

void PlatPrimaryMonitor(PlatRect *r) {
    // The primary monitor is the one at the origin, the size the screen
    // metrics give.
    *r = PlatRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

bool PlatWaylandSession() {
    return false;
}

void PlatToolbarTakesKeys(bool) {
    // A click activates the toolbar and the recording's first click moves
    // the focus on, as it always has here.
}
