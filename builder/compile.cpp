// Compile: the program's own image, its fields patched (repeat count,
// speed, rate, pause limit), the records after it. The player is assembled in a scratch file beside
// the target and moved over it only when every byte is in, so a failure never leaves a program that
// starts but plays garbage.
#include "builder.h"
#include "../engine/appstate.h"
#include "../engine/engine.h"
#include "../engine/eventlist.h"
#include "../engine/text.h"
#include "../engine/winconst.h"
#include "../app/fields.h"
#include "../platform/files.h"
#include "../platform/ui.h"
#include <cstdio>
#include <cstring>

// The one place that knows which desktop this is built for.
#ifdef _WIN32
static constexpr bool kExeNames = true;
static constexpr char kSeparators[3] = {'\\', '/', ':'};
#else
static constexpr bool kExeNames = false;
static constexpr char kSeparators[3] = {'/', 0, 0};
#endif

static constexpr uint32_t PATH_BUFFER = 260;

bool ProgramsNeedExeName() {
    return kExeNames;
}

void DefaultProgramName(const char *recordingName, char *out) {
    std::snprintf(out, PATH_BUFFER, "%s", recordingName ? recordingName : "");
    if (EndsWithNoCase(out, ".rec")) out[std::strlen(out) - 4] = 0;
}

void AddProgramExtension(char *path, bool exeName) {
    if (exeName && !EndsWithNoCase(path, ".exe") && std::strlen(path) + 4 < PATH_BUFFER)
        std::strcat(path, ".exe");
}

void FieldDigits(int32_t value, char *out, int width) {
    if (width < 1) width = 1;
    if (width > 9) width = 9;
    // A value past the field's width would lose its leading digits; the
    // largest value the field holds is the closest the player can come.
    int32_t largest = 9;
    for (int i = 1; i < width; i++)
        largest = largest * 10 + 9;
    if (value > largest) value = largest;
    if (value < 0) value = 0;
    std::snprintf(out, size_t(width) + 1, "%0*d", width, int(value));
}

// The fields a copy carries, each a run of its marker in the program.
static const struct {
    char marker;
    int width;
    int32_t PlayerParts::*value;
} fields[] = {
    {'@', 5, &PlayerParts::repeatCount},
    {'$', 5, nullptr}, // the speed, a byte
    {'#', RATE_FIELD_WIDTH, &PlayerParts::ratePercent},
    {'~', PAUSE_FIELD_WIDTH, &PlayerParts::maxPauseMs},
};

// Overwrites the first run of `width` marker bytes with digits; false when
// the image holds no such run (a program whose fields were already patched).
static bool PatchFirstRun(uint8_t *image, uint32_t size, char marker, int width, int32_t value) {
    // The run is put together here at run time: stored as text it would be a
    // second copy inside the program, and the first run in the file might be
    // this one instead of the field.
    uint8_t run[16];
    std::memset(run, marker, sizeof run);
    for (uint32_t i = 0; i + uint32_t(width) <= size; i++) {
        if (image[i] == marker && std::memcmp(image + i, run, size_t(width)) == 0) {
            char digits[16];
            FieldDigits(value, digits, width);
            std::memcpy(image + i, digits, size_t(width));
            return true;
        }
    }
    return false;
}

// Reads exactly the image's bytes: a program that already carries records
// after its image hands on only the image.
static uint8_t *ReadImage(const char *ownPath, uint32_t size) {
    // One byte more for the NUL the reader puts after the data; the size
    // came from a positive 32-bit signed value, so it still fits.
    uint8_t *image = static_cast<uint8_t *>(AllocZeroed(size + 1, 1));
    if (!image) return nullptr;
    if (ReadFileAt(ownPath, 0, image, size) != size) {
        FreeBlock(image);
        return nullptr;
    }
    return image;
}

static bool WriteAll(const char *path, const uint8_t *image, uint32_t imageSize,
                     const EventRecord *records, uint32_t count) {
    std::FILE *f = std::fopen(path, "wb");
    if (!f) return false;
    size_t recordBytes = size_t(count) * sizeof(EventRecord);
    bool ok = std::fwrite(image, 1, imageSize, f) == imageSize &&
              std::fwrite(records, 1, recordBytes, f) == recordBytes;
    // A full disk often shows itself only when the buffers are flushed.
    if (std::fclose(f) != 0) ok = false;
    return ok;
}

uint64_t WritePlayer(const char *target, const PlayerParts &parts) {
    if (!target || !target[0] || !parts.ownPath || !parts.ownPath[0]) return 0;
    if (parts.ownBaseSize <= 0 || !parts.records || !parts.count) return 0;
    if (PlatFileKind(target) == 1) return 0;
    uint32_t imageSize = uint32_t(parts.ownBaseSize);
    uint8_t *image = ReadImage(parts.ownPath, imageSize);
    if (!image) return 0;
    bool ok = true;
    for (auto &f : fields) {
        int32_t value = f.value ? parts.*f.value : int32_t(parts.speed);
        ok = ok && PatchFirstRun(image, imageSize, f.marker, f.width, value);
    }
    char scratch[TEMP_PATH_SIZE];
    if (ok) ok = PlatTempNameBeside(target, scratch, sizeof scratch);
    if (ok) {
        bool done = WriteAll(scratch, image, imageSize, parts.records, parts.count) &&
                    (kExeNames || PlatMakeExecutable(scratch)) && PlatReplaceFile(scratch, target);
        if (!done) PlatDeleteFile(scratch);
        ok = done;
    }
    FreeBlock(image);
    return ok ? uint64_t(imageSize) + uint64_t(parts.count) * sizeof(EventRecord) : 0;
}

void CompileReportText(const char *path, uint64_t total, char *out, uint32_t size) {
    if (!total) {
        std::snprintf(out, size, "Compile Failed!\n\n%s", path);
        return;
    }
    char name[PATH_BUFFER];
    std::snprintf(name, sizeof name, "%s", path);
    StripDirectory(name, kSeparators[0], kSeparators[1], kSeparators[2]);
    if (total > 1048576)
        std::snprintf(out, size, "Compile Successful: \"%s\"\n\nFile Size:  %llu MB", name,
                      static_cast<unsigned long long>(total / 1048576));
    else
        std::snprintf(out, size, "Compile Successful: \"%s\"\n\nFile Size:  %lluk", name,
                      static_cast<unsigned long long>(total / 1024));
}

void CompileCommand() {
    if (g_app.runState != Idle) return;
    if (!g_app.list.records || !g_app.list.count) {
        ShowNothingRecorded();
        return;
    }
    char path[PATH_BUFFER];
    DefaultProgramName(g_app.recordingName, path);
    if (!ChooseFileName(path, FILTER_PROGRAMS, 2)) return;
    AddProgramExtension(path, kExeNames);

    char ownPath[PATH_BUFFER];
    std::snprintf(ownPath, sizeof ownPath, "%s", g_app.ownPath);
    if (!ownPath[0] && !PlatGetModuleFileName(ownPath, sizeof ownPath)) ownPath[0] = 0;
    PlayerParts parts = {ownPath,           g_app.ownBaseSize, g_app.list.records,
                         g_app.list.count,  g_app.repeatCount, g_app.speed,
                         g_app.ratePercent, g_app.maxPauseMs};
    uint64_t total = WritePlayer(path, parts);

    char report[PATH_BUFFER + 64];
    CompileReportText(path, total, report, sizeof report);
    PlatMessageBox(report, PROGRAM_NAME, BOX_INFO);
}
