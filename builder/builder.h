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
// The five characters a field receives: the value as "%05d", held inside
// 0..99999 so that it always fits the field.
void FieldDigits(int32_t value, char out[6]);

struct PlayerParts {
    const char *ownPath; // the running program's file
    int32_t ownBaseSize; // the length of its image as built
    const EventRecord *records;
    uint32_t count;
    int32_t repeatCount;
    uint8_t speed;
};
// Writes the player to target in one step: the image's first ownBaseSize
// bytes with both fields patched, then the records. Nothing is left at
// target unless all of it was written (an existing file there stays as it
// was). Returns the player's length, 0 on failure.
uint64_t WritePlayer(const char *target, const PlayerParts &parts);
// The report's text for a player of total bytes, named by path.
void CompileReportText(const char *path, uint64_t total, char *out, uint32_t size);
