#include "core/console.h"
#include "script/buffer.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/world_interface.h"
#include "support/fake_world.h"
#include "value_test_util.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>

namespace {

// The fake room, with two slots an instance and one built-in variable kept beside each instance.
class SlotWorld : public FakeWorld {
public:
    ~SlotWorld() override {
        for (auto& [instance, slots] : slotValues)
            for (ScriptValue& v : slots)
                Value_Free(&v);
    }
    CInstance* AddInstance(int id, int object) { return AsInstance(Add(id, object)); }
    ScriptValue* InstanceSlot(CInstance* i, int slot) override {
        return slot >= 0 && slot < 2 ? &slotValues[i][slot] : nullptr;
    }
    std::map<CInstance*, std::array<ScriptValue, 2>> slotValues;
};

std::map<CInstance*, double> g_builtIn;

bool GetBuiltIn(CInstance* self, int, ScriptValue* out) {
    Value_SetReal(out, self ? g_builtIn[self] : -1);
    return true;
}
bool SetBuiltIn(CInstance* self, int, ScriptValue* in) {
    g_builtIn[self] = Value_Real(in);
    return true;
}

CVariableList& VarsOf(CInstance* i) {
    return FakeWorld::Of(i)->variables;
}

class Variables : public ::testing::Test {
protected:
    void SetUp() override {
        Variable_Free();
        Variable_InitGlobals();
        VariableList_State().Variable_UnsetIsError = false;
        ScriptWorld_Install(&world);
    }
    void TearDown() override {
        ScriptWorld_Install(nullptr);
        Variable_Free();
        VariableList_State().Variable_UnsetIsError = false;
    }
    double Read(CInstance* i, int id) {
        ScriptValue out;
        EXPECT_TRUE(Variable_GetValue(i, id, -1, &out));
        return Value_Real(&out);
    }
    SlotWorld world;
};

TEST_F(Variables, NamesAndIds) {
    Variable_BuiltIn_Add("x", GetBuiltIn, SetBuiltIn, false);
    int id = Code_Variable_FindAlloc("names_test_score");
    EXPECT_GE(id, kUserVariableBase);
    EXPECT_EQ(Code_Variable_FindAlloc("names_test_score"), id);
    EXPECT_EQ(Code_Variable_FindUser("names_test_score"), id);
    EXPECT_EQ(Code_Variable_FindUser("names_test_Score"), -1); // case matters
    EXPECT_EQ(Code_Variable_FindAlloc("x"), 0);
    EXPECT_STREQ(Code_Variable_GetName(id), "names_test_score");
    EXPECT_STREQ(Code_Variable_GetName(0), "x");
    EXPECT_STREQ(Code_Variable_GetName(7), "<unknown built-in variable>");
    EXPECT_STREQ(Code_Variable_GetName(kUserVariableBase + 1000000), "<unknown variable>");
}

TEST_F(Variables, BuiltInTable) {
    Variable_BuiltIn_Add("rw", GetBuiltIn, SetBuiltIn, false);
    Variable_BuiltIn_Add("ro", GetBuiltIn, nullptr, true);
    CInstance* self = world.AddInstance(100001, 0);
    ScriptValue five = RealValue(5);
    EXPECT_TRUE(Variable_SetValue(self, 0, -1, &five));
    EXPECT_EQ(Read(self, 0), 5);
    EXPECT_FALSE(Variable_SetValue(self, 1, -1, &five));

    // Ids that name no registered entry are refused, never used as an index.
    ScriptValue out;
    for (int id : {2, 196, 9999, -1, INT32_MIN}) {
        EXPECT_FALSE(Variable_GetValue(self, id, -1, &out)) << id;
        EXPECT_FALSE(Variable_SetValue(self, id, -1, &five)) << id;
    }
    EXPECT_EQ(g_builtIn[self], 5);
    // Without an instance there is no list: a write is dropped, a read fails.
    EXPECT_TRUE(Variable_SetValue(nullptr, 100005, -1, &five));
    EXPECT_FALSE(Variable_GetValue(nullptr, 100005, -1, &out));

    for (int i = 2; i < kMaxBuiltInVariables + 3; ++i)
        Variable_BuiltIn_Add("filler", GetBuiltIn, nullptr, false);
    EXPECT_EQ(Variable_BuiltIn_Count(), kMaxBuiltInVariables);
    EXPECT_EQ(Variable_BuiltIn_Find("filler"), 2);
}

TEST_F(Variables, Targets) {
    ScriptValue v = RealValue(4), out;
    EXPECT_FALSE(Variable_GetOnTarget(-3, 100000, -1, &out));  // no instances
    EXPECT_TRUE(Variable_SetOnTarget(100500, 100000, -1, &v)); // no such instance
    EXPECT_FALSE(Variable_GetOnTarget(100500, 100000, -1, &out));
    EXPECT_FALSE(Variable_SetOnTarget(-8, 100000, -1, &v));

    CInstance* off = world.AddInstance(100001, 7);
    CInstance* on = world.AddInstance(100002, 7);
    CInstance* gone = world.AddInstance(100003, 7);
    CInstance* moved = world.AddInstance(100004, 8);
    FakeWorld::Of(off)->deactivated = true;
    FakeWorld::Of(gone)->marked = true;
    EXPECT_TRUE(Variable_SetOnTarget(7, 100000, -1, &v));
    EXPECT_EQ(Read(on, 100000), 4);
    ScriptValue absent;
    VariableList_State().Variable_UnsetIsError = true;
    EXPECT_FALSE(VarsOf(off).GetVar(100000, -1, &absent));
    EXPECT_FALSE(VarsOf(gone).GetVar(100000, -1, &absent));
    VariableList_State().Variable_UnsetIsError = false;

    // A deactivated instance is still read by id; a marked one is not.
    EXPECT_TRUE(Variable_GetOnTarget(100001, 100000, -1, &out));
    EXPECT_FALSE(Variable_GetOnTarget(100003, 100000, -1, &out));

    // An object without active instances of its own is found among the changed ones.
    FakeWorld::Of(moved)->object = 9;
    world.changedObject.push_back(FakeWorld::Of(moved));
    ScriptValue nine = RealValue(9);
    EXPECT_TRUE(Variable_SetOnTarget(9, 100000, -1, &nine));
    EXPECT_TRUE(Variable_GetOnTarget(9, 100000, -1, &out));
    EXPECT_EQ(out.real, 9);

    EXPECT_TRUE(Variable_SetSlotOnTarget(-3, 1, 1, &nine));
    EXPECT_EQ(Element(*world.InstanceSlot(on, 1), 0, 1).real, 9);
    EXPECT_EQ(world.InstanceSlot(off, 1)->kind, KIND_REAL);
    EXPECT_TRUE(Variable_GetSlotOnTarget(100002, 1, 1, &out));
    EXPECT_EQ(out.real, 9);
    EXPECT_TRUE(Variable_SetSlotOnTarget(-3, 5, -1, &nine)); // a slot no instance has
}

TEST_F(Variables, GlobalsSaveAndLoad) {
    int score = Code_Variable_FindOrAddUser("globals_test_score");
    int lives = Code_Variable_FindOrAddUser("globals_test_lives");
    ScriptValue v = StringValue("top");
    Variable_SetGlobal(score, -1, &v);
    Variable_DeclareGlobal(lives);
    Variable_DeclareGlobal(kUserVariableBase + 12500); // the flags grow from 10000 to 13000
    Variable_DeclareGlobal(-5);
    Buffer_Standard buffer(1, eBuffer_Grow, 1);
    Variable_SerialiseGlobals(&buffer);
    int end = buffer.position;
    int32_t flagCount;
    std::memcpy(&flagCount, buffer.data + end - 13000 * 4 - 4, 4);
    EXPECT_EQ(flagCount, 13000);

    Variable_InitGlobals();
    buffer.Seek(0, 0);
    ASSERT_TRUE(Variable_DeserialiseGlobals(&buffer));
    EXPECT_EQ(buffer.position, end);
    ScriptValue out;
    EXPECT_TRUE(Variable_GetGlobal(score, -1, &out));
    EXPECT_STREQ(Value_Text(&out), "top");
    EXPECT_TRUE(Variable_IsGlobalDeclared(lives));
    EXPECT_TRUE(Variable_IsGlobalDeclared(kUserVariableBase + 12500));
    EXPECT_FALSE(Variable_IsGlobalDeclared(score));
    Value_Free(&out);
    Value_Free(&v);

    // A flag count that is negative, or larger than the bytes left, stops the load.
    for (int bad : {-1, 3}) {
        Buffer_Standard saved(1, eBuffer_Grow, 1);
        Buffer_WriteReal(&saved, eBuffer_S32, 0); // an empty list
        Buffer_WriteReal(&saved, eBuffer_S32, bad);
        Buffer_WriteReal(&saved, eBuffer_S32, 1);
        Buffer_WriteReal(&saved, eBuffer_S32, 1);
        saved.size = saved.position;
        saved.Seek(0, 0);
        EXPECT_FALSE(Variable_DeserialiseGlobals(&saved)) << bad;
    }
}

} // namespace
