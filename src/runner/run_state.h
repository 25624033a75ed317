// The run loop's own state (the pause, the time of the last step) and the start values of every run-wide
// value. The values others read live with them: the frame's in
// graphics/frame/frame.h, the main loop's flag in io/message_pump.h, the counters games read in
// world/game_values.h.
#pragma once

#include <cstdint>

class CDebugForm;
// The run's pause, debug window and step clock, reached through Run_State().
struct RunState {
    // The debugger or the debug form paused the game: frames run without steps.
    uint8_t Run_Paused = 0;
    // The debug form of debug mode, while the game runs (null otherwise).
    CDebugForm* Run_DebugForm = nullptr;
    // The time of the last step, in the clock's microseconds.
    int64_t Run_StepClock = 0;
};

inline RunState& Run_State() {
    static RunState state;
    return state;
}

// The run globals' start values (the game values of scripts included).
void Run_Global_Init();
