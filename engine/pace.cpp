#include "pace.h"

// Past this a wait is a stamp that ran backwards, not a pause.
static const uint32_t BACKWARDS_STEP = 0x80000000u;

int32_t ClampRate(int32_t percent) {
    if (percent <= 0) return 100;
    return percent < RATE_MIN ? RATE_MIN : percent > RATE_MAX ? RATE_MAX : percent;
}

uint32_t PaceStart(int32_t ratePercent) {
    return uint32_t(ClampRate(ratePercent)) / 2;
}

uint32_t PacedWait(uint32_t recorded, int32_t ratePercent, int32_t maxPauseMs, uint32_t *carry) {
    uint32_t rate = uint32_t(ClampRate(ratePercent));
    uint32_t limit = maxPauseMs > 0 ? uint32_t(maxPauseMs) : 0;
    if (recorded >= BACKWARDS_STEP) return limit ? limit : recorded;
    // Whole milliseconds out, the fraction carried to the next wait: over
    // a pass of many short steps nothing is lost to rounding.
    uint64_t scaled = uint64_t(recorded) * 100 + *carry;
    uint64_t wait = scaled / rate;
    *carry = uint32_t(scaled % rate);
    if (limit && wait > limit) {
        // A cut wait leaves no fraction worth carrying.
        *carry = rate / 2;
        return limit;
    }
    // Slow rates can stretch a long pause past what the clock's
    // differences hold; the longest forward wait is the most it can be.
    return wait < BACKWARDS_STEP ? uint32_t(wait) : BACKWARDS_STEP - 1;
}
