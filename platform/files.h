// File services the portable code cannot express with the C library alone.
// Plain reads and writes go through <cstdio>, which behaves the same on every
// backend for 8-bit paths.
#pragma once
#include <cstdint>

// Full path of the running executable; false when it cannot be had.
bool PlatGetModuleFileName(char *buf, uint32_t size);
// 0 regular file (or other non-directory), 1 directory, -1 missing.
int PlatFileKind(const char *path);
bool PlatDeleteFile(const char *path);
// Moves from over to, replacing an existing to in one step, so a reader sees
// either the old or the new file, never a half-written one.
bool PlatReplaceFile(const char *from, const char *to);
// A fresh, unused path in the folder of near (for a file to be moved there).
bool PlatTempNameBeside(const char *near, char *out, uint32_t size);
// Room for such a path beside any target the file dialogs hand out (259
// characters): the scratch name can be longer than the target's own.
constexpr uint32_t TEMP_PATH_SIZE = 300;
// Where the settings file named beside the program really goes: there when
// the user can write that folder (a portable copy), otherwise in the user's
// own configuration folder under the same file name. False when neither can
// be named.
bool PlatSettingsPath(const char *beside, char *out, uint32_t size);
// Lets the owner run the file (Linux); nothing to do where the name decides.
bool PlatMakeExecutable(const char *path);
