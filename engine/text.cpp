#include "text.h"
int32_t ParseDecimal(const char *) {
    return 0;
}
void FormatDecimal(int32_t, char *buf) {
    buf[0] = 0;
}
void StripDirectory(char *, char, char, char) {}
void RemoveQuotes(char *) {}
