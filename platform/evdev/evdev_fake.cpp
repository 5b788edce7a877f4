// Stand-in devices for tests on machines without /dev/input: FIFOs that
// carry the kernel's struct input_event, described by a table file. The
// FIFO is opened read-only, so its own permissions decide access as a
// device node's would.
#include "evdev_device.h"
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FakeDevice {
    std::string path, file;
    int fd;
};

const char *FakeDir() {
    const char *d = std::getenv("QUORVANE_EVDEV_DIR");
    return d && *d ? d : "/nonexistent";
}

void ParseHeld(const char *text, uint8_t held[kEvdevKeyBytes]) {
    std::memset(held, 0, kEvdevKeyBytes);
    while (*text && *text != '-') {
        char *end = nullptr;
        long code = std::strtol(text, &end, 0);
        if (end == text) break;
        if (code >= 0 && code <= KEY_MAX) held[code / 8] |= uint8_t(1u << (code % 8));
        text = *end == ',' ? end + 1 : end;
    }
}

// The table's line for the file; false when it has none.
bool LookUp(const std::string &file, EvdevInfo *info) {
    std::string table = std::string(FakeDir()) + "/devices";
    FILE *f = std::fopen(table.c_str(), "r");
    if (!f) return false;
    char line[256];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f)) {
        char name[64] = "", kinds[64] = "", held[128] = "";
        int used = 0;
        if (std::sscanf(line, "%63s %63s %127s %n", name, kinds, held, &used) < 3) continue;
        if (file != name) continue;
        found = true;
        std::memset(info, 0, sizeof *info);
        std::snprintf(info->name, sizeof info->name, "%s", line + used);
        info->name[strcspn(info->name, "\r\n")] = 0;
        info->keyboard = std::strstr(kinds, "keyboard") != nullptr;
        info->relative = std::strstr(kinds, "pointer") != nullptr;
        info->pointer = info->relative || std::strstr(kinds, "tablet") != nullptr;
        info->numLock = true;
        ParseHeld(held, info->held);
    }
    std::fclose(f);
    return found;
}

void *FakeOpen(const char *path, EvdevInfo *info, int *fd) {
    std::string p = path;
    std::string file = p.substr(p.rfind('/') + 1);
    struct stat st;
    if (stat(path, &st) != 0) return nullptr;
    if (!S_ISFIFO(st.st_mode) || !LookUp(file, info)) {
        errno = ENOTTY;
        return nullptr;
    }
    int f = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (f < 0) return nullptr;
    *fd = f;
    return new FakeDevice{p, file, f};
}

bool FakeRead(void *h, EvdevDecoder *d, EvdevEmit emit, void *ctx) {
    auto *dev = static_cast<FakeDevice *>(h);
    uint8_t buf[4096];
    for (;;) {
        ssize_t n = read(dev->fd, buf, sizeof buf);
        if (n > 0) {
            EvdevDecodeBytes(d, buf, uint32_t(n), emit, ctx);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return true;
        if (n < 0) return false;
        // The writer went away: the FIFO reads as ended (and would wake the
        // main loop for ever) until it is opened anew for the next one.
        int f = open(dev->path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (f < 0) return false;
        dup2(f, dev->fd);
        close(f);
        return true;
    }
}

// What the table says is held now, as the kernel would answer EVIOCGKEY.
void FakeResync(void *h, EvdevDecoder *d, EvdevEmit emit, void *ctx) {
    auto *dev = static_cast<FakeDevice *>(h);
    if (!FakeRead(h, d, emit, ctx)) return;
    EvdevInfo info;
    if (!LookUp(dev->file, &info)) return;
    EvdevDecoderDiscardFrame(d);
    for (unsigned code = 0; code <= KEY_MAX; code++) {
        bool now = (info.held[code / 8] >> (code % 8)) & 1;
        if (now == EvdevKeyHeld(d, uint16_t(code))) continue;
        input_event ev = {};
        ev.type = EV_KEY;
        ev.code = uint16_t(code);
        ev.value = now;
        EvdevDecode(d, &ev, 1, emit, ctx);
    }
    input_event report = {};
    report.type = EV_SYN;
    report.code = SYN_REPORT;
    EvdevDecode(d, &report, 1, emit, ctx);
}

void FakeClose(void *h) {
    auto *dev = static_cast<FakeDevice *>(h);
    close(dev->fd);
    delete dev;
}

} // namespace

const EvdevOps kEvdevFake = {FakeDir, FakeOpen, FakeRead, FakeResync, FakeClose};

const EvdevOps *EvdevChosenOps() {
    const char *d = std::getenv("QUORVANE_EVDEV_DIR");
    return d && *d ? &kEvdevFake : &kEvdevKernel;
}
