#include "library/math_builtins.h"

#include "core/convert.h"
#include "core/random.h"
#include "library/builtin.h"
#include "library/library_builtins.h"
#include "platform/clock.h"
#include "script/value.h"
#include "script/vm/vm.h"
#include "script/vm/vm_error.h"

#include <cmath>
#include <vector>


namespace {

// The pi that scripts see and the degree conversions use: the single-precision value.
constexpr double kPi = 3.1415927410125732;
// Trigonometric results smaller than this (as floats) come out as exactly 0.
constexpr float kTrigSnap = 1e-5f;
// lengthdir_x/lengthdir_y drop a fraction smaller than this.
constexpr float kLengthdirSnap = 1e-4f;

float F(double d) {
    return X86_DoubleToFloat(d);
}

// f computed on the argument rounded to a float, its result rounded to a float again.
float Single(double (*f)(double), double x) {
    return F(f(F(x)));
}

double Snapped(float r) {
    return std::fabs(r) < kTrigSnap ? 0.0 : r;
}

// round, floor and ceil give an integer inside the 32-bit range (so -0 comes out as 0); outside it the
// rounded real itself, and NaN as NaN.
double IntegerResult(double rounded) {
    if (rounded >= -2147483648.0 && rounded <= 2147483647.0) return static_cast<int32_t>(rounded);
    return rounded;
}

// Two words of the generator as one 63-bit number, taken modulo |m| and given the sign of m.
int64_t Random_Int64(int64_t m) {
    uint64_t low = Random_Next();
    uint64_t high = Random_Next();
    uint64_t x = ((high << 32) | low) & 0x7FFFFFFFFFFFFFFFull;
    uint64_t magnitude = m < 0 ? 0ull - static_cast<uint64_t>(m) : static_cast<uint64_t>(m);
    if (magnitude == 0) return 0;
    int64_t r = static_cast<int64_t>(x % magnitude);
    return m < 0 ? -r : r;
}

bool AllReals(const BuiltInArgs& a) {
    for (int i = 0; i < a.count; ++i)
        if (!a.values[i].IsReal()) return false;
    return true;
}

// ---- Type tests and arrays ----------------------------------------------------------------------

void F_is_real(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, a.At(0)->IsReal());
}
void F_is_string(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, a.At(0)->IsString());
}
void F_is_array(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, a.At(0)->IsArray());
}

// The array of an array argument, null for any other value.
const ScriptArray* ArrayOf(const BuiltInArgs& a, int i) {
    const ScriptValue* v = a.At(i);
    return v->IsArray() ? v->arr : nullptr;
}

void F_array_length_1d(ScriptValue& r, const BuiltInArgs& a) {
    const ScriptArray* array = ArrayOf(a, 0);
    if (array && array->rowCount > 0) Value_SetReal(&r, array->rows[0].length);
}

void F_array_length_2d(ScriptValue& r, const BuiltInArgs& a) {
    const ScriptArray* array = ArrayOf(a, 0);
    if (a.count != 2 || !array || !a.values[1].IsReal()) return;
    int row = X86_DoubleToInt32(a.values[1].real);
    if (row >= 0 && row < array->rowCount) Value_SetReal(&r, array->rows[row].length);
}

void F_array_height_2d(ScriptValue& r, const BuiltInArgs& a) {
    const ScriptArray* array = ArrayOf(a, 0);
    if (a.count == 1 && array) Value_SetReal(&r, array->rowCount);
}

// The flat index of (row, column), wrapping as the 32-bit arithmetic of compiled code does.
int FlatIndex(int row, int column) {
    return Wrap_Add32(Wrap_Mul32(row, kArrayRowStride), column);
}

// The accessors act on an array first argument when called with exactly `count` arguments; the index
// is argument 2, or row and column are arguments 2 and 3.
bool ArrayCall(const BuiltInArgs& a, int count) {
    return a.count == count && a.values[0].IsArray();
}

void F_array_get(ScriptValue& r, const BuiltInArgs& a) {
    if (!ArrayCall(a, 2)) return;
    Value_ArrayGet(&r, &a.values[0], Value_ArgToInt(&a.values[1], 2));
}

void F_array_set(ScriptValue&, const BuiltInArgs& a) {
    if (!ArrayCall(a, 3)) return;
    Value_ArraySet(&a.values[0], &a.values[2], Value_ArgToInt(&a.values[1], 2));
}

void F_array_set_pre(ScriptValue& r, const BuiltInArgs& a) {
    if (!ArrayCall(a, 3)) return;
    Value_ArraySet(&a.values[0], &a.values[2], Value_ArgToInt(&a.values[1], 2));
    Value_Copy(&r, &a.values[2]);
}

// The one accessor that checks neither the count nor the kind (a non-array is reported by the read).
void F_array_set_post(ScriptValue& r, const BuiltInArgs& a) {
    if (a.count < 3) return;
    int index = Value_ArgToInt(&a.values[1], 2);
    Value_ArrayGet(&r, &a.values[0], index);
    Value_ArraySet(&a.values[0], &a.values[2], index);
}

int Index2D(const BuiltInArgs& a) {
    int row = Value_ArgToInt(&a.values[1], 2);
    int column = Value_ArgToInt(&a.values[2], 3);
    return FlatIndex(row, column);
}

void F_array_get_2D(ScriptValue& r, const BuiltInArgs& a) {
    if (!ArrayCall(a, 3)) return;
    Value_ArrayGet(&r, &a.values[0], Index2D(a));
}

void F_array_set_2D(ScriptValue&, const BuiltInArgs& a) {
    if (!ArrayCall(a, 4)) return;
    Value_ArraySet(&a.values[0], &a.values[3], Index2D(a));
}

void F_array_set_2D_pre(ScriptValue& r, const BuiltInArgs& a) {
    if (!ArrayCall(a, 4)) return;
    Value_ArraySet(&a.values[0], &a.values[3], Index2D(a));
    Value_Copy(&r, &a.values[3]);
}

void F_array_set_2D_post(ScriptValue& r, const BuiltInArgs& a) {
    if (!ArrayCall(a, 4)) return;
    int index = Index2D(a);
    Value_ArrayGet(&r, &a.values[0], index);
    Value_ArraySet(&a.values[0], &a.values[3], index);
}

// ---- Random numbers -------------------------------------------------------------------------------

void F_random(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, Random_Real(1.0) * a.Real(0));
}

void F_random_range(ScriptValue& r, const BuiltInArgs& a) {
    double lo = a.Real(0), hi = a.Real(1);
    if (hi < lo) std::swap(lo, hi);
    Value_SetReal(&r, Random_Real(1.0) * (hi - lo) + lo);
}

void F_irandom(ScriptValue& r, const BuiltInArgs& a) {
    double n = a.Real(0);
    int64_t m = X86_DoubleToInt64(n < 0 ? n - 1 : n + 1);
    Value_SetReal(&r, static_cast<double>(Random_Int64(m)));
}

void F_irandom_range(ScriptValue& r, const BuiltInArgs& a) {
    double lo = a.Real(0), hi = a.Real(1);
    if (hi < lo) std::swap(lo, hi);
    int64_t m = X86_DoubleToInt64(hi - lo + 1);
    Value_SetReal(&r, static_cast<double>(Wrap_Add64(Random_Int64(m), X86_DoubleToInt64(lo))));
}

void F_random_set_seed(ScriptValue&, const BuiltInArgs& a) {
    Random_SetSeed(static_cast<uint32_t>(X86_DoubleToInt64(a.Real(0))));
}

void F_random_get_seed(ScriptValue& r, const BuiltInArgs&) {
    Value_SetReal(&r, Random_GetSeed());
}

void F_randomize(ScriptValue& r, const BuiltInArgs&) {
    uint64_t t = static_cast<uint64_t>(Timing_GetTime()) + static_cast<uint64_t>(Timing_GetBase());
    uint32_t hi = static_cast<uint32_t>(t >> 32), lo = static_cast<uint32_t>(t);
    uint32_t seed = (hi + lo) ^ (static_cast<uint32_t>(t >> 16) & 0xFFFFu) ^ (lo << 16);
    Random_SetSeed(seed);
    Value_SetReal(&r, static_cast<int32_t>(seed));
}

void F_choose(ScriptValue& r, const BuiltInArgs& a) {
    if (a.count <= 0) return;
    // The drawn number goes through a float and a floor before it picks; it stays below the count.
    float drawn = static_cast<float>(Random_Int(a.count));
    int index = X86_DoubleToInt32(std::floor(drawn));
    if (index >= a.count || index < 0) index = a.count - 1;
    Value_Copy(&r, &a.values[index]);
}

// ---- Rounding, powers and logarithms --------------------------------------------------------------

void F_abs(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, Single(std::fabs, a.Real(0)));
}
void F_round(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, IntegerResult(std::nearbyint(a.Real(0))));
}
void F_floor(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, IntegerResult(std::floor(a.Real(0))));
}
void F_ceil(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, IntegerResult(std::ceil(a.Real(0))));
}

void F_sign(ScriptValue& r, const BuiltInArgs& a) {
    double x = a.Real(0);
    Value_SetReal(&r, x > 0 ? 1.0 : x == 0 ? 0.0 : -1.0);
}

void F_frac(ScriptValue& r, const BuiltInArgs& a) {
    double x = a.Real(0);
    Value_SetReal(&r, x - std::trunc(x));
}

void F_sqrt(ScriptValue& r, const BuiltInArgs& a) {
    double x = a.Real(0);
    if (!(x >= 0)) {
        Code_Error_Report("Cannot apply sqrt to negative number.", false);
        return;
    }
    Value_SetReal(&r, std::sqrt(x));
}

void F_sqr(ScriptValue& r, const BuiltInArgs& a) {
    double x = a.Real(0);
    Value_SetReal(&r, x * x);
}
void F_exp(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, std::exp(a.Real(0)));
}
void F_ln(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, std::log(a.Real(0)));
}
void F_log2(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, std::log(a.Real(0)) / std::log(2.0));
}
void F_log10(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, std::log10(a.Real(0)));
}
void F_power(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, std::pow(a.Real(0), a.Real(1)));
}
void F_logn(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, std::log(a.Real(1)) / std::log(a.Real(0)));
}

// ---- Trigonometry ---------------------------------------------------------------------------------

void F_sin(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, Snapped(Single(std::sin, a.Real(0))));
}
void F_cos(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, Snapped(Single(std::cos, a.Real(0))));
}
void F_tan(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, Snapped(Single(std::tan, a.Real(0))));
}
void F_arctan(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, Snapped(Single(std::atan, a.Real(0))));
}

// arcsin and arccos accept the argument as a float in [-1, 1]; anything else (NaN too) is reported.
void InverseTrig(ScriptValue& r, const BuiltInArgs& a, double (*f)(double), const char* error) {
    float x = F(a.Real(0));
    if (!(x >= -1.0f && x <= 1.0f)) {
        Code_Error_Report(error, false);
        return;
    }
    Value_SetReal(&r, Snapped(Single(f, x)));
}
void F_arcsin(ScriptValue& r, const BuiltInArgs& a) {
    InverseTrig(r, a, std::asin, "Error in function arcsin().");
}
void F_arccos(ScriptValue& r, const BuiltInArgs& a) {
    InverseTrig(r, a, std::acos, "Error in function arccos().");
}

void F_arctan2(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, Snapped(F(std::atan2(F(a.Real(0)), F(a.Real(1))))));
}

void F_degtorad(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, a.Real(0) * kPi / 180);
}
void F_radtodeg(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, a.Real(0) * 180 / kPi);
}

// ---- Aggregates -----------------------------------------------------------------------------------

// A copy of the first argument, replaced by each later one that `better` prefers: ties keep the earliest.
void Extreme(ScriptValue& r, const BuiltInArgs& a, bool (*better)(double, double), const char* error) {
    if (a.count <= 0) return;
    if (!AllReals(a)) {
        Code_Error_Report(error, false);
        return;
    }
    int best = 0;
    for (int i = 1; i < a.count; ++i)
        if (better(a.values[i].real, a.values[best].real)) best = i;
    Value_Copy(&r, &a.values[best]);
}
void F_min(ScriptValue& r, const BuiltInArgs& a) {
    Extreme(
        r, a, [](double x, double best) { return x < best; },
        "Error min(): illegal argument; strings not permitted");
}
void F_max(ScriptValue& r, const BuiltInArgs& a) {
    Extreme(
        r, a, [](double x, double best) { return x > best; },
        "Error max(): illegal argument; strings not permitted");
}

void F_mean(ScriptValue& r, const BuiltInArgs& a) {
    if (a.count <= 0) return;
    double sum = 0;
    for (int i = 0; i < a.count; ++i)
        sum += Value_Real(&a.values[i]);
    Value_SetReal(&r, sum / a.count);
}

void F_median(ScriptValue& r, const BuiltInArgs& a) {
    if (a.count <= 0) return;
    std::vector<double> left;
    for (int i = 0; i < a.count; ++i)
        left.push_back(Value_Real(&a.values[i]));
    // Repeated selection of the smallest remaining value, the first of equal ones first; only the
    // comparison "<" decides, so NaN arguments cannot upset the order's bookkeeping.
    std::vector<double> sorted;
    while (!left.empty()) {
        size_t smallest = 0;
        for (size_t i = 1; i < left.size(); ++i)
            if (left[i] < left[smallest]) smallest = i;
        sorted.push_back(left[smallest]);
        left.erase(left.begin() + static_cast<std::ptrdiff_t>(smallest));
    }
    Value_SetReal(&r, sorted[sorted.size() / 2]);
}

void F_clamp(ScriptValue& r, const BuiltInArgs& a) {
    if (a.count <= 0) return;
    double x = a.Real(0), lo = a.Real(1), hi = a.Real(2);
    if (lo > x) x = lo;
    if (x > hi) x = hi;
    Value_SetReal(&r, x);
}

void F_lerp(ScriptValue& r, const BuiltInArgs& a) {
    if (a.count != 3) return;
    double from = a.Real(0), to = a.Real(1), t = a.Real(2);
    Value_SetReal(&r, (to - from) * t + from);
}

// ---- Geometry -------------------------------------------------------------------------------------

// The length of a vector of float components: the float square root of the float sum of squares.
float FloatLength(const float* d, int n) {
    double sum = 0;
    for (int i = 0; i < n; ++i)
        sum += static_cast<double>(d[i]) * d[i];
    return F(std::sqrt(F(sum)));
}

// The distance between two points whose coordinates are arguments 0..n-1 and n..2n-1.
void Distance(ScriptValue& r, const BuiltInArgs& a, int n) {
    float d[3];
    for (int i = 0; i < n; ++i)
        d[i] = F(a.Real(n + i)) - F(a.Real(i));
    Value_SetReal(&r, FloatLength(d, n));
}
void F_point_distance(ScriptValue& r, const BuiltInArgs& a) {
    Distance(r, a, 2);
}
void F_point_distance_3d(ScriptValue& r, const BuiltInArgs& a) {
    Distance(r, a, 3);
}

// The direction from (x1, y1) to (x2, y2) in degrees, counter-clockwise with the y axis pointing down.
float Math_PointDirection(float x1, float y1, float x2, float y2) {
    float dx = x2 - x1, dy = y2 - y1;
    if (dx == 0) return dy > 0 ? 270.0f : dy < 0 ? 90.0f : 0.0f;
    float d = F(static_cast<double>(F(std::atan2(dy, dx))) * 180 / kPi);
    return d <= 0 ? -d : F(360 - static_cast<double>(d));
}
void F_point_direction(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, Math_PointDirection(F(a.Real(0)), F(a.Real(1)), F(a.Real(2)), F(a.Real(3))));
}

// A value just past an integer (away from zero) by less than the snap comes out as that integer.
float LengthdirSnap(float v) {
    float whole;
    float fraction = std::modf(v, &whole);
    return std::fabs(fraction) < kLengthdirSnap ? whole : v;
}
float DegreesToFloatRadians(double degrees) {
    return F(degrees * kPi / 180);
}
void F_lengthdir_x(ScriptValue& r, const BuiltInArgs& a) {
    float c = F(std::cos(DegreesToFloatRadians(a.Real(1))));
    Value_SetReal(&r, LengthdirSnap(F(c * a.Real(0))));
}
void F_lengthdir_y(ScriptValue& r, const BuiltInArgs& a) {
    float s = F(std::sin(DegreesToFloatRadians(a.Real(1))));
    Value_SetReal(&r, LengthdirSnap(F(-(s * a.Real(0)))));
}

// The dot product of the vectors in arguments 0..n-1 and n..2n-1.
void Dot(ScriptValue& r, const BuiltInArgs& a, int n) {
    double sum = 0;
    for (int i = 0; i < n; ++i)
        sum += a.Real(i) * a.Real(n + i);
    Value_SetReal(&r, sum);
}
void F_dot_product(ScriptValue& r, const BuiltInArgs& a) {
    Dot(r, a, 2);
}
void F_dot_product_3d(ScriptValue& r, const BuiltInArgs& a) {
    Dot(r, a, 3);
}

// The same on float components, divided by the product of the two float lengths.
void DotNormalised(ScriptValue& r, const BuiltInArgs& a, int n) {
    float u[3], v[3];
    double dot = 0;
    for (int i = 0; i < n; ++i) {
        u[i] = F(a.Real(i));
        v[i] = F(a.Real(n + i));
        dot += static_cast<double>(u[i]) * v[i];
    }
    Value_SetReal(&r, dot / (static_cast<double>(FloatLength(u, n)) * FloatLength(v, n)));
}
void F_dot_product_normalised(ScriptValue& r, const BuiltInArgs& a) {
    DotNormalised(r, a, 2);
}
void F_dot_product_3d_normalised(ScriptValue& r, const BuiltInArgs& a) {
    DotNormalised(r, a, 3);
}

// ---- Tolerance ------------------------------------------------------------------------------------

void F_math_set_epsilon(ScriptValue&, const BuiltInArgs& a) {
    if (a.count != 1 || !a.values[0].IsReal()) return;
    double e = a.values[0].real;
    if (e >= 0 && e < 1)
        Code_Epsilon = e;
    else
        Code_Error_Report("math_set_epsilon :: value should be between 0 and 1", true);
}

const BuiltInRegistration kMathFunctions[] = {
    BUILTIN_ENTRY(is_real, 1),
    BUILTIN_ENTRY(is_string, 1),
    BUILTIN_ENTRY(is_array, 1),
    BUILTIN_ENTRY(array_length_1d, 1),
    BUILTIN_ENTRY(array_length_2d, 2),
    BUILTIN_ENTRY(array_height_2d, 1),
    BUILTIN_ENTRY(array_get, 2),
    BUILTIN_ENTRY(array_set, 3),
    BUILTIN_ENTRY(array_set_pre, 3),
    BUILTIN_ENTRY(array_set_post, 3),
    BUILTIN_ENTRY(array_get_2D, 3),
    BUILTIN_ENTRY(array_set_2D, 4),
    BUILTIN_ENTRY(array_set_2D_pre, 4),
    BUILTIN_ENTRY(array_set_2D_post, 4),
};

// Pure on reals (see BuiltIn_RegisterPureOnReals).
const BuiltInRegistration kRealFunctions[] = {
    BUILTIN_ENTRY(random, 1),
    BUILTIN_ENTRY(random_range, 2),
    BUILTIN_ENTRY(irandom, 1),
    BUILTIN_ENTRY(irandom_range, 2),
    BUILTIN_ENTRY(random_set_seed, 1),
    BUILTIN_ENTRY(random_get_seed, 0),
    BUILTIN_ENTRY(randomize, 0),
    BUILTIN_ENTRY(choose, -1),
    BUILTIN_ENTRY(abs, 1),
    BUILTIN_ENTRY(round, 1),
    BUILTIN_ENTRY(floor, 1),
    BUILTIN_ENTRY(ceil, 1),
    BUILTIN_ENTRY(sign, 1),
    BUILTIN_ENTRY(frac, 1),
    BUILTIN_ENTRY(sqrt, 1),
    BUILTIN_ENTRY(sqr, 1),
    BUILTIN_ENTRY(exp, 1),
    BUILTIN_ENTRY(ln, 1),
    BUILTIN_ENTRY(log2, 1),
    BUILTIN_ENTRY(log10, 1),
    BUILTIN_ENTRY(power, 2),
    BUILTIN_ENTRY(logn, 2),
    BUILTIN_ENTRY(sin, 1),
    BUILTIN_ENTRY(cos, 1),
    BUILTIN_ENTRY(tan, 1),
    BUILTIN_ENTRY(arctan, 1),
    BUILTIN_ENTRY(arcsin, 1),
    BUILTIN_ENTRY(arccos, 1),
    BUILTIN_ENTRY(arctan2, 2),
    BUILTIN_ENTRY(degtorad, 1),
    BUILTIN_ENTRY(radtodeg, 1),
    BUILTIN_ENTRY(min, -1),
    BUILTIN_ENTRY(max, -1),
    {"min3", BuiltIn_Call<F_min>, 3},
    {"max3", BuiltIn_Call<F_max>, 3},
    BUILTIN_ENTRY(mean, -1),
    BUILTIN_ENTRY(median, -1),
    BUILTIN_ENTRY(clamp, 3),
    BUILTIN_ENTRY(lerp, 3),
    BUILTIN_ENTRY(point_distance, 4),
    BUILTIN_ENTRY(point_distance_3d, 6),
    BUILTIN_ENTRY(point_direction, 4),
    BUILTIN_ENTRY(lengthdir_x, 2),
    BUILTIN_ENTRY(lengthdir_y, 2),
    BUILTIN_ENTRY(dot_product, 4),
    BUILTIN_ENTRY(dot_product_3d, 6),
    BUILTIN_ENTRY(dot_product_normalised, 4),
    BUILTIN_ENTRY(dot_product_3d_normalised, 6),
    BUILTIN_ENTRY(math_set_epsilon, 1),
};

} // namespace

double Math_Mod(double a, double b) {
    return std::fmod(a, b);
}

double Math_Div(double a, double b) {
    int64_t dividend = X86_DoubleToInt64(a);
    int64_t divisor = X86_DoubleToInt64(b);
    if (divisor == 0) {
        VM_ErrorNoContext("DoRem :: Divide by zero");
        return 0;
    }
    // The one quotient outside the 64-bit range.
    if (dividend == INT64_MIN && divisor == -1) return 9223372036854775808.0;
    return static_cast<double>(dividend / divisor);
}

void InitMathFunctions() {
    BuiltIn_Register(kMathFunctions, kBuiltInKeepsInstances);
    BuiltIn_RegisterPureOnReals(kRealFunctions, kBuiltInKeepsInstances);
    String_RegisterFunctions();
}
