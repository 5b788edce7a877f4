// Compile: writes a self-playing copy of the program with the recording.
#pragma once
#include "../engine/types.h"
#include <cstdint>

void CompileCommand(); // ID_COMPILE

// ---- the steps of Compile, callable on their own ----

// True where a program is known by its ".exe" name; elsewhere a program is
// known by its execute bit and its name is left as chosen.
bool ProgramsNeedExeName();
// The save dialog's proposal: the recording's name without a trailing ".rec"
// (any case). out holds 260 bytes.
void DefaultProgramName(const char *recordingName, char *out);
// Appends ".exe" when exeName is set and the path does not end in it (any
// case). path holds 260 bytes and at most 255 characters on entry.
void AddProgramExtension(char *path, bool exeName);
// The characters a field of `width` receives: the value with leading zeros
// ("%05d" for the five-character fields), held inside 0 and the largest
// value of that many digits so that it always fits. out holds width + 1.
void FieldDigits(int32_t value, char *out, int width = 5);

struct PlayerParts {
    const char *ownPath; // the running program's file
    int32_t ownBaseSize; // the length of its image as built
    const EventRecord *records;
    uint32_t count;
    int32_t repeatCount;
    uint8_t speed;
    int32_t ratePercent; // the playback rate, 10..1000
    int32_t maxPauseMs;  // the pause limit, 0 for none
};
// Writes the player to target in one step: the image's first ownBaseSize
// bytes with its four fields patched, then the records. Nothing is left at
// target unless all of it was written (an existing file there stays as it
// was). Returns the player's length, 0 on failure.
uint64_t WritePlayer(const char *target, const PlayerParts &parts);
// The report's text for a player of total bytes, named by path.
void CompileReportText(const char *path, uint64_t total, char *out, uint32_t size);
