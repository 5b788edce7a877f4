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
