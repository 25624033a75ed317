// The 3D group of built-ins, registered in its order and called from compiled source: matrices and the
// frustum against values worked out by hand, the transform stack, the fog range, lights and models.
#include "core/console.h"
#include "graphics/3d/d3d_draw.h"
#include "graphics/3d/model.h"
#include "graphics/frame/render_state.h"
#include "graphics/frame/shader.h"
#include "graphics/graphics_builtins.h"
#include "library/builtin_test_util.h"
#include "script/compiler/constants.h"
#include "script/functions.h"
#include "support/fake_world.h"
#include "support/game_folders.h"
#include "support/graphics_device.h"
#include "support/run_code.h"

#include <cstring>

#include <fstream>
#include <sstream>

namespace {

class D3DBuiltIns : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        static const bool registered =
            (Init3DFunctions(), Code_Constant_Count() == 0 && (Code_Constant_Init(), true));
        (void)registered;
        RegisterLibraryBuiltIns();
        StartRecording(64, 48);
        self = world.Add(100001, 0);
        ScriptWorld_Install(&world);
        TakeFatalErrors();
    }
    void TearDown() override {
        ScriptWorld_Install(nullptr);
        Model_FreeAll();
        GR_3D_Reset();
        GR_D3D_TransformStackClear();
        GraphicsDeviceTest::TearDown();
    }
    std::string Run(const std::string& program) { return CompileAndRun(program, FakeWorld::AsInstance(self)); }
    // Whether the program's code reported the message as an error that ends the game.
    bool Fatal(const std::string& program, const char* message) {
        CodeError_State().Code_Aborting = false;
        Run(program);
        const bool reported = CodeError_State().Code_Aborting && CodeError_State().Code_LastErrorText &&
                              std::strstr(CodeError_State().Code_LastErrorText, message);
        CodeError_State().Code_Aborting = false;
        return reported;
    }

    FakeWorld world;
    FakeInstance* self = nullptr;
};

TEST_F(D3DBuiltIns, RegisteredInTheGroupsOrderWithTheirArgumentCounts) {
    int first = -1, last = -1, id = -1;
    ASSERT_TRUE(Code_Function_Find("d3d_start", first));
    ASSERT_TRUE(Code_Function_Find("draw_texture_flush", last));
    EXPECT_EQ(last - first, 92);
    const std::pair<const char*, int> entries[] = {
        {"d3d_vertex", 13},           {"d3d_draw_block", 25},         {"d3d_set_projection", 31},
        {"d3d_transform_set_identity", 35}, {"d3d_transform_vertex", 54}, {"matrix_get", 55},
        {"frustum_test_sphere", 60},  {"d3d_light_define_ambient", 61}, {"d3d_model_create", 65},
        {"d3d_model_vertex", 73},     {"d3d_model_vertex_normal_color", 80}, {"d3d_model_block", 84},
        {"Zebo_EnableAlphaBlend", 90}};
    for (const auto& [name, offset] : entries) {
        ASSERT_TRUE(Code_Function_Find(name, id)) << name;
        EXPECT_EQ(id - first, offset) << name;
    }
    // The model vertex with normal and colour has no "colour" twin.
    EXPECT_FALSE(Code_Function_Find("d3d_model_vertex_normal_colour", id));
    const std::pair<const char*, int> counts[] = {
        {"d3d_set_fog", 4},           {"d3d_vertex_normal_texture_colour", 10}, {"d3d_draw_cylinder", 11},
        {"d3d_set_projection_ext", 13}, {"d3d_transform_add_rotation_axis", 4}, {"matrix_build", 9},
        {"d3d_model_draw", 5},        {"d3d_model_vertex_normal_texture_colour", 11}, {"d3d_model_ellipsoid", 10}};
    for (const auto& [name, count] : counts) {
        ASSERT_TRUE(Code_Function_Find(name, id)) << name;
        EXPECT_EQ(Code_Function_GetArgCount(id), count) << name;
    }
}

TEST_F(D3DBuiltIns, MatricesAreBuiltAndMultipliedAsWorkedOutByHand) {
    // Translation (1, 2, 3) and scale 2: the diagonal 2, 2, 2, 1 and the translation in 12..14.
    EXPECT_EQ(Run("var m, s, i; m = matrix_build(1, 2, 3, 0, 0, 0, 2, 2, 2); s = '';"
                  "for (i = 0; i < 16; i += 1) s += string(m[i]) + ' '; return s"),
              "'2 0 0 0 0 2 0 0 0 0 2 0 1 2 3 1 '");
    // 90 degrees about z sends x to -y; about x, y to -z (cosines of the angle are not quite 0).
    EXPECT_EQ(Run("var m; m = matrix_build(0, 0, 0, 0, 0, 90, 1, 1, 1);"
                  "return string(abs(m[0]) < 0.0000001) + string(m[1]) + string(m[4]) + string(abs(m[5]) < 0.0000001)"),
              "'1-111'");
    EXPECT_EQ(Run("var m; m = matrix_build(0, 0, 0, 90, 0, 0, 1, 1, 1);"
                  "return string(m[6]) + string(m[9]) + string(m[0])"),
              "'-111'");
    // (translate 1, 2, 3) x (scale 2): the translation is scaled too.
    EXPECT_EQ(Run("var a, b, m; a = matrix_build(1, 2, 3, 0, 0, 0, 1, 1, 1); b = matrix_build(0, 0, 0, 0, 0, 0, 2, 2, 2);"
                  "m = matrix_multiply(a, b); return string(m[0]) + string(m[12]) + string(m[13]) + "
                  "string(m[14]) + string(m[15]) + string(array_length_1d(m))"),
              "'2246116'");
    // Set and read back; the projection keeps what was given.
    EXPECT_EQ(Run("var m, p; m = matrix_build(5, 6, 7, 0, 0, 0, 1, 1, 1); matrix_set(1, m);"
                  "p = matrix_get(1); return string(p[12]) + string(p[13]) + string(p[14])"),
              "'567'");

    // A camera at z = -10 looking at the origin with a field of view of 90 degrees, near 1, far 100.
    EXPECT_EQ(Run("var v, p; d3d_set_projection_ext(0, 0, -10, 0, 0, 0, 0, 1, 0, 90, 2, 1, 100);"
                  "v = matrix_get(0); p = matrix_get(1); return string(v[0]) + string(v[5]) + string(v[10]) + "
                  "string(v[14]) + ' ' + string(p[0]) + ' ' + string(round(p[5] * 100000)) + ' ' + "
                  "string(round(p[10] * 10000)) + string(p[11]) + string(round(p[14] * 10000))"),
              "'11110 0.50 100000 101011-10101'");
    EXPECT_TRUE(Fatal("return matrix_get(3)", "Illegal matrix type"));
    EXPECT_TRUE(Fatal("var a; a[14] = 0; matrix_set(2, a)", "Illegal matrix"));
    EXPECT_TRUE(Fatal("return matrix_get('view')", "Illegal argument type"));
    EXPECT_TRUE(Fatal("return matrix_multiply(1, 2)", "Illegal argument type"));
    EXPECT_TRUE(Fatal("return matrix_build(0, 0, 0, 0, 0, 0, 1, 1, '1')", "Illegal argument type"));
}

TEST_F(D3DBuiltIns, TransformsApplyInOrderAndTheStackHoldsFiftyOneMatrices) {
    EXPECT_EQ(Run("var v; d3d_transform_set_rotation_z(90); v = d3d_transform_vertex(1, 0, 0);"
                  "return string(array_length_1d(v)) + ' ' + string(round(v[0] * 1000000)) + ' ' + string(v[1])"),
              "'3 0 -1'");
    EXPECT_EQ(Run("var v; d3d_transform_add_translation(10, 0, 0); v = d3d_transform_vertex(1, 0, 0);"
                  "return string(round(v[0] * 100000) / 100000) + ' ' + string(v[1]) + ' ' + string(v[2])"),
              "'10 -1 0'");
    EXPECT_TRUE(Fatal("return d3d_transform_vertex(1, 'a', 0)", "Illegal argument type"));
    EXPECT_EQ(Run("var n; n = 0; repeat (52) n += d3d_transform_stack_push(); return n"), "51");
    EXPECT_EQ(Run("var v; d3d_transform_set_identity(); d3d_transform_stack_top(); v = d3d_transform_vertex(1, 0, 0);"
                  "return string(round(v[0])) + string(d3d_transform_stack_empty())"),
              "'100'");
    EXPECT_EQ(Run("var n; n = 0; repeat (52) n += d3d_transform_stack_pop(); return string(n) + "
                  "string(d3d_transform_stack_empty()) + string(d3d_transform_stack_discard())"),
              "'5110'");
}

TEST_F(D3DBuiltIns, TheFrustumRejectsSpheresByTheirDistanceFromEachPlane) {
    const std::string identity = "var m; m = matrix_build(0, 0, 0, 0, 0, 0, 1, 1, 1); matrix_set(0, m); matrix_set(1, m);";
    EXPECT_EQ(Run(identity + "frustum_build(); return string(frustum_test_sphere(0, 0, 0, 0)) + "
                             "string(frustum_test_sphere(5, 0, 0, 0)) + string(frustum_test_sphere(1.5, 0, 0, 0.6))"),
              "'101'");
    // A projection doubling x: the left plane is x = -0.5, so a sphere at -0.6 needs a radius of 0.1.
    EXPECT_EQ(Run(identity + "matrix_set(1, matrix_build(0, 0, 0, 0, 0, 0, 2, 1, 1)); frustum_build();"
                             "return string(frustum_test_sphere(-0.6, 0, 0.5, 0.05)) + "
                             "string(frustum_test_sphere(-0.6, 0, 0.5, 0.2))"),
              "'01'");
    EXPECT_TRUE(Fatal("return frustum_test_sphere('x', 0, 0, 0)", "Illegal argument type"));
}

TEST_F(D3DBuiltIns, SwitchesFogAndLights) {
    // Fog range truncated and kept in 0..65535.
    Run("d3d_set_fog(true, c_red, -100.7, 70000)");
    EXPECT_TRUE(RenderState_State().GR_Settings.fog);
    EXPECT_EQ(RenderState_State().GR_Settings.fogStart, 0.0f);
    EXPECT_EQ(RenderState_State().GR_Settings.fogEnd, 65535.0f);
    EXPECT_EQ(RenderState_State().GR_Settings.fogColour, 0xFFFF0000u);
    Run("d3d_set_fog(false, 0, 10.9, 20)");
    EXPECT_EQ(RenderState_State().GR_Settings.fogStart, 10.0f);

    EXPECT_EQ(Run("return d3d_start() + d3d_start()"), "2");
    Graphics::Flush();
    EXPECT_EQ(Frame_State().GR_D3DDevice->GetRenderState(D3DRS_ZENABLE), 1u);
    Run("d3d_end(); d3d_set_hidden(true)");
    Graphics::Flush();
    EXPECT_EQ(Frame_State().GR_D3DDevice->GetRenderState(D3DRS_ZENABLE), 0u);

    // Light indexes are truncated: 7.9 is light 7, 8 is reported and -1 wraps past 7.
    Run("d3d_light_define_point(7.9, 1, 2, 3, 10, c_white); d3d_light_enable(7, true); d3d_set_lighting(1)");
    EXPECT_EQ(Shader_State().GR_Lights.posRange[7][3], 10.0f);
    EXPECT_EQ(Shader_State().GR_Lights.enabled[7], 1.0f);
    EXPECT_EQ(Shader_State().GR_Lights.lightingEnabled, 1);
    Run("d3d_light_define_direction(-1, 1, 0, 0, c_white)");
    ASSERT_NE(CodeError_State().Code_LastErrorText, nullptr);
    EXPECT_NE(std::string(CodeError_State().Code_LastErrorText).find("Light index out of range"),
              std::string::npos);
    EXPECT_TRUE(TakeFatalErrors().empty());
    Run("d3d_light_define_ambient('red'); d3d_light_define_ambient(c_blue + 0.4)");
    EXPECT_EQ(Shader_State().GR_Lights.ambient, 0xFF0000u);

    Run("draw_enable_alphablend(0)");
    EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_ALPHABLENDENABLE], 0u);
    Run("Zebo_EnableAlphaBlend(1.7)");
    EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_ALPHABLENDENABLE], 1u);
    Run("draw_enable_alphablend('yes')");
    EXPECT_NE(
        std::string(CodeError_State().Code_LastErrorText).find("Illegal argument type: true/false expected"),
        std::string::npos);
    EXPECT_TRUE(TakeFatalErrors().empty());
}

TEST_F(D3DBuiltIns, ModelsAreFilledSavedAndLoadedInTheSaveAreaThenTheGameFolder) {
    GameFolders folders;
    EXPECT_EQ(Run("m = d3d_model_create(); d3d_model_primitive_begin(m, 4.4);"
                  "d3d_model_vertex_colour(m, 1, 2, 3, 255.6, 0.5); d3d_model_cylinder(m, 0, 0, 0, 1, 1, 1, 1, 1, "
                  "0.5, 24.5); d3d_model_primitive_end(m); return d3d_model_save(m, 'shapes/a.d3d')"),
              "-1");
    const TModel3D* model = Model_Get(0);
    ASSERT_NE(model, nullptr);
    ASSERT_EQ(model->commands.size(), 4u);
    EXPECT_EQ(model->commands[0].values[0].f, 4.0f);
    EXPECT_EQ(model->commands[1].values[3].i, 256);
    EXPECT_EQ(model->commands[2].values[8].i, 1);
    EXPECT_EQ(model->commands[2].values[9].i, 24);
    std::ifstream in(folders.Save("shapes/a.d3d"), std::ios::binary);
    std::stringstream saved;
    saved << in.rdbuf();
    EXPECT_EQ(saved.str(), Model_SaveText(model));

    // A file in the game folder loads; one in the save area is found first.
    TempFolder::Write(folders.Game("b.d3d"), "100\n1\n2 1 2 3\n");
    TempFolder::Write(folders.Game("bad.d3d"), "100\n5\n");
    EXPECT_EQ(Run("n = d3d_model_create(); return d3d_model_load(n, 'b.d3d')"), "1");
    EXPECT_EQ(Model_Get(1)->commands.size(), 1u);
    TempFolder::Write(folders.Save("b.d3d"), "100\n2\n1\n1\n");
    EXPECT_EQ(Run("return d3d_model_load(n, 'b.d3d')"), "1");
    EXPECT_EQ(Model_Get(1)->commands.size(), 2u);
    // A file that does not load, a missing file, a freed model and wrong types.
    EXPECT_EQ(Run("return d3d_model_load(n, 'bad.d3d')"), "0");
    EXPECT_TRUE(Model_Get(1)->commands.empty());
    const std::string log = folders.Temp("debug.log");
    Console_SetLogFile(1, log.c_str());
    EXPECT_EQ(Run("return d3d_model_load(n, 'none.d3d')"), "0");
    Console_SetLogFile(1, nullptr);
    std::ifstream logFile(log);
    std::stringstream logText;
    logText << logFile.rdbuf();
    EXPECT_NE(logText.str().find("d3d_model_load - unable to find file none.d3d"), std::string::npos);
    EXPECT_EQ(Run("d3d_model_destroy(n); return d3d_model_load(n, 'b.d3d')"), "0");
    EXPECT_EQ(Run("return d3d_model_load('m', 'b.d3d') + d3d_model_save(m, 7)"), "-2");
    EXPECT_TRUE(TakeFatalErrors().empty());
}

} // namespace
