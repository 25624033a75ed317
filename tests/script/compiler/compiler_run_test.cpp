// Source text compiled and run on the virtual machine, on fake instances. These are the machine's rules
// (truncating conversions, comparisons with the epsilon, integer-typed operations), not folding's.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../vm_test_support.h"
#include "compiler_test_util.h"
#include "script/code.h"
#include "script/code_execute.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_handles.h"
#include "support/run_code.h"

namespace {

constexpr int kSelfId = 100001;

bool GetArgument(CInstance*, int index, ScriptValue* out) {
    Value_Copy(out, &Code_Arguments[index < 0 || index > 15 ? 0 : index]);
    return true;
}

int g_calls = 0;
void CountCall(ScriptValue& result, CInstance*, CInstance*, int, ScriptValue*) {
    result.real = g_calls++;
}

class CompilerRun : public ::testing::Test {
protected:
    void SetUp() override {
        compiler_test::RegisterTestFunctions();
        if (Variable_BuiltIn_Find("run_arg") < 0)
            Variable_BuiltIn_Add("run_arg", GetArgument, nullptr, false);
        int id;
        if (!Code_Function_Find("run_count", id)) Code_Function_Add("run_count", CountCall, 0);
        Variable_InitGlobals();
        self = world.Add(kSelfId, 0);
        ScriptWorld_Install(&world);
        TakeFatalErrors();
    }
    void TearDown() override {
        ScriptWorld_Install(nullptr);
        Script_SetTable(nullptr, 0);
        EXPECT_EQ(VMHeld_Count(), 0);
    }

    // Defines scripts from (name, text) pairs; false when one fails to compile.
    bool Scripts(const std::vector<std::pair<const char*, const char*>>& scripts) {
        return compiler_test::SetScripts(scripts);
    }

    // Compiles and runs the program on self. Gives its returned value as text ('...' for a string), the
    // compile error, or the run-time error messages.
    std::string Run(const std::string& program, CInstance* on = nullptr) {
        compiler_test::Compiled c = compiler_test::Compile(program);
        if (!c.ok) return "COMPILE: " + c.error;
        return RunCode(c.code.get(), on ? on : FakeWorld::AsInstance(self), nullptr);
    }

    // A variable of an instance, as text.
    std::string Var(FakeInstance* instance, const char* name, int index = -1) {
        return compiler_test::VariableText(instance, name, index);
    }

    FakeWorld world;
    FakeInstance* self = nullptr;
};

TEST_F(CompilerRun, ArithmeticFollowsTheMachinesTypes) {
    EXPECT_EQ(Run("a = 7; b = 2; return a / b"), "3.5");
    EXPECT_EQ(Run("a = 7; b = 2; return a div b"), "3");
    EXPECT_EQ(Run("a = -7; b = 2; return a mod b"), "-1");
    EXPECT_EQ(Run("a = 7.9; b = 2; return a div b"), "3");
    // Integer-typed operands keep integer arithmetic: / truncates, + wraps at 32 bits.
    EXPECT_EQ(Run("x = 13; return (x & 7) / 2"), "2");
    EXPECT_EQ(Run("x = 5; return (x | 0) / 2"), "2");
    EXPECT_EQ(Run("x = 2147483647; return (x | 0) + 1"), "-2147483648");
    EXPECT_EQ(Run("a = 3; return a << 2 | 1"), "13");
    EXPECT_EQ(Run("a = -8; return a >> 1"), "-4");
    EXPECT_EQ(Run("a = 6; return a ^ 3 & 5"), "5"); // one level: (a ^ 3) & 5
    EXPECT_EQ(Run("a = 1.0; return ~a"), "-2");
    EXPECT_EQ(Run("a = 3; return -a + +a * 2"), "3");
    EXPECT_EQ(Run("a = 2; b = 3; return -(a > b) + -(a < b)"), "-1");
    EXPECT_EQ(Run("a = 1; b = 0; return a / b"), "RUNTIME: DoDiv :: Divide by zero");
    EXPECT_EQ(Run("a = 1; b = 0.00000000001; return a / b"), "RUNTIME: DoDiv :: Divide by zero");
    EXPECT_EQ(Run("a = 7.9; b = 0.5; return a div b"), "RUNTIME: DoRem :: Divide by zero");
    EXPECT_EQ(Run("a = 5.5; b = 2; return a mod b + a div b"), "3.5");
    EXPECT_EQ(Run("a = 5; b = 0; return a mod b"), "RUNTIME: DoMod :: Divide by zero");
    EXPECT_EQ(Run("a = 5; return a mod 0"), "RUNTIME: DoMod :: Divide by zero");
    EXPECT_EQ(Run("var a; a = 5; a = a div 0; return a"), "RUNTIME: DoRem :: Divide by zero");
    // Variables change kind through assignment whatever they held.
    EXPECT_EQ(Run("var v; v = 3; v += 0.5; s = 'a'; s = v * 2; return s"), "7");
    EXPECT_EQ(Run("w = 2; w = 'two'; return w"), "'two'");
    EXPECT_EQ(Run("return never_assigned_anywhere"), "0");
}

TEST_F(CompilerRun, CompilingTheSameStringsAgainAddsNoConstants) {
    const std::string text = "a = 'one'; b = 'two' + 'x'; c = 'one'; return a + b + c";
    EXPECT_EQ(Run(text), "'onetwoxone'");
    const int count = VMString_ConstantCount();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Run(text), "'onetwoxone'");
    EXPECT_EQ(Run("return 'two' + 'x'"), "'twox'");
    EXPECT_EQ(VMString_ConstantCount(), count);
    // A table emptied (as when a data file loads) gets the text again.
    VMString_ClearConstants();
    EXPECT_EQ(Run(text), "'onetwoxone'");
    EXPECT_EQ(VMString_ConstantCount(), 2);
}

TEST_F(CompilerRun, StringsAndTheirTypeRules) {
    EXPECT_EQ(Run("a = 'ab'; return a + 'cd'"), "'abcd'");
    EXPECT_EQ(Run("a = 'ab'; n = 3; return n * a"), "'ababab'");
    EXPECT_EQ(Run("a = 'ab'; n = 2.7; return n * a"), "'abab'"); // the machine truncates the count
    EXPECT_EQ(Run("a = 'B'; b = 'a'; return a < b"), "1");
    EXPECT_EQ(Run("a = 'x'; return a + 1").rfind("RUNTIME: ", 0), 0u);
    EXPECT_EQ(Run("a = 'x'; return a - 'y'").rfind("RUNTIME: ", 0), 0u);
    // Appending to a variable leaves the copies made of it before alone.
    EXPECT_EQ(Run("var s; s = ''; repeat 3 s += 'ab'; t = s; t += 'c'; s += ''; return s + '|' + t"),
              "'ababab|abababc'");
}

TEST_F(CompilerRun, ComparisonsUseTheEpsilonAndTruthTheMagnitude) {
    EXPECT_EQ(Run("a = 0.00000000000000001; return a == 0"), "1");
    EXPECT_EQ(Run("return 0.00000000000000001 == 0"), "0"); // folded: exact
    EXPECT_EQ(Run("a = 0.1; b = 0.2; return a + b == 0.3"), "1");
    EXPECT_EQ(Run("a = -0.7; if a return 1 else return 0"), "1");
    EXPECT_EQ(Run("a = 0.5; if a return 1 else return 0"), "0");
    EXPECT_EQ(Run("a = 0.7; b = 0; return a and not b"), "1");
    EXPECT_EQ(Run("a = 1; b = 1; return a xor b or a < 0"), "0");
    EXPECT_EQ(Run("a = 2; b = 2; return (a >= b) + (a <= b) + (a != b) + (a <> b)"), "2");
    // Both sides of and are evaluated: there is no short-circuit.
    g_calls = 0;
    EXPECT_EQ(Run("a = 0; return a and run_count()"), "0");
    EXPECT_EQ(g_calls, 1);
}

TEST_F(CompilerRun, Loops) {
    EXPECT_EQ(Run("n = 0; while n < 5 n += 1; return n"), "5");
    EXPECT_EQ(Run("n = 0; do n += 2 until n >= 7; return n"), "8");
    EXPECT_EQ(Run("s = 0; for (i = 0; i < 4; i += 1) s += i; return s"), "6");
    EXPECT_EQ(Run("n = 0; repeat 3 n += 1; return n"), "3");
    EXPECT_EQ(Run("n = 0; c = 2.9; repeat c n += 1; return n"), "2"); // the count truncates
    EXPECT_EQ(Run("n = 0; repeat -1 n += 1; return n"), "0");
    // break and continue in every loop.
    EXPECT_EQ(Run("n = 0; while 1 { n += 1; if n == 3 break } return n"), "3");
    EXPECT_EQ(Run("n = 0; s = 0; while n < 6 { n += 1; if n mod 2 continue; s += n } return s"), "12");
    EXPECT_EQ(Run("n = 0; do { n += 1; if n < 4 continue; break } until 0; return n"), "4");
    EXPECT_EQ(
        Run("s = 0; for (i = 0; i < 10; i += 1) { if i == 2 continue; if i == 5 break; s += i } return s"),
        "8");
    EXPECT_EQ(Run("n = 0; repeat 5 { n += 1; continue; n += 100 } return n"), "5");
    EXPECT_EQ(Run("n = 0; repeat 5 { n += 1; if n == 2 break } return n"), "2");
}

TEST_F(CompilerRun, Switch) {
    const char* program =
        "switch (x) { case 1: case 2: y = 'low'; break; case 3: y = 'three'; default: y += '!' }"
        "return y";
    EXPECT_EQ(Run(std::string("x = 2; y = '';") + program), "'low'");
    EXPECT_EQ(Run(std::string("x = 3; y = '';") + program), "'three!'"); // falls through into default
    EXPECT_EQ(Run(std::string("x = 9; y = '';") + program), "'!'");
    EXPECT_EQ(Run("x = 'b'; switch (x) { case 'a': return 1; case 'b': return 2 } return 0"), "2");
    // A case written after default is never tested.
    EXPECT_EQ(Run("x = 5; y = 0; switch (x) { default: y = 1; break; case 5: y = 2 } return y"), "1");
    // A string switch value against a real case is a run-time error.
    EXPECT_EQ(Run("x = 'a'; switch (x) { case 1: return 1 } return 0"),
              "RUNTIME: DoSet :: Invalid comparison type");
    // continue inside a switch leaves the switch value behind no more: the repeat still counts right.
    EXPECT_EQ(Run("n = 0; repeat 4 { switch (n) { case 1: n += 10; continue; default: n += 1 } } return n"),
              "13");
    EXPECT_EQ(Run("n = 0; k = 0; while k < 3 { k += 1; switch (k) { case 2: continue } n += 1 } return n"),
              "2");
}

TEST_F(CompilerRun, ExitReturnAndLocals) {
    EXPECT_EQ(Run("x = 1; exit; x = 2"), "0");
    EXPECT_EQ(Var(self, "x"), "1");
    EXPECT_EQ(Run("var t; t = 5; u = t * 2; return u + self.t"), "10"); // a local is not the instance's
    EXPECT_EQ(Var(self, "u"), "10");
    EXPECT_EQ(Run("globalvar gr; gr = 7; return global.gr"), "7");
    EXPECT_EQ(Run("return 'done'"), "'done'");
}

TEST_F(CompilerRun, EachCallStartsWithoutTheLocalsOfTheLastOne) {
    // The second call's locals list is the first one's, emptied; the caller's new local takes the
    // variable the first call left behind.
    ASSERT_TRUE(Scripts({{"keep", "var x; if (run_arg[0]) x = 5; return x"}}));
    EXPECT_EQ(Run("var y; a = keep(1); y = 7; b = keep(0); return a * 10 + b"), "50");
    ASSERT_TRUE(Scripts({{"row", "var w; if (run_arg[0]) w[3] = 5; return w[3]"}}));
    EXPECT_EQ(Run("var z; a = row(1); z[3] = 7; b = row(0); return a * 10 + b"), "50");
}

TEST_F(CompilerRun, Arrays) {
    EXPECT_EQ(
        Run("for (i = 0; i < 5; i += 1) a[i] = i * i; s = 0; for (i = 0; i < 5; i += 1) s += a[i]; return s"),
        "30");
    EXPECT_EQ(Run("g[2, 3] = 5; g[1, 0] = 4; return g[2, 3] * 10 + g[1, 0]"), "54");
    EXPECT_EQ(Var(self, "g", 2 * 32000 + 3), "5");
    // Compound assignment works out the index once.
    g_calls = 0;
    EXPECT_EQ(Run("c[0] = 10; c[1] = 20; c[run_count()] += 1; return c[0] * 100 + c[1]"), "1120");
    EXPECT_EQ(g_calls, 1);
    // Assignment shares an array; a holder that does not own it copies it before writing, while the
    // owner writes in place and every holder sees the change.
    EXPECT_EQ(Run("p[0] = 1; q = p; q[0] = 2; return p[0] * 10 + q[0]"), "12");
    EXPECT_EQ(Run("r[0] = 1; t = r; r[0] = 3; return t[0]"), "3");
    EXPECT_EQ(Run("var k, m, n; k = 1; m[k] = 1; n = m; n[k] = 2; return m[k] * 10 + n[k]"), "12");
}

TEST_F(CompilerRun, AScriptWritingInAnArrayArgumentWritesInItsOwnCopy) {
    ASSERT_TRUE(Scripts({{"poke", "var w; w = run_arg[0]; w[0] = 9; return w[0]"}}));
    EXPECT_EQ(Run("p[0] = 1; r = poke(p); return r * 10 + p[0]"), "91");
}

TEST_F(CompilerRun, InstancesObjectsAndWith) {
    FakeInstance* a = world.Add(100010, 3);
    FakeInstance* b = world.Add(100011, 3);
    FakeInstance* far = world.Add(200000, 4);
    EXPECT_EQ(Run("(100010).hp = 5; (100011).hp = 6; (200000).hp = 7; return (200000).hp"), "7");
    EXPECT_EQ(Var(a, "hp"), "5");
    EXPECT_EQ(Var(b, "hp"), "6");
    EXPECT_EQ(Var(far, "hp"), "7");
    // An object index addresses all of its instances for a write and the first for a read.
    EXPECT_EQ(Run("o = 3; o.hp = 1; return (3).hp"), "1");
    EXPECT_EQ(Var(b, "hp"), "1");
    // with visits each instance; other is the caller.
    EXPECT_EQ(Run("n = 0; with (3) { hp += 10; other.n += 1 } return n"), "2");
    EXPECT_EQ(Var(a, "hp"), "11");
    EXPECT_EQ(Run("n = 0; with (all) { n2 = 1; other.n += 1; if other.n == 2 break } return n"), "2");
    EXPECT_EQ(Run("n = 0; with (noone) n = 1; return n"), "0");
    EXPECT_EQ(Run("with (far_id) z = 1; return 0"), "0");
    // Compound assignment on another instance: the instance is worked out once.
    g_calls = 0;
    EXPECT_EQ(Run("(100010 + run_count()).hp -= 1; return (100010).hp"), "10");
    EXPECT_EQ(g_calls, 1);
}

TEST_F(CompilerRun, ScriptsAndCalls) {
    ASSERT_TRUE(Scripts(
        {{"fib", "if (run_arg[0] < 2) return run_arg[0]; return fib(run_arg[0] - 1) + fib(run_arg[0] - 2)"},
         {"sub3", "return run_arg[0] - run_arg[1] - run_arg[2]"},
         {"noop", "var a"}}));
    EXPECT_EQ(Run("return fib(15)"), "610");
    EXPECT_EQ(Run("return sub3(10, 2, 1)"), "7"); // arguments arrive in order
    EXPECT_EQ(Run("n = 0; repeat 3 { noop(1); n += 1 } return n"), "3");
    EXPECT_EQ(Run("return fib"), "0"); // a script name without parentheses is its index
    EXPECT_EQ(Run("return f2(1)").find("Wrong number of arguments to function or script."),
              std::string("COMPILE: ").size() +
                  std::string("Error in code at line 1:\n   return f2(1)\n\nat position 12: ").size());
}

} // namespace
