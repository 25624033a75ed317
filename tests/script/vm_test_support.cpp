#include "vm_test_support.h"

#include <gtest/gtest.h>

#include "script/functions.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_asm.h"
#include "script/vm/vm_error.h"
#include "script/vm/vm_handles.h"
#include "script/vm/vm_internal.h"

namespace {

void Depth(ScriptValue& result, CInstance*, CInstance*, int, ScriptValue*) {
    result.real = VM_CurrentContext ? vm::Depth(*VM_CurrentContext) : -1;
}

} // namespace

std::unique_ptr<VMWriteBuffer> Assemble(const char* listing, VMWriteBuffer* debug) {
    auto code = std::make_unique<VMWriteBuffer>(64);
    VMAsmOptions options;
    options.internString = [](const char* text) { return static_cast<int>(VMString_AddConstant(text)); };
    options.variableId = [](const char* name) { return Code_Variable_FindAlloc(name); };
    options.functionId = [](const char* name) {
        if (std::string(name) == "depth") return DepthFunctionId();
        int id = -1;
        return Code_Function_Find(name, id) ? id : -1;
    };
    std::string error;
    EXPECT_TRUE(VM_Assemble(listing, *code, debug, error, options)) << error;
    return code;
}

void RunListing(const char* listing, RunOutcome& outcome, CInstance* self, CInstance* other) {
    std::unique_ptr<VMWriteBuffer> code = Assemble(listing);
    TakeFatalErrors();
    VM_Execute("test", self, other, code.get(), &outcome.result, nullptr, nullptr);
    outcome.errors = TakeFatalErrors();
    EXPECT_EQ(VMHeld_Count(), 0) << "texts or arrays left held after the run";
}

int DepthFunctionId() {
    int id = -1;
    if (!Code_Function_Find("vm_test_depth", id)) {
        Code_Function_Add("vm_test_depth", Depth, 0);
        Code_Function_Find("vm_test_depth", id);
    }
    return id;
}
