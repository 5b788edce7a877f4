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
