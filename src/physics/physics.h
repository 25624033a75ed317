// The physics of rooms as the rooms, instances and the run loop reach it.
//
// The physics engine is not built yet: a room's world keeps its settings but holds no bodies, so a step
// moves nothing. The bodies of instances (built with the instance's CreatePhysicsBody and
// RecreatePhysicsBody) come with the engine.
#pragma once

#include "script/variables.h"

class CPhysicsWorld {
public:
    CPhysicsWorld(float pixelsToMetres, int roomSpeed);
    ~CPhysicsWorld();
    CPhysicsWorld(const CPhysicsWorld&) = delete;
    CPhysicsWorld& operator=(const CPhysicsWorld&) = delete;

    // A new world with the settings of source (no bodies).
    static CPhysicsWorld* CopyConstruct(const CPhysicsWorld& source);

    // Sets the gravity and wakes sleeping dynamic bodies.
    void SetGravity(float x, float y);
    // One step of the world; the motion stage of a physics room.
    void Update(int roomSpeed, bool anyInstanceFollowsPath);

    float PixelsToMetres() const { return m_pixelsToMetres; }
    int RoomSpeed() const { return m_roomSpeed; }
    float GravityX() const { return m_gravityX; }
    float GravityY() const { return m_gravityY; }

private:
    float m_pixelsToMetres;
    int m_roomSpeed;
    float m_gravityX = 0.0f;
    float m_gravityY = 0.0f;
};

// The physics body of an instance; destroying it removes the body and its joints from the current room's
// world.
class CPhysicsObject {
public:
    CPhysicsObject() = default;
    ~CPhysicsObject();
    CPhysicsObject(const CPhysicsObject&) = delete;
    CPhysicsObject& operator=(const CPhysicsObject&) = delete;
};

// The 28 physics variables of an instance, in registration order (among the instance variables); the
// first 13 are settable.
constexpr int kPhysicsVariableCount = 28;
constexpr int kSettablePhysicsVariableCount = 13;
extern const BuiltInVariableRow Physics_Variables[kPhysicsVariableCount];

void InitPhysicsFunctions();
// Installs the physics engine's assertion hook ("-debug", or "Debug" in options.ini).
void Physics_SetAssertHandler();
