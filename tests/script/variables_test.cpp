#include "core/console.h"
#include "library/buffer.h"
#include "script/script_world.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "value_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// The instances of the tests: each keeps a variable list and two slots. The engine sees them only as
// opaque CInstance pointers, which the fake world turns back into these.
class TestInstance {
public:
    TestInstance(int id_, int object_) : id(id_), object(object_) {}
    ~TestInstance() {
        for (ScriptValue& v : slots)
            Value_Free(&v);
    }
    int id;
    int object;
    bool marked = false;
    bool deactivated = false;
    double builtIn = 0;
    CVariableList vars;
    ScriptValue slots[2];
};

CInstance* Handle(TestInstance* i) {
    return reinterpret_cast<CInstance*>(i);
}
TestInstance* Fake(CInstance* i) {
    return reinterpret_cast<TestInstance*>(i);
}

class FakeWorld : public IScriptWorld {
public:
    CInstance* Add(int id, int object) {
        instances.push_back(std::make_unique<TestInstance>(id, object));
        return Handle(instances.back().get());
    }
    CInstance* FindInstance(int id) override {
        for (auto& i : instances)
            if (i->id == id) return Handle(i.get());
        return nullptr;
    }
    CVariableList* InstanceVariables(CInstance* i) override { return &Fake(i)->vars; }
    ScriptValue* InstanceSlot(CInstance* i, int slot) override {
        return slot >= 0 && slot < 2 ? &Fake(i)->slots[slot] : nullptr;
    }
    int ObjectIndexOf(CInstance* i) override { return Fake(i)->object; }
    bool IsMarked(CInstance* i) override { return Fake(i)->marked; }
    bool IsDeactivated(CInstance* i) override { return Fake(i)->deactivated; }
    void VisitInstances(ScriptInstanceList list, int objectIndex,
                        const std::function<bool(CInstance*)>& visit) override {
        std::vector<CInstance*> members;
        if (list == ScriptInstanceList::ChangedObject) members = changedObject;
        if (list == ScriptInstanceList::ActivationChange) members = activationChange;
        for (auto& i : instances) {
            if (list == ScriptInstanceList::Room ||
                (list == ScriptInstanceList::Object && i->object == objectIndex))
                members.push_back(Handle(i.get()));
        }
        for (CInstance* i : members)
            if (!visit(i)) return;
    }

    std::vector<std::unique_ptr<TestInstance>> instances;
    std::vector<CInstance*> changedObject, activationChange;
};

bool GetBuiltIn(CInstance* self, int, ScriptValue* out) {
    Value_SetReal(out, self ? Fake(self)->builtIn : -1);
    return true;
}
bool SetBuiltIn(CInstance* self, int, ScriptValue* in) {
    Fake(self)->builtIn = Value_Real(in);
    return true;
}

class Variables : public ::testing::Test {
protected:
    void SetUp() override {
        Variable_Free();
        Variable_InitGlobals();
        Variable_UnsetIsError = false;
        ScriptWorld_Install(&world);
    }
    void TearDown() override {
        ScriptWorld_Install(nullptr);
        Variable_Free();
        Variable_UnsetIsError = false;
    }
    double Read(CInstance* i, int id) {
        ScriptValue out;
        EXPECT_TRUE(Variable_GetValue(i, id, -1, &out));
        return Value_Real(&out);
    }
    FakeWorld world;
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
    CInstance* self = world.Add(100001, 0);
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
    EXPECT_EQ(Fake(self)->builtIn, 5);
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

    CInstance* off = world.Add(100001, 7);
    CInstance* on = world.Add(100002, 7);
    CInstance* gone = world.Add(100003, 7);
    CInstance* moved = world.Add(100004, 8);
    Fake(off)->deactivated = true;
    Fake(gone)->marked = true;
    EXPECT_TRUE(Variable_SetOnTarget(7, 100000, -1, &v));
    EXPECT_EQ(Read(on, 100000), 4);
    ScriptValue absent;
    Variable_UnsetIsError = true;
    EXPECT_FALSE(Fake(off)->vars.GetVar(100000, -1, &absent));
    EXPECT_FALSE(Fake(gone)->vars.GetVar(100000, -1, &absent));
    Variable_UnsetIsError = false;

    // A deactivated instance is still read by id; a marked one is not.
    EXPECT_TRUE(Variable_GetOnTarget(100001, 100000, -1, &out));
    EXPECT_FALSE(Variable_GetOnTarget(100003, 100000, -1, &out));

    // An object without active instances of its own is found among the changed ones.
    Fake(moved)->object = 9;
    world.changedObject.push_back(moved);
    ScriptValue nine = RealValue(9);
    EXPECT_TRUE(Variable_SetOnTarget(9, 100000, -1, &nine));
    EXPECT_TRUE(Variable_GetOnTarget(9, 100000, -1, &out));
    EXPECT_EQ(out.real, 9);

    EXPECT_TRUE(Variable_SetSlotOnTarget(-3, 1, 1, &nine));
    EXPECT_EQ(Element(Fake(on)->slots[1], 0, 1).real, 9);
    EXPECT_EQ(Fake(off)->slots[1].kind, KIND_REAL);
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
