// The fixture of a body: its shape built from an object's physics settings, checked so that Box2D
// accepts it without stopping the process.
#pragma once

#include "physics/physics.h"

#include <box2d/box2d.h>

struct PhysicsShape {
    b2CircleShape circle;
    b2PolygonShape polygon;
    bool isCircle = true;
    const b2Shape* Shape() const {
        return isCircle ? static_cast<const b2Shape*>(&circle) : static_cast<const b2Shape*>(&polygon);
    }
};

// The shape at the world's scale and the instance's image scales; false with the reason written to the
// release console.
bool PhysicsShape_Make(const PhysicsBodySettings& settings, float pixelsToMetres, PhysicsShape* out);
// Whether a dynamic body of this shape and density gets a finite mass and a positive inertia about its
// centre of mass (as Box2D computes them); false with the reason written.
bool PhysicsShape_CheckMass(const PhysicsBodySettings& settings, const PhysicsShape& shape);
