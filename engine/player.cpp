#include "engine.h"
void PlayCommand(uint32_t) {}
void PlayTick(uint32_t) {}
void ReplayPointerMove(int32_t, int32_t) {}
