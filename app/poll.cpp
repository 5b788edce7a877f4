#include "appcore.h"
void PollTick() {}
