// The time of 10 million ds_grid_get calls through the function table, as the machine makes them, with
// the checked form bound and with the unchecked form of release mode (qnl_release_mode(1)). Each
// benchmark iteration is the 10 million calls; its time is the figure.
#include <benchmark/benchmark.h>

#include "library/library_builtins.h"
#include "ext/platform_services.h"
#include "script/functions.h"
#include "script/value.h"

namespace {

constexpr int kCalls = 10000000;
constexpr int kSide = 100;

struct Grid {
    int getIndex = -1;
    double id = 0;

    Grid() {
        Code_Function_Free();
        InitDSFunctions();
        ScriptValue args[2] = {};
        args[0].real = kSide;
        args[1].real = kSide;
        ScriptValue result{};
        Call("ds_grid_create", args, 2, result);
        id = result.real;
        Code_Function_Find("ds_grid_get", getIndex);
    }

    static void Call(const char* name, ScriptValue* args, int argc, ScriptValue& result) {
        int index = -1;
        if (!Code_Function_Find(name, index)) std::abort();
        Code_Function_Entry(index)->function(result, nullptr, nullptr, argc, args);
    }
};

void GetCalls(benchmark::State& state, int releaseFlag) {
    static Grid grid;
    SetReleaseMode(releaseFlag);
    const BuiltInFunction* entry = Code_Function_Entry(grid.getIndex);
    ScriptValue args[3] = {};
    args[0].real = grid.id;
    double sum = 0;
    for (auto _ : state) {
        for (int i = 0; i < kCalls; ++i) {
            args[1].real = i % kSide;
            args[2].real = (i / kSide) % kSide;
            ScriptValue result{};
            entry->function(result, nullptr, nullptr, 3, args);
            sum += result.real;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.counters["per_call"] =
        benchmark::Counter(static_cast<double>(kCalls) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    SetReleaseMode(1);
}

void BM_GridGet10M_Checked(benchmark::State& state) {
    GetCalls(state, 1);
}
void BM_GridGet10M_ReleaseMode(benchmark::State& state) {
    GetCalls(state, 0);
}
BENCHMARK(BM_GridGet10M_Checked)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridGet10M_ReleaseMode)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
