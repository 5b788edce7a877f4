// What a recording holds, in numbers, and whether the program will load it.
#include "bytes.h"
#include "rectool.h"
#include <cinttypes>
#include <cstdio>

uint32_t RecordingFaults(const uint8_t *data, uint64_t size) {
    uint32_t faults = 0;
    if (size < 2) faults |= REC_TOO_SHORT;
    if (size >= 1 && data[0] != 0) faults |= REC_FIRST_BYTE;
    if (size % sizeof(EventRecord)) faults |= REC_NOT_WHOLE;
    return faults;
}

void Summarize(const uint8_t *data, uint64_t size, RecSummary *out) {
    *out = {};
    out->records = size / sizeof(EventRecord);
    out->trailing = size % sizeof(EventRecord);
    out->faults = RecordingFaults(data, size);
    uint32_t previousTime = 0;
    for (uint64_t i = 0; i < out->records; i++) {
        EventRecord r = RecordAt(data, i);
        out->byKind[KindIndex(r.message)]++;
        // Each step counts as the player waits it: the unsigned difference,
        // so a wrap of the tick count is an ordinary short step.
        if (i) out->duration += uint32_t(r.time - previousTime);
        previousTime = r.time;
        if (!IsPointerKind(r.message)) continue;
        int32_t x = int32_t(r.paramL), y = int32_t(r.paramH);
        if (!out->anyPointer) {
            out->minX = out->maxX = x;
            out->minY = out->maxY = y;
            out->anyPointer = true;
        }
        if (x < out->minX) out->minX = x;
        if (x > out->maxX) out->maxX = x;
        if (y < out->minY) out->minY = y;
        if (y > out->maxY) out->maxY = y;
    }
}

static void Line(std::string &out, const char *label, const char *value) {
    out += label;
    out += value;
    out += '\n';
}

void InfoText(const uint8_t *data, uint64_t size, const char *name, std::string &out) {
    RecSummary s;
    Summarize(data, size, &s);
    char buf[512];
    Line(out, "file:       ", name);
    std::snprintf(buf, sizeof buf, "%" PRIu64, s.records);
    Line(out, "records:    ", buf);
    std::snprintf(buf, sizeof buf, "%" PRIu64 " bytes", size);
    Line(out, "size:       ", buf);
    std::snprintf(buf, sizeof buf, "%" PRIu64 ".%03u s (%" PRIu64 " ms)", s.duration / 1000,
                  unsigned(s.duration % 1000), s.duration);
    Line(out, "duration:   ", buf);
    const uint64_t *k = s.byKind;
    std::snprintf(buf, sizeof buf,
                  "keydown %" PRIu64 ", keyup %" PRIu64 ", move %" PRIu64 ", ldown %" PRIu64
                  ", lup %" PRIu64 ", rdown %" PRIu64 ", rup %" PRIu64 ", wheel %" PRIu64
                  ", hwheel %" PRIu64 ", other %" PRIu64,
                  k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7], k[8], k[9]);
    Line(out, "kinds:      ", buf);
    if (s.anyPointer)
        std::snprintf(buf, sizeof buf, "x %d..%d, y %d..%d", int(s.minX), int(s.maxX), int(s.minY),
                      int(s.maxY));
    else
        std::snprintf(buf, sizeof buf, "none");
    Line(out, "pointer:    ", buf);
    if (!s.faults) {
        Line(out, "valid:      ", "yes");
        return;
    }
    std::string why = "no: ";
    const char *sep = "";
    if (s.faults & REC_TOO_SHORT) {
        why += "shorter than 2 bytes";
        sep = "; ";
    }
    if (s.faults & REC_FIRST_BYTE) {
        std::snprintf(buf, sizeof buf, "%sfirst byte is %u, not 0", sep, unsigned(data[0]));
        why += buf;
        sep = "; ";
    }
    if (s.faults & REC_NOT_WHOLE) {
        std::snprintf(buf, sizeof buf, "%ssize %" PRIu64 " is not a multiple of 20", sep, size);
        why += buf;
    }
    Line(out, "valid:      ", why.c_str());
}
