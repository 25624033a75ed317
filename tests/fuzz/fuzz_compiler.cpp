// Feeds arbitrary text to the compiler, as a program and as an expression: every input must compile or
// fail with an error text, and nothing may crash, hang or overflow the stack. What compiles runs on the
// machine over a few fake instances, and then from its syntax tree in the tree evaluator, with run-time
// errors collected quietly and each run cut off after about 33,000 branches (loop rounds in the tree
// evaluator). Only texts without strings and indices run: a loop that doubles a text or an
// index near the limits can ask for gigabytes, which ends the run by design (out of memory), not by a
// fault.
#include "fuzz_quiet.h"
#include "../support/fake_world.h"
#include "script/code.h"
#include "script/code_execute.h"
#include "script/compiler/compile.h"
#include "script/compiler/constants.h"
#include "script/functions.h"
#include "script/legacy/tree_eval.h"
#include "script/value.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_error.h"
#include "script/vm/vm_handles.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

constexpr int kPumpsPerRun = 8; // the pump runs every 4096 branches

FakeWorld* g_world = nullptr;
int g_pumps = 0;

void Nothing(ScriptValue&, CInstance*, CInstance*, int, ScriptValue*) {}

void CutOff() {
    if (++g_pumps >= kPumpsPerRun) VM_Error(VM_CurrentContext, "fuzz: branch budget spent");
}

void Setup() {
    Code_Constant_Init();
    Variable_InitGlobals();
    Code_Function_Add("f0", Nothing, 0);
    Code_Function_Add("f1", Nothing, 1);
    Code_Function_Add("f2", Nothing, 2);
    Code_Function_Add("fany", Nothing, -1);
    // Three instances of two objects.
    g_world = new FakeWorld();
    for (int i = 0; i < 3; ++i)
        g_world->Add(100001 + i, i % 2);
    ScriptWorld_Install(g_world);
    CodeError_State().Code_QuietErrors = true;
    CodeError_State().Code_ShowErrors = false;
    VM_SetMessagePump(CutOff);
}

bool Runnable(const std::string& text) {
    return text.find_first_of("\"'[") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (Setup(), true);
    (void)ready;
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (int expression = 0; expression < 2; ++expression) {
        CCode code(text.c_str(), expression);
        if (!code.Compile("fuzz")) {
            if (!CodeError_State().Code_ErrorFlag || !CodeError_State().Code_ErrorText) __builtin_trap();
            continue;
        }
        if (!Runnable(text)) continue;
        CInstance* self = FakeWorld::AsInstance(g_world->room[0].get());
        CInstance* other = FakeWorld::AsInstance(g_world->room[1].get());
        g_pumps = 0;
        ScriptValue result;
        Code_Execute(self, other, &code, &result);
        Value_Free(&result);
        if (VMHeld_Count() != 0) __builtin_trap();
        // The syntax tree stays with the code: the same code again, walked.
        g_pumps = 0;
        CodeError_State().Code_ErrorFlag = false;
        result = ScriptValue{};
        if (!Code_ExecuteTree(self, other, &code, &result) && !CodeError_State().Code_ErrorFlag)
            __builtin_trap();
        Value_Free(&result);
    }
    return 0;
}
