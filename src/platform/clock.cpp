#include "platform/clock.h"

#include "platform/platform.h"

namespace {

int64_t g_clockBase = 0;

} // namespace

void Timing_Init() {
    g_clockBase = Platform_GetMicroseconds();
}
int64_t Timing_GetTime() {
    return Platform_GetMicroseconds() - g_clockBase;
}
int64_t Timing_GetBase() {
    return g_clockBase;
}
