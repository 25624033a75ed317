// Instances following paths: positions step by step, the end actions, the end-of-path event in the
// motion stage, collisions, and paths or settings that make no sense.
#include "game_functions.h"

#include "runner/step.h"
#include "world/dispatch.h"
#include "world/path.h"

#include <cmath>
#include <limits>
#include <utility>

namespace {

using XY = std::pair<float, float>;

class PathFollowing : public GameFunctionTest {
protected:
    void SetUp() override {
        GameFunctionTest::SetUp();
        int id;
        if (!Code_Function_Find("action_path_position", id)) InitPathActionFunctions();
        Path_Init();
    }
    void TearDown() override {
        Path_Clear();
        Object_Lists_Free();
        GameFunctionTest::TearDown();
    }
    // A path of (x, y, speed) points.
    static int MakePath(std::initializer_list<CPath::Point> points, bool closed = false, int kind = 0,
                        int precision = 4) {
        const int index = Path_Add();
        CPath* path = Path_Data(index);
        path->SetClosed(closed);
        path->SetKind(kind);
        path->SetPrecision(precision);
        path->AddPoints(points);
        return index;
    }
    // An instance of a plain object at (x, y) that has started the path.
    CInstance* Follower(int path, double speed, int endAction, bool absolute, float x = 0, float y = 0) {
        CInstance* i = Room_State().Run_Room->CreateInstance(x, y, AddObject());
        Call("path_start", i, {path, speed, endAction, absolute ? 1 : 0});
        return i;
    }
    static XY At(const CInstance* i) { return {i->x, i->y}; }
};

// Speeds of 100, 100 and 50 at the points: the instance slows along the second leg.
TEST_F(PathFollowing, AStraightPathIsFollowedAtItsPointSpeedsStepByStep) {
    const int p = MakePath({{0, 0, 100}, {128, 0, 100}, {128, 128, 50}});
    int ends = 0;
    const int o = AddObject();
    On(o, ev_other, ev_end_of_path, [&](CInstance* self, CInstance*) {
        ++ends;
        EXPECT_EQ(self->path_index, -1);
        self->SetHSpeed(5); // moves by it in the same stage, after the path step
    });
    CInstance* i = Room_State().Run_Room->CreateInstance(5, 5, o);
    Call("path_start", i, {p, 16, 0, 1});
    EXPECT_EQ(At(i), XY(0, 0));
    Object_CreateEventLists();

    const XY expected[] = {{16, 0}, {32, 0}, {48, 0}, {64, 0}, {80, 0}, {96, 0}, {112, 0}, {128, 0}, {128, 16}, {128, 31}};
    for (const XY& place : expected) {
        const float before = i->path_position;
        DoAStep();
        EXPECT_EQ(At(i), place);
        EXPECT_EQ(i->path_positionprevious, before);
    }
    EXPECT_EQ(i->path_position, 0.62109375f);
    // The motion faces the move without making it.
    EXPECT_EQ(i->direction, 270);
    EXPECT_EQ(i->speed, 0);
    EXPECT_EQ(i->hspeed, 0);

    for (int k = 0; k < 9; ++k)
        DoAStep();
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(i->path_position, 1);
    EXPECT_EQ(At(i), XY(133, 128));
    DoAStep();
    EXPECT_EQ(ends, 1);
}

TEST_F(PathFollowing, SmoothAndClosedPathsAreFollowedAlongTheirCurves) {
    // Open and smooth: the curve (0, 0), (87.5, 12.5), (100, 100), two legs of 88.39.
    const int open = MakePath({{0, 0, 100}, {100, 0, 100}, {100, 100, 100}}, false, 1, 1);
    CInstance* i = Follower(open, 100, 0, true);
    i->AdvancePath();
    EXPECT_NEAR(i->x, 89.1421, 1e-3);
    EXPECT_NEAR(i->y, 23.9949, 1e-3);

    // Closed and straight: the closing leg counts.
    const int square = MakePath({{0, 0, 100}, {100, 0, 100}, {100, 100, 100}, {0, 100, 100}}, true);
    CInstance* j = Follower(square, 350, 0, true);
    j->AdvancePath();
    EXPECT_EQ(At(j), XY(0, 50));

    // Closed and smooth, continued round: the curve (87.5, 12.5), (87.5, 75), (25, 12.5) and back, 213.39
    // long; a lap's end and start coincide, so the anchor stays.
    const int loop = MakePath({{0, 0, 100}, {100, 0, 100}, {100, 100, 100}}, true, 1, 1);
    CInstance* k = Follower(loop, 62.5, 2, true);
    const XY laps[] = {{87.5f, 75}, {43.3058f, 30.8058f}, {61.6116f, 12.5f}, {87.5f, 49.1116f}};
    for (const XY& place : laps) {
        k->AdvancePath();
        EXPECT_NEAR(k->x, place.first, 1e-3);
        EXPECT_NEAR(k->y, place.second, 1e-3);
    }
    EXPECT_EQ(XY(k->path_xstart, k->path_ystart), XY(87.5f, 12.5f));
}

TEST_F(PathFollowing, RelativeStartsScalesAndOrientationsPlaceThePathAtTheInstance) {
    const int p = MakePath({{0, 0, 100}, {100, 0, 100}});
    CInstance* i = Follower(p, 10, 0, false, 50, 50);
    EXPECT_EQ(At(i), XY(50, 50));
    i->path_scale = 2;       // half the position per step, twice the distance
    i->path_orientation = 90; // the path now runs up the screen
    i->AdvancePath();
    EXPECT_EQ(At(i), XY(50, 40));

    // Backwards from a relative start: the instance is the anchor of the first point.
    CInstance* j = Follower(p, -10, 0, false, 50, 50);
    EXPECT_EQ(j->path_position, 1);
    j->AdvancePath();
    EXPECT_EQ(At(j), XY(140, 50));
    // Absolute and backwards: placed at the end, and the path stays where it lies.
    CInstance* k = Follower(p, -10, 0, true, 7, 7);
    EXPECT_EQ(At(k), XY(100, 0));
    k->AdvancePath();
    EXPECT_EQ(At(k), XY(90, 0));
}

TEST_F(PathFollowing, EachEndActionAtEitherEnd) {
    const int line = MakePath({{0, 0, 100}, {128, 0, 100}});
    auto run = [&](int endAction, double speed, int steps) {
        CInstance* i = Follower(line, speed, endAction, true);
        bool ended = false;
        for (int k = 0; k < steps; ++k)
            ended = i->AdvancePath();
        EXPECT_TRUE(ended) << endAction;
        return i;
    };
    // Restart: past the end by an eighth, the next lap starts an eighth in.
    CInstance* restart = run(1, 48, 3);
    EXPECT_EQ(restart->path_position, 0.125f);
    EXPECT_EQ(At(restart), XY(16, 0));
    // Reverse: back from the end by the overshoot, the speed turned round.
    CInstance* reverse = run(3, 48, 3);
    EXPECT_EQ(reverse->path_position, 0.875f);
    EXPECT_EQ(reverse->path_speed, -48);
    EXPECT_EQ(At(reverse), XY(112, 0));
    // A backwards run that lands exactly on the start is at the start end: restart goes to the far end.
    CInstance* back = run(1, -64, 2);
    EXPECT_EQ(back->path_position, 1);
    EXPECT_EQ(At(back), XY(128, 0));

    // Continue: the anchor moves by the path's end-to-start vector, each way.
    const int corner = MakePath({{0, 0, 100}, {64, 0, 100}, {64, 64, 100}});
    CInstance* onward = Follower(corner, 48, 2, true);
    for (int k = 0; k < 3; ++k)
        onward->AdvancePath();
    EXPECT_EQ(onward->path_position, 0.125f);
    EXPECT_EQ(XY(onward->path_xstart, onward->path_ystart), XY(64, 64));
    EXPECT_EQ(At(onward), XY(80, 64));
    CInstance* backward = Follower(corner, -64, 2, true);
    backward->AdvancePath();
    EXPECT_TRUE(backward->AdvancePath());
    EXPECT_EQ(backward->path_position, 1);
    EXPECT_EQ(XY(backward->path_xstart, backward->path_ystart), XY(-64, -64));
    EXPECT_EQ(At(backward), XY(0, 0));

    // A speed of 0 at an end stops nothing; an unknown end action stops whatever the speed.
    CInstance* still = Follower(line, 0, 0, true);
    EXPECT_FALSE(still->AdvancePath());
    EXPECT_EQ(still->path_index, line);
    still->path_endaction = 7;
    EXPECT_FALSE(still->AdvancePath());
    EXPECT_EQ(still->path_index, -1);
    EXPECT_EQ(still->path_position, 1);
}

// A solid collision puts the path position back; the collision event turns round and the instance goes
// back along the path in the same stage.
TEST_F(PathFollowing, CollisionsPutThePathPositionBackAndAdvanceAgain) {
    const int wall = SolidObject(10, 100);
    const int mover = SolidObject(10, 10, false);
    On(mover, ev_collision, wall, [](CInstance* self, CInstance*) { self->path_speed = -self->path_speed; });
    Room_State().Run_Room->CreateInstance(60, -50, wall);
    CInstance* i = Room_State().Run_Room->CreateInstance(0, 0, mover);
    Call("path_start", i, {MakePath({{0, 0, 100}, {256, 0, 100}}), 16, 0, 1});
    Object_CreateEventLists();
    // At 64 the mover would meet the wall: back to 48, then a step back along the path.
    for (int k = 0; k < 4; ++k)
        DoAStep();
    EXPECT_EQ(i->x, 32);
    EXPECT_EQ(i->path_position, 0.125f);
}

TEST_F(PathFollowing, PathsThatCannotBeFollowedAndSettingsThatMakeNoSense) {
    const int empty = Path_Add();
    const int single = MakePath({{10, 10, 100}});
    const int line = MakePath({{0, 0, 100}, {100, 0, 100}});
    for (int p : {empty, single, 99, -5}) {
        CInstance* i = Follower(p, 10, 0, true, 3, 4);
        EXPECT_LT(i->path_index, 0) << p;
        EXPECT_EQ(At(i), XY(3, 4)) << p;
        EXPECT_FALSE(i->AdvancePath());
    }
    CInstance* shrunk = Room_State().Run_Room->CreateInstance(0, 0, AddObject());
    shrunk->StartPath(line, 10, -1, 0, false, 0);
    EXPECT_EQ(shrunk->path_index, -1);

    // A zero scale or a speed that is no number leaves the position where it is; nothing becomes NaN.
    CInstance* flat = Follower(line, 10, 0, true);
    flat->AdvancePath();
    flat->path_scale = 0;
    flat->AdvancePath();
    EXPECT_EQ(flat->path_position, 0.1f);
    EXPECT_EQ(At(flat), XY(0, 0)); // the whole path lies on its anchor
    flat->path_scale = 1;
    flat->path_speed = std::numeric_limits<float>::quiet_NaN();
    flat->AdvancePath();
    EXPECT_EQ(flat->path_position, 0.1f);
    EXPECT_EQ(At(flat), XY(10, 0));

    // A path deleted under its follower holds the instance where it is.
    Path_Delete(line);
    flat->path_speed = 10;
    EXPECT_FALSE(flat->AdvancePath());
    EXPECT_EQ(flat->path_index, line);
    EXPECT_EQ(At(flat), XY(10, 0));

    // The position action is kept within 0..1; both actions add when relative.
    Call("action_path_position", flat, {2});
    EXPECT_EQ(flat->path_position, 1);
    Event_State().argument_relative = true;
    Call("action_path_position", flat, {-0.25});
    Call("action_path_speed", flat, {5});
    Event_State().argument_relative = false;
    EXPECT_EQ(flat->path_position, 0.75f);
    EXPECT_EQ(flat->path_speed, 15);
    Call("path_end", flat);
    EXPECT_EQ(flat->path_index, -1);
}

} // namespace
