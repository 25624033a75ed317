#include "runner/builtin_registry.h"

#include "script/functions.h"

#include <gtest/gtest.h>

TEST(BuiltinRegistry, RegistrationTracesEveryGroupOnOneLine) {
    Code_Function_Free();
    ::testing::internal::CaptureStdout();
    InitQNLFunctions();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "HighScore..Game..Math..Graphic..Action..File..Resource..Interaction..3D..Particle..Misc..DS.."
              "Sound..DPlay..Physics..Gamepad..Buffers..Networking..Shaders..Zebo..Fini\n");
    Code_Function_Free();
}

