// Any text through the number and name routines: ParseDecimal agrees with a
// plain 64-bit reading clamped to 32 bits, FormatDecimal reads back as the
// same value, and the in-place routines only ever shorten their text.
// ParseFixed (rates and seconds as typed) takes only what is in bounds, and
// what it takes is written back by FormatFixed as text it reads the same.
#include "engine/text.h"
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

static void Check(bool ok) {
    if (!ok) std::abort();
}

static int32_t Reference(const char *s) {
    size_t pos = 0;
    while (s[pos] && (s[pos] < '0' || s[pos] > '9'))
        pos++;
    if (!s[0]) return 0;
    bool negative = (pos ? s[pos - 1] : s[0]) == '-';
    int64_t v = 0;
    for (; s[pos] >= '0' && s[pos] <= '9'; pos++)
        if (v <= INT64_C(10000000000)) v = v * 10 + (s[pos] - '0');
    if (negative) v = -v;
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return int32_t(v);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    const char *s = text.c_str(); // ends at the first NUL, as a C text would
    int32_t v = ParseDecimal(s);
    Check(v == Reference(s));

    char buf[32];
    std::memset(buf, 'x', sizeof buf);
    FormatDecimal(v, buf);
    Check(std::strlen(buf) <= 11);
    Check(ParseDecimal(buf) == v);

    size_t len = std::strlen(s);
    std::string copy(s, len);
    char *c = copy.data();
    StripDirectory(c, '\\', '/', 0);
    size_t kept = std::strlen(c);
    Check(kept <= len && std::memcmp(c, s + len - kept, kept) == 0);
    Check(!std::strchr(c, '\\') && !std::strchr(c, '/'));
    std::string quoted(s, len);
    RemoveQuotes(quoted.data());
    Check(!std::strchr(quoted.c_str(), '"'));

    for (int decimals : {0, 2, 3}) {
        const int64_t max = decimals == 2 ? 1000 : 86400000;
        int64_t fixed = -1;
        if (!ParseFixed(s, decimals, max, &fixed)) continue;
        Check(fixed >= 0 && fixed <= max);
        for (const char *p = s; *p; p++)
            Check((*p >= '0' && *p <= '9') || *p == '.');
        char back[24];
        FormatFixed(fixed, decimals, back);
        int64_t again = -1;
        Check(ParseFixed(back, decimals, max, &again) && again == fixed);
    }
    return 0;
}
