// File services and the private-profile functions on the kernel's own calls.
#include "../../platform/files.h"
#include "../../platform/profile.h"
#include "win32_backend.h"
#include <cstdio>
#include <cstring>

bool PlatGetModuleFileName(char *buf, uint32_t size) {
    if (!size) return false;
    DWORD n = GetModuleFileNameA(nullptr, buf, size);
    // A path cut at the buffer's end names some other file: refuse it.
    if (n == 0 || n >= size) {
        buf[0] = 0;
        return false;
    }
    return true;
}

int PlatFileKind(const char *path) {
    if (!path || !*path) return -1;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

bool PlatDeleteFile(const char *path) {
    return path && DeleteFileA(path);
}

bool PlatReplaceFile(const char *from, const char *to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// GetTempFileNameA would do, but it needs a directory name apart and gives
// names that hide what made them; this makes the same kind of unique,
// already-created file beside the target.
bool PlatTempNameBeside(const char *target, char *out, uint32_t size) {
    if (!target || !size) return false;
    const char *cut = nullptr;
    for (const char *p = target; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':') cut = p;
    int dirLen = cut ? int(cut - target + 1) : 0;
    DWORD pid = GetCurrentProcessId();
    for (unsigned i = 0; i < 1000; i++) {
        int n = std::snprintf(out, size, "%.*s~qv%05lu-%u.tmp", dirLen, target,
                              (unsigned long)(pid % 100000u), i);
        if (n < 0 || uint32_t(n) >= size) return false;
        HANDLE h =
            CreateFileA(out, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

// The name's extension decides whether Windows runs a file.
bool PlatMakeExecutable(const char *) {
    return true;
}

int32_t PlatProfileGetInt(const char *section, const char *key, int32_t def, const char *path) {
    return int32_t(GetPrivateProfileIntA(section, key, def, path));
}

bool PlatProfileWriteString(const char *section, const char *key, const char *value,
                            const char *path) {
    return WritePrivateProfileStringA(section, key, value, path);
}

// A Windows copy is portable: its settings stay beside it.
bool PlatSettingsPath(const char *beside, char *out, uint32_t size) {
    int n = std::snprintf(out, size, "%s", beside);
    return n >= 0 && uint32_t(n) < size;
}
