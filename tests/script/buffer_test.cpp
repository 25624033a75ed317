#include "core/memory.h"
#include "script/buffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

int WriteReal(IBuffer& b, int type, double d) {
    ScriptValue v;
    Value_SetReal(&v, d);
    return b.Write(type, &v);
}

double ReadReal(IBuffer& b, int type) {
    ScriptValue v;
    EXPECT_EQ(b.Read(type, &v), 0);
    return v.real;
}

TEST(Buffer, IntegerConversions) {
    Buffer_Standard b(16, eBuffer_Fixed, 1);
    for (double d : {300.0, -1.0, 3.9, -3.9})
        WriteReal(b, eBuffer_U8, d);
    EXPECT_EQ(std::vector<uint8_t>(b.data, b.data + 4), (std::vector<uint8_t>{44, 255, 3, 253}));

    b.Seek(0, 0);
    WriteReal(b, eBuffer_U32, 4294967295.0);
    WriteReal(b, eBuffer_S32, -1);
    WriteReal(b, eBuffer_Bool, 0.5);
    WriteReal(b, eBuffer_Bool, 0.51);
    WriteReal(b, eBuffer_S16, -2);
    b.Seek(0, 0);
    EXPECT_EQ(ReadReal(b, eBuffer_U32), 4294967295.0);
    EXPECT_EQ(ReadReal(b, eBuffer_U32), 4294967295.0); // the s32 -1 read unsigned
    EXPECT_EQ(ReadReal(b, eBuffer_Bool), 0);
    EXPECT_EQ(ReadReal(b, eBuffer_Bool), 1);
    EXPECT_EQ(ReadReal(b, eBuffer_S16), -2);
    ScriptValue v;
    EXPECT_EQ(b.Read(eBuffer_F16, &v), -1);
    EXPECT_EQ(b.Read(12, &v), -1);
    EXPECT_EQ(WriteReal(b, eBuffer_F16, 1), -1);
}

TEST(Buffer, EndOfBuffer) {
    Buffer_Standard grow(4, eBuffer_Grow, 1);
    grow.position = 4;
    EXPECT_EQ(WriteReal(grow, eBuffer_U16, 1), 0);
    EXPECT_EQ(grow.size, 8);
    Buffer_Standard grow2(4, eBuffer_Grow, 1);
    grow2.position = 3;
    EXPECT_EQ(WriteReal(grow2, eBuffer_U8, 1), 0);
    EXPECT_EQ(grow2.size, 8);

    Buffer_Standard fixed(4, eBuffer_Fixed, 1);
    fixed.position = 2;
    EXPECT_EQ(WriteReal(fixed, eBuffer_U32, 1), -2);
    EXPECT_EQ(fixed.position, 2);
    EXPECT_EQ(ReadReal(fixed, eBuffer_U32), -3);
    EXPECT_FALSE(fixed.CanRead(eBuffer_U32));
    EXPECT_TRUE(fixed.CanRead(eBuffer_U16));

    // A string whose zero byte is missing stops at the end.
    fixed.Seek(0, 0);
    for (int i = 0; i < 4; ++i)
        WriteReal(fixed, eBuffer_U8, 'a' + i);
    fixed.Seek(0, 0);
    EXPECT_FALSE(fixed.CanRead(eBuffer_String));
    char* text = fixed.ReadString();
    EXPECT_STREQ(text, "abcd");
    MEM_FREE(text);
    EXPECT_EQ(fixed.ReadString(), nullptr);
}

TEST(Buffer, AlignmentAndWrapping) {
    Buffer_Standard aligned(16, eBuffer_Fixed, 4);
    aligned.data[1] = 9;
    WriteReal(aligned, eBuffer_U8, 1);
    WriteReal(aligned, eBuffer_U32, 2);
    EXPECT_EQ(aligned.position, 8);
    EXPECT_EQ(aligned.data[1], 9);
    EXPECT_EQ(aligned.data[4], 2);

    Buffer_Standard wrap(10, eBuffer_Wrap, 4);
    for (int i = 0; i < 3; ++i)
        WriteReal(wrap, eBuffer_U32, 0x01010101 * (i + 1));
    EXPECT_EQ(wrap.position, 2);
    EXPECT_EQ(wrap.phase, 2);
    EXPECT_EQ(wrap.data[0], 3);
    EXPECT_EQ(wrap.data[9], 3);
    WriteReal(wrap, eBuffer_U8, 7);
    WriteReal(wrap, eBuffer_U32, 4); // stream offset 16 is buffer offset 6
    EXPECT_EQ(wrap.data[6], 4);

    Buffer_Standard big(1, 0, 300); // rounded up to 512
    EXPECT_EQ(reinterpret_cast<uintptr_t>(big.data) % 512, 0u);
}

TEST(Buffer, Seek) {
    Buffer_Standard b(10, eBuffer_Fixed, 1);
    EXPECT_EQ(b.Seek(2, 0), 9);
    EXPECT_EQ(b.Seek(2, 100), 1);
    EXPECT_EQ(b.Seek(0, 100), 9);
    EXPECT_EQ(b.Seek(1, -100), 0);

    Buffer_Standard wrap(10, eBuffer_Wrap, 4);
    EXPECT_EQ(wrap.Seek(1, 25), 5);
    EXPECT_EQ(wrap.phase, 0); // two laps of 10: 20 mod 4
    EXPECT_EQ(wrap.Seek(1, -7), 8);
    EXPECT_EQ(wrap.phase, 2);
}

} // namespace
