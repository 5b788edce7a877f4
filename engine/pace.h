// The playback rate and the pause limit, as applied to each wait between two
// records at normal speed.
#pragma once
#include <cstdint>

// Rates in percent of the recorded pace: 0.1x to 10x.
constexpr int32_t RATE_MIN = 10, RATE_MAX = 1000;
// A rate read from a file or a compiled copy's field: 0 or less (missing,
// unpatched) is the recorded pace; anything else is held within the bounds.
int32_t ClampRate(int32_t percent);
// The rounding remainder a pass starts with: half a unit, so the waits of
// a pass add up to its recorded length divided by the rate, rounded to the
// nearest millisecond.
uint32_t PaceStart(int32_t ratePercent);
// The wait before the next record for a recorded difference of `recorded`
// ms: divided by the rate (carry holds the remainder from wait to wait),
// then cut to maxPauseMs when that is above 0. A difference of 2^31 or more
// is a time stamp that ran backwards; it is left as it is, but for the
// limit.
uint32_t PacedWait(uint32_t recorded, int32_t ratePercent, int32_t maxPauseMs, uint32_t *carry);
