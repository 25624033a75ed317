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

TEST(UTF8, DecodesOneTwoAndThreeByteCharacters) {
    const char* p = "A\xC3\xA9\xE2\x82\xAC";
    EXPECT_EQ(UTF8_GetChar(p), 'A');
    EXPECT_EQ(UTF8_GetChar(p), 0xE9);
    EXPECT_EQ(UTF8_GetChar(p), 0x20AC);
    EXPECT_EQ(*p, '\0');
    EXPECT_EQ(UTF8_GetChar(p), 0);
    EXPECT_EQ(*p, '\0') << "the terminator is never stepped over";
}

TEST(UTF8, FourByteLeadReadsAsThreeBytes) {
    // U+1F600: F0 9F 98 80. The lead is taken as a three-byte one, then 0x80 leads a two-byte one.
    const char* text = "\xF0\x9F\x98\x80";
    const char* p = text;
    EXPECT_EQ(UTF8_GetChar(p), ((0xF0 & 0x0F) << 12) | ((0x9F & 0x3F) << 6) | (0x98 & 0x3F));
    EXPECT_EQ(p, text + 3);
    EXPECT_EQ(UTF8_Length(text), 2);
}

TEST(UTF8, CutShortSequencesStopAtTheTerminator) {
    ExactText two("\xC3");
    const char* p = two.p;
    EXPECT_EQ(UTF8_GetChar(p), (0xC3 & 0x1F) << 6);
    EXPECT_EQ(p, two.p + 1);
    EXPECT_EQ(UTF8_Length(two.p), 1);

    ExactText three("x\xE2\x82");
    p = three.p + 1;
    EXPECT_EQ(UTF8_GetChar(p), (0x2 << 12) | (0x02 << 6));
    EXPECT_EQ(p, three.p + 3);
    EXPECT_EQ(UTF8_Length(three.p), 2);

    // Stray continuation bytes are leads too: 0x80-0x9F of two bytes, 0xA0-0xBF of three.
    ExactText stray("\x80");
    EXPECT_EQ(UTF8_Length(stray.p), 1);
    ExactText stray3("\xBF\xBF");
    EXPECT_EQ(UTF8_Length(stray3.p), 1);
    EXPECT_EQ(UTF8_CompareN(stray3.p, stray3.p, 5), 0);
    EXPECT_LT(UTF8_CompareN(two.p, stray3.p, 5), 0);
}

TEST(UTF8, PutCharWritesTheShortestForm) {
    char buf[16] = {};
    char* p = buf;
    UTF8_PutChar(p, 'z');
    UTF8_PutChar(p, 0x7FF);
    UTF8_PutChar(p, 0x20AC);
    UTF8_PutChar(p, 0xFFFF);
    EXPECT_EQ(p - buf, 1 + 2 + 3 + 3);
    EXPECT_EQ(std::string(buf), "z\xDF\xBF\xE2\x82\xAC\xEF\xBF\xBF");
    const char* q = buf;
    for (uint16_t c : {uint16_t('z'), uint16_t(0x7FF), uint16_t(0x20AC), uint16_t(0xFFFF)})
        EXPECT_EQ(UTF8_GetChar(q), c);
}

TEST(UTF8, CompareN) {
    EXPECT_EQ(UTF8_CompareN("abc", "abd", 2), 0);
    EXPECT_EQ(UTF8_CompareN("abc", "abd", 3), 'c' - 'd');
    EXPECT_EQ(UTF8_CompareN("ab", "abc", 5), -'c');
    EXPECT_EQ(UTF8_CompareN("abc", "ab", 5), 'c');
    EXPECT_EQ(UTF8_CompareN("ab", "ab", 5), 0);
    EXPECT_EQ(UTF8_CompareN("x", "y", 0), 0);
    EXPECT_EQ(UTF8_CompareN("\xE2\x82\xAC", "\xC3\xA9", 1), 0x20AC - 0xE9);
}

TEST(Text, ConcatAppendsAndLeavesTheDestinationWhenNothingJoins) {
    char* d = String_Duplicate("ab");
    EXPECT_EQ(String_Concat(d, "", nullptr, ""), nullptr);
    EXPECT_STREQ(d, "ab");

    d = String_Concat(d, d, "cd", nullptr, "", "e");
    EXPECT_STREQ(d, "abcde");
    // A later text may be the destination too.
    d = String_Concat(d, "<", d, ">");
    EXPECT_STREQ(d, "<abcde>");
    // Never shrunk: a shorter result keeps the block.
    char* before = d;
    d = String_Concat(d, "x");
    EXPECT_EQ(d, before);
    EXPECT_STREQ(d, "x");
    EXPECT_GE(MemoryManager::GetSize(d), 8u);
    MEM_FREE(d);

    char* fresh = String_Concat(nullptr, "1", "2", "3", "4", "5", "6", "7", "8", "9", "10");
    EXPECT_STREQ(fresh, "12345678910");
    MEM_FREE(fresh);
    EXPECT_EQ(String_Duplicate(nullptr), nullptr);
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
    VCL_Trim(v, v);
    EXPECT_STREQ(v, "12");
    VCL_Trim(v, nullptr);
    EXPECT_EQ(v, nullptr);
}

TEST(Text, HashToNewline) {
    char a[] = "a#b";
    EXPECT_EQ(String_HashToNewline(a), 3);
    EXPECT_STREQ(a, "a\rb");
    char b[] = "a\\#b";
    EXPECT_EQ(String_HashToNewline(b), 3);
    EXPECT_STREQ(b, "a#b");
    char c[] = "\\\\##\\x\xE2\x82\xAC#";
    EXPECT_EQ(String_HashToNewline(c), 7);
    EXPECT_STREQ(c, "\\#\r\\x\xE2\x82\xAC\r");
    ExactText cut("#\xE2\x82");
    EXPECT_EQ(String_HashToNewline(cut.p), 2);
    EXPECT_STREQ(cut.p, "\r\xE2\x82");
}

TEST(Text, WidenSignExtendsAndNarrowKeepsLowBytes) {
    uint16_t* w = String_Widen("a\xE9");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w[0], 'a');
    EXPECT_EQ(w[1], 0xFFE9);
    EXPECT_EQ(w[2], 0);
    char* n = String_Narrow(w);
    EXPECT_STREQ(n, "a\xE9");
    const uint16_t wide[] = {0x20AC, 0x41, 0};
    char* m = String_Narrow(wide);
    EXPECT_STREQ(m, "\xAC"
                    "A");
    MEM_FREE(w);
    MEM_FREE(n);
    MEM_FREE(m);
}
