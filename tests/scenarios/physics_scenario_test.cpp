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

namespace {

// Numbers after a label, from the one line that starts with it.
std::vector<double> Reported(const ScenarioRun& run, const std::string& label) {
    const std::vector<std::string> lines = LinesStartingWith(run.log, label + " ");
    EXPECT_EQ(lines.size(), 1u) << label << "\n" << run.log;
    return lines.empty() ? std::vector<double>{} : Numbers(lines[0]);
}

} // namespace

// Side by side in one room, far enough apart not to meet: a ball falls through a sensor (which reports
// it) onto a floor; a ball passes through a floor of its own negative group; a crate rides a kinematic
// floor that moves at the speed it was given and is not pushed; a ball sent sideways through phy_speed_x
// keeps that speed; a floor destroyed under a resting ball lets it fall. Writes the bodies cannot take
// and a body of scale 0 are errors the game goes on after.
TEST(PhysicsScenario, SensorsGroupsKinematicBodiesAndWrites) {
    const std::vector<std::string> ballValues = {"phy_position_x", "phy_position_y", "phy_speed_x"};
    ScenarioGame game;
    game.sprites = {Square()};
    GameObject clock;
    clock.name = "oClock";
    clock.events = {{0, 0, "global.steps = 0;"}, {3, 1, "global.steps += 1; if (global.steps > 120) game_end();"}};
    GameObject ghost = Body("oGhost", 0, {4, 0}, 1, {{4, 5, "show_debug_message(\"ghost collided\");"}});
    ghost.physics.group = -1;
    GameObject ghostFloor = Body("oGhostFloor", 1, kFloor, 0);
    ghostFloor.physics.group = -1;
    GameObject kinematic = Body("oKinematic", 1, kFloor, 1,
                                {{0, 0, "phy_speed_x = 1;"},
                                 {3, 2, "if (global.steps == 120) " +
                                            Say("kinematic", {"phy_position_x", "phy_position_y", "phy_speed_x",
                                                              "phy_rotation", "phy_kinematic"})}});
    kinematic.physics.kinematic = true;
    kinematic.physics.friction = 1;
    GameObject crate = Body("oCrate", 1, kBox, 1, {{3, 2, "if (global.steps == 120) " + Say("crate", {"phy_position_x", "phy_position_y"})}});
    crate.physics.friction = 1;
    GameObject sensor = Body("oSensor", 1, kFloor, 0,
                             {{0, 0, "hits = 0;"},
                              {4, 2, "hits += 1; if (hits == 1) show_debug_message(\"sensor saw \" + string(global.steps));"}});
    sensor.physics.sensor = true;
    const std::string inf = "power(10, 400)", nan = "log10(-1)";
    game.objects = {
        clock,
        Body("oFloor", 1, kFloor, 0),
        Body("oBall", 0, {4, 0}, 1,
             {{3, 2, "if (global.steps == 60 || global.steps == 120) " +
                         Say("\" + name + \" \" + string(global.steps) + \"", ballValues)}}),
        sensor,
        ghost,
        ghostFloor,
        kinematic,
        Body("oDoomed", 1, kFloor, 0, {{3, 0, "if (global.steps == 60) instance_destroy();"}}),
        crate,
        Body("oBad", 0, {4, 0}, 1,
             {{0, 0,
               "phy_speed_x = " + inf + "; phy_speed_y = " + nan + "; phy_rotation = -" + inf +
                   "; phy_position_x = " + nan + "; phy_angular_velocity = " + inf + "; phy_linear_damping = -1;" +
                   Say("bad", {"phy_position_x", "phy_position_y", "phy_speed_x", "phy_speed_y", "phy_rotation"}) +
                   "name = \"scaled\"; image_xscale = 0; instance_change(oBall, false);"}}),
    };
    ScenarioRoom room = PhysicsRoom("rLanes", {
        {0, 0, 0, 100001, ""},
        {50, 10, 2, 100002, "name = \"sensed\";"}, {50, 60, 3, 100003, ""}, {50, 150, 1, 100004, ""},
        {150, 10, 4, 100005, ""}, {150, 60, 5, 100006, ""}, {150, 150, 1, 100007, ""},
        {250, 100, 6, 100008, ""}, {265, 90, 8, 100009, ""},
        {500, 10, 2, 100010, "name = \"sideways\"; phy_linear_damping = 0; phy_speed_x = 2;"},
        {850, 10, 2, 100011, "name = \"doomed\";"}, {850, 60, 7, 100012, ""},
        {950, 10, 9, 100013, ""},
    });
    room.width = 1000;
    room.height = 200;
    game.rooms = {room};
    // The ghost ball's end step, for where it lies.
    game.objects[4].events.push_back({3, 2, "if (global.steps == 120) " + Say("ghost", {"phy_position_y"})});
    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    ASSERT_EQ(run.exitCode, 0) << run.log;

    // The sensor reports the ball once it reaches it, and the ball goes on to the floor below.
    const std::vector<std::string> sensed = LinesStartingWith(run.log, "sensor saw ");
    ASSERT_EQ(sensed.size(), 1u) << run.log;
    const double sensedAt = Numbers(sensed[0])[0];
    EXPECT_GT(sensedAt, 10);
    EXPECT_LT(sensedAt, 60);
    const std::vector<double> throughSensor = Reported(run, "sensed 120");
    ASSERT_EQ(throughSensor.size(), 3u);
    EXPECT_NEAR(throughSensor[0], 50, 0.01);
    EXPECT_NEAR(throughSensor[1], 142, 0.1);
    // The ghost passes through its own group's floor without a collision event.
    EXPECT_TRUE(LinesStartingWith(run.log, "ghost collided").empty()) << run.log;
    const std::vector<double> ghostAt = Reported(run, "ghost");
    ASSERT_EQ(ghostAt.size(), 1u);
    EXPECT_NEAR(ghostAt[0], 142, 0.1);
    // The kinematic floor: one pixel a step, level, carrying the crate.
    const std::vector<double> box = Reported(run, "kinematic");
    ASSERT_EQ(box.size(), 5u);
    EXPECT_NEAR(box[0], 250 + 120, 0.01);
    EXPECT_NEAR(box[1], 100, 1e-4);
    EXPECT_NEAR(box[2], 1, 1e-4);
    EXPECT_NEAR(box[3], 0, 1e-4);
    EXPECT_EQ(box[4], 1);
    const std::vector<double> carried = Reported(run, "crate");
    ASSERT_EQ(carried.size(), 2u);
    EXPECT_GT(carried[0], 250 + 100);
    EXPECT_NEAR(carried[1], 92, 0.3); // less the two polygons' skins
    // Sent sideways without damping: two pixels a step.
    const std::vector<double> sideways = Reported(run, "sideways 120");
    ASSERT_EQ(sideways.size(), 3u);
    EXPECT_NEAR(sideways[0], 500 + 240, 0.01);
    EXPECT_NEAR(sideways[2], 2, 1e-4);
    // Resting on the floor until the floor goes, then falling.
    const std::vector<double> doomed60 = Reported(run, "doomed 60"), doomed120 = Reported(run, "doomed 120");
    ASSERT_EQ(doomed60.size(), 3u);
    ASSERT_EQ(doomed120.size(), 3u);
    EXPECT_NEAR(doomed60[1], 52, 1);
    EXPECT_GT(doomed120[1], 90);

    // Each refused write is reported and leaves the body where and as it was.
    for (const char* reason :
         {"phy_speed_x: the value is not a number", "phy_speed_y: the value is not a number",
          "phy_rotation: the value is not a number", "phy_position_x: the value is not a number",
          "phy_angular_velocity: the value is not a number", "phy_linear_damping: the damping must be 0 or more"})
        EXPECT_NE(run.log.find(reason), std::string::npos) << reason << "\n" << run.log;
    const std::vector<double> bad = Reported(run, "bad");
    ASSERT_EQ(bad.size(), 5u);
    EXPECT_NEAR(bad[0], 950, 1e-4);
    EXPECT_NEAR(bad[1], 10, 1e-4);
    EXPECT_EQ(bad[2] + bad[3] + bad[4], 0);
    // Changed into a ball at scale 0, it gets no body: reading its phy_* variables is an error.
    EXPECT_NE(run.log.find("Physics shape of oBall has a size of 0 or less"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("phy_position_x: the instance has no physics body"), std::string::npos) << run.log;
    EXPECT_EQ(Reported(run, "scaled 120"), (std::vector<double>{0, 0, 0}));
}
