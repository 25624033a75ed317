#include "physics/physics.h"

CPhysicsWorld::CPhysicsWorld(float pixelsToMetres, int roomSpeed)
    : m_pixelsToMetres(pixelsToMetres), m_roomSpeed(roomSpeed) {}

CPhysicsWorld::~CPhysicsWorld() = default;

CPhysicsWorld* CPhysicsWorld::CopyConstruct(const CPhysicsWorld& source) {
    auto* world = new CPhysicsWorld(source.m_pixelsToMetres, source.m_roomSpeed);
    world->SetGravity(source.m_gravityX, source.m_gravityY);
    return world;
}

// With no bodies there is nothing to wake.
void CPhysicsWorld::SetGravity(float x, float y) {
    m_gravityX = x;
    m_gravityY = y;
}

// The engine that steps bodies is not built (see the header): nothing moves.
void CPhysicsWorld::Update(int /*roomSpeed*/, bool /*anyInstanceFollowsPath*/) {}

CPhysicsObject::~CPhysicsObject() = default;

// No physics built-ins are written yet, and there is no engine to hook.
void InitPhysicsFunctions() {}
void Physics_SetAssertHandler() {}
