#include "core/console.h"
#include "script/buffer.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "value_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class VariableList : public ::testing::Test {
protected:
    void TearDown() override { VariableList_State().Variable_UnsetIsError = false; }
    CVariableList list;
};

TEST_F(VariableList, SharedBucketsAndAbsentVariables) {
    ScriptValue one = RealValue(1), two = RealValue(2), out;
    list.SetVar(100000, -1, &one);
    list.SetVar(100064, -1, &two);
    ASSERT_NE(list.buckets[100000 % 64], nullptr);
    EXPECT_EQ(list.buckets[100000 % 64]->id, 100064); // newest first
    EXPECT_EQ(list.buckets[100000 % 64]->bucketNext->id, 100000);
    EXPECT_TRUE(list.GetVar(100000, -1, &out));
    EXPECT_EQ(out.real, 1);
    EXPECT_TRUE(list.GetVar(100064, -1, &out));
    EXPECT_EQ(out.real, 2);

    EXPECT_TRUE(list.GetVar(100001, -1, &out));
    EXPECT_EQ(out.real, 0);
    VariableList_State().Variable_UnsetIsError = true;
    EXPECT_FALSE(list.GetVar(100001, -1, &out));
    EXPECT_EQ(out.real, kUnsetVariableMarker);
    EXPECT_EQ(list.Count(), 2);
}

TEST_F(VariableList, IndexedWritesAndCopies) {
    ScriptValue one = RealValue(1);
    list.SetVar(100003, 5, &one);
    ScriptValue out;
    ASSERT_TRUE(list.GetVar(100003, -1, &out));
    ASSERT_EQ(out.arr->rowCount, 1);
    EXPECT_EQ(out.arr->rows[0].length, 6);
    Value_Free(&out);

    CVariableList copy;
    copy.CopyFrom(&list);
    ScriptValue seven = RealValue(7);
    copy.SetVar(100003, 0, &seven);
    ASSERT_TRUE(list.GetVar(100003, 0, &out));
    EXPECT_EQ(out.real, 0);
    ASSERT_TRUE(copy.GetVar(100003, 0, &out));
    EXPECT_EQ(out.real, 7);

    // A miss inside an array is recorded; the next access clears the record.
    EXPECT_FALSE(list.GetVar(100003, 9, &out));
    EXPECT_TRUE(ArrayIndexFailure.failed);
    list.GetVar(100003, 0, &out);
    EXPECT_FALSE(ArrayIndexFailure.failed);
}

TEST_F(VariableList, SaveAndLoad) {
    int hp = Code_Variable_FindOrAddUser("list_test_hp");
    int name = Code_Variable_FindOrAddUser("list_test_name");
    ScriptValue v = RealValue(12.5), s = StringValue("ann");
    list.SetVar(hp, -1, &v);
    list.SetVar(name, 2, &s);
    list.SetVar(kUserVariableBase + 5000000, -1, &v); // a variable the game does not have
    Buffer_Standard buffer(1, eBuffer_Grow, 1);
    list.Serialise(&buffer);
    int end = buffer.position;

    buffer.Seek(0, 0);
    CVariableList loaded;
    ScriptValue stale = RealValue(1);
    loaded.SetVar(100001, -1, &stale);
    ASSERT_TRUE(loaded.Deserialise(&buffer)); // the unknown name is skipped with a warning
    EXPECT_EQ(buffer.position, end);
    EXPECT_EQ(loaded.Count(), 2);
    ScriptValue out;
    ASSERT_TRUE(loaded.GetVar(hp, -1, &out));
    EXPECT_EQ(out.real, 12.5);
    ASSERT_TRUE(loaded.GetVar(name, -1, &out));
    EXPECT_EQ(TextOf(out), "{ 0,0,ann }");
    Value_Free(&out);
    Value_Free(&s);

    TErrStreamConsole console;
    loaded.Dump(&console);
    EXPECT_NE(std::string(console.Text()).find("list_test_hp(" + std::to_string(hp) + ") = 12.500000\n"),
              std::string::npos);

    // Two variables of one bucket keep their order: the loaded list saves to the same bytes.
    for (int i = 0; i < 65; ++i)
        Code_Variable_FindOrAddUser(("list_test_pad" + std::to_string(i)).c_str());
    CVariableList pair;
    pair.SetVar(hp, -1, &v);
    pair.SetVar(hp + 64, -1, &v);
    Buffer_Standard first(1, eBuffer_Grow, 1);
    pair.Serialise(&first);
    first.Seek(0, 0);
    ASSERT_TRUE(loaded.Deserialise(&first));
    Buffer_Standard second(1, eBuffer_Grow, 1);
    loaded.Serialise(&second);
    ASSERT_EQ(second.position, first.position);
    EXPECT_EQ(std::memcmp(first.data, second.data, static_cast<size_t>(first.position)), 0);
}

TEST_F(VariableList, BadCountsAndCutsStopTheLoad) {
    Code_Variable_FindOrAddUser("list_test_hp");
    for (int count : {-1, 0x7FFFFFFF, 2}) {
        Buffer_Standard buffer(1, eBuffer_Grow, 1);
        Buffer_WriteReal(&buffer, eBuffer_S32, count);
        buffer.WriteString("list_test_hp");
        ScriptValue v = RealValue(1);
        Value_Serialise(&v, &buffer);
        buffer.size = buffer.position;
        buffer.Seek(0, 0);
        EXPECT_FALSE(list.Deserialise(&buffer)) << count;
    }
    // Cut inside the name.
    Buffer_Standard buffer(1, eBuffer_Grow, 1);
    Buffer_WriteReal(&buffer, eBuffer_S32, 1);
    buffer.WriteString("list_test_hp");
    buffer.size = 9;
    buffer.Seek(0, 0);
    EXPECT_FALSE(list.Deserialise(&buffer));
}

} // namespace

TEST_F(VariableList, ListsGivenTheSameIdsInOrderShareALayout) {
    CVariableList same, other;
    for (int id : {100005, 100002, 100069})
        list.Declare(id);
    for (int id : {100005, 100002, 100069})
        same.Declare(id);
    for (int id : {100002, 100005, 100069})
        other.Declare(id);
    EXPECT_EQ(list.Layout(), same.Layout());
    EXPECT_NE(list.Layout(), other.Layout());
    EXPECT_EQ(list.PositionOf(100002), 1);
    EXPECT_EQ(other.PositionOf(100002), 0);
    EXPECT_EQ(list.PositionOf(100003), -1);
    // A value stays where it is while the list grows, and an emptied list starts again from no layout.
    ScriptValue* held = list.At(0);
    for (int id = 100100; id < 100200; ++id)
        list.Declare(id);
    EXPECT_EQ(list.At(0), held);
    EXPECT_EQ(list.Slot(100005), held);
    const VariableLayout* grown = list.Layout();
    list.Clear();
    same.Clear();
    EXPECT_EQ(list.Layout(), same.Layout());
    EXPECT_NE(list.Layout(), grown);
    EXPECT_TRUE(list.LayoutShared());
}
