// Motion planning: straight and potential-field steps and routes around instances, and grid routes.
#include "game_functions.h"

#include "world/motion_planning.h"
#include "world/path.h"

#include <cmath>
#include <utility>

namespace {

using XY = std::pair<float, float>;

class MotionPlanning : public GameFunctionTest {
protected:
    void SetUp() override {
        GameFunctionTest::SetUp();
        Path_Init();
        path = Path_Add();
    }
    void TearDown() override {
        Motion_PotentialSettings(30, 10, 3, true);
        Grid_Free();
        Path_Clear();
        GameFunctionTest::TearDown();
    }
    std::vector<XY> Route() const {
        std::vector<XY> points;
        const CPath* p = Path_Data(path);
        for (int i = 0; i < p->GetNumber(); ++i)
            points.emplace_back(p->GetPoint(i).x, p->GetPoint(i).y);
        return points;
    }
    static XY At(const CInstance* i) { return {i->x, i->y}; }
    int path = -1;
};

TEST_F(MotionPlanning, StraightStepsAndRoutesStopAtWhatIsInTheWay) {
    const int mover = SolidObject(10, 10, false);
    const int wall = SolidObject(10, 40);
    const int ghost = SolidObject(10, 40, false);
    CInstance* i = Room_State().Run_Room->CreateInstance(0, 0, mover);
    EXPECT_EQ(Call("mp_linear_step", i, {100, 0, 30, 0}), 0);
    EXPECT_EQ(At(i), XY(30, 0));
    EXPECT_EQ(Call("mp_linear_step", i, {50, 0, 30, 0}), 1);
    EXPECT_EQ(At(i), XY(50, 0));

    // Blocked short of the goal: no move; blocked at a goal within the step: done all the same.
    Room_State().Run_Room->CreateInstance(75, -20, wall);
    EXPECT_EQ(Call("mp_linear_step", i, {200, 0, 30, 0}), 0);
    EXPECT_EQ(At(i), XY(50, 0));
    EXPECT_EQ(Call("mp_linear_step", i, {80, 0, 40, 0}), 1);
    EXPECT_EQ(At(i), XY(50, 0));
    EXPECT_EQ(Call("mp_linear_path", i, {path, 200, 0, 30, 0}), 0);
    EXPECT_EQ(Route(), (std::vector<XY>{{50, 0}}));

    // A route past a non-solid instance, which only blocks when all instances count or it is named.
    Room_State().Run_Room->CreateInstance(30, 80, ghost);
    i->SetPosition(0, 100);
    i->SetDirection(45);
    EXPECT_EQ(Call("mp_linear_path", i, {path, 100, 100, 30, 0}), 1);
    EXPECT_EQ(Route(), (std::vector<XY>{{0, 100}, {30, 100}, {60, 100}, {90, 100}, {100, 100}}));
    EXPECT_EQ(At(i), XY(0, 100));
    EXPECT_EQ(i->direction, 45);
    EXPECT_FALSE(Path_Data(path)->GetClosed());
    EXPECT_EQ(Call("mp_linear_path", i, {path, 100, 100, 30, 1}), 0);
    EXPECT_EQ(Route(), (std::vector<XY>{{0, 100}}));
    EXPECT_EQ(Call("mp_linear_path_object", i, {path, 100, 100, 30, ghost}), 0);
    EXPECT_EQ(Call("mp_linear_path_object", i, {path, 100, 100, 30, wall}), 1);

    // Routes need a path and a positive step; a goal that is no number ends the route.
    EXPECT_EQ(Call("mp_linear_path", i, {path, 100, 100, 0, 0}), 0);
    EXPECT_EQ(Call("mp_linear_path", i, {path, std::nan(""), 100, 30, 0}), 0);
    EXPECT_EQ(At(i), XY(0, 100));
    // A route of more points than the planners keep is given up.
    EXPECT_EQ(Call("mp_linear_path", i, {path, 1000, 100, 0.001, 0}), 0);
    EXPECT_EQ(Path_Data(path)->GetNumber(), kMaxRoutePoints);
    EXPECT_EQ(Call("mp_linear_path", i, {77, 100, 100, 30, 0}), 0);
    EXPECT_NE(LastError().find("Trying to assign to a non-existing path."), std::string::npos);
}

TEST_F(MotionPlanning, PotentialStepsTurnAwayAndRoutesGoAroundOrGiveUp) {
    Call("mp_potential_settings", nullptr, {0, 0, 0, 0});
    const PotentialSettings& settings = Motion_GetPotentialSettings();
    EXPECT_EQ((std::vector<float>{settings.maxRotation, settings.rotationStep, settings.ahead}),
              (std::vector<float>{1, 1, 1}));
    EXPECT_FALSE(settings.onSpot);
    Call("mp_potential_settings", nullptr, {30, 10, 3, 1});

    // Straight on, and 10 degrees clockwise, the look-ahead meets the wall below the line; 10 degrees
    // anticlockwise it passes above.
    const int mover = SolidObject(10, 10, false);
    const int wall = SolidObject(10, 40);
    CInstance* i = Room_State().Run_Room->CreateInstance(0, 0, mover);
    CInstance* low = Room_State().Run_Room->CreateInstance(20, 7, wall);
    EXPECT_EQ(Call("mp_potential_step", i, {200, 0, 5, 0}), 0);
    EXPECT_EQ(i->direction, 10);
    EXPECT_NEAR(i->x, 4.924, 1e-3);
    EXPECT_NEAR(i->y, -0.868, 1e-3);
    Instance_Destroy(low);
    Room_State().Run_Room->RemoveMarked();

    // Round a wall to the goal; the instance is put back.
    i->SetPosition(0, 0);
    i->SetDirection(0);
    Room_State().Run_Room->CreateInstance(40, -30, wall);
    EXPECT_EQ(Call("mp_potential_path", i, {path, 100, 0, 4, 4, 0}), 1);
    const std::vector<XY> route = Route();
    EXPECT_EQ(route.front(), XY(0, 0));
    EXPECT_EQ(route.back(), XY(100, 0));
    for (const XY& point : route)
        EXPECT_TRUE(Instance_PlaceFree(i, point.first, point.second)) << point.first << " " << point.second;
    EXPECT_EQ(At(i), XY(0, 0));
    EXPECT_EQ(Call("mp_potential_path", i, {path, 100, 0, 4, 0.5, 0}), 0);

    // Walled in: after turning all the way round on the spot (12 turns of 30 degrees) the route is given
    // up; without turning, at once.
    CInstance* boxed = Room_State().Run_Room->CreateInstance(300, 300, mover);
    Room_State().Run_Room->CreateInstance(290, 290, SolidObject(30, 5));
    Room_State().Run_Room->CreateInstance(290, 315, SolidObject(30, 5));
    Room_State().Run_Room->CreateInstance(290, 295, SolidObject(5, 20));
    Room_State().Run_Room->CreateInstance(315, 295, SolidObject(5, 20));
    EXPECT_EQ(Call("mp_potential_path", boxed, {path, 400, 300, 4, 100, 0}), 0);
    EXPECT_EQ(Route().size(), 13u);
    EXPECT_EQ(At(boxed), XY(300, 300));
    EXPECT_EQ(boxed->direction, 0);
    Call("mp_potential_settings", nullptr, {30, 10, 3, 0});
    EXPECT_EQ(Call("mp_potential_path", boxed, {path, 400, 300, 4, 100, 0}), 0);
    EXPECT_EQ(Route().size(), 2u);
}

TEST_F(MotionPlanning, GridRoutesFollowTheBreadthFirstSearch) {
    const int g = static_cast<int>(Call("mp_grid_create", nullptr, {0, 0, 3, 3, 32, 32}));
    EXPECT_EQ(g, 0);
    EXPECT_EQ(Call("mp_grid_path", nullptr, {g, path, 16, 16, 80, 80, 1}), 1);
    EXPECT_EQ(Route(), (std::vector<XY>{{16, 16}, {48, 48}, {80, 80}}));
    // Without diagonals the walk back from the goal prefers left, right, up, down.
    EXPECT_EQ(Call("mp_grid_path", nullptr, {g, path, 16, 16, 80, 80, 0}), 1);
    EXPECT_EQ(Route(), (std::vector<XY>{{16, 16}, {16, 48}, {16, 80}, {48, 80}, {80, 80}}));
    EXPECT_EQ(Call("mp_grid_path", nullptr, {g, path, 3, 4, 20, 30, 1}), 1);
    EXPECT_EQ(Route(), (std::vector<XY>{{3, 4}, {20, 30}}));

    // A blocked goal, or one outside the grid: no route and the path as it was.
    Call("mp_grid_add_cell", nullptr, {g, 2, 2});
    EXPECT_EQ(Call("mp_grid_path", nullptr, {g, path, 16, 16, 80, 80, 1}), 0);
    EXPECT_EQ(Call("mp_grid_path", nullptr, {g, path, 16, 16, 96, 16, 1}), 0);
    EXPECT_EQ(Route(), (std::vector<XY>{{3, 4}, {20, 30}}));
    // Diagonals never cut a blocked corner: (1, 1) to (2, 0) would pass (1, 0).
    Call("mp_grid_add_cell", nullptr, {g, 1, 0});
    EXPECT_EQ(Call("mp_grid_path", nullptr, {g, path, 16, 16, 80, 16, 1}), 1);
    EXPECT_EQ(Route(), (std::vector<XY>{{16, 16}, {16, 48}, {48, 48}, {80, 48}, {80, 16}}));

    // The walk back from the goal takes no diagonal across a blocked corner either: here its first choice
    // of the cells one step nearer the start would pass the blocked cell (3, 2).
    const int wide = static_cast<int>(Call("mp_grid_create", nullptr, {0, 0, 4, 3, 32, 32}));
    Call("mp_grid_add_cell", nullptr, {wide, 1, 1});
    Call("mp_grid_add_cell", nullptr, {wide, 3, 2});
    EXPECT_EQ(Call("mp_grid_path", nullptr, {wide, path, 16, 48, 112, 48, 1}), 1);
    EXPECT_EQ(Route(), (std::vector<XY>{{16, 48}, {16, 16}, {48, 16}, {80, 16}, {112, 48}}));
    // The search leaves no distances behind.
    for (int h = 0; h < 4; ++h)
        for (int v = 0; v < 3; ++v)
            EXPECT_LE(Grid_Data(wide)->Cell(h, v), 0);
}

TEST_F(MotionPlanning, GridCellsAreBlockedByCellRectangleAndInstances) {
    const int g = static_cast<int>(Call("mp_grid_create", nullptr, {100, 0, 4, 4, 32, 32}));
    const CGrid* grid = Grid_Data(g);
    auto blocked = [&] {
        std::vector<XY> cells;
        for (int h = 0; h < 4; ++h)
            for (int v = 0; v < 4; ++v)
                if (grid->Cell(h, v) == -1) cells.emplace_back(h, v);
        return cells;
    };
    // Less than a cell left of the grid counts as column 0; columns beyond the grid are cut off.
    Call("mp_grid_add_rectangle", nullptr, {g, 50, 40, 80, 70});
    Call("mp_grid_add_rectangle", nullptr, {g, 300, 0, 400, 20});
    EXPECT_EQ(blocked(), (std::vector<XY>{{0, 1}, {0, 2}}));
    Call("mp_grid_clear_rectangle", nullptr, {g, 100, 64, 101, 65});
    EXPECT_EQ(blocked(), (std::vector<XY>{{0, 1}}));
    Call("mp_grid_clear_all", nullptr, {g});

    const int o = SolidObject(10, 10, false);
    CInstance* self = Room_State().Run_Room->CreateInstance(125, 25, o); // box 125..134 x 25..34
    Call("mp_grid_add_instances", self, {g, -1, 0});
    EXPECT_EQ(blocked(), (std::vector<XY>{{0, 0}, {0, 1}, {1, 0}, {1, 1}}));
    Call("mp_grid_clear_all", nullptr, {g});
    // An object's instances, present ones only.
    Room_State().Run_Room->CreateInstance(200, 100, o)->SetMarked(true);
    Room_State().Run_Room->CreateInstance(220, 40, o)->deactivated = 1;
    Call("mp_grid_add_instances", nullptr, {g, o, 1});
    EXPECT_EQ(blocked(), (std::vector<XY>{{0, 0}, {0, 1}, {1, 0}, {1, 1}}));
}

TEST_F(MotionPlanning, GridsOfNoSizeTooLargeOrGoneDoNothing) {
    // A destroyed grid's slot is used again.
    EXPECT_EQ(Call("mp_grid_create", nullptr, {0, 0, 2, 2, 8, 8}), 0);
    EXPECT_EQ(Call("mp_grid_create", nullptr, {0, 0, 2, 2, 8, 8}), 1);
    Call("mp_grid_destroy", nullptr, {0});
    EXPECT_EQ(Call("mp_grid_create", nullptr, {0, 0, 2, 2, 8, 8}), 0);

    EXPECT_EQ(Call("mp_grid_create", nullptr, {0, 0, 2, 2, 0, 8}), -1);
    EXPECT_EQ(Call("mp_grid_create", nullptr, {0, 0, -2, 2, 8, 8}), -1);
    EXPECT_EQ(Call("mp_grid_create", nullptr, {0, 0, 2, 2, 8, std::nan("")}), -1);
    EXPECT_EQ(Call("mp_grid_create", nullptr, {0, 0, 1e6, 1e6, 8, 8}), -1);
    EXPECT_NE(LastError().find("too large"), std::string::npos);

    // A grid of no cells has nowhere to start.
    const int none = static_cast<int>(Call("mp_grid_create", nullptr, {0, 0, 0, 5, 8, 8}));
    ASSERT_GE(none, 0);
    Call("mp_grid_add_rectangle", nullptr, {none, -1e9, -1e9, 1e9, 1e9});
    EXPECT_EQ(Call("mp_grid_path", nullptr, {none, path, 0, 0, 4, 4, 1}), 0);
    // Huge coordinates and a grid far out stay within the grid's cells.
    const int far = static_cast<int>(Call("mp_grid_create", nullptr, {2e9, -2e9, 3, 3, 1e9, 1e9}));
    Call("mp_grid_add_rectangle", nullptr, {far, -2e9, -2e9, 2e9, 2e9});
    EXPECT_EQ(Grid_Data(far)->Cell(0, 2), -1);
    EXPECT_EQ(Call("mp_grid_path", nullptr, {far, path, 2e9, 0, 2e9, 0, 1}), 0);

    // Ids without a grid: nothing happens.
    Call("mp_grid_add_cell", nullptr, {-1, 0, 0});
    EXPECT_EQ(Call("mp_grid_path", nullptr, {42, path, 0, 0, 4, 4, 1}), 0);
}

} // namespace
