#include "script/buffer.h"
#include "script/value.h"
#include "value_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Written(const IBuffer& b) {
    return std::vector<uint8_t>(b.data, b.data + b.position);
}

// A fixed buffer holding exactly these bytes.
struct BytesBuffer : Buffer_Standard {
    explicit BytesBuffer(const std::vector<uint8_t>& bytes)
        : Buffer_Standard(static_cast<int>(bytes.size()), eBuffer_Fixed, 1) {
        if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    }
};

void PutS32(std::vector<uint8_t>& bytes, int32_t n) {
    uint8_t b[4];
    std::memcpy(b, &n, 4);
    bytes.insert(bytes.end(), b, b + 4);
}

TEST(ValueBinary, ExactBytes) {
    Buffer_Standard buffer(16, eBuffer_Grow, 1);
    ScriptValue two = RealValue(2);
    Value_Serialise(&two, &buffer);
    EXPECT_EQ(Written(buffer), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 4, 0}));

    buffer.Seek(0, 0);
    ScriptValue ab = StringValue("ab");
    Value_Serialise(&ab, &buffer);
    EXPECT_EQ(Written(buffer), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x61, 0x62, 0}));

    // A 1 x 1 array of undefined; a marked real is its kind word alone.
    buffer.Seek(0, 0);
    ScriptValue a, u;
    u.kind = KIND_UNDEFINED;
    Value_AssignIndexed(&a, &u, 0);
    Value_Serialise(&a, &buffer);
    EXPECT_EQ(Written(buffer), (std::vector<uint8_t>{2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0}));
    buffer.Seek(0, 0);
    u.kind = 0x80000000;
    Value_Serialise(&u, &buffer);
    EXPECT_EQ(Written(buffer), (std::vector<uint8_t>{0, 0, 0, 0x80}));
    Value_Free(&a);
    Value_Free(&ab);
}

TEST(ValueBinary, RoundTrip) {
    ScriptValue a, inner;
    ScriptValue s = StringValue("text"), none = StringValue(nullptr), marker = StringValue("\x04");
    ScriptValue r = RealValue(-1.5);
    Value_AssignIndexed(&inner, &s, 1);
    Value_AssignIndexed(&a, &r, 0);
    Value_AssignIndexed(&a, &inner, 2 * kArrayRowStride + 1);
    Value_AssignIndexed(&a, &none, 2 * kArrayRowStride + 2);
    Value_AssignIndexed(&a, &marker, 2 * kArrayRowStride + 3);

    Buffer_Standard buffer(1, eBuffer_Grow, 4); // aligned fields
    Value_Serialise(&a, &buffer);
    int end = buffer.position;
    buffer.Seek(0, 0);
    ScriptValue back = RealValue(99);
    ASSERT_TRUE(Value_Deserialise(&back, &buffer));
    EXPECT_EQ(buffer.position, end);
    ASSERT_TRUE(back.IsArray());
    EXPECT_EQ(back.arr->owner, &back);
    EXPECT_EQ(back.arr->rowCount, 3);
    EXPECT_EQ(back.arr->rows[1].length, 0);
    EXPECT_EQ(Element(back, 0, 0).real, -1.5);
    EXPECT_EQ(TextOf(Element(back, 2, 1)), "{ 0,text }");
    EXPECT_TRUE(Element(back, 2, 2).IsString());
    EXPECT_EQ(Element(back, 2, 2).str, nullptr);
    // A text that is exactly the byte 4 comes back as no text.
    EXPECT_TRUE(Element(back, 2, 3).IsString());
    EXPECT_EQ(Element(back, 2, 3).str, nullptr);

    Value_Free(&back);
    Value_Free(&a);
    for (ScriptValue* v : {&inner, &s, &none, &marker})
        Value_Free(v);
}

// Reading must fail cleanly: false, the value the real 0, nothing touched outside the buffer.
void ExpectRefused(const std::vector<uint8_t>& bytes) {
    BytesBuffer buffer(bytes);
    ScriptValue v = StringValue("old");
    EXPECT_FALSE(Value_Deserialise(&v, &buffer));
    EXPECT_EQ(v.kind, KIND_REAL);
    EXPECT_EQ(v.real, 0.0);
}

std::vector<uint8_t> Words(std::initializer_list<int32_t> words) {
    std::vector<uint8_t> bytes;
    for (int32_t w : words)
        PutS32(bytes, w);
    return bytes;
}

TEST(ValueBinary, HostileInputIsRefused) {
    ExpectRefused(Words({2, -1}));            // negative row count
    ExpectRefused(Words({2, 0x7FFFFFFF, 0})); // more rows than bytes
    ExpectRefused(Words({2, 1, 1000, 0}));    // a row longer than the bytes left
    // String and array kinds with high bits set carry no payload.
    for (int32_t word : {0x01000001, 0x40000002, static_cast<int32_t>(0x80000001u)})
        ExpectRefused(Words({word}));

    // Arrays nested deeper than any game makes them.
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 5000; ++i)
        bytes.insert(bytes.end(), {2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
    PutS32(bytes, 5);
    ExpectRefused(bytes);

    // A string without its zero byte.
    ExpectRefused({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'a', 'b'});
}

TEST(ValueBinary, DeepNestingIsFreedAndWrittenToTheDepthThatReadsBack) {
    // Game code nests arrays as deep as it likes: b = a; a = 0; a[0] = b.
    ScriptValue a, b;
    for (int i = 0; i < 200000; ++i) {
        Value_AssignIndexed(&b, &a, -1);
        Value_Free(&a);
        Value_AssignIndexed(&a, &b, 0);
    }
    Value_Free(&b);
    Buffer_Standard buffer(1, eBuffer_Grow, 1);
    Value_Serialise(&a, &buffer);
    Value_Free(&a);

    BytesBuffer written(Written(buffer));
    ScriptValue back;
    ASSERT_TRUE(Value_Deserialise(&back, &written));
    int depth = 0;
    for (const ScriptValue* v = &back; v->IsArray(); v = &Element(*v, 0, 0))
        ++depth;
    EXPECT_EQ(depth, 1000);
    Buffer_Standard again(1, eBuffer_Grow, 1);
    Value_Serialise(&back, &again);
    EXPECT_EQ(Written(again), Written(buffer));
    Value_Free(&back);
}

TEST(ValueBinary, EveryTruncationIsRefused) {
    ScriptValue a, s = StringValue("xyz");
    Value_AssignIndexed(&a, &s, 1);
    Value_AssignIndexed(&a, &s, 32001);
    Buffer_Standard buffer(1, eBuffer_Grow, 1);
    Value_Serialise(&a, &buffer);
    std::vector<uint8_t> whole = Written(buffer);
    for (size_t n = 0; n < whole.size(); ++n)
        ExpectRefused(std::vector<uint8_t>(whole.begin(), whole.begin() + n));

    BytesBuffer complete(whole);
    ScriptValue back;
    EXPECT_TRUE(Value_Deserialise(&back, &complete));
    EXPECT_EQ(TextOf(back), "{ 0,xyz0,xyz }");
    Value_Free(&back);
    Value_Free(&a);
    Value_Free(&s);
}

} // namespace
