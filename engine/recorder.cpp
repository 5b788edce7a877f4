#include "engine.h"
void RecordCommand() {}
void RecordTick(uint32_t) {}
