#include "script/compiler/tokeniser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

CodeTokenList Scan(const std::string& text, bool expectOk = true) {
    CodeTokenList list;
    EXPECT_EQ(Code_ScanText(text.c_str(), text.size(), list), expectOk) << text;
    return list;
}

std::vector<int> Kinds(const std::string& text) {
    std::vector<int> kinds;
    for (const CodeToken& t : Scan(text))
        kinds.push_back(t.kind);
    return kinds;
}

using K = std::vector<int>;

TEST(Tokeniser, OperatorsTakeTheLongestMatch) {
    EXPECT_EQ(Kinds("a=b"), (K{0, 101, 0, -2}));
    EXPECT_EQ(Kinds("a:=b"), (K{0, 101, 0, -2}));
    EXPECT_EQ(Kinds("x+=1"), (K{0, 102, 1, -2}));
    EXPECT_EQ(Kinds("x+ =1"), (K{0, 210, 101, 1, -2}));
    EXPECT_EQ(Kinds("a.b"), (K{0, 112, 0, -2}));
    EXPECT_EQ(Kinds("-= *= /= |= &= ^= && || ^^ <= == != <> >= << >>"),
              (K{103, 104, 105, 114, 115, 116, 201, 202, 216, 205, 206, 207, 207, 208, 221, 222, -2}));
    EXPECT_EQ(Kinds("( ) { } ! ; , [ ] : < > + - * / % | & ^ ~"),
              (K{106, 107, 11,  12,  203, 108, 109, 110, 111, 113, 204,
                 209, 210, 211, 212, 213, 215, 217, 218, 219, 220, -2}));
}

TEST(Tokeniser, KeywordsAreExactAndCaseSensitive) {
    EXPECT_EQ(Kinds("begin end if then else while do for until repeat exit break continue with return"),
              (K{11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, -2}));
    EXPECT_EQ(Kinds("switch case default var globalvar and or not div mod xor"),
              (K{26, 27, 28, 29, 30, 201, 202, 203, 214, 215, 216, -2}));
    CodeTokenList list = Scan("Begin ifx _if");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].kind, 0);
    EXPECT_EQ(list[0].text, "Begin");
    EXPECT_EQ(list[1].text, "ifx");
    EXPECT_EQ(list[2].text, "_if");
}

TEST(Tokeniser, Numbers) {
    CodeTokenList list = Scan("1.2.3 .5 $FF $ 1e3 3.");
    std::vector<std::string> texts;
    for (const CodeToken& t : list)
        texts.emplace_back(t.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"1.2", ".3", ".5", "$FF", "$", "1", "e3", "3.", ""}));
    EXPECT_EQ(list[4].kind, 1);
    EXPECT_EQ(list[6].kind, 0); // no exponent notation
}

TEST(Tokeniser, StringsKeepTheirTextAndThePositionAfterTheQuote) {
    CodeTokenList list = Scan("x = 'say \"hi\"' + \"it's\n\"");
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[2].kind, 2);
    EXPECT_EQ(list[2].text, "say \"hi\"");
    EXPECT_EQ(list[2].position, 5);
    EXPECT_EQ(list[4].text, "it's\n");

    // An unclosed string takes the rest of the text and two of the three pad spaces.
    list = Scan("a = \"open");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[2].text, "open  ");
    EXPECT_EQ(list[3].kind, -2);
}

TEST(Tokeniser, SeparatorsAndComments) {
    EXPECT_EQ(Kinds("a // comment\nb"), (K{0, 0, -2}));
    EXPECT_EQ(Kinds("a /* x \n y */ b"), (K{0, 0, -2}));
    EXPECT_EQ(Kinds("/*/x"), (K{0, -2}));
    EXPECT_EQ(Kinds("a /* never closed"), (K{0, -2}));
    EXPECT_EQ(Kinds("a // to the end"), (K{0, -2}));

    // Bytes from 0x80 up separate tokens and vanish.
    CodeTokenList list = Scan("caf\xC3\xA9 x");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].text, "caf");
    EXPECT_EQ(list[1].text, "x");
}

TEST(Tokeniser, EndTokenLiesPastThePadding) {
    CodeTokenList list = Scan("");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].kind, -2);
    EXPECT_EQ(list[0].position, 3);
    list = Scan("ab");
    EXPECT_EQ(list.back().position, 5);
}

TEST(Tokeniser, UnknownCharacterStopsWithAnErrorToken) {
    for (const char* text : {"a # b", "a ? b", "@", "a \\ b", "`"}) {
        CodeTokenList list = Scan(text, false);
        ASSERT_FALSE(list.empty());
        EXPECT_EQ(list.back().kind, -1) << text;
        EXPECT_EQ(list.back().position, static_cast<int>(std::strcspn(text, "#?@\\`"))) << text;
    }
}

TEST(Tokeniser, IdentifiersOfAnyLength) {
    const std::string name(5000, 'q');
    CodeTokenList list = Scan(name + "=1");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].text, name);
}

} // namespace
