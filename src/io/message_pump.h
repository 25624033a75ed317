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

// What ends a wait that pumps messages for the player (a key, a program the game started): begun inside
// the main loop, the loop's end; begun after it with the window still there (in the events that run while
// the game ends by game_end), the window's end, which the close box and a stop signal bring. Begun with
// no window, nothing of the player's ends it.
class CMessageWait {
public:
    CMessageWait();
    bool Over() const;

private:
    bool m_inLoop;
    bool m_window;
};

// Drains the window message queue; the quit message clears Run_Running and leaves the rest queued.
void ProcessMessages();
// Waits us microseconds (at most 3 seconds), pumping messages; within about a millisecond of the end.
void Timing_Sleep(int64_t us);
// The frame's wait.
void Timing_SleepFrame(int64_t us);
