// The runner on a game whose particles come from the particle actions and the part_* built-ins: counts
// step by step, and a saved frame where the systems' depths interleave with an instance.
#include "scenario.h"

#include "graphics/image/image_decode.h"

#include <gtest/gtest.h>

namespace {

TEST(Particles, ActionsAndSystemsUpdateEachStepAndDrawByDepth) {
    ScenarioGame game;
    game.width = 96;
    game.height = 96;
    ScenarioObject setup;
    setup.name = "oSetup";
    setup.events = {
        {0, 0,
         // The action system lies below the instance: a red square at (30, 30), and four particles of
         // life 3 at (80, 80).
         "action_partsyst_create(10);"
         "action_parttype_create(0, pt_shape_square, -1, 1, 1, 0); action_parttype_color(0, 1, c_red, c_red, "
         "1, 1);"
         "action_parttype_life(0, 100, 100); action_partemit_create(0, ps_shape_rectangle, 30, 30, 30, 30);"
         "action_partemit_burst(0, 0, 1);"
         "action_parttype_create(1, pt_shape_pixel, -1, 1, 1, 0); action_parttype_life(1, 3, 3);"
         "action_partemit_create(1, ps_shape_rectangle, 80, 80, 80, 80); action_partemit_burst(1, 1, 4);"
         // A system of the script's own lies above it: a blue square at (66, 66).
         "ps = part_system_create(); part_system_depth(ps, -10); t = part_type_create();"
         "part_type_shape(t, pt_shape_square); part_type_color1(t, c_blue); part_particles_create(ps, 66, "
         "66, t, 1);"
         "global.steps = 0;"},
        {8, 0, "draw_set_colour(c_lime); draw_rectangle(20, 20, 40, 40, false);"},
        {3, 0,
         "show_debug_message(part_particles_count(0)); global.steps += 1;"
         "if (global.steps == 4) { screen_save(\"shot.png\"); game_end(); }"},
    };
    game.objects = {setup};
    ScenarioRoom room;
    room.name = "rParticles";
    room.width = 96;
    room.height = 96;
    room.instances = {{0, 0, 0, 100001, ""}};
    game.rooms.push_back(room);

    const ScenarioRun run = RunDataFile(BuildScenarioGame(game), {}, 20, {}, {"data/Game/shot.png"});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    // The four short-lived particles die in the third step's update.
    EXPECT_EQ(LinesStartingWith(run.log, ""), (std::vector<std::string>{"5", "5", "5", "1"})) << run.log;
    ASSERT_EQ(run.files.size(), 1u) << run.log;
    const std::string& png = run.files[0].second;
    int width = 0, height = 0;
    const uint32_t* pixels = ReadPNG(reinterpret_cast<const uint8_t*>(png.data()), png.size(), width, height);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(width, 96);
    const auto at = [&](int x, int y) { return pixels[y * width + x] & 0xFFFFFFu; };
    // The opaque part of a square of size 1 spans 50 pixels: 25 left of its centre to 24 right of it.
    EXPECT_EQ(at(5, 5), 0xFF0000u);
    EXPECT_EQ(at(45, 30), 0xFF0000u);
    EXPECT_EQ(at(54, 54), 0x0000FFu) << "above the red square";
    EXPECT_EQ(at(30, 30), 0x00FF00u) << "the instance above the action system";
    EXPECT_EQ(at(90, 90), 0x0000FFu);
    EXPECT_EQ(at(2, 2), 0u);
    EXPECT_EQ(at(93, 93), 0u);
    ReadPNG_Free();
}

} // namespace
