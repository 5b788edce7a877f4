// Drives the program under test from outside: finds its windows, reads
// their text and children, posts messages and dismisses boxes. Prints what
// it found on stdout; exit code 0 when the window was there.
//   qvdriver wait CLASS|- TITLE|- TIMEOUT_MS    caption and class of the window
//   qvdriver gone CLASS|- TITLE|- TIMEOUT_MS    0 once no such window exists
//   qvdriver children CLASS|- TITLE|- TIMEOUT_MS every child: class id rect text
//   qvdriver post CLASS|- TITLE|- MSG WPARAM LPARAM
//   qvdriver settext CLASS|- TITLE|- CHILDCLASS TEXT
//   qvdriver press CLASS|- TITLE|- BUTTONID     a click on a box button
//   qvdriver list                               every top-level window
//   qvdriver type VK...                         each key pressed and released
//   qvdriver chord VK...                        keys held together, then let go
//   qvdriver click [BUTTON]                     a click where the pointer is: left
//                                               (default), right, middle, x1, x2
//   qvdriver held                               every key and button down (hex codes)
//   qvdriver wheel V|hV...                      wheel turns (h: the horizontal one)
//   qvdriver move X Y                           the pointer moved there
//   qvdriver cursor X Y                         places the pointer
//   qvdriver wininfo CLASS|- TITLE|- TIMEOUT_MS visible flag and window rect
//   qvdriver origin CLASS|- TITLE|- TIMEOUT_MS  client area: screen x, y, width, height
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char *Arg(const char *s) {
    return std::strcmp(s, "-") == 0 ? nullptr : s;
}

static HWND WaitFor(const char *cls, const char *title, int timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND w = FindWindowExA(nullptr, nullptr, cls, title);
        if (w) return w;
        if (int(GetTickCount() - start) >= timeoutMs) return nullptr;
        Sleep(20);
    }
}

static BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    char cls[64] = "", text[256] = "";
    GetClassNameA(child, cls, sizeof cls);
    // GetWindowTextA reads only the caption of another process's window;
    // a control's own text needs the message.
    DWORD_PTR got = 0;
    SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, LPARAM(text), SMTO_ABORTIFHUNG, 2000, &got);
    RECT rc;
    GetWindowRect(child, &rc);
    POINT tl = {rc.left, rc.top};
    ScreenToClient(GetParent(child), &tl);
    std::printf("%s|%ld|%ld|%ld|%ld|%ld|", cls, long(GetDlgCtrlID(child)), tl.x, tl.y,
                rc.right - rc.left, rc.bottom - rc.top);
    // One line per control: line breaks and backslashes in the text are
    // written as C escapes.
    for (const char *p = text; *p; p++) {
        if (*p == '\n')
            std::fputs("\\n", stdout);
        else if (*p == '\r')
            std::fputs("\\r", stdout);
        else if (*p == '\\')
            std::fputs("\\\\", stdout);
        else
            std::putchar(*p);
    }
    std::putchar('\n');
    return TRUE;
}

static BOOL CALLBACK PrintTop(HWND w, LPARAM) {
    char cls[64] = "", text[256] = "";
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, text, sizeof text);
    std::printf("%s|%d|%s\n", cls, IsWindowVisible(w) ? 1 : 0, text);
    return TRUE;
}

struct Search {
    const char *cls;
    HWND found;
};

static BOOL CALLBACK FindDescendant(HWND child, LPARAM param) {
    Search *s = reinterpret_cast<Search *>(param);
    char cls[64] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, s->cls) != 0) return TRUE;
    s->found = child;
    return FALSE;
}

int main(int argc, char **argv) {
    if (argc < 2) return 2;
    // Physical pixels, the ones the program under test works in: at a
    // desktop scale, an unaware driver would be handed scaled ones.
    SetProcessDPIAware();
    const char *cmd = argv[1];
    if (!std::strcmp(cmd, "list")) {
        EnumWindows(PrintTop, 0);
        return 0;
    }
    if (!std::strcmp(cmd, "cursor") && argc == 4) {
        SetCursorPos(std::atoi(argv[2]), std::atoi(argv[3]));
        return 0;
    }
    // Input as a user gives it: each key pressed and let go, a left click
    // where the pointer is, a pointer move.
    if (!std::strcmp(cmd, "type")) {
        for (int i = 2; i < argc; i++) {
            BYTE vk = BYTE(std::strtoul(argv[i], nullptr, 0));
            BYTE scan = BYTE(MapVirtualKeyA(vk, 0));
            keybd_event(vk, scan, 0, 0);
            Sleep(60);
            keybd_event(vk, scan, KEYEVENTF_KEYUP, 0);
            Sleep(60);
        }
        return 0;
    }
    if (!std::strcmp(cmd, "chord")) {
        for (int i = 2; i < argc; i++) {
            BYTE vk = BYTE(std::strtoul(argv[i], nullptr, 0));
            keybd_event(vk, BYTE(MapVirtualKeyA(vk, 0)), 0, 0);
            Sleep(30);
        }
        Sleep(150);
        for (int i = argc - 1; i >= 2; i--) {
            BYTE vk = BYTE(std::strtoul(argv[i], nullptr, 0));
            keybd_event(vk, BYTE(MapVirtualKeyA(vk, 0)), KEYEVENTF_KEYUP, 0);
            Sleep(30);
        }
        return 0;
    }
    static const struct {
        const char *name;
        int vk;
        DWORD down, up, data;
    } buttons[] = {{"left", VK_LBUTTON, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, 0},
                   {"right", VK_RBUTTON, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, 0},
                   {"middle", VK_MBUTTON, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 0},
                   {"x1", VK_XBUTTON1, MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, XBUTTON1},
                   {"x2", VK_XBUTTON2, MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, XBUTTON2}};
    if (!std::strcmp(cmd, "click")) {
        for (const auto &b : buttons) {
            if (argc > 2 && std::strcmp(argv[2], b.name)) continue;
            mouse_event(b.down, 0, 0, b.data, 0);
            Sleep(60);
            mouse_event(b.up, 0, 0, b.data, 0);
            return 0;
        }
        return 2;
    }
    if (!std::strcmp(cmd, "held")) {
        for (int vk = 1; vk < 255; vk++)
            if (GetAsyncKeyState(vk) < 0) std::printf("%x ", vk);
        std::printf("\n");
        return 0;
    }
    if (!std::strcmp(cmd, "wheel")) {
        for (int i = 2; i < argc; i++) {
            bool h = argv[i][0] == 'h';
            long delta = std::strtol(argv[i] + (h ? 1 : 0), nullptr, 10);
            mouse_event(h ? MOUSEEVENTF_HWHEEL : MOUSEEVENTF_WHEEL, 0, 0, DWORD(delta), 0);
            Sleep(60);
        }
        return 0;
    }
    if (!std::strcmp(cmd, "move") && argc == 4) {
        int x = std::atoi(argv[2]), y = std::atoi(argv[3]);
        // Rounded up: the system maps a value back rounding down.
        int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
        mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, DWORD((x * 65536 + w - 1) / w),
                    DWORD((y * 65536 + h - 1) / h), 0, 0);
        SetCursorPos(x, y);
        return 0;
    }
    if (argc < 4) return 2;
    const char *cls = Arg(argv[2]), *title = Arg(argv[3]);
    if (!std::strcmp(cmd, "wait") || !std::strcmp(cmd, "children") ||
        !std::strcmp(cmd, "wininfo") || !std::strcmp(cmd, "origin")) {
        HWND w = WaitFor(cls, title, argc > 4 ? std::atoi(argv[4]) : 5000);
        if (!w) return 1;
        if (!std::strcmp(cmd, "wait")) {
            char text[256] = "", wc[64] = "";
            GetWindowTextA(w, text, sizeof text);
            GetClassNameA(w, wc, sizeof wc);
            std::printf("%s|%s\n", wc, text);
        } else if (!std::strcmp(cmd, "origin")) {
            POINT o = {0, 0};
            ClientToScreen(w, &o);
            RECT rc;
            GetClientRect(w, &rc);
            std::printf("%ld|%ld|%ld|%ld\n", o.x, o.y, rc.right, rc.bottom);
        } else if (!std::strcmp(cmd, "wininfo")) {
            RECT rc;
            GetWindowRect(w, &rc);
            std::printf("%d|%ld|%ld|%ld|%ld\n", IsWindowVisible(w) ? 1 : 0, rc.left, rc.top,
                        rc.right - rc.left, rc.bottom - rc.top);
        } else {
            EnumChildWindows(w, PrintChild, 0);
        }
        return 0;
    }
    if (!std::strcmp(cmd, "gone")) {
        int timeoutMs = argc > 4 ? std::atoi(argv[4]) : 5000;
        DWORD start = GetTickCount();
        while (FindWindowExA(nullptr, nullptr, cls, title)) {
            if (int(GetTickCount() - start) >= timeoutMs) return 1;
            Sleep(20);
        }
        return 0;
    }
    HWND w = FindWindowExA(nullptr, nullptr, cls, title);
    if (!w) return 1;
    if (!std::strcmp(cmd, "post") && argc == 7) {
        return PostMessageA(w, UINT(std::strtoul(argv[4], nullptr, 0)),
                            WPARAM(std::strtoul(argv[5], nullptr, 0)),
                            LPARAM(std::strtol(argv[6], nullptr, 0)))
                   ? 0
                   : 1;
    }
    if (!std::strcmp(cmd, "settext") && argc == 6) {
        // The first control of that class at any depth (a dialog's name
        // field sits inside a combo box).
        Search search = {argv[4], nullptr};
        EnumChildWindows(w, FindDescendant, LPARAM(&search));
        if (!search.found) return 1;
        SendMessageA(search.found, WM_SETTEXT, 0, LPARAM(argv[5]));
        return 0;
    }
    if (!std::strcmp(cmd, "press") && argc == 5) {
        int id = std::atoi(argv[4]);
        HWND button = GetDlgItem(w, id);
        if (!button) return 1;
        PostMessageA(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(button));
        return 0;
    }
    return 2;
}
