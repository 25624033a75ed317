// The physics world on Box2D: bodies made from settings in pixels, checked before Box2D sees them, and
// their quantities read and written in pixels, steps and degrees. Expected values come from a Box2D
// world built and stepped beside ours.
#include "core/console.h"
#include "physics/physics.h"
#include "script/compiler/compile.h"
#include "support/temp_folder.h"

#include <box2d/box2d.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kDegrees = 57.29577951308232;
constexpr float kScale = 0.1f;
constexpr int kSpeed = 60;

// The release console's lines while the test runs.
class ReleaseLog {
public:
    ReleaseLog() { Console_SetLogFile(0, (m_folder / "log").c_str()); }
    ~ReleaseLog() { Console_SetLogFile(0, nullptr); }
    std::string Text() const { return TempFolder::Read(m_folder / "log"); }

private:
    TempFolder m_folder;
};

PhysicsBodySettings Settings(const std::vector<float>& values, int shape = 2) {
    PhysicsBodySettings s;
    s.name = "oThing";
    s.shape = shape;
    s.shapeValues = values.data();
    s.shapeValueCount = static_cast<int32_t>(values.size());
    s.density = 1;
    s.friction = 0.3f;
    s.restitution = 0.2f;
    return s;
}

// Metres as pixels, in double precision as the world gives them.
double Px(float metres) {
    return static_cast<double>(metres) / kScale;
}

const b2Fixture& FixtureOf(const CPhysicsObject& object) {
    return *object.Body()->GetFixtureList();
}

} // namespace

TEST(PhysicsWorld, BodiesTakeTheWorldScaleAndTheImageTransform) {
    ReleaseLog log;
    CPhysicsWorld world(kScale, kSpeed);
    const std::vector<float> radius = {8, 0};
    PhysicsBodySettings circle = Settings(radius, 0);
    circle.x = 100;
    circle.y = 50;
    circle.angle = 30;
    circle.xscale = -2;
    circle.yscale = -2;
    circle.group = 0x1FFFF; // the low 16 bits: -1
    circle.sensor = true;
    int owner = 0;
    std::unique_ptr<CPhysicsObject> a(world.CreateBody(circle, &owner));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Owner(), &owner);
    const b2Body& body = *a->Body();
    EXPECT_EQ(body.GetType(), b2_dynamicBody);
    EXPECT_EQ(body.GetPosition(), b2Vec2(100 * kScale, 50 * kScale));
    EXPECT_EQ(body.GetAngle(), static_cast<float>(-30 / kDegrees));
    EXPECT_EQ(FixtureOf(*a).GetShape()->m_radius, 8 * kScale * 2);
    EXPECT_TRUE(FixtureOf(*a).IsSensor());
    EXPECT_EQ(FixtureOf(*a).GetFilterData().groupIndex, -1);
    EXPECT_NEAR(a->Get(PHY_ROTATION), -30.0, 1e-5);
    float x = 0, y = 0, angle = 0;
    a->Place(&x, &y, &angle);
    EXPECT_FLOAT_EQ(x, 100);
    EXPECT_FLOAT_EQ(y, 50);
    EXPECT_FLOAT_EQ(angle, 30);

    // A circle under unequal scales is warned about and takes the x scale.
    circle.yscale = 3;
    std::unique_ptr<CPhysicsObject> b(world.CreateBody(circle, nullptr));
    ASSERT_TRUE(b);
    EXPECT_EQ(FixtureOf(*b).GetShape()->m_radius, 8 * kScale * 2);
    EXPECT_NE(log.Text().find("Image scale for physics object using circle collision should not vary across axes: oThing\n"),
              std::string::npos);

    // A mirrored polygon: points scaled each way; density 0 makes it static, the flag kinematic.
    const std::vector<float> triangle = {0, 0, 10, 0, 0, 20};
    PhysicsBodySettings polygon = Settings(triangle);
    polygon.xscale = -1;
    polygon.yscale = 0.5f;
    polygon.density = 0;
    std::unique_ptr<CPhysicsObject> c(world.CreateBody(polygon, nullptr));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->Body()->GetType(), b2_staticBody);
    const auto* shape = static_cast<const b2PolygonShape*>(FixtureOf(*c).GetShape());
    ASSERT_EQ(shape->m_count, 3);
    std::vector<std::pair<float, float>> corners;
    for (int i = 0; i < shape->m_count; ++i)
        corners.emplace_back(shape->m_vertices[i].x, shape->m_vertices[i].y);
    std::sort(corners.begin(), corners.end());
    const float ten = 10 * kScale * -1.0f, twenty = 20 * kScale * 0.5f;
    EXPECT_EQ(corners, (std::vector<std::pair<float, float>>{{ten, 0}, {0, 0}, {0, twenty}}));
    polygon.kinematic = true;
    std::unique_ptr<CPhysicsObject> d(world.CreateBody(polygon, nullptr));
    EXPECT_EQ(d->Get(PHY_KINEMATIC), 1);
    EXPECT_EQ(d->Get(PHY_DYNAMIC), 0);
}

// Every shape or setting Box2D could not take: no body, nothing left in the world, and the reason.
TEST(PhysicsWorld, BadShapesAndSettingsMakeNoBodyAndSayWhy) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* what;
        std::vector<float> values;
        int shape;
        std::function<void(PhysicsBodySettings&)> change;
        const char* message;
    };
    const std::vector<float> box = {-8, -8, 8, -8, 8, 8, -8, 8};
    auto none = [](PhysicsBodySettings&) {};
    const std::vector<Case> cases = {
        {"a circle without values", {}, 0, none, "Corrupt shape data for oThing\n"},
        {"a polygon of two points", {0, 0, 5, 5}, 2, none, "Corrupt shape data for oThing\n"},
        {"nine points", std::vector<float>(18, 1), 2, none, "has 9 points (at most 8)"},
        {"an arrow", {0, 0, 10, 5, 0, 10, 3, 5}, 2, none, "is not convex"},
        {"a star", {0, -10, 6, 8, -9, -3, 9, -3, -6, 8}, 2, none, "is not convex"},
        {"points in a line", {0, 0, 5, 5, 10, 10}, 2, none, "is degenerate"},
        {"a point twice", {0, 0, 10, 0, 10, 0, 0, 10}, 2, none, "is degenerate"},
        {"a polygon scaled to 0", box, 1, [](PhysicsBodySettings& s) { s.xscale = 0; }, "is degenerate"},
        {"a circle of radius 0", {0, 0}, 0, none, "has a size of 0 or less"},
        {"a negative radius", {-3, 0}, 0, none, "has a size of 0 or less"},
        {"a circle scaled to 0", {4, 0}, 0, [](PhysicsBodySettings& s) { s.xscale = s.yscale = 0; },
         "has a size of 0 or less"},
        {"a point that is not a number", {0, 0, nan, 0, 0, 10}, 2, none, "not a number or too large"},
        {"an infinite radius", {inf, 0}, 0, none, "not a number or too large"},
        {"a density that is not a number", box, 1, [&](PhysicsBodySettings& s) { s.density = nan; }, "are not usable"},
        {"a negative friction", box, 1, [](PhysicsBodySettings& s) { s.friction = -1; }, "are not usable"},
        {"an infinite damping", box, 1, [&](PhysicsBodySettings& s) { s.linearDamping = inf; }, "are not usable"},
        {"a place that is not a number", box, 1, [&](PhysicsBodySettings& s) { s.x = nan; }, "cannot be placed"},
        {"a place too far", box, 1, [](PhysicsBodySettings& s) { s.y = 1e30f; }, "cannot be placed"},
        {"an infinite angle", box, 1, [&](PhysicsBodySettings& s) { s.angle = inf; }, "cannot be placed"},
        {"a mass too large", box, 1, [](PhysicsBodySettings& s) { s.density = 3e38f; }, "gives no usable mass"},
        {"a sliver far from the origin", {10000, 0, 10010, 0, 10000, 10}, 2, none, "gives no usable mass"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReleaseLog log;
        CPhysicsWorld world(kScale, kSpeed);
        PhysicsBodySettings s = Settings(c.values, c.shape);
        c.change(s);
        EXPECT_EQ(world.CreateBody(s, nullptr), nullptr);
        EXPECT_EQ(world.Box2DWorld()->GetBodyCount(), 0);
        EXPECT_NE(log.Text().find(c.message), std::string::npos) << log.Text();
    }
    for (float scale : {0.0f, -1.0f, nan}) {
        ReleaseLog log;
        CPhysicsWorld world(scale, kSpeed);
        EXPECT_EQ(world.CreateBody(Settings(box, 1), nullptr), nullptr);
        EXPECT_NE(log.Text().find("is not above 0: no body for oThing"), std::string::npos) << log.Text();
    }
}

// The same body in our world and in a Box2D world of the same settings, written the same way and stepped
// together, reads the same; values the body cannot take are refused and leave it as it was.
TEST(PhysicsWorld, QuantitiesAreBox2DsInPixelsStepsAndDegrees) {
    CPhysicsWorld world(kScale, kSpeed);
    world.SetGravity(0, 10);
    const std::vector<float> box = {-10, -5, 10, -5, 10, 5, -10, 5};
    PhysicsBodySettings s = Settings(box, 1);
    s.x = 40;
    s.y = 30;
    s.angle = 10;
    s.linearDamping = 0.5f;
    std::unique_ptr<CPhysicsObject> ours(world.CreateBody(s, nullptr));
    ASSERT_TRUE(ours);

    b2World theirs(b2Vec2(0, 10));
    b2BodyDef def;
    def.type = b2_dynamicBody;
    def.position.Set(40 * kScale, 30 * kScale);
    def.angle = static_cast<float>(-10 / kDegrees);
    def.linearDamping = 0.5f;
    b2Body* body = theirs.CreateBody(&def);
    b2PolygonShape shape;
    shape.SetAsBox(10 * kScale, 5 * kScale);
    b2FixtureDef fixture;
    fixture.shape = &shape;
    fixture.density = 1;
    fixture.friction = 0.3f;
    fixture.restitution = 0.2f;
    body->CreateFixture(&fixture);

    std::string error;
    EXPECT_TRUE(ours->Set(PHY_SPEED_X, 3, &error)) << error;               // pixels per step
    EXPECT_TRUE(ours->Set(PHY_LINEAR_VELOCITY_Y, -120, &error)) << error;  // pixels per second
    EXPECT_TRUE(ours->Set(PHY_ANGULAR_VELOCITY, 90, &error)) << error;     // degrees per second
    EXPECT_TRUE(ours->Set(PHY_ANGULAR_DAMPING, 0.25, &error)) << error;
    body->SetLinearVelocity(b2Vec2(static_cast<float>(3.0 * kScale * kSpeed), static_cast<float>(-120.0 * kScale)));
    body->SetAngularVelocity(static_cast<float>(90 / kDegrees));
    body->SetAngularDamping(0.25f);
    for (int step = 0; step < 30; ++step) {
        const b2Vec2 before = body->GetPosition();
        world.Update(kSpeed);
        theirs.Step(1.0f / kSpeed, kPhysicsVelocityIterations, kPhysicsPositionIterations);
        const b2Vec2 p = body->GetPosition(), v = body->GetLinearVelocity();
        ASSERT_EQ(ours->Get(PHY_POSITION_X), Px(p.x)) << step;
        ASSERT_EQ(ours->Get(PHY_POSITION_Y), Px(p.y)) << step;
        ASSERT_EQ(ours->Get(PHY_POSITION_XPREVIOUS), Px(before.x)) << step;
        ASSERT_EQ(ours->Get(PHY_ROTATION), body->GetAngle() * kDegrees) << step;
        ASSERT_EQ(ours->Get(PHY_ANGULAR_VELOCITY), body->GetAngularVelocity() * kDegrees) << step;
        ASSERT_EQ(ours->Get(PHY_LINEAR_VELOCITY_Y), Px(v.y)) << step;
        ASSERT_EQ(ours->Get(PHY_SPEED_X), Px(v.x) / kSpeed) << step;
        ASSERT_EQ(ours->Get(PHY_SPEED), std::hypot(Px(v.x), Px(v.y)) / kSpeed) << step;
    }
    EXPECT_EQ(ours->Get(PHY_MASS), body->GetMass());
    EXPECT_EQ(ours->Get(PHY_INERTIA), body->GetInertia());
    EXPECT_EQ(ours->Get(PHY_COM_Y), Px(body->GetWorldCenter().y));
    EXPECT_EQ(ours->Get(PHY_SLEEPING), 0);

    EXPECT_TRUE(ours->Set(PHY_POSITION_X, 12, &error));
    EXPECT_TRUE(ours->Set(PHY_ROTATION, 45, &error));
    EXPECT_FLOAT_EQ(static_cast<float>(ours->Get(PHY_POSITION_X)), 12);
    EXPECT_FLOAT_EQ(static_cast<float>(ours->Get(PHY_ROTATION)), 45);
    for (PhysicsQuantity q : {PHY_BULLET, PHY_FIXED_ROTATION, PHY_ACTIVE}) {
        EXPECT_TRUE(ours->Set(q, 1, &error));
        EXPECT_EQ(ours->Get(q), 1);
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        PhysicsQuantity quantity;
        double value;
        const char* reason;
    } refused[] = {
        {PHY_SPEED_Y, nan, "phy_speed_y: the value is not a number"},
        {PHY_ROTATION, INFINITY, "phy_rotation: the value is not a number"},
        {PHY_POSITION_Y, 1e30, "phy_position_y: the position lies outside the physics world"},
        {PHY_LINEAR_VELOCITY_X, 1e300, "phy_linear_velocity_x: the speed is too large"},
        {PHY_LINEAR_DAMPING, -1, "phy_linear_damping: the damping must be 0 or more"},
        {PHY_MASS, 3, "phy_mass: read-only"},
    };
    for (const auto& r : refused) {
        const double before = ours->Get(r.quantity);
        EXPECT_FALSE(ours->Set(r.quantity, r.value, &error));
        EXPECT_EQ(error, r.reason);
        EXPECT_EQ(ours->Get(r.quantity), before);
    }
}

// Destroying an object takes its body and the joints on it out of the world; a world destroyed first
// leaves its objects without bodies, and they can still be destroyed.
TEST(PhysicsWorld, BodiesLeaveWithTheirObjectsAndWorlds) {
    auto world = std::make_unique<CPhysicsWorld>(kScale, kSpeed);
    const std::vector<float> box = {-8, -8, 8, -8, 8, 8, -8, 8};
    std::unique_ptr<CPhysicsObject> a(world->CreateBody(Settings(box, 1), nullptr));
    std::unique_ptr<CPhysicsObject> b(world->CreateBody(Settings(box, 1), nullptr));
    b2RevoluteJointDef joint;
    joint.Initialize(a->Body(), b->Body(), b2Vec2(0, 0));
    world->Box2DWorld()->CreateJoint(&joint);
    ASSERT_EQ(world->Box2DWorld()->GetJointCount(), 1);
    a.reset();
    EXPECT_EQ(world->Box2DWorld()->GetBodyCount(), 1);
    EXPECT_EQ(world->Box2DWorld()->GetJointCount(), 0);
    world.reset();
    EXPECT_EQ(b->Body(), nullptr);
    EXPECT_EQ(b->Get(PHY_POSITION_X), 0);
    std::string error;
    EXPECT_FALSE(b->Set(PHY_POSITION_X, 1, &error));
    EXPECT_EQ(error, "phy_position_x: the instance has no physics body");
}

// A call that would break Box2D's rules is refused either way; with the debug hook installed it is also
// reported as an error of the game.
TEST(PhysicsWorld, RefusedCallsAreErrorsOfTheGameUnderTheDebugHook) {
    ReleaseLog log;
    const bool wasShowing = CodeError_State().Code_ShowErrors;
    CodeError_State().Code_ShowErrors = false;
    CPhysicsWorld world(kScale, kSpeed);
    world.SetGravity(0, 10);
    world.SetGravity(std::numeric_limits<float>::quiet_NaN(), 0);
    EXPECT_EQ(world.GravityX(), 0);
    EXPECT_EQ(world.GravityY(), 10);
    EXPECT_EQ(log.Text().find("Physics assertion failed"), std::string::npos) << log.Text();
    Physics_SetAssertHandler();
    ASSERT_TRUE(Physics_AssertHandlerInstalled());
    world.SetGravity(0, std::numeric_limits<float>::infinity());
    EXPECT_EQ(world.GravityY(), 10);
    EXPECT_NE(log.Text().find("Physics assertion failed: gravity that is not a number"), std::string::npos)
        << log.Text();
    CodeError_State().Code_ShowErrors = wasShowing;
}
