// The compiler runs its phases in fewer passes than the phase functions one by one (scanning with
// resolving, folding and generating while parsing): both ways must give the same tree and the same
// error, and a refused text must leave no trace (variables, declared globals, texts of the machine).
#include <gtest/gtest.h>

#include <string>

#include "compiler_test_util.h"
#include "core/memory.h"
#include "script/variables.h"
#include "script/vm/vm_handles.h"

using compiler_test::Compile;
using compiler_test::Parse;
using compiler_test::TreeText;

namespace {

std::string Compiled(const std::string& text, bool program) {
    const compiler_test::Compiled c = Compile(text, program);
    return c.ok ? TreeText(c.code->tree) : "ERROR: " + c.error;
}

void ExpectSameAsPhases(const std::string& text, bool program = true) {
    EXPECT_EQ(Compiled(text, program), Parse(text, program, true)) << text;
}

std::string Repeated(const std::string& part, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += part;
    return out;
}

TEST(CompilePasses, TreesAndErrorsAreThoseOfThePhasesOneByOne) {
    for (const char* text : {
             "x = 1 + 2 * 3; y = 'a' + 'b'; z = 'ab' * 3",
             "var a, b; a = 1; b = a + c; c = (100001).d[2, a]",
             "a = 1; var a; a = 2",
             "switch (x) { case 1 + 1: y = 1; break; case 'a' + 'b': default: z = -(2) }",
             "for (i = 0; i < 3 * 4; i += 1) { with (other) x = !0; } repeat 2 + 2 exit",
             "x = (f2(1, 2)).y.z; (1 + 2).w = 3; a[1 + 1, 2] = f1(3 mod 2)",
             // Folding errors, alone and with a parse error later in the text (which wins).
             "x = 1 / 0", "x = 'a' - 1; y = 1 div 0", "x = 1 / 0; y = )", "x = 1 / 0 + ; y = 2",
             "x = ('a').y", "if 1 / 0 then x = 1 else", "x = -'a'; do y = 1 until",
             // The instance of a.b is folded before the indices of b.
             "x = (1 mod 0).y[1 div 0]", "x = (1).y[1 div 0]",
         }) {
        ExpectSameAsPhases(text);
    }
    for (const char* text : {"", "1 + 2 * 3", "-'a'", "f0() + 1 / 0", "(2).x + ", "'a' + 'b' < 'b'", "x)"})
        ExpectSameAsPhases(text, false);
}

TEST(CompilePasses, TextsNestedNearTheLimit) {
    // Folded away or not, a tree is measured as parsed.
    ExpectSameAsPhases("x = 1" + Repeated(" + 1", 1100));
    ExpectSameAsPhases("x = a" + Repeated(" + 1", 1100));
    ExpectSameAsPhases("x = " + Repeated("(1 + ", 1100) + "1" + Repeated(")", 1100));
    ExpectSameAsPhases("x = 1 / 0" + Repeated(" + 1", 1100));
    ExpectSameAsPhases("x = 1" + Repeated(" + 1", 1100) + "; y = )");
    ExpectSameAsPhases("x = " + Repeated("-", 990) + "1");
}

TEST(CompilePasses, ScanningErrorsOutrankUnknownCallsAndAddNoVariable) {
    ExpectSameAsPhases("nothing_callable(1); x = #");
    ExpectSameAsPhases("x = 1; nothing_callable(1); y = 2");
    ExpectSameAsPhases("x = # + nothing_callable(1)");

    EXPECT_NE(Compile("fresh_before_symbol = 1; nothing_callable(2); y = #").error.find("Unexpected symbol."),
              std::string::npos);
    EXPECT_LT(Code_Variable_FindUser("fresh_before_symbol"), 0);

    // Refused at an unknown call, the text has added the variables met before it, and only those.
    EXPECT_FALSE(Compile("fresh_before_call = 1; nothing_callable(2); fresh_after_call = 3").ok);
    EXPECT_GE(Code_Variable_FindUser("fresh_before_call"), 0);
    EXPECT_LT(Code_Variable_FindUser("fresh_after_call"), 0);

    // New names get their ids in the order they are first met.
    ASSERT_TRUE(Compile("fresh_second = fresh_first; fresh_first = fresh_second").ok);
    EXPECT_EQ(Code_Variable_FindUser("fresh_first"), Code_Variable_FindUser("fresh_second") + 1);
}

TEST(CompilePasses, RefusedProgramsDeclareAndAddNothing) {
    const int texts = VMString_ConstantCount();
    const compiler_test::Compiled refused = Compile("globalvar fresh_global; x = 'fresh text'; y = )");
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(VMString_ConstantCount(), texts);
    const int id = Code_Variable_FindUser("fresh_global");
    ASSERT_GE(id, 0);
    EXPECT_FALSE(Variable_IsGlobalDeclared(id));

    ASSERT_TRUE(Compile("globalvar fresh_global; x = 'fresh text'").ok);
    EXPECT_TRUE(Variable_IsGlobalDeclared(id));
    EXPECT_EQ(VMString_ConstantCount(), texts + 1);
}

TEST(CompilePasses, CodesFreeEveryTextOfTheirTreesOnce) {
    const std::string texts[] = {
        "switch ('a') { case 'b': x = 'c'; default: y = 'd' + 'e'; }",
        "x = ('a').b; y = ('c' + 'd').e[1]; z = 3 * 'f'",
        "x = 'a' + ; y = 'b'",
        "x = 1 / 0; y = 'b'",
        "x = 'a'" + Repeated(" + 'b'", 1100),
        "x = 'a'" + Repeated(" + 'b'", 900) + "; y = 'c'",
    };
    // The first round adds the names and texts that the machine keeps.
    for (int round = 0; round < 2; ++round) {
        const int64_t blocks = MemoryManager::BlockCount();
        for (const std::string& text : texts)
            Compile(text);
        if (round == 1) {
            EXPECT_EQ(MemoryManager::BlockCount(), blocks);
        }
    }
}

} // namespace
