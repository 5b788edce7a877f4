// The three text fields the build and the builder rewrite inside the
// executable file. They are read through volatile copies so that the compiler
// cannot fold the texts it saw at build time.
#pragma once
#include <cstdint>

// Tag that leads the own-size digits in the file; the stamping tool finds the
// field by it.
#define OWN_SIZE_TAG "QvOwnSize:"
void ReadOwnSizeText(char out[7]);
void ReadRepeatField(char out[6]);
void ReadSpeedField(char out[6]);
// The rate in percent ("#####") and the longest pause in milliseconds
// ("~~~~~~~~"), written by Compile beside the two above.
constexpr int RATE_FIELD_WIDTH = 5, PAUSE_FIELD_WIDTH = 8;
void ReadRateField(char out[RATE_FIELD_WIDTH + 1]);
void ReadPauseField(char out[PAUSE_FIELD_WIDTH + 1]);
