#include "runner/run_state.h"

#include "graphics/registration.h"
#include "library/registration.h"

#include <ctime>

uint8_t Run_DrawEnabled = 1;
uint8_t Graphics_ResetRequest = 0;
int32_t Run_FPS = 0;
int64_t Run_DeltaTime = 0;
int32_t View_Current = 0;
IntRect View_DrawRegion{0, 0, 0, 0};
GraphicsSwitches CommandLine_Graphics{false, false, false, false};

namespace {

int64_t g_clockBase = 0;

int64_t MonotonicMicros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

} // namespace

void Timing_Init() {
    g_clockBase = MonotonicMicros();
}
int64_t Timing_GetTime() {
    return MonotonicMicros() - g_clockBase;
}
int64_t Timing_GetBase() {
    return g_clockBase;
}

// The platform window layer and its message queue are not built yet: there is nothing to drain.
void ProcessMessages() {}

void SetReleaseMode(int flag) {
    DS_Grid_SetBoundsChecking(flag != 0);
    VertexBuilder_SetChecked(flag != 0);
}
