// Instances following paths: starting and ending, and the advance of one step with the end actions.
#include "core/convert.h"
#include "world/instance.h"
#include "world/path.h"

#include <cmath>

namespace {

constexpr double kPi = static_cast<double>(static_cast<float>(3.14159265358979323846));

enum PathEndAction { PATH_STOP = 0, PATH_RESTART = 1, PATH_CONTINUE = 2, PATH_REVERSE = 3 };

float F(double v) {
    return X86_DoubleToFloat(v);
}

// How the instance's path is laid into the room: turned by its orientation, scaled about its first
// point, that point at the anchor.
struct PathPlacement {
    float c, s, scale;

    // The offset of the path point (px, py) from the path's first point (x0, y0), turned and scaled.
    void Offset(double dx, double dy, double& ox, double& oy) const {
        ox = (c * dx + s * dy) * scale;
        oy = (c * dy - s * dx) * scale;
    }
};

} // namespace

void CInstance::StartPath(int index, float speed, float scale, float orientation, bool relative, int endAction) {
    path_index = index;
    if (index < 0) return;
    const CPath* path = Path_Data(index);
    if (!path || path->GetLength() <= 0) {
        path_index = -1;
        return;
    }
    path_speed = speed;
    path_position = speed >= 0 ? 0.0f : 1.0f;
    path_positionprevious = path_position;
    path_scale = scale;
    if (scale < 0) {
        path_index = -1;
        return;
    }
    path_orientation = orientation;
    path_endaction = endAction;
    if (relative) {
        path_xstart = x;
        path_ystart = y;
        return;
    }
    // Where the path lies: its first point is the anchor, also when the run starts from its end.
    float px, py, unused;
    path->GetPosition(path_position, &px, &py, &unused);
    SetPosition(px, py);
    path->GetPosition(0, &path_xstart, &path_ystart, &unused);
}

bool CInstance::AdvancePath() {
    if (path_index < 0) return false;
    const CPath* path = Path_Data(path_index);
    if (!path || path->GetLength() <= 0) return false;

    const float radians = F(path_orientation * kPi / 180.0);
    const PathPlacement placement{F(std::cos(static_cast<double>(radians))),
                                  F(std::sin(static_cast<double>(radians))), path_scale};

    // The point's speed, against the scale: a zero scale or a speed factor that is not a number leaves
    // the position where it is rather than making it NaN.
    float px, py, pointSpeed;
    path->GetPosition(path_position, &px, &py, &pointSpeed);
    const double scaled = path_scale * 100.0;
    const float factor = F(pointSpeed / scaled);
    if (scaled != 0 && std::isfinite(factor)) {
        const double advance = path_speed * static_cast<double>(factor) / path->GetLength();
        if (!std::isnan(advance)) path_position = F(path_position + advance);
    }

    bool ended = false;
    const bool atEnd = path_position >= 1;
    if (atEnd || path_position <= 0) {
        ended = path_speed != 0;
        switch (path_endaction) {
        case PATH_STOP:
            if (path_speed != 0) {
                path_position = 1;
                path_index = -1;
            }
            break;
        case PATH_RESTART:
            path_position = F(path_position + (atEnd ? -1.0 : 1.0));
            break;
        case PATH_CONTINUE: {
            // The anchor moves by the path's end-to-start vector, so that the next lap starts where this
            // one ended.
            float x0, y0, x1, y1, unused;
            path->GetPosition(0, &x0, &y0, &unused);
            path->GetPosition(1, &x1, &y1, &unused);
            double vx, vy;
            placement.Offset(static_cast<double>(x1) - x0, static_cast<double>(y1) - y0, vx, vy);
            const double sign = atEnd ? 1.0 : -1.0;
            path_xstart = F(path_xstart + sign * vx);
            path_ystart = F(path_ystart + sign * vy);
            path_position = F(path_position - sign);
            break;
        }
        case PATH_REVERSE:
            if (atEnd) {
                path_position = F(2.0 - path_position);
                path_speed = -std::fabs(path_speed);
            } else {
                path_position = F(0.0 - path_position);
                path_speed = std::fabs(path_speed);
            }
            break;
        default:
            path_position = 1;
            path_index = -1;
            break;
        }
    }

    // The new place, from the same path even when following just ended.
    float x0, y0, unused;
    path->GetPosition(path_position, &px, &py, &unused);
    path->GetPosition(0, &x0, &y0, &unused);
    double ox, oy;
    placement.Offset(static_cast<double>(px) - x0, static_cast<double>(py) - y0, ox, oy);
    const float newX = F(ox + path_xstart);
    const float newY = F(oy + path_ystart);

    // The motion faces the move without making it: direction along the path, speed 0.
    SetHSpeed(F(static_cast<double>(newX) - x));
    SetVSpeed(F(static_cast<double>(newY) - y));
    if (speed != 0) SetSpeed(0);
    SetPosition(newX, newY);
    return ended;
}
