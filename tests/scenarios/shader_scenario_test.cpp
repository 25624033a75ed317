// Games with shaders and vertex buffers, run headless: the frame they draw, saved by the game and read
// back, and the reports of shaders that do not compile.
#include "saved_frame.h"

#include <gtest/gtest.h>

namespace {

const char kPassVertex[] = R"(
struct VSIn { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
struct VSOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
float4x4 qn_Matrices[5];
VSOut main(VSIn i) {
    VSOut o;
    o.pos = mul(qn_Matrices[4], i.pos);
    o.col = i.col;
    o.uv = i.uv;
    return o;
}
)";

const char kPassFragment[] = R"(
float4 main(float4 col : COLOR0) : COLOR0 { return col; }
)";

// The vertex program moved by the first built-in matrix before the whole transform.
const char kMovedVertex[] = R"(
float4x4 qn_Matrices[5];
struct VSOut { float4 pos : POSITION; float4 col : COLOR0; };
VSOut main(float4 pos : POSITION, float4 col : COLOR0) {
    VSOut o;
    o.pos = mul(qn_Matrices[4], mul(qn_Matrices[0], pos));
    o.col = col;
    return o;
}
)";

const char kTintFragment[] = R"(
float4 u_Tint;
float4 main(float4 col : COLOR0) : COLOR0 { return col * u_Tint; }
)";

const char kListFragment[] = R"(
float4 u_List[3];
int u_Pick;
float4 main(float4 col : COLOR0) : COLOR0 { return u_List[u_Pick]; }
)";

const char kTextureFragment[] = R"(
sampler2D qn_BaseTexture;
float4 main(float4 col : COLOR0, float2 uv : TEXCOORD0) : COLOR0 { return tex2D(qn_BaseTexture, uv).bgra * col; }
)";

GameImage HalvesImage() {
    GameImage image;
    image.width = image.height = 4;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            image.rgba.insert(image.rgba.end(), {uint8_t(x < 2 ? 255 : 0), 0, uint8_t(x < 2 ? 0 : 255), 255});
    return image;
}

// A frame game with the shaders and a sprite of red and blue halves.
ScenarioGame ShaderGame(const std::string& draw, std::vector<GameShader> shaders) {
    ScenarioGame game = FrameGame(draw);
    game.shaders = std::move(shaders);
    GameSprite sprite;
    sprite.name = "spr_halves";
    sprite.frames = {HalvesImage()};
    game.sprites.push_back(sprite);
    return game;
}

TEST(ShaderScenario, ShadersDrawWithUniformsSamplersAndTheBuiltInMatrices) {
    const std::string draw = R"(
draw_clear(c_black);
shader_set(0);
draw_rectangle_colour(2, 2, 9, 9, c_lime, c_lime, c_lime, c_lime, false);
shader_set(1);
shader_set_uniform_f(shader_get_uniform(1, "u_Tint"), 1, 0.5, 0, 1);
draw_rectangle_colour(12, 2, 19, 9, c_white, c_white, c_white, c_white, false);
shader_set(2);
var list; list[0] = 0; list[1] = 0; list[2] = 0; list[3] = 1;
list[4] = 0; list[5] = 0; list[6] = 1; list[7] = 1;
list[8] = 1; list[9] = 0; list[10] = 1; list[11] = 1;
shader_set_uniform_f_array(shader_get_uniform(2, "u_List"), list);
shader_set_uniform_i(shader_get_uniform(2, "u_Pick"), 2);
draw_rectangle(22, 2, 29, 9, false);
shader_set(3);
draw_sprite_ext(spr_halves, 0, 32, 2, 2, 2, 0, c_white, 1);
shader_set(4);
var m, i; for (i = 0; i < 16; i += 1) m[i] = (i mod 5 == 0);
m[12] = 20; m[13] = 20;
shader_set_uniform_matrix_array(0, m);
draw_rectangle_colour(2, 2, 9, 9, c_yellow, c_yellow, c_yellow, c_yellow, false);
shader_reset();
draw_rectangle_colour(50, 2, 53, 5, c_aqua, c_aqua, c_aqua, c_aqua, false);
show_debug_message("compiled " + string(shader_is_compiled(0)) + " supported " + string(shaders_are_supported()));
)";
    const SavedFrame f = RunFrame(ShaderGame(draw, {{"shd_pass", kPassVertex, kPassFragment, {}},
                                              {"shd_tint", kPassVertex, kTintFragment, {}},
                                              {"shd_list", kPassVertex, kListFragment, {}},
                                              {"shd_texture", kPassVertex, kTextureFragment, {"in_Position"}},
                                              {"shd_moved", kMovedVertex, kPassFragment, {}}}));
    ASSERT_FALSE(f.run.timedOut) << f.run.console;
    EXPECT_EQ(f.run.exitCode, 0) << f.run.log << f.run.console;
    EXPECT_EQ(f.run.log.find("ERROR"), std::string::npos) << f.run.log;
    EXPECT_NE(f.run.log.find("compiled 1 supported 1"), std::string::npos) << f.run.log;
    ASSERT_EQ(f.width, 64) << f.run.log;
    // The pass-through program covers exactly the rectangle's pixels.
    EXPECT_EQ(f.At(2, 2), 0x00FF00u);
    EXPECT_EQ(f.At(9, 9), 0x00FF00u);
    EXPECT_EQ(f.At(1, 2), 0u);
    EXPECT_EQ(f.At(10, 10), 0u);
    EXPECT_EQ(f.At(15, 5), 0xFF8000u); // white tinted (1, 0.5, 0, 0)
    EXPECT_EQ(f.At(25, 5), 0xFF00FFu); // u_List[2]
    EXPECT_EQ(f.At(33, 5), 0x0000FFu); // the sprite's left half, red and blue exchanged by the program
    EXPECT_EQ(f.At(38, 5), 0xFF0000u);
    EXPECT_EQ(f.At(23, 23), 0xFFFF00u); // moved by (20, 20)
    EXPECT_EQ(f.At(51, 3), 0x00FFFFu);  // without a shader again
}

TEST(ShaderScenario, VertexBuffersDrawEveryPrimitiveTypeWithAndWithoutTexture) {
    const std::string draw = R"(
draw_clear(c_black);
vertex_format_begin();
vertex_format_add_position();
vertex_format_add_colour();
vertex_format_add_textcoord();
var fmt; fmt = vertex_format_end();
var b; b = vertex_create_buffer_ext(10);
vertex_begin(b, fmt);
// A triangle list of two triangles over (2, 2)-(10, 10), texture coordinates in the red half.
var xs, ys; xs[0] = 2; ys[0] = 2; xs[1] = 10; ys[1] = 2; xs[2] = 2; ys[2] = 10;
xs[3] = 10; ys[3] = 2; xs[4] = 10; ys[4] = 10; xs[5] = 2; ys[5] = 10;
var i; for (i = 0; i < 6; i += 1) { vertex_texcoord(b, 0.1, 0.1); vertex_position(b, xs[i], ys[i]); vertex_colour(b, c_white, 1); }
vertex_end(b);
vertex_submit(b, pr_trianglelist, 0);
// The same vertices from x 12 with no texture and a strip of four.
vertex_begin(b, fmt);
vertex_position(b, 12, 2); vertex_colour(b, c_lime, 1); vertex_texcoord(b, 0, 0);
vertex_position(b, 20, 2); vertex_colour(b, c_lime, 1); vertex_texcoord(b, 0, 0);
vertex_position(b, 12, 10); vertex_colour(b, c_lime, 1); vertex_texcoord(b, 0, 0);
vertex_position(b, 20, 10); vertex_colour(b, c_lime, 1); vertex_texcoord(b, 0, 0);
vertex_end(b);
vertex_submit(b, pr_trianglestrip, -1);
// Points, a line list and a line strip.
var p; p = vertex_create_buffer();
vertex_begin(p, fmt);
vertex_position(p, 30, 30); vertex_colour(p, c_yellow, 1); vertex_texcoord(p, 0, 0);
vertex_position(p, 40, 30); vertex_colour(p, c_yellow, 1); vertex_texcoord(p, 0, 0);
vertex_position(p, 40, 40); vertex_colour(p, c_yellow, 1); vertex_texcoord(p, 0, 0);
vertex_end(p);
vertex_submit(p, pr_pointlist, -1);
vertex_submit(p, pr_linelist, -1);
vertex_freeze(p);
vertex_submit(p, pr_linestrip, -1);
vertex_delete_buffer(b);
vertex_delete_buffer(p);
)";
    const SavedFrame f = RunFrame(ShaderGame(draw, {}));
    ASSERT_FALSE(f.run.timedOut) << f.run.console;
    EXPECT_EQ(f.run.exitCode, 0) << f.run.log << f.run.console;
    EXPECT_EQ(f.run.log.find("ERROR"), std::string::npos) << f.run.log;
    ASSERT_EQ(f.width, 64) << f.run.log;
    EXPECT_EQ(f.At(3, 3), 0xFF0000u);  // the page's red half
    EXPECT_EQ(f.At(9, 9), 0xFF0000u);
    EXPECT_EQ(f.At(10, 10), 0u);
    EXPECT_EQ(f.At(15, 5), 0x00FF00u); // the strip
    // A point and the lines, up and left of their coordinates as the projection moves them.
    EXPECT_EQ(f.At(29, 29), 0xFFFF00u);
    EXPECT_EQ(f.At(35, 29), 0xFFFF00u);
    EXPECT_EQ(f.At(39, 35), 0xFFFF00u);
    EXPECT_EQ(f.At(35, 35), 0u);
}

TEST(ShaderScenario, AShaderThatDoesNotCompileIsReportedWhenAppliedAndDrawsNothing) {
    const std::string draw = R"(
draw_clear(c_black);
show_debug_message("compiled " + string(shader_is_compiled(0)));
shader_set(0);
draw_rectangle_colour(2, 2, 9, 9, c_lime, c_lime, c_lime, c_lime, false);
)";
    const SavedFrame f = RunFrame(ShaderGame(draw, {{"shd_bad", "float4 main() : POSITION { return nothing; }", kPassFragment, {}}}));
    ASSERT_FALSE(f.run.timedOut) << f.run.console;
    EXPECT_NE(f.run.log.find("compiled 0"), std::string::npos) << f.run.log;
    // Applied in an event, the report is headed with the event.
    EXPECT_NE(f.run.log.find("FATAL ERROR in\naction number 1\nof Draw Event\nfor object oDraw:"), std::string::npos)
        << f.run.log;
    EXPECT_NE(f.run.log.find("'nothing'"), std::string::npos) << f.run.log;
    EXPECT_TRUE(f.pixels.empty()); // the game ended at the report, before saving a frame

    // A fragment program that does not compile is reported at once, while the game loads.
    const ScenarioRun run = RunScenario(ShaderGame("", {{"shd_badfrag", kPassVertex, "float4 main() : COLOR0 { return nothing; }", {}}}));
    EXPECT_NE(run.log.find("FATAL ERROR in Fragment Shader compilation\n\nShaderName: shd_badfrag\n\n\n"),
              std::string::npos)
        << run.log;
}

} // namespace
