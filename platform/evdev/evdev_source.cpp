// The set of open input devices. inotify on the folder tells of devices
// plugged in (and of the rights udev gives a node just after it appears);
// a read that finds the device gone closes it. Each device keeps its own
// state, so a key counts as down while any device holds it.
#include "evdev_source.h"
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <glib-unix.h>
#include <glib.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Device {
    std::string file;
    void *handle;
    int fd;
    EvdevInfo info;
    EvdevDecoder dec;
    guint watch;
};

const EvdevOps *g_ops = nullptr;
EvdevSourceSink g_sink = nullptr;
bool g_attach = false;
std::vector<Device *> g_devices;
int g_inotify = -1;
guint g_inotifyWatch = 0;

bool IsEventEntry(const char *name) {
    return std::strncmp(name, "event", 5) == 0;
}

struct EmitCtx {
    Device *dev;
};

// The device's stamp where it can be believed: on the monotonic clock, not
// ahead of now and not from long ago (a stand-in's zero, a clock that was
// not switched).
uint64_t Plausible(uint64_t us) {
    uint64_t now = uint64_t(g_get_monotonic_time());
    if (us == 0 || us > now || now - us > 5000000u) return now;
    return us;
}

void Emit(void *ctx, const EvdevChange *c) {
    Device *dev = static_cast<EmitCtx *>(ctx)->dev;
    if (!g_sink) return;
    EvdevChange stamped = *c;
    stamped.timeUs = Plausible(c->timeUs);
    g_sink(&stamped, dev->info.relative);
}

void CloseDevice(Device *dev) {
    if (dev->watch) g_source_remove(dev->watch);
    // What it held is let go with it: a key cannot stay down on a device
    // that is gone.
    EmitCtx ctx = {dev};
    for (unsigned code = 0; code <= KEY_MAX; code++)
        if (EvdevKeyHeld(&dev->dec, uint16_t(code))) {
            EvdevChange c = {};
            c.kind = EVDEV_KEY;
            c.code = uint16_t(code);
            Emit(&ctx, &c);
        }
    g_ops->close(dev->handle);
    delete dev;
}

void ReadDevice(Device *dev);

gboolean DeviceReady(gint, GIOCondition, gpointer data) {
    ReadDevice(static_cast<Device *>(data));
    return G_SOURCE_CONTINUE;
}

void Remove(size_t i) {
    Device *dev = g_devices[i];
    g_devices.erase(g_devices.begin() + long(i));
    CloseDevice(dev);
}

void ReadDevice(Device *dev) {
    EmitCtx ctx = {dev};
    if (g_ops->read(dev->handle, &dev->dec, Emit, &ctx)) return;
    for (size_t i = 0; i < g_devices.size(); i++)
        if (g_devices[i] == dev) {
            // Removing the watch that is being dispatched is allowed; it
            // runs no more.
            Remove(i);
            return;
        }
}

Device *Find(const char *file) {
    for (Device *d : g_devices)
        if (d->file == file) return d;
    return nullptr;
}

void TryOpen(const char *file) {
    if (!IsEventEntry(file) || Find(file)) return;
    std::string path = std::string(g_ops->dir()) + "/" + file;
    EvdevInfo info;
    int fd = -1;
    void *h = g_ops->open(path.c_str(), &info, &fd);
    if (!h) return;
    if (!info.keyboard && !info.pointer) {
        g_ops->close(h);
        return;
    }
    auto *dev = new Device{file, h, fd, info, {}, 0};
    EvdevDecoderInit(&dev->dec, info.held, info.numLock);
    g_devices.push_back(dev);
    if (g_attach)
        dev->watch =
            g_unix_fd_add(fd, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), DeviceReady, dev);
}

void DropGone(const char *file) {
    for (size_t i = 0; i < g_devices.size(); i++)
        if (g_devices[i]->file == file) {
            Remove(i);
            return;
        }
}

void ReadFolder() {
    if (g_inotify < 0) return;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        ssize_t n = read(g_inotify, buf, sizeof buf);
        if (n <= 0) return;
        for (ssize_t off = 0; off < n;) {
            auto *e = reinterpret_cast<inotify_event *>(buf + off);
            off += ssize_t(sizeof(inotify_event) + e->len);
            if (!e->len) continue;
            if (e->mask & (IN_DELETE | IN_MOVED_FROM))
                DropGone(e->name);
            else if (e->mask & (IN_CREATE | IN_ATTRIB | IN_MOVED_TO))
                TryOpen(e->name);
        }
    }
}

gboolean FolderReady(gint, GIOCondition, gpointer) {
    ReadFolder();
    return G_SOURCE_CONTINUE;
}

void Count(EvdevAccess *a, const EvdevInfo &info) {
    a->readable++;
    if (info.keyboard) a->keyboards++;
    if (info.pointer) a->pointers++;
    if (info.relative) a->relativePointers++;
}

} // namespace

EvdevAccess EvdevProbeAccess(const EvdevOps *ops) {
    EvdevAccess a = {};
    DIR *d = opendir(ops->dir());
    if (!d) return a;
    a.dirExists = true;
    while (dirent *e = readdir(d)) {
        if (!IsEventEntry(e->d_name)) continue;
        a.found++;
        std::string path = std::string(ops->dir()) + "/" + e->d_name;
        EvdevInfo info;
        int fd = -1;
        void *h = ops->open(path.c_str(), &info, &fd);
        if (!h) {
            if (errno == EACCES || errno == EPERM) a.denied++;
            continue;
        }
        Count(&a, info);
        ops->close(h);
    }
    closedir(d);
    return a;
}

void EvdevSourceOpen(const EvdevOps *ops, EvdevSourceSink sink, bool attach) {
    EvdevSourceClose();
    g_ops = ops;
    g_sink = sink;
    g_attach = attach;
    // Watch first, then list: a device that appears in between is seen
    // by one of the two (TryOpen takes it once).
    g_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (g_inotify >= 0 &&
        inotify_add_watch(g_inotify, ops->dir(),
                          IN_CREATE | IN_ATTRIB | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) < 0) {
        close(g_inotify);
        g_inotify = -1;
    }
    if (g_inotify >= 0 && attach)
        g_inotifyWatch = g_unix_fd_add(g_inotify, G_IO_IN, FolderReady, nullptr);
    if (DIR *d = opendir(ops->dir())) {
        while (dirent *e = readdir(d))
            TryOpen(e->d_name);
        closedir(d);
    }
}

void EvdevSourceClose() {
    EvdevSourceSink sink = g_sink;
    g_sink = nullptr; // closing is no change the recorder should see
    while (!g_devices.empty())
        Remove(g_devices.size() - 1);
    g_sink = sink;
    if (g_inotifyWatch) g_source_remove(g_inotifyWatch);
    g_inotifyWatch = 0;
    if (g_inotify >= 0) close(g_inotify);
    g_inotify = -1;
    g_sink = nullptr;
}

void EvdevSourcePump() {
    if (!g_ops) return;
    ReadFolder();
    // A read may close its device: walk a copy.
    std::vector<Device *> now = g_devices;
    for (Device *d : now)
        if (Find(d->file.c_str()) == d) ReadDevice(d);
}

EvdevAccess EvdevSourceAccess() {
    EvdevAccess a = {};
    a.dirExists = g_ops != nullptr;
    for (Device *d : g_devices)
        Count(&a, d->info);
    a.found = a.readable;
    return a;
}

bool EvdevSourceKeyDown(uint16_t code) {
    for (Device *d : g_devices)
        if (EvdevKeyHeld(&d->dec, code)) return true;
    return false;
}

void EvdevSourceForEachHeld(void (*fn)(uint16_t code, void *ctx), void *ctx) {
    for (Device *d : g_devices)
        for (int byte = 0; byte < kEvdevKeyBytes; byte++)
            for (int bit = 0; d->dec.keys[byte] && bit < 8; bit++)
                if ((d->dec.keys[byte] >> bit) & 1) fn(uint16_t(byte * 8 + bit), ctx);
}

bool EvdevSourceNumLock() {
    bool any = false;
    for (Device *d : g_devices)
        if (d->info.keyboard) {
            if (d->dec.numLock) return true;
            any = true;
        }
    return !any;
}

void EvdevSourceResync() {
    std::vector<Device *> now = g_devices;
    for (Device *d : now) {
        if (Find(d->file.c_str()) != d) continue;
        EmitCtx ctx = {d};
        g_ops->resync(d->handle, &d->dec, Emit, &ctx);
    }
}
