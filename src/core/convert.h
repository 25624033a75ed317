// Conversions between reals and integers that give the results an x86 build gives, without undefined
// behaviour: a truncating conversion whose result does not fit (NaN and infinities included) gives the
// "integer indefinite" value, the lowest number of the target type.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Truncation toward zero, as a C cast on x86 (cvttsd2si). Where the processor has that instruction it
// is used as it stands: it gives the lowest number for every real that does not fit, in one step.
inline int32_t X86_DoubleToInt32(double d) {
#if defined(__SSE2__)
    return _mm_cvttsd_si32(_mm_set_sd(d));
#else
    if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(d);
#endif
}

inline int64_t X86_DoubleToInt64(double d) {
#if defined(__SSE2__) && defined(__x86_64__)
    return _mm_cvttsd_si64(_mm_set_sd(d));
#else
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return INT64_MIN;
    return static_cast<int64_t>(d);
#endif
}

// Conversion to unsigned 32 bits as the 32-bit x86 compilers do it: through a 64-bit integer, keeping
// the low 32 bits (so -1.0 gives 0xFFFFFFFF).
inline uint32_t X86_DoubleToUInt32(double d) { return static_cast<uint32_t>(X86_DoubleToInt64(d)); }

// Narrowing to single precision with the IEEE rule (round to nearest, even on ties): a magnitude that
// rounds past the largest float gives an infinity of its sign, NaN stays NaN.
inline float X86_DoubleToFloat(double d) {
    if (std::fabs(d) >= 0x1.ffffffp127)
        return d < 0 ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

// Rounding to the nearest integer with ties to even (the FPU's default mode, as fistp), then to int32.
inline int32_t X86_RoundToInt32(double d) {
    if (!(d > -2147483648.5 && d < 2147483647.5)) return INT32_MIN;
    return static_cast<int32_t>(std::nearbyint(d));
}

inline int64_t X86_RoundToInt64(double d) {
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return INT64_MIN;
    return static_cast<int64_t>(std::nearbyint(d));
}

// Shifts with the x86 rule: the count is taken modulo the width; left shifts of negative numbers are
// done on the unsigned form.
inline int32_t X86_Shl32(int32_t v, int count) { return static_cast<int32_t>(static_cast<uint32_t>(v) << (count & 31)); }
inline int32_t X86_Sar32(int32_t v, int count) { return v >> (count & 31); }
inline int64_t X86_Shl64(int64_t v, int count) { return static_cast<int64_t>(static_cast<uint64_t>(v) << (count & 63)); }
inline int64_t X86_Sar64(int64_t v, int count) { return v >> (count & 63); }

// Wrapping integer arithmetic.
inline int32_t Wrap_Add32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int32_t Wrap_Sub32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline int32_t Wrap_Mul32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
inline int32_t Wrap_Neg32(int32_t a) { return static_cast<int32_t>(0u - static_cast<uint32_t>(a)); }
inline int64_t Wrap_Add64(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)); }
inline int64_t Wrap_Sub64(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b)); }
inline int64_t Wrap_Mul64(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b)); }
inline int64_t Wrap_Neg64(int64_t a) { return static_cast<int64_t>(0ull - static_cast<uint64_t>(a)); }

// A 64-bit integer held to the 32-bit range.
inline int32_t Saturate_Int32(int64_t v) {
    return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
}

// Integer division and remainder as x86 idiv would compute them, except that the two cases that trap
// there (division by zero, INT_MIN / -1) give 0 and INT_MIN here; callers that must report a division
// by zero test for it first.
inline int32_t X86_Div32(int32_t a, int32_t b) {
    if (b == 0) return 0;
    if (a == INT32_MIN && b == -1) return INT32_MIN;
    return a / b;
}
inline int32_t X86_Rem32(int32_t a, int32_t b) {
    if (b == 0 || b == -1) return 0;
    return a % b;
}
inline int64_t X86_Div64(int64_t a, int64_t b) {
    if (b == 0) return 0;
    if (a == INT64_MIN && b == -1) return INT64_MIN;
    return a / b;
}
inline int64_t X86_Rem64(int64_t a, int64_t b) {
    if (b == 0 || b == -1) return 0;
    return a % b;
}
