#include "runner/builtin_registry.h"

#include "ext/platform_services.h"

#include "script/functions.h"
#include "script/value.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>

namespace {

int IndexOf(const char* name) {
    int id = -1;
    EXPECT_TRUE(Code_Function_Find(name, id)) << name;
    return id;
}

// The entries from the first name of the run on hold the run's names and argument counts, in order.
void ExpectRun(const std::vector<std::pair<const char*, int>>& run) {
    int first = -1;
    ASSERT_TRUE(Code_Function_Find(run[0].first, first));
    for (size_t i = 0; i < run.size(); ++i) {
        const BuiltInFunction* entry = Code_Function_Entry(first + static_cast<int>(i));
        ASSERT_NE(entry, nullptr);
        EXPECT_STREQ(entry->name, run[i].first);
        EXPECT_EQ(entry->argumentCount, run[i].second) << run[i].first;
    }
}

} // namespace

TEST(BuiltinRegistry, RegistrationTracesEveryGroupOnOneLine) {
    Code_Function_Free();
    ::testing::internal::CaptureStdout();
    InitQNLFunctions();
    // The gamepad group's devices trace themselves as they are made, in the middle of the line.
    const std::string trace =
        std::regex_replace(::testing::internal::GetCapturedStdout(), std::regex("GAMEPAD: [^\n]*\n"), "");
    EXPECT_EQ(trace, "HighScore..Game..Math..Graphic..Action..File..Resource..Interaction..3D..Particle..Misc..DS.."
                     "Sound..DPlay..Physics..Gamepad..Buffers..Networking..Shaders..Zebo..Fini\n");

    // Groups register their functions one after another, first to last.
    EXPECT_EQ(IndexOf("action_highscore") - IndexOf("action_move") + 1, 136);
    EXPECT_EQ(IndexOf("action_path") - IndexOf("action_bounce"), 1);
    EXPECT_EQ(IndexOf("get_directory_alt") - IndexOf("show_message") + 1, 102);
    EXPECT_EQ(IndexOf("gamepad_set_vibration") - IndexOf("gamepad_is_supported") + 1, 16);
    // The display entries sit between the window's and the tiles' in the graphic group.
    EXPECT_EQ(IndexOf("display_get_width") - IndexOf("window_views_mouse_set"), 1);
    EXPECT_EQ(IndexOf("tile_add") - IndexOf("display_mouse_set"), 1);
    EXPECT_EQ(Code_Function_GetArgCount(IndexOf("device_mouse_dbclick_enable")), 0);
    Code_Function_Free();
}


// The game group ends where the maths group begins, after its 83 functions.
TEST(BuiltinRegistry, TheGameGroupHoldsItsEightyThreeFunctions) {
    Code_Function_Free();
    ::testing::internal::CaptureStdout();
    InitQNLFunctions();
    ::testing::internal::GetCapturedStdout();
    int first = -1, next = -1, id = -1;
    ASSERT_TRUE(Code_Function_Find("motion_set", first));
    ASSERT_TRUE(Code_Function_Find("is_real", next));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(next - first, 83);
    const std::pair<const char*, int> counts[] = {{"path_start", 4},      {"path_end", 0},     {"mp_grid_path", 7},
                                                  {"mp_potential_path", 6}, {"action_path", 4}, {"action_path_speed", 1}};
    for (const auto& [name, count] : counts) {
        ASSERT_TRUE(Code_Function_Find(name, id)) << name;
        EXPECT_EQ(Code_Function_GetArgCount(id), count) << name;
    }
    Code_Function_Free();
}

// The vertex-buffer functions close the "Buffers.." group; the shader functions and then the
// vertex-format functions open "Shaders.."; each in its order with its argument count. Release mode
// swaps the thirteen switched writers in place.
TEST(BuiltinRegistry, VertexAndShaderGroupsInOrderWithTheirCounts) {
    Code_Function_Free();
    ::testing::internal::CaptureStdout();
    InitQNLFunctions();
    ::testing::internal::GetCapturedStdout();
    ExpectRun({{"vertex_create_buffer", 0}, {"vertex_create_buffer_ext", 1}, {"vertex_delete_buffer", 1},
               {"vertex_begin", 2}, {"vertex_end", 1}, {"vertex_position", 3}, {"vertex_position_3d", 4},
               {"vertex_colour", 3}, {"vertex_argb", 2}, {"vertex_texcoord", 3}, {"vertex_normal", 4},
               {"vertex_float1", 2}, {"vertex_float2", 3}, {"vertex_float3", 4}, {"vertex_float4", 5},
               {"vertex_ubyte4", 5}, {"vertex_submit", 3}, {"vertex_freeze", 1}});
    ExpectRun({{"shader_set", 1}, {"shader_reset", 0}, {"shader_get_uniform", 2}, {"shader_get_sampler_index", 2},
               {"shader_set_uniform_i", -1}, {"shader_set_uniform_f", -1}, {"shader_set_uniform_i_array", 2},
               {"shader_set_uniform_f_array", 2}, {"shader_set_uniform_matrix", 1},
               {"shader_set_uniform_matrix_array", 2}, {"shader_is_compiled", 1}, {"shaders_are_supported", 0},
               {"texture_set_stage", 2}, {"texture_get_texel_width", 1}, {"texture_get_texel_height", 1},
               {"vertex_format_begin", 0}, {"vertex_format_end", 0}, {"vertex_format_add_position", 0},
               {"vertex_format_add_position_3d", 0}, {"vertex_format_add_colour", 0},
               {"vertex_format_add_normal", 0}, {"vertex_format_add_textcoord", 0},
               {"vertex_format_add_custom", 2}});
    int submit = -1;
    ASSERT_TRUE(Code_Function_Find("vertex_submit", submit));
    const BuiltInFunctionFn checked = Code_Function_Entry(submit)->function;
    // qnl_release_mode(x): above 0.5 release mode, else the checked forms.
    const auto releaseMode = [](double x) {
        ScriptValue argument{}, result{};
        argument.real = x;
        ScriptValue* args[] = {&argument};
        Code_Function_Call(IndexOf("qnl_release_mode"), nullptr, nullptr, result, 1, args);
    };
    releaseMode(0.6);
    EXPECT_NE(Code_Function_Entry(submit)->function, checked);
    releaseMode(0.5);
    EXPECT_EQ(Code_Function_Entry(submit)->function, checked);
    SetReleaseMode(0);
    EXPECT_NE(Code_Function_Entry(submit)->function, checked);
    SetReleaseMode(1);
    Code_Function_Free();
}

// Each name is registered once, except the twelve resource functions registered under two argument
// counts; a second registration would never be found by name.
TEST(BuiltinRegistry, NamesAreRegisteredOnce) {
    Code_Function_Free();
    ::testing::internal::CaptureStdout();
    InitQNLFunctions();
    ::testing::internal::GetCapturedStdout();
    const std::set<std::string> twice = {
        "sprite_add", "sprite_create_from_screen", "sprite_add_from_screen", "sprite_create_from_surface",
        "sprite_add_from_surface", "sprite_replace", "background_create_color", "background_replace",
        "background_create_from_screen", "background_create_from_surface", "background_create_gradient",
        "background_add"};
    std::map<std::string, int> counts;
    for (int i = 0; i < Code_Function_Count(); ++i)
        ++counts[Code_Function_Entry(i)->name];
    for (const auto& [name, count] : counts)
        EXPECT_EQ(count, twice.count(name) ? 2 : 1) << name;
    for (const char* name : {"buffer_create", "ini_open", "md5_file", "display_get_gui_width", "Zebo_GetTimer"})
        EXPECT_EQ(counts[name], 1) << name;
    Code_Function_Free();
}

// The resource group opens with the sprite and background functions; twelve of them are registered
// twice, the count that a name finds first.
TEST(BuiltinRegistry, SpriteAndBackgroundResourceFunctionsOpenTheResourceGroup) {
    Code_Function_Free();
    ::testing::internal::CaptureStdout();
    InitQNLFunctions();
    ::testing::internal::GetCapturedStdout();
    ExpectRun({{"sprite_name", 1},
               {"sprite_exists", 1},
               {"sprite_add", 6},
               {"sprite_add", 8},
               {"sprite_replace", 7},
               {"sprite_replace", 9},
               {"sprite_duplicate", 1},
               {"sprite_assign", 2},
               {"sprite_merge", 2},
               {"sprite_set_alpha_from_sprite", 2},
               {"sprite_create_from_screen", 8},
               {"sprite_create_from_screen", 10},
               {"sprite_add_from_screen", 7},
               {"sprite_add_from_screen", 5},
               {"sprite_create_from_surface", 9},
               {"sprite_create_from_surface", 11},
               {"sprite_add_from_surface", 8},
               {"sprite_add_from_surface", 6},
               {"sprite_delete", 1},
               {"sprite_collision_mask", 9},
               {"sprite_save", 3},
               {"background_exists", 1},
               {"background_add", 3},
               {"background_add", 4},
               {"background_replace", 4},
               {"background_replace", 5},
               {"background_duplicate", 1},
               {"background_assign", 2},
               {"background_set_alpha_from_background", 2},
               {"background_create_color", 3},
               {"background_create_color", 4},
               {"background_create_gradient", 5},
               {"background_create_gradient", 6},
               {"background_create_from_screen", 6},
               {"background_create_from_screen", 7},
               {"background_create_from_surface", 7},
               {"background_create_from_surface", 8},
               {"background_delete", 1},
               {"background_save", 2}});
    Code_Function_Free();
}

// The font, object, room, timeline and script entries follow the sprite and background entries of the
// resource group, and the path entries close it, each with its argument count; event_inherited is in the misc group, sound_play in the
// sound group.
TEST(BuiltinRegistry, FontWorldEventAndSoundEntriesWithTheirCounts) {
    Code_Function_Free();
    ::testing::internal::CaptureStdout();
    InitQNLFunctions();
    ::testing::internal::GetCapturedStdout();
    ExpectRun({{"font_exists", 1},        {"font_get_name", 1},         {"font_get_fontname", 1},
               {"font_get_bold", 1},      {"font_get_italic", 1},       {"font_get_first", 1},
               {"font_get_last", 1},      {"font_get_size", 1},         {"font_add", 6},
               {"font_add_sprite", 4},    {"font_add_sprite_ext", 4},   {"font_replace", 7},
               {"font_replace_sprite", 5}, {"font_replace_sprite_ext", 5}, {"font_delete", 1},
               {"script_execute", -1},    {"object_set_parent", 2},     {"object_event_clear", 3},
               {"room_add", 0},           {"room_duplicate", 1},        {"room_assign", 2},
               {"room_instance_add", 4},  {"room_instance_clear", 1},   {"room_tile_add", 12},
               {"room_tile_clear", 1},    {"room_set_caption", 2},      {"room_set_code", 2},
               {"timeline_add", 0},       {"timeline_delete", 1},       {"timeline_clear", 1},
               {"timeline_moment_clear", 2}, {"timeline_moment_add_script", 3},
               {"path_exists", 1},        {"path_get_name", 1},         {"path_add", 0},
               {"path_delete", 1},        {"path_duplicate", 1},        {"path_assign", 2},
               {"path_append", 2},        {"path_add_point", 4},        {"path_insert_point", 5},
               {"path_change_point", 5},  {"path_delete_point", 2},     {"path_clear_points", 1},
               {"path_set_kind", 2},      {"path_set_closed", 2},       {"path_set_precision", 2},
               {"path_get_number", 1},    {"path_get_kind", 1},         {"path_get_closed", 1},
               {"path_get_precision", 1}, {"path_get_length", 1},       {"path_get_point_x", 2},
               {"path_get_point_y", 2},   {"path_get_point_speed", 2},  {"path_get_x", 2},
               {"path_get_y", 2},         {"path_get_speed", 2},        {"path_get_center_x", 1},
               {"path_get_center_y", 1},  {"path_shift", 3},            {"path_mirror", 1},
               {"path_flip", 1},          {"path_rotate", 2},           {"path_rescale", 3},
               {"path_reverse", 1}});
    EXPECT_GT(IndexOf("font_exists"), IndexOf("background_save"));
    EXPECT_EQ(IndexOf("show_message") - IndexOf("path_reverse"), 1);
    EXPECT_EQ(Code_Function_GetArgCount(IndexOf("event_inherited")), 0);
    EXPECT_GT(IndexOf("event_inherited"), IndexOf("part_type_create"));
    EXPECT_LT(IndexOf("event_inherited"), IndexOf("ds_set_precision"));
    EXPECT_EQ(Code_Function_GetArgCount(IndexOf("sound_play")), 1);
    EXPECT_GT(IndexOf("sound_play"), IndexOf("ds_set_precision"));
    EXPECT_LT(IndexOf("sound_play"), IndexOf("gamepad_is_supported"));
    Code_Function_Free();
}

// The groups, listed as registered, cover the whole table one after another.
TEST(BuiltinRegistry, EveryGroupsEntriesFollowTheLastGroups) {
    Code_Function_Free();
    ::testing::internal::CaptureStdout();
    const std::vector<BuiltinGroupEntries> groups = InitQNLFunctionsByGroup();
    ::testing::internal::GetCapturedStdout();
    std::string names;
    int next = 0;
    for (const BuiltinGroupEntries& g : groups) {
        names += g.name + " ";
        EXPECT_EQ(g.first, next) << g.name;
        EXPECT_LE(g.first, g.end) << g.name;
        next = g.end;
    }
    EXPECT_EQ(names, "HighScore Game Math Graphic Action File Resource Interaction 3D Particle Misc DS Sound DPlay "
                     "Physics Gamepad Buffers Networking Shaders Zebo ");
    EXPECT_EQ(next, Code_Function_Count());
    // The device mice are the platform services', not the window's.
    int id = -1;
    ASSERT_TRUE(Code_Function_Find("device_mouse_x", id));
    EXPECT_GE(id, groups.back().first);
    Code_Function_Free();
}
