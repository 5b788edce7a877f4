// The text form of a recording: one record a line, every bit of it kept, so
// that build can give back the very bytes it came from.
#include "bytes.h"
#include "rectool.h"
#include "../engine/winconst.h"
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

// Appends to a line buffer; the longest line is well under its size.
struct Cursor {
    char *p;
    void Text(const char *s) {
        size_t n = std::strlen(s);
        std::memcpy(p, s, n);
        p += n;
    }
    void Dec(int64_t v) { p = std::to_chars(p, p + 24, v).ptr; }
    void Hex(uint32_t v) {
        *p++ = '0';
        *p++ = 'x';
        p = std::to_chars(p, p + 8, v, 16).ptr;
    }
};

const char HEXDIGITS[] = "0123456789abcdef";

} // namespace

void DumpText(const uint8_t *data, uint64_t size, const char *name, std::string &out) {
    uint64_t records = size / sizeof(EventRecord);
    // A file name may hold any byte; in a comment line it must not end the
    // line early.
    std::string shown = name ? name : "";
    for (char &ch : shown)
        if (static_cast<unsigned char>(ch) < 32 || ch == 127) ch = '?';
    char count[32];
    std::snprintf(count, sizeof count, "%" PRIu64, records);
    out.reserve(out.size() + shown.size() + records * 64 + 512);
    out += "# quorvane-rec dump of " + shown + ": " + count + " records\n";
    out += "# KIND FIELDS delay=MS time=TICK hwnd=ID; see 'quorvane-rec build --help'.\n"
           "# build keeps the first time stamp and adds the delays after it:\n"
           "# edit delay= to change timing, time= on later lines is not read.\n";
    char line[256];
    uint32_t previousTime = 0;
    for (uint64_t i = 0; i < records; i++) {
        EventRecord r = RecordAt(data, i);
        Cursor c{line};
        const char *kind = KindName(r.message);
        if (kind) {
            c.Text(kind);
            for (size_t n = std::strlen(kind); n < 8; n++)
                *c.p++ = ' ';
        } else {
            c.Text("msg=");
            c.Dec(r.message);
            *c.p++ = ' ';
        }
        if (IsKeyKind(r.message)) {
            uint32_t vk = r.paramL & 0xFF, scan = (r.paramL >> 8) & 0xFF;
            if (const char *key = KeyName(vk)) {
                c.Text("key=");
                c.Text(key);
                *c.p++ = ' ';
            }
            c.Text("vk=");
            c.Dec(vk);
            c.Text(" scan=");
            c.Dec(scan);
            // Bits the recorder never sets, shown only when a file has them.
            if (r.paramL >> 16) {
                c.Text(" highbits=");
                c.Hex(r.paramL >> 16);
            }
            if (r.paramH != scan) {
                c.Text(" paramH=");
                c.Dec(r.paramH);
            }
        } else if (IsWheelKind(r.message)) {
            // The sign always shows: which way the wheel went is the point.
            int32_t delta = int32_t(r.paramL);
            c.Text(r.message == WM_MOUSEWHEEL ? "dy=" : "dx=");
            if (delta > 0) *c.p++ = '+';
            c.Dec(delta);
            if (r.paramH) {
                c.Text(" paramH=");
                c.Dec(r.paramH);
            }
        } else if (IsPointerKind(r.message)) {
            c.Text("x=");
            c.Dec(int32_t(r.paramL));
            c.Text(" y=");
            c.Dec(int32_t(r.paramH));
        } else {
            c.Text("paramL=");
            c.Hex(r.paramL);
            c.Text(" paramH=");
            c.Hex(r.paramH);
        }
        c.Text(" delay=");
        c.Dec(i ? uint32_t(r.time - previousTime) : 0u);
        c.Text(" time=");
        c.Dec(r.time);
        c.Text(" hwnd=");
        c.Hex(r.hwnd);
        *c.p++ = '\n';
        out.append(line, size_t(c.p - line));
        previousTime = r.time;
    }
    uint64_t tail = size % sizeof(EventRecord);
    if (tail) {
        out += "# bytes after the last whole record:\ntrailing bytes=";
        for (uint64_t i = size - tail; i < size; i++) {
            out += HEXDIGITS[data[i] >> 4];
            out += HEXDIGITS[data[i] & 15];
        }
        out += '\n';
    }
}
