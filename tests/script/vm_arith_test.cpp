// Arithmetic, comparison and conversion on every type pair, with the exact results and error texts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "script/variables.h"
#include "vm_test_support.h"

namespace {

struct Case {
    const char* left;  // listing lines that push the left operand
    const char* right; // ... and the right one
    const char* op;    // the instruction
    const char* ret;   // ret type of the expected result item
    int itemSize;      // bytes the result takes on the stack
    double real;       // expected result (for a real or number)
    const char* text;  // expected text result, or null
    const char* error; // expected error text, or null
};

std::string Listing(const Case& c) {
    return std::string(c.left) + "\n" + c.right + "\n" + c.op +
           "\ncall.i depth 0\npop.v.v global.100000\nret." + c.ret;
}

void Check(const Case& c) {
    SCOPED_TRACE(Listing(c));
    Variable_InitGlobals();
    RunOutcome run;
    RunListing(Listing(c).c_str(), run);
    if (c.error != nullptr) {
        ASSERT_EQ(run.errors.size(), 1u);
        EXPECT_EQ(run.errors[0], c.error);
        return;
    }
    ASSERT_TRUE(run.errors.empty()) << run.errors[0];
    ScriptValue depth{};
    ASSERT_TRUE(Variable_GetGlobal(100000, -1, &depth));
    EXPECT_EQ(depth.real, c.itemSize);
    if (c.text != nullptr) {
        EXPECT_EQ(run.Text(), c.text);
    } else if (std::isnan(c.real)) {
        EXPECT_TRUE(std::isnan(run.result.real));
    } else {
        EXPECT_EQ(run.Real(), c.real);
    }
}

} // namespace

TEST(VMArithmetic, NumberPairsAndResultTypes) {
    const Case cases[] = {
        {"push.i 2147483647", "push.i 1", "add.i.i", "i", 4, -2147483648.0, nullptr, nullptr},
        {"push.i 5", "push.l 7", "add.l.i", "l", 8, 12, nullptr, nullptr},
        {"push.l 9223372036854775807", "push.i 1", "add.i.l", "l", 8, -9223372036854775808.0, nullptr,
         nullptr},
        {"push.i 5", "push.d 0.5", "add.d.i", "d", 8, 5.5, nullptr, nullptr},
        {"push.d 1.5", "push.d 2.25", "sub.d.d", "d", 8, -0.75, nullptr, nullptr},
        {"push.i -2147483648", "push.i 1", "sub.i.i", "i", 4, 2147483647.0, nullptr, nullptr},
        {"push.i 65536", "push.i 65536", "mul.i.i", "i", 4, 0, nullptr, nullptr},
        {"push.d 3\nconv.d.v", "push.i 4", "mul.i.v", "v", 16, 12, nullptr, nullptr},
        {"push.i 7", "push.i -2", "div.i.i", "i", 4, -3, nullptr, nullptr},
        {"push.d 7", "push.i 2", "div.i.d", "d", 8, 3.5, nullptr, nullptr},
        {"push.i -2147483648", "push.i -1", "div.i.i", "i", 4, -2147483648.0, nullptr, nullptr},
        {"push.l -9223372036854775808", "push.i -1", "div.i.l", "l", 8, -9223372036854775808.0, nullptr,
         nullptr},
        {"push.d 7.9", "push.d 2", "rem.d.d", "d", 8, 3, nullptr, nullptr},
        {"push.i -7", "push.i 2", "rem.i.i", "i", 4, -3, nullptr, nullptr},
        {"push.i -2147483648", "push.i -1", "rem.i.i", "i", 4, -2147483648.0, nullptr, nullptr},
        {"push.i -7", "push.i 3", "mod.i.i", "i", 4, -1, nullptr, nullptr},
        {"push.i -2147483648", "push.i -1", "mod.i.i", "i", 4, 0, nullptr, nullptr},
        {"push.d -7.5", "push.d 2", "mod.d.d", "d", 8, -1.5, nullptr, nullptr},
        {"push.d 1\nconv.d.v", "push.d 2\nconv.d.v", "add.v.v", "v", 16, 3, nullptr, nullptr},
        {"push.l 3", "push.d 1\nconv.d.v", "add.v.l", "v", 16, 4, nullptr, nullptr},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(VMArithmetic, DivisionByZero) {
    const Case cases[] = {
        {"push.d 1", "push.d 1e-11", "div.d.d", "d", 0, 0, nullptr, "DoDiv :: Divide by zero"},
        {"push.i 1", "push.i 0", "div.i.i", "i", 0, 0, nullptr, "DoDiv :: Divide by zero"},
        {"push.d 5", "push.d 0.5", "rem.d.d", "d", 0, 0, nullptr, "DoRem :: Divide by zero"},
        {"push.i 5", "push.i 0", "mod.i.i", "i", 0, 0, nullptr, "DoMod :: Divide by zero"},
        {"push.d 5", "push.i 0", "mod.i.d", "d", 0, 0, nullptr, "DoMod :: Divide by zero"},
        {"push.l 5", "push.l 0", "rem.l.l", "l", 0, 0, nullptr, "DoRem :: Divide by zero"},
        // A .l operand takes the general handler: the near-zero test is on the divisor's magnitude.
        {"push.l 7", "push.d -2", "div.d.l", "d", 8, -3.5, nullptr, nullptr},
        {"push.l -7", "push.d -2", "mod.d.l", "d", 8, -1, nullptr, nullptr},
        {"push.d 7", "push.l -2", "div.l.d", "d", 8, -3.5, nullptr, nullptr},
        {"push.l 1", "push.d -1e-11", "div.d.l", "d", 0, 0, nullptr, "DoDiv :: Divide by zero"},
        {"push.l 1", "push.d -1e-11", "mod.d.l", "d", 0, 0, nullptr, "DoMod :: Divide by zero"},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(VMArithmetic, Strings) {
    const Case cases[] = {
        {"push.s \"ab\"", "push.s \"cd\"", "add.s.s", "s", 4, 0, "abcd", nullptr},
        {"push.s \"ab\"\nconv.s.v", "push.s \"cd\"", "add.s.v", "v", 16, 0, "abcd", nullptr},
        {"push.d 3", "push.s \"ab\"", "mul.s.d", "s", 4, 0, "ababab", nullptr},
        {"push.d -1", "push.s \"ab\"", "mul.s.d", "s", 4, 0, "", nullptr},
        {"push.i 2", "push.s \"xy\"\nconv.s.v", "mul.v.i", "v", 16, 0, "xyxy", nullptr},
        {"push.s \"ab\"", "push.i 1", "add.i.s", "s", 0, 0, nullptr, "DoAdd :: Execution Error"},
        {"push.s \"ab\"", "push.d 3", "mul.d.s", "s", 0, 0, nullptr, "DoMul :: Execution Error"},
        {"push.s \"ab\"", "push.s \"a\"", "sub.s.s", "s", 0, 0, nullptr,
         "DoSub :: Execution Engine - Cannot operate on string type"},
        {"push.s \"ab\"", "push.i 1", "div.i.s", "s", 0, 0, nullptr,
         "DoDiv :: Execution Engine - Cannot operate on string type"},
        {"push.s \"ab\"", "push.i 1", "shl.i.s", "s", 0, 0, nullptr,
         "DoShl :: Execution Engine - Cannot operate on string type"},
        {"push.s \"ab\"", "push.i 1", "xor.i.s", "s", 0, 0, nullptr,
         "DoXor :: Execution Engine - Cannot operate on string type"},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(VMArithmetic, WrongTypesAndMalformedValues) {
    const Case cases[] = {
        {"push.b 1", "push.i 1", "add.i.b", "i", 0, 0, nullptr, "DoAdd :: Execution Error"},
        {"push.b 1", "push.i 1", "sub.i.b", "i", 0, 0, nullptr, "DoSub:: Execution Error"},
        {"push.f 1", "push.i 1", "mul.i.f", "i", 0, 0, nullptr, "DoMul :: Execution Error"},
        {"push.b 1", "push.i 1", "and.i.b", "i", 0, 0, nullptr, "DoAnd :: Execution Error"},
        {"push.b 1", "push.i 1", "shr.i.b", "i", 0, 0, nullptr, "DoShr :: Execution Error"},
        {"push.b 1", "push.s \"a\"", "seq.s.b", "b", 0, 0, nullptr, "DoSet :: Invalid comparison type"},
        {"push.s \"1\"", "push.d 1", "seq.d.s", "b", 0, 0, nullptr, "DoSet :: Invalid comparison type"},
        // A .v whose kind is neither real, string nor array.
        {"push.i 0\npush.i 0\npush.i 0\npush.i 5", "push.i 1", "add.i.v", "i", 0, 0, nullptr,
         "Malformed variable"},
        {"push.i 0\npush.i 0\npush.i 0\npush.i 5", "push.i 1", "mul.i.v", "i", 0, 0, nullptr,
         "Variable is malformed"},
        // A .v of kind string whose handle names no held text.
        {"push.i 77\npush.i 0\npush.i 0\npush.i 1", "push.i 1", "add.i.v", "i", 0, 0, nullptr,
         "Malformed variable"},
        {"push.i 1", "push.i 2", "conv.i.i", "i", 0, 0, nullptr, "DoConv :: Execution Error"},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(VMArithmetic, BitwiseAndShifts) {
    const Case cases[] = {
        {"push.i 12", "push.i 10", "and.i.i", "i", 4, 8, nullptr, nullptr},
        {"push.i 12", "push.l 3", "or.l.i", "l", 8, 15, nullptr, nullptr},
        {"push.d 12.9", "push.d 10", "xor.d.d", "d", 8, 6, nullptr, nullptr},
        // Numbers are joined bit by bit, not as truths: 2 and 1 give 0, and 0.6 is truncated to 0.
        {"push.d 2\nconv.d.v", "push.d 1\nconv.d.v", "and.v.v", "v", 16, 0, nullptr, nullptr},
        {"push.d 0.6", "push.i 1", "and.i.d", "d", 8, 0, nullptr, nullptr},
        {"push.l 2", "push.i 1", "xor.i.l", "l", 8, 3, nullptr, nullptr},
        {"push.b 1", "push.b 256", "and.b.b", "b", 4, 0, nullptr, nullptr},
        {"push.b 2", "push.b 0", "or.b.b", "b", 4, 1, nullptr, nullptr},
        {"push.i 1", "push.i 33", "shl.i.i", "i", 4, 2, nullptr, nullptr},
        {"push.i -8", "push.i 1", "shr.i.i", "i", 4, -4, nullptr, nullptr},
        {"push.i 1", "push.d 33", "shl.d.i", "d", 8, 2, nullptr, nullptr},
        {"push.d 1", "push.i 40", "shl.i.d", "d", 8, 1099511627776.0, nullptr, nullptr},
        {"push.l 1", "push.i 63", "shl.i.l", "l", 8, -9223372036854775808.0, nullptr, nullptr},
        {"push.i 1", "push.l 40", "shl.l.i", "l", 8, 1099511627776.0, nullptr, nullptr},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(VMArithmetic, Comparisons) {
    const Case cases[] = {
        // 0.1 + 0.2 against 0.3: the difference is below the epsilon.
        {"push.d 0.1\npush.d 0.2\nadd.d.d", "push.d 0.3", "seq.d.d", "b", 4, 1, nullptr, nullptr},
        {"push.d 1", "push.d 2", "slt.d.d", "b", 4, 1, nullptr, nullptr},
        {"push.d 2", "push.d 2", "sle.d.d", "b", 4, 1, nullptr, nullptr},
        {"push.i 2", "push.d 2", "sne.d.i", "b", 4, 0, nullptr, nullptr},
        {"push.l 5", "push.i 4", "sgt.i.l", "b", 4, 1, nullptr, nullptr},
        {"push.i -1", "push.i 0", "sge.i.i", "b", 4, 0, nullptr, nullptr},
        {"push.b 1", "push.i 1", "seq.i.b", "b", 4, 1, nullptr, nullptr},
        // A .b beside a real counts as 0 or 1.
        {"push.b 1", "push.d 1\nconv.d.v", "seq.v.b", "b", 4, 1, nullptr, nullptr},
        {"push.s \"a\"", "push.s \"b\"", "slt.s.s", "b", 4, 1, nullptr, nullptr},
        {"push.s \"B\"", "push.s \"a\"", "slt.s.s", "b", 4, 1, nullptr, nullptr},
        {"push.i 1", "", "add.d.d", "d", 0, 0, nullptr, "Stack underflow in test"},
        {"push.s \"\\xff\"", "push.s \"a\"", "sgt.s.s", "b", 4, 1, nullptr, nullptr},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(VMArithmetic, NegationAndNot) {
    const Case cases[] = {
        {"push.i 0", "push.d 1", "not.d", "d", 12, -2, nullptr, nullptr},
        {"push.i 0", "push.b 1", "not.b", "b", 8, 0, nullptr, nullptr},
        {"push.i 0", "push.i 5", "not.i", "i", 8, -6, nullptr, nullptr},
        {"push.i 0", "push.d 2.5\nconv.d.v", "neg.v", "v", 20, -2.5, nullptr, nullptr},
        {"push.i 0", "push.i -2147483648", "neg.i", "i", 8, -2147483648.0, nullptr, nullptr},
        {"push.i 0", "push.s \"a\"", "neg.s", "s", 0, 0, nullptr,
         "DoNeg :: Execution Engine - Cannot operate on string type"},
        {"push.i 0", "push.s \"a\"\nconv.s.v", "not.v", "v", 0, 0, nullptr,
         "DoNot :: Execution Engine - Cannot operate on string type"},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(VMArithmetic, Conversions) {
    const Case cases[] = {
        {"push.i 0", "push.s \"true\"", "conv.s.b", "b", 8, 1, nullptr, nullptr},
        {"push.i 0", "push.s \"True\"", "conv.s.b", "b", 8, 0, nullptr, nullptr},
        {"push.i 0", "push.d -0.7", "conv.d.b", "b", 8, 0, nullptr, nullptr},
        {"push.i 0", "push.d -0.7\nconv.d.v", "conv.v.b", "b", 8, 1, nullptr, nullptr},
        {"push.i 0", "push.d 1e10", "conv.d.i", "i", 8, -2147483648.0, nullptr, nullptr},
        {"push.i 0", "push.d -2.9", "conv.d.l", "l", 12, -2, nullptr, nullptr},
        {"push.i 0", "push.s \"  -12abc\"", "conv.s.i", "i", 8, -12, nullptr, nullptr},
        {"push.i 0", "push.s \"99999999999\"", "conv.s.l", "l", 12, 2147483647.0, nullptr, nullptr},
        {"push.i 0", "push.s \"2.5e1\"", "conv.s.d", "d", 12, 25, nullptr, nullptr},
        {"push.i 0", "push.l 4294967297", "conv.l.i", "i", 8, 1, nullptr, nullptr},
        {"push.i 0", "push.d 0.1", "conv.d.f", "f", 8, static_cast<double>(0.1f), nullptr, nullptr},
        {"push.i 0", "push.f 0.5", "conv.f.d", "d", 12, 0.5, nullptr, nullptr},
        {"push.i 0", "push.d 0.5", "conv.d.s", "s", 8, 0, "0.5", nullptr},
        {"push.i 0", "push.l -5", "conv.l.s", "s", 8, 0, "-5", nullptr},
        {"push.i 0", "push.b 0", "conv.b.s", "s", 8, 0, "false", nullptr},
        {"push.i 0", "push.d 1e20\nconv.d.v", "conv.v.s", "s", 8, 0, "1e+20", nullptr},
        {"push.i 0", "push.s \"x\"\nconv.s.v", "conv.v.s", "s", 8, 0, "x", nullptr},
        {"push.i 0", "push.i 3", "conv.i.v", "v", 20, 3, nullptr, nullptr},
        {"push.i 0", "push.d 1\nconv.d.v", "conv.v.v", "v", 0, 0, nullptr, "DoConv :: Execution Error"},
    };
    for (const Case& c : cases)
        Check(c);
}
