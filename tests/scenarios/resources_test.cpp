// The runner on games that make and change resources while they run: fonts from a font file and from
// sprites, parents and handlers of objects, rooms made and copied, a room's stretched background,
// timelines, and scripts called by index.
#include "saved_frame.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

ScenarioObject Object(const std::string& name, std::vector<ScenarioEvent> events, int parent = -100) {
    ScenarioObject o;
    o.name = name;
    o.events = std::move(events);
    o.parent = parent;
    return o;
}

ScenarioRoom Room(const std::string& name, std::vector<ScenarioInstance> instances, const std::string& code = "") {
    ScenarioRoom room;
    room.name = name;
    room.instances = std::move(instances);
    room.code = code;
    return room;
}

// Runs the game, which must end by itself with exit code 0; the lines it wrote.
std::vector<std::string> LogOf(const ScenarioGame& game) {
    const ScenarioRun run = RunScenario(game);
    EXPECT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    return LinesStartingWith(run.log, "");
}

using Lines = std::vector<std::string>;

// A font file of the machine (a Debian font package the project does not install); empty without one.
std::string MachineFont() {
    std::ifstream in("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return in ? bytes.str() : "";
}

TEST(Resources, AFontFileInTheGameFolderDrawsText) {
    const std::string font = MachineFont();
    if (font.empty()) GTEST_SKIP() << "no font file at /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    ScenarioGame game = FrameGame(R"(
        draw_clear(c_black);
        draw_set_colour(c_white);
        draw_set_font(global.f);
        draw_text(2, 2, "HI");
    )");
    game.rooms[0].code += R"(
        global.f = font_add("fonts/sans.ttf", 24, false, false, 32, 127);
        show_debug_message(font_get_fontname(global.f) + " " + string(font_get_size(global.f)));
    )";
    const SavedFrame f = RunFrame(game, {{"fonts/sans.ttf", font}});
    ASSERT_EQ(f.pixels.size(), 64u * 48u) << f.run.log;
    EXPECT_EQ(LinesStartingWith(f.run.log, ""), Lines{"fonts/sans.ttf 24"});
    // "HI" at 24 pixels: bright stems on the left of the frame, nothing on its right.
    int lit = 0, litRight = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            if (f.At(x, y) < 0x808080) continue;
            ++lit;
            if (x >= 40) ++litRight;
        }
    EXPECT_GT(lit, 100);
    EXPECT_EQ(litRight, 0);
}

TEST(Resources, SpriteFontsDrawTheirFramesInGlyphOrder) {
    ScenarioGame game = FrameGame(R"(
        draw_clear(c_black);
        draw_set_colour(c_white);
        draw_set_font(global.f);
        draw_text(0, 0, "cab");
        draw_set_font(global.g);
        draw_text(0, 8, "bca");
    )");
    // Frames of 4 x 4: red, green, blue.
    GameSprite glyphs;
    glyphs.name = "sGlyphs";
    for (uint32_t rgb : {0xFF0000u, 0x00FF00u, 0x0000FFu}) {
        GameImage frame{4, 4, {}};
        for (int i = 0; i < 16; ++i)
            frame.rgba.insert(frame.rgba.end(), {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), 255});
        glyphs.frames.push_back(frame);
    }
    game.sprites = {glyphs};
    game.rooms[0].code += R"(
        global.f = font_add_sprite_ext(sGlyphs, "abc", false, 0);
        global.g = font_add_sprite(sGlyphs, ord("a"), false, 2);
        show_debug_message(string(font_get_first(global.f)) + " " + string(font_get_last(global.f)));
    )";
    const SavedFrame f = RunFrame(game);
    ASSERT_EQ(f.pixels.size(), 64u * 48u) << f.run.log;
    // The first character, a, and the last, one past the space added after c.
    EXPECT_EQ(LinesStartingWith(f.run.log, ""), Lines{"32 36"});
    const uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF;
    const uint32_t row0[] = {blue, red, green, 0};
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(f.At(x, 1), row0[x / 4]) << "x " << x;
    // Six pixels a glyph: four of the frame and the separation of two.
    const uint32_t row1[] = {green, green, green, green, 0, 0, blue, blue, blue, blue, 0, 0, red, red, red, red, 0};
    for (int x = 0; x < 17; ++x)
        EXPECT_EQ(f.At(x, 9), row1[x]) << "x " << x;
}

TEST(Resources, FontsReadBackAndAreDeleted) {
    ScenarioGame game;
    game.rooms.push_back(Room("r0", {}, R"(
        f = font_add("missing.ttf", 12, true, false, 40, 90);
        show_debug_message(font_get_name(f) + " " + font_get_fontname(f) + " " + string(font_get_size(f)) + " "
            + string(font_get_bold(f)) + string(font_get_italic(f)) + " " + string(font_get_first(f)) + " "
            + string(font_get_last(f)));
        show_debug_message(string(font_delete(f)) + string(font_exists(f)) + string(font_delete(f)) + " ["
            + font_get_name(f) + "] " + string(font_get_size(f)));
        game_end();
    )"));
    EXPECT_EQ(LogOf(game), (Lines{"__newfont0 missing.ttf 12 10 40 90", "100 [] -1"}));
}

// A step handler on three levels, each passing on to its parent; a lone object given a parent, and a
// handler in the middle cleared.
TEST(Resources, ParentsChangeAtOnceAndInheritedEventsClimbThreeLevels) {
    ScenarioGame game;
    game.objects = {
        Object("oTop", {{3, 0, "show_debug_message(\"top for \" + string(object_index));"}}),
        Object("oMiddle", {{3, 0, "show_debug_message(\"middle\"); event_inherited();"}}, 0),
        Object("oBottom",
               {{3, 0,
                 "global.step += 1; show_debug_message(\"step \" + string(global.step)); event_inherited();"
                 "if (global.step == 1) object_set_parent(oLone, oTop);"
                 "if (global.step == 2) object_event_clear(oMiddle, ev_step, ev_step_normal);"
                 "if (global.step == 4) game_end();"}},
               1),
        Object("oLone", {}),
    };
    game.rooms.push_back(Room("r0", {{0, 0, 2, 100001, ""}, {0, 0, 3, 100002, ""}}, "global.step = 0;"));
    // oBottom is object 2, oLone object 3.
    EXPECT_EQ(LogOf(game), (Lines{"step 1", "middle", "top for 2", "step 2", "middle", "top for 2", "top for 3",
                                  "step 3", "top for 2", "top for 3", "step 4", "top for 2"}));
}

// A room made while the game runs, with an instance, a tile, a caption and creation code; a copy of it
// and a room assigned from it give the same; a room whose records were cleared has neither.
TEST(Resources, RoomsMadeAtRunTimeAreEnteredWithTheirInstancesTilesAndCode) {
    ScenarioGame game;
    GameBackground tiles;
    tiles.name = "bTiles";
    tiles.image = {16, 16, std::vector<uint8_t>(16 * 16 * 4, 0xFF)};
    game.backgrounds = {tiles};
    const std::string report =
        "show_debug_message(room_caption + ': ' + string(instance_number(oThing)) + ' thing, tile ' + "
        "string(tile_exists(tile_find(5, 6, false))));"
        "global.next += 1; if (global.next < 4) room_goto(global.rooms[global.next]); else game_end();";
    game.objects = {
        Object("oMaker",
               {{0, 0,
                 "var r; r = room_add(); room_set_caption(r, \"made\");"
                 "room_instance_add(r, 10, 20, oThing);"
                 "room_tile_add(r, bTiles, 0, 0, 8, 8, 5, 6, 100, 1, 1, $FFFFFFFF);"
                 "room_set_code(r, \"" + report + "\");"
                 "global.rooms[0] = r; global.rooms[1] = room_duplicate(r);"
                 "global.rooms[2] = room_add(); room_assign(global.rooms[2], r);"
                 "global.rooms[3] = room_add(); room_set_caption(global.rooms[3], \"cleared\");"
                 "room_instance_add(global.rooms[3], 1, 1, oThing); room_instance_clear(global.rooms[3]);"
                 "room_tile_add(global.rooms[3], bTiles, 0, 0, 8, 8, 5, 6, 0, 1, 1, $FFFFFFFF);"
                 "room_tile_clear(global.rooms[3]); room_set_code(global.rooms[3], \"" + report + "\");"
                 "global.next = 0; room_goto(r);"}}),
        Object("oThing", {{0, 0, "show_debug_message(\"thing at \" + string(x) + \" \" + string(y));"}}),
    };
    game.rooms.push_back(Room("r0", {{0, 0, 0, 100001, ""}}));
    EXPECT_EQ(LogOf(game), (Lines{"thing at 10 20", "made: 1 thing, tile 1", "thing at 10 20", "made: 1 thing, tile 1",
                                  "thing at 10 20", "made: 1 thing, tile 1", "cleared: 0 thing, tile 0"}));
}

// A background stretched over a room wider than it is tall, and wider than the image is tall: each scale
// is the room's side over the image's own, as the game reads them and as the saved frame shows them.
TEST(Resources, AStretchedRoomBackgroundCoversTheRoomAcrossAndDown) {
    ScenarioGame game = FrameGame("", 64, 32);
    // 8 x 16 in quarters of 4 x 8: red, green above blue, yellow.
    const uint32_t quarters[2][2] = {{0xFF0000, 0x00FF00}, {0x0000FF, 0xFFFF00}};
    GameBackground image;
    image.name = "bQuarters";
    image.image = {8, 16, {}};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x) {
            const uint32_t rgb = quarters[y / 8][x / 4];
            image.image.rgba.insert(image.image.rgba.end(), {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), 255});
        }
    game.backgrounds = {image};
    GameRoomBackground slot;
    slot.background = 0;
    slot.htiled = slot.vtiled = false;
    slot.stretch = true;
    game.rooms[0].backgrounds = {slot};
    game.rooms[0].code += "show_debug_message(string(background_xscale[0]) + \" \" + string(background_yscale[0]));";
    const SavedFrame f = RunFrame(game);
    ASSERT_EQ(f.pixels.size(), 64u * 32u) << f.run.log;
    EXPECT_EQ(LinesStartingWith(f.run.log, ""), Lines{"8 2"});
    // Each quarter of the image covers a quarter of the room, 32 x 16.
    std::string wrong;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            if (f.At(x, y) != quarters[y / 16][x / 32] && wrong.size() < 200)
                wrong += "(" + std::to_string(x) + ", " + std::to_string(y) + ") ";
    EXPECT_EQ(wrong, "");
}

// Moments added with scripts run at their steps; a cleared moment, a replaced one, a cleared timeline and
// a deleted one behave as told, and a second delete is reported.
TEST(Resources, TimelinesMadeAtRunTimeRunTheirScriptsAtTheirSteps) {
    ScenarioGame game;
    game.scripts = {{"sA", "show_debug_message(\"A \" + string(global.f));"},
                    {"sB", "show_debug_message(\"B \" + string(global.f));"}};
    game.objects = {Object(
        "oRunner",
        {{0, 0,
          "global.f = 0; t = timeline_add(); timeline_moment_add_script(t, 3, sB);"
          "timeline_moment_add_script(t, 1, sA); timeline_moment_add_script(t, 5, sA);"
          "timeline_index = t; timeline_position = 0; timeline_speed = 1; timeline_running = true;"},
         {3, 1, "global.f += 1;"},
         {3, 0,
          "if (global.f == 3) timeline_moment_clear(t, 3);"
          "if (global.f == 5) timeline_moment_add_script(t, 5, sB);"
          "if (global.f == 7) { timeline_clear(t); timeline_moment_add_script(t, 8, sA); }"
          "if (global.f == 10) { timeline_delete(t); timeline_delete(t); }"
          "if (global.f == 11) { show_debug_message(\"next \" + string(timeline_add() - t)); game_end(); }"}})};
    game.rooms.push_back(Room("r0", {{0, 0, 0, 100001, ""}}));
    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "A "), (Lines{"2", "9"})) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "B "), (Lines{"6"})) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "next "), (Lines{"1"})) << run.log;
    EXPECT_NE(run.log.find("Trying to delete non-existing timeline."), std::string::npos) << run.log;
}

TEST(Resources, ScriptExecuteCallsAScriptByIndexWithItsArguments) {
    ScenarioGame game;
    game.scripts = {{"sSum",
                     "var s, i; s = 0; for (i = 0; i < argument_count; i += 1) s += argument[i];"
                     "show_debug_message(string(argument_count) + \" arguments\"); return s;"}};
    game.rooms.push_back(Room("r0", {}, R"(
        show_debug_message(string(script_execute(sSum)));
        show_debug_message(string(script_execute(sSum + 0.2, 7)));
        show_debug_message(string(script_execute(sSum, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15)));
        show_debug_message("then");
        script_execute(5);
        show_debug_message("not reached");
    )"));
    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 255) << run.log;
    const Lines lines = LinesStartingWith(run.log, "");
    ASSERT_GE(lines.size(), 7u) << run.log;
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 7),
              (Lines{"0 arguments", "0", "1 arguments", "7", "15 arguments", "120", "then"}));
    EXPECT_EQ(run.log.find("not reached"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("call to non-existent script"), std::string::npos) << run.log;
}

} // namespace
