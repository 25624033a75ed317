#include "script/code_execute.h"

#include "core/memory.h"
#include "core/text.h"
#include "script/code.h"
#include "script/compiled_game.h"
#include "script/compiler/compile.h"
#include "script/legacy/tree_eval.h"
#include "script/value.h"
#include "script/vm/vm.h"
#include "script/vm/vm_error.h"

bool Code_TreeMode = false;

namespace {

bool RunOnMachine(CInstance* self, CInstance* other, CCode* code, ScriptValue* result) {
    if (code->kind == CODE_KIND_CONSTANT) {
        if (result != nullptr) Value_Copy(result, &code->constant);
        return true;
    }
    if (code->nativeEntry != nullptr) {
        code->nativeEntry->function(self, other);
    } else if (code->code != nullptr) {
        VM_Execute(code->name, self, other, code->code, result, code->debugInfo, code->lineText);
    }
    return true;
}

} // namespace

bool Code_Execute(CInstance* self, CInstance* other, CCode* code, ScriptValue* result) {
    CodeError_State().Code_ErrorFlag = false;
    if (code == nullptr) return true;
    // Tree mode walks only the trees of text-compiled code; codes of the data file (bytecode, native
    // entries, or nothing) have none and run as they do on the VM.
    if (!Code_TreeMode || code->kind == CODE_KIND_CONSTANT || code->index >= 0 || code->code != nullptr ||
        code->nativeEntry != nullptr)
        return RunOnMachine(self, other, code, result);
    return Code_ExecuteTree(self, other, code, result);
}

bool Code_ExecuteReportError(CInstance* self, CInstance* other, CCode* code, ScriptValue* result) {
    if (Code_Execute(self, other, code, result)) return true;
    Code_Error_Report(CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "", false);
    CodeError_State().Code_ErrorFlag = false;
    return false;
}

bool Code_ExecuteErrorResult(CInstance* self, CInstance* other, CCode* code, ScriptValue* result) {
    if (Code_Execute(self, other, code, result)) return true;
    if (result != nullptr) {
        Value_Free(result);
        result->kind = KIND_STRING;
        result->str = String_Duplicate("ERROR");
    }
    return false;
}
