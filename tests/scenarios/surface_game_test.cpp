// A game that draws into a surface, draws the surface, reads it back, saves it and asks for textures,
// all from its own source code in the runner.
#include "scenario.h"

#include "graphics/image/image_decode.h"

#include <gtest/gtest.h>

namespace {

std::string Say(const std::string& expression) {
    return "show_debug_message(" + expression + ");";
}

TEST(SurfaceGame, ASurfaceIsDrawnIntoDrawnReadSavedAndFreedFromGameCode) {
    ScenarioGame game;
    GameSprite square;
    square.name = "sq";
    square.frames = {{4, 4, std::vector<uint8_t>(4 * 4 * 4, 0xff)}};
    game.sprites = {square};
    ScenarioObject painter;
    painter.name = "oPainter";
    painter.events = {
        {8, 0,
         "s = surface_create(8, 4); surface_set_target(s); draw_clear(255); draw_set_colour(65280);"
         "draw_rectangle(0, 0, 3, 3, 0); surface_reset_target();" +
             Say("string(surface_getpixel(s, 1, 1)) + \" \" + string(surface_getpixel(s, 6, 1)) + \" \" + "
                 "string(surface_get_width(s))") +
             "draw_surface_stretched(s, 0, 0, 16, 8);" +
             Say("string(draw_getpixel(2, 2)) + \" \" + string(draw_getpixel(10, 2))") +
             "surface_save(s, \"surf.png\"); t = surface_get_texture(s);" +
             Say("string(texture_exists(t)) + \" \" + string(texture_get_width(t))") +
             "a = sprite_get_uvs(0, 0);" +
             Say("string(sprite_get_texture(0, 0) >= 1048576) + \" \" + string(a[2] > a[0])") +
             "surface_free(s);" + Say("string(surface_exists(s))") + "game_end();"}};
    game.objects = {painter};
    ScenarioRoom room;
    room.name = "rPaint";
    room.width = 64;
    room.height = 48;
    room.instances = {{0, 0, 0, 100001, ""}};
    game.rooms = {room};

    const ScenarioRun run = RunDataFile(BuildScenarioGame(game), {}, 20, {}, {"data/Game/surf.png"});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, ""), (std::vector<std::string>{"65280 255 8", "65280 255", "1 1", "1 1", "0"}))
        << run.log;
    ASSERT_EQ(run.files.size(), 1u);
    const std::string& png = run.files[0].second;
    int w = 0, h = 0;
    const uint32_t* pixels = ReadPNG(reinterpret_cast<const uint8_t*>(png.data()), png.size(), w, h);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(pixels[1 * 8 + 1], 0xFF00FF00u);
    EXPECT_EQ(pixels[1 * 8 + 6], 0xFFFF0000u);
    ReadPNG_Free();
}

} // namespace
