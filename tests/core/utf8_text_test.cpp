#include "core/memory.h"
#include "core/text.h"
#include "core/utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Text in a block of exactly its own length, so ASan flags any read past the terminator.
struct ExactText {
    explicit ExactText(std::string bytes) : p(static_cast<char*>(MEM_ALLOC(bytes.size() + 1))) {
        std::memcpy(p, bytes.data(), bytes.size());
    }
    ~ExactText() { MEM_FREE(p); }
    char* p;
};

} // namespace

TEST(UTF8, EncodesAndDecodesOneToThreeBytes) {
    char buf[16] = {};
    char* out = buf;
    for (uint16_t c : {uint16_t('z'), uint16_t(0x7FF), uint16_t(0x20AC)})
        UTF8_PutChar(out, c);
    EXPECT_EQ(std::string(buf), "z\xDF\xBF\xE2\x82\xAC");
    const char* in = buf;
    EXPECT_EQ(UTF8_GetChar(in), 'z');
    EXPECT_EQ(UTF8_GetChar(in), 0x7FF);
    EXPECT_EQ(UTF8_GetChar(in), 0x20AC);
    EXPECT_EQ(UTF8_GetChar(in), 0);
    EXPECT_EQ(in, buf + 6) << "the terminator is never stepped over";
    // A four-byte lead is read as a three-byte one; the 0x80 left over leads a sequence of its own.
    EXPECT_EQ(UTF8_Length("\xF0\x9F\x98\x80"), 2);
}

TEST(UTF8, CutShortAndStraySequencesStopAtTheTerminator) {
    ExactText two("\xC3");
    const char* p = two.p;
    EXPECT_EQ(UTF8_GetChar(p), (0xC3 & 0x1F) << 6);
    EXPECT_EQ(p, two.p + 1);

    ExactText three("x\xE2\x82");
    p = three.p + 1;
    EXPECT_EQ(UTF8_GetChar(p), (0x2 << 12) | (0x02 << 6));
    EXPECT_EQ(p, three.p + 3);
    EXPECT_EQ(UTF8_Length(three.p), 2);

    // Stray continuation bytes lead sequences too: 0x80-0x9F of two bytes, 0xA0-0xBF of three.
    ExactText stray("\x80");
    ExactText stray3("\xBF\xBF");
    EXPECT_EQ(UTF8_Length(stray.p), 1);
    EXPECT_EQ(UTF8_Length(stray3.p), 1);
    EXPECT_EQ(UTF8_CompareN(stray3.p, stray3.p, 5), 0);
    EXPECT_LT(UTF8_CompareN(two.p, stray3.p, 5), 0);

    // Runs of plain ASCII go eight bytes at a time: a character across an eight-byte boundary.
    ExactText straddle("abcdefg\xE2\x82\xAC" "hijklmnopq");
    EXPECT_EQ(UTF8_Length(straddle.p), 18);
    EXPECT_EQ(UTF8_Skip(straddle.p, 7), straddle.p + 7);
    EXPECT_EQ(UTF8_Skip(straddle.p, 8), straddle.p + 10);
    EXPECT_EQ(UTF8_Skip(straddle.p, 17), straddle.p + 19);
    EXPECT_EQ(UTF8_Skip(straddle.p, 40), straddle.p + 20);

    EXPECT_EQ(UTF8_CompareN("abc", "abd", 2), 0);
    EXPECT_EQ(UTF8_CompareN("ab", "abc", 5), -'c');
    EXPECT_EQ(UTF8_CompareN("\xE2\x82\xAC", "\xC3\xA9", 1), 0x20AC - 0xE9);
}

TEST(Text, ConcatJoinsIntoTheDestinationEvenWhenItIsOneOfTheTexts) {
    char* d = String_Duplicate("ab");
    EXPECT_EQ(String_Concat(d, "", nullptr, ""), nullptr);
    EXPECT_STREQ(d, "ab");
    d = String_Concat(d, d, "cd", nullptr, "", "e");
    EXPECT_STREQ(d, "abcde");
    d = String_Concat(d, "<", d, ">");
    EXPECT_STREQ(d, "<abcde>");
    char* before = d;
    d = String_Concat(d, "x");
    EXPECT_EQ(d, before) << "never shrunk";
    EXPECT_STREQ(d, "x");
    MEM_FREE(d);
}

TEST(Text, WholeNumbersAsDAndBeyondAsPointZeroF) {
    const auto whole = [](double value, int size = 32) {
        char text[32];
        String_FormatWhole(text, size, value);
        return std::string(text);
    };
    EXPECT_EQ(whole(0), "0");
    EXPECT_EQ(whole(-0.0), "0");
    EXPECT_EQ(whole(7), "7");
    EXPECT_EQ(whole(-1200), "-1200");
    EXPECT_EQ(whole(2147483647.0), "2147483647");
    EXPECT_EQ(whole(-2147483648.0), "-2147483648");
    EXPECT_EQ(whole(2147483648.0), "2147483648");
    EXPECT_EQ(whole(-1e10), "-10000000000");
    // Truncated as the conversion to int does, and cut to a small buffer as snprintf cuts.
    EXPECT_EQ(whole(-3.75), "-3");
    EXPECT_EQ(whole(-123456, 4), "-12");
}

TEST(Text, TrimCutsBlanksAndHighBytes) {
    char* v = nullptr;
    VCL_Trim(v, "  x  ");
    EXPECT_STREQ(v, "x");
    VCL_Trim(v, "\t\n ");
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v, "");
    VCL_Trim(v, "\xC3\xA9"
                "12 \x80");
    EXPECT_STREQ(v, "12");
    VCL_Trim(v, nullptr);
    EXPECT_EQ(v, nullptr);
}

TEST(Text, HashToNewline) {
    char a[] = "a#b";
    EXPECT_EQ(String_HashToNewline(a), 3);
    EXPECT_STREQ(a, "a\rb");
    char b[] = "\\\\##\\x\xE2\x82\xAC#";
    EXPECT_EQ(String_HashToNewline(b), 7);
    EXPECT_STREQ(b, "\\#\r\\x\xE2\x82\xAC\r");
    ExactText cut("#\xE2\x82");
    EXPECT_EQ(String_HashToNewline(cut.p), 2);
    EXPECT_STREQ(cut.p, "\r\xE2\x82");
}

// New texts of every short length and of longer ones record their length, and are marked plain ASCII
// only when no byte is 0x80 or above, wherever that byte stands.
TEST(Text, NewTextsRecordTheirLengthAndWhetherTheyArePlainASCII) {
    const std::string plain = "abcdefghijklmnopq";
    for (size_t length = 0; length <= plain.size(); ++length) {
        for (size_t wide = 0; wide <= length; ++wide) {
            std::string bytes = plain.substr(0, length);
            if (wide < length) bytes[wide] = '\xE9';
            char* t = Text_New(bytes.data(), length);
            size_t known = 99;
            EXPECT_EQ(Text_KnownASCII(t, &known), wide == length) << length << " " << wide;
            EXPECT_EQ(Text_Bytes(t), length);
            EXPECT_EQ(std::string(t), bytes);
            MEM_FREE(t);
        }
    }
}

TEST(Text, RecordedLengthsFollowEveryWriteOfTheBlock) {
    size_t length = 0;
    char* t = Text_New("abc", 3);
    EXPECT_TRUE(Text_KnownASCII(t, &length));
    EXPECT_EQ(length, 3u);

    // Appends in place keep the length and lose the plain-ASCII mark at the first wide character.
    t = Text_Append(t, "de");
    EXPECT_STREQ(t, "abcde");
    EXPECT_EQ(Text_Bytes(t), 5u);
    t = Text_Append(t, "\xC3\xA9");
    EXPECT_STREQ(t, "abcde\xC3\xA9");
    EXPECT_FALSE(Text_KnownASCII(t, &length));
    EXPECT_EQ(Text_Bytes(t), 7u);
    t = Text_Append(t, t); // the tail inside the text itself
    EXPECT_STREQ(t, "abcde\xC3\xA9"
                    "abcde\xC3\xA9");
    EXPECT_EQ(Text_Bytes(t), 14u);

    // A block written anew by the older helpers carries no length, and is measured.
    char* joined = String_Concat(t, "xy");
    ASSERT_EQ(joined, t);
    EXPECT_EQ(MemoryManager::GetNote(t), 0u);
    EXPECT_EQ(Text_Bytes(t), 2u);
    VCL_Trim(t, " abcd ");
    EXPECT_EQ(Text_Bytes(t), 4u);
    t = Text_CopyInto(t, "q");
    EXPECT_TRUE(Text_KnownASCII(t, &length));
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(MEM_REALLOC(t, 2), t);
    EXPECT_EQ(MemoryManager::GetNote(t), 0u) << "a block handed back to be rewritten";
    MEM_FREE(t);

    char* j = Text_Join(nullptr, nullptr);
    EXPECT_STREQ(j, "");
    char* euro = String_Duplicate("\xE2\x82\xAC"); // measured, as it has no length yet
    char* k = Text_Join(j, euro);
    EXPECT_EQ(Text_Bytes(k), 3u);
    EXPECT_FALSE(Text_KnownASCII(k, &length));
    EXPECT_EQ(Text_Copy(nullptr), nullptr);
    MEM_FREE(j);
    MEM_FREE(k);
    MEM_FREE(euro);
}
