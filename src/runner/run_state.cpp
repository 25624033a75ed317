#include "runner/run_state.h"

#include "graphics/registration.h"
#include "library/registration.h"
#include "platform/platform.h"
#include "world/game_values.h"

#include <ctime>

uint8_t Run_DrawEnabled = 1;
uint8_t Graphics_ResetRequest = 0;
int32_t Run_FPS = 0;
int64_t Run_DeltaTime = 0;
IntRect View_DrawRegion{0, 0, 0, 0};
int32_t View_Current = 0;
GraphicsSwitches CommandLine_Graphics{false, false, false, false};

uint8_t Run_Running = 0;
uint8_t Run_Paused = 0;
int32_t Run_StepCount = 0;
int64_t Run_StepClock = 0;

namespace {

int64_t g_clockBase = 0;

// Microseconds of the monotonic clock: 64 bits hold centuries of them.
int64_t MonotonicMicros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

} // namespace

void Run_Global_Init() {
    Run_Running = 0;
    Run_Paused = 0;
    GameValues_Reset();
    Run_StepCount = 0;
    Run_DrawEnabled = 1;
    Graphics_ResetRequest = 0;
    Run_FPS = 0;
}

void Timing_Init() {
    g_clockBase = MonotonicMicros();
}
int64_t Timing_GetTime() {
    return MonotonicMicros() - g_clockBase;
}
int64_t Timing_GetBase() {
    return g_clockBase;
}

void ProcessMessages() {
    PlatformMessage msg;
    while (Platform_PeekMessage(msg)) {
        if (msg.message == WM_QUIT) {
            Run_Running = 0;
            return;
        }
        Platform_DispatchMessage(msg);
    }
}

void Timing_Sleep(int64_t us) {
    if (us <= 0) return;
    if (us >= 3000000) us = 3000000;
    const int64_t start = Timing_GetTime();
    const int64_t target = start + us;
    if (us >= 2000) Platform_Sleep(static_cast<uint32_t>((us - 1000) / 1000));
    for (;;) {
        ProcessMessages();
        const int64_t now = Timing_GetTime();
        if (now < start || now >= target) return;
    }
}

void Timing_SleepFrame(int64_t us) {
    Timing_Sleep(us);
}

void SetReleaseMode(int flag) {
    DS_Grid_SetBoundsChecking(flag != 0);
    VertexBuilder_SetChecked(flag != 0);
}
