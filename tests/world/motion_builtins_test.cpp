#include "game_functions.h"

#include "world/motion.h"
#include "world/room_size.h"

#include <cmath>
#include <limits>

using MotionFunctions = GameFunctionTest;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

TEST_F(MotionFunctions, SettingAndAddingMotion) {
    int o = AddObject();
    CInstance* i = Instance_Create(o, 100, 100);
    Call("motion_set", i, {90, 4});
    EXPECT_EQ(i->vspeed, -4);

    // At its own position the speed components stay as they are: at rest, the direction is kept.
    Call("motion_set", i, {90, 0});
    Call("move_towards_point", i, {100, 100, 3});
    EXPECT_EQ(i->direction, 90);
    EXPECT_EQ(i->vspeed, -3);
    Call("move_towards_point", i, {103, 104, 10});
    EXPECT_NEAR(i->direction, 306.87, 0.01);

    // Added motion takes the angle, cosine and sine in single precision.
    CInstance* j = Instance_Create(o, 0, 0);
    Call("motion_add", j, {30, 2});
    const float r = static_cast<float>(30 * static_cast<double>(3.14159265f) / 180);
    EXPECT_EQ(j->hspeed, static_cast<float>(static_cast<double>(std::cos(r)) * 2));
    EXPECT_EQ(j->vspeed, static_cast<float>(-static_cast<double>(std::sin(r)) * 2));
    EXPECT_NEAR(j->direction, 30, 1e-4);
}

TEST_F(MotionFunctions, ContactSearchesStopAtSolidInstances) {
    int wall = SolidObject(10, 100);
    int ghost = SolidObject(10, 100, false);
    int mover = SolidObject(10, 10, false);
    Instance_Create(wall, 200, 0);
    Instance_Create(ghost, 150, 0);
    CInstance* i = Instance_Create(mover, 0, 10);

    Call("move_contact_solid", i, {0, 0});
    EXPECT_EQ(i->x, 190); // box 190..199, the wall starts at 200
    Call("move_contact_solid", i, {0, 0});
    EXPECT_EQ(i->x, 190);
    i->SetPosition(0, 10);
    Call("move_contact_solid", i, {0, 20});
    EXPECT_EQ(i->x, 20);
    Call("move_contact_all", i, {0, 0});
    EXPECT_EQ(i->x, 140); // stopped by the non-solid instance too

    // Started inside a wall, contact does not move and outside steps out.
    i->SetPosition(205, 10);
    Call("move_contact_solid", i, {0, 5});
    EXPECT_EQ(i->x, 205);
    Call("move_outside_solid", i, {0, 1000});
    EXPECT_EQ(i->x, 210);
    Call("move_outside_solid", i, {180, 1000}); // already free: nothing
    EXPECT_EQ(i->x, 210);
    i->SetPosition(205, 10);
    Call("move_contact", i, {180});
    EXPECT_EQ(i->x, 190); // blocked: moved outside, to the left
    Call("move_contact", i, {0});
    EXPECT_EQ(i->x, 190); // free: moved up to the wall
}

TEST_F(MotionFunctions, ContactSearchesWithHugeOrInvalidArgumentsEnd) {
    int mover = SolidObject(10, 10, false);
    CInstance* i = Instance_Create(mover, 16777200, 0);
    // Beyond the int32 range the step count is the lowest int32: no step.
    Call("move_contact_solid", i, {0, 1e12});
    EXPECT_EQ(i->x, 16777200);
    // A step too small for the coordinate ends the search there.
    Call("move_contact_solid", i, {0, 2e9});
    EXPECT_EQ(i->x, 16777216);
    Call("move_contact_solid", i, {kNaN, 10});
    Call("move_outside_all", i, {kNaN, 2e9});
    i->SetPosition(std::nanf(""), 1e30f);
    Call("move_contact_all", i, {45, 50});
    Call("move_bounce_all", i, {1});
    Call("place_free", i, {kNaN, 1e300});
    Call("move_snap", i, {kNaN, 1e-300});
    Call("move_wrap", i, {1, 1, kNaN});
    EXPECT_GE(Call("distance_to_point", i, {1e300, -1e300}), 0);
}

TEST_F(MotionFunctions, PlainBounceNegatesTheBlockedComponents) {
    int wall = SolidObject(10, 200);
    int mover = SolidObject(10, 10, false);
    Instance_Create(wall, 100, 0);
    CInstance* i = Instance_Create(mover, 88, 50);
    i->SetHSpeed(4);
    i->SetVSpeed(2);
    Call("move_bounce_solid", i, {0});
    EXPECT_EQ(i->hspeed, -4);
    EXPECT_EQ(i->vspeed, 2);

    // An outer corner met only diagonally negates both.
    int block = SolidObject(10, 10);
    Instance_Create(block, 300, 300);
    CInstance* j = Instance_Create(mover, 287, 287);
    j->SetHSpeed(4);
    j->SetVSpeed(4);
    Call("move_bounce", j, {0});
    EXPECT_EQ(j->hspeed, -4);
    EXPECT_EQ(j->vspeed, -4);

    // Started inside, the instance goes back to its previous place.
    CInstance* k = Instance_Create(mover, 60, 50);
    k->SetPosition(95, 50);
    k->SetHSpeed(40);
    Call("move_bounce_all", k, {0});
    EXPECT_EQ(k->x, 60);
    EXPECT_EQ(k->hspeed, -40);
}

TEST_F(MotionFunctions, AdvancedBounceReflectsOffAFloor) {
    int floor = SolidObject(400, 10);
    int mover = SolidObject(10, 10, false);
    Instance_Create(floor, 0, 110);
    CInstance* i = Instance_Create(mover, 100, 100);
    Call("motion_set", i, {300, 5});
    Call("move_bounce_solid", i, {1});
    EXPECT_NEAR(i->direction, 60, 1e-4);

    // Free on both first headings: nothing changes.
    CInstance* j = Instance_Create(mover, 100, 20);
    Call("motion_set", j, {300, 5});
    Call("move_bounce_solid", j, {1});
    EXPECT_EQ(j->direction, 300);
}

TEST_F(MotionFunctions, RandomPlacesSnapsAndWraps) {
    int width = 0, height = 0;
    Room_GetCurrentSize(width, height);
    int o = AddObject();
    // A box one wider and higher than the room leaves no room to draw from: the lower bound is taken.
    Object_Data(o)->sprite = AddSprite(width + 1, height + 1);
    CInstance* i = Instance_Create(o, 37, 41);
    Call("move_random", i, {0, 0});
    EXPECT_EQ(i->x, 0);
    EXPECT_EQ(i->y, 0);

    // Otherwise whole numbers inside the room, floored to the snap.
    int small = AddObject();
    Object_Data(small)->sprite = AddSprite(10, 10);
    for (int k = 0; k < 20; ++k) {
        CInstance* r = Instance_Create(small, 0.5f, 0.5f);
        Call("move_random", r, {16, 1});
        EXPECT_EQ(std::fmod(r->x, 16.0f), 0);
        EXPECT_EQ(r->y, std::floor(r->y));
        EXPECT_TRUE(r->x >= 0 && r->x + 10 <= std::max(width, 10) && r->y >= 0 && r->y + 10 <= std::max(height, 10))
            << r->x << "," << r->y;
    }

    CInstance* p = Instance_Create(AddObject(), 23, 9);
    EXPECT_EQ(Call("place_snapped", p, {0, 0}), 1);
    EXPECT_EQ(Call("place_snapped", p, {16, 0}), 0);
    Call("move_snap", p, {16, 16});
    EXPECT_EQ(p->x, 16);
    EXPECT_EQ(p->y, 16);
    EXPECT_EQ(Call("place_snapped", p, {16, 8}), 1);

    p->SetPosition(-1, 5);
    Call("move_wrap", p, {1, 0, 0});
    EXPECT_EQ(p->x, width - 1);
    p->SetPosition(width + 3, -10);
    Call("move_wrap", p, {1, 1, 2});
    EXPECT_EQ(p->x, -1); // past width + 2: back by width + 4
    EXPECT_EQ(p->y, height - 6);
    // Exactly on the edges (the room's width and height, or the margin beyond them) nothing wraps.
    p->SetPosition(static_cast<float>(width), static_cast<float>(height));
    Call("move_wrap", p, {1, 1, 0});
    EXPECT_EQ(p->x, width);
    EXPECT_EQ(p->y, height);
    p->SetPosition(static_cast<float>(width + 3), -3);
    Call("move_wrap", p, {1, 1, 3});
    EXPECT_EQ(p->x, width + 3);
    EXPECT_EQ(p->y, -3);
    p->SetPosition(0, 0);
    Call("move_wrap", p, {1, 1, 0});
    EXPECT_EQ(p->x, 0);
    EXPECT_EQ(p->y, 0);
}

TEST_F(MotionFunctions, Distances) {
    int box = SolidObject(10, 10, false);
    int none = AddObject();
    CInstance* self = Instance_Create(box, 100, 100); // box 100..109
    EXPECT_EQ(Call("distance_to_point", self, {105, 105}), 0);
    EXPECT_EQ(Call("distance_to_point", self, {112, 113}), 5);

    EXPECT_EQ(Call("distance_to_object", self, {box}), 1000000); // self never counts
    EXPECT_EQ(Call("distance_to_object", self, {none}), 1000000);
    EXPECT_EQ(Call("distance_to_object", self, {-1}), 1000000);
    CInstance* near = Instance_Create(box, 113, 104);
    CInstance* far = Instance_Create(box, 200, 100);
    EXPECT_EQ(Call("distance_to_object", self, {box + 0.9}), 4); // truncated
    EXPECT_EQ(Call("distance_to_object", self, {-2}, far), 91);
    EXPECT_EQ(Call("distance_to_object", self, {-3}), 4);
    near->deactivated = 1;
    EXPECT_EQ(Call("distance_to_object", self, {near->id}), 1000000);

    // Gaps beyond 46,340 pixels square without wrapping.
    far->SetPosition(50110, 100);
    EXPECT_EQ(Instance_Distance(far, self), 50001);
    far->SetPosition(3e9f, 100);
    EXPECT_GT(Instance_Distance(far, self), 2e9);
}
