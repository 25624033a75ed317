#include "script/compiler/compile.h"

#include "core/memory.h"
#include "core/text.h"
#include "script/code.h"

bool Code_ErrorFlag = false;
char* Code_ErrorText = nullptr;

// The run-time compiler is not built yet: every compile fails with this error and leaves the code
// uncompiled, so callers report a compile error instead of running code that was never made.
bool CCode::Compile(const char* newName) {
    SetName(newName);
    Code_ErrorFlag = true;
    MEM_FREE(Code_ErrorText);
    Code_ErrorText = String_Duplicate("Cannot compile: this runner has no run-time compiler yet.");
    return false;
}
