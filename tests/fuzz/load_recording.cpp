// Any bytes as a recording file, read from any small offset: the loader
// either takes exactly the bytes after the offset or refuses them with its
// box, and what it took saves back unchanged and plays without reading past
// the block, at either speed.
#include "app/app.h"
#include "engine/appstate.h"
#include "engine/engine.h"
#include "platform/fake/fake.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

static std::string g_input, g_saved;

static void RemoveScratch() {
    unlink(g_input.c_str());
    unlink(g_saved.c_str());
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Memory-backed when there is such a folder: a disk makes every run
    // a thousand times slower.
    const char *folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string base = std::string(folder) + "/qv-fuzz-load-" + std::to_string(getpid());
    g_input = base + ".bin";
    g_saved = base + "-saved.rec";
    std::atexit(RemoveScratch);
    return 0;
}

static void Check(bool ok) {
    if (!ok) std::abort();
}

static std::string ReadAll(const std::string &path) {
    std::string out;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FakeReset();
    g_app.mainWindow = g_fake.mainWindowId;
    FILE *f = std::fopen(g_input.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    // The first byte also picks where the records start, as a standalone
    // player's image length would.
    int32_t offset = size ? int32_t(data[0] & 63) : 0;
    size_t rest = size > size_t(offset) ? size - size_t(offset) : 0;
    bool valid = rest >= 2 && data[offset] == 0 && rest % 20 == 0;

    uint32_t n = LoadRecording(g_input.c_str(), offset);
    auto boxes = FakeLogOf("box");
    if (!valid) {
        Check(n == 0 && !g_app.list.records && boxes.size() == 1);
        Check(boxes[0].title == g_input);
        return 0;
    }
    Check(n == rest && boxes.empty());
    Check(g_app.list.records && g_app.list.count == n / 20);
    Check(g_app.list.capacity == size + 4096);
    Check(std::memcmp(g_app.list.records, data + offset, n) == 0);
    static const EventRecord zero = {};
    Check(std::memcmp(&g_app.list.records[g_app.list.count], &zero, sizeof zero) == 0);
    Check(std::strlen(g_app.recordingName) <= 29);

    g_fake.fileAnswers.push_back(g_saved);
    AppWindowProc(MSG_COMMAND, ID_SAVE, 0);
    Check(ReadAll(g_saved) == std::string(reinterpret_cast<const char *>(data) + offset, rest));

    // One pass at the speed the last byte picks; the fake clock makes even
    // huge recorded gaps cost nothing.
    g_app.speed = uint8_t(data[size - 1] & 1);
    AppWindowProc(MSG_COMMAND, ID_PLAY, 0);
    for (int i = 0; i < 64 && g_app.runState == Playing; i++)
        FakeRunFor(0x40000000u);
    Check(g_app.list.count <= g_app.list.capacity / 20);
    return 0;
}
