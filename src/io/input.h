// Input state that the library's platform built-ins read.
#pragma once

#include <cstdint>

// The raw mouse position per device (devices 0 to 4).
struct RawMousePositions {
    int32_t x[5];
    int32_t y[5];
};
extern RawMousePositions IO_RawMouse;
