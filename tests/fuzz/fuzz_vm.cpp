// Runs arbitrary bytes as bytecode on the virtual machine, with fake instances, a few built-in
// functions (one runs the code again, nested), scripts over the same bytes, and a debug table and source
// text for the error report to read. A run ends when it ends, at an error, or when its budget of branches
// is spent. Afterwards nothing may be left held, nested or open.
#include "fuzz_quiet.h"
#include "../support/fake_world.h"
#include "script/code.h"
#include "script/compiler/compile.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_error.h"
#include "script/vm/vm_handles.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Three instances: two of object 0, and one of object 1 that is marked and waits in the changed-object
// list.
FakeWorld g_world;
FakeInstance* g_self = nullptr;
FakeInstance* g_other = nullptr;

constexpr int kBranchBudget = 16; // message-pump calls, each after 4096 branches
constexpr int kNestedRunBudget = 8;
int g_pumps = 0;
int g_nestedRuns = 0;
const VMBuffer* g_code = nullptr;

// The budget: once spent, every running execution ends at its next pump.
void Pump() {
    if (++g_pumps >= kBranchBudget && VM_CurrentContext != nullptr)
        VM_Error(VM_CurrentContext, "fuzz budget spent");
}

void Sum(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    for (int i = 0; i < argc; ++i)
        if (args[i].IsReal()) result.real += args[i].real;
}

// Nested executions are capped by the machine; here they stop early, as each may fill a value stack.
void RunAgain(ScriptValue& result, CInstance* self, CInstance* other, int, ScriptValue*) {
    if (g_code != nullptr && g_pumps < kBranchBudget && VM_NestingLevel() < 4 &&
        ++g_nestedRuns <= kNestedRunBudget)
        VM_Execute("again", self, other, g_code, &result, nullptr, nullptr);
}

void Ignore(const char*) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_self = g_world.Add(100001, 0);
    g_other = g_world.Add(100002, 0);
    FakeInstance* changed = g_world.Add(100003, 1);
    changed->marked = true;
    g_world.changedObject.push_back(changed);
    ScriptWorld_Install(&g_world);
    Variable_InitGlobals();
    VM_SetMessagePump(Pump);
    VM_SetFatalEnd(Ignore);
    CodeError_State().Code_ShowErrors = false;
    Code_Function_Add("fuzz_sum", Sum, -1);
    Code_Function_Add("fuzz_again", RunAgain, 0);
    for (const char* text : {"", "a", "true", "12.5", static_cast<const char*>(nullptr)})
        VMString_AddConstant(text);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 16) return 0;
    // The first byte chooses how errors end: quietly, or through the full report.
    CodeError_State().Code_QuietErrors = (data[0] & 1) != 0;
    CodeError_State().Code_Aborting = false;
    // Each input starts from the same world: what an earlier one left in the instances' variables and the
    // globals (arrays of any size under any id) would make a finding depend on the inputs before it, and
    // the process grow without end.
    for (const auto& instance : g_world.room)
        instance->variables.Clear();
    Variable_InitGlobals();
    std::vector<uint8_t> bytes(data + 1, data + size);
    VMBuffer code(bytes.data(), static_cast<int>(bytes.size()), false);
    // The same bytes read as debug pairs, over a text with lines and a line directive.
    VMBuffer debug(bytes.data(), static_cast<int>(bytes.size()), false);
    static const char kText[] = "a = 1;\r\nb = 2;\n#line qnl_Object_x_2 40\nc = 3;\n\xE2\x82\xAC = 4;\n";

    // Two scripts over the same bytes, one with the debug table. Their calls are turned into unknown
    // opcodes of the same length, so that recursion (each level may hold a value stack's worth of texts)
    // stays within the fuzzer's memory.
    std::vector<uint8_t> called = bytes;
    for (size_t at = 3; at < called.size(); at += 4)
        if (called[at] == 0xDA) called[at] = 0x5A;
    CScript* scripts[2];
    for (int i = 0; i < 2; ++i) {
        scripts[i] = new CScript();
        scripts[i]->name = i ? "fuzz_b" : "fuzz_a";
        scripts[i]->code = new CCode(kText, 0);
        scripts[i]->code->code = new VMBuffer(called.data(), static_cast<int>(called.size()), false);
        if (i == 1)
            scripts[i]->code->debugInfo = new VMBuffer(called.data(), static_cast<int>(called.size()), false);
    }
    Script_SetTable(scripts, 2);

    g_pumps = 0;
    g_nestedRuns = 0;
    g_code = &code;
    ScriptValue result{};
    VM_Execute("fuzz", FakeWorld::AsInstance(g_self), FakeWorld::AsInstance(g_other), &code, &result, &debug,
               kText);
    Value_Free(&result);
    g_code = nullptr;
    Script_Clear();

    if (VMHeld_Count() != 0 || VM_NestingLevel() != 0 || VM_CurrentContext != nullptr) std::abort();
    return 0;
}
