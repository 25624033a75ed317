// Calls of the game group's built-ins through the function table, on instances of a test room.
#pragma once

#include "world_fixture.h"

#include "library/builtin_test_util.h"
#include "script/functions.h"
#include "script/value.h"
#include "support/fatal_errors.h"
#include "world/game_builtins.h"

#include <initializer_list>
#include <string>
#include <vector>

class GameFunctionTest : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        int id;
        if (!Code_Function_Find("instance_create", id)) InitGameFunctions();
        TakeFatalErrors();
    }

    // The real result of the built-in called for self and other.
    static double Call(const char* name, CInstance* self, std::initializer_list<Arg> args = {},
                       CInstance* other = nullptr) {
        Result result = CallBuiltIn(name, args, self, other);
        return Value_Real(&result.v);
    }

    static std::string LastError() {
        return CodeError_State().Code_LastErrorText ? CodeError_State().Code_LastErrorText : "";
    }
};
