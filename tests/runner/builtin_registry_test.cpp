#include "runner/builtin_registry.h"

#include "script/functions.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

int IndexOf(const char* name) {
    int id = -1;
    EXPECT_TRUE(Code_Function_Find(name, id)) << name;
    return id;
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
