#include "core/rect.h"

bool Rect_PointInEllipse(const IntRect& rect, float px, float py) {
    // Integer halves; a half-axis of 0 (a rectangle 1 wide or high) holds only its centre line.
    auto term = [](int32_t lo, int32_t hi, double p, double* out) {
        const int64_t centre = (static_cast<int64_t>(lo) + hi) / 2;
        const int64_t half = (static_cast<int64_t>(hi) - lo) / 2;
        if (half == 0) {
            *out = 0;
            return p == static_cast<double>(centre);
        }
        const double d = (p - static_cast<double>(centre)) / static_cast<double>(half);
        *out = d * d;
        return true;
    };
    double tx, ty;
    if (!term(rect.left, rect.right, px, &tx) || !term(rect.top, rect.bottom, py, &ty)) return false;
    return tx + ty <= 1;
}
