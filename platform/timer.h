// The clock and the main window's timers.
#pragma once
#include <cstdint>

// Milliseconds; wraps at 2^32, only differences are used.
uint32_t PlatGetTickCount();
// The tick at which the program's own code began to run, before the
// toolkit and the window were set up.
uint32_t PlatProcessStartTick();
// Blocks the one thread.
void PlatSleep(uint32_t ms);
// Arms a timer of the main window: MSG_TIMER with the id after each interval
// until killed. Arming a pending timer replaces its interval.
void PlatSetTimer(uint32_t id, uint32_t ms);
void PlatKillTimer(uint32_t id);
// Arms a timer of the main window to fire once: when input next arrives (a
// key, a button, the wheel, a move), but no sooner than soonest ms from
// now, or after latest ms if no input comes first (0: input only). Returns
// false where the backend cannot tell when input arrives; nothing is armed
// then.
bool PlatSetInputTimer(uint32_t id, uint32_t soonest, uint32_t latest);
