// A plain X window that logs every key and button it receives, one line per
// event with the server's time stamp, so end-to-end tests can compare what
// a playback delivered with what was typed; pointer motion inside it is
// logged too, as "Motion X Y" in screen pixels. It also shows what it got (the
// typed text and a ring at each click), which makes it the demo window of
// scripts/run. A key line also names the symbol the press makes with the
// modifiers in effect, and that modifier state. It takes the input focus when it appears, when the
// pointer enters it and when it is clicked, as a window manager would give it.
//
// usage: qv_target LOGFILE [TITLE [X Y W H]]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

struct Click {
    int x, y;
    unsigned button;
};

static void Redraw(Display *d, Window win, GC gc, const std::string &text,
                   const std::vector<Click> &clicks) {
    XClearWindow(d, win);
    XSetForeground(d, gc, 0x202020);
    XDrawString(d, win, gc, 12, 24, "typed:", 6);
    // The last 60 characters fit the window's width.
    size_t from = text.size() > 60 ? text.size() - 60 : 0;
    XDrawString(d, win, gc, 60, 24, text.c_str() + from, int(text.size() - from));
    for (const Click &c : clicks) {
        XSetForeground(d, gc, c.button == 1 ? 0x1050D0 : 0xC02020);
        XDrawArc(d, win, gc, c.x - 8, c.y - 8, 16, 16, 0, 360 * 64);
        XFillArc(d, win, gc, c.x - 3, c.y - 3, 6, 6, 0, 360 * 64);
    }
    XFlush(d);
}

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LOGFILE [TITLE [X Y W H]]\n", argv[0]);
        return 2;
    }
    FILE *log = std::fopen(argv[1], "w");
    if (!log) return 1;
    const char *title = argc > 2 ? argv[2] : "QvTarget";
    int x = argc > 6 ? std::atoi(argv[3]) : 40, y = argc > 6 ? std::atoi(argv[4]) : 200;
    unsigned w = argc > 6 ? unsigned(std::atoi(argv[5])) : 400,
             h = argc > 6 ? unsigned(std::atoi(argv[6])) : 300;
    Display *d = XOpenDisplay(nullptr);
    if (!d) return 1;
    int s = DefaultScreen(d);
    Window win =
        XCreateSimpleWindow(d, RootWindow(d, s), x, y, w, h, 0, BlackPixel(d, s), 0xF0E0C0);
    XSizeHints hints = {};
    hints.flags = USPosition | PPosition;
    hints.x = x;
    hints.y = y;
    XSetWMNormalHints(d, win, &hints);
    XStoreName(d, win, title);
    XSelectInput(d, win,
                 KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                     PointerMotionMask | StructureNotifyMask | EnterWindowMask | ExposureMask);
    GC gc = XCreateGC(d, win, 0, nullptr);
    XSetLineAttributes(d, gc, 2, LineSolid, CapRound, JoinRound);
    XMapWindow(d, win);
    std::printf("%lu\n", (unsigned long)win);
    std::fflush(stdout);
    std::string typed;
    std::vector<Click> clicks;
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
        switch (e.type) {
        case MapNotify:
        case EnterNotify: XSetInputFocus(d, win, RevertToParent, CurrentTime); break;
        case MappingNotify: XRefreshKeyboardMapping(&e.xmapping); break;
        case Expose:
            if (e.xexpose.count == 0) Redraw(d, win, gc, typed, clicks);
            break;
        case KeyPress:
        case KeyRelease: {
            KeySym sym = XLookupKeysym(&e.xkey, 0);
            const char *name = XKeysymToString(sym);
            // What the press makes with the modifiers and group in effect,
            // and that state.
            char buf[8];
            KeySym made = NoSymbol;
            int n = XLookupString(&e.xkey, buf, sizeof buf, &made, nullptr);
            const char *madeName = made != NoSymbol ? XKeysymToString(made) : nullptr;
            std::fprintf(log, "%lu %s %s %u %s %#x\n", (unsigned long)e.xkey.time,
                         e.type == KeyPress ? "KeyPress" : "KeyRelease", name ? name : "?",
                         e.xkey.keycode, madeName ? madeName : "?", e.xkey.state);
            if (e.type == KeyPress) {
                if (n == 1 && buf[0] >= 32 && buf[0] < 127) typed += buf[0];
                if (n == 1 && buf[0] == 8 && !typed.empty()) typed.pop_back();
                Redraw(d, win, gc, typed, clicks);
            }
            break;
        }
        case ButtonPress:
        case ButtonRelease:
            std::fprintf(log, "%lu %s %u %d %d\n", (unsigned long)e.xbutton.time,
                         e.type == ButtonPress ? "ButtonPress" : "ButtonRelease", e.xbutton.button,
                         e.xbutton.x_root, e.xbutton.y_root);
            if (e.type == ButtonPress) {
                XSetInputFocus(d, win, RevertToParent, CurrentTime);
                // A wheel notch (buttons 4 to 7) is no click to show.
                if (e.xbutton.button < 4 || e.xbutton.button > 7)
                    clicks.push_back({e.xbutton.x, e.xbutton.y, e.xbutton.button});
                Redraw(d, win, gc, typed, clicks);
            }
            break;
        case MotionNotify:
            std::fprintf(log, "%lu Motion %d %d\n", (unsigned long)e.xmotion.time, e.xmotion.x_root,
                         e.xmotion.y_root);
            break;
        default: break;
        }
        std::fflush(log);
    }
}
