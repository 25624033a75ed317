#include "core/memory.h"
#include "core/text.h"
#include "core/utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

TEST(UTF8, EncodesAndDecodesOneToFourBytes) {
    char buf[32] = {};
    char* out = buf;
    for (uint32_t c : {uint32_t('z'), uint32_t(0x7FF), uint32_t(0x20AC), uint32_t(0xFFFF), uint32_t(0x10000),
                       uint32_t(0x1F600), uint32_t(0x10FFFF)})
        UTF8_PutChar(out, c);
    EXPECT_EQ(std::string(buf), "z\xDF\xBF\xE2\x82\xAC\xEF\xBF\xBF\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
    const char* in = buf;
    for (uint32_t c : {uint32_t('z'), uint32_t(0x7FF), uint32_t(0x20AC), uint32_t(0xFFFF), uint32_t(0x10000),
                       uint32_t(0x1F600), uint32_t(0x10FFFF), uint32_t(0)})
        EXPECT_EQ(UTF8_GetChar(in), c);
    EXPECT_EQ(in, buf + 21) << "the terminator is never stepped over";
    EXPECT_EQ(UTF8_Length(buf), 7);
    EXPECT_EQ(UTF8_Skip(buf, 5), buf + 13);
    // Overlong forms and surrogate halves of two and three bytes read as their bits spell.
    EXPECT_EQ(UTF8_Length("\xC1\x81\xE0\x81\x81\xED\xA0\xBD"), 3);
    const char* legacy = "\xC1\x81\xED\xA0\xBD";
    EXPECT_EQ(UTF8_GetChar(legacy), uint32_t('A'));
    EXPECT_EQ(UTF8_GetChar(legacy), 0xD83Du);
}

// A byte that starts no character is one of its own, its code the byte, and the byte after it stays a
// character of its own; no walk reads past the terminator (the sanitizers check the exact blocks).
TEST(UTF8, StrayBytesAreCharactersOfTheirOwn) {
    ExactText two("\xC3");
    const char* p = two.p;
    EXPECT_EQ(UTF8_GetChar(p), 0xC3u);
    EXPECT_EQ(p, two.p + 1);

    ExactText three("x\xE2\x82");
    p = three.p + 1;
    EXPECT_EQ(UTF8_GetChar(p), 0xE2u);
    EXPECT_EQ(p, three.p + 2);
    EXPECT_EQ(UTF8_Length(three.p), 3);

    // A lone continuation byte, a broken lead, a cut four-byte sequence, a lead of four beyond U+10FFFF
    // or overlong, and the bytes that lead nothing: each byte one character, the letters after them kept.
    for (const char* bytes : {"\x80" "a", "\xC3" "a", "\xE2\x82" "a", "\xF0\x9F\x98" "a", "\xF4\x90\x80\x80" "a",
                              "\xF0\x8F\xBF\xBF" "a", "\xF8\x80\x80\x80" "a", "\xFF" "a"}) {
        SCOPED_TRACE(Text_Escaped(bytes));
        ExactText stray(bytes);
        const int bytesBefore = static_cast<int>(std::strlen(bytes)) - 1;
        EXPECT_EQ(UTF8_Length(stray.p), bytesBefore + 1);
        EXPECT_EQ(UTF8_Skip(stray.p, bytesBefore), stray.p + bytesBefore);
        p = stray.p;
        for (int i = 0; i < bytesBefore; ++i)
            EXPECT_EQ(UTF8_GetChar(p), static_cast<uint8_t>(bytes[i]));
        EXPECT_EQ(UTF8_GetChar(p), uint32_t('a'));
        char copy[8] = {};
        char* out = copy;
        for (const char* q = stray.p; *q;)
            UTF8_CopyChar(out, q);
        EXPECT_STREQ(copy, bytes) << "stray bytes are copied as they stand";
    }

    // A stray byte equals only itself, never the character of the same code.
    EXPECT_EQ(UTF8_CompareN("\xBF\xBF", "\xBF\xBF", 5), 0);
    EXPECT_NE(UTF8_CompareN("\xE9", "\xC3\xA9", 1), 0);
    EXPECT_EQ(UTF8_CompareN("\xF0\x9F\x98\x80" "a", "\xF0\x9F\x98\x80" "b", 1), 0);
    EXPECT_EQ(UTF8_CompareN("\xF0\x9F\x98\x80" "a", "\xF0\x9F\x98\x80" "b", 2), 'a' - 'b');

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

// What reaches the system or comes from it is read strictly: overlong forms and surrogate halves are no
// characters, and a sequence that runs past the given length is cut.
TEST(UTF8, StrictReadingForTheSystem) {
    const std::string text = "a\xC1\x81\xED\xA0\x80\xF0\x9F\x98\x80\xC3\xA9";
    std::vector<int32_t> codes;
    for (size_t i = 0; i < text.size();)
        codes.push_back(Text_NextCodePoint(text.data(), text.size(), i));
    EXPECT_EQ(codes, (std::vector<int32_t>{'a', -1, -1, -1, -1, -1, 0x1F600, 0xE9}));
    size_t i = 0;
    EXPECT_EQ(Text_NextCodePoint("\xF0\x9F\x98\x80", 3, i), -1);
    EXPECT_EQ(i, 1u);
    EXPECT_EQ(Text_Escaped("a\xF0\x9F\x98\x80\xC2\x85\xED\xA0\x80"), "a\xF0\x9F\x98\x80\\xC2\\x85\\xED\\xA0\\x80");
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
    EXPECT_EQ(String_HashToNewline(cut.p), 3);
    EXPECT_STREQ(cut.p, "\r\xE2\x82");
    // A lead byte cut short leaves the "#" after it a line break; a four-byte character is one.
    char broken[] = "\xC3#\xF0\x9F\x98\x80#";
    EXPECT_EQ(String_HashToNewline(broken), 4);
    EXPECT_STREQ(broken, "\xC3\r\xF0\x9F\x98\x80\r");
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
