#include "engine.h"
bool IsExtendedKey(uint32_t) {
    return false;
}
void ReleaseAllInput() {}
