// Any command line through the argument split and the quote removal: the
// argument lies inside the line, starts past the program name and its
// blanks, and leaves no double quote behind.
#include "app/app.h"
#include "engine/text.h"
#include <cstdlib>
#include <cstring>
#include <string>

static void Check(bool ok) {
    if (!ok) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string line(reinterpret_cast<const char *>(data), size);
    const char *s = line.c_str();
    size_t len = std::strlen(s);
    const char *arg = ArgumentText(s);
    Check(arg >= s && arg <= s + len);
    // ASCII blanks and control characters never start the argument.
    Check(*arg == 0 || static_cast<unsigned char>(*arg) > 32);
    // A quoted program name ends at its closing quote, whatever it holds.
    if (s[0] == '"') {
        const char *close = std::strchr(s + 1, '"');
        Check(close ? arg > close : *arg == 0);
    } else if (len) {
        Check(arg > s);
    }
    std::string path(arg);
    RemoveQuotes(path.data());
    size_t quotes = 0;
    for (const char *p = arg; *p; p++)
        quotes += *p == '"';
    Check(std::strlen(path.c_str()) + quotes == std::strlen(arg));
    Check(!std::strchr(path.c_str(), '"'));
    return 0;
}
