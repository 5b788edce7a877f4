// The yardstick of the playback bench: the plainest player of a .rec file
// that keeps its schedule. Every record is sent through XTest at its own
// absolute deadline on the monotonic clock (start + 25 ms + its distance
// from the first record), one pointer motion per move, nothing else.
// Letter keys only, which is all the bench's recordings hold. With a second
// file it also drives the recording bench: each event's send time goes
// there, one line each, in microseconds of the monotonic clock.
//
// usage: reference_player FILE.rec [SENT-TIMES]
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

struct Record {
    uint32_t message, paramL, paramH, time, hwnd;
};

int main(int argc, char **argv) {
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    if (argc < 2) return 2;
    FILE *f = std::fopen(argv[1], "rb");
    Display *d = XOpenDisplay(nullptr);
    if (!f || !d) return 1;
    std::vector<Record> recs;
    Record r;
    while (std::fread(&r, sizeof r, 1, f) == 1 && r.message)
        recs.push_back(r);
    std::fclose(f);
    if (recs.empty()) return 0;
    FILE *sent = argc > 2 ? std::fopen(argv[2], "w") : nullptr;
    std::vector<int64_t> sentUs;
    sentUs.reserve(recs.size());
    for (const Record &rec : recs) {
        int64_t offset = int64_t(25) + int32_t(rec.time - recs[0].time);
        timespec due = start;
        due.tv_sec += time_t(offset / 1000);
        due.tv_nsec += long(offset % 1000) * 1000000L;
        if (due.tv_nsec >= 1000000000L) {
            due.tv_sec++;
            due.tv_nsec -= 1000000000L;
        }
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) != 0) {
        }
        switch (rec.message) {
        case 0x200: XTestFakeMotionEvent(d, -1, int(rec.paramL), int(rec.paramH), 0); break;
        case 0x100:
        case 0x101: {
            char letter[2] = {char((rec.paramL & 0xFF) | 0x20), 0};
            KeyCode code = XKeysymToKeycode(d, XStringToKeysym(letter));
            XTestFakeKeyEvent(d, code, rec.message == 0x100, 0);
            break;
        }
        case 0x201:
        case 0x202: XTestFakeButtonEvent(d, 1, rec.message == 0x201, 0); break;
        default: break;
        }
        XFlush(d);
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        sentUs.push_back(int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
    }
    XSync(d, False);
    if (sent) {
        for (int64_t us : sentUs)
            std::fprintf(sent, "%lld\n", (long long)us);
        std::fclose(sent);
    }
    return 0;
}
