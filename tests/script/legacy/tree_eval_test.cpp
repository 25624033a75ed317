// Source text compiled for the tree evaluator and run on fake instances: its rules for truth, loops,
// switch, with and variables, its error messages with their positions, and its limits.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../compiler/compiler_test_util.h"
#include "core/text.h"
#include "script/code.h"
#include "script/code_execute.h"
#include "script/compiler/compile.h"
#include "script/functions.h"
#include "script/legacy/library_init.h"
#include "script/script.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "support/fake_world.h"
#include "support/fatal_errors.h"
#include "support/run_code.h"

namespace {

constexpr int kSelfId = 100001;

// A world that also makes the scratch instances library code runs on.
class ScratchWorld : public FakeWorld {
public:
    CInstance* CreateScratchInstance() override {
        ++scratchMade;
        scratch = std::make_unique<FakeInstance>();
        scratch->id = 0;
        scratch->object = 0;
        return AsInstance(scratch.get());
    }
    void DestroyScratchInstance(CInstance* instance) override {
        EXPECT_EQ(Of(instance), scratch.get());
        scratch.reset();
    }
    std::unique_ptr<FakeInstance> scratch;
    int scratchMade = 0;
};

// Gives its first argument.
void Echo(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    if (argc > 0) Value_Copy(&result, &args[0]);
}

// Marks the calling instance as destroyed; gives its id.
void MarkSelf(ScriptValue& result, CInstance* self, CInstance*, int, ScriptValue*) {
    FakeWorld::Of(self)->marked = true;
    result.real = FakeWorld::Of(self)->id;
}

class TreeEval : public ::testing::Test {
protected:
    void SetUp() override {
        compiler_test::RegisterTestFunctions();
        int id;
        if (!Code_Function_Find("mark_self", id)) Code_Function_Add("mark_self", MarkSelf, 0);
        if (!Code_Function_Find("echo", id)) Code_Function_Add("echo", Echo, 1);
        if (Variable_BuiltIn_Find("argument0") < 0)
            Variable_BuiltIn_Add("argument0", VM_GetArgument<0>, nullptr, false);
        Variable_InitGlobals();
        self = world.Add(kSelfId, 0);
        other = world.Add(kSelfId + 1, 1);
        ScriptWorld_Install(&world);
        TakeFatalErrors();
        Code_TreeMode = true;
    }
    void TearDown() override {
        Code_TreeMode = false;
        VariableList_State().Variable_UnsetIsError = false;
        ScriptWorld_Install(nullptr);
        Script_SetTable(nullptr, 0);
    }

    // Scripts from (name, text) pairs, compiled for the evaluator.
    void Scripts(const std::vector<std::pair<const char*, const char*>>& scripts) {
        ASSERT_TRUE(compiler_test::SetScripts(scripts)) << CodeError_State().Code_ErrorText;
    }

    // Compiles and runs a program (or an expression) on self and other. Gives its result as text, or
    // "ERROR: " and the message of the recorded error (the text after "position N: ").
    std::string Run(const std::string& text, bool program = true) {
        compiler_test::Compiled c = compiler_test::Compile(text, program);
        if (!c.ok) return "COMPILE: " + c.error;
        ScriptValue result;
        const bool ok =
            Code_Execute(FakeWorld::AsInstance(self), FakeWorld::AsInstance(other), c.code.get(), &result);
        std::string outcome = ValueAsText(result);
        Value_Free(&result);
        if (!ok)
            return "ERROR: " +
                   compiler_test::Message("ERROR: " + std::string(CodeError_State().Code_ErrorText));
        return outcome;
    }

    // A variable of an instance as text; "<none>" when the instance does not have it.
    std::string Var(FakeInstance* instance, const char* name) {
        if (!instance->variables.Slot(Code_Variable_FindAlloc(name))) return "<none>";
        return compiler_test::VariableText(instance, name);
    }

    ScratchWorld world;
    FakeInstance* self = nullptr;
    FakeInstance* other = nullptr;
};

TEST_F(TreeEval, TruthLoopsAndRepeatCounts) {
    // if takes its branch only above 0.5; loop tests hold from 0.5, in single precision.
    EXPECT_EQ(Run("if 0.5 return 1 else return 2"), "2");
    EXPECT_EQ(Run("if 0.5000001 return 1 else return 2"), "1");
    EXPECT_EQ(Run("n = 0; w = 0.5; while (w) { n += 1; w = 0; } return n"), "1");
    EXPECT_EQ(Run("n = 0; w = 0.49999999999; while (w) { n += 1; w = 0; } return n"), "1");
    EXPECT_EQ(Run("n = 0; do n += 1 until (n >= 0.5 + 2) return n"), "3");
    EXPECT_EQ(Run("s = 0; for (i = 0; i < 5; i += 1) { if (i == 1) continue; if (i == 4) break; s += i; } "
                  "return s"),
              "5");
    // repeat rounds halves to even; a continue finishes a round, a break ends the loop normally.
    EXPECT_EQ(Run("n = 0; repeat (2.5) n += 1; return n"), "2");
    EXPECT_EQ(Run("n = 0; repeat (3.5) n += 1; return n"), "4");
    EXPECT_EQ(Run("n = 0; repeat (-1) n += 1; return n"), "0");
    EXPECT_EQ(Run("n = 0; repeat (5) { n += 1; if (n > 2) continue; n += 10; } return n"), "15");
    EXPECT_EQ(Run("n = 0; repeat (5) { n += 1; if (n == 2) break; } return n + 1"), "3");
    // A huge count ends at once with exit; one past the 32-bit range runs no round.
    EXPECT_EQ(Run("n = 7; repeat (2147483647) { n += 1; exit; } return 0"), "0");
    EXPECT_EQ(Var(self, "n"), "8");
    EXPECT_EQ(Run("n = 0; repeat (10000000000) n += 1; return n"), "0");
    // Conditions and counts must be reals.
    EXPECT_EQ(Run("if 'a' x = 1"), "ERROR: Expression expected");
    EXPECT_EQ(Run("while 'a' x = 1"), "ERROR: bool expression expected");
    EXPECT_EQ(Run("do x = 1 until 'a'"), "ERROR: bool expression expected");
    EXPECT_EQ(Run("for (i = 0; 'a'; i += 1) x = 1"), "ERROR: Expression expected");
    EXPECT_EQ(Run("repeat 'a' x = 1"), "ERROR: Repeat count must be a number");
}

TEST_F(TreeEval, ResultsOfProgramsExpressionsAndStatements) {
    // A program's result is what its last call or return left; exit keeps it.
    EXPECT_EQ(Run("x = 1; echo(5)"), "5");
    EXPECT_EQ(Run("echo(5); exit; echo(6)"), "5");
    EXPECT_EQ(Run("echo(5); x = 1"), "5");
    EXPECT_EQ(Run("return 'a' + 'b'"), "'ab'");
    EXPECT_EQ(Run(""), "0");
    EXPECT_EQ(Run("2 + 3 * never_set", false), "2");
    // A statement that is not one.
    EXPECT_EQ(Run("; x = 1"), "ERROR: Statement expected.");
    EXPECT_EQ(Run("if 1 ; else x = 2"), "ERROR: Statement expected.");
    EXPECT_EQ(Run("case 1: x = 2"), "ERROR: Statement expected.");
    EXPECT_EQ(Run("case x: x = 2"), "ERROR: Case statement only allowed inside switch statement.");
    EXPECT_EQ(Run("default: x = 2"), "ERROR: Default statement only allowed inside switch statement.");
    // Empty texts are held without text.
    EXPECT_EQ(Run("s = ''; return s"), "''");
}

TEST_F(TreeEval, Switch) {
    EXPECT_EQ(
        Run("switch (2) { case 1: x = 'one'; case 2: x = 'two'; case 3: x += '3'; break; default: x = 'd'; } "
            "return x"),
        "'two3'");
    EXPECT_EQ(Run("x = 0; switch (9) { x = 5; case 1: x = 1; default: x += 2; } return x"), "2");
    EXPECT_EQ(Run("x = 0; switch (9) { case 1: x = 1; } return x"), "0");
    // Strings match strings of the same text, never numbers; an empty text matches an empty text.
    EXPECT_EQ(Run("x = 0; switch ('1') { case 1: x = 1; break; case '1': x = 2; } return x"), "2");
    EXPECT_EQ(Run("x = 0; s = ''; switch (s) { case '': x = 3; } return x"), "3");
    EXPECT_EQ(Run("x = 0; v = 2; switch (2) { case v: x = 4; } return x"), "4");
    // continue inside a switch goes on with the enclosing loop.
    EXPECT_EQ(Run("n = 0; repeat (3) { switch (1) { case 1: continue; } n += 1; } return n"), "0");
}

TEST_F(TreeEval, WithVisitsInListOrderAndRestoresSelfAndOther) {
    world.Add(kSelfId + 2, 1);
    world.Add(kSelfId + 3, 1);
    EXPECT_EQ(Run("n = 0; with (1) { other.n += 1; v = other.n; } return n"), "3");
    EXPECT_EQ(Var(other, "v"), "1");
    EXPECT_EQ(Var(world.room[3].get(), "v"), "3");
    EXPECT_EQ(Run("with (noone) x = 1; return 5"), "5");
    EXPECT_EQ(Run("with (other) { v = 'o'; other.v = 's'; } return v"), "'s'");
    EXPECT_EQ(Var(other, "v"), "'o'");
    EXPECT_EQ(Run("with (-7) x = 1"), "ERROR: Cannot use local in with statement.");
    EXPECT_EQ(Run("with (-5) x = 1"), "ERROR: Cannot use global in with statement.");
    EXPECT_EQ(Run("with ('a') x = 1"), "ERROR: Object id expected");
    // An instance destroyed by the body is left, and the visits go on; marked ones are skipped.
    EXPECT_EQ(Run("n = 0; with (all) { other.n += 1; mark_self(); } return n"), "4");
    EXPECT_EQ(Run("n = 0; with (all) other.n += 1; return n"), "0");
    for (auto& instance : world.room)
        instance->marked = false;
    other->deactivated = true;
    EXPECT_EQ(Run("n = 0; with (all) other.n += 1; with (100002) other.n += 10; return n"), "3");
    other->deactivated = false;
    // break leaves the with, exit the whole code.
    EXPECT_EQ(Run("n = 0; with (1) { other.n += 1; break; } return n"), "1");
    EXPECT_EQ(Run("n = 0; with (1) { other.n += 1; exit; } n = 9"), "0");
    EXPECT_EQ(Var(self, "n"), "1");
}

TEST_F(TreeEval, VariablesLocalsGlobalsAndTargets) {
    EXPECT_EQ(Run("var a; a = 3; b = a; return a + b"), "6");
    EXPECT_EQ(Var(self, "a"), "<none>");
    EXPECT_EQ(Run("globalvar g; g = 4; return global.g"), "4");
    EXPECT_EQ(Run("global.h = 5; return h"), "0");
    EXPECT_EQ(Run("other.z = 7; (100002).z += 1; return other.z"), "8");
    EXPECT_EQ(Run("(all).w = 2; return (1).w + self.w"), "4");
    // A variable that cannot be found: an error, unless the game reads unset variables as 0. A list
    // never misses a name it was not given (it reads 0); an element outside the array does.
    EXPECT_EQ(Run("return noone.x"), "ERROR: Unknown variable x");
    EXPECT_EQ(Run("var q; return q"), "ERROR: Unknown variable q");
    EXPECT_EQ(Run("var n, q; n = 1; return q"), "0"); // the run's locals exist once one is set
    EXPECT_EQ(Run("return never_set"), "0");
    EXPECT_EQ(Run("a[0] = 1; return a[3]"), "ERROR: Unknown variable a or array index out of bounds");
    EXPECT_EQ(Run("a[0] = 1; return a[1, 0]"), "ERROR: Unknown variable a or array index out of bounds");
    EXPECT_EQ(Run("b[1] = 1; return b[0]"), "0");
    // Two rows of three, local and self's, read one row past the last row and one column past the last
    // column of each row (the blocks are made at their exact sizes: nothing outside them is read).
    for (const char* holder : {"var g; ", ""}) {
        const std::string made = std::string(holder) + "g[1, 2] = 6; g[0, 2] = 3; ";
        EXPECT_EQ(Run(made + "return g[1, 2] * 10 + g[0, 2]"), "63") << holder;
        for (const char* read : {"g[2, 0]", "g[1, 3]", "g[0, 3]"})
            EXPECT_EQ(Run(made + "return " + read), "ERROR: Unknown variable g or array index out of bounds")
                << holder << read;
    }
    EXPECT_EQ(Run("return (5).x"), "ERROR: Unknown variable x");
    VariableList_State().Variable_UnsetIsError = true;
    EXPECT_EQ(Run("return noone.x + never_set"), "0");
    EXPECT_EQ(Run("a[0] = 1; return a[3]"), "0");
    VariableList_State().Variable_UnsetIsError = false;
    EXPECT_EQ(Run("noone.x = 1"), "ERROR: Cannot assign to the variable");
    EXPECT_EQ(Run("(5).x = 1; return 2"), "2"); // no instance to write to
}

TEST_F(TreeEval, IndicesAtTheirLimitsAndFailedAssignments) {
    EXPECT_EQ(Run("a[31999] = 1; a[1, 31999] = 2; return a[31999] + a[1, 31999]"), "3");
    EXPECT_EQ(Run("a[32000] = 1"), "ERROR: Array index >= 32000");
    EXPECT_EQ(Run("a[1, 32000] = 1"), "ERROR: Array index >= 32000");
    EXPECT_EQ(Run("a[-1] = 1"), "ERROR: Negative array index");
    EXPECT_EQ(Run("a[-0.5] = 7; return a[0]"), "7"); // rounds to 0
    EXPECT_EQ(Run("a['x'] = 1"), "ERROR: Wrong type of array index");
    EXPECT_EQ(Run("s = 'x'; s.y = 1"), "ERROR: Wrong type of variable index");
    // A failed compound assignment stores nothing; a failing value leaves the target as it was.
    EXPECT_EQ(Run("x = 5; x += 'a'"), "ERROR: Wrong type of arguments to +.");
    EXPECT_EQ(Var(self, "x"), "5");
    EXPECT_EQ(Run("x = 5; x = 1 + echo('a') * 2"), "ERROR: Wrong type of arguments to *.");
    EXPECT_EQ(Var(self, "x"), "5");
    EXPECT_EQ(Run("x = 6; x -= 1; x *= 4; x /= 8; x |= 4; x &= 6; x ^= 3; return x"), "5");
    EXPECT_EQ(Run("x = 1; y = x div 0.5"), "ERROR: Division by 0.");
    EXPECT_EQ(Run("x = 1; y = x mod 0"), "ERROR: Modulo by 0.");
}

// A text appended to a text held in a variable (a local, its own, another instance's, a global) gives
// what joining the two and storing the result give: copies made before keep their text, a text may be
// appended to itself, an empty text appended leaves a text that no longer matches the empty constant,
// and a number appended fails as before and stores nothing.
TEST_F(TreeEval, TextsAppendedToVariablesAreWhatJoiningGives) {
    EXPECT_EQ(Run("var s; s = ''; repeat 3 s += 'ab'; t = s; t += 'c'; s += ''; return s + '|' + t"),
              "'ababab|abababc'");
    EXPECT_EQ(Run("s = 'ab'; repeat 3 s += s; return s"), "'abababababababab'");
    EXPECT_EQ(Run("other.s = 'o'; other.s += 'x'; (100002).s += 'z'; global.g = 'g'; global.g += 'y'; "
                  "globalvar h; h = 'h'; h += 'w'; return other.s + global.g + h"),
              "'oxzgyhw'");
    EXPECT_EQ(Run("x = 0; s = ''; s += ''; switch (s) { case '': x = 3; } return x"), "0");
    EXPECT_EQ(Run("var t, u; t = ''; u = ''; repeat 3000 { t += 'xy'; u = u + 'xy'; } return t == u"), "1");
    EXPECT_EQ(Run("a[1] = 'p'; a[1] += 'q'; return a[1]"), "'pq'");
    EXPECT_EQ(Run("s = 'a'; s += 1"), "ERROR: Wrong type of arguments to +.");
    EXPECT_EQ(Var(self, "s"), "'a'");
}

TEST_F(TreeEval, ErrorsCarryTheirLineAndPosition) {
    compiler_test::Compiled c = compiler_test::Compile("x = 1;\ny = x + 'a';");
    ASSERT_TRUE(c.ok);
    ScriptValue result;
    EXPECT_FALSE(
        Code_Execute(FakeWorld::AsInstance(self), FakeWorld::AsInstance(other), c.code.get(), &result));
    EXPECT_STREQ(
        CodeError_State().Code_ErrorText,
        "Error in code at line 2:\n   y = x + 'a';\n\nat position 10: Wrong type of arguments to +.");
    Value_Free(&result);
    // Code_ExecuteErrorResult leaves "ERROR"; a null instance is refused.
    EXPECT_FALSE(Code_ExecuteErrorResult(nullptr, nullptr, c.code.get(), &result));
    EXPECT_EQ(ValueAsText(result), "'ERROR'");
    EXPECT_NE(std::string(CodeError_State().Code_ErrorText)
                  .find("Internal Error: Executing code for nil instance."),
              std::string::npos);
    Value_Free(&result);
}

TEST_F(TreeEval, ScriptsArgumentsAndNestedFailures) {
    Scripts({{"scr_fact", "if (argument0 <= 1) return 1; return argument0 * scr_fact(argument0 - 1);"},
             {"scr_inner", "x = 1; x += 'a';"},
             {"scr_outer", "scr_inner();"},
             {"scr_last", "echo(argument0 * 2);"},
             {"scr_forever", "return scr_forever() + 1;"}});
    EXPECT_EQ(Run("return scr_fact(10)"), "3628800");
    EXPECT_EQ(Run("return scr_last(4)"), "8");
    EXPECT_EQ(Run("y = scr_outer()"), "ERROR: Wrong type of arguments to +.");
    const std::string text = CodeError_State().Code_ErrorText;
    EXPECT_EQ(text.rfind("In script scr_outer:\nIn script scr_inner:\nError in code at line 1:", 0), 0u)
        << text;
    // Recursion without an end stops with an error, never by overflowing the machine stack.
    EXPECT_EQ(Run("return scr_forever()"), "ERROR: Stack overflow: code recursed or nested too deeply.");
}

TEST_F(TreeEval, DeepNestingRunsAndBuiltInsSeeTheirArguments) {
    // Trees as deep as the compiler allows.
    std::string deep = "x = 0";
    for (int i = 0; i < 990; ++i)
        deep += " + 1";
    EXPECT_EQ(Run(deep + "; return x"), "990");
    std::string blocks = "n = 0;";
    for (int i = 0; i < 490; ++i)
        blocks += "if (1) {";
    blocks += "n = 1;" + std::string(490, '}') + " return n";
    EXPECT_EQ(Run(blocks), "1");
    EXPECT_EQ(Run("return fany(1, 2, 3, 'a', 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16)"), "0");
}

TEST_F(TreeEval, LibraryInitialisationRunsEachTextOnAScratchInstance) {
    CodeError_State().Code_Aborting = false;
    EXPECT_FALSE(Library_Init());
    char* texts[3] = {String_Duplicate("global.lib = 1 + echo(2);"), String_Duplicate(""),
                      String_Duplicate("global.lib2 = id_missing(;")};
    LibraryInit_State().Library_Texts = texts;
    LibraryInit_State().Library_TextCount = 3;
    const bool wasShowing = CodeError_State().Code_ShowErrors;
    CodeError_State().Code_ShowErrors = false;
    CodeError_State().Code_QuietErrors = true;
    EXPECT_TRUE(Library_Init());
    CodeError_State().Code_QuietErrors = false;
    CodeError_State().Code_ShowErrors = wasShowing;
    EXPECT_TRUE(CodeError_State().Code_Aborting); // the text that does not compile was shown as aborting
    CodeError_State().Code_Aborting = false;
    EXPECT_EQ(world.scratchMade, 1);
    EXPECT_EQ(world.scratch, nullptr);
    ScriptValue v;
    ASSERT_TRUE(Variable_GetGlobal(Code_Variable_FindAlloc("lib"), -1, &v));
    EXPECT_EQ(v.real, 3);
    EXPECT_NE(std::string(CodeError_State().Code_LastErrorText)
                  .find("COMPILATION ERROR in library initialization code\n"),
              std::string::npos);
    Library_Free();
    EXPECT_EQ(texts[0], nullptr);
    LibraryInit_State().Library_Texts = nullptr;
    LibraryInit_State().Library_TextCount = 0;
}

} // namespace
