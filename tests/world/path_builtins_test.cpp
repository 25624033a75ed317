// The path built-ins called from compiled code: paths made, edited and measured at run time, copied,
// transformed, written by motion planning and followed; and calls on paths that do not exist.
#include "game_functions.h"

#include "library/library_builtins.h"
#include "runner/step.h"
#include "support/run_code.h"
#include "world/dispatch.h"
#include "world/game_values.h"
#include "world/path.h"
#include "world/resource_builtins.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace {

using XY = std::pair<float, float>;

class PathFunctions : public GameFunctionTest {
protected:
    void SetUp() override {
        GameFunctionTest::SetUp();
        UseScriptVariables();
        int id;
        if (!Code_Function_Find("path_add", id)) InitPathResourceFunctions();
        if (!Code_Function_Find("string", id)) InitMathFunctions();
        Path_Init();
        self = Room_State().Run_Room->CreateInstance(0, 0, AddObject());
    }
    void TearDown() override {
        GameValues_SetText(&CodeError_State().Code_LastErrorText, nullptr);
        Path_Clear();
        Object_Lists_Free();
        GameFunctionTest::TearDown();
    }

    // Runs the statements on self: what they return, as RunCode gives it.
    std::string Run(const std::string& program) { return CompileAndRun(program, self); }
    // The real an expression gives.
    double Value(const std::string& expression) { return std::stod(Run("return " + expression)); }
    // The points of a path, read back through path_get_point_x and _y.
    std::vector<XY> Points(int path) {
        std::vector<XY> points;
        const int count = static_cast<int>(Value("path_get_number(" + std::to_string(path) + ")"));
        for (int i = 0; i < count; ++i) {
            const std::string at = std::to_string(path) + ", " + std::to_string(i);
            points.emplace_back(static_cast<float>(Value("path_get_point_x(" + at + ")")),
                                static_cast<float>(Value("path_get_point_y(" + at + ")")));
        }
        return points;
    }
    // Whether the error last reported holds the text; forgotten.
    static bool Reported(const std::string& text) {
        const bool found = LastError().find(text) != std::string::npos;
        GameValues_SetText(&CodeError_State().Code_LastErrorText, nullptr);
        return found;
    }
    XY At() const { return {self->x, self->y}; }

    CInstance* self = nullptr;
};

// Legs of 50 and 100 pixels, the last point at half speed: 150 long; halfway lies 25 pixels down the
// second leg, its speed a quarter of the way from 100 to 50.
TEST_F(PathFunctions, APathBuiltPointByPointIsMeasuredAndFollowed) {
    EXPECT_EQ(Run("p = path_add(); return p"), "0");
    EXPECT_EQ(Run("return path_get_name(p)"), "'__newpath0'");
    EXPECT_EQ(Run("return string(path_exists(p)) + string(path_get_kind(p)) + string(path_get_closed(p)) + "
                  "string(path_get_precision(p)) + string(path_get_number(p)) + string(path_get_length(p))"),
              "'101400'");
    Run("path_set_closed(p, 0); path_add_point(p, 0, 0, 100); path_add_point(p, 30, 40, 100)");
    EXPECT_EQ(Run("return path_add_point(p, 30, 140, 50)"), "2");
    EXPECT_EQ(Value("path_get_length(p)"), 150);
    EXPECT_EQ(Points(0), (std::vector<XY>{{0, 0}, {30, 40}, {30, 140}}));
    EXPECT_EQ(Value("path_get_point_speed(p, 2)"), 50);
    EXPECT_EQ((std::vector<double>{Value("path_get_x(p, 0.5)"), Value("path_get_y(p, 0.5)"),
                                   Value("path_get_speed(p, 0.5)")}),
              (std::vector<double>{30, 65, 87.5}));
    EXPECT_EQ((std::vector<double>{Value("path_get_x(p, 0.2)"), Value("path_get_y(p, 0.2)")}),
              (std::vector<double>{18, 24}));
    EXPECT_EQ((std::vector<double>{Value("path_get_center_x(p)"), Value("path_get_center_y(p)")}),
              (std::vector<double>{15, 70}));
    // Points out of range read as (0, 0) at speed 1.
    EXPECT_EQ((std::vector<double>{Value("path_get_point_x(p, 3)"), Value("path_get_point_y(p, -1)"),
                                   Value("path_get_point_speed(p, 3)")}),
              (std::vector<double>{0, 0, 1}));

    // Followed at 25 pixels a step: the first leg in two steps, then slower once the speed drops.
    Run("path_start(p, 25, 0, 1)");
    EXPECT_EQ(self->path_index, 0);
    const XY expected[] = {{15, 20}, {30, 40}, {30, 65}};
    for (const XY& place : expected) {
        DoAStep();
        EXPECT_EQ(At(), place);
    }
    DoAStep();
    EXPECT_NEAR(self->y, 65 + 25 * 0.875, 1e-4);
    EXPECT_NEAR(Value("path_position"), (75 + 25 * 0.875) / 150, 1e-6);

    // Deleted under its follower: the instance stays where it is and the path reads as missing.
    const XY held = At();
    EXPECT_EQ(Value("path_delete(p)"), 1);
    DoAStep();
    DoAStep();
    EXPECT_EQ(At(), held);
    EXPECT_EQ(self->path_index, 0);
    EXPECT_EQ(Run("return string(path_exists(p)) + string(path_delete(p)) + path_get_name(p)"), "'00<undefined>'");
    Run("path_start(p, 25, 0, 1)");
    EXPECT_EQ(self->path_index, -1);
    EXPECT_EQ(At(), held);
}

TEST_F(PathFunctions, KindClosedAndPrecisionShapeTheCurve) {
    Run("p = path_add(); path_add_point(p, 0, 0, 100); path_add_point(p, 100, 0, 100); "
        "path_add_point(p, 100, 100, 100); path_set_closed(p, 0.4)");
    EXPECT_EQ(Value("path_get_closed(p)"), 0); // a flag is set from 0.5
    EXPECT_EQ(Value("path_get_length(p)"), 200);
    // Smooth at precision 1: the curve (0, 0), (87.5, 12.5), (100, 100), two legs alike.
    Run("path_set_kind(p, 1); path_set_precision(p, 0.6)");
    EXPECT_EQ(Value("path_get_precision(p)"), 1);
    EXPECT_NEAR(Value("path_get_length(p)"), 2 * 88.3883476, 1e-4);
    EXPECT_EQ((std::vector<double>{Value("path_get_x(p, 0.5)"), Value("path_get_y(p, 0.5)")}),
              (std::vector<double>{87.5, 12.5}));
    // Unknown kinds are straight and the precision is kept within 0..8.
    Run("path_set_kind(p, 5); path_set_precision(p, 12)");
    EXPECT_EQ(Run("return string(path_get_kind(p)) + string(path_get_precision(p)) + string(path_get_length(p))"),
              "'08200'");
}

// (0, 0), (40, 0), (40, 20) shifted, then turned, mirrored and scaled about the centre of its points.
TEST_F(PathFunctions, TransformsMoveThePointsAboutTheirCentre) {
    Run("p = path_add(); path_add_point(p, 0, 0, 100); path_add_point(p, 40, 0, 100); "
        "path_add_point(p, 40, 20, 100); path_shift(p, 5, -5)");
    EXPECT_EQ(Points(0), (std::vector<XY>{{5, -5}, {45, -5}, {45, 15}}));
    EXPECT_EQ((std::vector<double>{Value("path_get_center_x(p)"), Value("path_get_center_y(p)")}),
              (std::vector<double>{25, 5}));
    Run("path_mirror(p)");
    EXPECT_EQ(Points(0), (std::vector<XY>{{45, -5}, {5, -5}, {5, 15}}));
    Run("path_flip(p)");
    EXPECT_EQ(Points(0), (std::vector<XY>{{45, 15}, {5, 15}, {5, -5}}));
    Run("path_rescale(p, 2, 0.5)");
    EXPECT_EQ(Points(0), (std::vector<XY>{{65, 10}, {-15, 10}, {-15, 0}}));
    // A quarter turn anticlockwise on screen: what lay right of the centre now lies above it.
    Run("path_rotate(p, 90)");
    const std::vector<XY> turned = Points(0);
    const XY expected[] = {{30, -35}, {30, 45}, {20, 45}};
    ASSERT_EQ(turned.size(), 3u);
    for (size_t i = 0; i < turned.size(); ++i) {
        EXPECT_NEAR(turned[i].first, expected[i].first, 1e-4) << i;
        EXPECT_NEAR(turned[i].second, expected[i].second, 1e-4) << i;
    }
    Run("path_reverse(p)");
    EXPECT_NEAR(Value("path_get_point_x(p, 0)"), 20, 1e-4);
    EXPECT_NEAR(Value("path_get_point_y(p, 2)"), -35, 1e-4);
    // Closed, as a new path is: the leg back to the first point counts.
    EXPECT_NEAR(Value("path_get_length(p)"), 10 + 80 + std::sqrt(10.0 * 10 + 80 * 80), 1e-3);
}

TEST_F(PathFunctions, PathsAreDuplicatedAssignedAndAppended) {
    Run("a = path_add(); path_set_closed(a, 0); path_add_point(a, 0, 0, 100); path_add_point(a, 10, 0, 100)");
    EXPECT_EQ(Run("b = path_duplicate(a); return b"), "1");
    EXPECT_EQ(Run("return path_get_name(b) + string(path_get_closed(b)) + string(path_get_length(b))"),
              "'__newpath1010'");
    EXPECT_EQ(Run("return string(path_duplicate(99)) + string(path_duplicate(-1))"), "'-1-1'");
    // The copy is a path of its own.
    Run("path_change_point(b, 1, 0, 20, 100)");
    EXPECT_EQ(Value("path_get_length(a)"), 10);
    EXPECT_EQ(Value("path_get_length(b)"), 20);

    // Appended, also to itself (from the points it had before).
    Run("path_append(a, b)");
    EXPECT_EQ(Points(0), (std::vector<XY>{{0, 0}, {10, 0}, {0, 0}, {0, 20}}));
    EXPECT_EQ(Value("path_get_length(a)"), 40);
    Run("path_append(a, a); path_append(a, 99); path_append(99, a)");
    EXPECT_EQ(Value("path_get_number(a)"), 8);
    EXPECT_EQ(Value("path_get_length(a)"), 100);

    // Assigned: over a path, into a deleted slot (a new path named ""), never onto itself.
    EXPECT_EQ(Value("path_assign(b, a)"), 1);
    EXPECT_EQ(Points(1), Points(0));
    EXPECT_EQ(Value("path_get_closed(b)"), 0);
    EXPECT_EQ(Value("path_assign(a, a)"), 0);
    EXPECT_TRUE(Reported("ERROR: Can not assign a path to itself!"));
    EXPECT_EQ(Run("return string(path_assign(a, 99)) + string(path_assign(2, a)) + string(path_assign(-1, a))"),
              "'000'");
    EXPECT_EQ(LastError(), "");
    Run("path_delete(b)");
    EXPECT_EQ(Value("path_assign(b, a)"), 1);
    EXPECT_EQ(Run("return path_get_name(b) + string(path_get_length(b))"), "'100'");

    // Points inserted anywhere from the first to after the last, deleted by index; out of range, nothing.
    Run("path_clear_points(b); path_add_point(b, 1, 1, 100); path_insert_point(b, 0, 0, 0, 100); "
        "path_insert_point(b, 2, 2, 2, 100); path_insert_point(b, 4, 9, 9, 100); path_insert_point(b, -1, 9, 9, 100)");
    EXPECT_EQ(Points(1), (std::vector<XY>{{0, 0}, {1, 1}, {2, 2}}));
    Run("path_delete_point(b, 1); path_delete_point(b, 2); path_delete_point(b, -1); path_change_point(b, 2, 5, 5, 5)");
    EXPECT_EQ(Points(1), (std::vector<XY>{{0, 0}, {2, 2}}));
    // Cleared: no points and no length, the settings kept.
    Run("path_set_kind(b, 1); path_set_precision(b, 6); path_clear_points(b)");
    EXPECT_EQ(Run("return string(path_get_number(b)) + string(path_get_length(b)) + string(path_get_kind(b)) + "
                  "string(path_get_closed(b)) + string(path_get_precision(b))"),
              "'00106'");
}

// Routes written into paths made at run time, then followed.
TEST_F(PathFunctions, MotionPlanningWritesIntoPathsMadeAtRunTime) {
    Run("p = path_add(); g = mp_grid_create(0, 0, 3, 3, 32, 32)");
    EXPECT_EQ(Value("mp_grid_path(g, p, 16, 16, 80, 80, 1)"), 1);
    EXPECT_EQ(Points(0), (std::vector<XY>{{16, 16}, {48, 48}, {80, 80}}));
    EXPECT_EQ(Run("return string(path_get_kind(p)) + string(path_get_closed(p))"), "'00'");

    // From the instance at (0, 0) in steps of 10; the instance stays where it was.
    EXPECT_EQ(Value("mp_linear_path(p, 40, 0, 10, 0)"), 1);
    EXPECT_EQ(Points(0), (std::vector<XY>{{0, 0}, {10, 0}, {20, 0}, {30, 0}, {40, 0}}));
    EXPECT_EQ(At(), XY(0, 0));
    Run("path_start(p, 15, 0, 1)");
    DoAStep();
    DoAStep();
    EXPECT_EQ(At(), XY(30, 0));

    // A route into a path that is gone is reported and writes nothing.
    Run("path_delete(p)");
    EXPECT_EQ(Value("mp_grid_path(g, p, 16, 16, 80, 80, 1)"), 0);
    EXPECT_TRUE(Reported("Trying to assign to a non-existing path."));
    Run("mp_grid_destroy(g)");
}

// Every built-in on a path that does not exist (never made, deleted, a negative index) changes nothing and
// gives 0, except the name ("<undefined>") and the copy (-1).
TEST_F(PathFunctions, PathsThatDoNotExistChangeNothingAndGiveDefaults) {
    Run("p = path_add(); path_add_point(p, 3, 4, 100); gone = path_add(); path_delete(gone)");
    const char* const queries[] = {"path_exists",    "path_get_number", "path_get_kind",     "path_get_closed",
                                   "path_get_precision", "path_get_length", "path_get_center_x", "path_get_center_y"};
    const char* const pointQueries[] = {"path_get_point_x", "path_get_point_y", "path_get_point_speed",
                                        "path_get_x",       "path_get_y",       "path_get_speed"};
    for (const char* missing : {"gone", "7", "-1"}) {
        const std::string m = missing;
        Run("path_add_point(" + m + ", 1, 1, 100); path_insert_point(" + m + ", 0, 1, 1, 100); path_change_point(" + m +
            ", 0, 1, 1, 100); path_delete_point(" + m + ", 0); path_clear_points(" + m + "); path_set_kind(" + m +
            ", 1); path_set_closed(" + m + ", 0); path_set_precision(" + m + ", 2); path_append(" + m +
            ", p); path_shift(" + m + ", 1, 1); path_mirror(" + m + "); path_flip(" + m + "); path_rotate(" + m +
            ", 45); path_rescale(" + m + ", 2, 2); path_reverse(" + m + "); path_delete(" + m + ")");
        for (const char* query : queries)
            EXPECT_EQ(Run(std::string("return ") + query + "(" + m + ")"), "0") << query << " " << m;
        for (const char* query : pointQueries)
            EXPECT_EQ(Run(std::string("return ") + query + "(" + m + ", 0)"), "0") << query << " " << m;
        EXPECT_EQ(Run("return path_get_name(" + m + ")"), "'<undefined>'");
        EXPECT_EQ(Run("return path_duplicate(" + m + ")"), "-1");
        EXPECT_EQ(Run("return path_add_point(" + m + ", 1, 1, 100)"), "0");
    }
    EXPECT_EQ(Path_Count(), 2);
    EXPECT_EQ(Points(0), (std::vector<XY>{{3, 4}}));
    EXPECT_EQ(LastError(), "");
}

} // namespace
