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

namespace {

// Every physics variable reads and writes the instance's physics body, and no instance has one before
// the engine is built: reads and writes fail.
bool GetWithoutBody(CInstance* /*self*/, int /*arrayIndex*/, ScriptValue* /*out*/) {
    return false;
}
bool SetWithoutBody(CInstance* /*self*/, int /*arrayIndex*/, ScriptValue* /*in*/) {
    return false;
}

} // namespace

const BuiltInVariableRow Physics_Variables[kPhysicsVariableCount] = {
    {"phy_rotation", GetWithoutBody, SetWithoutBody},
    {"phy_position_x", GetWithoutBody, SetWithoutBody},
    {"phy_position_y", GetWithoutBody, SetWithoutBody},
    {"phy_angular_velocity", GetWithoutBody, SetWithoutBody},
    {"phy_linear_velocity_x", GetWithoutBody, SetWithoutBody},
    {"phy_linear_velocity_y", GetWithoutBody, SetWithoutBody},
    {"phy_speed_x", GetWithoutBody, SetWithoutBody},
    {"phy_speed_y", GetWithoutBody, SetWithoutBody},
    {"phy_angular_damping", GetWithoutBody, SetWithoutBody},
    {"phy_linear_damping", GetWithoutBody, SetWithoutBody},
    {"phy_bullet", GetWithoutBody, SetWithoutBody},
    {"phy_fixed_rotation", GetWithoutBody, SetWithoutBody},
    {"phy_active", GetWithoutBody, SetWithoutBody},
    {"phy_mass", GetWithoutBody, nullptr},
    {"phy_inertia", GetWithoutBody, nullptr},
    {"phy_com_x", GetWithoutBody, nullptr},
    {"phy_com_y", GetWithoutBody, nullptr},
    {"phy_speed", GetWithoutBody, nullptr},
    {"phy_dynamic", GetWithoutBody, nullptr},
    {"phy_kinematic", GetWithoutBody, nullptr},
    {"phy_sleeping", GetWithoutBody, nullptr},
    {"phy_position_xprevious", GetWithoutBody, nullptr},
    {"phy_position_yprevious", GetWithoutBody, nullptr},
    {"phy_collision_points", GetWithoutBody, nullptr},
    {"phy_collision_x", GetWithoutBody, nullptr},
    {"phy_collision_y", GetWithoutBody, nullptr},
    {"phy_col_normal_x", GetWithoutBody, nullptr},
    {"phy_col_normal_y", GetWithoutBody, nullptr},
};

// No physics built-ins are written yet, and there is no engine to hook.
void InitPhysicsFunctions() {}
void Physics_SetAssertHandler() {}
