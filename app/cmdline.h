// The command line: options first, then the recording to play. The options
// are one table (cmdline.cpp); a new option is a row there and, when it
// carries a value, a field here.
#pragma once
#include "../engine/pace.h"
#include <cstdint>

// What one start was asked for. A value not given keeps its "not given"
// mark, so the settings stand for it.
struct CommandLine {
    const char *path;    // the recording, inside the parsed text; "" when none
    int32_t ratePercent; // --rate as percent of the recorded pace; 0: not given
    int32_t maxPauseMs;  // --max-pause; -1: not given, 0: no limit
    int32_t repeatCount; // --repeat; 0: not given
    bool continuous;     // --continuous
    bool fast;           // --fast
    bool help;           // --help: the usage and nothing else
    uint32_t control;    // --record, --play, --stop: the ControlVerb for the running toolbar
    bool check;          // --check: what works on this desktop
    uint32_t given;      // one bit per row of the option table that appeared
    char error[200];     // why the line was refused, for the user
};

enum CommandLineVerdict { CMDLINE_RUN, CMDLINE_HELP, CMDLINE_BAD };

// Splits and reads the argument text (everything after the program name).
// text is changed in place: path points into it, quotes removed. A text
// that names an existing file as a whole is that file, whatever it starts
// with, so every command line that played a file before still does.
// fileOptional: a compiled copy plays its own recording without a name.
CommandLineVerdict ParseCommandLine(char *text, bool fileOptional, CommandLine *out);
// True when the line asks for anything of the playback beyond the file.
bool HasPlaybackOptions(const CommandLine &cl);
// The --help text, made from the option table.
void CommandLineUsage(char *out, uint32_t size);
// The longest pause limit taken, in milliseconds: one day.
constexpr int32_t MAX_PAUSE_LIMIT_MS = 86400000;
// Reads a rate as typed ("2", "0.5", "1.25x") into percent; false when it
// is no number or outside 0.1 to 10.
bool ParseRate(const char *text, int32_t *percent);
// Reads a pause length in seconds ("1", "0.25") into milliseconds, 0 to one
// day; false otherwise.
bool ParseSeconds(const char *text, int32_t *ms);
