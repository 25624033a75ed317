#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "compiler_test_util.h"
#include "script/compiler/constants.h"
#include "script/compiler/fold.h"

using compiler_test::Message;
using compiler_test::Parse;

namespace {

// Folding, as the compiler does it (exact comparisons, rounding to integers); the VM's rules differ
// and are tested with the generated code.
std::string Fold(const std::string& expression) {
    return Parse(expression, false, true);
}
std::string FoldProgram(const std::string& program) {
    return Parse(program, true, true);
}

TEST(Fold, ArithmeticOnReals) {
    EXPECT_EQ(Fold("1 + 2 * 3"), "7");
    EXPECT_EQ(Fold("-2 * 3"), "-6");
    EXPECT_EQ(Fold("7 / 2"), "3.5");
    EXPECT_EQ(Fold("7 div 2"), "3");
    EXPECT_EQ(Fold("-7 div 2"), "-3");
    EXPECT_EQ(Fold("7 mod -2"), "1");
    EXPECT_EQ(Fold("-7 mod 2"), "-1");
    EXPECT_EQ(Fold("7.5 mod 2"), "1.5");
    EXPECT_EQ(Fold("7.5 % 2"), "1.5");
    EXPECT_EQ(Fold("-0"), "-0");
    EXPECT_EQ(Fold("+5"), "5");
    // The number reader adds digit x factor, so 0.3 is not the correctly rounded 0.3.
    EXPECT_EQ(Fold("0.3"), "0.30000000000000004");
    EXPECT_EQ(Fold("0.1 + 0.2 == 0.3"), "1");
    EXPECT_EQ(Fold("$1F + 0.25 + 3."), "34.25");
}

TEST(Fold, IntegerOperatorsRoundAndWrapAsX86) {
    EXPECT_EQ(Fold("~0"), "-1");
    EXPECT_EQ(Fold("~1.5"), "-3"); // 1.5 rounds to even 2
    EXPECT_EQ(Fold("1 << 33"), "2");
    EXPECT_EQ(Fold("1 << -1"), "-2147483648"); // the count taken & 31
    EXPECT_EQ(Fold("-8 >> 1"), "-4");
    EXPECT_EQ(Fold("5 | 2.5"), "7");
    EXPECT_EQ(Fold("6 & 3"), "2");
    EXPECT_EQ(Fold("6 ^ 3"), "5");
    // div truncates both sides to 32 bits; a divisor that truncates to 0 is a division by 0, the lowest
    // integer divided by -1 stays the lowest, and operands out of range become the lowest.
    EXPECT_EQ(Fold("-2147483648 div -1"), "-2147483648");
    EXPECT_EQ(Fold("3000000000 div 1"), "-2147483648");
    // mod truncates the quotient as a double, with no 32-bit limit.
    EXPECT_EQ(Fold("100000000000000000000 mod 3"), "0");
    EXPECT_EQ(Fold("30000000000 mod 7"), "5");
}

TEST(Fold, TruthAndComparisons) {
    EXPECT_EQ(Fold("not 0.4"), "1");
    EXPECT_EQ(Fold("not 0.5"), "0");
    EXPECT_EQ(Fold("0.5 and 1"), "1");
    EXPECT_EQ(Fold("0.4 or 0.49"), "0");
    EXPECT_EQ(Fold("1 xor 0.5"), "0");
    EXPECT_EQ(Fold("1 xor 0"), "1");
    EXPECT_EQ(Fold("2 = 2"), "1");
    EXPECT_EQ(Fold("1 < 2 < 3"), "1");
    EXPECT_EQ(Fold("3 >= 4"), "0");
    EXPECT_EQ(Fold("1 <> 1"), "0");
    // Each comparison of two equal constants, reals and texts.
    const std::pair<const char*, const char*> equal[] = {{"<=", "1"}, {">=", "1"}, {"<", "0"},
                                                         {">", "0"},  {"==", "1"}, {"!=", "0"}};
    for (auto [op, folded] : equal) {
        EXPECT_EQ(Fold(std::string("2 ") + op + " 2"), folded) << op;
        EXPECT_EQ(Fold(std::string("'ab' ") + op + " 'ab'"), folded) << op;
    }
    EXPECT_EQ(Fold("'B' < 'a'"), "1"); // bytes compare unsigned: capitals first
    EXPECT_EQ(Fold("'ab' > 'a'"), "1");
    EXPECT_EQ(Fold("'\xC3' > 'z'"), "1");
    EXPECT_EQ(Fold("'' == \"\""), "1");
}

TEST(Fold, Strings) {
    EXPECT_EQ(Fold("'ab' + \"cd\""), "'abcd'");
    EXPECT_EQ(Fold("3 * 'ab'"), "'ababab'");
    EXPECT_EQ(Fold("2.5 * 'ab'"), "'abab'");
    EXPECT_EQ(Fold("-1 * 'ab'"), "''");
    EXPECT_EQ(Fold("2000000000 * ''"), "''");
    // A huge repetition is left to run time.
    EXPECT_EQ(Fold("1000000000 * 'ab'"), "(* 1000000000 'ab')");
}

TEST(Fold, RefusalsAreCompileErrors) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"1 / 0", "Division by 0."},
        {"5 div 0.5", "Division by 0."},
        {"1 div 0", "Division by 0."},
        {"1 mod 0", "Modulo by 0."},
        {"'a' < 1", "Cannot compare arguments."},
        {"'ab' * 3", "Wrong type of arguments to *."},
        {"'a' + 1", "Wrong type of arguments to +."},
        {"'a' - 'b'", "Wrong type of arguments to -."},
        {"'a' / 1", "Wrong type of arguments to /."},
        {"'a' div 1", "Wrong type of arguments to div."},
        {"'a' mod 1", "Wrong type of arguments to mod."},
        {"'a' && 1", "Wrong type of arguments for &&."},
        {"'a' || 1", "Wrong type of arguments for ||."},
        {"'a' ^^ 1", "Wrong type of arguments for ^^."},
        {"'a' | 1", "Wrong type of arguments for |."},
        {"'a' & 1", "Wrong type of arguments for &."},
        {"'a' ^ 1", "Wrong type of arguments for ^."},
        {"'a' << 1", "Wrong type of arguments for <<."},
        {"'a' >> 1", "Wrong type of arguments for >>."},
        {"-'a'", "Wrong type of arguments to unary operator."},
        {"'a'.x", "Left hand side must be a real value."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Message(Fold(c.text)), c.message) << c.text;
    // The error stands even where the code would never run.
    EXPECT_EQ(Message(FoldProgram("if 0 { x = 1 / 0 }")), "Division by 0.");
    // Reported at the right operand.
    EXPECT_EQ(Fold("1 / 0"), "ERROR: Error in expression: 1 / 0\n position 5: Division by 0.");

    ScriptValue v;
    EXPECT_FALSE(Code_Operator_Binary(nullptr, 0, 999, v, v));
    EXPECT_FALSE(Code_Operator_Unary(nullptr, 0, 999, v));
}

TEST(Fold, VariablesSettleTheirInstances) {
    EXPECT_EQ(FoldProgram("i = 1; var i; i = 2; j = i"),
              "(block (= i@-6 1) (var i) (= i@-7 2) (= j@-6 i@-7))");
    // A declaration anywhere earlier counts, in any branch.
    EXPECT_EQ(FoldProgram("if 0 { var k } k = 1"), "(block (if 0 (block (var k))) (= k@-7 1))");
    EXPECT_EQ(FoldProgram("other.x = global.y; self.z = 2.5.w"), "(block (= x@-2 y@-5) (= z@-1 w@2))");
    // Indexed or with an instance that is not constant, a variable stays as written.
    EXPECT_EQ(FoldProgram("var a; a[1] = b.c"), "(block (var a) (= a@-7[1] c@b@-6))");
    EXPECT_EQ(FoldProgram("switch (x) { case 1 + 1: case y: }"),
              "(block (switch x@-6 (case! 2) (case y@-6)))");

    // Any number of declared names.
    std::string many = "var";
    for (int i = 0; i < 12000; ++i)
        many += " local_" + std::to_string(i) + ",";
    const std::string folded = FoldProgram(many + "; local_11999 = 1");
    EXPECT_EQ(folded.substr(folded.size() - 21), "(= local_11999@-7 1))");
}

int FindObject(const char* name) {
    return std::strcmp(name, "obj_player") == 0 ? 7 : std::strcmp(name, "shared") == 0 ? 3 : -1;
}
int FindSprite(const char* name) {
    return std::strcmp(name, "shared") == 0 ? 9 : std::strcmp(name, "spr_only") == 0 ? 4 : -1;
}

TEST(Fold, ResourceNamesComeBeforeConstants) {
    Code_Constant_SetResourceFind(RESOURCE_OBJECT, FindObject);
    Code_Constant_SetResourceFind(RESOURCE_SPRITE, FindSprite);
    Code_Constant_AddReal("spr_only", 100);
    EXPECT_EQ(FoldProgram("obj_player.x = shared + spr_only"), "(block (= x@7 7))");
    Code_Constant_SetResourceFind(RESOURCE_OBJECT, nullptr);
    Code_Constant_SetResourceFind(RESOURCE_SPRITE, nullptr);
    EXPECT_EQ(Fold("spr_only"), "100");
}

TEST(Fold, ConstantTableLookups) {
    ScriptValue v;
    ASSERT_TRUE(Code_Constant_Find("c_red", &v));
    EXPECT_EQ(v.real, 255);
    EXPECT_FALSE(Code_Constant_Find("C_RED", &v));
    ASSERT_NE(Code_Constant_FindValue("C_RED"), nullptr);
    EXPECT_EQ(Code_Constant_FindValue("C_Red")->real, 255);
    EXPECT_EQ(Code_Constant_FindValue("no_such_constant"), nullptr);
    // A later entry of the same name shadows the earlier one, for both lookups.
    Code_Constant_AddReal("vk_space", 1234);
    ASSERT_TRUE(Code_Constant_Find("vk_space", &v));
    EXPECT_EQ(v.real, 1234);
    EXPECT_EQ(Code_Constant_FindValue("VK_SPACE")->real, 1234);

    EXPECT_EQ(Fold("pi"), "3.1415927410125732");
    EXPECT_EQ(Fold("ev_user15 + vk_f12 + vk_numpad9 + gp_axisrv + ev_joystick2_button8"),
              std::to_string(25 + 123 + 105 + 32788 + 43));
    EXPECT_EQ(Fold("cr_size_all + bm_inv_dest_colour + lb_disp_time_ms + phy_joint_angle"),
              std::to_string(-22 + 10 + 3 + 8));
    EXPECT_EQ(Fold("dll_stdcall"), "1");

    EXPECT_TRUE(Code_Constant_IsValidName("_a1"));
    EXPECT_FALSE(Code_Constant_IsValidName("1a"));
    EXPECT_FALSE(Code_Constant_IsValidName(""));
    EXPECT_FALSE(Code_Constant_IsValidName("a-b"));
}

TEST(Fold, GameConstantsTakeTheirFoldedValue) {
    EXPECT_TRUE(Code_Constant_Define("  game_speed\t", "3 * 2"));
    EXPECT_TRUE(Code_Constant_Define("game_title", "'Quest' + \" II\""));
    EXPECT_TRUE(Code_Constant_Define("game_next", "game_speed + c_red"));
    EXPECT_TRUE(Code_Constant_Define("game_unknown", "some_variable + 1"));
    EXPECT_TRUE(Code_Constant_Define("game_empty", ""));
    EXPECT_EQ(Fold("game_speed"), "6");
    EXPECT_EQ(Fold("game_title"), "'Quest II'");
    EXPECT_EQ(Fold("game_next"), "261");
    EXPECT_EQ(Fold("game_unknown"), "0");
    EXPECT_EQ(Fold("game_empty"), "0");

    // The first invalid name stops the definitions.
    const char* names[] = {"good_one", "1bad", "never"};
    const char* values[] = {"1", "2", "3"};
    EXPECT_FALSE(Code_Constant_Prepare(3, names, values));
    EXPECT_NE(Code_Constant_FindValue("good_one"), nullptr);
    EXPECT_EQ(Code_Constant_FindValue("never"), nullptr);
}

} // namespace
