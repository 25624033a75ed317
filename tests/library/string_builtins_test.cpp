#include "builtin_test_util.h"

#include "core/text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using testing::HasSubstr;

namespace {

struct TextCase {
    const char* name;
    std::initializer_list<Arg> args;
    const char* expected;
};

void ExpectTexts(std::initializer_list<TextCase> cases) {
    for (const TextCase& c : cases)
        EXPECT_EQ(CallText(c.name, c.args), c.expected) << c.name << " -> " << c.expected;
}

struct NumberCase {
    const char* name;
    std::initializer_list<Arg> args;
    double expected;
};

void ExpectNumbers(std::initializer_list<NumberCase> cases) {
    for (const NumberCase& c : cases)
        EXPECT_EQ(CallReal(c.name, c.args), c.expected) << c.name << " -> " << c.expected;
}

// A string result with no text at all, as opposed to an empty text.
bool GivesNoText(const char* name, std::initializer_list<Arg> args) {
    Result r = CallBuiltIn(name, args);
    return r.IsString() && r.v.str == nullptr;
}

const char* const kE9 = "\xC3\xA9";                   // U+00E9, two bytes
const char* const kEuro = "\xE2\x82\xAC";             // U+20AC, three bytes
const char* const kAccented = "\xC3\xA9\xE2\x82\xAC"; // two characters, five bytes

} // namespace

TEST(StringBuiltIns, RealReadsTheLeadingDecimalNumber) {
    ExpectNumbers({{"real", {7.0}, 7},
                   {"real", {"  12.5xyz "}, 12.5},
                   {"real", {"abc"}, 0},
                   {"real", {""}, 0},
                   {"real", {"   "}, 0},
                   {"real", {nullptr}, 0},
                   {"real",
                    {"1\xC3\xA9"
                     "2"},
                    12}, // characters from code 128 up are dropped before reading
                   {"real", {"-.5"}, -0.5},
                   {"real", {"+3e2x"}, 300},
                   {"real", {"1e"}, 1},
                   {"real", {"1.5.5"}, 1.5},
                   {"real", {"inf"}, 0},
                   {"real", {"0x1A"}, 0},
                   {"real", {"\t\n42"}, 42},
                   {"real", {"1e999"}, std::numeric_limits<double>::infinity()}});
    ScriptValue undefined;
    undefined.kind = KIND_UNDEFINED;
    EXPECT_EQ(CallReal("real", {undefined}), 0);
}

TEST(StringBuiltIns, TextFormsAndFormatting) {
    // string() gives the value's text form, whose cases are the value tests' own.
    ExpectTexts({{"string", {2.5}, "2.50"},
                 {"string", {"as is"}, "as is"},
                 {"string_format", {3.14159, 6.0, 2.0}, "3.14"},
                 {"string_format", {3.14159, 8.0, 2.0}, "  3.14"},
                 {"string_format", {3.14159, 8.9, 2.9}, "  3.14"}, // both truncate
                 {"string_format", {-2.5, 0.0, 0.0}, "-2"},
                 {"string_format", {"text", 10.0, 2.0}, "text"},
                 // A negative precision is none; a negative width left-justifies.
                 {"string_format", {3.7, 5.0, -1.0}, "     4"},
                 {"string_format", {1.5, -4.0, 1.0}, "1.5  "}});
    EXPECT_TRUE(GivesNoText("string_format", {nullptr, 1.0, 1.0}));

    // Far past 200 bytes: the text is as long as it formats.
    std::string wide = CallText("string_format", {1.0, 1002.0, 2.0});
    EXPECT_EQ(wide.size(), 1000u);
    EXPECT_EQ(wide.substr(996), "1.00");
    std::string precise = CallText("string_format", {1.0, 0.0, 500.0});
    EXPECT_EQ(precise.size(), 502u);
}

TEST(StringBuiltIns, CharacterCodesAndLengths) {
    ExpectTexts({
        {"chr", {65.0}, "A"},
        {"chr", {65.9}, "A"},
        {"chr", {233.0}, kE9},
        {"chr", {8364.0}, kEuro},
        {"chr", {0.0}, ""},
        {"chr", {-191.0}, "A"},                  // a negative code keeps its low 7 bits
        {"chr", {65536.0 + 65}, "\xF0\x90\x81\x81"},  // four bytes up to U+10FFFF
        {"chr", {1114112.0 + 65}, "\xE0\x81\x81"}, // beyond it, three bytes from the low 16 bits
        {"chr", {std::nan("")}, ""},
        {"ansi_char", {233.0}, "\xE9"},
        {"ansi_char", {321.5}, "B"} // rounds to 322, low byte 66
    });
    ExpectNumbers({{"ord", {"A"}, 65},
                   {"ord", {kE9}, 233},
                   {"ord", {kEuro}, 8364},
                   {"ord", {""}, 0},
                   {"ord", {nullptr}, 0},
                   {"ord", {5.0}, 0},
                   {"string_length", {kAccented}, 2},
                   {"string_byte_length", {kAccented}, 5},
                   {"string_length", {nullptr}, 0},
                   {"string_byte_length", {3.0}, 0},
                   {"string_byte_at", {kE9, 1.0}, -61},
                   {"string_byte_at", {kE9, 0.0}, -61}, // the index is limited to the text
                   {"string_byte_at", {kE9, 99.0}, -87},
                   {"string_byte_at", {"abc", 2.5}, 98}, // rounds to 2
                   {"string_byte_at", {"", 1.0}, 0},
                   {"string_byte_at", {"abc", "1"}, 0},
                   {"string_byte_at", {"abc"}, 0}});
}

TEST(StringBuiltIns, SetByteAt) {
    EXPECT_EQ(CallText("string_set_byte_at", {"abc", 2.0, 65.0 + 256}), "aAc");
    EXPECT_EQ(CallText("string_set_byte_at", {"abc", 3.0, 0.0}), "ab");
    for (double index : {0.0, 4.0, std::nan("")}) {
        std::string text;
        std::string log = ConsoleOutputOf([&] {
            text = CallText("string_set_byte_at", {"abc", index, 65.0});
        });
        EXPECT_EQ(text, "abc");
        EXPECT_THAT(log, HasSubstr("string_set_byte_at : index beyond end of string"));
    }
}

TEST(StringBuiltIns, SearchingAndCounting) {
#define LONG_NEEDLE "abcdefghijklmnopqrstuvwxyz0123456789"
    ExpectNumbers({{"string_pos", {"l", "hello"}, 3},
                   {"string_pos", {"lo", "hello"}, 4},
                   {"string_pos", {"", "hello"}, 0},
                   {"string_pos", {"x", "hello"}, 0},
                   {"string_pos", {"hello!", "hello"}, 0},
                   {"string_pos", {"l", ""}, 0},
                   {"string_pos", {kEuro, "a\xC3\xA9\xE2\x82\xAC"}, 3}, // counted in characters
                   // Plain ASCII up to a character of several bytes, then more to search
                   {"string_pos", {"cd", "abcdefgh\xC3\xA9xyz"}, 3},
                   {"string_pos", {"xyz", "abcdefgh\xC3\xA9xyz"}, 10},
                   // ASCII bytes after a lead byte cut short are characters of their own; an overlong
                   // "A" is an "A"
                   {"string_pos", {"AB", "xx\xC3" "AB"}, 4},
                   {"string_pos", {"AB", "x\xC1\x81" "B"}, 2},
                   // Long needles take another road to the same answers
                   {"string_pos", {LONG_NEEDLE, "--" LONG_NEEDLE}, 3},
                   {"string_pos", {LONG_NEEDLE, "\xC3\xA9" LONG_NEEDLE}, 2},
                   {"string_pos", {LONG_NEEDLE, LONG_NEEDLE + 1}, 0},
                   {"string_count", {"aa", "aaaa"}, 3},
                   {"string_count", {"ab", "abcabcab"}, 3},
                   {"string_count", {"", "abc"}, 0},
                   {"string_count", {"a", nullptr}, 0}});
#undef LONG_NEEDLE
}

TEST(StringBuiltIns, CopyCharAtDeleteInsert) {
    ExpectTexts({{"string_copy", {"hello", 2.0, 3.0}, "ell"},
                 {"string_copy", {"hello", 0.0, 2.0}, "he"},
                 {"string_copy", {"hello", 4.0, 10.0}, "lo"},
                 {"string_copy", {"hello", 6.0, 1.0}, ""},
                 {"string_copy", {"hello", 2.0, -4.0}, ""},
                 {"string_copy", {"hello", 1.5, 2.5}, "el"}, // 2 and 2, ties to even
                 {"string_copy", {kAccented, 2.0, 1.0}, kEuro},
                 {"string_char_at", {"hello", 0.0}, "h"},
                 {"string_char_at", {"hello", 5.0}, "o"},
                 {"string_char_at", {"hello", 6.0}, ""},
                 {"string_char_at", {kAccented, 1.0}, kE9},
                 {"string_delete", {"hello", 2.0, 2.0}, "hlo"},
                 {"string_delete", {"hello", 9.0, 1.0}, "hello"},
                 {"string_delete", {"hello", 0.0, 1.0}, "hello"},
                 {"string_delete", {"hello", 4.0, 99.0}, "hel"},
                 {"string_delete", {"hello", 3.0, -2.0}, "hello"}, // a count below 1 deletes nothing
                 {"string_delete", {kAccented, 1.0, 1.0}, kEuro},
                 {"string_insert", {"XY", "hello", 1.0}, "XYhello"},
                 {"string_insert", {"XY", "hello", 99.0}, "helloXY"},
                 {"string_insert", {"XY", "hello", -5.0}, "XYhello"},
                 {"string_insert", {"XY", "hello", 3.0}, "heXYllo"},
                 {"string_insert", {"", "hello", 3.0}, "hello"},
                 {"string_insert", {"-", kAccented, 2.0}, "\xC3\xA9-\xE2\x82\xAC"}});
    EXPECT_TRUE(GivesNoText("string_copy", {"hello", 1.0}));
    EXPECT_TRUE(GivesNoText("string_copy", {5.0, 1.0, 1.0}));
    EXPECT_TRUE(GivesNoText("string_char_at", {"hello", "1"}));
    EXPECT_TRUE(GivesNoText("string_delete", {nullptr, 1.0, 1.0}));
    EXPECT_TRUE(GivesNoText("string_insert", {"x", nullptr, 1.0}));

    std::string text;
    std::string log = ConsoleOutputOf([&] { text = CallText("string_copy", {"hello", 7.0, 1.0}); });
    EXPECT_EQ(text, "");
    EXPECT_THAT(log, HasSubstr("string_copy(hello, 7, 1): Index is out of bounds"));
    log = ConsoleOutputOf([&] { CallText("string_copy", {"hello", 6.0, 1.0}); });
    EXPECT_EQ(log, "");
}

// Texts that carry their length (as the machine's own do) give what measured ones give.
TEST(StringBuiltIns, TextsWithARecordedLengthGiveTheSameResults) {
    auto recorded = [](const char* text) {
        ScriptValue v{};
        v.kind = KIND_STRING;
        v.str = Text_New(text, std::strlen(text));
        Arg arg(v);
        Value_Free(&v);
        size_t length;
        EXPECT_EQ(Text_KnownASCII(arg.v.str, &length), Text_BytesASCII(text, std::strlen(text)));
        return arg;
    };
    const std::string accentedTail = std::string("ab,c") + kAccented;
    for (const char* text : {"hello, world", "", "x", kAccented, accentedTail.c_str()}) {
        for (double at : {-1.0, 0.0, 1.0, 2.0, 3.5, 5.0, 12.0, 13.0, 1e10}) {
            EXPECT_EQ(CallText("string_char_at", {recorded(text), at}), CallText("string_char_at", {text, at}))
                << text << " " << at;
            for (double count : {-1.0, 0.0, 1.0, 4.0, 100.0})
                EXPECT_EQ(CallText("string_copy", {recorded(text), at, count}),
                          CallText("string_copy", {text, at, count}))
                    << text << " " << at << " " << count;
        }
        EXPECT_EQ(CallReal("string_length", {recorded(text)}), CallReal("string_length", {text})) << text;
        for (const char* needle : {",", "o", "world", "\xC3\xA9", "zz"})
            EXPECT_EQ(CallReal("string_pos", {recorded(needle), recorded(text)}), CallReal("string_pos", {needle, text}))
                << needle << " in " << text;
    }
}

TEST(StringBuiltIns, Replace) {
    ExpectTexts({{"string_replace_all", {"aaaa", "aa", "b"}, "bb"},
                 {"string_replace", {"abcabc", "b", ""}, "acabc"},
                 {"string_replace", {"abcabc", "b", nullptr}, "acabc"},
                 {"string_replace_all", {"abcabc", "b", "XbX"}, "aXbXcaXbXc"}, // never searched again
                 {"string_replace_all", {"abc", "x", "y"}, "abc"},
                 {"string_replace_all", {"abc", "", "y"}, "abc"},
                 {"string_replace_all",
                  {"a\xC3\xA9"
                   "b\xC3\xA9",
                   kE9, "e"},
                  "aebe"}});
    EXPECT_TRUE(GivesNoText("string_replace", {"b", "b", ""}));
    EXPECT_TRUE(GivesNoText("string_replace_all", {nullptr, "b", "c"}));
}

TEST(StringBuiltIns, CaseFiltersAndRepeat) {
    ExpectTexts({{"string_lower", {"AbC\xC3\x89z!"}, "abc\xC3\x89z!"}, // ASCII only: the bytes of U+00C9 stay
                 {"string_upper", {"aBc\xC3\xA9z!"}, "ABC\xC3\xA9Z!"},
                 {"string_letters", {"a1-B2 \xC3\xA9z"}, "aBz"},
                 {"string_digits", {"a1-B2 \xC3\xA9z3"}, "123"},
                 {"string_lettersdigits", {"a1-B2 \xC3\xA9z"}, "a1B2z"},
                 {"string_letters", {"123"}, ""},
                 {"string_repeat", {"ab", 3.0}, "ababab"},
                 {"string_repeat", {"ab", 2.5}, "abab"},
                 {"string_repeat", {"ab", 0.0}, ""},
                 {"string_repeat", {"ab", -4.0}, ""}});
    EXPECT_TRUE(GivesNoText("string_lower", {5.0}));
    EXPECT_TRUE(GivesNoText("string_letters", {""}));
    EXPECT_TRUE(GivesNoText("string_digits", {"12", 1.0}));
    EXPECT_TRUE(GivesNoText("string_repeat", {"", 3.0}));
    EXPECT_FALSE(GivesNoText("string_repeat", {"ab", 0.0}));
}

// Texts that end inside a character (a lone lead byte, as ansi_char(233) or string_set_byte_at make):
// each such byte is a character of its own, copied as it stands, and every walker stops at the
// terminator, which the sanitizers check on blocks sized to the text.
TEST(StringBuiltIns, TruncatedCharactersNeverReadPastTheText) {
    const char* cut = "ab\xE9";      // a three-byte lead byte at the end
    const char* cutTwo = "\xE2\x82"; // a three-byte character missing its last byte
    ExpectNumbers({{"string_length", {cut}, 3},
                   {"string_length", {cutTwo}, 2},
                   {"string_pos", {"b", cut}, 2},
                   {"string_pos", {"\xE9", "\xE9"}, 1},
                   {"string_pos", {"x", cutTwo}, 0},
                   {"ord", {cutTwo}, 0xE2},
                   {"real", {"3\xE9"}, 3}});
    EXPECT_EQ(CallText("string_copy", {cut, 3.0, 5.0}), "\xE9");
    EXPECT_EQ(CallText("string_char_at", {cut, 3.0}), "\xE9");
    EXPECT_EQ(CallText("string_char_at", {cut, 4.0}), "");
    EXPECT_EQ(CallText("string_delete", {cut, 1.0, 1.0}), "b\xE9");
    EXPECT_EQ(CallText("string_insert", {"x", cut, 9.0}), "ab\xE9x");
    EXPECT_EQ(CallText("string_replace_all", {cut, "a", "z"}), "zb\xE9");
    EXPECT_EQ(CallText("string_letters", {cut}), "ab");
    EXPECT_EQ(CallText("string_upper", {cut}), "AB\xE9");
}

// A character of four bytes is one character to every built-in that counts characters, and the letters
// after it stay as they were; a stray byte (here 0x80) is one too and takes nothing with it.
TEST(StringBuiltIns, CharactersOfFourBytesAreWhole) {
#define SMILE "\xF0\x9F\x98\x80" // U+1F600
    ExpectNumbers({{"string_length", {"Bob" SMILE "abc"}, 7},
                   {"string_length", {SMILE SMILE}, 2},
                   {"string_byte_length", {"Bob" SMILE "abc"}, 10},
                   {"string_pos", {"c", "Bob" SMILE "abc"}, 7},
                   {"string_pos", {SMILE "a", "Bob" SMILE "abc"}, 4},
                   {"string_pos", {"\x80", "x" SMILE}, 0}, // no character inside another
                   {"string_pos", {"\xE9", "caf\xC3\xA9"}, 0},
                   {"string_pos", {"y", "x\x80y"}, 3},
                   {"string_count", {SMILE, SMILE "a" SMILE}, 2},
                   {"ord", {SMILE "a"}, 0x1F600},
                   {"ord", {"\x80y"}, 0x80},
                   {"string_length", {"x\x80y"}, 3},
                   {"real", {"1" SMILE "2"}, 12}});
    ExpectTexts({{"chr", {1114111.0}, "\xF4\x8F\xBF\xBF"},
                 {"string_char_at", {"Bob" SMILE "abc", 4.0}, SMILE},
                 {"string_char_at", {"Bob" SMILE "abc", 7.0}, "c"},
                 {"string_char_at", {"x\x80y", 2.0}, "\x80"},
                 {"string_copy", {"Bob" SMILE "abc", 4.0, 2.0}, SMILE "a"},
                 {"string_copy", {"x\x80y", 1.0, 3.0}, "x\x80y"},
                 {"string_delete", {"Bob" SMILE "abc", 5.0, 2.0}, "Bob" SMILE "c"},
                 {"string_delete", {"x\x80y", 2.0, 1.0}, "xy"},
                 {"string_insert", {SMILE, "ab", 2.0}, "a" SMILE "b"},
                 {"string_insert", {"Z", "x\x80y", 3.0}, "x\x80Zy"},
                 {"string_replace", {"Bob" SMILE "abc", SMILE, "!"}, "Bob!abc"},
                 {"string_replace", {"Bob" SMILE "abc", "a", SMILE}, "Bob" SMILE SMILE "bc"},
                 {"string_replace_all", {SMILE "a" SMILE "b", SMILE, "-"}, "-a-b"},
                 {"string_replace_all", {"\x80" "a\x80", "a", "b"}, "\x80" "b\x80"},
                 {"string_lower", {"B" SMILE "C"}, "b" SMILE "c"},
                 {"string_letters", {"a" SMILE "b\x80" "c"}, "abc"},
                 {"string_digits", {"1" SMILE "2\x80" "3"}, "123"},
                 {"string_lettersdigits", {"a" SMILE "1\xF0\x9F" "b"}, "a1b"},
                 {"string_repeat", {SMILE "a", 2.0}, SMILE "a" SMILE "a"}});
#undef SMILE
}

TEST(StringBuiltInsDeathTest, RepeatBeyondAnyTextEndsOutOfMemory) {
    // 2^31 x 4 bytes: the size is worked out in 64 bits and refused, never wrapped.
    EXPECT_EXIT(CallBuiltIn("string_repeat", {"abcd", 2147483647.0}), testing::ExitedWithCode(255),
                "Out of Memory!");
    EXPECT_EXIT(CallBuiltIn("string_format", {1.0, 2147483647.0, 0.0}), testing::ExitedWithCode(255),
                "Out of Memory!");
}
