// Values of the data file's general information that the drawing and library code read.
#pragma once

#include <cstdint>

// The window flags word: bit 0 full screen, bit 1 vsync, bit 2 software vertex processing, bit 3
// interpolate colours between pixels, bit 4 keep aspect ratio, bit 6 the window may be resized.
extern uint32_t GameOptions;
// The configuration name the game was built with; null when the data file has none.
extern const char* Game_ConfigName;
