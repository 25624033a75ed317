// The main loop's frame: the wait that holds the room speed, frames per second, one step between the
// frame's begin and present, and the room change the step asked for; starting, ending and restarting
// the game.
#pragma once

#include <cstdint>

// Sets running, starts the game and enters the main loop. When the game cannot start (an extension's
// initialisation failed, or the room order names no room) running is cleared again and the process
// shuts down normally.
void Run_Start();
// The frame's wait in microseconds: what is left of 1,000,000 / speed (speed below 1 counts as 1) after
// elapsed, between 0 and 1,000,000.
int64_t Run_FrameWait(int32_t speed, int64_t elapsed);
void Run_EnterMainLoop();
// One frame; gives the frames per second to aim for.
int32_t Run_Frame();
void Run_Stop();
void Run_Pause();
void Run_Step();
void Run_StepOnce();

// Enters the first room of the room order; false when the game could not start (no room is current).
bool StartGame();
// Ends the current room with the game-end events and deletes every run-time room; no room is current
// afterwards, so a second call does nothing more.
void EndGame();
void Run_LoadPendingGame();
// Acts on a room change code other than -1, -100 and -400 the way the frame does: -200 restarts, -300
// loads the pending game, a room that exists is entered; any other code is dropped (treated as -1).
void Run_ChangeRoom(int32_t code, bool fromDebugger);
