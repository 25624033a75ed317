#include "physics/physics_shape.h"

#include "core/console.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

bool InRange(double metres) {
    return std::isfinite(metres) && std::fabs(metres) <= kPhysicsMaxMetres;
}

double Cross(const b2Vec2& a, const b2Vec2& b) {
    return static_cast<double>(a.x) * b.y - static_cast<double>(a.y) * b.x;
}
double Dot(const b2Vec2& a, const b2Vec2& b) {
    return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y;
}
double Length(const b2Vec2& a) {
    return std::sqrt(Dot(a, a));
}

enum class PolygonFault { None, Degenerate, NotConvex };

// A polygon Box2D takes as it is: its points far enough apart that none is merged with another (with a
// margin for rounding at the size of its coordinates), every corner turning the same way by a clear
// amount, once round, enclosing a clear area. Box2D would merge close points, drop points that are not
// on the hull and stop the process when fewer than three were left or the area came out too small.
PolygonFault CheckPolygon(const b2Vec2* p, int n) {
    double largest = 1.0;
    for (int i = 0; i < n; ++i)
        largest = std::max({largest, std::fabs(static_cast<double>(p[i].x)), std::fabs(static_cast<double>(p[i].y))});
    const double tolerance = largest * 1e-5;
    const double closest = std::max(static_cast<double>(b2_linearSlop), tolerance);
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            if (Length(p[j] - p[i]) < closest) return PolygonFault::Degenerate;
    int turn = 0;
    double turning = 0, area = 0;
    for (int i = 0; i < n; ++i) {
        const b2Vec2 e1 = p[(i + 1) % n] - p[i];
        const b2Vec2 e2 = p[(i + 2) % n] - p[(i + 1) % n];
        const double c = Cross(e1, e2);
        if (std::fabs(c) < tolerance * (Length(e1) + Length(e2))) return PolygonFault::Degenerate;
        const int sign = c > 0 ? 1 : -1;
        if (turn != 0 && sign != turn) return PolygonFault::NotConvex;
        turn = sign;
        turning += std::atan2(c, Dot(e1, e2));
        area += Cross(p[i], p[(i + 1) % n]);
    }
    // Corners that all turn one way but go round twice (a star) cross themselves.
    if (std::fabs(std::fabs(turning) - kTwoPi) > 0.5) return PolygonFault::NotConvex;
    if (std::fabs(area) / 2 < 16 * b2_epsilon) return PolygonFault::Degenerate;
    return PolygonFault::None;
}

bool Refuse(const char* format, const char* name) {
    ReleaseConsole->Output(format, name);
    return false;
}

} // namespace

bool PhysicsShape_Make(const PhysicsBodySettings& s, float scale, PhysicsShape* out) {
    const char* name = s.name ? s.name : "";
    const int values = s.shapeValues ? s.shapeValueCount : 0;
    if (s.shape == 0) {
        if (values < 2) return Refuse("Corrupt shape data for %s\n", name);
        if (std::fabs(static_cast<double>(s.xscale) - s.yscale) >= 0.0001)
            ReleaseConsole->Output("Image scale for physics object using circle collision should not vary across axes: %s\n",
                                   name);
        const float radius = s.shapeValues[0] * scale * std::fabs(s.xscale);
        if (!InRange(radius)) return Refuse("Physics shape of %s holds a value that is not a number or too large\n", name);
        if (!(radius > 0)) return Refuse("Physics shape of %s has a size of 0 or less\n", name);
        out->isCircle = true;
        out->circle.m_p.SetZero();
        out->circle.m_radius = radius;
        return true;
    }
    const int points = values / 2;
    if (points < 3) return Refuse("Corrupt shape data for %s\n", name);
    if (points > b2_maxPolygonVertices) {
        ReleaseConsole->Output("Physics shape of %s has %d points (at most %d)\n", name, points, b2_maxPolygonVertices);
        return false;
    }
    // A mirrored image turns the points' order round.
    const bool mirrored = static_cast<double>(s.xscale) * s.yscale < 0;
    b2Vec2 p[b2_maxPolygonVertices];
    for (int i = 0; i < points; ++i) {
        const int k = mirrored ? points - 1 - i : i;
        p[i].Set(s.shapeValues[2 * k] * scale * s.xscale, s.shapeValues[2 * k + 1] * scale * s.yscale);
        if (!InRange(p[i].x) || !InRange(p[i].y))
            return Refuse("Physics shape of %s holds a value that is not a number or too large\n", name);
    }
    switch (CheckPolygon(p, points)) {
    case PolygonFault::Degenerate:
        return Refuse("Physics shape of %s is degenerate: its points are too close together or in a line\n", name);
    case PolygonFault::NotConvex:
        return Refuse("Physics shape of %s is not convex\n", name);
    case PolygonFault::None:
        break;
    }
    out->isCircle = false;
    out->polygon.Set(p, points);
    return true;
}

bool PhysicsShape_CheckMass(const PhysicsBodySettings& s, const PhysicsShape& shape) {
    b2MassData mass;
    shape.Shape()->ComputeMass(&mass, s.density);
    bool usable = std::isfinite(mass.mass) && std::isfinite(mass.I) && mass.center.IsValid();
    if (usable && mass.I > 0) {
        // The inertia about the centre of mass, in Box2D's own single-precision steps; it must stay
        // clearly positive when the shape lies far from the body's origin.
        b2Vec2 centre = mass.mass * mass.center;
        if (mass.mass > 0) centre *= 1.0f / mass.mass;
        const float inertia = mass.I - mass.mass * b2Dot(centre, centre);
        usable = inertia > mass.I * 1e-5f;
    }
    if (!usable)
        return Refuse("Physics shape of %s gives no usable mass: too large, too dense, or too far from the instance's origin\n",
                      s.name ? s.name : "");
    return true;
}
