// The run loop's state that the built-in variables, the drawing and the library code read or write, the
// frame clock, the message pump and the release-mode switch.
#pragma once

#include "graphics/rect.h"

#include <cstdint>

// Each frame draws all views while this is 1 (draw_enable_drawevent stores 1 or 0).
extern uint8_t Run_DrawEnabled;
// Set by display changes; the next frame resets the device and clears it.
extern uint8_t Graphics_ResetRequest;
// Frames counted in the last whole second (the built-in variable fps).
extern int32_t Run_FPS;
// The microseconds between the last two steps (the built-in variable delta_time), set by each step.
extern int64_t Run_DeltaTime;
// The index of the view being drawn (the built-in variable view_current); 0 outside the draw pass.
extern int32_t View_Current;
// The room rectangle of the view being drawn, set by the view loop before each view.
extern IntRect View_DrawRegion;

// 1 while the main loop runs; the quit message and the end of the game clear it.
extern uint8_t Run_Running;
// The debugger or the debug form paused the game: frames run without steps.
extern uint8_t Run_Paused;
// Steps done since the game started (it also picks the cursor sprite's frame).
extern int32_t Run_StepCount;
// The time of the last step, in the clock's microseconds.
extern int64_t Run_StepClock;

// The run globals' start values (the game values of scripts included).
void Run_Global_Init();

// Sets the clock base at game start.
void Timing_Init();
// Microseconds since the clock base.
int64_t Timing_GetTime();
// The clock base itself, in the clock's microseconds; randomize adds it to the time.
int64_t Timing_GetBase();

// Drains the window message queue; the quit message clears Run_Running and leaves the rest queued.
void ProcessMessages();
// Waits us microseconds (at most 3 seconds), pumping messages; within about a millisecond of the end.
void Timing_Sleep(int64_t us);
// The frame's wait.
void Timing_SleepFrame(int64_t us);

// 1 binds the checked forms of ds_grid_set, ds_grid_get and the vertex writers, 0 (release mode) the
// unchecked forms.
void SetReleaseMode(int flag);

// Command-line switches that the graphics device and the batcher obey.
struct GraphicsSwitches {
    bool softwareDevice; // "-software": software vertex processing
    bool manualClear;    // "-intel": clear by drawing a quad ...
    bool manualBuffers;  // ... and one batch per vertex buffer
    bool plainGraphics;  // "-vanillaGFX": the adapter name is not inspected
};
extern GraphicsSwitches CommandLine_Graphics;
