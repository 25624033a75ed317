// Rooms with physics worlds, run by the runner: bodies fall, land, tip over and carry on across rooms
// as a Box2D world of the same settings, built and stepped here, says they must.
#include "scenario.h"

#include "physics/physics.h"

#include <box2d/box2d.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

constexpr float kScale = 0.1f;
constexpr int kSpeed = 60;
constexpr int kSteps = 120;
constexpr double kDegrees = 57.29577951308232;

GameSprite Square() {
    GameSprite sprite;
    sprite.name = "spr";
    sprite.xOrigin = sprite.yOrigin = 4;
    sprite.frames = {{8, 8, std::vector<uint8_t>(8 * 8 * 4, 0xff)}};
    return sprite;
}

GameObject Body(const std::string& name, int shape, std::vector<float> points, float density,
                std::vector<GameEvent> events = {}) {
    GameObject o;
    o.name = name;
    o.sprite = 0;
    o.events = std::move(events);
    o.physics.uses = true;
    o.physics.shape = shape;
    o.physics.points = std::move(points);
    o.physics.density = density;
    o.physics.restitution = 0.1f;
    o.physics.friction = 0.5f;
    o.physics.linearDamping = o.physics.angularDamping = 0.1f;
    return o;
}

const std::vector<float> kFloor = {-30, -4, 30, -4, 30, 4, -30, 4};
const std::vector<float> kBox = {-4, -4, 4, -4, 4, 4, -4, 4};

ScenarioRoom PhysicsRoom(const std::string& name, std::vector<GameInstance> instances) {
    ScenarioRoom room;
    room.name = name;
    room.width = 64;
    room.height = 48;
    room.speed = kSpeed;
    room.physics = true;
    room.gravityY = 10.5f; // truncated to 10
    room.pixelsToMetres = kScale;
    room.instances = std::move(instances);
    return room;
}

std::string Say(const std::string& label, const std::vector<std::string>& names) {
    std::string text = "show_debug_message(\"" + label + "\"";
    for (const std::string& name : names)
        text += " + \" \" + string_format(" + name + ", 0, 6)";
    return text + ");";
}

std::vector<double> Numbers(const std::string& line) {
    std::istringstream in(line);
    std::vector<double> numbers;
    for (double v; in >> v;)
        numbers.push_back(v);
    return numbers;
}

// Box2D's own world of the same bodies, in the order the room makes them.
class Mirror {
public:
    Mirror() : m_world(b2Vec2(0, 10)) {}
    b2Body* Add(float x, float y, int shape, const std::vector<float>& points, float density) {
        b2BodyDef def;
        def.type = density == 0 ? b2_staticBody : b2_dynamicBody;
        def.position.Set(x * kScale, y * kScale);
        def.linearDamping = def.angularDamping = 0.1f;
        b2Body* body = m_world.CreateBody(&def);
        b2CircleShape circle;
        b2PolygonShape polygon;
        if (shape == 0) {
            circle.m_radius = points[0] * kScale * 1.0f;
        } else {
            b2Vec2 p[8];
            for (size_t i = 0; i < points.size() / 2; ++i)
                p[i].Set(points[2 * i] * kScale * 1.0f, points[2 * i + 1] * kScale * 1.0f);
            polygon.Set(p, static_cast<int32>(points.size() / 2));
        }
        b2FixtureDef fixture;
        fixture.shape = shape == 0 ? static_cast<b2Shape*>(&circle) : &polygon;
        fixture.density = density;
        fixture.friction = 0.5f;
        fixture.restitution = 0.1f;
        body->CreateFixture(&fixture);
        return body;
    }
    void Step() { m_world.Step(1.0f / kSpeed, kPhysicsVelocityIterations, kPhysicsPositionIterations); }
    bool Touching(const b2Body* a, const b2Body* b) {
        for (b2Contact* c = m_world.GetContactList(); c; c = c->GetNext()) {
            const b2Body* x = c->GetFixtureA()->GetBody();
            const b2Body* y = c->GetFixtureB()->GetBody();
            if (c->IsTouching() && ((x == a && y == b) || (x == b && y == a))) return true;
        }
        return false;
    }

private:
    b2World m_world;
};

double Px(float metres) {
    return static_cast<double>(metres) / kScale;
}

} // namespace

// A ball falls on a static floor and comes to rest; a box dropped on its corner tips over. Every step
// prints what the phy_* variables read, and the first collision event says when the ball touched.
TEST(PhysicsScenario, ABallRestsAndABoxTipsOverAsBox2DComputes) {
    const std::vector<std::string> ballValues = {"phy_position_x", "phy_position_y", "phy_speed_x", "phy_speed_y",
                                                 "phy_rotation",   "phy_angular_velocity", "phy_sleeping"};
    const std::vector<std::string> boxValues = {"phy_position_x", "phy_position_y", "phy_rotation",
                                                "phy_angular_velocity"};
    ScenarioGame game;
    game.sprites = {Square()};
    game.objects = {
        Body("oFloor", 1, kFloor, 0),
        Body("oBox", 1, kBox, 1, {{0, 0, "phy_rotation = 30;"}, {3, 2, Say("box", boxValues)}}),
        Body("oBall", 0, {4, 0}, 1,
             {{0, 0, "global.steps = 0; global.touched = 0;"},
              {4, 0,
               "if (!global.touched) { global.touched = 1; show_debug_message(\"touch \" + "
               "string(global.steps + 1)); }"},
              {3, 2, Say("ball", ballValues) + "global.steps += 1; if (global.steps == " + std::to_string(kSteps) +
                         ") game_end();"}}),
    };
    game.rooms = {PhysicsRoom("rFall", {{32, 40, 0, 100001, ""}, {20, 10, 2, 100002, ""}, {44, 22, 1, 100003, ""}})};
    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    ASSERT_EQ(run.exitCode, 0) << run.log;

    Mirror mirror;
    const b2Body* floor = mirror.Add(32, 40, 1, kFloor, 0);
    const b2Body* ball = mirror.Add(20, 10, 0, {4, 0}, 1);
    b2Body* box = mirror.Add(44, 22, 1, kBox, 1);
    box->SetTransform(box->GetPosition(), static_cast<float>(30 / kDegrees));
    const std::vector<std::string> ballLines = LinesStartingWith(run.log, "ball ");
    const std::vector<std::string> boxLines = LinesStartingWith(run.log, "box ");
    ASSERT_EQ(ballLines.size(), static_cast<size_t>(kSteps)) << run.log;
    ASSERT_EQ(boxLines.size(), static_cast<size_t>(kSteps)) << run.log;
    int touch = 0;
    double fastestTurn = 0;
    for (int step = 0; step < kSteps; ++step) {
        mirror.Step();
        fastestTurn = std::max(fastestTurn, std::fabs(box->GetAngularVelocity() * kDegrees));
        if (!touch && mirror.Touching(ball, floor)) touch = step + 1;
        const b2Vec2 p = ball->GetPosition(), v = ball->GetLinearVelocity(), q = box->GetPosition();
        const std::vector<double> expectBall = {Px(p.x),
                                                Px(p.y),
                                                Px(v.x) / kSpeed,
                                                Px(v.y) / kSpeed,
                                                ball->GetAngle() * kDegrees,
                                                ball->GetAngularVelocity() * kDegrees,
                                                ball->IsAwake() ? 0.0 : 1.0};
        const std::vector<double> expectBox = {Px(q.x), Px(q.y), box->GetAngle() * kDegrees,
                                               box->GetAngularVelocity() * kDegrees};
        const std::vector<double> gotBall = Numbers(ballLines[static_cast<size_t>(step)]);
        const std::vector<double> gotBox = Numbers(boxLines[static_cast<size_t>(step)]);
        ASSERT_EQ(gotBall.size(), expectBall.size());
        ASSERT_EQ(gotBox.size(), expectBox.size());
        for (size_t i = 0; i < expectBall.size(); ++i)
            ASSERT_NEAR(gotBall[i], expectBall[i], 1e-6) << "step " << step + 1 << " ball " << ballValues[i];
        for (size_t i = 0; i < expectBox.size(); ++i)
            ASSERT_NEAR(gotBox[i], expectBox[i], 1e-6) << "step " << step + 1 << " box " << boxValues[i];
    }
    EXPECT_GT(touch, 20);
    EXPECT_EQ(LinesStartingWith(run.log, "touch "), std::vector<std::string>{std::to_string(touch)});
    // The ball lies on the floor, asleep; the box turned on its corner until it lay flat on its side.
    EXPECT_NEAR(Px(ball->GetPosition().y), 32, 0.1);
    EXPECT_FALSE(ball->IsAwake());
    EXPECT_GT(fastestTurn, 30);
    EXPECT_NEAR(box->GetAngle() * kDegrees, 0, 1);
}

// A persistent ball goes to another physics room and back: it gets a body in each and lands on that
// room's floor; the persistent first room keeps its floor's body while the game is away. An object of
// broken shape data gets no body, and the game goes on.
TEST(PhysicsScenario, BodiesGoWithTheirInstancesFromRoomToRoom) {
    ScenarioGame game;
    game.sprites = {Square()};
    GameObject ball =
        Body("oBall", 0, {4, 0}, 1,
             {{0, 0, "global.steps = 0;"},
              {3, 2,
               "global.steps += 1;"
               "if (global.steps == 60) { " + Say("left", {"phy_position_y", "phy_mass"}) + " room_goto(rHigh); }"
               "if (global.steps == 120) { " + Say("landed", {"phy_position_y", "phy_mass"}) + " room_goto(rLow); }"
               "if (global.steps == 122) game_end();"}});
    ball.persistent = true;
    game.objects = {Body("oFloor", 1, kFloor, 0, {{7, 4, Say("floor", {"phy_position_y", "room"})}}), ball,
                    Body("oBroken", 2, {0, 0, 5, 5}, 1)};
    ScenarioRoom low = PhysicsRoom("rLow", {{32, 40, 0, 100001, ""}, {20, 10, 1, 100002, ""}, {50, 10, 2, 100003, ""}});
    low.persistent = true;
    game.rooms = {low, PhysicsRoom("rHigh", {{32, 46, 0, 100004, ""}})};
    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    ASSERT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "Corrupt shape data for "), std::vector<std::string>{"oBroken"});
    const std::vector<std::string> floors = LinesStartingWith(run.log, "floor ");
    ASSERT_EQ(floors.size(), 3u) << run.log;
    const double floorY[] = {40, 46, 40}, floorRoom[] = {0, 1, 0};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(Numbers(floors[i])[0], floorY[i], 1e-5) << run.log;
        EXPECT_EQ(Numbers(floors[i])[1], floorRoom[i]) << run.log;
    }
    const std::vector<std::string> left = LinesStartingWith(run.log, "left ");
    const std::vector<std::string> landed = LinesStartingWith(run.log, "landed ");
    ASSERT_EQ(left.size(), 1u) << run.log;
    ASSERT_EQ(landed.size(), 1u) << run.log;
    const double mass = 3.14159265 * 0.4 * 0.4;
    EXPECT_NEAR(Numbers(left[0])[0], 32, 0.1);
    EXPECT_NEAR(Numbers(left[0])[1], mass, 1e-5);
    EXPECT_NEAR(Numbers(landed[0])[0], 38, 0.1); // on the higher room's floor, 6 pixels further down
    EXPECT_NEAR(Numbers(landed[0])[1], mass, 1e-5);
}
