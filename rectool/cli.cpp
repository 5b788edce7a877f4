// The command line: reads the input whole, runs one command, and writes its
// output beside the target first so that a failure leaves any old file as
// it was.
#include "../platform/files.h"
#include "rectool.h"
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

const char TOOL[] = "quorvane-rec";
constexpr uint64_t MAX_INPUT = uint64_t(1) << 30;

const char USAGE[] =
    "usage: quorvane-rec COMMAND [ARGS]\n"
    "Looks inside, edits and draws Quorvane recordings (.rec files).\n"
    "\n"
    "  info FILE.rec                 records, duration, kinds, pointer area, validity\n"
    "  dump FILE.rec [-o FILE.txt]   one editable line per record\n"
    "  build FILE.txt -o FILE.rec    the text form back into a recording\n"
    "  plot FILE.rec -o FILE.png     a picture of the pointer's path and clicks\n"
    "\n"
    "'quorvane-rec COMMAND --help' tells more. Exit status: 0 done, 1 bad input,\n"
    "2 wrong usage.\n";

const char INFO_HELP[] =
    "usage: quorvane-rec info FILE.rec\n"
    "Shows the number of records, the time from the first time stamp to the last\n"
    "(as normal-speed playback waits it, across a wrap of the tick count), how many\n"
    "records of each kind, the area the pointer covered, and whether Quorvane will\n"
    "load the file; if not, why (shorter than 2 bytes, first byte not 0, size not a\n"
    "multiple of 20).\n";

const char DUMP_HELP[] =
    "usage: quorvane-rec dump FILE.rec [-o FILE.txt]\n"
    "Writes one line per record (to standard output without -o), in the form that\n"
    "'quorvane-rec build' reads back into the very same bytes. See\n"
    "'quorvane-rec build --help' for the form.\n";

const char BUILD_HELP[] =
    "usage: quorvane-rec build FILE.txt -o FILE.rec\n"
    "Turns the text form into a recording. Each line is one record:\n"
    "\n"
    "  KIND FIELD=VALUE ...\n"
    "\n"
    "  keydown, keyup       key=NAME and/or vk=CODE, scan=N (0..255)\n"
    "  move, ldown, lup,    x=N y=N (screen pixels, may be negative)\n"
    "  rdown, rup\n"
    "  wheel, hwheel        dy=N or dx=N: the turn, 120 a notch, + up or right\n"
    "  msg=N                paramL=N paramH=N (any other message number)\n"
    "  trailing             bytes=HEX (1..19 bytes after the last whole record)\n"
    "\n"
    "Every record also takes delay=MS (since the previous record), time=TICK and\n"
    "hwnd=ID; missing ones are 0. Only the first record's time= is read: each later\n"
    "time stamp is the one before plus its delay, wrapping at 2^32 like the tick\n"
    "count. So a dump builds back exactly, and an edited delay moves everything\n"
    "after it. Key records may carry highbits=N and paramH=N where the file had\n"
    "bits the recorder never writes. Numbers are decimal or 0x hex. '#' starts a\n"
    "comment; blank lines are skipped. Any bad line is reported as FILE:LINE and\n"
    "nothing is written.\n";

const char PLOT_HELP[] =
    "usage: quorvane-rec plot FILE.rec -o FILE.png\n"
    "Draws the screen area the pointer covered with the pointer's path through it,\n"
    "its start, left clicks (red dots), right clicks (purple squares), wheel turns\n"
    "(orange wedges pointing the way the wheel went, where the pointer was) and a\n"
    "legend. Areas wider than 1200 or taller than 900 pixels are scaled down.\n";

struct Args {
    const char *input = nullptr;
    const char *output = nullptr;
    bool help = false;
};

// 2 after a usage message; 0 otherwise.
int ParseArgs(int argc, char **argv, Args *a, std::FILE *err) {
    const char *command = argv[1];
    for (int i = 2; i < argc; i++) {
        const char *s = argv[i];
        if (!std::strcmp(s, "--help") || !std::strcmp(s, "-h")) {
            a->help = true;
        } else if (!std::strcmp(s, "-o")) {
            if (i + 1 >= argc || a->output) {
                std::fprintf(err, "%s %s: -o needs one file name\n", TOOL, command);
                return 2;
            }
            a->output = argv[++i];
        } else if (s[0] == '-' && s[1]) {
            std::fprintf(err, "%s %s: unknown option '%s'\n", TOOL, command, s);
            return 2;
        } else if (a->input) {
            std::fprintf(err, "%s %s: one input file only ('%s' is one too many)\n", TOOL, command,
                         s);
            return 2;
        } else {
            a->input = s;
        }
    }
    if (a->help) return 0;
    if (!a->input) {
        std::fprintf(err, "%s %s: no input file (see '%s %s --help')\n", TOOL, command, TOOL,
                     command);
        return 2;
    }
    return 0;
}

bool ReadWhole(const char *path, std::string &data, std::FILE *err) {
    struct stat st;
    if (stat(path, &st) != 0) {
        std::fprintf(err, "%s: cannot read '%s': %s\n", TOOL, path, std::strerror(errno));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        std::fprintf(err, "%s: cannot read '%s': it is a folder\n", TOOL, path);
        return false;
    }
    if (uint64_t(st.st_size) > MAX_INPUT) {
        std::fprintf(err, "%s: '%s' is too large (over 1 GiB)\n", TOOL, path);
        return false;
    }
    std::FILE *f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(err, "%s: cannot read '%s': %s\n", TOOL, path, std::strerror(errno));
        return false;
    }
    data.clear();
    char buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && data.size() <= MAX_INPUT)
        data.append(buf, n);
    bool ok = !std::ferror(f) && data.size() <= MAX_INPUT;
    std::fclose(f);
    if (!ok) std::fprintf(err, "%s: cannot read '%s'\n", TOOL, path);
    return ok;
}

// The whole output into a scratch file beside the target, then moved over it.
bool WriteWhole(const char *path, const void *data, size_t n, std::FILE *err) {
    char scratch[4096];
    if (PlatFileKind(path) == 1) {
        std::fprintf(err, "%s: cannot write '%s': it is a folder\n", TOOL, path);
        return false;
    }
    if (!PlatTempNameBeside(path, scratch, sizeof scratch)) {
        std::fprintf(err, "%s: cannot write '%s': %s\n", TOOL, path, std::strerror(errno));
        return false;
    }
    std::FILE *f = std::fopen(scratch, "wb");
    bool ok = f && (!n || std::fwrite(data, 1, n, f) == n);
    if (f && std::fclose(f) != 0) ok = false;
    if (ok) ok = PlatReplaceFile(scratch, path);
    if (!ok) {
        std::fprintf(err, "%s: cannot write '%s': %s\n", TOOL, path, std::strerror(errno));
        PlatDeleteFile(scratch);
    }
    return ok;
}

const uint8_t *Bytes(const std::string &s) {
    return reinterpret_cast<const uint8_t *>(s.data());
}

// The name shown in output and messages: the path as given.
int Info(const Args &a, std::FILE *out, std::FILE *err) {
    std::string data, text;
    if (!ReadWhole(a.input, data, err)) return 1;
    InfoText(Bytes(data), data.size(), a.input, text);
    std::fwrite(text.data(), 1, text.size(), out);
    return 0;
}

int Dump(const Args &a, std::FILE *out, std::FILE *err) {
    std::string data, text;
    if (!ReadWhole(a.input, data, err)) return 1;
    DumpText(Bytes(data), data.size(), a.input, text);
    if (a.output && std::strcmp(a.output, "-"))
        return WriteWhole(a.output, text.data(), text.size(), err) ? 0 : 1;
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
        std::fprintf(err, "%s: cannot write the dump\n", TOOL);
        return 1;
    }
    return 0;
}

int Build(const Args &a, std::FILE *, std::FILE *err) {
    std::string text;
    if (!ReadWhole(a.input, text, err)) return 1;
    std::vector<uint8_t> bytes;
    std::vector<std::string> errors;
    if (!BuildRecording(text.data(), text.size(), a.input, bytes, errors)) {
        for (const std::string &e : errors)
            std::fprintf(err, "%s\n", e.c_str());
        return 1;
    }
    if (!WriteWhole(a.output, bytes.data(), bytes.size(), err)) return 1;
    // Written as asked, but the user should know the program will refuse it.
    if (uint32_t faults = RecordingFaults(bytes.data(), bytes.size()))
        std::fprintf(err, "%s: warning: Quorvane will not load '%s' (%s)\n", TOOL, a.output,
                     faults & REC_TOO_SHORT    ? "shorter than 2 bytes"
                     : faults & REC_FIRST_BYTE ? "its first byte is not 0"
                                               : "its size is not a multiple of 20");
    return 0;
}

bool AppendPng(void *context, const unsigned char *data, unsigned int length) {
    static_cast<std::string *>(context)->append(reinterpret_cast<const char *>(data), length);
    return true;
}

int Plot(const Args &a, std::FILE *, std::FILE *err) {
    std::string data, png, why;
    if (!ReadWhole(a.input, data, err)) return 1;
    const char *title = std::strrchr(a.input, '/');
    title = title ? title + 1 : a.input;
    if (!PlotRecording(Bytes(data), data.size(), title, {1200, 900}, AppendPng, &png, why)) {
        std::fprintf(err, "%s: cannot draw '%s': %s\n", TOOL, a.input, why.c_str());
        return 1;
    }
    return WriteWhole(a.output, png.data(), png.size(), err) ? 0 : 1;
}

struct Command {
    const char *name;
    const char *help;
    bool needsOutput;
    int (*run)(const Args &, std::FILE *, std::FILE *);
};
const Command COMMANDS[] = {
    {"info", INFO_HELP, false, Info},
    {"dump", DUMP_HELP, false, Dump},
    {"build", BUILD_HELP, true, Build},
    {"plot", PLOT_HELP, true, Plot},
};

} // namespace

int RecToolMain(int argc, char **argv, std::FILE *out, std::FILE *err) {
    if (argc < 2) {
        std::fprintf(err, "%s: no command (info, dump, build, plot; see '%s --help')\n", TOOL,
                     TOOL);
        return 2;
    }
    const char *name = argv[1];
    if (!std::strcmp(name, "--help") || !std::strcmp(name, "-h") || !std::strcmp(name, "help")) {
        std::fputs(USAGE, out);
        return 0;
    }
    for (const Command &c : COMMANDS) {
        if (std::strcmp(name, c.name)) continue;
        Args a;
        if (int rc = ParseArgs(argc, argv, &a, err)) return rc;
        if (a.help) {
            std::fputs(c.help, out);
            return 0;
        }
        if (a.output && !c.needsOutput && std::strcmp(c.name, "dump")) {
            std::fprintf(err, "%s %s: takes no -o\n", TOOL, c.name);
            return 2;
        }
        if (c.needsOutput && !a.output) {
            std::fprintf(err, "%s %s: -o FILE is needed (see '%s %s --help')\n", TOOL, c.name, TOOL,
                         c.name);
            return 2;
        }
        return c.run(a, out, err);
    }
    std::fprintf(err, "%s: unknown command '%s' (info, dump, build, plot; see '%s --help')\n", TOOL,
                 name, TOOL);
    return 2;
}
