#include "script/functions.h"

#include "core/text.h"
#include "script/value.h"
#include "script/vm/vm_error.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

void SetsOne(ScriptValue& result, CInstance*, CInstance*, int, ScriptValue*) {
    Value_SetReal(&result, 1);
}
void SetsTwo(ScriptValue& result, CInstance*, CInstance*, int, ScriptValue*) {
    Value_SetReal(&result, 2);
}

class FunctionTable : public ::testing::Test {
protected:
    void SetUp() override { Code_Function_Free(); }
    void TearDown() override {
        Code_Function_Free();
        Code_Function_SetLookup({});
    }

    static double CallReal(int index) {
        ScriptValue result{};
        Code_Function_Call(index, nullptr, nullptr, result, 0, nullptr);
        return result.real;
    }
};

TEST_F(FunctionTable, FirstRegistrationOfANameIsFoundAndReplaced) {
    Code_Function_Add("other", SetsOne, 0);
    Code_Function_Add("sprite_add", SetsOne, 6);
    Code_Function_Add("sprite_add", SetsOne, 8, true);

    int id = -2;
    ASSERT_TRUE(Code_Function_Find("sprite_add", id));
    EXPECT_EQ(id, 1);
    EXPECT_EQ(Code_Function_GetArgCount(id), 6);
    EXPECT_EQ(Code_Function_GetArgCount(2), 8);
    EXPECT_FALSE(Code_Function_Find("Sprite_add", id));
    EXPECT_EQ(id, -1);
    EXPECT_FALSE(Code_Function_Find("", id));

    // A function put in place of another does not keep what the old one promised.
    Code_Function_SetPureOnReals(1);
    Code_Function_SetKeepsInstances(1);
    Code_Function_Replace("sprite_add", SetsTwo);
    Code_Function_Replace("no_such_function", SetsTwo);
    EXPECT_FALSE(Code_Function_Entry(1)->pureOnReals);
    EXPECT_FALSE(Code_Function_Entry(1)->keepsInstances);
    EXPECT_EQ(CallReal(0), 1);
    EXPECT_EQ(CallReal(1), 2);
    EXPECT_EQ(CallReal(2), 1);
}

TEST_F(FunctionTable, ScriptsHideExtensionsWhichHideBuiltIns) {
    Code_Function_Add("shared", SetsOne, 1);
    Code_Function_Add("ext_and_builtin", SetsOne, -1);
    Code_Function_SetLookup({
        [](const char* name) { return std::strcmp(name, "shared") == 0 ? 3 : -1; },
        [](const char* name) { return std::strstr("shared ext_and_builtin", name) ? 2 : -1; },
        [](int index) { return index == 2 ? 4 : -100; },
    });

    int id;
    ASSERT_TRUE(Code_Function_Find("shared", id));
    EXPECT_EQ(id, 100003);
    ASSERT_TRUE(Code_Function_Find("ext_and_builtin", id));
    EXPECT_EQ(id, 500002);
    EXPECT_EQ(Code_Function_GetArgCount(500002), 4);
    EXPECT_EQ(Code_Function_GetArgCount(500007), -100);
    EXPECT_EQ(Code_Function_GetArgCount(100005), -1);
    EXPECT_EQ(Code_Function_GetArgCount(1), -1);
    EXPECT_EQ(Code_Function_GetArgCount(2), -100);
    EXPECT_EQ(Code_Function_GetArgCount(-1), -100);

    Code_Function_SetLookup({});
    ASSERT_TRUE(Code_Function_Find("shared", id));
    EXPECT_EQ(id, 0);
}

TEST_F(FunctionTable, GrowthKeepsEveryEntryAtItsIndex) {
    for (int i = 0; i < 1840; ++i)
        Code_Function_Add(("f" + std::to_string(i)).c_str(), SetsOne, i % 17);
    for (int i : {0, 499, 500, 1839}) {
        int id;
        ASSERT_TRUE(Code_Function_Find(("f" + std::to_string(i)).c_str(), id));
        EXPECT_EQ(id, i);
        EXPECT_EQ(Code_Function_GetArgCount(id), i % 17);
    }
}

// A callee that changes every argument it is given: writes into arrays, frees strings, overwrites reals.
void Vandal(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    for (int i = 0; i < argc; ++i) {
        ScriptValue v{};
        Value_SetReal(&v, 99);
        if (args[i].IsArray()) Value_AssignIndexed(&args[i], &v, 0);
        Value_Free(&args[i]);
        Value_SetReal(&args[i], -1);
    }
    Value_SetReal(&result, argc);
}

TEST_F(FunctionTable, CallHandsTheCalleeCopiesOfTheArguments) {
    Code_Function_Add("vandal", Vandal, -1);

    // More than the call keeps on its own stack, so both kinds of temporaries are used.
    constexpr int kCount = 20;
    ScriptValue values[kCount] = {};
    ScriptValue* pointers[kCount];
    for (int i = 0; i < kCount; ++i) {
        pointers[i] = &values[i];
        ScriptValue seven{};
        Value_SetReal(&seven, 7);
        if (i % 3 == 0) {
            values[i].kind = KIND_STRING;
            values[i].str = String_Duplicate("text");
        } else if (i % 3 == 1) {
            Value_SetReal(&values[i], i);
        } else {
            Value_AssignIndexed(&values[i], &seven, 0);
        }
    }

    for (int argc : {3, kCount}) {
        ScriptValue result{};
        Code_Function_Call(0, nullptr, nullptr, result, argc, pointers);
        EXPECT_EQ(result.real, argc);
        for (int i = 0; i < kCount; ++i) {
            SCOPED_TRACE(i);
            if (i % 3 == 0) {
                EXPECT_STREQ(values[i].str, "text");
            } else if (i % 3 == 1) {
                EXPECT_EQ(values[i].real, i);
            } else {
                ScriptValue element{};
                ASSERT_TRUE(Value_ArrayGet(&element, &values[i], 0));
                EXPECT_EQ(element.real, 7);
                EXPECT_EQ(values[i].arr->refCount, 1);
            }
        }
    }
    for (ScriptValue& v : values)
        Value_Free(&v);
}

TEST_F(FunctionTable, CallOutsideTheTableIsRefusedWithAnError) {
    static int calls = 0;
    Code_Function_Add(
        "counted", [](ScriptValue&, CInstance*, CInstance*, int, ScriptValue*) { ++calls; }, 0);
    for (int index : {-1, 1, 100000}) {
        VM_ErrorRaised = false;
        EXPECT_EQ(CallReal(index), 0);
        EXPECT_TRUE(VM_ErrorRaised) << index;
    }
    EXPECT_EQ(calls, 0);
    VM_ErrorRaised = false;
}

} // namespace
