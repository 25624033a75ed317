#include "core/console.h"
#include "core/memory.h"
#include "script/value.h"
#include "script/vm/vm_error.h"
#include "value_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// value[index] = d through the assignment path scripts use.
void Assign(ScriptValue* value, int index, double d) {
    ScriptValue element = RealValue(d);
    Value_AssignIndexed(value, &element, index);
}

TEST(ValueArray, CopyOnWrite) {
    ScriptValue a, b;
    Assign(&a, 0, 7);
    ScriptArray* shared = a.arr;
    EXPECT_EQ(shared->owner, &a);

    Value_AssignIndexed(&b, &a, -1); // b = a shares
    EXPECT_EQ(b.arr, shared);
    EXPECT_EQ(shared->refCount, 2);

    // The owner writes in place and the sharer sees it.
    Assign(&a, 0, 8);
    EXPECT_EQ(b.arr, shared);
    EXPECT_EQ(Element(b, 0, 0).real, 8);

    // Any other holder gets its own clone first.
    Assign(&b, 0, 1);
    EXPECT_NE(b.arr, shared);
    EXPECT_EQ(shared->refCount, 1);
    EXPECT_EQ(b.arr->refCount, 1);
    EXPECT_EQ(b.arr->owner, &b);
    EXPECT_EQ(Element(a, 0, 0).real, 8);
    EXPECT_EQ(Element(b, 0, 0).real, 1);

    // An array whose owner let it go is taken over by the next writer in place.
    ScriptValue c;
    Value_AssignIndexed(&c, &a, -1);
    Value_Free(&a);
    EXPECT_EQ(shared->owner, nullptr);
    Assign(&c, 1, 3);
    EXPECT_EQ(c.arr, shared);
    EXPECT_EQ(shared->owner, &c);

    Value_Free(&b);
    Value_Free(&c);
    EXPECT_EQ(a.kind, KIND_REAL);
}

TEST(ValueArray, NestedArraysAreSharedAndFreedOnce) {
    ScriptValue inner, outer, other;
    Assign(&inner, 0, 1);
    Value_AssignIndexed(&outer, &inner, 2); // outer[2] = inner
    EXPECT_EQ(inner.arr->refCount, 2);
    ScriptArray* innerArray = inner.arr;

    // A clone copies elements, so the inner array is shared once more, not cloned.
    Value_Duplicate(&other, &outer);
    EXPECT_NE(other.arr, outer.arr);
    EXPECT_EQ(outer.arr->refCount, 1);
    EXPECT_EQ(innerArray->refCount, 3);

    Value_Free(&outer);
    Value_Free(&other);
    EXPECT_EQ(innerArray->refCount, 1);
    EXPECT_EQ(Element(inner, 0, 0).real, 1);
    Value_Free(&inner);
}

// Freeing a row passes over its reals in groups: the texts and arrays between them, at every place in
// a group and in the tail after the last whole group, are freed all the same.
TEST(ValueArray, FreeingFindsTextsAndArraysAmongReals) {
    const int64_t blocks = MemoryManager::BlockCount();
    for (int at = 0; at < 11; ++at) {
        ScriptValue array, inner, text = StringValue("t");
        Assign(&inner, 0, 1);
        for (int i = 0; i < 11; ++i)
            Assign(&array, i, i);
        Value_AssignIndexed(&array, &text, at);
        Value_AssignIndexed(&array, &inner, 10 - at);
        Value_AssignIndexed(&array, &text, 32000 + at); // a second row
        Value_Free(&inner);
        Value_Free(&text);
        Value_Free(&array);
        EXPECT_EQ(MemoryManager::BlockCount(), blocks) << at;
    }
}

TEST(ValueArray, SelfReferencesStayValid) {
    // The source lives inside the destination's array, or is the destination.
    ScriptValue a;
    ScriptValue text = StringValue("long enough text");
    Value_AssignIndexed(&a, &text, 1);
    Value_AssignIndexed(&a, &Element(a, 0, 1), 40); // the row grows while the source is read
    EXPECT_STREQ(Element(a, 0, 40).str, "long enough text");
    Value_AssignIndexed(&a, &Element(a, 0, 40), -1); // a = a[40]: the array goes after the copy
    EXPECT_STREQ(a.str, "long enough text");
    Value_AssignIndexed(&a, &a, 3); // a[3] = a, a string
    EXPECT_TRUE(a.IsArray());
    EXPECT_STREQ(Element(a, 0, 3).str, "long enough text");
    Value_Free(&a);
    Value_Free(&text);
}

TEST(ValueArray, AnArrayNeverHoldsItself) {
    // a[1] = a stores a as it stands.
    ScriptValue a, b;
    Assign(&a, 0, 1);
    Value_AssignIndexed(&a, &a, 1);
    EXPECT_EQ(TextOf(a), "{ 1,{ 1 } }");
    // b shared inside a; then b[0] = a through a shared copy of b, as array_set writes: the arrays on the
    // way from a back to b are cloned, the others stay shared.
    Assign(&b, 0, 0);
    Value_AssignIndexed(&a, &b, 2);
    ScriptValue c;
    Assign(&c, 0, 5);
    Value_AssignIndexed(&a, &c, 3);
    ScriptValue sharedB;
    Value_Copy(&sharedB, &b);
    Value_ArraySet(&sharedB, &a, 0);
    EXPECT_EQ(TextOf(b), "{ { 1,{ 1 },{ 0 },{ 5 } } }");
    EXPECT_EQ(Element(a, 0, 2).arr, b.arr);
    EXPECT_NE(Element(b, 0, 0).arr, a.arr);
    EXPECT_EQ(Element(Element(b, 0, 0), 0, 3).arr, c.arr);
    EXPECT_EQ(c.arr->refCount, 3);
    // Written directly through its only holder.
    Value_ArraySet(&a, &a, 4);
    EXPECT_NE(Element(a, 0, 4).arr, a.arr);
    // Everything is freed with its holders (the leak checker sees any array left).
    for (ScriptValue* v : {&a, &b, &c, &sharedB})
        Value_Free(v);
}

TEST(ValueArray, ElementAddressing) {
    ScriptValue a, out;
    Assign(&a, 32005, 9);
    ASSERT_EQ(a.arr->rowCount, 2);
    EXPECT_EQ(a.arr->rows[0].length, 0);
    ASSERT_EQ(a.arr->rows[1].length, 6);
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(Element(a, 1, c).real, 0);
    EXPECT_TRUE(Value_ArrayGet(&out, &a, 32005));
    EXPECT_EQ(out.real, 9);

    ArrayIndexFailure = {};
    EXPECT_FALSE(Value_ArrayGet(&out, &a, 32006));
    EXPECT_EQ(out.real, 0);
    EXPECT_TRUE(ArrayIndexFailure.failed);
    EXPECT_EQ(ArrayIndexFailure.row, 1);
    EXPECT_EQ(ArrayIndexFailure.column, 6);
    EXPECT_EQ(ArrayIndexFailure.rowCount, 2);
    EXPECT_EQ(ArrayIndexFailure.rowLength, 6);
    EXPECT_FALSE(Value_ArrayGet(&out, &a, 2 * kArrayRowStride));
    EXPECT_EQ(ArrayIndexFailure.rowLength, -1);

    // A negative row or column writes nothing.
    ArrayIndexFailure = {};
    Assign(&a, -5, 1);
    EXPECT_TRUE(ArrayIndexFailure.failed);
    EXPECT_EQ(ArrayIndexFailure.column, -5);
    EXPECT_EQ(a.arr->rows[0].length, 0);
    Value_Free(&a);
}

TEST(ValueArray, IndexingANonArrayIsARunTimeError) {
    ScriptValue s = StringValue("abc"), out;
    VM_ErrorRaised = false;
    EXPECT_TRUE(Value_ArrayGet(&out, &s, -1));
    EXPECT_FALSE(VM_ErrorRaised);
    EXPECT_TRUE(Value_ArrayGet(&out, &s, 3));
    EXPECT_TRUE(VM_ErrorRaised);
    EXPECT_STREQ(out.str, "abc");
    Value_Free(&out);
    Value_Free(&s);
}

TEST(Value, ArgToInt) {
    ScriptValue v = RealValue(2.7);
    EXPECT_EQ(Value_ArgToInt(&v, 0), 2);
    v.real = -2.7;
    EXPECT_EQ(Value_ArgToInt(&v, 0), -2);
    for (double d : {std::nan(""), 3e9, -3e9, std::numeric_limits<double>::infinity()}) {
        v.real = d;
        EXPECT_EQ(Value_ArgToInt(&v, 0), INT32_MIN) << d;
    }
    ScriptValue s = StringValue("5");
    VM_ErrorRaised = false;
    EXPECT_EQ(Value_ArgToInt(&s, 1), 0);
    EXPECT_TRUE(VM_ErrorRaised);
    Value_Free(&s);
}

// Appending grows the text's block to twice what it needs, so that later pieces go in place; a text may
// be appended to itself.
TEST(ValueText, AppendedTextsGrowTheirBlockInPlace) {
    ScriptValue a = StringValue("abc");
    Value_AppendToText(&a, "defg");
    const char* block = a.str;
    Value_AppendToText(&a, "h");
    EXPECT_EQ(a.str, block);
    EXPECT_STREQ(a.str, "abcdefgh");
    Value_AppendToText(&a, a.str);
    EXPECT_STREQ(a.str, "abcdefghabcdefgh");
    Value_Free(&a);
}

TEST(ValueText, Reals) {
    EXPECT_EQ(TextOf(RealValue(3)), "3");
    EXPECT_EQ(TextOf(RealValue(2.5)), "2.50");
    EXPECT_EQ(TextOf(RealValue(-0.0)), "0");
    EXPECT_EQ(TextOf(RealValue(std::nan(""))), "NaN");
    EXPECT_EQ(TextOf(RealValue(-2147483648.0)), "-2147483648");
    // Whole numbers beyond int32 print exactly.
    EXPECT_EQ(TextOf(RealValue(3000000000.0)), "3000000000");
    EXPECT_EQ(TextOf(RealValue(1e20)), "100000000000000000000");
    EXPECT_EQ(TextOf(RealValue(-std::numeric_limits<double>::infinity())), "-inf");
}

TEST(ValueText, OtherKinds) {
    ScriptValue s = StringValue("abc"), a;
    EXPECT_EQ(TextOf(s), "abc");
    EXPECT_EQ(TextOf(StringValue(nullptr)), "");
    Assign(&a, 0, 1);
    Assign(&a, 1, 2);
    EXPECT_EQ(TextOf(a), "{ 1,2 }");
    Value_AssignIndexed(&a, &s, 32000);
    EXPECT_EQ(TextOf(a), "{ 1,2abc }"); // rows follow one another without a separator
    ScriptValue u;
    u.kind = KIND_UNDEFINED;
    EXPECT_EQ(TextOf(u), "undefined");
    u.kind = 0x40000000; // a real with a data-structure mark
    EXPECT_EQ(TextOf(u), "");
    Value_Free(&a);
    Value_Free(&s);
}

TEST(ValueText, DebugText) {
    TErrStreamConsole console;
    ScriptValue a;
    for (int c = 0; c < 40; ++c)
        Assign(&a, c, c);
    Assign(&a, 32000, 3e9);
    ScriptValue s = StringValue("q");
    Value_AssignIndexed(&a, &s, 32001);
    Assign(&a, 32002, 0.5);
    Value_AppendDebugText(&console, &a);
    std::string text = console.Text();
    EXPECT_EQ(text.substr(0, 14), "{ { 0 ,1 ,2 ,3");
    EXPECT_NE(text.find(",28 ,29 ... },  { 3000000000 ,\"q\" ,0.500000},   }"), std::string::npos) << text;
    Value_Free(&a);
    Value_Free(&s);
}

} // namespace
