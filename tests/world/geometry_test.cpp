#include "world_fixture.h"

#include <cmath>
#include <limits>

namespace {

CInstance* Make(float x, float y, int sprite = -1) {
    auto* i = new CInstance(x, y, 0, -1, false);
    i->sprite_index = sprite;
    return i;
}

} // namespace

using Geometry = WorldTest;

TEST_F(Geometry, BoundingBoxFromTheMaskSprite) {
    int s = AddSprite(32, 16, 4, 2);
    std::unique_ptr<CInstance> i(Make(100, 50, s));
    i->ComputeBoundingBox();
    EXPECT_EQ(i->bbox_left, 96);
    EXPECT_EQ(i->bbox_right, 127);
    EXPECT_EQ(i->bbox_top, 48);
    EXPECT_EQ(i->bbox_bottom, 63);

    i->SetImageXScale(-1); // mirrored: swapped back into order
    i->ComputeBoundingBox();
    EXPECT_EQ(i->bbox_left, 71);
    EXPECT_EQ(i->bbox_right, 104);

    int square = AddSprite(32, 16);
    i->SetImageXScale(1);
    i->sprite_index = square;
    i->SetPosition(100, 100);
    i->SetImageAngle(90);
    i->ComputeBoundingBox();
    EXPECT_EQ(i->bbox_right - i->bbox_left + 1, 16);
    EXPECT_EQ(i->bbox_bottom - i->bbox_top + 1, 32);

    // The mask index takes precedence over the sprite.
    int mask = AddSprite(2, 2);
    i->SetImageAngle(0);
    i->SetMaskIndex(mask);
    i->ComputeBoundingBox();
    EXPECT_EQ(i->bbox_right, 101);
    EXPECT_FALSE(i->bboxStale);
}

TEST_F(Geometry, NoSpriteGivesATruncatedPointAndHugePositionsSaturate) {
    std::unique_ptr<CInstance> i(Make(10.9f, -3.7f));
    i->ComputeBoundingBox();
    EXPECT_EQ(i->bbox_left, 10);
    EXPECT_EQ(i->bbox_right, 10);
    EXPECT_EQ(i->bbox_top, -3);
    std::unique_ptr<CInstance> other(Make(10.9f, -3.7f));
    EXPECT_FALSE(CInstance::CollisionInstance(i.get(), other.get(), false));

    i->SetPosition(1e30f, -std::numeric_limits<float>::infinity());
    i->ComputeBoundingBox();
    EXPECT_EQ(i->bbox_left, INT32_MAX);
    EXPECT_EQ(i->bbox_top, INT32_MIN);
    int s = AddSprite(8, 8);
    i->sprite_index = s;
    i->SetPosition(std::nanf(""), -1e30f);
    i->ComputeBoundingBox();
    EXPECT_EQ(i->bbox_left, 0);
    EXPECT_EQ(i->bbox_top, INT32_MIN);
    EXPECT_EQ(Instance_RoundCoordinate(2.5), 2); // ties to even
}

TEST_F(Geometry, NewSpriteResetsAnImageIndexPastItsFrames) {
    std::unique_ptr<CInstance> i(Make(5, 5));
    int s = AddSprite(4, 4, 0, 0, 3);
    i->image_index = 2.5f;
    i->SetSpriteIndex(s);
    EXPECT_EQ(i->image_index, 2.5f);
    i->image_index = 3.0f;
    i->SetSpriteIndex(s);
    EXPECT_EQ(i->image_index, 0);
}

TEST_F(Geometry, MotionVectorKeepsBothFormsInStep) {
    std::unique_ptr<CInstance> i(Make(0, 0));
    i->SetHSpeed(3);
    i->SetVSpeed(4);
    EXPECT_EQ(i->speed, 5);
    EXPECT_NEAR(i->direction, 306.87, 0.005);

    i->SetDirection(90);
    EXPECT_EQ(i->hspeed, 0); // snapped within 0.0001
    EXPECT_EQ(i->vspeed, -5);
    i->SetSpeed(2);
    EXPECT_EQ(i->vspeed, -2);

    i->SetDirection(-90);
    EXPECT_EQ(i->direction, 270);
    i->SetDirection(720);
    EXPECT_EQ(i->direction, 0);
    EXPECT_FALSE(std::signbit(i->direction));
    i->SetDirection(-1e-20f);
    EXPECT_LT(i->direction, 360);
    // Huge and infinite directions end at once.
    i->SetDirection(1e20f);
    EXPECT_GE(i->direction, 0);
    EXPECT_LT(i->direction, 360);
    i->SetDirection(std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(i->direction));

    std::unique_ptr<CInstance> j(Make(0, 0));
    j->AddMotion(0, 2);
    j->AddMotion(90, 2);
    EXPECT_FLOAT_EQ(j->hspeed, 2); // the sum is not snapped, only direction and speed
    EXPECT_EQ(j->vspeed, -2);
    EXPECT_EQ(j->direction, 45);
}

TEST_F(Geometry, FrictionStopsAndGravityAccelerates) {
    std::unique_ptr<CInstance> i(Make(0, 0));
    i->SetSpeed(3);
    i->friction = 1;
    i->ApplyFrictionGravity();
    EXPECT_EQ(i->speed, 2);
    EXPECT_EQ(i->hspeed, 2);
    i->friction = 5; // more than the speed: stops, never reverses
    i->ApplyFrictionGravity();
    EXPECT_EQ(i->speed, 0);
    EXPECT_EQ(i->hspeed, 0);

    i->friction = 0;
    i->gravity = 0.5f;
    i->ApplyFrictionGravity();
    i->ApplyFrictionGravity();
    EXPECT_EQ(i->vspeed, 1);
    EXPECT_EQ(i->direction, 270);
}

TEST_F(Geometry, PointRectangleEllipseAndLineTests) {
    int s = AddSprite(10, 10); // box 0..9 at (0, 0)
    std::unique_ptr<CInstance> i(Make(0, 0, s));
    EXPECT_TRUE(i->CollisionPoint(0, 0, true)); // on left: inside
    EXPECT_TRUE(i->CollisionPoint(9.99f, 5, false));
    EXPECT_FALSE(i->CollisionPoint(10, 5, false)); // on right + 1: outside

    EXPECT_TRUE(i->CollisionRectangle(15, 15, 9, 9, false)); // given in any order
    EXPECT_FALSE(i->CollisionRectangle(10, 0, 20, 5, false));

    EXPECT_TRUE(i->CollisionEllipse(5, -20, 25, 20, false));  // centre x within the box
    EXPECT_FALSE(i->CollisionEllipse(10, 10, 30, 30, false)); // only the corner's neighbourhood
    EXPECT_FALSE(i->CollisionEllipse(9, 9, 29, 29, false));
    EXPECT_TRUE(i->CollisionEllipse(5, 5, 25, 25, false)); // corner (9, 9) inside the ellipse
    EXPECT_TRUE(i->CollisionEllipse(5, 20, 5, 30, false) == i->CollisionRectangle(5, 20, 5, 30, false));

    EXPECT_TRUE(i->CollisionLine(-10, 5, 20, 5, false));
    EXPECT_FALSE(i->CollisionLine(-10, -10, 30, 5, false)); // passes above the box within it
    EXPECT_TRUE(i->CollisionLine(-10, -10, 20, 20, false));
    EXPECT_FALSE(i->CollisionLine(5, 20, 5, 30, false));

    // A marked instance and a sprite without frames never meet a point.
    i->SetMarked(true);
    EXPECT_FALSE(i->CollisionPoint(5, 5, false));
    EXPECT_FALSE(i->CollisionRectangle(0, 0, 5, 5, false));
    i->SetMarked(false);
    Sprite_Data(s)->frameCount = 0;
    EXPECT_FALSE(i->CollisionPoint(5, 5, false));
    std::unique_ptr<CInstance> j(Make(0, 0, s));
    EXPECT_FALSE(CInstance::CollisionInstance(i.get(), j.get(), false));
}

TEST_F(Geometry, PointInEllipseWithAZeroHalfAxis) {
    // A rectangle one pixel wide: only the centre column is inside, and nothing divides by zero.
    IntRect thin{4, 0, 4, 10};
    EXPECT_TRUE(Rect_PointInEllipse(thin, 4, 5));
    EXPECT_FALSE(Rect_PointInEllipse(thin, 5, 5));
    EXPECT_FALSE(Rect_PointInEllipse(thin, 4, 11));
    IntRect wide{0, 0, 10, 10};
    EXPECT_TRUE(Rect_PointInEllipse(wide, 5, 0));
    EXPECT_FALSE(Rect_PointInEllipse(wide, 0, 0));
}

TEST_F(Geometry, InstancesMeetByBoxesAndFrames) {
    int s = AddSprite(10, 10);
    std::unique_ptr<CInstance> a(Make(0, 0, s)), b(Make(9, 9, s));
    EXPECT_TRUE(CInstance::CollisionInstance(a.get(), b.get(), true));
    EXPECT_FALSE(CInstance::CollisionInstance(a.get(), a.get(), true));
    b->SetPosition(10, 0);
    EXPECT_FALSE(CInstance::CollisionInstance(a.get(), b.get(), true));
    b->SetPosition(5, 5);
    b->SetMarked(true);
    EXPECT_FALSE(CInstance::CollisionInstance(a.get(), b.get(), true));
}

TEST_F(Geometry, PlaceTestsPutTheInstanceBack) {
    int wall = SolidObject(10, 10);
    int ghost = SolidObject(10, 10, false);
    int mover = SolidObject(10, 10, false);
    CInstance* w = Instance_Create(wall, 50, 0);
    CInstance* g = Instance_Create(ghost, 0, 50);
    CInstance* m = Instance_Create(mover, 0.25f, 0.75f);
    m->ComputeBoundingBox();

    EXPECT_FALSE(Instance_PlaceFree(m, 45, 0));
    EXPECT_TRUE(Instance_PlaceFree(m, 0, 45)); // the ghost is not solid
    EXPECT_FALSE(Instance_PlaceEmpty(m, 0, 45));
    EXPECT_TRUE(Instance_PlaceEmpty(m, 100, 100));
    EXPECT_EQ(m->x, 0.25f);
    EXPECT_EQ(m->y, 0.75f);
    EXPECT_TRUE(m->bboxStale);

    EXPECT_EQ(Instance_PlaceMeetingFind(m, 45, 0, -3), w);
    EXPECT_EQ(Instance_PlaceMeetingFind(m, 0, 45, ghost), g);
    EXPECT_EQ(Instance_PlaceMeetingFind(m, 0, 45, wall), nullptr);
    EXPECT_EQ(Instance_PlaceMeetingFind(m, 45, 0, w->id), w);
    EXPECT_EQ(Instance_PlaceMeetingFind(m, 0, 0, mover), nullptr); // never itself
    EXPECT_EQ(Instance_PlaceMeetingFind(m, 0, 0, 99), nullptr);
    EXPECT_TRUE(Instance_PlaceMeeting(m, -3, 45, 0));
    w->deactivated = 1;
    EXPECT_FALSE(Instance_PlaceMeeting(m, w->id, 45, 0));
}
