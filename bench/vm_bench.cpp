// The machine's speed on programs written in the game's language and compiled by the run-time compiler
// (bench/programs/*.code), the tree evaluator's on the same programs ("-oldexec"), and the compiler's own
// speed on a large generated source. The script bench/compare_with_lua.sh runs the same work in Lua 5.4
// and prints the ratios; bench/tree_vs_vm.sh prints the tree evaluator's time over the machine's.
//
// A program file holds its scripts, each after a line "@script name", and the code to time after a line
// "@main" (a file without markers is all main code).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/support/fake_world.h"
#include "script/code.h"
#include "script/code_execute.h"
#include "script/compiler/compile.h"
#include "script/compiler/constants.h"
#include "script/script.h"
#include "script/variables.h"
#include "script/vm/vm.h"

namespace {

constexpr int kInstances = 1000;

FakeWorld* World() {
    static FakeWorld* world = [] {
        Code_Constant_Init();
        Variable_InitGlobals();
        // The built-in variables are not registered in this program: it brings the one its programs read.
        if (Variable_BuiltIn_Find("argument0") < 0)
            Variable_BuiltIn_Add("argument0", VM_GetArgument<0>, nullptr, false);
        auto* w = new FakeWorld();
        for (int i = 0; i < kInstances; ++i)
            w->Add(100001 + i, 0);
        ScriptWorld_Install(w);
        return w;
    }();
    return world;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ProgramDir() {
    const char* dir = std::getenv("BENCH_PROGRAMS");
    return dir ? dir : BENCH_SOURCE_DIR "/programs";
}

// Splits a program file into its scripts and main code, prepares the scripts and compiles the main code.
struct Program {
    std::vector<std::string> scriptNames;
    std::vector<std::string> scriptTexts;
    std::string mainText;
    std::unique_ptr<CCode> main;

    bool Load(const std::string& path) {
        std::istringstream in(ReadFile(path));
        std::string line;
        std::string* current = &mainText;
        while (std::getline(in, line)) {
            if (line.rfind("@script ", 0) == 0) {
                scriptNames.push_back(line.substr(8));
                scriptTexts.emplace_back();
                current = nullptr;
            } else if (line == "@main") {
                current = &mainText;
            } else {
                (current ? *current : scriptTexts.back()) += line + "\n";
            }
        }
        std::vector<CScript*> table;
        for (size_t i = 0; i < scriptNames.size(); ++i) {
            auto* script = new CScript();
            script->Load(scriptNames[i].c_str(), scriptTexts[i].c_str(), -1);
            table.push_back(script);
        }
        Script_SetTable(table.data(), static_cast<int>(table.size()));
        for (CScript* script : table) {
            if (!script->Prepare()) return false;
        }
        main = std::make_unique<CCode>(mainText.c_str(), 0);
        return main->Compile(path.c_str());
    }
};

// Runs a program on the machine, or (tree) compiled for and run in the tree evaluator.
void RunProgram(benchmark::State& state, const std::string& name, bool tree) {
    FakeWorld* world = World();
    Code_TreeMode = tree;
    Program program;
    if (!program.Load(ProgramDir() + "/" + name + ".code")) {
        state.SkipWithError(Code_ErrorText ? Code_ErrorText : "the program does not compile");
        Code_TreeMode = false;
        return;
    }
    CInstance* self = FakeWorld::AsInstance(world->room[0].get());
    for (auto _ : state) {
        ScriptValue result;
        if (!Code_Execute(self, self, program.main.get(), &result)) {
            state.SkipWithError(Code_ErrorText ? Code_ErrorText : "the program failed");
            break;
        }
        Value_Free(&result);
    }
    Script_SetTable(nullptr, 0);
    Code_TreeMode = false;
}

// One block of the generated source, in the game's language and in Lua. The Lua block keeps its locals
// in a do ... end, as a chunk may hold only 200 of them.
const char kBlock[] = "var i, s, t;\n"
                      "s = 0;\n"
                      "for (i = 0; i < 10; i += 1) {\n"
                      "    if (i mod 2 == 0) { s += i * 3; } else { s -= i div 2; }\n"
                      "    t = \"abc\" + \"def\";\n"
                      "    while (s > 100) { s = s / 2; }\n"
                      "}\n"
                      "x = s * 2 + y;\n";
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

// Compiling 80,000 lines; the equivalent Lua goes to $BENCH_WRITE_LUA when set.
void CompileLargeSource(benchmark::State& state) {
    World();
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
            state.SkipWithError(Code_ErrorText ? Code_ErrorText : "the source does not compile");
            return;
        }
    }
    state.SetLabel(std::to_string(lines) + " lines");
}

void RegisterAll() {
    for (const char* name : {"fib", "loop", "strings", "arrays", "with"}) {
        for (bool tree : {false, true}) {
            benchmark::RegisterBenchmark(
                (std::string(tree ? "tree/" : "program/") + name).c_str(),
                [name, tree](benchmark::State& state) { RunProgram(state, name, tree); })
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RegisterBenchmark("compile/large", CompileLargeSource)->Unit(benchmark::kMillisecond);
}

const bool g_registered = (RegisterAll(), true);

} // namespace
