// An inclusive integer rectangle, as bounding boxes, drawing areas and view regions are kept.
#pragma once

#include <cstdint>

struct IntRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// Whether (px, py) lies in the ellipse inscribed in the rectangle: centre and half-axes are integer
// halves, and a half-axis of 0 holds only the centre line.
bool Rect_PointInEllipse(const IntRect& rect, float px, float py);
