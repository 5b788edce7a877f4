// The entry routine, the toolbar window and its painting. Every message the
// core owns goes to AppWindowProc; only the painting and the graphic objects
// are this file's own.
#include "../../app/app.h"
#include "../../app/appcore.h"
#include "../../engine/types.h"
#include "../../platform/ui.h"
#include "../../resources/hand_cursor.h"
#include "win32_backend.h"

HWND g_mainWindow;
HINSTANCE g_instance;
HCURSOR g_handCursor;
static HBITMAP s_strip, s_mask;

static const char CLASS_NAME[] = "QuorvaneClass";

// A 1-bit mask of the key-coloured pixels (white there, black elsewhere);
// the bitmap itself is turned black where it had the key colour, so the two
// blits of the painting let the background show through exactly there.
// Key colour 0 means the colour of the top-left pixel.
static HBITMAP MakeMaskBitmap(HBITMAP bitmap, COLORREF key) {
    if (!bitmap) return nullptr;
    HDC source = CreateCompatibleDC(nullptr);
    HDC maskDc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldSource = SelectObject(source, bitmap);
    BITMAP info = {};
    GetObjectA(bitmap, sizeof info, &info);
    HBITMAP mask = CreateBitmap(info.bmWidth, info.bmHeight, 1, 1, nullptr);
    HGDIOBJ oldMask = SelectObject(maskDc, mask);
    if (key == 0) key = GetPixel(source, 0, 0);
    SetBkColor(source, key);
    BitBlt(maskDc, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
    BitBlt(source, 0, 0, info.bmWidth, info.bmHeight, maskDc, 0, 0, SRCINVERT);
    SelectObject(maskDc, oldMask);
    SelectObject(source, oldSource);
    DeleteDC(maskDc);
    DeleteDC(source);
    return mask;
}

static void PaintButtons(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    HDC memory = CreateCompatibleDC(dc);
    // Whole steps of the monitor's DPI: each picture pixel becomes an s x s
    // block (COLORONCOLOR copies pixels, it never blends).
    int s = PlatToolbarScale();
    SetStretchBltMode(dc, COLORONCOLOR);
    for (int i = 0; i < 6; i++) {
        int sourceX = ButtonSourceX(i), destX = ButtonDestX(i) * s;
        HGDIOBJ old = SelectObject(memory, s_mask);
        StretchBlt(dc, destX, 5 * s, 16 * s, 16 * s, memory, sourceX, 0, 16, 16, SRCAND);
        SelectObject(memory, old);
        old = SelectObject(memory, s_strip);
        StretchBlt(dc, destX, 5 * s, 16 * s, 16 * s, memory, sourceX, 0, 16, 16, SRCPAINT);
        SelectObject(memory, old);
    }
    DeleteDC(memory);
    EndPaint(window, &ps);
}

// Moved to a monitor of another DPI: the suggested place, but the size of
// whole steps at the new DPI, not the proportional size suggested.
constexpr UINT WM_DPICHANGED_MSG = 0x02E0;
static void FollowDpi(HWND window, LPARAM lParam) {
    const RECT *at = reinterpret_cast<const RECT *>(lParam);
    int32_t w = 0, h = 0;
    MainWindowSize(&w, &h);
    SetWindowPos(window, nullptr, at->left, at->top, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window, nullptr, TRUE);
}

static LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        // Timers are set on the window while WM_CREATE runs, before
        // CreateWindowExA has returned the handle.
        g_mainWindow = window;
        Win32RawInputListen(window);
        [[fallthrough]];
    case WM_CLOSE:
    case WM_KEYDOWN:
    case WM_COMMAND:
    case WM_TIMER:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN: AppWindowProc(msg, uint32_t(wParam), int32_t(lParam)); break;
    case WM_DESTROY: AppWindowProc(msg, uint32_t(wParam), int32_t(lParam)); return 0;
    case WM_NCDESTROY:
        if (window == g_mainWindow) g_mainWindow = nullptr;
        break;
    case WM_INPUT: Win32RawInput(lParam); break;
    case WM_QUORVANE_CONTROL: return Win32ControlMessage(wParam);
    case WM_PAINT: PaintButtons(window); break;
    case WM_DPICHANGED_MSG: FollowDpi(window, lParam); break;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

bool PlatCreateMainWindow(int32_t x, int32_t y, int32_t w, int32_t h) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = 0;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = g_instance;
    wc.hIcon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_PROGRAM));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    wc.hbrBackground = HBRUSH(uintptr_t(COLOR_BTNFACE + 1));
    wc.lpszClassName = CLASS_NAME;
    if (!RegisterClassExA(&wc)) return false;
    HWND window =
        CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, CLASS_NAME, PROGRAM_NAME,
                        WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, x,
                        y, w, h, nullptr, nullptr, g_instance, nullptr);
    if (!window) return false;
    g_mainWindow = window;
    return true;
}

void PlatShowMainWindow(bool show) {
    ShowWindow(g_mainWindow, show ? SW_SHOW : SW_HIDE);
    UpdateWindow(g_mainWindow);
}

uint32_t PlatMainWindowId() {
    return uint32_t(uintptr_t(g_mainWindow));
}

void PlatPostQuit(int code) {
    PostQuitMessage(code);
}

void PlatDestroyMainWindow() {
    if (g_mainWindow) DestroyWindow(g_mainWindow);
}

void PlatPostCommand(uint32_t wParam, int32_t lParam) {
    PostMessageA(g_mainWindow, WM_COMMAND, wParam, lParam);
}

void PlatPostClose() {
    PostMessageA(g_mainWindow, WM_CLOSE, 0, 0);
}

void PlatSetCaption(const char *text) {
    SetWindowTextA(g_mainWindow, text);
}

void PlatGetCaption(char *buf, uint32_t size) {
    if (!size) return;
    buf[0] = 0;
    GetWindowTextA(g_mainWindow, buf, int(size));
}

void PlatInvalidate() {
    InvalidateRect(g_mainWindow, nullptr, TRUE);
}

void PlatGetWindowRect(PlatRect *r) {
    RECT rc = {};
    GetWindowRect(g_mainWindow, &rc);
    *r = PlatRect{rc.left, rc.top, rc.right, rc.bottom};
}

uint32_t PlatGetVersionMajor() {
    return GetVersion() & 0xFF;
}

void PlatCreateGraphics() {
    g_handCursor = CreateCursor(g_instance, HAND_HOTSPOT_X, HAND_HOTSPOT_Y, HAND_CURSOR_SIZE,
                                HAND_CURSOR_SIZE, HAND_CURSOR_AND, HAND_CURSOR_XOR);
    s_strip = HBITMAP(
        LoadImageA(g_instance, MAKEINTRESOURCEA(IDB_STRIP), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    s_mask = MakeMaskBitmap(s_strip, 0);
}

void PlatDestroyGraphics() {
    if (g_handCursor) DestroyCursor(g_handCursor);
    g_handCursor = nullptr;
    if (s_strip) DeleteObject(s_strip);
    s_strip = nullptr;
    if (s_mask) DeleteObject(s_mask);
    s_mask = nullptr;
}

void PlatSetHandCursor() {
    SetCursor(g_handCursor);
}

// A program of the window subsystem has no console of its own: the answer
// goes where its output was sent, else to the console it was started from,
// else into a box.
void PlatCommandLineMessage(const char *text, bool error) {
    HANDLE out = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    bool console = false;
    if ((!out || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
        console = true;
    }
    if (out && out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        bool ok = true;
        // Line by line with the console's own line ends.
        for (const char *p = text; *p && ok;) {
            const char *end = p;
            while (*end && *end != '\n')
                end++;
            ok = WriteFile(out, p, DWORD(end - p), &written, nullptr) &&
                 WriteFile(out, "\r\n", 2, &written, nullptr);
            p = *end ? end + 1 : end;
        }
        if (console) CloseHandle(out);
        if (ok) return;
    }
    MessageBoxA(nullptr, text, PROGRAM_NAME, MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

// The entry routine: our own split of the command line, not the runtime's,
// and no show-state from the starter (the core shows or hides the window).
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_instance = instance;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int code = AppMain(ArgumentText(GetCommandLineA()));
    ExitProcess(UINT(code));
}
