// The command line as a table of options. The argument text is split into
// blank-separated words (double quotes group and are dropped, as on the
// Windows command line); the first word that is no option starts the
// recording's name, which runs to the end of the text, blanks included, as
// the whole argument always did.
#include "cmdline.h"
#include "app.h"
#include "../engine/eventlist.h"
#include "../engine/text.h"
#include "../platform/files.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Options that share a bit cannot be given together.
constexpr uint32_t EXCLUSIVE_PASSES = 1;
constexpr uint32_t EXCLUSIVE_ASK = 2;
// An option that asks for something other than a playback, so no
// recording needs to be named.
constexpr uint32_t OPT_NO_FILE = 1;
// An option that is the whole start: it asks and ends, so a recording or
// the playback's options beside it would be left unused.
constexpr uint32_t OPT_ALONE = 2;

struct Option {
    const char *name;  // as typed
    const char *value; // the value's name in the usage; null for a switch
    const char *help;
    uint32_t exclusive;
    uint32_t flags;
    // Takes the value (null for a switch); false when it is not one.
    bool (*take)(CommandLine &cl, const char *value);
    const char *wanted; // what a value must be, for the message
};

bool TakeRate(CommandLine &cl, const char *v) {
    return ParseRate(v, &cl.ratePercent);
}
bool TakeMaxPause(CommandLine &cl, const char *v) {
    return ParseSeconds(v, &cl.maxPauseMs);
}
bool TakeRepeat(CommandLine &cl, const char *v) {
    // A count has no fraction to round away.
    int64_t n = 0;
    if (std::strchr(v, '.') || !ParseFixed(v, 0, INT32_MAX, &n) || n < 1) return false;
    cl.repeatCount = int32_t(n);
    return true;
}
bool TakeContinuous(CommandLine &cl, const char *) {
    cl.continuous = true;
    return true;
}
bool TakeFast(CommandLine &cl, const char *) {
    cl.fast = true;
    return true;
}
bool TakeHelp(CommandLine &cl, const char *) {
    cl.help = true;
    return true;
}
bool TakeRecord(CommandLine &cl, const char *) {
    cl.control = CONTROL_RECORD;
    return true;
}
bool TakePlay(CommandLine &cl, const char *) {
    cl.control = CONTROL_PLAY;
    return true;
}
bool TakeStop(CommandLine &cl, const char *) {
    cl.control = CONTROL_STOP;
    return true;
}
bool TakeCheck(CommandLine &cl, const char *) {
    cl.check = true;
    return true;
}

const Option options[] = {
    {"--rate", "R", "play at R times the recorded pace, 0.1 to 10", 0, 0, TakeRate,
     "a rate from 0.1 to 10"},
    {"--max-pause", "SECONDS",
     "wait no longer than this between two events, after the rate; 0: no limit", 0, 0, TakeMaxPause,
     "a number of seconds from 0 to 86400"},
    {"--repeat", "N", "play the recording N times", EXCLUSIVE_PASSES, 0, TakeRepeat,
     "a whole number of passes from 1"},
    {"--continuous", nullptr, "play it until stopped", EXCLUSIVE_PASSES, 0, TakeContinuous,
     nullptr},
    {"--fast", nullptr, "fast speed: runs of pointer moves thinned, the rest 1 ms apart", 0, 0,
     TakeFast, nullptr},
    {"--record", nullptr, "the running toolbar starts or stops a recording, as its Rec button",
     EXCLUSIVE_ASK, OPT_NO_FILE | OPT_ALONE, TakeRecord, nullptr},
    {"--play", nullptr, "the running toolbar plays its recording, as its Play button",
     EXCLUSIVE_ASK, OPT_NO_FILE | OPT_ALONE, TakePlay, nullptr},
    {"--stop", nullptr, "the running toolbar stops what it plays or records", EXCLUSIVE_ASK,
     OPT_NO_FILE | OPT_ALONE, TakeStop, nullptr},
    {"--check", nullptr, "say what works on this desktop: playback, recording, hotkeys",
     EXCLUSIVE_ASK, OPT_NO_FILE | OPT_ALONE, TakeCheck, nullptr},
    {"--help", nullptr, "show this text", 0, OPT_NO_FILE, TakeHelp, nullptr},
};
constexpr int OPTION_COUNT = int(sizeof options / sizeof options[0]);
static_assert(OPTION_COUNT <= 32, "one bit of CommandLine::given per option");

bool IsBlank(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u != 0 && u <= 32;
}

const char *SkipBlanks(const char *p) {
    while (IsBlank(*p))
        p++;
    return p;
}

// One word from p: quotes group blanks into it and are dropped. At most
// size - 1 characters are kept; *cut tells when more were left out.
// Returns where the word ends.
const char *ReadWord(const char *p, char *out, uint32_t size, bool *cut) {
    uint32_t n = 0;
    bool quoted = false;
    *cut = false;
    for (; *p && (quoted || !IsBlank(*p)); p++) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (n + 1 < size)
            out[n++] = *p;
        else
            *cut = true;
    }
    out[n] = 0;
    return p;
}

// The text from p to the end, without its quotes, names an existing file.
bool NamesAFile(const char *p) {
    uint32_t length = uint32_t(std::strlen(p));
    char *path = static_cast<char *>(AllocZeroed(length + 1, 1));
    if (!path) return false;
    std::memcpy(path, p, length);
    RemoveQuotes(path);
    bool file = path[0] && PlatFileKind(path) == 0;
    FreeBlock(path);
    return file;
}

const Option *FindOption(const char *word, size_t length) {
    for (const Option &o : options)
        if (std::strlen(o.name) == length && std::strncmp(o.name, word, length) == 0) return &o;
    return nullptr;
}

CommandLineVerdict Refuse(CommandLine *out, const char *what) {
    std::snprintf(out->error, sizeof out->error, "quorvane: %s\nTry \"quorvane --help\".", what);
    return CMDLINE_BAD;
}

} // namespace

bool ParseRate(const char *text, int32_t *percent) {
    if (!text) return false;
    // "2x" as the menu writes it reads as 2.
    char plain[32];
    size_t n = std::strlen(text);
    if (n && (text[n - 1] == 'x' || text[n - 1] == 'X')) n--;
    if (n >= sizeof plain) return false;
    std::memcpy(plain, text, n);
    plain[n] = 0;
    int64_t v = 0;
    if (!ParseFixed(plain, 2, RATE_MAX, &v) || v < RATE_MIN) return false;
    *percent = int32_t(v);
    return true;
}

bool ParseSeconds(const char *text, int32_t *ms) {
    int64_t v = 0;
    if (!ParseFixed(text, 3, MAX_PAUSE_LIMIT_MS, &v)) return false;
    *ms = int32_t(v);
    return true;
}

bool HasPlaybackOptions(const CommandLine &cl) {
    return cl.ratePercent || cl.maxPauseMs >= 0 || cl.repeatCount || cl.continuous || cl.fast;
}

CommandLineVerdict ParseCommandLine(char *text, bool fileOptional, CommandLine *out) {
    std::memset(out, 0, sizeof *out);
    out->maxPauseMs = -1;
    out->path = "";
    char *p = const_cast<char *>(SkipBlanks(text));
    // A whole text that names a file is that file, even one named like an
    // option: nothing that played before is read differently now.
    if (p[0] == '-' || p[0] == '"') {
        if (NamesAFile(p)) {
            RemoveQuotes(p);
            out->path = p;
            return CMDLINE_RUN;
        }
    }
    char *rest = nullptr; // where the recording's name starts
    bool needsFile = false;
    for (;;) {
        p = const_cast<char *>(SkipBlanks(p));
        if (!*p) break;
        char word[64];
        bool cut = false;
        char *end = const_cast<char *>(ReadWord(p, word, sizeof word, &cut));
        if (word[0] != '-' || word[1] == 0) {
            rest = p;
            break;
        }
        if (std::strcmp(word, "--") == 0 && !cut) {
            rest = const_cast<char *>(SkipBlanks(end));
            break;
        }
        const char *equals = std::strchr(word, '=');
        size_t nameLength = equals ? size_t(equals - word) : std::strlen(word);
        const Option *o = cut ? nullptr : FindOption(word, nameLength);
        if (!o) {
            // An existing file whose name looks like an option plays.
            if (NamesAFile(p)) {
                rest = p;
                break;
            }
            char why[120];
            std::snprintf(why, sizeof why, "unknown option \"%.60s%s\"", word, cut ? "..." : "");
            return Refuse(out, why);
        }
        int index = int(o - options);
        char why[160];
        if (out->given & (1u << index)) {
            std::snprintf(why, sizeof why, "%s is given twice", o->name);
            return Refuse(out, why);
        }
        for (int i = 0; i < OPTION_COUNT; i++)
            if ((out->given & (1u << i)) && (options[i].exclusive & o->exclusive)) {
                std::snprintf(why, sizeof why, "%s and %s cannot be given together",
                              options[i].name, o->name);
                return Refuse(out, why);
            }
        out->given |= 1u << index;
        p = end;
        const char *value = nullptr;
        char valueWord[64];
        if (o->value) {
            if (equals) {
                value = equals + 1;
            } else {
                p = const_cast<char *>(SkipBlanks(p));
                if (!*p) {
                    std::snprintf(why, sizeof why, "%s needs a value: %s", o->name, o->wanted);
                    return Refuse(out, why);
                }
                p = const_cast<char *>(ReadWord(p, valueWord, sizeof valueWord, &cut));
                value = valueWord;
            }
            if (cut || !o->take(*out, value)) {
                std::snprintf(why, sizeof why, "%s takes %s, not \"%.40s%s\"", o->name, o->wanted,
                              value, cut ? "..." : "");
                return Refuse(out, why);
            }
        } else {
            if (equals) {
                std::snprintf(why, sizeof why, "%s takes no value", o->name);
                return Refuse(out, why);
            }
            o->take(*out, nullptr);
        }
        if (!(o->flags & OPT_NO_FILE)) needsFile = true;
        // The usage answers the whole line, whatever else it holds.
        if (out->help) return CMDLINE_HELP;
    }
    if (rest) {
        RemoveQuotes(rest);
        out->path = rest;
    }
    for (int i = 0; i < OPTION_COUNT; i++)
        if ((out->given & (1u << i)) && (options[i].flags & OPT_ALONE) &&
            (out->path[0] || HasPlaybackOptions(*out))) {
            char why[160];
            std::snprintf(why, sizeof why,
                          "%s stands alone: no recording or playback options with it",
                          options[i].name);
            return Refuse(out, why);
        }
    if (needsFile && !out->path[0] && !fileOptional)
        return Refuse(out, "name the recording to play after the options");
    return CMDLINE_RUN;
}

// Appends to a fixed buffer; what does not fit is left out.
namespace {
struct Text {
    char *out;
    uint32_t size, used;
    void Add(const char *format, ...) __attribute__((format(printf, 2, 3))) {
        if (used + 1 >= size) return;
        va_list args;
        va_start(args, format);
        int n = std::vsnprintf(out + used, size - used, format, args);
        va_end(args);
        if (n > 0) used = used + uint32_t(n) < size ? used + uint32_t(n) : size - 1;
    }
};
} // namespace

void CommandLineUsage(char *out, uint32_t size) {
    if (!size) return;
    out[0] = 0;
    Text t = {out, size, 0};
    // The synopsis: options that exclude each other share one bracket.
    t.Add("usage: quorvane");
    for (int i = 0; i < OPTION_COUNT; i++) {
        const Option &o = options[i];
        if (o.flags & OPT_NO_FILE) continue;
        bool joined = i > 0 && (options[i - 1].exclusive & o.exclusive) &&
                      !(options[i - 1].flags & OPT_NO_FILE);
        bool joinsNext = i + 1 < OPTION_COUNT && (options[i + 1].exclusive & o.exclusive) &&
                         !(options[i + 1].flags & OPT_NO_FILE);
        t.Add(joined ? " | %s" : " [%s", o.name);
        if (o.value) t.Add(" %s", o.value);
        if (!joinsNext) t.Add("]");
    }
    t.Add(" FILE.rec\n");
    for (const Option &o : options)
        if (o.flags & OPT_NO_FILE)
            t.Add("       quorvane %s%s%s\n", o.name, o.value ? " " : "", o.value ? o.value : "");
    t.Add("\nPlays FILE.rec at once, then waits. The options come before the file;\n"
          "they apply to that playback only and are not saved.\n\n");
    for (const Option &o : options) {
        char left[40];
        std::snprintf(left, sizeof left, "%s%s%s", o.name, o.value ? " " : "",
                      o.value ? o.value : "");
        t.Add("  %-22s%s\n", left, o.help);
    }
}
