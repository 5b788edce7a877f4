#include "../files.h"
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

int PlatFileKind(const char *path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return -1;
    return S_ISDIR(st.st_mode) ? 1 : 0;
}

bool PlatDeleteFile(const char *path) {
    return path && unlink(path) == 0;
}

bool PlatReplaceFile(const char *from, const char *to) {
    // A file being replaced keeps the mode its owner gave it; a new one keeps
    // the private mode it was made with.
    struct stat st;
    if (stat(to, &st) == 0 && S_ISREG(st.st_mode)) chmod(from, st.st_mode & 07777);
    return rename(from, to) == 0;
}

bool PlatTempNameBeside(const char *near, char *out, uint32_t size) {
    const char *slash = std::strrchr(near, '/');
    size_t dirLen = slash ? size_t(slash - near + 1) : 0;
    for (unsigned i = 0; i < 1000; i++) {
        int n = std::snprintf(out, size, "%.*s.qv%05u-%u.tmp", int(dirLen), near,
                              unsigned(getpid()) % 100000u, i);
        if (n < 0 || uint32_t(n) >= size) return false;
        // Recordings hold everything that was typed, passwords too: what
        // is new is readable by its owner only.
        int fd = open(out, O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (fd >= 0) {
            close(fd);
            return true;
        }
    }
    return false;
}

bool PlatMakeExecutable(const char *path) {
    struct stat st;
    if (stat(path, &st) != 0) return false;
    return chmod(path, st.st_mode | S_IXUSR | ((st.st_mode & S_IRGRP) ? S_IXGRP : 0) |
                           ((st.st_mode & S_IROTH) ? S_IXOTH : 0)) == 0;
}

// Folders the system's packages own. Root can write them, yet settings of a
// program installed there are a user's, not the system's: /usr and /opt hold
// shared, read-only data, /bin, /sbin and /lib* are the same tree on merged
// systems (the running program's path is the resolved one either way).
static bool SystemFolder(const char *dir) {
    static const char *const roots[] = {"/usr/", "/opt/",   "/bin/",   "/sbin/",
                                        "/lib/", "/lib32/", "/lib64/", "/libx32/"};
    for (const char *root : roots)
        if (std::strncmp(dir, root, std::strlen(root)) == 0) return true;
    return false;
}

bool PlatSettingsPath(const char *beside, char *out, uint32_t size) {
    const char *slash = std::strrchr(beside, '/');
    char dir[TEMP_PATH_SIZE];
    int n = slash ? std::snprintf(dir, sizeof dir, "%.*s", int(slash - beside + 1), beside)
                  : std::snprintf(dir, sizeof dir, ".");
    if (n < 0 || size_t(n) >= sizeof dir) return false;
    if (!SystemFolder(dir) && access(dir, W_OK | X_OK) == 0) {
        n = std::snprintf(out, size, "%s", beside);
        return n >= 0 && uint32_t(n) < size;
    }
    // An installed program: the user's configuration folder, where a
    // relative XDG_CONFIG_HOME does not count.
    const char *base = slash ? slash + 1 : beside;
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        n = std::snprintf(out, size, "%s/quorvane/%s", xdg, base);
    } else {
        const char *home = std::getenv("HOME");
        if (!home || !home[0]) {
            const struct passwd *pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : nullptr;
        }
        if (!home || !home[0]) return false;
        n = std::snprintf(out, size, "%s/.config/quorvane/%s", home, base);
    }
    return n >= 0 && uint32_t(n) < size;
}
