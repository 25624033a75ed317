#include "library/ds_core.h"

#include "core/convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
double g_precision = 1e-8;
} // namespace

double DS_GetPrecision() {
    return g_precision;
}

void DS_SetPrecision(double precision) {
    g_precision = std::fabs(precision);
}

int DS_CompareText(const char* a, const char* b) {
    const auto* x = reinterpret_cast<const unsigned char*>(a ? a : "");
    const auto* y = reinterpret_cast<const unsigned char*>(b ? b : "");
    while (*x && *x == *y) {
        ++x;
        ++y;
    }
    if (*x == *y) return 0;
    return *x < *y ? -1 : 1;
}

int DS_Compare(const ScriptValue* a, const ScriptValue* b) {
    if (a->kind == KIND_REAL && b->kind == KIND_REAL) {
        const double fa = X86_DoubleToFloat(a->real);
        const double fb = X86_DoubleToFloat(b->real);
        const float d = X86_DoubleToFloat(fa - fb);
        if (g_precision > std::fabs(d)) return 0;
        return d < 0 ? -1 : 1;
    }
    if (a->kind == KIND_STRING && b->kind == KIND_STRING) return DS_CompareText(a->str, b->str);
    return a->kind == KIND_REAL ? -1 : 1;
}

void DS_Release(ScriptValue* v) {
    Value_Free(v);
    *v = ScriptValue{};
}

void DS_CopyOut(ScriptValue* result, const ScriptValue* stored) {
    Value_Copy(result, stored);
    result->kind &= DS_LOOKUP_MASK;
}

// The containers record the capacities their growth rules give (a queue's text form writes all of its
// capacity); the block behind them grows at least twofold, so that a long run of appends copies each
// value only a few times. Slots past a container's capacity are always real 0.
void DS_GrowValues(ScriptValue*& block, int64_t slots) {
    constexpr uint64_t kMaxSlots = MemoryManager::kMaxBlockSize / sizeof(ScriptValue);
    if (slots <= 0) return;
    if (static_cast<uint64_t>(slots) > kMaxSlots) MemoryManager::OutOfMemory();
    const uint64_t have = MemoryManager::GetSize(block) / sizeof(ScriptValue);
    if (static_cast<uint64_t>(slots) <= have) return;
    const uint64_t grown = std::min(std::max<uint64_t>(static_cast<uint64_t>(slots), 2 * have), kMaxSlots);
    MemoryManager::SetLength(block, sizeof(ScriptValue) * static_cast<size_t>(grown), __FILE__, __LINE__);
}

void DS_ReleaseValues(ScriptValue* block, int64_t n) {
    for (int64_t i = 0; i < n; ++i)
        DS_Release(&block[i]);
}
