// Small text routines of the start-up code, shared by every layer.
#pragma once
#include <cstdint>

// First run of digits, negated when the character before it is '-';
// saturates at the 32-bit limits instead of wrapping. Null or empty gives 0.
int32_t ParseDecimal(const char *text);
// Decimal text of value into buf (at least 12 bytes).
void FormatDecimal(int32_t value, char *buf);
// Keeps, in place, what follows the last of the separators (0 = none).
void StripDirectory(char *text, char s1, char s2, char s3);
// Removes every double quote in place.
void RemoveQuotes(char *text);
// True when text ends in tail, ASCII letters compared without regard to case.
bool EndsWithNoCase(const char *text, const char *tail);
// A plain decimal number with at most one point ("2", "0.5", ".25", "1.")
// as an integer in units of 10^-decimals, rounded half up on the first
// digit dropped. No sign, blank or other character; false when the text is
// not such a number or its value exceeds max.
bool ParseFixed(const char *text, int decimals, int64_t max, int64_t *value);
// value / 10^decimals as the shortest decimal text ("1.5", "0.25", "2").
// out holds at least 24 bytes.
void FormatFixed(int64_t value, int decimals, char *out);
