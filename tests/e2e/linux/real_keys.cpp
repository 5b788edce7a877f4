// Presses keys as a keyboard does: through Xvfb's own keyboard device, not
// the XTest device that xdotool and the program share. A key pressed here
// stays down until it is let go here (an injected release cannot lift it,
// and the server does not drop it when this program ends).
//
// usage: qv_real_keys (down KEYSYM | up KEYSYM | sleep SECONDS)...
#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XTest.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

static XDevice *OpenKeyboard(Display *d) {
    int n = 0;
    XDeviceInfo *list = XListInputDevices(d, &n);
    XID id = 0;
    for (int i = 0; i < n; i++)
        if (list[i].use == IsXExtensionKeyboard && !std::strcmp(list[i].name, "Xvfb keyboard"))
            id = list[i].id;
    XFreeDeviceList(list);
    return id ? XOpenDevice(d, id) : nullptr;
}

int main(int argc, char **argv) {
    Display *d = XOpenDisplay(nullptr);
    if (!d) return 1;
    XDevice *kbd = OpenKeyboard(d);
    if (!kbd) {
        std::fprintf(stderr, "no \"Xvfb keyboard\" device\n");
        return 1;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "sleep")) {
            usleep(useconds_t(std::atof(argv[i + 1]) * 1e6));
            continue;
        }
        bool down = !std::strcmp(argv[i], "down");
        if (!down && std::strcmp(argv[i], "up")) return 2;
        KeyCode code = XKeysymToKeycode(d, XStringToKeysym(argv[i + 1]));
        if (!code) {
            std::fprintf(stderr, "no key for %s\n", argv[i + 1]);
            return 1;
        }
        XTestFakeDeviceKeyEvent(d, kbd, code, down, nullptr, 0, CurrentTime);
        XSync(d, False);
    }
    XCloseDevice(d, kbd);
    XCloseDisplay(d);
    return 0;
}
