#include "core/memory.h"
#include "script/buffer.h"
#include "script/value_test_util.h"
#include "support/game_folders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
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

double PeekReal(IBuffer& b, int offset, int type) {
    ScriptValue v;
    b.Peek(offset, type, &v);
    EXPECT_TRUE(v.IsReal());
    return v.real;
}

void PokeReal(IBuffer& b, int offset, int type, double d) {
    ScriptValue v = RealValue(d);
    b.Poke(offset, type, &v);
}

std::string Bytes(const IBuffer& b) {
    return std::string(reinterpret_cast<const char*>(b.data), static_cast<size_t>(b.size));
}

// A buffer holding the bytes of the text.
void SetBytes(IBuffer& b, const std::string& bytes) {
    b.Resize(static_cast<int>(bytes.size()));
    std::memcpy(b.data, bytes.data(), bytes.size());
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

TEST(Buffer, SignedTypesKeepTheirSignAtTheEdges) {
    Buffer_Standard b(16, eBuffer_Fixed, 1);
    for (double d : {-1.0, -128.0, 127.0})
        WriteReal(b, eBuffer_S8, d);
    WriteReal(b, eBuffer_S16, -1);
    WriteReal(b, eBuffer_S16, -32768);
    EXPECT_EQ(std::vector<uint8_t>(b.data, b.data + 7),
              (std::vector<uint8_t>{0xFF, 0x80, 0x7F, 0xFF, 0xFF, 0x00, 0x80}));
    b.Seek(0, 0);
    EXPECT_EQ(ReadReal(b, eBuffer_S8), -1);
    EXPECT_EQ(ReadReal(b, eBuffer_S8), -128);
    EXPECT_EQ(ReadReal(b, eBuffer_S8), 127);
    EXPECT_EQ(ReadReal(b, eBuffer_S16), -1);
    EXPECT_EQ(ReadReal(b, eBuffer_S16), -32768);
    EXPECT_EQ(PeekReal(b, 0, eBuffer_S8), -1);
    EXPECT_EQ(PeekReal(b, 1, eBuffer_S8), -128);
    EXPECT_EQ(PeekReal(b, 0, eBuffer_U8), 255);
    EXPECT_EQ(PeekReal(b, 1, eBuffer_U8), 128);
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

TEST(Buffer, EmptyBuffers) {
    // A grow buffer of size 0 becomes size 1 first, then doubles.
    Buffer_Standard grow(0, eBuffer_Grow, 1);
    EXPECT_EQ(WriteReal(grow, eBuffer_U32, 7), 0);
    EXPECT_EQ(grow.size, 4);
    for (int kind : {eBuffer_Fixed, eBuffer_Wrap}) {
        Buffer_Standard b(0, kind, 4);
        EXPECT_EQ(WriteReal(b, eBuffer_U8, 1), -2);
        EXPECT_EQ(ReadReal(b, eBuffer_U8), -3);
        EXPECT_EQ(b.Seek(2, 5), 0);
        EXPECT_EQ(PeekReal(b, 0, eBuffer_U8), 0);
        b.Fill(0, -1, eBuffer_U8, nullptr, -1, true);
        uint8_t* block = nullptr;
        int length = -1;
        EXPECT_TRUE(b.GetRange(&block, &length, 5, -1));
        EXPECT_EQ(block, nullptr);
        EXPECT_EQ(length, 0);
    }
}

TEST(Buffer, GrowingStopsBelowTwoGiB) {
    // A grow buffer whose doubling would pass 2 GiB refuses the value (the size is only claimed: no byte
    // of it is touched).
    uint8_t block[16] = {};
    Buffer_Standard b(block, INT32_MAX - 8, eBuffer_Grow, 1, false);
    b.position = INT32_MAX - 10;
    EXPECT_EQ(WriteReal(b, eBuffer_U32, 1), -2);
    EXPECT_EQ(b.position, INT32_MAX - 10);
    EXPECT_EQ(b.data, block);
}

TEST(Buffer, PeekAndPoke) {
    Buffer_Standard b(6, eBuffer_Fixed, 4);
    PokeReal(b, 1, eBuffer_U16, 0x0201);
    PokeReal(b, 5, eBuffer_U16, 0xFFFF); // would pass the end
    PokeReal(b, -1, eBuffer_U8, 9);
    EXPECT_EQ(Bytes(b), std::string("\0\x01\x02\0\0\0", 6));
    EXPECT_EQ(b.position, 0);
    EXPECT_EQ(PeekReal(b, 1, eBuffer_U16), 0x0201);
    EXPECT_EQ(PeekReal(b, 5, eBuffer_U16), 0);
    EXPECT_EQ(PeekReal(b, 2, eBuffer_F16), 0);
    EXPECT_EQ(PeekReal(b, 0, eBuffer_String), 0);

    // A text is stored with its zero byte, only when both fit.
    ScriptValue text = StringValue("abcde");
    b.Poke(1, eBuffer_String, &text);
    EXPECT_EQ(Bytes(b), std::string("\0\x01\x02\0\0\0", 6));
    b.Poke(0, eBuffer_String, &text);
    EXPECT_EQ(Bytes(b), std::string("abcde\0", 6));
    Value_Free(&text);

    // A wrap buffer reduces the offset and continues at byte 0.
    Buffer_Standard wrap(4, eBuffer_Wrap, 1);
    PokeReal(wrap, 7, eBuffer_S32, 0x04030201);
    EXPECT_EQ(Bytes(wrap), "\x02\x03\x04\x01");
    EXPECT_EQ(PeekReal(wrap, 3, eBuffer_S32), 0x04030201);

    Buffer_Fast fast(2, 1);
    PokeReal(fast, 1, eBuffer_U8, 258);
    PokeReal(fast, 0, eBuffer_S8, 5);
    EXPECT_EQ(Bytes(fast), std::string("\0\x02", 2));
    EXPECT_EQ(PeekReal(fast, 1, eBuffer_U8), 2);
    EXPECT_EQ(PeekReal(fast, 1, eBuffer_S8), 0);
}

TEST(Buffer, FastBufferTakesBytesOnly) {
    Buffer_Fast fast(2, 4);
    EXPECT_EQ(WriteReal(fast, eBuffer_U8, 1), 0);
    EXPECT_EQ(WriteReal(fast, eBuffer_U16, 1), -4);
    EXPECT_EQ(WriteReal(fast, eBuffer_U8, 2), 0); // no alignment
    EXPECT_EQ(WriteReal(fast, eBuffer_U8, 3), -2);
    fast.Seek(0, 0);
    ScriptValue v;
    EXPECT_EQ(fast.Read(eBuffer_S8, &v), -4);
    EXPECT_EQ(ReadReal(fast, eBuffer_U8), 1);
    EXPECT_EQ(ReadReal(fast, eBuffer_U8), 2);
    EXPECT_EQ(fast.Read(eBuffer_U8, &v), -2);
}

TEST(Buffer, CopyMemory) {
    // Overlapping ranges of one buffer copy as if through a copy of the source.
    Buffer_Standard b(8, eBuffer_Fixed, 1);
    SetBytes(b, "abcdefgh");
    b.Copy(0, 6, &b, 2);
    EXPECT_EQ(Bytes(b), "ababcdef");
    SetBytes(b, "abcdefgh");
    b.Copy(2, -1, &b, 0);
    EXPECT_EQ(Bytes(b), "cdefghgh");
    // An offset past the end of a fixed destination puts one byte on its last byte.
    b.Copy(0, 3, &b, 100);
    EXPECT_EQ(Bytes(b), "cdefghgc");

    // A grow buffer copying into itself past its end grows (and the source survives the move).
    Buffer_Standard grow(4, eBuffer_Grow, 1);
    SetBytes(grow, "wxyz");
    grow.Copy(0, -1, &grow, 6);
    EXPECT_EQ(Bytes(grow), std::string("wxyz\0\0wxyz", 10));

    // A wrap source runs on at its byte 0; a wrap destination too.
    Buffer_Standard wrap(4, eBuffer_Wrap, 1);
    SetBytes(wrap, "1234");
    Buffer_Standard out(0, eBuffer_Fixed, 1); // empty: it grows
    wrap.Copy(2, 6, &out, 0);
    EXPECT_EQ(Bytes(out), "341234");
    Buffer_Standard ring(4, eBuffer_Wrap, 1);
    SetBytes(ring, "....");
    out.Copy(0, 3, &ring, -2);
    EXPECT_EQ(Bytes(ring), "1.34");
    wrap.Copy(1, 4, &wrap, 3); // a wrapping copy within one buffer
    EXPECT_EQ(Bytes(wrap), "3412");
    Buffer_Standard three(3, eBuffer_Wrap, 1);
    wrap.Copy(2, 10, &three, 0); // 1234123412 laid round three bytes: the last lap stays
    EXPECT_EQ(Bytes(three), "241");
    wrap.Copy(0, INT32_MAX, &three, 0); // at once, not 2^31 steps
    EXPECT_EQ(Bytes(three), "134");

    // Refusals: no source bytes, an empty fixed destination, a size past 2 GiB.
    uint8_t byte = 1;
    EXPECT_EQ(IBuffer::CopyMemory(&out, &byte, 0, 0, 1, 0, true, false, false), 0);
    Buffer_Standard none(0, eBuffer_Fixed, 1);
    EXPECT_EQ(IBuffer::CopyMemory(&none, &byte, 1, 0, 1, 0, false, false, false), 0);
    EXPECT_EQ(IBuffer::CopyMemory(&out, &byte, 1, 0, 1, INT32_MAX, true, false, false), 0);
    EXPECT_EQ(out.size, 6);
}

TEST(Buffer, Fill) {
    Buffer_Standard b(10, eBuffer_Fixed, 4);
    SetBytes(b, "abcdefghij");
    ScriptValue seven = RealValue(7);
    b.Fill(1, -1, eBuffer_U8, &seven, -1, true);
    EXPECT_EQ(Bytes(b), std::string("a\0\0\0\x07\0\0\0\x07\0", 10));
    SetBytes(b, "abcdefghij");
    b.Fill(0, 9, eBuffer_U16, &seven, 3, false); // every 3 bytes; the last value has no room
    EXPECT_EQ(Bytes(b), std::string("\x07\0c\x07\0f\x07\0ij", 10));
    SetBytes(b, "abcdefghij");
    b.Fill(0, 7, eBuffer_U16, &seven, 3, true); // the rest too short for a value is cleared
    EXPECT_EQ(Bytes(b), std::string("\x07\0\0\x07\0\0\0hij", 10));
    b.Fill(10, -1, eBuffer_U8, &seven, 1, true); // past the end: nothing
    b.Fill(0, -1, eBuffer_F16, &seven, 1, true);
    EXPECT_EQ(Bytes(b), std::string("\x07\0\0\x07\0\0\0hij", 10));

    ScriptValue text = StringValue("xy");
    Buffer_Standard wrap(5, eBuffer_Wrap, 1);
    SetBytes(wrap, "abcde");
    wrap.Fill(8, 4, eBuffer_String, &text, 4, true); // offset 3, running on at byte 0
    EXPECT_EQ(Bytes(wrap), std::string("\0\0cxy", 5));
    Value_Free(&text);
}

TEST(Buffer, RangesSavedAsRawBytes) {
    GameFolders folders;
    Buffer_Standard b(1, eBuffer_Grow, 1);
    WriteReal(b, eBuffer_U16, 0x0201);
    WriteReal(b, eBuffer_S32, -2);
    WriteReal(b, eBuffer_F32, 1.5);
    WriteReal(b, eBuffer_F64, -2);
    b.WriteString("ab");
    b.WriteString(nullptr);
    ASSERT_TRUE(b.Save("all.bin", 0, -1));
    const std::string written("\x01\x02\xFE\xFF\xFF\xFF\x00\x00\xC0\x3F"
                              "\0\0\0\0\0\0\0\xC0"
                              "ab\0\x04\0",
                              23);
    EXPECT_EQ(TempFolder::Read(folders.Save("all.bin")), written + std::string(32 - 23, '\0'));

    // The range rule: an offset past the end is the last byte; a size past the end is cut there.
    ASSERT_TRUE(b.Save("sub/last.bin", 100, 5));
    EXPECT_EQ(TempFolder::Read(folders.Save("sub/last.bin")), std::string(1, '\0'));
    ASSERT_TRUE(b.Save("part.bin", -5, 3));
    EXPECT_EQ(TempFolder::Read(folders.Save("part.bin")), "\x01\x02\xFE");
    Buffer_Standard empty(0, eBuffer_Grow, 1);
    ASSERT_TRUE(empty.Save("empty.bin", 3, -1));
    EXPECT_EQ(TempFolder::Read(folders.Save("empty.bin")), "");
    // Names that leave the save area are not written.
    EXPECT_FALSE(b.Save("/etc/runner-test.bin", 0, -1));
    EXPECT_FALSE(TempFolder::Exists("/etc/runner-test.bin"));
}

TEST(Buffer, LoadReadsTheSaveAreaFirst) {
    GameFolders folders;
    TempFolder::Write(folders.Game("f.bin"), "0123456789");
    Buffer_Standard b(4, eBuffer_Fixed, 1);
    SetBytes(b, "....");
    EXPECT_TRUE(b.Load("f.bin", 8, -1, 1));
    EXPECT_EQ(Bytes(b), ".89.");
    ASSERT_TRUE(LoadSave_WriteFile("f.bin", "saved", 5));
    EXPECT_TRUE(b.Load("f.bin", 0, 2, 0));
    EXPECT_EQ(Bytes(b), "sa9.");
    EXPECT_FALSE(b.Load("missing.bin", 0, -1, 0));
    EXPECT_FALSE(b.Load("http://f.bin", 0, -1, 0));
    TempFolder::MakeDir(folders.Game("HTTP:"));
    TempFolder::Write(folders.Game("HTTP:/f.bin"), "x");
    EXPECT_TRUE(b.Load("HTTP://f.bin", 0, -1, 0)) << "the URL test is case-sensitive";
    TempFolder::Write(folders.Temp("outside.bin"), "no");
    EXPECT_FALSE(b.Load("../outside.bin", 0, -1, 0));
    EXPECT_EQ(Bytes(b), "xa9.");
}

TEST(Buffer, Base64OverRanges) {
    Buffer_Standard b(6, eBuffer_Fixed, 1);
    SetBytes(b, "foobar");
    ScriptValue text;
    b.Base64Encode(&text, 2, 3);
    EXPECT_EQ(TextOf(text), "b2Jh");
    b.Base64Encode(&text, 99, -1); // the last byte
    EXPECT_EQ(TextOf(text), "cg==");
    Buffer_Standard empty(0, eBuffer_Grow, 1);
    empty.Base64Encode(&text, 0, -1);
    EXPECT_TRUE(text.IsString());
    EXPECT_EQ(TextOf(text), "");
    Value_Free(&text);

    // Only the decoded bytes are copied: into an empty grow buffer, and over the middle of a fixed one.
    EXPECT_TRUE(empty.Base64Decode("AAEC", 0, -1));
    EXPECT_EQ(Bytes(empty), std::string("\0\x01\x02", 3));
    EXPECT_TRUE(b.Base64Decode("WFk=", 1, -1));
    EXPECT_EQ(Bytes(b), "fXYbar");
    EXPECT_TRUE(b.Base64Decode("WFlaWlo=", 4, -1)); // cut at the end of a fixed buffer
    EXPECT_EQ(Bytes(b), "fXYbXY");
    EXPECT_FALSE(b.Base64Decode("=", 0, -1));
    EXPECT_FALSE(b.Base64Decode(nullptr, 0, -1));
    EXPECT_EQ(Bytes(b), "fXYbXY");
}

TEST(Buffer, DigestsRunOnInAWrapBuffer) {
    Buffer_Standard wrap(4, eBuffer_Wrap, 1);
    SetBytes(wrap, "\x01\x02\x03\x04");
    ScriptValue hex;
    wrap.MD5(&hex, 2, 4);
    EXPECT_EQ(TextOf(hex), "e94e7ee783c0aee87d19d87f071fa2fd");
    wrap.MD5(&hex, -2, 8);
    EXPECT_EQ(TextOf(hex), "8969043d3ffef8db0560b305d5461414");
    wrap.SHA1(&hex, 0, -1);
    EXPECT_EQ(TextOf(hex), "12dada1fff4d4787ade3333147202c3b443e376f");
    Buffer_Standard fixed(4, eBuffer_Fixed, 1);
    SetBytes(fixed, "\x01\x02\x03\x04");
    fixed.MD5(&hex, 3, 4); // the range rule: the last byte only
    EXPECT_EQ(TextOf(hex), "ec7f7e7bb43742ce868145f71d37b53c");
    Buffer_Standard empty(0, eBuffer_Grow, 1);
    empty.SHA1(&hex, 0, -1);
    EXPECT_EQ(TextOf(hex), "ec7f7e7bb43742ce868145f71d37b53c") << "an empty buffer leaves the value alone";
    Value_Free(&hex);
}

TEST(Buffer, ResizeKeepsForeignMemory) {
    uint8_t block[4] = {1, 2, 3, 4};
    Buffer_Standard b(block, 4, eBuffer_Fixed, 1, false);
    b.position = 3;
    b.Resize(2);
    EXPECT_TRUE(b.ownsMemory);
    EXPECT_EQ(Bytes(b), "\x01\x02");
    EXPECT_EQ(b.position, 0);
    EXPECT_EQ(block[3], 4);
}

} // namespace
