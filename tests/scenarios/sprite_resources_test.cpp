// Games that add, replace, copy, merge, grab and save sprites and backgrounds from their own code, checked
// on the frames they save, the files they write and the messages they show.
#include "saved_frame.h"
#include "scenario.h"

#include "graphics/image_samples.h"
#include "support/http_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;

// A path outside every folder the game may write to.
constexpr char kOutside[] = "/tmp/sprite_resources_outside.png";

std::string Say(const std::string& expression) {
    return "show_debug_message(" + expression + ");";
}

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}


// 96 x 32: red, green and blue columns 32 pixels wide.
std::string Strip() {
    return Text(EncodePNGWords(96, 32, ColumnWords({kRed, kGreen, kBlue}, 32, 32)));
}

// Adds the code as the create event of the game's first object.
void OnCreate(ScenarioGame& game, const std::string& code) {
    game.objects[0].events.push_back({0, 0, code});
}

// Strips cut into frames from the game folder and the save area, a replaced sprite, a copy of a sprite of
// the data file drawn like it, a merge, alpha from another sprite, grabs of the screen and of a surface
// into sprites and backgrounds, and a sprite and a background saved into the save area.
TEST(SpriteResources, SpritesAndBackgroundsMadeAtRunTimeDrawAndSave) {
    ScenarioGame game = FrameGame(
        "draw_clear(c_white);"
        "if (!grabbed) {"
        "  grabbed = 1; draw_set_colour(c_fuchsia); draw_rectangle(140, 100, 149, 109, 0);"
        "  sg = sprite_create_from_screen(140, 100, 10, 10, 0, 0, 0, 0);"
        "  bgs = background_create_from_screen(140, 100, 5, 5, 0, 0);"
        "  sf = surface_create(16, 16); surface_set_target(sf); draw_clear(c_yellow); surface_reset_target();"
        "  ss = sprite_create_from_surface(sf, 0, 0, 8, 8, 0, 0, 0, 0);"
        "  bsf = background_create_from_surface(sf, 0, 0, 4, 4, 0, 0);"
        "  sprite_add_from_surface(sg, sf, 0, 0, 16, 16, 0, 0);"
        "  draw_sprite(a, 1, 0, 0); sprite_add_from_screen(sg, 0, 0, 32, 32, 0, 0);"
        "  sprite_index = sg;" +
            Say("\"grabs \" + string(image_number) + \" \" + string(sprite_width) + \" \" + string(sprite_height)") +
            "  sprite_index = -1; surface_free(sf);"
            "}"
            "draw_sprite(a, 1, 0, 0); draw_sprite(c, 4, 40, 0); draw_sprite(c, 1, 64, 0); draw_sprite(r, 0, 90, 0);"
            "draw_sprite(0, 0, 100, 0); draw_sprite(d, 0, 110, 0); draw_sprite(m, 7, 120, 0);"
            "draw_sprite(al, 0, 0, 40); draw_background(bg, 40, 40);"
            "draw_sprite(sg, 0, 60, 60); draw_sprite(sg, 1, 72, 60); draw_sprite(sg, 2, 84, 60);"
            "draw_background(bgs, 60, 75); draw_sprite(ss, 0, 72, 75); draw_background(bsf, 84, 75);",
        160, 120);
    OnCreate(game,
             "grabbed = 0;"
             "a = sprite_add(\"strip.png\", 3, 0, 0, 0, 0);"
             "b = sprite_add(\"strip.png\", 0, 0, 0, 0, 0);"
             "c = sprite_add(\"five.png\", 5, 0, 0, 0, 0);"
             "sprite_index = a; s = string(image_number) + \" \" + string(sprite_width) + \" \" + string(sprite_height);"
             "sprite_index = b; s += \" \" + string(image_number) + \" \" + string(sprite_width);"
             "sprite_index = c; s += \" \" + string(image_number) + \" \" + string(sprite_width);" +
                 Say("\"strips \" + s") +
                 "r = sprite_add(\"strip.png\", 3, 0, 0, 0, 0);"
                 "replaced = sprite_replace(r, \"square.png\", 1, 0, 0, 0, 0);"
                 "sprite_index = r;" +
                 Say("\"replaced \" + string(replaced) + \" \" + string(image_number) + \" \" + string(sprite_width)") +
                 "d = sprite_duplicate(0);"
                 "m = sprite_duplicate(a); sprite_merge(m, c);"
                 "sprite_index = m;" +
                 Say("\"merged \" + string(image_number) + \" \" + string(sprite_width)") +
                 "al = sprite_duplicate(a); g = sprite_add(\"grey.png\", 1, 0, 0, 0, 0);"
                 "sprite_set_alpha_from_sprite(al, g);"
                 "bg = background_create_color(6, 4, c_lime);"
                 "sprite_save(a, 2, \"saved/sprite.png\"); background_save(bg, \"saved/background.png\");"
                 "sprite_index = -1;" +
                 Say("\"names \" + sprite_name(a) + \" \" + sprite_name(0) + \" [\" + sprite_name(99) + \"] \" + "
                     "string(sprite_exists(d)) + string(sprite_exists(99)) + string(background_exists(bg))"));
    // The data file's sprite: a transparent top row, red on the left and half-transparent blue on the right.
    GameSprite square;
    square.name = "sq";
    GameImage image{8, 8, {}};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const std::vector<uint8_t> p = y == 0 ? std::vector<uint8_t>{0, 0, 0, 0}
                                           : x < 4 ? std::vector<uint8_t>{255, 0, 0, 255}
                                                   : std::vector<uint8_t>{0, 0, 255, 128};
            image.rgba.insert(image.rgba.end(), p.begin(), p.end());
        }
    square.frames = {image};
    game.sprites = {square};
    // grey.png: bright as 128 on the left half, black on the right.
    std::vector<uint32_t> grey = ColumnWords({0xFF808080u, 0xFF000000u}, 16, 32);
    const SavedFrame f = RunFrame(
        game,
        {{"strip.png", Strip()},
         {"data/Game/five.png", Strip()},
         {"square.png", Text(EncodePNGWords(8, 8, std::vector<uint32_t>(64, 0xFFFFFF00u)))},
         {"grey.png", Text(EncodePNGWords(32, 32, grey))}},
        {"data/Game/saved/sprite.png", "data/Game/saved/background.png"});
    ASSERT_FALSE(f.run.timedOut) << f.run.console;
    ASSERT_EQ(f.width, 160) << f.run.log;
    EXPECT_EQ(LinesStartingWith(f.run.log, "strips "), std::vector<std::string>{"3 32 32 1 96 5 19"}) << f.run.log;
    EXPECT_EQ(LinesStartingWith(f.run.log, "replaced "), std::vector<std::string>{"1 1 8"});
    EXPECT_EQ(LinesStartingWith(f.run.log, "merged "), std::vector<std::string>{"8 32"});
    EXPECT_EQ(LinesStartingWith(f.run.log, "names "),
              std::vector<std::string>{"__newsprite1 sq [] 101"});
    EXPECT_EQ(LinesStartingWith(f.run.log, "grabs "), std::vector<std::string>{"3 10 10"});
    EXPECT_EQ(f.run.log.find("ERROR"), std::string::npos) << f.run.log;

    // Frame 1 of three: green; frames of 19 columns of five: frame 4 blue up to column 94, frame 1 red
    // for 13 columns then green.
    EXPECT_EQ(f.At(16, 16), 0x00FF00u);
    EXPECT_EQ(f.At(40, 10), 0x0000FFu);
    EXPECT_EQ(f.At(58, 31), 0x0000FFu);
    EXPECT_EQ(f.At(59, 10), 0xFFFFFFu);
    EXPECT_EQ(f.At(76, 10), 0xFF0000u);
    EXPECT_EQ(f.At(77, 10), 0x00FF00u);
    EXPECT_EQ(f.At(82, 10), 0x00FF00u);
    EXPECT_EQ(f.At(83, 10), 0xFFFFFFu);
    // The replaced sprite is the yellow square.
    EXPECT_EQ(f.At(90, 0), 0xFFFF00u);
    EXPECT_EQ(f.At(97, 7), 0xFFFF00u);
    EXPECT_EQ(f.At(98, 7), 0xFFFFFFu);
    // The copy of the data file's sprite draws pixel for pixel like it.
    EXPECT_EQ(f.At(101, 1), 0xFF0000u);
    EXPECT_NE(f.At(106, 1), 0xFFFFFFu);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(f.At(110 + x, y), f.At(100 + x, y)) << x << ", " << y;
    // The merged sprite's frame 7 is frame 4 of the five, blue, stretched to 32 x 32.
    EXPECT_EQ(f.At(120, 0), 0x0000FFu);
    EXPECT_EQ(f.At(151, 31), 0x0000FFu);
    // Red with alpha 128 on the left over white; nothing on the right.
    const uint32_t half = f.At(5, 50);
    EXPECT_EQ(half >> 16, 0xFFu);
    EXPECT_NEAR(static_cast<int>(half >> 8 & 0xFF), 127, 1);
    EXPECT_EQ(f.At(20, 50), 0xFFFFFFu);
    EXPECT_EQ(f.At(40, 40), 0x00FF00u);
    EXPECT_EQ(f.At(45, 43), 0x00FF00u);
    EXPECT_EQ(f.At(46, 43), 0xFFFFFFu);
    // The grabs: the screen's rectangle, the surface's yellow and the screen's green as frames of one
    // sprite of 10 x 10; a background of the screen and a sprite and a background of the surface.
    for (int x : {60, 69})
        EXPECT_EQ(f.At(x, 69), 0xFF00FFu) << x;
    EXPECT_EQ(f.At(70, 65), 0xFFFFFFu);
    EXPECT_EQ(f.At(72, 60), 0xFFFF00u);
    EXPECT_EQ(f.At(81, 69), 0xFFFF00u);
    EXPECT_EQ(f.At(84, 60), 0x00FF00u);
    EXPECT_EQ(f.At(93, 69), 0x00FF00u);
    EXPECT_EQ(f.At(64, 79), 0xFF00FFu);
    EXPECT_EQ(f.At(65, 79), 0xFFFFFFu);
    EXPECT_EQ(f.At(79, 82), 0xFFFF00u);
    EXPECT_EQ(f.At(87, 78), 0xFFFF00u);
    EXPECT_EQ(f.At(88, 78), 0xFFFFFFu);

    // The saved files: frame 2 of the strip, blue, and the green background.
    ASSERT_EQ(f.run.files.size(), 3u);
    for (const auto& [name, size, colour] :
         std::vector<std::tuple<std::string, int, uint32_t>>{{"data/Game/saved/sprite.png", 32, kBlue},
                                                             {"data/Game/saved/background.png", 6, kGreen}}) {
        const auto file = std::find_if(f.run.files.begin(), f.run.files.end(),
                                       [&wanted = name](auto& e) { return e.first == wanted; });
        ASSERT_NE(file, f.run.files.end()) << name;
        int w = 0, h = 0;
        const uint32_t* pixels =
            ReadPNG(reinterpret_cast<const uint8_t*>(file->second.data()), file->second.size(), w, h);
        ASSERT_NE(pixels, nullptr) << name;
        EXPECT_EQ(w, size) << name;
        EXPECT_EQ(pixels[0], colour) << name;
        EXPECT_EQ(pixels[static_cast<size_t>(w) * h - 1], colour) << name;
        ReadPNG_Free();
    }
}

// Sprites and a background added from URLs of a server on the loopback interface: each raises the
// asynchronous event with its map, and only the answer of status 200 with a PNG fills its resource.
TEST(SpriteResources, DownloadsRaiseTheImageLoadedEventWithTheirMaps) {
    const std::string strip = Strip();
    const std::string square = Text(EncodePNGWords(5, 3, std::vector<uint32_t>(15, kRed)));
    CTestHttpServer server([&](const std::string& path) {
        CTestHttpServer::Response r;
        if (path == "/strip.png") r.body = strip;
        if (path == "/back.png") r.body = square;
        if (path == "/missing.png") {
            r.status = 404;
            r.body = "not here";
        }
        return r;
    });
    const auto url = [&](const std::string& path) { return "\"" + server.Url(path) + "\""; };
    ScenarioGame game;
    ScenarioObject o;
    o.name = "oLoader";
    o.events = {
        {0, 0,
         "n = 0; steps = 0;"
         "s1 = sprite_add(" + url("/strip.png") + ", 3, 0, 0, 0, 0);"
         "s2 = sprite_add(" + url("/missing.png") + ", 1, 0, 0, 0, 0);"
         "s3 = sprite_add(" + url("/empty.png") + ", 1, 0, 0, 0, 0);"
         "b1 = background_add(" + url("/back.png") + ", 0, 0);"
         "sprite_index = s1;" +
             Say("\"added \" + string(s1) + string(s2) + string(s3) + string(b1) + \" \" + string(image_number)") +
             "sprite_index = -1;"},
        {7, 60,
         "i = ds_map_find_value(async_load, \"id\"); f = ds_map_find_value(async_load, \"filename\");"
         "line = f + \" \" + string(i) + \" \" + string(ds_map_find_value(async_load, \"http_status\")) + \" \" + "
         "string(ds_map_find_value(async_load, \"status\"));"
         "if (f == " + url("/back.png") + ") { background_index[0] = i; line += \" \" + string(background_width[0]); }"
         "else { sprite_index = i; line += \" \" + string(image_number) + \" \" + string(sprite_width); sprite_index = -1; }" +
             Say("\"async \" + line") + "n += 1; if (n == 4) game_end();"},
        {3, 0, "steps += 1; if (steps > 3600) game_end();"}}; // (a minute at most, on a busy machine)
    game.objects = {o};
    ScenarioRoom room;
    room.name = "rLoad";
    room.instances = {{0, 0, 0, 100001, ""}};
    game.rooms = {room};

    const ScenarioRun run = RunScenario(game, {}, 120);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(LinesStartingWith(run.log, "added "), std::vector<std::string>{"0120 0"}) << run.log;
    std::vector<std::string> events = LinesStartingWith(run.log, "async ");
    std::sort(events.begin(), events.end());
    const std::string root = server.Url("");
    EXPECT_EQ(events, (std::vector<std::string>{root + "/back.png 0 200 0 5", root + "/empty.png 2 200 -1 0 1",
                                                 root + "/missing.png 1 404 0 0 1", root + "/strip.png 0 200 0 3 32"}))
        << run.log;
}

// Files that are missing, are not images or are larger than an image may be; indices out of the table
// or of deleted sprites; a deleted sprite still held by an instance; a sprite merged into itself;
// negative counts, origins and sizes; saves named outside the save area.
TEST(SpriteResources, BadInputGivesTheResultOrAnErrorAndNothingHalfMade) {
    ScenarioGame game = FrameGame(
        "draw_clear(c_white); draw_sprite(held, 0, 0, 0);", 64, 48);
    OnCreate(game,
             "s = sprite_add(\"none.png\", 1, 0, 0, 0, 0) + sprite_add(\"text.png\", 1, 0, 0, 0, 0) + "
             "sprite_add(\"wide.png\", 1, 0, 0, 0, 0) + sprite_add(\"\", 1, 0, 0, 0, 0) + sprite_add(3, 1, 0, 0, 0, 0);"
             "b = background_add(\"none.png\", 0, 0) + background_add(\"text.png\", 0, 0) + "
             "background_add(\"wide.png\", 0, 0);" +
             Say("\"refused \" + string(s) + \" \" + string(b)") +
             "a = sprite_add(\"strip.png\", -3, 0, 0, -5, -7);"
             "sprite_index = a;" +
             Say("\"negative \" + string(a) + \" \" + string(image_number) + \" \" + string(sprite_width) + \" \" + "
                 "string(sprite_xoffset) + \" \" + string(sprite_yoffset)") +
             "many = sprite_add(\"strip.png\", 1000000, 0, 0, 0, 0);"
             "sprite_index = -1;" +
             Say("\"bad \" + string(many) + \" \" + string(sprite_duplicate(99)) + string(sprite_duplicate(-1)) + \" \" + "
                 "string(sprite_assign(99, a)) + string(sprite_assign(a, 99)) + "
                 "string(sprite_replace(99, \"strip.png\", 1, 0, 0, 0, 0)) + string(sprite_replace(a, \"none.png\", 1, 0, 0, 0, 0)) + "
                 "string(sprite_exists(-1)) + string(sprite_delete(99)) + \" [\" + sprite_name(-1) + \"]\"") +
             "m = sprite_duplicate(a); sprite_merge(m, m); sprite_merge(m, m); sprite_index = m;" +
             Say("\"self \" + string(image_number) + \" \" + string(sprite_width)") +
             "sprite_index = -1;"
             "held = sprite_duplicate(a); holder = instance_create(10, 10, oHolder); holder.sprite_index = held;"
             "gone = sprite_delete(held); again = sprite_delete(held);" +
             Say("\"deleted \" + string(gone) + string(again) + string(sprite_exists(held)) + \" \" + "
                 "string(sprite_duplicate(held)) + \" [\" + sprite_name(held) + \"]\"") +
             "g1 = sprite_create_from_screen(0, 0, -5, 10, 0, 0, 0, 0); g2 = background_create_from_screen(0, 0, 4, 0, 0, 0);"
             "c1 = background_create_color(-5, 4, c_red); c2 = background_create_color(100000, 100000, c_red);"
             "c3 = background_create_gradient(20000, 2, c_red, c_blue, 3);" +
             Say("\"sizes \" + string(g1) + \" \" + string(g2) + \" \" + string(background_exists(c1)) + \" \" + "
                 "string(c2) + \" \" + string(c3)") +
             "sprite_save(a, 0, \"../escaped.png\"); sprite_save(a, 0, \"" + std::string(kOutside) + "\");"
             "sprite_save(a, 0, \"inside/../kept.png\"); background_save(c1, \"../escaped_bg.png\");"
             "sprite_merge(a, 99); sprite_set_alpha_from_sprite(99, a); sprite_collision_mask(99, 0, 0, 0, 0, 0, 0, 0, 0);"
             "sprite_save(a, 0, \"\"); sprite_add_from_surface(a, 99, 0, 0, 4, 4, 0, 0);");
    ScenarioObject holder;
    holder.name = "oHolder";
    game.objects.push_back(holder);
    std::string wide = Text(EncodePNGWords(20000, 1, std::vector<uint32_t>(20000, kRed)));
    std::remove(kOutside);
    const SavedFrame f = RunFrame(game,
                                  {{"strip.png", Strip()}, {"text.png", "this is not an image"}, {"wide.png", wide}},
                                  {"../escaped.png", "../escaped_bg.png", "data/escaped.png", "data/Game/kept.png"});
    ASSERT_FALSE(f.run.timedOut) << f.run.console;
    EXPECT_EQ(f.run.exitCode, 0) << f.run.log;
    EXPECT_EQ(LinesStartingWith(f.run.log, "refused "), std::vector<std::string>{"-5 -3"}) << f.run.log;
    EXPECT_EQ(LinesStartingWith(f.run.log, "negative "), std::vector<std::string>{"0 1 96 -5 -7"});
    EXPECT_EQ(LinesStartingWith(f.run.log, "bad "), std::vector<std::string>{"-1 -1-1 000000 []"});
    EXPECT_EQ(LinesStartingWith(f.run.log, "self "), std::vector<std::string>{"4 96"});
    EXPECT_EQ(LinesStartingWith(f.run.log, "deleted "), std::vector<std::string>{"100 -1 []"});
    EXPECT_EQ(LinesStartingWith(f.run.log, "sizes "), std::vector<std::string>{"-1 -1 1 -1 -1"});
    for (const char* error :
         {"Trying to use non-existing sprite.", "Trying to draw non-existing sprite.", "Background size too large.",
          "Trying to save sprite to empty image file name.", "Trying to use non-existing surface."})
        EXPECT_NE(f.run.log.find(error), std::string::npos) << error;
    // The instance holding the deleted sprite draws nothing; the frame is white.
    ASSERT_EQ(f.width, 64);
    EXPECT_EQ(f.At(10, 10), 0xFFFFFFu);
    // Only the save that stays inside the save area is written.
    ASSERT_EQ(f.run.files.size(), 2u);
    EXPECT_EQ(f.run.files[1].first, "data/Game/kept.png");
    EXPECT_NE(access(kOutside, F_OK), 0);
}

} // namespace
