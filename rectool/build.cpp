// The text form back into record bytes. Every line is checked before
// anything is kept, and a file with any bad line gives no bytes at all.
#include "bytes.h"
#include "rectool.h"
#include "../engine/winconst.h"
#include <charconv>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string_view>

namespace {

struct Span {
    const char *p;
    size_t n;
    bool Is(const char *s) const { return std::strlen(s) == n && std::memcmp(p, s, n) == 0; }
};

// Joins message pieces. (Chains of std::string + trip a false alarm of
// GCC 12's overlap warning.)
std::string Cat(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (std::string_view p : pieces)
        out.append(p.data(), p.size());
    return out;
}

// A token fit for one line of an error message: control bytes shown as '?',
// long ones cut.
std::string Shown(Span s) {
    std::string out;
    for (size_t i = 0; i < s.n && i < 40; i++) {
        unsigned char c = static_cast<unsigned char>(s.p[i]);
        out += c < 32 || c == 127 ? '?' : char(c);
    }
    if (s.n > 40) out += "...";
    return out;
}

// The fields a line may carry. Each is set at most once.
enum Field {
    F_DELAY,
    F_TIME,
    F_HWND,
    F_KEY,
    F_VK,
    F_SCAN,
    F_HIGH,
    F_X,
    F_Y,
    F_PL,
    F_PH,
    F_BYTES,
    F_DY,
    F_DX,
    F_COUNT
};
const char *const FIELD_NAMES[F_COUNT] = {"delay",  "time",     "hwnd", "key", "vk",
                                          "scan",   "highbits", "x",    "y",   "paramL",
                                          "paramH", "bytes",    "dy",   "dx"};
struct Range {
    int64_t lo, hi;
};
const Range FIELD_RANGES[F_COUNT] = {{0, 0xFFFFFFFF},
                                     {0, 0xFFFFFFFF},
                                     {0, 0xFFFFFFFF},
                                     {0, 0},
                                     {0, 255},
                                     {0, 255},
                                     {0, 0xFFFF},
                                     {INT32_MIN, INT32_MAX},
                                     {INT32_MIN, INT32_MAX},
                                     {0, 0xFFFFFFFF},
                                     {0, 0xFFFFFFFF},
                                     {0, 0},
                                     {INT32_MIN, INT32_MAX},
                                     {INT32_MIN, INT32_MAX}};

enum Shape { SHAPE_KEY, SHAPE_POINTER, SHAPE_WHEEL, SHAPE_HWHEEL, SHAPE_RAW, SHAPE_TRAILING };
bool Allowed(Shape shape, int f) {
    if (f <= F_HWND) return shape != SHAPE_TRAILING;
    switch (shape) {
    case SHAPE_KEY: return f == F_KEY || f == F_VK || f == F_SCAN || f == F_HIGH || f == F_PH;
    case SHAPE_POINTER: return f == F_X || f == F_Y;
    case SHAPE_WHEEL: return f == F_DY || f == F_PH;
    case SHAPE_HWHEEL: return f == F_DX || f == F_PH;
    case SHAPE_RAW: return f == F_PL || f == F_PH;
    case SHAPE_TRAILING: return f == F_BYTES;
    }
    return false;
}

// Decimal with an optional sign, or hexadecimal after 0x.
bool ParseNumber(Span s, int64_t *value) {
    const char *p = s.p, *end = s.p + s.n;
    bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) p++;
    int base = 10;
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        p += 2;
        base = 16;
    }
    if (p == end || *p == '-' || *p == '+') return false;
    uint64_t v = 0;
    auto r = std::from_chars(p, end, v, base);
    if (r.ec == std::errc::result_out_of_range)
        v = UINT64_MAX; // out of every range below
    else if (r.ec != std::errc() || r.ptr != end)
        return false;
    if (v > uint64_t(INT64_MAX)) v = uint64_t(INT64_MAX);
    *value = negative ? -int64_t(v) : int64_t(v);
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct Builder {
    const char *name;
    size_t line = 0;
    size_t maxErrors;
    size_t errorCount = 0;
    std::vector<std::string> *errors;
    std::vector<uint8_t> *out;
    bool anyRecord = false;
    bool trailingSeen = false;
    uint32_t previousTime = 0;

    void Error(const std::string &what) {
        if (errorCount++ < maxErrors)
            errors->push_back(Cat({name, ":", std::to_string(line), ": ", what}));
    }

    void ParseLine(const char *p, size_t n);
};

void Builder::ParseLine(const char *p, size_t n) {
    // Comments run from '#' to the end of the line; no value holds one.
    if (const void *hash = std::memchr(p, '#', n)) n = size_t(static_cast<const char *>(hash) - p);
    std::vector<Span> tokens;
    for (size_t i = 0; i < n;) {
        while (i < n && (p[i] == ' ' || p[i] == '\t' || p[i] == '\r'))
            i++;
        size_t start = i;
        while (i < n && p[i] != ' ' && p[i] != '\t' && p[i] != '\r')
            i++;
        if (i > start) tokens.push_back({p + start, i - start});
    }
    if (tokens.empty()) return;

    if (trailingSeen) {
        Error("no record may follow the trailing bytes");
        return;
    }
    Span kind = tokens[0];
    uint32_t message = 0;
    Shape shape;
    if (kind.n > 4 && std::memcmp(kind.p, "msg=", 4) == 0) {
        int64_t v;
        if (!ParseNumber({kind.p + 4, kind.n - 4}, &v) || v < 0 || v > 0xFFFFFFFF) {
            Error(Cat({"'", Shown(kind), "' needs a number from 0 to 4294967295"}));
            return;
        }
        message = uint32_t(v);
        shape = SHAPE_RAW;
    } else if (kind.Is("trailing")) {
        shape = SHAPE_TRAILING;
    } else if (KindByName(kind.p, kind.n, &message)) {
        shape = IsKeyKind(message)          ? SHAPE_KEY
                : message == WM_MOUSEWHEEL  ? SHAPE_WHEEL
                : message == WM_MOUSEHWHEEL ? SHAPE_HWHEEL
                                            : SHAPE_POINTER;
    } else {
        Error(Cat({"unknown kind '", Shown(kind),
                   "' (keydown, keyup, move, ldown, lup, rdown, rup, wheel, hwheel, msg=N or "
                   "trailing)"}));
        return;
    }

    bool given[F_COUNT] = {};
    int64_t value[F_COUNT] = {};
    Span keyName = {nullptr, 0}, bytes = {nullptr, 0};
    bool bad = false;
    std::string kindText = shape == SHAPE_RAW ? std::string("msg=N") : std::string(kind.p, kind.n);
    for (size_t t = 1; t < tokens.size(); t++) {
        Span tok = tokens[t];
        const char *eq = static_cast<const char *>(std::memchr(tok.p, '=', tok.n));
        if (!eq) {
            Error(Cat({"'", Shown(tok), "' is not FIELD=VALUE"}));
            bad = true;
            continue;
        }
        Span key = {tok.p, size_t(eq - tok.p)}, val = {eq + 1, tok.n - key.n - 1};
        int f = 0;
        while (f < F_COUNT && !key.Is(FIELD_NAMES[f]))
            f++;
        if (f == F_COUNT || !Allowed(shape, f)) {
            Error(Cat({"'", Shown(key), "' is not a field of ", kindText}));
            bad = true;
            continue;
        }
        if (given[f]) {
            Error(Cat({FIELD_NAMES[f], " is given twice"}));
            bad = true;
            continue;
        }
        given[f] = true;
        if (f == F_KEY) {
            keyName = val;
            continue;
        }
        if (f == F_BYTES) {
            bytes = val;
            continue;
        }
        if (!ParseNumber(val, &value[f])) {
            Error(Cat({FIELD_NAMES[f], "=", Shown(val), " is not a number"}));
            bad = true;
        } else if (value[f] < FIELD_RANGES[f].lo || value[f] > FIELD_RANGES[f].hi) {
            Error(Cat({FIELD_NAMES[f], "=", Shown(val), " is out of range (",
                       std::to_string(FIELD_RANGES[f].lo), " to ",
                       std::to_string(FIELD_RANGES[f].hi), ")"}));
            bad = true;
        }
    }
    if (bad) return;

    if (shape == SHAPE_TRAILING) {
        bool hex = bytes.n >= 2 && bytes.n <= 38 && bytes.n % 2 == 0;
        for (size_t i = 0; hex && i < bytes.n; i++)
            hex = HexValue(bytes.p[i]) >= 0;
        if (!hex) {
            Error("trailing needs bytes= with 1 to 19 bytes in hex");
            return;
        }
        for (size_t i = 0; i < bytes.n; i += 2)
            out->push_back(uint8_t(HexValue(bytes.p[i]) * 16 + HexValue(bytes.p[i + 1])));
        trailingSeen = true;
        return;
    }

    uint32_t paramL = 0, paramH = 0;
    if (shape == SHAPE_KEY) {
        int64_t vk = value[F_VK];
        if (given[F_KEY]) {
            int named = KeyByName(keyName.p, keyName.n);
            if (named < 0) {
                Error(Cat({"key=", Shown(keyName), " is not a key name"}));
                return;
            }
            if (given[F_VK] && named != vk) {
                Error(Cat({"key=", Shown(keyName), " is vk ", std::to_string(named),
                           ", not vk=", std::to_string(vk)}));
                return;
            }
            vk = named;
        } else if (!given[F_VK]) {
            Error(Cat({kindText, " needs key= or vk="}));
            return;
        }
        uint32_t scan = uint32_t(value[F_SCAN]);
        paramL = uint32_t(vk) | scan << 8 | uint32_t(value[F_HIGH]) << 16;
        paramH = given[F_PH] ? uint32_t(value[F_PH]) : scan;
    } else if (shape == SHAPE_POINTER) {
        if (!given[F_X] || !given[F_Y]) {
            Error(Cat({kindText, " needs x= and y="}));
            return;
        }
        paramL = uint32_t(int32_t(value[F_X]));
        paramH = uint32_t(int32_t(value[F_Y]));
    } else if (shape == SHAPE_WHEEL || shape == SHAPE_HWHEEL) {
        int f = shape == SHAPE_WHEEL ? F_DY : F_DX;
        if (!given[f]) {
            Error(Cat({kindText, " needs ", FIELD_NAMES[f], "="}));
            return;
        }
        paramL = uint32_t(int32_t(value[f]));
        paramH = uint32_t(value[F_PH]);
    } else {
        paramL = uint32_t(value[F_PL]);
        paramH = uint32_t(value[F_PH]);
    }
    // The first record keeps its own time stamp; every later one is the
    // previous stamp plus its delay, wrapping like the tick count. A dump's
    // delays are those very differences, so unedited text gives back every
    // stamp, and an edited delay moves all the records after it.
    uint32_t time = anyRecord ? previousTime + uint32_t(value[F_DELAY]) : uint32_t(value[F_TIME]);
    anyRecord = true;
    previousTime = time;
    uint8_t record[20];
    PutLe32(record, message);
    PutLe32(record + 4, paramL);
    PutLe32(record + 8, paramH);
    PutLe32(record + 12, time);
    PutLe32(record + 16, uint32_t(value[F_HWND]));
    out->insert(out->end(), record, record + 20);
}

} // namespace

bool BuildRecording(const char *text, size_t length, const char *name, std::vector<uint8_t> &out,
                    std::vector<std::string> &errors, size_t maxErrors) {
    out.clear();
    Builder b;
    b.name = name ? name : "";
    b.maxErrors = maxErrors;
    b.errors = &errors;
    b.out = &out;
    out.reserve(length / 3);
    for (size_t i = 0; i < length;) {
        const char *nl = static_cast<const char *>(std::memchr(text + i, '\n', length - i));
        size_t end = nl ? size_t(nl - text) : length;
        b.line++;
        b.ParseLine(text + i, end - i);
        i = end + 1;
    }
    if (b.errorCount > maxErrors)
        errors.push_back(
            Cat({b.name, ": ", std::to_string(b.errorCount - maxErrors), " more errors"}));
    if (b.errorCount) {
        out.clear();
        return false;
    }
    return true;
}
