// A window that writes down every key, button, wheel turn and pointer
// position it receives, one line each: "<tick> <kind> <a> <b>". Positions
// are in screen pixels; a turn ("wheel", "hwheel") has its signed delta in
// a; a typed character is "char <UTF-16 unit> 0" (the window is a Unicode
// one, so the layout's characters arrive whatever the code page).
// Usage: qvtarget LOGFILE X Y W H [SECONDS]
#include <windows.h>
#include <cstdio>
#include <cstdlib>

static FILE *s_log;
static POINT s_lastMove = {-1, -1};

static void Log(const char *kind, long a, long b) {
    std::fprintf(s_log, "%lu %s %ld %ld\n", GetTickCount(), kind, a, b);
    std::fflush(s_log);
}

static POINT ScreenPoint(HWND window, LPARAM lParam) {
    POINT p = {short(LOWORD(lParam)), short(HIWORD(lParam))};
    ClientToScreen(window, &p);
    return p;
}

static LRESULT CALLBACK TargetProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    const char *button = nullptr;
    switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: Log("keydown", long(wParam), (lParam >> 16) & 0x1FF); return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP: Log("keyup", long(wParam), (lParam >> 16) & 0x1FF); return 0;
    case WM_CHAR: Log("char", long(wParam), 0); return 0;
    case WM_LBUTTONDOWN: button = "ldown"; break;
    case WM_LBUTTONUP: button = "lup"; break;
    case WM_RBUTTONDOWN: button = "rdown"; break;
    case WM_RBUTTONUP: button = "rup"; break;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
        Log(msg == WM_MOUSEWHEEL ? "wheel" : "hwheel", GET_WHEEL_DELTA_WPARAM(wParam), 0);
        return 0;
    case WM_MBUTTONDOWN: button = "mdown"; break;
    case WM_MBUTTONUP: button = "mup"; break;
    case WM_XBUTTONDOWN: button = HIWORD(wParam) == XBUTTON2 ? "x2down" : "x1down"; break;
    case WM_XBUTTONUP: button = HIWORD(wParam) == XBUTTON2 ? "x2up" : "x1up"; break;
    case WM_MOUSEMOVE: {
        POINT p = ScreenPoint(window, lParam);
        if (p.x != s_lastMove.x || p.y != s_lastMove.y) Log("move", p.x, p.y);
        s_lastMove = p;
        return 0;
    }
    case WM_TIMER: DestroyWindow(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    if (button) {
        POINT p = ScreenPoint(window, lParam);
        Log(button, p.x, p.y);
        // A side button's message is taken only when it answers TRUE.
        return msg == WM_XBUTTONDOWN || msg == WM_XBUTTONUP;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}

int main(int argc, char **argv) {
    if (argc < 6) return 2;
    s_log = std::fopen(argv[1], "w");
    if (!s_log) return 2;
    int seconds = argc > 6 ? std::atoi(argv[6]) : 60;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = TargetProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.hbrBackground = HBRUSH(uintptr_t(COLOR_WINDOW + 1));
    wc.lpszClassName = L"QvTargetClass";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"QvTarget", WS_POPUP | WS_VISIBLE,
                                  std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                                  std::atoi(argv[5]), nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return 3;
    SetTimer(window, 1, UINT(seconds) * 1000, nullptr);
    Log("ready", 0, 0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    std::fclose(s_log);
    return 0;
}
