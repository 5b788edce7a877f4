#include "text.h"
#include <cstring>

int32_t ParseDecimal(const char *text) {
    if (!text || !text[0]) return 0;
    size_t pos = 0;
    while (text[pos] && (text[pos] < '0' || text[pos] > '9'))
        pos++;
    // The sign is whatever stands right before the digits; at the very start
    // the first character stands in for it.
    char sign = pos ? text[pos - 1] : text[0];
    bool negative = sign == '-';
    // The magnitude stops growing at 2^31: a long run of digits means "as
    // much as fits", never a wrapped value.
    const uint32_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    uint32_t value = 0;
    for (; text[pos] >= '0' && text[pos] <= '9'; pos++) {
        uint32_t digit = uint32_t(text[pos] - '0');
        if (value > (limit - digit) / 10) {
            value = limit;
            continue;
        }
        value = value * 10 + digit;
    }
    if (negative) return value == 0x80000000u ? INT32_MIN : -int32_t(value);
    return int32_t(value);
}

void FormatDecimal(int32_t value, char *buf) {
    char digits[12];
    int n = 0;
    // Unsigned magnitude, so the most negative value has one too.
    uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    char *out = buf;
    if (value < 0) *out++ = '-';
    while (n)
        *out++ = digits[--n];
    *out = 0;
}

void StripDirectory(char *text, char s1, char s2, char s3) {
    size_t len = std::strlen(text);
    for (size_t i = len; i-- > 0;) {
        char c = text[i];
        if ((s1 && c == s1) || (s2 && c == s2) || (s3 && c == s3)) {
            std::memmove(text, text + i + 1, len - i);
            return;
        }
    }
}

void RemoveQuotes(char *text) {
    char *out = text;
    for (const char *in = text; *in; in++)
        if (*in != '"') *out++ = *in;
    *out = 0;
}

static char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EndsWithNoCase(const char *text, const char *tail) {
    size_t n = std::strlen(text), m = std::strlen(tail);
    if (n < m) return false;
    for (size_t i = 0; i < m; i++)
        if (AsciiLower(text[n - m + i]) != AsciiLower(tail[i])) return false;
    return true;
}

bool ParseFixed(const char *text, int decimals, int64_t max, int64_t *value) {
    if (!text) return false;
    int64_t v = 0;
    int digits = 0, fraction = -1; // digits after the point; -1 before it
    bool roundUp = false;
    for (const char *p = text; *p; p++) {
        if (*p == '.' && fraction < 0) {
            fraction = 0;
            continue;
        }
        if (*p < '0' || *p > '9') return false;
        digits++;
        if (fraction >= decimals) {
            // Only the first digit past the kept ones decides the rounding.
            if (fraction == decimals) roundUp = *p >= '5';
            fraction++;
            continue;
        }
        if (fraction >= 0) fraction++;
        // Past max already: the rest cannot bring it back, and the sum
        // must not grow out of 64 bits on a long run of digits.
        if (v <= max) v = v * 10 + (*p - '0');
    }
    if (!digits) return false;
    for (int kept = fraction < 0 ? 0 : (fraction < decimals ? fraction : decimals); kept < decimals;
         kept++)
        if (v <= max) v *= 10;
    if (roundUp) v++;
    if (v > max) return false;
    *value = v;
    return true;
}

void FormatFixed(int64_t value, int decimals, char *out) {
    int64_t scale = 1;
    for (int i = 0; i < decimals; i++)
        scale *= 10;
    bool negative = value < 0;
    uint64_t magnitude = negative ? 0u - uint64_t(value) : uint64_t(value);
    char *p = out;
    if (negative) *p++ = '-';
    uint64_t whole = magnitude / uint64_t(scale), part = magnitude % uint64_t(scale);
    char digits[24];
    int n = 0;
    do {
        digits[n++] = char('0' + whole % 10);
        whole /= 10;
    } while (whole);
    while (n)
        *p++ = digits[--n];
    if (part) {
        *p++ = '.';
        for (int64_t unit = scale / 10; unit && part; unit /= 10) {
            *p++ = char('0' + part / uint64_t(unit));
            part %= uint64_t(unit);
        }
    }
    *p = 0;
}
