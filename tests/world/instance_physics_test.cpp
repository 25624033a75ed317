// Instances in a room with a physics world: their bodies, made from their objects' physics settings,
// move them in the motion stage, follow them through destruction, object changes and deactivation, and
// the world's contacts raise their collision events.
#include "world_fixture.h"

#include "physics/physics.h"
#include "runner/step.h"
#include "script/variables.h"
#include "support/run_code.h"
#include "world/builtin_variables.h"
#include "world/game_values.h"

#include <box2d/box2d.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

class InstancePhysics : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        UseScriptVariables();
        Room_State().Run_Room->speed = 60;
        Room_State().Run_Room->physicsWorld = new CPhysicsWorld(0.1f, 60);
        Room_State().Run_Room->physicsWorld->SetGravity(0, 10);
        sprite = AddSprite(16, 16, 8, 8);
    }
    void TearDown() override {
        GameValues_SetText(&CodeError_State().Code_LastErrorText, nullptr);
        WorldTest::TearDown();
    }

    // An object whose instances get a body: a circle of the radius, or a polygon of the points.
    int PhysicsObject(std::vector<float> shape, float density = 1, int kind = 0) {
        const int o = AddObject();
        CObject* object = Object_Data(o);
        object->sprite = sprite;
        object->usesPhysics = 1;
        object->shape = kind;
        object->density = density;
        object->friction = 0.5f;
        object->awake = 1;
        object->shapePointCount = static_cast<int32_t>(shape.size() / 2);
        object->shapePoints = static_cast<float*>(MEM_ALLOC(sizeof(float) * shape.size()));
        std::copy(shape.begin(), shape.end(), object->shapePoints);
        return o;
    }
    int Floor() { return PhysicsObject({-100, -8, 100, -8, 100, 8, -100, 8}, 0, 1); }
    static void Steps(int count) {
        for (int i = 0; i < count; ++i) {
            EXPECT_TRUE(Run_MoveInstances(false));
            Run_ApplyDeferredChanges();
        }
    }
    static double Phy(CInstance* i, const char* name) {
        return std::stod(CompileAndRun(std::string("return ") + name, i));
    }
    static int Bodies() { return Room_State().Run_Room->physicsWorld->Box2DWorld()->GetBodyCount(); }
    static std::string TakeShownError() {
        std::string text = CodeError_State().Code_LastErrorText ? CodeError_State().Code_LastErrorText : "";
        GameValues_SetText(&CodeError_State().Code_LastErrorText, nullptr);
        return text;
    }

    int sprite = -1;
};

} // namespace

TEST_F(InstancePhysics, BodiesComeFromTheObjectAndMoveTheirInstances) {
    const int ball = PhysicsObject({4, 0});
    const int plain = AddObject();
    Object_Data(plain)->sprite = sprite;
    const int spriteless = PhysicsObject({4, 0});
    Object_Data(spriteless)->sprite = -1;

    CInstance* a = Room_State().Run_Room->CreateInstance(40, 20, ball);
    CInstance* b = Room_State().Run_Room->CreateInstance(10, 10, plain);
    CInstance* c = Room_State().Run_Room->CreateInstance(10, 10, spriteless);
    CRoom still; // no world
    CInstance* d = still.CreateInstance(10, 10, ball);
    ASSERT_NE(a->physicsObject, nullptr);
    EXPECT_EQ(b->physicsObject, nullptr);
    EXPECT_EQ(c->physicsObject, nullptr);
    EXPECT_EQ(d->physicsObject, nullptr);
    EXPECT_EQ(Bodies(), 1);

    // The body moves its instance (place and angle); an instance without one moves by its speeds.
    b->SetHSpeed(2);
    CompileAndRun("phy_angular_velocity = 90", a);
    Steps(10);
    EXPECT_GT(a->y, 20);
    EXPECT_EQ(a->x, static_cast<float>(Phy(a, "phy_position_x")));
    EXPECT_EQ(a->y, static_cast<float>(Phy(a, "phy_position_y")));
    EXPECT_FLOAT_EQ(a->image_angle, static_cast<float>(-Phy(a, "phy_rotation")));
    EXPECT_NEAR(a->image_angle, -15, 1e-3); // 90 degrees a second for 10 steps of 1/60 second
    EXPECT_EQ(b->x, 30);

    // An object change makes the body again from the new object; deactivation takes it out of the
    // world until the instance is active again; destruction removes it.
    const int big = PhysicsObject({12, 0});
    Instance_Change(a, big, false);
    EXPECT_EQ(Bodies(), 1);
    EXPECT_EQ(a->physicsObject->Body()->GetFixtureList()->GetShape()->m_radius, 12 * 0.1f);
    a->deactivated = 1;
    Room_State().Run_Room->UpdateActivation();
    EXPECT_FALSE(a->physicsObject->Body()->IsEnabled());
    a->deactivated = 0;
    Room_State().Run_Room->UpdateActivation();
    EXPECT_TRUE(a->physicsObject->Body()->IsEnabled());
    Instance_Destroy(a);
    Room_State().Run_Room->RemoveMarked();
    EXPECT_EQ(Bodies(), 0);
}

// A ball dropped on a static floor: both get the collision event while they touch, each with the
// contact point and the normal pointing towards the other.
TEST_F(InstancePhysics, ContactsRaiseCollisionEventsOnBothInstances) {
    const int ball = PhysicsObject({4, 0});
    const int floor = Floor();
    CInstance* b = Room_State().Run_Room->CreateInstance(40, 20, ball);
    CInstance* f = Room_State().Run_Room->CreateInstance(40, 40, floor);
    struct Seen {
        int events = 0;
        double points = 0, y = 0, normalY = 0;
    } onBall, onFloor;
    auto record = [](Seen& seen) {
        return [&seen](CInstance* self, CInstance*) {
            ++seen.events;
            seen.points = Phy(self, "phy_collision_points");
            seen.y = Phy(self, "phy_collision_y[0]");
            seen.normalY = Phy(self, "phy_col_normal_y");
        };
    };
    On(ball, ev_collision, floor, record(onBall));
    On(floor, ev_collision, ball, record(onFloor));
    Steps(20);
    EXPECT_EQ(onBall.events, 0);
    Steps(60);
    EXPECT_GT(onBall.events, 0);
    EXPECT_EQ(onBall.events, onFloor.events);
    EXPECT_EQ(onBall.points, 1);
    EXPECT_NEAR(onBall.y, 32, 0.5); // the floor's top
    EXPECT_EQ(onBall.normalY, 1);
    EXPECT_EQ(onFloor.normalY, -1);
    EXPECT_NEAR(b->y, 28, 0.1); // resting on it
    EXPECT_EQ(Phy(b, "phy_collision_points"), 0); // outside a collision event
    EXPECT_EQ(f->y, 40);
}

TEST_F(InstancePhysics, SensorsGroupsAndKinematicBodies) {
    // A sensor is told of the ball that passes through it; a floor of the ball's negative group is not
    // met at all.
    const int ball = PhysicsObject({4, 0});
    const int sensor = PhysicsObject({-20, -4, 20, -4, 20, 4, -20, 4}, 0, 1);
    Object_Data(sensor)->sensor = 1;
    const int ghostFloor = Floor();
    Object_Data(ball)->group = Object_Data(ghostFloor)->group = -1;
    CInstance* b = Room_State().Run_Room->CreateInstance(40, 20, ball);
    Room_State().Run_Room->CreateInstance(40, 40, sensor);
    Room_State().Run_Room->CreateInstance(40, 60, ghostFloor);
    int sensed = 0, floorMet = 0;
    On(ball, ev_collision, sensor, [&](CInstance*, CInstance*) { ++sensed; });
    On(ball, ev_collision, ghostFloor, [&](CInstance*, CInstance*) { ++floorMet; });
    double speed = 0;
    for (int i = 0; i < 90; ++i) {
        Steps(1);
        const double now = Phy(b, "phy_speed_y");
        EXPECT_GT(now, speed) << i; // nothing slows it
        speed = now;
    }
    EXPECT_GT(sensed, 0);
    EXPECT_EQ(floorMet, 0);
    EXPECT_GT(b->y, 80);

    // A kinematic body moves at the speed it is given and is not pushed by a ball that hits it.
    const int paddle = PhysicsObject({-20, -4, 20, -4, 20, 4, -20, 4}, 1, 1);
    Object_Data(paddle)->kinematic = 1;
    CInstance* k = Room_State().Run_Room->CreateInstance(40, 200, paddle);
    CInstance* dropped = Room_State().Run_Room->CreateInstance(40, 180, ball);
    Object_Data(ball)->group = 0;
    dropped->RecreatePhysicsBody(Room_State().Run_Room);
    CompileAndRun("phy_speed_x = 0.5", k);
    Steps(60);
    EXPECT_NEAR(k->x, 70, 1e-3);
    EXPECT_EQ(k->y, 200);
    EXPECT_NEAR(Phy(k, "phy_speed_x"), 0.5, 1e-6);
    EXPECT_EQ(Phy(k, "phy_speed_y"), 0);
    EXPECT_LT(dropped->y, 193); // held up by it
}

TEST_F(InstancePhysics, VariablesRefuseWhatTheBodyCannotTake) {
    CInstance* b = Room_State().Run_Room->CreateInstance(40, 20, PhysicsObject({4, 0}));
    CompileAndRun("phy_position_x = 25", b);
    EXPECT_NEAR(Phy(b, "phy_position_x"), 25, 1e-5);
    EXPECT_EQ(CompileAndRun("h = 1; repeat (30) h *= 1000000000; i = h * h; phy_speed_x = i - i; return phy_speed_x", b), "0");
    EXPECT_NE(TakeShownError().find("phy_speed_x: the value is not a number"), std::string::npos);
    EXPECT_EQ(CompileAndRun("phy_linear_damping = -2; return phy_linear_damping", b), "0");
    EXPECT_NE(TakeShownError().find("phy_linear_damping: the damping must be 0 or more"), std::string::npos);
    EXPECT_EQ(CompileAndRun("return phy_dynamic + phy_kinematic * 10 + phy_sleeping * 100", b), "1");
}
