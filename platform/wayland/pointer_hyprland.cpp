// Hyprland answers "cursorpos" on its request socket with "X, Y" in the
// layout's logical coordinates. The socket is under the runtime folder
// (newer releases) or /tmp (older ones), named by the instance signature.
#include "pointer.h"
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string g_path;
char g_why[256] = "";

bool Present() {
    const char *sig = std::getenv("HYPRLAND_INSTANCE_SIGNATURE");
    return sig && *sig;
}

// One request on a fresh connection: Hyprland closes it after answering.
bool Ask(const char *request, char *reply, size_t size) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (g_path.size() >= sizeof addr.sun_path) {
        close(fd);
        return false;
    }
    std::memcpy(addr.sun_path, g_path.c_str(), g_path.size() + 1);
    bool ok = connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
              write(fd, request, std::strlen(request)) == ssize_t(std::strlen(request));
    size_t have = 0;
    // A desktop that hangs must not hang the program: a short wait only.
    while (ok && have + 1 < size) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) break;
        ssize_t n = read(fd, reply + have, size - 1 - have);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        have += size_t(n);
    }
    reply[have] = 0;
    close(fd);
    return ok && have > 0;
}

bool Open() {
    const char *sig = std::getenv("HYPRLAND_INSTANCE_SIGNATURE");
    const char *run = std::getenv("XDG_RUNTIME_DIR");
    std::string candidates[2] = {std::string(run ? run : "") + "/hypr/" + sig + "/.socket.sock",
                                 std::string("/tmp/hypr/") + sig + "/.socket.sock"};
    for (const std::string &c : candidates)
        if (access(c.c_str(), F_OK) == 0) {
            g_path = c;
            g_why[0] = 0;
            return true;
        }
    std::snprintf(g_why, sizeof g_why, "Hyprland's socket for instance %.64s was not found", sig);
    return false;
}

void Close() {
    g_path.clear();
}

bool Query(int32_t *x, int32_t *y) {
    char reply[128];
    if (g_path.empty() || !Ask("cursorpos", reply, sizeof reply)) return false;
    long a = 0, b = 0;
    char *end = nullptr;
    a = std::strtol(reply, &end, 10);
    if (end == reply || *end != ',') return false;
    const char *rest = end + 1;
    b = std::strtol(rest, &end, 10);
    if (end == rest || a < -1000000 || a > 1000000 || b < -1000000 || b > 1000000) return false;
    *x = int32_t(a);
    *y = int32_t(b);
    return true;
}

const char *Why() {
    return g_why;
}

} // namespace

const PointerProvider kHyprlandPointer = {"hyprland", Present, Open, Close, Query, Why};
