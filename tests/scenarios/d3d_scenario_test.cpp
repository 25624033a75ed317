// Games drawing 3D scenes, run headless: the frames they save against images worked out here, within a
// small tolerance where lighting or fog is involved and exactly elsewhere; a model loaded from a file of
// the game and saved again.
#include "saved_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using Vec = std::array<double, 3>;

double Dot(const Vec& a, const Vec& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// A row vector times the rotation about x, then about y, by degrees, as the transforms build them.
Vec RotateXY(const Vec& v, double ax, double ay) {
    const double rx = ax * 0.01745329238474369, ry = ay * 0.01745329238474369;
    const double cx = std::cos(rx), sx = std::sin(rx), cy = std::cos(ry), sy = std::sin(ry);
    const Vec r{v[0], v[1] * cx + v[2] * sx, -v[1] * sx + v[2] * cx};
    return {r[0] * cy - r[2] * sy, r[1], r[0] * sy + r[2] * cy};
}

// 0xRRGGBB of a lit colour given per channel in 0..1.
uint32_t Pack(const Vec& c) {
    uint32_t word = 0;
    for (int i = 0; i < 3; ++i)
        word = word << 8 | static_cast<uint32_t>(std::lround(std::clamp(c[i], 0.0, 1.0) * 255.0));
    return word;
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(static_cast<int>(a >> shift & 0xFFu) - static_cast<int>(b >> shift & 0xFFu)) > tolerance)
            return false;
    return true;
}

void ExpectRan(const SavedFrame& f, int width) {
    ASSERT_FALSE(f.run.timedOut) << f.run.console;
    EXPECT_EQ(f.run.exitCode, 0) << f.run.log << f.run.console;
    EXPECT_EQ(f.run.log.find("ERROR"), std::string::npos) << f.run.log;
    ASSERT_EQ(f.width, width) << f.run.log;
}

TEST(D3DScenario, ALitCubeAndFloorsLitByPointLightsWithinTheirRange) {
    const SavedFrame f = RunFrame(FrameGame(R"(
d3d_start();
draw_clear(c_black);
d3d_set_projection_ortho(0, 0, 96, 64, 0);
d3d_set_lighting(true);
d3d_light_define_ambient(make_colour_rgb(40, 40, 40));
d3d_light_define_direction(0, 1, 1, 2, make_colour_rgb(255, 200, 100));
d3d_light_enable(0, true);
d3d_transform_set_rotation_x(30);
d3d_transform_add_rotation_y(40);
d3d_transform_add_translation(32, 32, 0);
draw_set_colour(make_colour_rgb(200, 150, 250));
d3d_draw_block(-12, -12, -12, 12, 12, 12, -1, 1, 1);
d3d_transform_set_identity();
d3d_light_enable(0, false);
d3d_light_define_point(1, 80, 12, 5, 15, c_white);
d3d_light_define_point(2, 80, 32, 20, 10, c_white);
d3d_light_enable(1, true);
d3d_light_enable(2, true);
d3d_draw_floor(70, 4, 0, 90, 20, 0, -1, 1, 1);
d3d_draw_floor(70, 24, 0, 90, 40, 0, -1, 1, 1);
d3d_set_lighting(false);
d3d_draw_floor(70, 44, 0, 90, 60, 0, -1, 1, 1);
d3d_end();
)",
                                            96, 64));
    ExpectRan(f, 96);
    if (f.width != 96) return;
    const Vec diffuse{200 / 255.0, 150 / 255.0, 250 / 255.0};
    const Vec ambient{40 / 255.0, 40 / 255.0, 40 / 255.0};
    const Vec sun{1.0, 200 / 255.0, 100 / 255.0};
    const double length = std::sqrt(6.0);
    const Vec towardSun{-1 / length, -1 / length, -2 / length};
    // Every face of the cube that faces the eye (at -z) by more than a glancing angle, sampled at its
    // centre.
    const Vec normals[6] = {{0, 0, -1}, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {0, -1, 0}, {-1, 0, 0}};
    int faces = 0;
    for (const Vec& n : normals) {
        const Vec turned = RotateXY(n, 30, 40);
        if (turned[2] > -0.3) continue;
        ++faces;
        const Vec centre = RotateXY({n[0] * 12, n[1] * 12, n[2] * 12}, 30, 40);
        const int x = static_cast<int>(std::lround(32 + centre[0]));
        const int y = static_cast<int>(std::lround(32 + centre[1]));
        const double lambert = std::max(0.0, Dot(turned, towardSun));
        Vec lit;
        for (int c = 0; c < 3; ++c)
            lit[c] = ambient[c] + diffuse[c] * sun[c] * lambert;
        EXPECT_PRED3(Near, f.At(x, y), Pack(lit), 2) << std::hex << f.At(x, y) << " face (" << n[0] << ", " << n[1]
                                                     << ", " << n[2] << ") at " << std::dec << x << ", " << y;
    }
    EXPECT_EQ(faces, 3);
    EXPECT_EQ(f.At(2, 2), 0u);
    EXPECT_EQ(f.At(60, 60), 0u);
    // Each lamp stands above the middle of its floor, so every corner is lit alike: the first lamp is
    // sqrt(189) from each, within its range of 15, at a cosine of 5 / sqrt(189); the second is out of reach.
    const double distance = std::sqrt(189.0);
    const double reach = 5.0 / distance / (1.0 + distance / 15.0);
    Vec lamp;
    for (int c = 0; c < 3; ++c)
        lamp[c] = ambient[c] + diffuse[c] * reach;
    EXPECT_PRED3(Near, f.At(80, 12), Pack(lamp), 2) << std::hex << f.At(80, 12);
    EXPECT_PRED3(Near, f.At(80, 32), Pack(ambient), 1) << std::hex << f.At(80, 32) << " " << Pack(ambient);
    EXPECT_EQ(f.At(80, 52), 0xC896FAu); // unlit: the drawing colour itself
}

// A 4 x 4 image of distinct colours, the only one of the game, so its texture page is itself.
GameImage Checks() {
    GameImage image;
    image.width = image.height = 4;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            image.rgba.insert(image.rgba.end(), {uint8_t(20 + 60 * x), uint8_t(20 + 60 * y), 128, 255});
    return image;
}

// A texel times the drawing colour white, whose blue has its lowest bit cleared as every vertex in the
// drawing colour has: 128 x 254 / 255 gives blue 127.
uint32_t Texel(int tx, int ty) {
    return static_cast<uint32_t>(20 + 60 * (tx & 3)) << 16 | static_cast<uint32_t>(20 + 60 * (ty & 3)) << 8 | 127u;
}

const char kModelFile[] = "made by hand\n"
                          "100\n"
                          "7\n"
                          "0 4\n"
                          "3 0 0 0 200 1\n"
                          "3 10 0 0 200 1\n"
                          "3 0 10 0 200 1\r\n"
                          "1\n"
                          "\n"
                          "15 12 0 0 22 10 0 1 1\n"
                          "99 1 2 3";

TEST(D3DScenario, TexturedFloorAndWallFogAndAModelFromAFile) {
    ScenarioGame game = FrameGame(R"(
d3d_start();
draw_clear(c_black);
d3d_set_projection_ortho(0, 0, 96, 64, 0);
texture_set_interpolation(false);
draw_set_colour(c_white);
var tex, m, loaded;
tex = sprite_get_texture(spr_checks, 0);
d3d_draw_floor(4, 4, 0, 20, 20, 0, tex, 2, 2);
d3d_set_fog(true, c_blue, 15000, 17000);
d3d_transform_set_rotation_x(90);
d3d_draw_wall(30, 0, 4, 46, 0, 20, tex, 2, 2);
d3d_transform_set_identity();
d3d_set_fog(false, 0, 0, 0);
d3d_end();
m = d3d_model_create();
loaded = d3d_model_load(m, "shape.d3d");
if (global.t == 1) {
    show_debug_message("loaded " + string(loaded));
    d3d_model_save(m, "copy.d3d");
}
draw_set_colour(c_lime);
d3d_model_draw(m, 55, 30, 0, -1);
draw_set_colour(c_blue);
d3d_model_draw(m, 55, 45, 0, -1);
d3d_model_destroy(m);
)",
                                  96, 64);
    GameSprite sprite;
    sprite.name = "spr_checks";
    sprite.frames = {Checks()};
    game.sprites.push_back(sprite);
    SavedFrame f;
    f.run = RunDataFile(BuildScenarioGame(game), {}, 60, {{"shape.d3d", kModelFile}},
                        {"data/Game/frame.png", "data/Game/copy.d3d"});
    ASSERT_EQ(f.run.files.size(), 2u) << f.run.log;
    const std::string& png = f.run.files[0].second;
    const uint32_t* pixels = ReadPNG(reinterpret_cast<const uint8_t*>(png.data()), png.size(), f.width, f.height);
    ASSERT_NE(pixels, nullptr);
    f.pixels.assign(pixels, pixels + static_cast<size_t>(f.width) * f.height);
    ReadPNG_Free();
    ExpectRan(f, 96);
    EXPECT_NE(f.run.log.find("loaded 1"), std::string::npos) << f.run.log;

    // Each texel covers 2 x 2 pixels, whose centres lie a quarter of a texel inside it: every pixel takes
    // its texel exactly. The wall, turned to face the eye, lies half way between the fog's start and end.
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const uint32_t texel = Texel(x / 2, y / 2);
            EXPECT_EQ(f.At(4 + x, 4 + y), texel) << std::hex << f.At(4 + x, 4 + y) << std::dec << " at " << x << ", " << y;
            const uint32_t fogged = ((texel >> 16) / 2) << 16 | ((texel >> 8 & 0xFFu) / 2) << 8 | (127 + 255) / 2;
            EXPECT_PRED3(Near, f.At(30 + x, 4 + y), fogged, 2) << std::hex << f.At(30 + x, 4 + y);
        }
    }
    EXPECT_EQ(f.At(2, 2), 0u);
    EXPECT_EQ(f.At(25, 10), 0u);

    // The model's triangle keeps its own colour (red 200 with its lowest bit set) in both draws; its floor
    // takes the drawing colour, green and then blue with bit 0 clear.
    EXPECT_EQ(f.At(57, 32), 0xC90000u);
    EXPECT_EQ(f.At(57, 47), 0xC90000u);
    EXPECT_EQ(f.At(72, 35), 0x00FF00u);
    EXPECT_EQ(f.At(72, 50), 0x0000FEu);
    EXPECT_EQ(f.At(66, 43), 0u);

    const std::string fields = "     0.0000     0.0000     0.0000     0.0000     0.0000";
    EXPECT_EQ(f.run.files[1].second,
              "100\r\n7\r\n"
              "0     4.0000     0.0000     0.0000     0.0000     0.0000" + fields + "\r\n"
              "3     0.0000     0.0000     0.0000   200.0000     1.0000" + fields + "\r\n"
              "3    10.0000     0.0000     0.0000   200.0000     1.0000" + fields + "\r\n"
              "3     0.0000    10.0000     0.0000   200.0000     1.0000" + fields + "\r\n"
              "1     0.0000     0.0000     0.0000     0.0000     0.0000" + fields + "\r\n"
              "15    12.0000     0.0000     0.0000    22.0000    10.0000     0.0000     1.0000     1.0000     0.0000     0.0000\r\n"
              "99     1.0000     2.0000     3.0000     0.0000     0.0000" + fields + "\r\n");
}

} // namespace
