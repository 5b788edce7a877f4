#include "fake.h"
#include "../files.h"
#include <cstring>

// Tests choose which file the program believes it was started from.
bool PlatGetModuleFileName(char *buf, uint32_t size) {
    if (!size) return false;
    std::strncpy(buf, g_fake.modulePath.c_str(), size - 1);
    buf[size - 1] = 0;
    return !g_fake.modulePath.empty();
}
