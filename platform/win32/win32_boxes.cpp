// Message boxes, the file dialogs, the options popup and the two boxes that
// get a control of ours placed into them once they are on screen.
#include "../../engine/types.h"
#include "../../platform/ui.h"
#include "win32_backend.h"
#include <commdlg.h>
#include <shellapi.h>

int PlatMessageBox(const char *text, const char *title, uint32_t flags, bool unowned) {
    return MessageBoxA(unowned ? nullptr : g_mainWindow, text, title, flags);
}

static const char RECORDINGS_FILTER[] = "Recording Files (*.rec)\0*.rec\0All Files (*.*)\0*.*\0";
static const char PROGRAMS_FILTER[] = "Program Files (*.exe)\0*.exe\0All Files (*.*)\0*.*\0";

int PlatChooseFileName(char *buf, PlatFilter filter, int mode) {
    OPENFILENAMEA ofn = {};
    // The plain record without the later extension fields; nothing here
    // needs them.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = (g_mainWindow && IsWindow(g_mainWindow)) ? g_mainWindow : GetForegroundWindow();
    ofn.lpstrFilter = filter == FILTER_PROGRAMS ? PROGRAMS_FILTER : RECORDINGS_FILTER;
    ofn.lpstrFile = buf;
    ofn.nMaxFile = 256;
    // The default name doubles as the folder the dialog starts in.
    ofn.lpstrInitialDir = buf;
    BOOL chosen;
    if (mode == 1) {
        ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_LONGNAMES;
        chosen = GetOpenFileNameA(&ofn);
    } else {
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_LONGNAMES;
        chosen = GetSaveFileNameA(&ofn);
    }
    if (!chosen) {
        buf[0] = 0;
        return 0;
    }
    return 1;
}

void PlatTrackMenu(const PlatMenuItem *items, int n, int32_t x, int32_t y) {
    // Submenus nest; the captions wait until their submenu is complete.
    HMENU stack[8];
    const char *captions[8];
    int depth = 0;
    stack[0] = CreatePopupMenu();
    for (int i = 0; i < n; i++) {
        const PlatMenuItem &item = items[i];
        switch (item.kind) {
        case MENU_ITEM:
            AppendMenuA(stack[depth], MF_STRING | (item.checked ? MF_CHECKED : MF_UNCHECKED),
                        item.command, item.text);
            break;
        case MENU_SEPARATOR: AppendMenuA(stack[depth], MF_SEPARATOR, 0, nullptr); break;
        case MENU_SUBMENU_BEGIN:
            if (depth + 1 < 8) {
                stack[++depth] = CreatePopupMenu();
                captions[depth] = item.text;
            }
            break;
        case MENU_SUBMENU_END:
            if (depth > 0) {
                AppendMenuA(stack[depth - 1], MF_POPUP, UINT_PTR(stack[depth]), captions[depth]);
                depth--;
            }
            break;
        }
    }
    // A submenu left open by the caller still belongs in the menu.
    for (; depth > 0; depth--)
        AppendMenuA(stack[depth - 1], MF_POPUP, UINT_PTR(stack[depth]), captions[depth]);
    // The choice is posted to the window as a command.
    TrackPopupMenu(stack[0], 0, x, y, 0, g_mainWindow, nullptr);
    DestroyMenu(stack[0]);
}

// ---- the two decorated boxes ----
// What the box search places, set while the box is on screen.
static char *s_repeatText;
static const char *s_repeatTitle;
static bool s_decimal; // the field takes a decimal point too
static const char *s_aboutTitle;
static const char *s_linkText;

static LRESULT CALLBACK RepeatEditProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = WNDPROC(GetWindowLongPtrA(window, GWLP_USERDATA));
    // The field dies with its box, before MessageBoxA returns: take its text
    // now.
    if (msg == WM_DESTROY && s_repeatText) GetWindowTextA(window, s_repeatText, 31);
    // A number with a point cannot use the digits-only style: the other
    // characters are turned away here. Control characters (Backspace, the
    // clipboard keys) pass.
    if (msg == WM_CHAR && s_decimal && wParam >= 32 && wParam != '.' &&
        (wParam < '0' || wParam > '9')) {
        MessageBeep(MB_OK);
        return 0;
    }
    if (previous) return CallWindowProcA(previous, window, msg, wParam, lParam);
    return DefWindowProcA(window, msg, wParam, lParam);
}

// Painted and clicked here; the STATIC procedure never sees a message, so
// the default hit test makes the link clickable without SS_NOTIFY.
static LRESULT CALLBACK LinkProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_MOUSEMOVE: SetCursor(g_handCursor); break;
    case WM_LBUTTONDOWN:
        PostMessageA(g_mainWindow, WM_COMMAND, GetWindowLongPtrA(window, GWLP_ID) & 0xFFFF, 1);
        break;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT rc;
        GetClientRect(window, &rc);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, 0xFF0000);
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        char text[64];
        GetWindowTextA(window, text, 64);
        UINT format = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS;
        if (IsWindow(window) && (GetWindowLongPtrA(window, GWL_STYLE) & SS_CENTER))
            format |= DT_CENTER;
        DrawTextA(dc, text, -1, &rc, format);
        EndPaint(window, &ps);
        return 1;
    }
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

static int NumberBox(const char *text, const char *title, uint32_t flags, char repeatText[32],
                     bool decimal) {
    s_repeatText = repeatText;
    s_repeatTitle = title;
    s_decimal = decimal;
    int result = MessageBoxA(g_mainWindow, text, title, flags);
    s_repeatText = nullptr;
    s_repeatTitle = nullptr;
    s_decimal = false;
    return result;
}

int PlatRepeatCountBox(const char *text, const char *title, uint32_t flags, char repeatText[32]) {
    return NumberBox(text, title, flags, repeatText, false);
}

int PlatNumberBox(const char *text, const char *title, uint32_t flags, char numberText[32]) {
    return NumberBox(text, title, flags, numberText, true);
}

void PlatAboutBox(const char *text, const char *title, uint32_t flags, const char *linkText) {
    s_aboutTitle = title;
    s_linkText = linkText;
    MSGBOXPARAMSA params = {};
    params.cbSize = sizeof params;
    params.hwndOwner = g_mainWindow;
    params.hInstance = g_instance;
    params.lpszText = text;
    params.lpszCaption = title;
    params.dwStyle = flags;
    params.lpszIcon = MAKEINTRESOURCEA(IDI_PROGRAM);
    MessageBoxIndirectA(&params);
    s_aboutTitle = nullptr;
    s_linkText = nullptr;
}

bool PlatDecorateBox(uint32_t timerId) {
    bool about = timerId == TIMER_ABOUT_DECORATE;
    const char *title = about ? s_aboutTitle : s_repeatTitle;
    if (!title) return true; // no box of ours is waiting for its control
    HWND box = FindWindowExA(nullptr, nullptr, nullptr, title);
    if (!box) return false;
    RECT rc = {};
    GetClientRect(box, &rc);
    bool modern = PlatGetVersionMajor() >= 6;
    int y = about ? (modern ? 30 : 15) : (modern ? 60 : 45);
    HWND control;
    if (about)
        control = CreateWindowExA(
            WS_EX_TOPMOST, "STATIC", s_linkText, WS_CHILD | WS_VISIBLE | SS_CENTER, 75, y,
            rc.right - rc.left - 150, 20, box, HMENU(uintptr_t(ID_WEBSITE)), g_instance, nullptr);
    else
        control =
            CreateWindowExA(WS_EX_TOPMOST, "EDIT", s_repeatText,
                            WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP |
                                (s_decimal ? 0 : ES_NUMBER) | ES_AUTOHSCROLL,
                            75, y, rc.right - rc.left - 150, 20, box, nullptr, g_instance, nullptr);
    if (!control) return true; // the box shows without it
    SendMessageA(control, WM_SETFONT, WPARAM(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    SetWindowLongPtrA(control, GWLP_USERDATA, GetWindowLongPtrA(control, GWLP_WNDPROC));
    SetWindowLongPtrA(control, GWLP_WNDPROC, LONG_PTR(about ? LinkProc : RepeatEditProc));
    ShowWindow(control, SW_SHOW);
    UpdateWindow(control);
    InvalidateRect(box, nullptr, TRUE);
    InvalidateRect(control, nullptr, TRUE);
    if (!about) {
        SendMessageA(control, EM_SETSEL, 0, -1);
        SetFocus(control);
    }
    return true;
}

bool PlatOpenUrl(const char *url) {
    return INT_PTR(ShellExecuteA(nullptr, nullptr, url, nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}
