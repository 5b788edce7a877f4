#include "../files.h"
#include <unistd.h>

bool PlatGetModuleFileName(char *buf, uint32_t size) {
    if (!size) return false;
    ssize_t n = readlink("/proc/self/exe", buf, size - 1);
    if (n <= 0) {
        buf[0] = 0;
        return false;
    }
    buf[n] = 0;
    return true;
}
