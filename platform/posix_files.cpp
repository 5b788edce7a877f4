#include "files.h"
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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
    return rename(from, to) == 0;
}

bool PlatTempNameBeside(const char *near, char *out, uint32_t size) {
    const char *slash = std::strrchr(near, '/');
    size_t dirLen = slash ? size_t(slash - near + 1) : 0;
    for (unsigned i = 0; i < 1000; i++) {
        int n = std::snprintf(out, size, "%.*s.qv%05u-%u.tmp", int(dirLen), near,
                              unsigned(getpid()) % 100000u, i);
        if (n < 0 || uint32_t(n) >= size) return false;
        int fd = open(out, O_CREAT | O_EXCL | O_WRONLY, 0644);
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
