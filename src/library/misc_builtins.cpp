#include "library/misc_builtins.h"

#include "core/console.h"
#include "core/memory.h"
#include "library/builtin.h"
#include "script/value.h"

namespace {

// The argument's text form as one line of the release log.
void F_show_debug_message(ScriptValue&, const BuiltInArgs& a) {
    char* text = nullptr;
    char* cursor = nullptr;
    int capacity = 0;
    Value_AppendText(&cursor, &text, &capacity, a.At(0));
    ReleaseConsole->Output("%s\n", text ? text : "");
    MEM_FREE(text);
}

const BuiltInRegistration kMiscFunctions[] = {
    BUILTIN_ENTRY(show_debug_message, 1),
};

} // namespace

void Misc_AddDebugFunctions() {
    BuiltIn_Register(kMiscFunctions);
}
