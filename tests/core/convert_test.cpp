// Truncating conversions give what the x86 conversion gives, out of range and NaN included.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/convert.h"

TEST(Convert, TruncationTowardZeroAndTheIndefiniteValue) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double d;
        int32_t i32;
        int64_t i64;
    } cases[] = {
        {-0.0, 0, 0},
        {-0.99, 0, 0},
        {2.5, 2, 2},
        {-2.5, -2, -2},
        {2147483647.99, INT32_MAX, 2147483647},
        {2147483648.0, INT32_MIN, 2147483648LL},
        {-2147483648.99, INT32_MIN, -2147483648LL},
        {-2147483649.0, INT32_MIN, -2147483649LL},
        {9223372036854774784.0, INT32_MIN, 9223372036854774784LL},
        {9223372036854775808.0, INT32_MIN, INT64_MIN},
        {-9223372036854775808.0, INT32_MIN, INT64_MIN},
        {1e300, INT32_MIN, INT64_MIN},
        {inf, INT32_MIN, INT64_MIN},
        {-inf, INT32_MIN, INT64_MIN},
        {nan, INT32_MIN, INT64_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(X86_DoubleToInt32(c.d), c.i32) << c.d;
        EXPECT_EQ(X86_DoubleToInt64(c.d), c.i64) << c.d;
    }
}
