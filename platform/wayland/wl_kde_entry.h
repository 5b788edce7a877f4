// The desktop entry that lets KWin offer its fake-input protocol to this
// program. KWin offers it only to a client whose executable (by its absolute
// path) is the Exec= of an entry declaring the interface; a bare name is not
// enough. The installed entry carries the installed path; a program started
// from anywhere else writes a hidden entry of its own.
#pragma once
#include <cstddef>

// The entry's text for the program at exe_path; false when the path cannot
// be written into an entry (not absolute, a line break) or out is too small.
bool KdeEntryText(const char *exe_path, char *out, size_t size);
// The file name of the hidden entry for exe_path: one name per path, since
// KWin's service cache does not notice a rewritten Exec= in an old file.
void KdeEntryName(const char *exe_path, char out[64]);
// True when the entry text declares the interface for exe_path (the first
// word of its Exec=, unquoted, is the path).
bool KdeEntryCovers(const char *text, const char *exe_path);
// Makes sure an entry for exe_path is where KWin looks: the installed one or
// an own one in the data folders (user_data: XDG_DATA_HOME; system_data:
// XDG_DATA_DIRS, null-terminated), or else a new hidden one written to
// user_data/applications. Returns 1 when it wrote one, 0 when one was there,
// -1 when it could not (why says).
int KdeEntryEnsure(const char *exe_path, const char *user_data, const char *const *system_data,
                   char *why, size_t why_size);
