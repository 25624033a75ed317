// Calls of the game group's built-ins through the function table, on instances of a test room.
#pragma once

#include "world_fixture.h"

#include "core/text.h"
#include "support/fatal_errors.h"
#include "script/functions.h"
#include "script/value.h"
#include "world/functions_game.h"

#include <initializer_list>
#include <string>
#include <vector>

// An argument: a real, or a string when text is set.
struct Arg {
    Arg(double v) : real(v) {}
    Arg(int v) : real(v) {}
    Arg(const char* t) : text(t) {}
    double real = 0;
    const char* text = nullptr;
};

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
        int id = -1;
        EXPECT_TRUE(Code_Function_Find(name, id)) << name;
        std::vector<ScriptValue> values(args.size());
        std::vector<ScriptValue*> pointers;
        size_t i = 0;
        for (const Arg& arg : args) {
            if (arg.text) {
                values[i].kind = KIND_STRING;
                values[i].str = String_Duplicate(arg.text);
            } else {
                Value_SetReal(&values[i], arg.real);
            }
            pointers.push_back(&values[i++]);
        }
        ScriptValue result;
        Code_Function_Call(id, self, other ? other : self, result, static_cast<int>(args.size()),
                           pointers.data());
        for (ScriptValue& v : values)
            Value_Free(&v);
        const double real = Value_Real(&result);
        Value_Free(&result);
        return real;
    }

    // An object whose instances are solid (or not), with a sprite of the given size.
    static int SolidObject(int w, int h, bool solid = true, int parent = -1) {
        int o = AddObject(parent);
        Object_Data(o)->sprite = AddSprite(w, h);
        if (solid) Object_Data(o)->flags |= OBJECT_SOLID;
        return o;
    }

    static std::string LastError() { return Code_LastErrorText ? Code_LastErrorText : ""; }
};
