// The parts of the run loop's state that the drawing and library code read or write, the frame clock,
// the message pump and the release-mode switch.
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

// Sets the clock base at game start.
void Timing_Init();
// Microseconds since the clock base.
int64_t Timing_GetTime();
// The clock base itself, in the clock's microseconds; randomize adds it to the time.
int64_t Timing_GetBase();

// Drains the window message queue once.
void ProcessMessages();

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
