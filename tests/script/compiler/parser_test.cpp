#include <gtest/gtest.h>

#include <string>

#include "compiler_test_util.h"
#include "script/variables.h"

using compiler_test::Message;
using compiler_test::Parse;

namespace {

std::string Program(const std::string& text) {
    return Parse(text, true);
}
std::string Expression(const std::string& text) {
    return Parse(text, false);
}

TEST(Parser, ExpressionPrecedenceAndAssociativity) {
    EXPECT_EQ(Expression("a + b * c"), "(+ a@-6 (* b@-6 c@-6))");
    EXPECT_EQ(Expression("a * b + c"), "(+ (* a@-6 b@-6) c@-6)");
    EXPECT_EQ(Expression("a - b - c"), "(- (- a@-6 b@-6) c@-6)");
    EXPECT_EQ(Expression("-a * b"), "(* (- a@-6) b@-6)");
    EXPECT_EQ(Expression("-2 * 3"), "(* (- 2) 3)");
    EXPECT_EQ(Expression("not a and b"), "(and (not a@-6) b@-6)");
    EXPECT_EQ(Expression("a < b < c"), "(< (< a@-6 b@-6) c@-6)");
    EXPECT_EQ(Expression("1 | 2 << 3 + 4 * 5"), "(| 1 (<< 2 (+ 3 (* 4 5))))");
    EXPECT_EQ(Expression("a && b < c | d"), "(and a@-6 (< b@-6 (| c@-6 d@-6)))");
    EXPECT_EQ(Expression("a || b ^^ c"), "(xor (or a@-6 b@-6) c@-6)");
    EXPECT_EQ(Expression("a div b mod c % d"), "(mod (mod (div a@-6 b@-6) c@-6) d@-6)");
    EXPECT_EQ(Expression("- - ~ !a"), "(- (- (~ (not a@-6))))");
    EXPECT_EQ(Expression("+a"), "(+ a@-6)");
    EXPECT_EQ(Expression("(a + b) * c"), "(* (+ a@-6 b@-6) c@-6)");
    EXPECT_EQ(Expression("a := b <> c"), "(!= (= a@-6 b@-6) c@-6)");
}

TEST(Parser, ExpressionCodes) {
    EXPECT_EQ(Expression("1 2"), "1"); // tokens after the expression are not looked at
    EXPECT_EQ(Expression(""), "0");
    EXPECT_EQ(Expression("'it''s'"), "'it'");
}

TEST(Parser, VariablesInstancesAndIndices) {
    EXPECT_EQ(Expression("obj.a.b"), "b@a@obj@-6");
    EXPECT_EQ(Expression("other.x"), "x@-2");
    EXPECT_EQ(Expression("(a).x[1]"), "x@a@-6[1]");
    EXPECT_EQ(Expression("a[1, 2]"), "a@-6[1,2]");
    EXPECT_EQ(Expression("a[]"), "a@-6");
    EXPECT_EQ(Expression("a[i,]"), "a@-6[i@-6]");
    EXPECT_EQ(Expression("a[b[1]].c"), "c@a@-6[b@-6[1]]");
}

TEST(Parser, Calls) {
    EXPECT_EQ(Expression("f2(1, f0())"), "(f2 1 (f0))");
    EXPECT_EQ(Expression("f1(1,)"), "(f1 1)");
    EXPECT_EQ(Expression("f1 (3)"), "(f1 3)");
    EXPECT_EQ(Expression("fany()"), "(fany)");
    EXPECT_EQ(Program("f1(2); f0()"), "(block (f1 2) (f0))");
    EXPECT_EQ(Expression("f0().x"), "x@(f0)");
    // A statement that starts with a call is a call statement.
    EXPECT_EQ(Message(Program("f0().x = 1")), "Unexpected symbol in expression.");
    EXPECT_EQ(Program("(f0()).x = 1"), "(block (= x@(f0) 1))");
}

TEST(Parser, Statements) {
    EXPECT_EQ(Program(""), "(empty)");
    EXPECT_EQ(Program("a = b = c"), "(block (= a@-6 (= b@-6 c@-6)))");
    EXPECT_EQ(Program("if a b = 1 else b = 2"), "(block (if a@-6 (= b@-6 1) (= b@-6 2)))");
    EXPECT_EQ(Program("if a then b = 1 else b = 2"), Program("if a b = 1 else b = 2"));
    EXPECT_EQ(Program("if a ; else b = 1"), "(block (if a@-6 (nop) (= b@-6 1)))");
    EXPECT_EQ(Program("while a do b = 1"), "(block (while a@-6 (= b@-6 1)))");
    EXPECT_EQ(Program("while a b = 1"), Program("while a do b = 1"));
    EXPECT_EQ(Program("do a += 1 until a > 3"), "(block (do (+= a@-6 1) (> a@-6 3)))");
    EXPECT_EQ(Program("for (i = 0; i < 3; i += 1) x = i"),
              "(block (for (= i@-6 0) (< i@-6 3) (+= i@-6 1) (= x@-6 i@-6)))");
    EXPECT_EQ(Program("for (i = 0 i < 3 i += 1) {}"),
              "(block (for (= i@-6 0) (< i@-6 3) (+= i@-6 1) (block)))");
    EXPECT_EQ(Program("repeat 3 x -= 1"), "(block (repeat 3 (-= x@-6 1)))");
    EXPECT_EQ(Program("with (other) do x *= 2"), "(block (with -2 (*= x@-6 2)))");
    EXPECT_EQ(Program("exit; return 5;;; break continue"), "(block (exit) (return 5) (break) (continue))");
    EXPECT_EQ(Program("switch (a) { case 1: x = 1; break; default: x = 2 }"),
              "(block (switch a@-6 (case 1) (= x@-6 1) (break) (default) (= x@-6 2)))");
    EXPECT_EQ(Program("case 3: default:"), "(block (case 3) (default))");
    EXPECT_EQ(Program("var a, b c; globalvar g"), "(block (var a b c) (globalvar g))");
    EXPECT_EQ(Program("var; x |= 1; y &= 2; z ^= 3; w /= 4"),
              "(block (var) (|= x@-6 1) (&= y@-6 2) (^= z@-6 3) (/= w@-6 4))");
    EXPECT_EQ(Program("{ a = 1 };"), "(block (= a@-6 1))");
    EXPECT_EQ(Program("begin a = 1 end"), "(block (= a@-6 1))");
}

TEST(Parser, ErrorTextsCarryLineAndPosition) {
    EXPECT_EQ(Program("a = 1;\r\nb = ;"),
              "ERROR: Error in code at line 2:\n   b = ;\n\nat position 5: Unexpected symbol in expression.");
    EXPECT_EQ(Expression("1 +"),
              "ERROR: Error in expression: 1 +\n position 4: Unexpected symbol in expression.");
    EXPECT_EQ(
        Program("var a = 1"),
        "ERROR: Error in code at line 1:\n   var a = 1\n\nat position 7: Unexpected symbol in expression.");
    EXPECT_EQ(Program("x = unknown_fn(1)"), "ERROR: Error in code at line 1:\n   x = unknown_fn(1)\n\nat "
                                            "position 5: Unknown function or script: unknown_fn");
    EXPECT_EQ(Program("x = 1 #"),
              "ERROR: Error in code at line 1:\n   x = 1 #\n\nat position 7: Unexpected symbol.");
}

TEST(Parser, ErrorMessages) {
    int id = -1;
    if (Variable_BuiltIn_Find("parser_builtin") < 0)
        Variable_BuiltIn_Add(
            "parser_builtin", [](CInstance*, int, ScriptValue*) { return true; }, nullptr, false);
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"if a", "Unexpected end of code reached."},
        {"{ a = 1 } b = 2", "Program ends before end of the code."},
        {"{ a = 1", "Symbol  } expected."},
        {"switch (a) x = 1", "Symbol {  expected."},
        {"switch (a) { case 1:", "Symbol  } expected."},
        {"for i = 0", "Symbol ( expected."},
        {"for (i = 0; i < 1; i += 1 x = 1", "Symbol ) expected."},
        {"x = (1 + 2", "Symbol ) expected."},
        {"f2(1 2)", "Symbol , or ) expected."},
        {"f2(1, 2", "Symbol ) expected."},
        {"x = a[1 2]", "Symbol , or ] expected."},
        {"x = a[1", "Symbol ] expected."},
        {"case 1 x = 1", "Symbol : expected."},
        {"default x = 1", "Symbol : expected."},
        {"do x = 1 while y", "Keyword until expected."},
        {"5 = 1", "Variable name expected."},
        {"other.f0() = 1", "Variable name expected."},
        {"x 1", "Assignment operator expected."},
        {"var a, parser_builtin", "Cannot redeclare a builtin variable."},
        {"a[1,2,3] = 0", "Only 1- and 2-dimensional arrays are supported."},
        {"f1(1, 2)", "Wrong number of arguments to function or script."},
        {"f0(1)", "Wrong number of arguments to function or script."},
        {"x = ]", "Unexpected symbol in expression."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Message(Program(c.text)), c.message) << c.text;
    (void)id;

    // At most 16 arguments, even where any number is accepted.
    std::string call = "fany(1";
    for (int i = 0; i < 15; ++i)
        call += ",1";
    EXPECT_EQ(Program(call + ")"), "(block (fany 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1))");
    EXPECT_EQ(Message(Program(call + ",1)")), "Wrong number of arguments to function or script.");
}

TEST(Parser, HostileTextCompilesOrFailsCleanly) {
    // Literals of any size: a number too large for a double is infinite.
    EXPECT_EQ(Program("x = " + std::string(400, '9')), "(block (= x@-6 inf))");
    const std::string big(100000, 'z');
    EXPECT_EQ(Program("x = '" + big + "'"), "(block (= x@-6 '" + big + "'))");
    // Unclosed strings and comments run to the end; bytes that are not UTF-8 stay inside strings.
    EXPECT_EQ(Program("x = 1 /* open"), "(block (= x@-6 1))");
    EXPECT_EQ(Program("x = 'open"), "(block (= x@-6 'open  '))");
    EXPECT_EQ(Program("x = '\xFF\xC3'"), "(block (= x@-6 '\xFF\xC3'))");
    EXPECT_EQ(Program("x\xFF= 1"), "(block (= x@-6 1))");
}

TEST(Parser, DeepNestingIsACompileErrorNotACrash) {
    const int n = 100000;
    const char* tooDeep = "Code nested too deeply.";
    EXPECT_EQ(Message(Program("x = " + std::string(n, '(') + "1" + std::string(n, ')'))), tooDeep);
    EXPECT_EQ(Message(Program("x = " + std::string(n, '-') + "1")), tooDeep);
    EXPECT_EQ(Message(Program(std::string(n, '{'))), tooDeep);
    std::string ifs;
    for (int i = 0; i < n; ++i)
        ifs += "if a ";
    EXPECT_EQ(Message(Program(ifs + "x = 1")), tooDeep);
    std::string chain = "x = 1";
    for (int i = 0; i < n; ++i)
        chain += "+1";
    EXPECT_EQ(Message(Program(chain)), tooDeep);
    std::string dots = "x = a";
    for (int i = 0; i < n; ++i)
        dots += ".a";
    EXPECT_EQ(Message(Program(dots)), tooDeep);

    // Ordinary depths pass.
    EXPECT_EQ(Program("x = " + std::string(200, '(') + "1" + std::string(200, ')')), "(block (= x@-6 1))");
    std::string flat;
    for (int i = 0; i < n; ++i)
        flat += "x = 1;";
    EXPECT_EQ(Program(flat).substr(0, 20), "(block (= x@-6 1) (=");
}

} // namespace
