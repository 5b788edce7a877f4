// Which kind of session the program runs in, from the environment alone, so
// the rule is tested without a desktop.
#include "linux_input.h"
#include <cstring>

namespace {

bool Is(const char *value, const char *what) {
    return value && !strcasecmp(value, what);
}

} // namespace

LinuxSession LinuxSessionOf(const char *override, const char *waylandDisplay,
                            const char *sessionType) {
    if (Is(override, "x11")) return SESSION_X11;
    if (Is(override, "wayland")) return SESSION_WAYLAND;
    if (waylandDisplay && *waylandDisplay) return SESSION_WAYLAND;
    return Is(sessionType, "wayland") ? SESSION_WAYLAND : SESSION_X11;
}
