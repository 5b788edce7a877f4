// The command socket's name (posix_control.h).
#include "posix_control.h"
#include <cstdio>
#include <cstring>

bool ControlSocketPath(const char *dir, const char *waylandDisplay, const char *display, char *out,
                       size_t size) {
    char key[128];
    if (waylandDisplay && waylandDisplay[0]) {
        // A socket named by path counts by its last part.
        const char *slash = std::strrchr(waylandDisplay, '/');
        std::snprintf(key, sizeof key, "%s", slash ? slash + 1 : waylandDisplay);
    } else if (display && display[0]) {
        // ":0" and ":0.1" are one server; the screen does not matter.
        std::snprintf(key, sizeof key, "x11%s", display);
        char *colon = std::strrchr(key, ':');
        if (char *dot = colon ? std::strchr(colon, '.') : nullptr) *dot = 0;
    } else {
        return false;
    }
    if (!key[0]) return false;
    for (char *p = key; *p; p++)
        if (*p == '/') *p = '_';
    int n = std::snprintf(out, size, "%s/quorvane-%s.sock", dir, key);
    return n > 0 && size_t(n) < size;
}
