#include "appcore.h"
void RepeatCountCommand() {}
void AboutCommand() {}
void DecorateTick(uint32_t) {}
