// Commands to the running toolbar on Linux: a Unix socket in the user's
// runtime folder, one per display. A socket rather than the session bus:
// it needs no bus (headless and minimal sway sessions often run without
// one), it works the same under X11 and Wayland, the folder's mode already
// keeps other users out, and a toolbar that died leaves a socket nobody
// answers, which the next toolbar takes over. One line goes each way: the
// verb, then "ok" once the toolbar has taken it.
#include "posix_control.h"
#include "../../app/app.h"
#include "../control.h"
#include "../ui.h"
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

int g_listenFd = -1;
GSource *g_source = nullptr;
char g_path[sizeof(sockaddr_un::sun_path)];
ino_t g_inode = 0;

// A folder only this user can enter: its own, and no one else may list or
// write it.
bool PrivateDir(const char *dir) {
    struct stat st;
    return lstat(dir, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
           (st.st_mode & 077) == 0;
}

bool SocketPath(char *out, size_t size) {
    char dir[sizeof g_path];
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && PrivateDir(runtime)) {
        std::snprintf(dir, sizeof dir, "%s", runtime);
    } else {
        // No runtime folder (a root shell on a bare X server, a service):
        // one of our own in /tmp, made private, and refused when someone
        // else made it first.
        std::snprintf(dir, sizeof dir, "/tmp/quorvane-%u", unsigned(getuid()));
        if (mkdir(dir, 0700) != 0 && errno != EEXIST) return false;
        if (!PrivateDir(dir)) return false;
    }
    return ControlSocketPath(dir, std::getenv("WAYLAND_DISPLAY"), std::getenv("DISPLAY"), out,
                             size);
}

sockaddr_un Address(const char *path) {
    sockaddr_un a = {};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path);
    return a;
}

// Waits up to ms for fd to become ready for events.
bool WaitFor(int fd, short events, int ms) {
    pollfd p = {fd, events, 0};
    int r;
    do
        r = poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    return r > 0;
}

// One line of at most size-1 characters, without its line feed.
bool ReadLine(int fd, char *buf, size_t size, int ms) {
    size_t n = 0;
    while (n + 1 < size) {
        if (!WaitFor(fd, POLLIN, ms)) return false;
        ssize_t r = read(fd, buf + n, 1);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        if (buf[n] == '\n') break;
        n++;
    }
    buf[n] = 0;
    return true;
}

bool WriteAll(int fd, const char *text) {
    size_t len = std::strlen(text);
    while (len) {
        ssize_t w = write(fd, text, len);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        text += w;
        len -= size_t(w);
    }
    return true;
}

void Answer(int client) {
    // Only this user's own programs give commands; the folder's mode says
    // so already, the peer's credentials say it again.
    ucred cred = {};
    socklen_t len = sizeof cred;
    if (getsockopt(client, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != getuid())
        return;
    // The sender writes its line right after connecting; one that does not
    // is not waited for long, the toolbar has a desktop to serve.
    char line[32];
    if (!ReadLine(client, line, sizeof line, 500)) return;
    uint32_t verb = ControlVerbOf(line);
    // Answered before acting: a playback's start waits for the bound keys to
    // come up, and the sender need not wait with it.
    WriteAll(client, verb != CONTROL_NONE ? "ok\n" : "unknown\n");
    if (verb != CONTROL_NONE) AppControlCommand(verb);
}

gboolean Incoming(gint fd, GIOCondition, gpointer) {
    for (;;) {
        int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) break;
        Answer(client);
        close(client);
    }
    return G_SOURCE_CONTINUE;
}

// Somebody answers at path: a toolbar of this desktop runs.
bool Answered(const char *path) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un a = Address(path);
    bool ok = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

} // namespace

bool PlatControlListen() {
    if (g_listenFd >= 0) return true;
    if (!SocketPath(g_path, sizeof g_path)) return false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    sockaddr_un a = Address(g_path);
    mode_t old = umask(077);
    bool bound = bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    if (!bound && errno == EADDRINUSE && !Answered(g_path)) {
        // Left by a toolbar that is gone.
        unlink(g_path);
        bound = bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    }
    umask(old);
    struct stat st;
    if (!bound || listen(fd, 8) != 0 || stat(g_path, &st) != 0) {
        // Another toolbar of this desktop takes the commands; this one runs
        // on without them.
        close(fd);
        g_path[0] = 0;
        return false;
    }
    g_inode = st.st_ino;
    g_listenFd = fd;
    g_source = g_unix_fd_source_new(fd, G_IO_IN);
    // Commands keep coming while a box, menu or dialog runs its own loop,
    // as the posted ones do.
    g_source_set_can_recurse(g_source, TRUE);
    g_source_set_callback(g_source, G_SOURCE_FUNC(Incoming), nullptr, nullptr);
    g_source_attach(g_source, nullptr);
    return true;
}

void PlatControlStop() {
    if (g_listenFd < 0) return;
    g_source_destroy(g_source);
    g_source_unref(g_source);
    g_source = nullptr;
    close(g_listenFd);
    g_listenFd = -1;
    // Only our own socket: a later toolbar may have taken the name over.
    struct stat st;
    if (stat(g_path, &st) == 0 && st.st_ino == g_inode) unlink(g_path);
    g_path[0] = 0;
}

PlatSendResult PlatControlSend(uint32_t verb, char *why, uint32_t whySize) {
    if (whySize) why[0] = 0;
    char path[sizeof g_path];
    if (!SocketPath(path, sizeof path)) {
        std::snprintf(why, whySize, "no display is named (DISPLAY, WAYLAND_DISPLAY)");
        return SEND_NO_TOOLBAR;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::snprintf(why, whySize, "%s", std::strerror(errno));
        return SEND_FAILED;
    }
    sockaddr_un a = Address(path);
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        int e = errno;
        close(fd);
        if (e == ENOENT || e == ECONNREFUSED) return SEND_NO_TOOLBAR;
        std::snprintf(why, whySize, "%s: %s", path, std::strerror(e));
        return SEND_FAILED;
    }
    char line[32];
    std::snprintf(line, sizeof line, "%s\n", ControlVerbName(verb));
    // A toolbar inside a long blocking step (a file dialog's start, a
    // compile) still answers within seconds; one that does not is hung.
    bool answered = WriteAll(fd, line) && ReadLine(fd, line, sizeof line, 5000);
    close(fd);
    if (!answered) {
        std::snprintf(why, whySize, "the toolbar did not answer");
        return SEND_FAILED;
    }
    if (std::strcmp(line, "ok") != 0) {
        std::snprintf(why, whySize, "the toolbar answered \"%s\"", line);
        return SEND_FAILED;
    }
    return SEND_DELIVERED;
}

// Beside the commands, which answer on the terminal too; the bench, which
// has no entry routine of ours, links it from here.
void PlatCommandLineMessage(const char *text, bool error) {
    std::fputs(text, error ? stderr : stdout);
    std::fputs("\n", error ? stderr : stdout);
    std::fflush(error ? stderr : stdout);
}
