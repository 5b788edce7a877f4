// Any command line through the argument split, the quote removal and the
// option parser: the argument lies inside the line, starts past the program
// name and its blanks, and leaves no double quote behind; the parser either
// refuses with a message or hands back values within their bounds and a
// recording's name inside the text it was given.
#include "app/app.h"
#include "app/cmdline.h"
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

    for (bool fileOptional : {false, true}) {
        std::string text(arg);
        CommandLine cl;
        CommandLineVerdict v = ParseCommandLine(text.data(), fileOptional, &cl);
        if (v == CMDLINE_BAD) {
            Check(std::strncmp(cl.error, "quorvane: ", 10) == 0);
            Check(std::strlen(cl.error) < sizeof cl.error);
            continue;
        }
        Check(v == CMDLINE_RUN || v == CMDLINE_HELP);
        Check(cl.ratePercent == 0 || (cl.ratePercent >= RATE_MIN && cl.ratePercent <= RATE_MAX));
        Check(cl.maxPauseMs >= -1 && cl.maxPauseMs <= MAX_PAUSE_LIMIT_MS);
        Check(cl.repeatCount >= 0);
        if (v == CMDLINE_HELP) continue;
        Check(!cl.path[0] || (cl.path >= text.c_str() && cl.path < text.c_str() + text.size()));
        Check(!std::strchr(cl.path, '"'));
        Check(cl.path[0] || fileOptional || !HasPlaybackOptions(cl));
    }
    return 0;
}
