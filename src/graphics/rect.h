// An inclusive integer rectangle, as bounding boxes, drawing areas and view regions are kept.
#pragma once

#include <cstdint>

struct IntRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
