// A plain X window that logs every key and button it receives, one line per
// event with the server's time stamp, so end-to-end tests can compare what
// a playback delivered with what was typed. It takes the input focus when it
// appears and whenever the pointer enters it.
//
// usage: qv_target LOGFILE [TITLE [X Y W H]]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstdlib>

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
                     StructureNotifyMask | EnterWindowMask | ExposureMask);
    XMapWindow(d, win);
    std::printf("%lu\n", (unsigned long)win);
    std::fflush(stdout);
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
        switch (e.type) {
        case MapNotify:
        case EnterNotify: XSetInputFocus(d, win, RevertToParent, CurrentTime); break;
        case KeyPress:
        case KeyRelease: {
            KeySym sym = XLookupKeysym(&e.xkey, 0);
            const char *name = XKeysymToString(sym);
            std::fprintf(log, "%lu %s %s %u\n", (unsigned long)e.xkey.time,
                         e.type == KeyPress ? "KeyPress" : "KeyRelease", name ? name : "?",
                         e.xkey.keycode);
            break;
        }
        case ButtonPress:
        case ButtonRelease:
            // Click to focus, as a window manager would do it.
            if (e.type == ButtonPress) XSetInputFocus(d, win, RevertToParent, CurrentTime);
            std::fprintf(log, "%lu %s %u %d %d\n", (unsigned long)e.xbutton.time,
                         e.type == ButtonPress ? "ButtonPress" : "ButtonRelease", e.xbutton.button,
                         e.xbutton.x_root, e.xbutton.y_root);
            break;
        default: break;
        }
        std::fflush(log);
    }
}
