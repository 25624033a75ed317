#include "builtin_test_util.h"

#include "core/random.h"
#include "library/math_builtins.h"
#include "script/compiler/compile.h"
#include "script/vm/vm.h"
#include "script/vm/vm_error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using testing::HasSubstr;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kPiF = 3.1415927410125732; // the pi scripts see

struct RealCase {
    const char* name;
    std::initializer_list<Arg> args;
    double expected;
};

void ExpectReals(std::initializer_list<RealCase> cases) {
    for (const RealCase& c : cases) {
        double got = CallReal(c.name, c.args);
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(got)) << c.name << " gave " << got;
        else
            EXPECT_EQ(got, c.expected) << c.name;
    }
}

// An array value: row r holds rows[r].
ScriptValue MakeArray(std::initializer_list<std::initializer_list<double>> rows) {
    ScriptValue array;
    int r = 0;
    for (auto row : rows) {
        int c = 0;
        for (double d : row) {
            ScriptValue element = RealValue(d);
            Value_AssignIndexed(&array, &element, r * kArrayRowStride + c++);
        }
        ++r;
    }
    return array;
}

} // namespace

TEST(MathBuiltIns, RegisteredInOrderWithTheirArgumentCounts) {
    RegisterLibraryBuiltIns();
    int first = -1, last = -1;
    ASSERT_TRUE(Code_Function_Find("is_real", first));
    ASSERT_TRUE(Code_Function_Find("string_repeat", last));
    EXPECT_EQ(last - first + 1, 87); // the maths group, then the string group
    int id = -1;
    ASSERT_TRUE(Code_Function_Find("math_set_epsilon", id));
    EXPECT_EQ(id - first, 62);
    ASSERT_TRUE(Code_Function_Find("real", id));
    EXPECT_EQ(id - first, 63);

    for (const char* any : {"choose", "min", "max", "mean", "median"}) {
        ASSERT_TRUE(Code_Function_Find(any, id));
        EXPECT_EQ(Code_Function_GetArgCount(id), -1) << any;
    }
}

TEST(MathBuiltIns, ValueKindsAndArrayAccessors) {
    ScriptValue array = MakeArray({{1, 2, 3}, {4}, {5, 6}});
    ScriptValue undefined;
    undefined.kind = KIND_UNDEFINED;
    ExpectReals({{"is_real", {2.5}, 1},
                 {"is_real", {"2"}, 0},
                 {"is_string", {"x"}, 1},
                 {"is_string", {1.0}, 0},
                 {"is_array", {array}, 1},
                 {"is_array", {undefined}, 0},
                 {"array_length_1d", {array}, 3},
                 {"array_length_1d", {7.0}, 0},
                 {"array_length_2d", {array, 1.0}, 1},
                 {"array_length_2d", {array, 1.9}, 1}, // the row truncates
                 {"array_length_2d", {array, 5.0}, 0},
                 {"array_length_2d", {array, -1.0}, 0},
                 {"array_length_2d", {array, "1"}, 0},
                 {"array_height_2d", {array}, 3},
                 {"array_height_2d", {5.0}, 0},
                 {"array_get", {array, 2.0}, 3},
                 {"array_get", {array, 32000.0}, 4},
                 {"array_get_2D", {array, 1.0, 0.0}, 4},
                 {"array_get", {array}, 0}});

    // The setters write into the array the argument shares with the caller.
    EXPECT_EQ(CallReal("array_set", {array, 1.0, 20.0}), 0);
    EXPECT_EQ(Element(array, 0, 1).real, 20);
    EXPECT_EQ(CallReal("array_set_pre", {array, 0.0, 10.0}), 10);
    EXPECT_EQ(CallReal("array_set_post", {array, 0.0, 11.0}), 10);
    EXPECT_EQ(Element(array, 0, 0).real, 11);
    EXPECT_EQ(CallReal("array_set_2D", {array, 2.0, 1.0, 7.0}), 0);
    EXPECT_EQ(Element(array, 2, 1).real, 7);
    EXPECT_EQ(CallText("array_set_2D_pre", {array, 1.0, 0.0, "s"}), "s");
    EXPECT_EQ(CallText("array_set_2D_post", {array, 1.0, 0.0, 5.0}), "s");
    EXPECT_EQ(Element(array, 1, 0).real, 5);
    // Wrong counts or a non-array do nothing.
    EXPECT_EQ(CallReal("array_set", {array, 0.0, 1.0, 2.0}), 0);
    EXPECT_EQ(CallReal("array_set_pre", {5.0, 0.0, 1.0}), 0);
    EXPECT_EQ(Element(array, 0, 0).real, 11);

    // A non-numeric index is the argument-type error and reads as 0.
    VM_ErrorRaised = false;
    std::string log = ConsoleOutputOf([&] { EXPECT_EQ(CallReal("array_get", {array, "x"}), 11); });
    EXPECT_THAT(log, HasSubstr("argument 2 incorrect type expecting a Number or Pointer"));
    Value_Free(&array);
}

TEST(MathBuiltIns, RandomNumbersFollowTheSeededStream) {
    const uint32_t seed = 123456;
    CallReal("random_set_seed", {static_cast<double>(seed) + 0x100000000LL});
    EXPECT_EQ(CallReal("random_get_seed"), seed); // the low 32 bits
    double r = CallReal("random", {10.0});
    double rr = CallReal("random_range", {5.0, 3.0});
    double ir = CallReal("irandom", {1000000.0});
    double irr = CallReal("irandom_range", {-5.0, 5.0});
    double ineg = CallReal("irandom", {-1000000.0});
    double ch = CallReal("choose", {10.0, 11.0, 12.0});

    // The same draws by hand: random and random_range take one word, the integer ones two (low word
    // first, top bit cleared), choose one.
    Random_SetSeed(seed);
    auto word = [] { return static_cast<double>(Random_Next()) / 4294967296.0; };
    auto int63 = [] {
        uint64_t low = Random_Next();
        uint64_t high = Random_Next();
        return ((high << 32) | low) & 0x7FFFFFFFFFFFFFFFull;
    };
    EXPECT_EQ(r, word() * 10);
    EXPECT_EQ(rr, word() * 2 + 3);
    EXPECT_EQ(ir, static_cast<double>(int63() % 1000001));
    EXPECT_EQ(irr, static_cast<double>(int63() % 11) - 5);
    EXPECT_EQ(ineg, -static_cast<double>(int63() % 1000001));
    EXPECT_EQ(ch, 10 + Random_Next() % 3);

    for (int i = 0; i < 200; ++i) {
        double v = CallReal("irandom", {-3.0});
        EXPECT_TRUE(v >= -3 && v <= 0 && v == std::floor(v)) << v;
        v = CallReal("irandom_range", {3.0, 1.0});
        EXPECT_TRUE(v >= 1 && v <= 3 && v == std::floor(v)) << v;
        v = CallReal("random_range", {2.0, -2.0});
        EXPECT_TRUE(v >= -2 && v < 2) << v;
    }
    EXPECT_EQ(CallReal("irandom", {0.0}), 0);
    EXPECT_EQ(CallReal("choose"), 0);
    EXPECT_EQ(CallText("choose", {"only"}), "only");
    // NaN and infinite bounds make the widest range, never a trap.
    EXPECT_TRUE(std::isfinite(CallReal("irandom", {kNaN})));
    EXPECT_TRUE(std::isfinite(CallReal("irandom_range", {-kInf, kInf})));

    double seeded = CallReal("randomize");
    EXPECT_EQ(static_cast<uint32_t>(static_cast<int32_t>(seeded)), Random_GetSeed());
}

TEST(MathBuiltIns, RoundingPowersAndLogarithms) {
    ExpectReals({{"abs", {-0.1}, 0.10000000149011612},
                 {"abs", {16777217.0}, 16777216},
                 {"abs", {-1e300}, kInf}, // past the float range
                 {"round", {2.5}, 2},
                 {"round", {3.5}, 4},
                 {"round", {-2.5}, -2},
                 {"floor", {-0.5}, -1},
                 {"ceil", {-0.5}, 0},
                 {"floor", {2.9999999}, 2},
                 // Outside the 32-bit range the rounded real comes back, and NaN stays NaN.
                 {"round", {1e10 + 0.5}, 1e10},
                 {"floor", {-3e9 - 0.5}, -3000000001.0},
                 {"ceil", {kInf}, kInf},
                 {"round", {kNaN}, kNaN},
                 {"floor", {kNaN}, kNaN},
                 {"sign", {-3.0}, -1},
                 {"sign", {0.0}, 0},
                 {"sign", {kNaN}, -1},
                 {"frac", {-2.75}, -0.75},
                 {"sqrt", {16.0}, 4},
                 {"log2", {8.0}, 3},
                 {"logn", {2.0, 8.0}, 3}});
    // -0 does not survive rounding to an integer.
    EXPECT_FALSE(std::signbit(CallReal("ceil", {-0.5})));
    EXPECT_FALSE(std::signbit(CallReal("round", {-0.0})));

    for (double bad : {-1.0, kNaN}) {
        VM_ErrorRaised = false;
        std::string log = ConsoleOutputOf([&] { EXPECT_EQ(CallReal("sqrt", {bad}), 0); });
        EXPECT_THAT(log, HasSubstr("Cannot apply sqrt to negative number."));
        EXPECT_THAT(log, testing::Not(HasSubstr("FATAL")));
        EXPECT_TRUE(VM_ErrorRaised);
    }
}

TEST(MathBuiltIns, TrigonometryInSinglePrecisionWithTheSnap) {
    auto single = [](double d) { return static_cast<double>(static_cast<float>(d)); };
    ExpectReals({{"sin", {kPiF}, 0},
                 {"cos", {kPiF / 2}, 0},
                 {"sin", {0.000001}, 0},
                 {"sin", {0.5}, single(std::sin(0.5))},
                 {"arcsin", {1.00000001}, single(std::asin(1.0))},
                 {"arccos", {-1.0}, single(kPiF)},
                 {"arctan2", {1.0, -1.0}, single(std::atan2(1.0, -1.0))},
                 {"arctan2", {0.0, 5.0}, 0},
                 {"degtorad", {180.0}, kPiF},
                 {"radtodeg", {kPiF}, 180}});
    EXPECT_EQ(CallReal("sin", {kPiF / 6}), single(std::sin(static_cast<float>(kPiF / 6))));

    for (const auto& call :
         {std::pair{"arcsin", 1.0000001}, std::pair{"arccos", -2.0}, std::pair{"arcsin", kNaN}}) {
        const char* name = call.first;
        const double arg = call.second;
        std::string log = ConsoleOutputOf([&] { EXPECT_EQ(CallReal(name, {arg}), 0); });
        EXPECT_THAT(log, HasSubstr(std::string("Error in function ") + name + "()."));
    }
}

TEST(MathBuiltIns, Aggregates) {
    ExpectReals({{"min", {}, 0},
                 {"max", {}, 0},
                 {"min", {3.0, 1.0, 2.0}, 1},
                 {"min3", {4.0, -1.0, 9.0}, -1},
                 {"max3", {4.0, -1.0, 9.0}, 9},
                 {"mean", {}, 0},
                 {"mean", {1.0, 2.0, 3.0, 4.0}, 2.5},
                 {"median", {}, 0},
                 {"median", {1.0, 2.0, 3.0, 4.0}, 3},
                 {"median", {5.0}, 5},
                 {"median", {3000000000.0, 4000000000.0, 1.0}, 3000000000.0},
                 {"median", {9.0, 1.0, 8.0, 2.0, 7.0}, 7},
                 {"clamp", {}, 0},
                 {"clamp", {5.0, 10.0, 0.0}, 0},
                 {"clamp", {15.0, 0.0, 10.0}, 10},
                 {"clamp", {5.0, 0.0, 10.0}, 5},
                 {"lerp", {2.0, 12.0, 0.25}, 4.5},
                 {"lerp", {2.0, 12.0}, 0}});

    // Ties keep the earliest argument: its whole value, marks of the kind word included.
    ScriptValue marked = RealValue(2);
    marked.kind |= 0x40000000u;
    Result tie = CallBuiltIn("max", {marked, 2.0});
    EXPECT_EQ(tie.v.kind, 0x40000000u);

    for (const char* name : {"min", "max"}) {
        std::string log = ConsoleOutputOf([&] { EXPECT_EQ(CallReal(name, {1.0, "a"}), 0); });
        EXPECT_THAT(log,
                    HasSubstr(std::string("Error ") + name + "(): illegal argument; strings not permitted"));
    }
}

TEST(MathBuiltIns, PlaneAndSpaceGeometry) {
    ExpectReals({{"point_distance", {0.0, 0.0, 3.0, 4.0}, 5},
                 {"point_distance", {1.0, 1.0, 1.1, 1.0}, static_cast<float>(1.1f - 1.0f)},
                 {"point_distance_3d", {1.0, 1.0, 1.0, 2.0, 3.0, 3.0}, 3},
                 {"point_direction", {0.0, 0.0, 0.0, 10.0}, 270},
                 {"point_direction", {0.0, 0.0, 10.0, 0.0}, 0},
                 {"point_direction", {0.0, 0.0, 0.0, -10.0}, 90},
                 {"point_direction", {0.0, 0.0, -10.0, 0.0}, 180},
                 {"point_direction", {0.0, 0.0, 0.0, 0.0}, 0},
                 {"point_direction", {0.0, 0.0, 10.0, -10.0}, 45},
                 {"point_direction", {0.0, 0.0, 10.0, 10.0}, 315},
                 {"lengthdir_x", {10.0, 90.0}, 0},
                 {"lengthdir_y", {10.0, 90.0}, -10},
                 {"lengthdir_x", {10.0, 180.0}, -10},
                 {"lengthdir_x", {1.5, 0.0}, 1.5},
                 {"dot_product", {1.0, 2.0, 3.0, 4.0}, 11},
                 {"dot_product_3d", {1.0, 2.0, 3.0, 4.0, 5.0, 6.0}, 32},
                 {"dot_product_normalised", {3.0, 4.0, 6.0, 8.0}, 1},
                 {"dot_product_normalised", {1.0, 0.0, 0.0, 5.0}, 0},
                 {"dot_product_3d_normalised", {0.0, 0.0, 2.0, 0.0, 0.0, -3.0}, -1}});
    // Only a value just past an integer, away from zero, snaps: 0.00005 past 1 does, 0.00005 short
    // of 1 does not.
    EXPECT_EQ(CallReal("lengthdir_x", {1.00005, 0.0}), 1);
    EXPECT_EQ(CallReal("lengthdir_x", {0.99995, 0.0}), static_cast<float>(0.99995));
    EXPECT_EQ(CallReal("lengthdir_x", {-1.00005, 0.0}), -1);
}

TEST(MathBuiltIns, EpsilonTakesRealsFromZeroToBelowOne) {
    EXPECT_EQ(Code_Epsilon, 1e-16);
    CallReal("math_set_epsilon", {0.25});
    EXPECT_EQ(Code_Epsilon, 0.25);
    CallReal("math_set_epsilon", {"0.5"});    // not a real: nothing
    CallReal("math_set_epsilon", {0.5, 0.5}); // not one argument: nothing
    EXPECT_EQ(Code_Epsilon, 0.25);
    for (double bad : {1.0, -0.1, kNaN}) {
        CodeError_State().Code_Aborting = false; // a fatal report ends the game, after which nothing is shown
        std::string log = ConsoleOutputOf([&] { CallReal("math_set_epsilon", {bad}); });
        EXPECT_THAT(log, HasSubstr("FATAL ERROR in"));
        EXPECT_THAT(log, HasSubstr("math_set_epsilon :: value should be between 0 and 1"));
        EXPECT_EQ(Code_Epsilon, 0.25);
    }
    CallReal("math_set_epsilon", {0.0});
    EXPECT_EQ(Code_Epsilon, 0);
    Code_Epsilon = 1e-16;
    CodeError_State().Code_Aborting = false;
}

TEST(MathOperators, IntegerDivisionAndModulo) {
    EXPECT_EQ(Math_Div(7, 2), 3);
    EXPECT_EQ(Math_Div(-7.9, 2.9), -3); // both truncate first
    EXPECT_EQ(Math_Div(9007199254740993.0, 1), 9007199254740992.0);
    EXPECT_EQ(Math_Div(-9223372036854775808.0, -1), 9223372036854775808.0);
    for (double zero : {0.0, 0.9, -0.5}) {
        std::string log = ConsoleOutputOf([&] { EXPECT_EQ(Math_Div(5, zero), 0); });
        EXPECT_THAT(log, HasSubstr("DoRem :: Divide by zero"));
    }
    EXPECT_EQ(Math_Mod(-7, 3), -1);
    EXPECT_EQ(Math_Mod(7.5, 2), 1.5);
    EXPECT_TRUE(std::isnan(Math_Mod(1, 0)));
}

TEST(MiscBuiltIns, ShowDebugMessageWritesTheTextFormAsALine) {
    EXPECT_EQ(ConsoleOutputOf([] { CallBuiltIn("show_debug_message", {"hello"}); }), "hello\n");
    EXPECT_EQ(ConsoleOutputOf([] { CallBuiltIn("show_debug_message", {2.5}); }), "2.50\n");
    EXPECT_EQ(ConsoleOutputOf([] { CallBuiltIn("show_debug_message", {"100%s%d"}); }), "100%s%d\n");
    EXPECT_EQ(ConsoleOutputOf([] { CallBuiltIn("show_debug_message", {nullptr}); }), "\n");
}
