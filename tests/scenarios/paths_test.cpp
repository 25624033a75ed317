// The runner on small games whose instances follow the game's paths and paths made at run time, and
// plan routes on grids.
#include "scenario.h"

#include "graphics/image/image_decode.h"

#include <gtest/gtest.h>

namespace {

ScenarioObject Object(const std::string& name, std::vector<ScenarioEvent> events) {
    ScenarioObject o;
    o.name = name;
    o.events = std::move(events);
    return o;
}

// The end step: the instance's position logged, and after that many steps the game ended (with other
// code run before the test).
ScenarioEvent LogPositions(int steps, const std::string& also = "") {
    return {3, 2,
            "show_debug_message(string(x) + \" \" + string(y)); global.steps += 1;" + also + "if (global.steps == " +
                std::to_string(steps) + ") game_end();"};
}

// The lines the game logged, once it has ended by itself.
std::vector<std::string> LoggedLines(const ScenarioGame& game) {
    const ScenarioRun run = RunScenario(game);
    EXPECT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    return LinesStartingWith(run.log, "");
}

ScenarioRoom RoomWith(int object) {
    ScenarioRoom room;
    room.name = "rPaths";
    room.width = 64;
    room.height = 48;
    room.instances = {{5, 5, object, 100001, ""}};
    return room;
}

// Along the path's first leg at full speed, then slowing towards its last point (speed 50); the end of
// the path stops the instance there and raises its event in the motion stage, before the end step.
TEST(Paths, AnInstanceFollowsAPathStepByStep) {
    ScenarioGame game;
    game.paths.push_back({"pTrack", 0, false, 4, {{0, 0, 100}, {128, 0, 100}, {128, 128, 50}}});
    game.objects.push_back(Object(
        "oRunner", {{0, 0, "path_start(pTrack, 16, 0, true); global.steps = 0;"},
                    {7, 8, "show_debug_message(\"end \" + string(path_index));"},
                    LogPositions(20)}));
    game.rooms.push_back(RoomWith(0));
    EXPECT_EQ(LoggedLines(game),
              (std::vector<std::string>{"16 0",       "32 0",       "48 0",       "64 0",       "80 0",
                                        "96 0",       "112 0",      "128 0",      "128 16",     "128 31",
                                        "128 45.06",  "128 58.25",  "128 70.61",  "128 82.19",  "128 93.06",
                                        "128 103.24", "128 112.79", "128 121.74", "end -1",     "128 128",
                                        "128 128"}));
}

// A grid with one blocked cell, drawn every frame and saved from the screen: the blocked cell red, the
// others green. The route found on it goes round the blocked cell, and the instance follows it.
TEST(Paths, AGridIsDrawnAndARouteOnItFollowed) {
    ScenarioGame game;
    game.paths.push_back({"pRoute", 0, false, 4, {}});
    game.objects.push_back(Object(
        "oPlanner",
        {{0, 0,
          "global.grid = mp_grid_create(0, 0, 4, 3, 16, 16); mp_grid_add_cell(global.grid, 1, 1);"
          "global.steps = 0; show_debug_message(mp_grid_path(global.grid, pRoute, 8, 24, 40, 24, false));"
          "path_start(pRoute, 16, 0, true);"},
         {8, 0, "mp_grid_draw(global.grid);"},
         {3, 2,
          "show_debug_message(string(x) + \" \" + string(y)); global.steps += 1;"
          "if (global.steps == 4) { screen_save(\"grid.png\"); game_end(); }"}}));
    game.rooms.push_back(RoomWith(0));
    const ScenarioRun run = RunDataFile(BuildScenarioGame(game), {}, 20, {}, {"data/Game/grid.png"});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, ""), (std::vector<std::string>{"1", "8 8", "24 8", "40 8", "40 24"}));
    ASSERT_EQ(run.files.size(), 1u) << run.log;
    const std::string& png = run.files[0].second;
    int width = 0, height = 0;
    const uint32_t* pixels = ReadPNG(reinterpret_cast<const uint8_t*>(png.data()), png.size(), width, height);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(width, 64);
    ASSERT_EQ(height, 48);
    // The later cell covers the shared edge: the blocked cell is exactly the pixels 16..31 each way.
    int red = 0, green = 0, redLeft = 64, redTop = 48, redRight = -1, redBottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t colour = pixels[y * width + x] & 0xFFFFFFu;
            if (colour == 0x008000u) ++green;
            if (colour != 0xFF0000u) continue;
            ++red;
            redLeft = std::min(redLeft, x);
            redTop = std::min(redTop, y);
            redRight = std::max(redRight, x);
            redBottom = std::max(redBottom, y);
        }
    }
    ReadPNG_Free();
    EXPECT_EQ(red, 256);
    EXPECT_EQ((std::vector<int>{redLeft, redTop, redRight, redBottom}), (std::vector<int>{16, 16, 31, 31}));
    EXPECT_EQ(green, 64 * 48 - 256);
}

// A path made point by point as the game runs (legs of 50 and 100 pixels, the last point at half
// speed), measured, followed at 25 pixels a step and deleted under its follower, which then stays where
// it is; a copy turned a quarter about its centre; a straight route planned into another new path.
TEST(Paths, AnInstanceFollowsAPathMadeAtRunTime) {
    ScenarioGame game;
    game.objects.push_back(Object(
        "oRunner",
        {{0, 0,
          "p = path_add(); path_set_closed(p, false);"
          "path_add_point(p, 0, 0, 100); path_add_point(p, 30, 40, 100); path_add_point(p, 30, 140, 50);"
          "show_debug_message(path_get_name(p) + \" \" + string(path_get_length(p)) + \" \""
          "  + string(path_get_x(p, 0.5)) + \" \" + string(path_get_y(p, 0.5)) + \" \" + string(path_get_speed(p, 0.5)));"
          "q = path_duplicate(p); path_rotate(q, 90);"
          "show_debug_message(string(path_get_point_x(q, 0)) + \" \" + string(path_get_point_y(q, 0)));"
          "r = path_add();"
          "show_debug_message(string(mp_linear_path(r, 45, 5, 10, false)) + \" \" + string(path_get_number(r)) + \" \""
          "  + string(path_get_length(r)));"
          "path_start(p, 25, 0, true); global.steps = 0;"},
         LogPositions(5, "if (global.steps == 3) path_delete(p);")}));
    game.rooms.push_back(RoomWith(0));
    EXPECT_EQ(LoggedLines(game), (std::vector<std::string>{"__newpath0 150 30 65 87.50", "-55 85", "1 5 40", "15 20",
                                                           "30 40", "30 65", "30 65", "30 65"}));
}

} // namespace
