// quorvane-rec: look inside a recording, edit it as text, draw it. The
// commands are plain functions over bytes and text, so the tests and the
// fuzzers drive exactly what the command line runs.
#pragma once
#include "../engine/types.h"
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// ---- event kinds and key names ----
// "keydown", "move", "wheel", ... for the nine kinds the recorder writes,
// else null.
const char *KindName(uint32_t message);
// The message number for a kind name; false when the name is not one.
bool KindByName(const char *name, size_t length, uint32_t *message);
// Where the kind stands among the nine named ones, in the order of
// RecSummary::byKind; 9 for any other message.
int KindIndex(uint32_t message);
bool IsPointerKind(uint32_t message);
bool IsKeyKind(uint32_t message);
// The two wheels: paramL a signed delta, 120 a notch; no position.
bool IsWheelKind(uint32_t message);
// A short name for a virtual-key code ("A", "F8", "Shift"), null when it has
// none.
const char *KeyName(uint32_t vk);
// The code for a key name, any case; -1 when there is no such name.
int KeyByName(const char *name, size_t length);

// ---- info ----
// Reasons the program's loader refuses bytes as a recording (bit set).
enum : uint32_t { REC_TOO_SHORT = 1, REC_FIRST_BYTE = 2, REC_NOT_WHOLE = 4 };
uint32_t RecordingFaults(const uint8_t *data, uint64_t size);

struct RecSummary {
    uint64_t records;    // whole records
    uint64_t trailing;   // bytes after the last whole record
    uint64_t duration;   // ms from the first time stamp to the last, as played
    uint64_t byKind[10]; // keydown keyup move ldown lup rdown rup wheel hwheel other
    bool anyPointer;
    int32_t minX, minY, maxX, maxY;
    uint32_t faults;
};
void Summarize(const uint8_t *data, uint64_t size, RecSummary *out);
// The info report: one "label: value" line each.
void InfoText(const uint8_t *data, uint64_t size, const char *name, std::string &out);

// ---- dump and build ----
// The text form of the bytes (see rectool/FORMAT.md). Any bytes dump, and
// BuildRecording turns the text back into the same bytes.
void DumpText(const uint8_t *data, uint64_t size, const char *name, std::string &out);
// Parses the text form. On success fills out and returns true; otherwise
// every error is one "NAME:LINE: what is wrong" line in errors and out is
// left empty. At most maxErrors are kept (the rest are counted).
bool BuildRecording(const char *text, size_t length, const char *name, std::vector<uint8_t> &out,
                    std::vector<std::string> &errors, size_t maxErrors = 20);

// ---- plot ----
struct PlotSize {
    int maxWidth, maxHeight; // of the screen area's picture, legend not included
};
// Draws the pointer's path and clicks as a PNG handed to write in pieces;
// false with a reason in error when it cannot be drawn.
typedef bool (*PngWriter)(void *context, const unsigned char *data, unsigned int length);
bool PlotRecording(const uint8_t *data, uint64_t size, const char *title, PlotSize limits,
                   PngWriter write, void *context, std::string &error);

// ---- command line ----
// Runs one command; output and error lines go to out and err. Exit status:
// 0 done, 1 bad input, 2 usage.
int RecToolMain(int argc, char **argv, std::FILE *out, std::FILE *err);
