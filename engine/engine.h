// The engine's entry points: recording files, recorder, player and input
// release. Command handlers take what the window's dispatch hands them.
#pragma once
#include "../platform/ui.h"
#include "types.h"

// ---- input release ----
bool IsExtendedKey(uint32_t vk);
void ReleaseAllInput();

// ---- recording files ----
// Size of the file, or of the running executable for a null or empty path;
// 0 when it cannot be opened.
uint32_t FileSizeOf(const char *path);
// Reads up to maximum bytes from offset (negative: from the end) into
// buffer, which holds maximum + 1 bytes (a NUL follows the data).
uint32_t ReadFileAt(const char *path, int32_t offset, void *buffer, uint32_t maximum);
// Writes at offset (negative: append); creates the file when missing.
uint32_t WriteFileAt(const char *path, int32_t offset, const void *data, uint32_t length);
// buf: 260 bytes; mode 1 open, 2 save. 1 when a file was chosen.
int ChooseFileName(char *buf, PlatFilter filter, int mode);
// Replaces the recording in memory with the file's records from offset.
// Returns the bytes loaded, or 0 when refused with the "Not a valid
// recording" box (also when the file is too large or no memory could be had);
// the list is empty then.
uint32_t LoadRecording(const char *path, int32_t offset);
// True when the bytes pass the validity rule of a recording.
bool IsValidRecording(const uint8_t *data, uint32_t n);
void ShowNothingRecorded();
void OpenCommand();
void SaveCommand();

// ---- recorder ----
// The caption when neither recorder nor player runs: the recording's name,
// else the program's.
void ShowIdleCaption();
void RecordCommand(uint32_t wParam); // ID_RECORD (high word 1: from the hotkey)
void RecordTick(uint32_t timerId);   // TIMER_RECORD, after the dispatch killed it
// A backend that reports input changes (PlatInputRecording returned true)
// calls this once for every change, after applying that one change to what
// PlatGetAsyncKeyState, PlatGetCursorPos and PlatTakeWheel read. tick is
// when the change happened, on PlatGetTickCount's clock. The change becomes
// its records stamped tick, in order (a modifier and its left/right twin are
// two records of one change); a key change takes no move, so a move and a
// press that came together are two calls, the move first. Does nothing
// while no recording runs, and never calls back into the backend's
// delivery.
void RecordInputChange(uint32_t tick);

// ---- player ----
void PlayCommand(uint32_t wParam); // ID_PLAY (high word 1: stop request)
void PlayTick(uint32_t timerId);   // TIMER_PLAY, after the dispatch killed it
// The next playback started from idle counts its first delay from this tick
// (when it was asked for), not from its command.
void PlayAskedAt(uint32_t tick);
void ReplayPointerMove(int32_t x, int32_t y);
// Ends a playback, whatever ended it: Idle, the caption, and a standalone
// copy closes.
void StopPlayback();
// A stop by Pause or Scroll Lock, from the play tick or the hotkey poll.
void StopPlaybackByKey();
// Whether Pause or Scroll Lock is held now.
bool StopKeyDown();
// The keys of a hotkey choice (the letter for the chord's first key);
// returns how many, 0 for an unknown choice.
int HotkeyChordKeys(uint8_t choice, uint8_t letter, uint8_t keys[4]);
