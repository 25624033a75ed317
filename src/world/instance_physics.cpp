// Instances and the room's physics world: the body an instance gets from its object's physics settings,
// the instance following its body after each step, and the collision events of the world's contacts.
#include "graphics/sprite/sprite.h"
#include "physics/physics.h"
#include "world/event.h"
#include "world/instance.h"
#include "world/object.h"
#include "world/room.h"

#include <vector>

void CInstance::CreatePhysicsBody(CRoom* room) {
    if (!room || !room->physicsWorld || !object || !object->usesPhysics || !Sprite_Exists(sprite_index)) return;
    PhysicsBodySettings s;
    s.name = object->name ? object->name : "";
    s.shape = object->shape;
    s.shapeValues = object->shapePoints;
    s.shapeValueCount = object->shapePoints ? 2 * object->shapePointCount : 0;
    s.density = object->density;
    s.restitution = object->restitution;
    s.friction = object->friction;
    s.linearDamping = object->linearDamping;
    s.angularDamping = object->angularDamping;
    s.group = object->group;
    s.sensor = object->sensor != 0;
    s.awake = object->awake != 0;
    s.kinematic = object->kinematic != 0;
    s.x = x;
    s.y = y;
    s.xscale = image_xscale;
    s.yscale = image_yscale;
    s.angle = image_angle;
    physicsObject = room->physicsWorld->CreateBody(s, this);
}

void CInstance::RecreatePhysicsBody(CRoom* room) {
    delete physicsObject;
    physicsObject = nullptr;
    CreatePhysicsBody(room);
}

bool CInstance::FollowPhysicsBody() {
    if (!physicsObject || !physicsObject->Body()) return false;
    float px = x, py = y, angle = image_angle;
    physicsObject->Place(&px, &py, &angle);
    SetPosition(px, py);
    SetImageAngle(angle);
    return true;
}

// Each touching contact raises the collision event of either instance with the other's object, while
// both are still there and still own the bodies that touched.
void CRoom::RaisePhysicsCollisions() {
    if (!physicsWorld) return;
    struct Touch {
        PhysicsContact contact;
        CInstance* a;
        CInstance* b;
    };
    std::vector<Touch> touches;
    for (const PhysicsContact& c : physicsWorld->TouchingContacts()) {
        auto* a = static_cast<CInstance*>(c.a->Owner());
        auto* b = static_cast<CInstance*>(c.b->Owner());
        if (a && b) touches.push_back({c, a, b});
    }
    for (const Touch& t : touches) {
        auto touching = [&]() {
            return t.a->Present() && t.b->Present() && t.a->physicsObject == t.contact.a &&
                   t.b->physicsObject == t.contact.b;
        };
        Physics_SetCurrentContact(&t.contact);
        if (touching()) PerformInstanceEvent(t.a, t.b, ev_collision, t.b->object_index);
        if (touching()) PerformInstanceEvent(t.b, t.a, ev_collision, t.a->object_index);
        Physics_SetCurrentContact(nullptr);
    }
}
