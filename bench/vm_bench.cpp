// The compiler's speed on a large generated source. The script bench/compare_with_lua.sh writes the
// equivalent Lua source and times "luac5.4 -p" on it beside this; it times the machine itself on whole
// runs of the benchmark programs (bench/programs). Beside it, a loop of bytecode with break words in its
// body against the same loop without them: a break word where no breakpoint is set costs what a word
// that does nothing costs.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "script/code.h"
#include "script/compiler/compile.h"
#include "script/compiler/constants.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_asm.h"
#include "script/vm/vm_buffer.h"

namespace {

void Init() {
    static const bool done = [] {
        // Each round frees a large tree that the next round builds again. Whether the C library hands
        // that memory back to the system in between (and the next round pays to touch it afresh) turns on
        // its adaptive thresholds, which shift with the sizes of the blocks freed before; keeping it makes
        // every round measure the compile alone.
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        Code_Constant_Init();
        Variable_InitGlobals();
        return true;
    }();
    (void)done;
}

// One block of the generated source, in the game's language and in Lua: the same statements on the same
// lines, so that both sources have the same number of lines and about the same size. The Lua block keeps
// its locals in a do ... end, as a chunk may hold only 200 of them; the game's block is an if (1) { ... }
// (a program that begins with "{" is that one block).
const char kBlock[] = "if (1) {\n"
                      "var i, s, t;\n"
                      "s = 0;\n"
                      "i = 0;\n"
                      "while (i < 10) {\n"
                      "    if (i mod 2 == 0) { s += i * 3; } else { s -= i div 2; }\n"
                      "    t = \"abc\" + \"def\";\n"
                      "    while (s > 100) { s = s / 2; }\n"
                      "    i += 1;\n"
                      "}\n"
                      "x = s * 2 + y;\n"
                      "}\n";
const char kLuaBlock[] = "do\n"
                         "local i, s, t\n"
                         "s = 0\n"
                         "i = 0\n"
                         "while i < 10 do\n"
                         "    if i % 2 == 0 then s = s + i * 3 else s = s - i // 2 end\n"
                         "    t = \"abc\" .. \"def\"\n"
                         "    while s > 100 do s = s / 2 end\n"
                         "    i = i + 1\n"
                         "end\n"
                         "x = s * 2 + y\n"
                         "end\n";
constexpr int kBlocks = 10000;

// Compiling 120,000 lines; the equivalent Lua goes to $BENCH_WRITE_LUA when set.
void CompileLargeSource(benchmark::State& state) {
    Init();
    std::string source;
    for (int i = 0; i < kBlocks; ++i)
        source += kBlock;
    if (const char* luaPath = std::getenv("BENCH_WRITE_LUA")) {
        std::ofstream out(luaPath, std::ios::binary);
        for (int i = 0; i < kBlocks; ++i)
            out << kLuaBlock;
    }
    int64_t lines = 0;
    for (char c : source)
        lines += c == '\n';
    for (auto _ : state) {
        CCode code(source.c_str(), 0);
        if (!code.Compile("large")) {
            state.SkipWithError(CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText
                                                                 : "the source does not compile");
            return;
        }
    }
    state.SetLabel(std::to_string(lines) + " lines");
}

BENCHMARK(CompileLargeSource)->Name("compile/large")->Unit(benchmark::kMillisecond);

// 200,000 passes of a counting loop, with three break words in its body (state.range(0) = 1) or
// without; ordinary words follow the loop, so that the code entry is of some size.
void BreakWordLoop(benchmark::State& state) {
    Init();
    std::string listing = "push.i 200000\nloop:\n";
    if (state.range(0) != 0) listing += "break.e 0\nbreak.e 0\nbreak.e 0\n";
    listing += "push.i 1\nsub.i.i\ndup.i\nconv.i.b\nbt loop\npopz.i\n";
    for (int i = 0; i < 1000; ++i)
        listing += "push.i 1\npopz.i\n";
    VMWriteBuffer code(64);
    std::string error;
    if (!VM_Assemble(listing.c_str(), code, nullptr, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state)
        VM_Execute("loop", nullptr, nullptr, &code, nullptr, nullptr, nullptr);
    state.SetLabel(state.range(0) != 0 ? "600,000 break words" : "no break words");
}

BENCHMARK(BreakWordLoop)->Name("vm/break_words")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
