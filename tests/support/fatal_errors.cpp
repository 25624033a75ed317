#include "support/fatal_errors.h"

#include "script/compiler/compile.h"
#include "script/vm/vm_error.h"

namespace {

std::vector<std::string> g_fatal;

// The process would end here. The test program goes on as a fresh run would: the execution ends as
// after a quietly collected error, and later errors are shown again.
void RecordFatal(const char* message) {
    g_fatal.emplace_back(message);
    CodeError_State().Code_Aborting = false;
}

struct Environment {
    Environment() {
        VM_SetFatalEnd(RecordFatal);
        CodeError_State().Code_ShowErrors = false;
    }
} g_environment;

} // namespace

std::vector<std::string> TakeFatalErrors() {
    std::vector<std::string> taken;
    taken.swap(g_fatal);
    return taken;
}
