// The receiving end of the playback bench: a window that takes the focus
// and writes down every pointer motion, key and button it gets, each with
// the monotonic clock's time on arrival in microseconds, one line each:
// "<us> motion X Y", "<us> key|keyup CODE 0", "<us> button|buttonup N 0".
// It prints "ready" once it is mapped and focused, and runs until killed.
// An override-redirect window, so a window manager neither moves nor
// decorates it.
//
// usage: playback_observer LOGFILE X Y W H
#include <X11/Xlib.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>

static long long NowUs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000 + t.tv_nsec / 1000;
}

int main(int argc, char **argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s LOGFILE X Y W H\n", argv[0]);
        return 2;
    }
    FILE *log = std::fopen(argv[1], "w");
    Display *d = XOpenDisplay(nullptr);
    if (!log || !d) return 1;
    setvbuf(log, nullptr, _IOLBF, 0);
    XSetWindowAttributes a = {};
    a.override_redirect = True;
    a.background_pixel = 0xE0E8F0;
    a.event_mask = PointerMotionMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                   ButtonReleaseMask | StructureNotifyMask;
    Window win = XCreateWindow(d, DefaultRootWindow(d), std::atoi(argv[2]), std::atoi(argv[3]),
                               unsigned(std::atoi(argv[4])), unsigned(std::atoi(argv[5])), 0,
                               CopyFromParent, InputOutput, CopyFromParent,
                               CWOverrideRedirect | CWBackPixel | CWEventMask, &a);
    XMapRaised(d, win);
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
        long long us = NowUs();
        switch (e.type) {
        case MapNotify:
            XSetInputFocus(d, win, RevertToParent, CurrentTime);
            XSync(d, False);
            std::printf("ready\n");
            std::fflush(stdout);
            break;
        case MotionNotify:
            std::fprintf(log, "%lld motion %d %d\n", us, e.xmotion.x_root, e.xmotion.y_root);
            break;
        case KeyPress:
        case KeyRelease:
            std::fprintf(log, "%lld %s %u 0\n", us, e.type == KeyPress ? "key" : "keyup",
                         e.xkey.keycode);
            break;
        case ButtonPress:
        case ButtonRelease:
            std::fprintf(log, "%lld %s %u 0\n", us, e.type == ButtonPress ? "button" : "buttonup",
                         e.xbutton.button);
            break;
        default: break;
        }
    }
}
