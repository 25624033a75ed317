// The frame profiler: timed markers per frame, the frame-rate statistics, and the screen-space overlay
// bracket the overlays draw inside.
#pragma once

#include <cstdint>

// Sets up the profiler when the device is created; no frame is begun.
void Profiler_Init();
// Opens a frame: empties the markers, zeroes the per-frame texture-swap and batch counters and opens
// the marker "Total".
void Profiler_BeginFrame();
// Closes the frame: the frame rate and its statistics, then the overlay.
void Profiler_EndFrame();
// Opens a timed marker (a frame is begun first when none is); dropped when all 1,024 are used.
void Profiler_Push(uint32_t colour, const char* name);
void Profiler_Pop();
// The frame rate of the last closed frame: 1,000,000 / its length in microseconds (the built-in variable
// fps_real); 0 before the first.
float Profiler_GetFPSReal();
// Writes a dashed line, "minFPS, maxFPS, avgFPS" and the three values to the debug console.
void Profiler_PrintFPS();

// Bracket screen-space drawing of overlays.
void Overlay_BeginDraw();
void Overlay_EndDraw();
