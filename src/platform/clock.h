// The frame clock: microseconds of the platform's monotonic clock (the backend's, so that tests can fake
// it), counted from a base set at game start.
#pragma once

#include <cstdint>

// Sets the clock base at game start.
void Timing_Init();
// Microseconds since the clock base.
int64_t Timing_GetTime();
// The clock base itself, in the clock's microseconds; randomize adds it to the time.
int64_t Timing_GetBase();
