// The main loop's message pump and its waits: window messages are dispatched while the game runs, and
// the quit message ends the main loop.
#pragma once

#include <cstdint>

// Whether the game loop runs, reached through MessagePump_State().
struct MessagePumpState {
    // 1 while the main loop runs; the quit message and the end of the game clear it.
    uint8_t Run_Running = 0;
};

inline MessagePumpState& MessagePump_State() {
    static MessagePumpState state;
    return state;
}

// Drains the window message queue; the quit message clears Run_Running and leaves the rest queued.
void ProcessMessages();
// Waits us microseconds (at most 3 seconds), pumping messages; within about a millisecond of the end.
void Timing_Sleep(int64_t us);
// The frame's wait.
void Timing_SleepFrame(int64_t us);
