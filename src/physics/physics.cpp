#include "physics/physics.h"

#include "core/console.h"
#include "physics/physics_shape.h"
#include "script/vm/vm_error.h"

#include <box2d/box2d.h>

#include <cmath>

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

bool g_assertHook = false;
const PhysicsContact* g_currentContact = nullptr;

// A rule of Box2D that a call would break: the call is refused and the failure reported.
bool PhysicsCheck(bool ok, const char* what) {
    if (ok) return true;
    if (g_assertHook) Code_Error_Report((std::string("Physics assertion failed: ") + what).c_str(), false);
    else DebugConsole->Output("Physics assertion failed: %s\n", what);
    return false;
}

CPhysicsObject* ObjectOf(b2Body* body) {
    return reinterpret_cast<CPhysicsObject*>(body->GetUserData().pointer);
}

bool InRange(double metres) {
    return std::isfinite(metres) && std::fabs(metres) <= kPhysicsMaxMetres;
}

bool SettingsUsable(const PhysicsBodySettings& s) {
    for (float v : {s.density, s.restitution, s.friction, s.linearDamping, s.angularDamping})
        if (!std::isfinite(v) || v < 0) return false;
    return true;
}

} // namespace

// ---- The world

CPhysicsWorld::CPhysicsWorld(float pixelsToMetres, int roomSpeed)
    : m_world(new b2World(b2Vec2(0.0f, 0.0f))), m_pixelsToMetres(pixelsToMetres),
      m_roomSpeed(roomSpeed < 1 ? 1 : roomSpeed) {}

CPhysicsWorld::~CPhysicsWorld() {
    for (b2Body* body = m_world->GetBodyList(); body; body = body->GetNext()) {
        CPhysicsObject* object = ObjectOf(body);
        object->m_body = nullptr;
        object->m_world = nullptr;
    }
    delete m_world;
}

CPhysicsWorld* CPhysicsWorld::CopyConstruct(const CPhysicsWorld& source) {
    auto* world = new CPhysicsWorld(source.m_pixelsToMetres, source.m_roomSpeed);
    world->SetGravity(source.m_gravityX, source.m_gravityY);
    return world;
}

void CPhysicsWorld::SetGravity(float x, float y) {
    if (!PhysicsCheck(std::isfinite(x) && std::isfinite(y), "gravity that is not a number")) return;
    m_gravityX = x;
    m_gravityY = y;
    m_world->SetGravity(b2Vec2(x, y));
    for (b2Body* body = m_world->GetBodyList(); body; body = body->GetNext())
        if (body->GetType() == b2_dynamicBody) body->SetAwake(true);
}

void CPhysicsWorld::Update(int roomSpeed) {
    m_roomSpeed = roomSpeed < 1 ? 1 : roomSpeed;
    for (b2Body* body = m_world->GetBodyList(); body; body = body->GetNext()) {
        CPhysicsObject* object = ObjectOf(body);
        object->m_xprevious = object->Get(PHY_POSITION_X);
        object->m_yprevious = object->Get(PHY_POSITION_Y);
    }
    m_world->Step(1.0f / static_cast<float>(m_roomSpeed), kPhysicsVelocityIterations, kPhysicsPositionIterations);
    // A body whose state stopped being finite would break the next step: it leaves the simulation.
    for (b2Body* body = m_world->GetBodyList(); body; body = body->GetNext()) {
        if (!body->IsEnabled()) continue;
        const bool finite = body->GetPosition().IsValid() && std::isfinite(body->GetAngle()) &&
                            body->GetLinearVelocity().IsValid() && std::isfinite(body->GetAngularVelocity());
        if (!PhysicsCheck(finite, "a body's state is no longer finite")) body->SetEnabled(false);
    }
}

CPhysicsObject* CPhysicsWorld::CreateBody(const PhysicsBodySettings& s, void* owner) {
    const char* name = s.name ? s.name : "";
    if (!PhysicsCheck(!m_world->IsLocked(), "a body made while the world steps")) return nullptr;
    if (!(std::isfinite(m_pixelsToMetres) && m_pixelsToMetres > 0)) {
        ReleaseConsole->Output("Physics world scale %g is not above 0: no body for %s\n",
                               static_cast<double>(m_pixelsToMetres), name);
        return nullptr;
    }
    if (!SettingsUsable(s)) {
        ReleaseConsole->Output("Physics settings of %s are not usable: density, restitution, friction and "
                               "damping must be numbers of 0 or more\n",
                               name);
        return nullptr;
    }
    const float x = s.x * m_pixelsToMetres, y = s.y * m_pixelsToMetres;
    const double angle = -static_cast<double>(s.angle) / kDegreesPerRadian;
    if (!InRange(x) || !InRange(y) || !std::isfinite(static_cast<float>(angle))) {
        ReleaseConsole->Output("Physics body of %s cannot be placed at (%g, %g) turned by %g\n", name,
                               static_cast<double>(s.x), static_cast<double>(s.y), static_cast<double>(s.angle));
        return nullptr;
    }
    PhysicsShape shape;
    if (!PhysicsShape_Make(s, m_pixelsToMetres, &shape)) return nullptr;

    b2BodyDef def;
    def.type = s.kinematic ? b2_kinematicBody : s.density == 0 ? b2_staticBody : b2_dynamicBody;
    if (def.type == b2_dynamicBody && !PhysicsShape_CheckMass(s, shape)) return nullptr;
    def.position.Set(x, y);
    def.angle = static_cast<float>(angle);
    def.awake = s.awake;
    def.linearDamping = s.linearDamping;
    def.angularDamping = s.angularDamping;
    b2FixtureDef fixture;
    fixture.shape = shape.Shape();
    fixture.density = s.density;
    fixture.friction = s.friction;
    fixture.restitution = s.restitution;
    fixture.isSensor = s.sensor;
    fixture.filter.groupIndex = static_cast<int16_t>(static_cast<uint16_t>(s.group & 0xFFFF));

    b2Body* body = m_world->CreateBody(&def);
    auto* object = new CPhysicsObject(this, body, owner);
    body->GetUserData().pointer = reinterpret_cast<uintptr_t>(object);
    body->CreateFixture(&fixture);
    object->m_xprevious = s.x;
    object->m_yprevious = s.y;
    return object;
}

std::vector<PhysicsContact> CPhysicsWorld::TouchingContacts() const {
    std::vector<PhysicsContact> contacts;
    for (b2Contact* c = m_world->GetContactList(); c; c = c->GetNext()) {
        if (!c->IsTouching() || !c->IsEnabled()) continue;
        PhysicsContact contact;
        contact.a = ObjectOf(c->GetFixtureA()->GetBody());
        contact.b = ObjectOf(c->GetFixtureB()->GetBody());
        b2WorldManifold manifold;
        manifold.normal.SetZero();
        c->GetWorldManifold(&manifold);
        contact.pointCount = c->GetManifold()->pointCount;
        for (int i = 0; i < contact.pointCount && i < 2; ++i) {
            contact.pointX[i] = static_cast<double>(manifold.points[i].x) / m_pixelsToMetres;
            contact.pointY[i] = static_cast<double>(manifold.points[i].y) / m_pixelsToMetres;
        }
        contact.normalX = manifold.normal.x;
        contact.normalY = manifold.normal.y;
        contacts.push_back(contact);
    }
    return contacts;
}

// ---- Bodies

CPhysicsObject::~CPhysicsObject() {
    if (!m_body) return;
    // Destroying a body also destroys its joints and contacts.
    if (PhysicsCheck(!m_world->m_world->IsLocked(), "a body destroyed while the world steps"))
        m_world->m_world->DestroyBody(m_body);
}

void CPhysicsObject::SetEnabled(bool enabled) {
    if (m_body && PhysicsCheck(!m_world->m_world->IsLocked(), "a body switched while the world steps"))
        m_body->SetEnabled(enabled);
}

void CPhysicsObject::Place(float* x, float* y, float* imageAngle) const {
    if (!m_body) return;
    *x = static_cast<float>(Get(PHY_POSITION_X));
    *y = static_cast<float>(Get(PHY_POSITION_Y));
    *imageAngle = static_cast<float>(-Get(PHY_ROTATION));
}

double CPhysicsObject::Get(PhysicsQuantity quantity, int index) const {
    if (!m_body) return 0;
    const double scale = m_world->m_pixelsToMetres;
    const double speed = m_world->m_roomSpeed;
    const b2Vec2 position = m_body->GetPosition();
    const b2Vec2 velocity = m_body->GetLinearVelocity();
    const PhysicsContact* contact = g_currentContact;
    if (contact && contact->a != this && contact->b != this) contact = nullptr;
    // The normal points away from this body: Box2D's points from a to b.
    const double towardsOther = contact && contact->b == this ? -1.0 : 1.0;
    const int point = index >= 0 && index < 2 ? index : 0;
    const bool hasPoint = contact && point < contact->pointCount;
    switch (quantity) {
    case PHY_ROTATION: return m_body->GetAngle() * kDegreesPerRadian;
    case PHY_POSITION_X: return position.x / scale;
    case PHY_POSITION_Y: return position.y / scale;
    case PHY_ANGULAR_VELOCITY: return m_body->GetAngularVelocity() * kDegreesPerRadian;
    case PHY_LINEAR_VELOCITY_X: return velocity.x / scale;
    case PHY_LINEAR_VELOCITY_Y: return velocity.y / scale;
    case PHY_SPEED_X: return velocity.x / scale / speed;
    case PHY_SPEED_Y: return velocity.y / scale / speed;
    case PHY_ANGULAR_DAMPING: return m_body->GetAngularDamping();
    case PHY_LINEAR_DAMPING: return m_body->GetLinearDamping();
    case PHY_BULLET: return m_body->IsBullet();
    case PHY_FIXED_ROTATION: return m_body->IsFixedRotation();
    case PHY_ACTIVE: return m_body->IsEnabled();
    case PHY_MASS: return m_body->GetMass();
    case PHY_INERTIA: return m_body->GetInertia();
    case PHY_COM_X: return m_body->GetWorldCenter().x / scale;
    case PHY_COM_Y: return m_body->GetWorldCenter().y / scale;
    case PHY_SPEED: return std::hypot(velocity.x / scale, velocity.y / scale) / speed;
    case PHY_DYNAMIC: return m_body->GetType() == b2_dynamicBody;
    case PHY_KINEMATIC: return m_body->GetType() == b2_kinematicBody;
    case PHY_SLEEPING: return !m_body->IsAwake();
    case PHY_POSITION_XPREVIOUS: return m_xprevious;
    case PHY_POSITION_YPREVIOUS: return m_yprevious;
    case PHY_COLLISION_POINTS: return contact ? contact->pointCount : 0;
    case PHY_COLLISION_X: return hasPoint ? contact->pointX[point] : 0;
    case PHY_COLLISION_Y: return hasPoint ? contact->pointY[point] : 0;
    case PHY_COL_NORMAL_X: return contact ? contact->normalX * towardsOther : 0;
    case PHY_COL_NORMAL_Y: return contact ? contact->normalY * towardsOther : 0;
    case PHY_QUANTITY_COUNT: break;
    }
    return 0;
}

bool CPhysicsObject::Set(PhysicsQuantity quantity, double value, std::string* error) {
    const char* name = quantity >= 0 && quantity < PHY_QUANTITY_COUNT ? PhysicsQuantity_Names[quantity] : "?";
    auto refuse = [&](const char* why) {
        *error = std::string(name) + ": " + why;
        return false;
    };
    if (quantity < 0 || quantity >= kSettablePhysicsQuantities) return refuse("read-only");
    if (!m_body) return refuse("the instance has no physics body");
    if (!std::isfinite(value)) return refuse("the value is not a number");
    if (!PhysicsCheck(!m_world->m_world->IsLocked(), "a body changed while the world steps"))
        return refuse("the world is stepping");
    const double scale = m_world->m_pixelsToMetres;
    const double speed = m_world->m_roomSpeed;
    b2Vec2 position = m_body->GetPosition();
    b2Vec2 velocity = m_body->GetLinearVelocity();
    // Every value reaches Box2D as a float: it must be finite there too.
    auto asFloat = [](double v, float* out) {
        *out = static_cast<float>(v);
        return std::isfinite(*out);
    };
    float f = 0;
    switch (quantity) {
    case PHY_ROTATION:
        if (!asFloat(value / kDegreesPerRadian, &f)) return refuse("the angle is too large");
        m_body->SetTransform(position, f);
        return true;
    case PHY_POSITION_X:
    case PHY_POSITION_Y:
        if (!asFloat(value * scale, &f) || !InRange(f)) return refuse("the position lies outside the physics world");
        (quantity == PHY_POSITION_X ? position.x : position.y) = f;
        m_body->SetTransform(position, m_body->GetAngle());
        return true;
    case PHY_ANGULAR_VELOCITY:
        if (!asFloat(value / kDegreesPerRadian, &f)) return refuse("the speed is too large");
        m_body->SetAngularVelocity(f);
        return true;
    case PHY_LINEAR_VELOCITY_X:
    case PHY_LINEAR_VELOCITY_Y:
    case PHY_SPEED_X:
    case PHY_SPEED_Y: {
        const bool perStep = quantity == PHY_SPEED_X || quantity == PHY_SPEED_Y;
        if (!asFloat(value * scale * (perStep ? speed : 1.0), &f)) return refuse("the speed is too large");
        (quantity == PHY_LINEAR_VELOCITY_X || quantity == PHY_SPEED_X ? velocity.x : velocity.y) = f;
        m_body->SetLinearVelocity(velocity);
        return true;
    }
    case PHY_ANGULAR_DAMPING:
    case PHY_LINEAR_DAMPING:
        if (!asFloat(value, &f) || f < 0) return refuse("the damping must be 0 or more");
        if (quantity == PHY_ANGULAR_DAMPING) m_body->SetAngularDamping(f);
        else m_body->SetLinearDamping(f);
        return true;
    case PHY_BULLET:
        m_body->SetBullet(std::nearbyint(value) != 0);
        return true;
    case PHY_FIXED_ROTATION:
        m_body->SetFixedRotation(std::nearbyint(value) != 0);
        return true;
    case PHY_ACTIVE:
        m_body->SetEnabled(std::nearbyint(value) != 0);
        return true;
    default:
        return refuse("read-only");
    }
}

void Physics_SetCurrentContact(const PhysicsContact* contact) {
    g_currentContact = contact;
}

// The physics built-ins are not part of this runner: the group registers none.
void InitPhysicsFunctions() {}

void Physics_SetAssertHandler() {
    g_assertHook = true;
}

bool Physics_AssertHandlerInstalled() {
    return g_assertHook;
}
