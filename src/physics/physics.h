// The physics of rooms, on Box2D: a room's world, the bodies of its instances, the quantities the phy_*
// variables read and write, and the touching contacts after each step.
//
// The game measures in pixels, steps and degrees (counter-clockwise on screen for image_angle); Box2D in
// metres, seconds and radians. A world's scale (pixels to metres) converts lengths, its room speed
// converts per-step speeds. The y axis points down in both, so a positive body angle turns clockwise on
// screen: the body's angle is minus the image angle.
//
// Box2D ends the process on input it cannot use (a degenerate polygon, a body made while the world
// steps, numbers that are not finite). Every value is checked here before it reaches Box2D: a shape or
// setting that cannot make a body gives a message on the release console and no body, and a quantity
// that cannot be written is refused with the reason.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class b2Body;
class b2World;
class CPhysicsObject;

// The solver's iterations of one step.
constexpr int kPhysicsVelocityIterations = 8;
constexpr int kPhysicsPositionIterations = 3;
// No length in metres (a position, a shape point, a radius) may be larger than this.
constexpr double kPhysicsMaxMetres = 1e9;

// What a body is made from: the object's physics settings and the instance's place and image transform.
struct PhysicsBodySettings {
    const char* name = "";             // the object's name, for messages
    int32_t shape = 0;                 // 0 circle (radius: the first value), 1 and 2 polygon from the points
    const float* shapeValues = nullptr; // x, y of each point, in pixels
    int32_t shapeValueCount = 0;
    float density = 0;                 // 0 makes a static body (unless kinematic)
    float restitution = 0;
    float friction = 0;
    float linearDamping = 0;
    float angularDamping = 0;
    int32_t group = 0;                 // its low 16 bits: the collision group
    bool sensor = false;
    bool awake = true;
    bool kinematic = false;
    float x = 0, y = 0;                // pixels
    float xscale = 1, yscale = 1;
    float angle = 0;                   // the image angle, degrees
};

// The quantities of a body, in the order of the phy_* variables (the first 13 can be written).
enum PhysicsQuantity {
    PHY_ROTATION,            // degrees, clockwise on screen
    PHY_POSITION_X,          // pixels
    PHY_POSITION_Y,
    PHY_ANGULAR_VELOCITY,    // degrees per second
    PHY_LINEAR_VELOCITY_X,   // pixels per second
    PHY_LINEAR_VELOCITY_Y,
    PHY_SPEED_X,             // pixels per step
    PHY_SPEED_Y,
    PHY_ANGULAR_DAMPING,
    PHY_LINEAR_DAMPING,
    PHY_BULLET,
    PHY_FIXED_ROTATION,
    PHY_ACTIVE,
    PHY_MASS,
    PHY_INERTIA,
    PHY_COM_X,               // the centre of mass, pixels
    PHY_COM_Y,
    PHY_SPEED,               // pixels per step
    PHY_DYNAMIC,
    PHY_KINEMATIC,
    PHY_SLEEPING,
    PHY_POSITION_XPREVIOUS,  // where the last step started, pixels
    PHY_POSITION_YPREVIOUS,
    PHY_COLLISION_POINTS,    // the contact whose collision event runs (0 outside one)
    PHY_COLLISION_X,         // its points (the array index chooses), pixels
    PHY_COLLISION_Y,
    PHY_COL_NORMAL_X,        // its normal, pointing away from this body
    PHY_COL_NORMAL_Y,
    PHY_QUANTITY_COUNT
};
constexpr int kSettablePhysicsQuantities = PHY_ACTIVE + 1;
inline constexpr const char* const PhysicsQuantity_Names[PHY_QUANTITY_COUNT] = {
    "phy_rotation",           "phy_position_x",         "phy_position_y",        "phy_angular_velocity",
    "phy_linear_velocity_x",  "phy_linear_velocity_y",  "phy_speed_x",           "phy_speed_y",
    "phy_angular_damping",    "phy_linear_damping",     "phy_bullet",            "phy_fixed_rotation",
    "phy_active",             "phy_mass",               "phy_inertia",           "phy_com_x",
    "phy_com_y",              "phy_speed",              "phy_dynamic",           "phy_kinematic",
    "phy_sleeping",           "phy_position_xprevious", "phy_position_yprevious", "phy_collision_points",
    "phy_collision_x",        "phy_collision_y",        "phy_col_normal_x",      "phy_col_normal_y",
};

// A touching contact between two bodies after a step, in pixels. The normal points from a to b.
struct PhysicsContact {
    CPhysicsObject* a = nullptr;
    CPhysicsObject* b = nullptr;
    int pointCount = 0;
    double pointX[2] = {}, pointY[2] = {};
    double normalX = 0, normalY = 0;
};

class CPhysicsWorld {
public:
    CPhysicsWorld(float pixelsToMetres, int roomSpeed);
    // Frees the bodies; objects still holding one are left without it.
    ~CPhysicsWorld();
    CPhysicsWorld(const CPhysicsWorld&) = delete;
    CPhysicsWorld& operator=(const CPhysicsWorld&) = delete;

    // A new world with the settings of source (no bodies).
    static CPhysicsWorld* CopyConstruct(const CPhysicsWorld& source);

    // Sets the gravity (metres per second squared) and wakes sleeping dynamic bodies.
    void SetGravity(float x, float y);
    // One step of 1 / room speed seconds (a speed below 1 counts as 1).
    void Update(int roomSpeed);
    // A body in this world for owner, or null with the reason on the release console.
    CPhysicsObject* CreateBody(const PhysicsBodySettings& settings, void* owner);
    // The contacts that touch after the last step, copied (event code may change the world meanwhile).
    std::vector<PhysicsContact> TouchingContacts() const;

    float PixelsToMetres() const { return m_pixelsToMetres; }
    int RoomSpeed() const { return m_roomSpeed; }
    float GravityX() const { return m_gravityX; }
    float GravityY() const { return m_gravityY; }
    b2World* Box2DWorld() const { return m_world; }

private:
    friend class CPhysicsObject;
    b2World* m_world;
    float m_pixelsToMetres;
    int m_roomSpeed;
    float m_gravityX = 0.0f;
    float m_gravityY = 0.0f;
};

// The body of an instance. Destroying it removes the body (and the joints attached to it) from its world.
class CPhysicsObject {
public:
    ~CPhysicsObject();
    CPhysicsObject(const CPhysicsObject&) = delete;
    CPhysicsObject& operator=(const CPhysicsObject&) = delete;

    void* Owner() const { return m_owner; }
    // Null once its world was destroyed.
    b2Body* Body() const { return m_body; }
    CPhysicsWorld* World() const { return m_world; }

    // A quantity (index: the array index, which chooses the contact point).
    double Get(PhysicsQuantity quantity, int index = 0) const;
    // False, with the reason, for a read-only quantity or a value the body cannot take.
    bool Set(PhysicsQuantity quantity, double value, std::string* error);
    // Takes part in the world or not (deactivated instances, phy_active).
    void SetEnabled(bool enabled);
    // Where the body is: pixels, and the image angle that matches its rotation.
    void Place(float* x, float* y, float* imageAngle) const;

private:
    friend class CPhysicsWorld;
    CPhysicsObject(CPhysicsWorld* world, b2Body* body, void* owner) : m_world(world), m_body(body), m_owner(owner) {}
    CPhysicsWorld* m_world;
    b2Body* m_body;
    void* m_owner;
    double m_xprevious = 0, m_yprevious = 0;
};

// The contact whose collision event runs, or null; the collision quantities read it.
void Physics_SetCurrentContact(const PhysicsContact* contact);

void InitPhysicsFunctions();
// Installs the physics engine's assertion hook ("-debug", or "Debug" in options.ini): a check that
// stops a call before it could break Box2D's own rules is then reported as an error of the game, not only
// written to the debug console.
void Physics_SetAssertHandler();
bool Physics_AssertHandlerInstalled();
