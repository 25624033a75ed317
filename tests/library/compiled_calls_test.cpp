// The maths and string built-ins called from compiled source, as games call them: arguments pass
// through the compiler's call and the machine's argument block, and results come back as values.
#include "builtin_test_util.h"
#include "script/code.h"
#include "script/compiler/compile.h"
#include "support/fake_world.h"
#include "support/fatal_errors.h"
#include "support/run_code.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class CompiledCalls : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterLibraryBuiltIns();
        self = world.Add(100001, 0);
        ScriptWorld_Install(&world);
        TakeFatalErrors();
    }
    void TearDown() override { ScriptWorld_Install(nullptr); }

    std::string Run(const std::string& program) { return CompileAndRun(program, FakeWorld::AsInstance(self)); }

    FakeWorld world;
    FakeInstance* self = nullptr;
};

TEST_F(CompiledCalls, MathsAndRandomFromSource) {
    EXPECT_EQ(Run("return round(2.5) + round(3.5) * 10"), "42");
    EXPECT_EQ(Run("return clamp(15, 0, 10) + median(3, 1, 2) + max(1, 7, 3)"), "19");
    // The same seed gives the same draws, whichever way the seed is set.
    EXPECT_EQ(Run("random_set_seed(42); a = irandom(1000); random_set_seed(42); return a - irandom(1000)"), "0");
    EXPECT_EQ(Run("random_set_seed(7); return random_get_seed()"), "7");
}

TEST_F(CompiledCalls, StringsFromSource) {
    EXPECT_EQ(Run("return string_length(\"h\u00e9llo\") * 10 + string_pos(\"l\", \"h\u00e9llo\")"), "53");
    EXPECT_EQ(Run("return string(3) + \"|\" + string(2.5) + \"|\" + string_repeat(\"ab\", 2)"), "'3|2.50|abab'");
    EXPECT_EQ(Run("return ord(chr(233)) + string_byte_length(chr(233))"), "235");
}

TEST_F(CompiledCalls, JsonFromSource) {
    EXPECT_EQ(Run("m = json_decode('{\"a\": [1, 2]}'); n = ds_list_size(ds_map_find_value(m, 'a'));"
                  "t = json_encode(m); ds_map_destroy(m); return string(n) + t + string(json_decode('{'))"),
              "'2{ \"a\": [ 1, 2 ] }-1'");
}

TEST_F(CompiledCalls, ArgumentCountsAreCheckedAtCompileTime) {
    EXPECT_NE(Run("return point_distance(1, 2)").find("Wrong number of arguments"), std::string::npos);
    // Functions of any count take what they are given.
    EXPECT_EQ(Run("return choose(4)"), "4");
}

} // namespace
