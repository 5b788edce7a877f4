// .rec files: the raw records and nothing else. Loading decides whether
// bytes are a recording; saving never puts a half-written file in the place
// of a good one.
#include "../platform/files.h"
#include "appstate.h"
#include "engine.h"
#include "eventlist.h"
#include "text.h"
#include "winconst.h"
#include <cstdio>
#include <cstring>

static const uint32_t BOX_WARNING = MB_TOPMOST | MB_SETFOREGROUND | MB_TASKMODAL | MB_ICONWARNING;

// The path to open: the given one, or the running executable for none.
static const char *ResolvePath(const char *path, char (&own)[260]) {
    if (path && path[0]) return path;
    if (!PlatGetModuleFileName(own, sizeof own)) return nullptr;
    return own;
}

// Opens a regular file for reading. A directory is refused here as the
// desktop refuses to open one, although the C library would hand it out.
static FILE *OpenForReading(const char *path) {
    if (!path || PlatFileKind(path) != 0) return nullptr;
    return std::fopen(path, "rb");
}

// The whole size, so callers can tell a file that does not fit 32 bits.
static bool MeasureOpen(FILE *f, uint64_t *size) {
    if (std::fseek(f, 0, SEEK_END) != 0) return false;
    long end = std::ftell(f);
    if (end < 0) return false;
    *size = uint64_t(end);
    return std::fseek(f, 0, SEEK_SET) == 0;
}

static bool MeasureFile(const char *path, uint64_t *size) {
    FILE *f = OpenForReading(path);
    if (!f) return false;
    bool ok = MeasureOpen(f, size);
    std::fclose(f);
    return ok;
}

uint32_t FileSizeOf(const char *path) {
    char own[260];
    uint64_t size = 0;
    if (!MeasureFile(ResolvePath(path, own), &size)) return 0;
    // Low 32 bits, with the all-ones value standing for "cannot be measured".
    uint32_t low = uint32_t(size);
    return low == 0xFFFFFFFFu ? 0 : low;
}

uint32_t ReadFileAt(const char *path, int32_t offset, void *buffer, uint32_t maximum) {
    auto *out = static_cast<uint8_t *>(buffer);
    uint32_t got = 0;
    FILE *f = OpenForReading(path);
    if (f) {
        uint64_t size = 0;
        if (MeasureOpen(f, &size) && out && size) {
            // A negative offset counts back from the end; one that would
            // reach before the start reads nothing.
            bool placed = offset >= 0 ? std::fseek(f, long(offset), SEEK_SET) == 0
                                      : uint64_t(-int64_t(offset)) <= size &&
                                            std::fseek(f, long(offset), SEEK_END) == 0;
            if (placed) {
                uint64_t want = size < maximum ? size : maximum;
                got = uint32_t(std::fread(out, 1, size_t(want), f));
            }
        }
        std::fclose(f);
    }
    if (out) out[got] = 0;
    return got;
}

uint32_t WriteFileAt(const char *path, int32_t offset, const void *data, uint32_t length) {
    if (!path || !path[0]) return 0;
    int kind = PlatFileKind(path);
    if (kind == 1) return 0;
    // Open without truncating; create only what does not exist yet, so a
    // file that merely cannot be read is never emptied.
    FILE *f = kind == 0 ? std::fopen(path, "r+b") : std::fopen(path, "w+b");
    if (!f) return 0;
    bool placed =
        offset >= 0 ? std::fseek(f, long(offset), SEEK_SET) == 0 : std::fseek(f, 0, SEEK_END) == 0;
    size_t written = 0;
    if (placed && length) written = std::fwrite(data, 1, length, f);
    // Bytes that never leave the library's buffer are not written.
    if (std::fflush(f) != 0) written = 0;
    if (std::fclose(f) != 0) written = 0;
    return uint32_t(written);
}

int ChooseFileName(char *buf, PlatFilter filter, int mode) {
    if (PlatChooseFileName(buf, filter, mode) && buf[0]) return 1;
    buf[0] = 0;
    return 0;
}

bool IsValidRecording(const uint8_t *data, uint32_t n) {
    return n >= 2 && data[0] == 0 && n % 20 == 0;
}

// The file name without its folder, cut to at most `keep` characters. Both
// separators count, so the name is right for paths of either desktop.
static void SetRecordingName(const char *path, uint32_t keep) {
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '\\' || *p == '/') name = p + 1;
    size_t len = std::strlen(name);
    if (len > keep) len = keep;
    std::memcpy(g_app.recordingName, name, len);
    g_app.recordingName[len] = 0;
    PlatSetCaption(g_app.recordingName);
}

uint32_t LoadRecording(const char *path, int32_t offset) {
    ClearEventList(&g_app.list);

    char own[260];
    uint64_t size = 0;
    // An unreadable file gives no size and, below, no bytes: the same box.
    if (!MeasureFile(ResolvePath(path, own), &size)) size = 0;
    uint32_t n = 0;
    void *block = nullptr;
    // The block holds the file and 4096 zero bytes after it (the
    // terminator); a size beyond that arithmetic is refused, not wrapped.
    if (size <= 0xFFFFFFFFu - 4096) {
        block = AllocZeroed(uint32_t(size) + 4096, 1);
        if (block) n = ReadFileAt(path, offset, block, uint32_t(size));
    }
    if (!block || !IsValidRecording(static_cast<uint8_t *>(block), n)) {
        // The block is gone before the box opens: the box's modal loop
        // still runs commands, and none of them may find these bytes.
        FreeBlock(block);
        PlatMessageBox("Not a valid recording", path ? path : "", BOX_WARNING);
        return 0;
    }
    g_app.list.records = static_cast<EventRecord *>(block);
    g_app.list.capacity = BlockSize(block);
    g_app.list.count = n / 20;
    SetRecordingName(path, 29);
    return n;
}

void ShowNothingRecorded() {
    PlatMessageBox("Nothing Recorded\n\nPress the blue button to start a new recording",
                   PROGRAM_NAME, BOX_INFO);
}

void OpenCommand() {
    if (g_app.runState != Idle) return;
    char path[260];
    path[0] = 0;
    if (ChooseFileName(path, FILTER_RECORDINGS, 1) && path[0]) LoadRecording(path, 0);
}

// Writes the records beside the target and moves them over it only once
// they are all on disk; anything less leaves the old file as it was.
static bool WriteRecordingSafely(const char *path, const void *data, uint32_t length) {
    char temp[TEMP_PATH_SIZE];
    if (!PlatTempNameBeside(path, temp, sizeof temp)) return false;
    bool ok = WriteFileAt(temp, 0, data, length) == length && PlatReplaceFile(temp, path);
    if (!ok) PlatDeleteFile(temp);
    return ok;
}

void SaveCommand() {
    if (g_app.runState != Idle) return;
    if (!g_app.list.records || g_app.list.count == 0) {
        ShowNothingRecorded();
        return;
    }
    // Room for what the dialog may return plus the extension added below.
    char path[260 + 4];
    std::snprintf(path, sizeof path, "%.30s", g_app.recordingName);
    if (!ChooseFileName(path, FILTER_RECORDINGS, 2)) return;
    path[259] = 0;
    if (!EndsWithNoCase(path, ".rec")) std::strcat(path, ".rec");

    // The dialog's loop may have run a command meanwhile; the list is read
    // as it is now.
    const EventList &list = g_app.list;
    uint32_t length = list.records ? list.count * 20 : 0;
    if (length > list.capacity) length = list.capacity;
    if (!WriteRecordingSafely(path, list.records, length)) {
        char text[300];
        std::snprintf(text, sizeof text, "Save Failed!\n\n%s", path);
        PlatMessageBox(text, PROGRAM_NAME, BOX_WARNING);
        return;
    }
    SetRecordingName(path, 30);
}
