#include "io/support_builtins.h"

#include "core/convert.h"
#include "core/memory.h"
#include "core/text.h"
#include "io/programs.h"
#include "platform/platform.h"
#include "script/functions.h"
#include "script/value.h"

#include <sys/resource.h>

namespace {

void F_SetProgramPriority(ScriptValue&, CInstance*, CInstance*, int argc, ScriptValue* args) {
    // The Windows priority classes become nice values, from idle (19) to real time (-20). Raising the
    // priority needs privileges a game seldom has; then the priority simply stays.
    int nice = 0;
    switch (argc > 0 ? X86_RoundToInt32(Value_Real(&args[0])) : 0) {
    case -3:
        nice = 19;
        break;
    case -2:
        nice = 10;
        break;
    case -1:
        nice = 5;
        break;
    case 1:
        nice = -5;
        break;
    case 2:
        nice = -10;
        break;
    case 3:
        nice = -20;
        break;
    default:
        nice = 0;
        break;
    }
    setpriority(PRIO_PROCESS, 0, nice);
}

void F_SetApplicationTitle(ScriptValue&, CInstance*, CInstance*, int argc, ScriptValue* args) {
    if (argc > 0 && args[0].IsString()) Platform_SetWindowText(args[0].str ? args[0].str : "");
}

void F_ClipboardHasText(ScriptValue& result, CInstance*, CInstance*, int, ScriptValue*) {
    Value_SetReal(&result, Platform_ClipboardHasText() ? 1.0 : 0.0);
}

void F_ClipboardGetText(ScriptValue& result, CInstance*, CInstance*, int, ScriptValue*) {
    std::string text = Platform_GetClipboardText();
    result.kind = KIND_STRING;
    result.str = String_Duplicate(text.c_str());
}

void F_ClipboardSetText(ScriptValue&, CInstance*, CInstance*, int argc, ScriptValue* args) {
    if (argc > 0 && args[0].IsString()) Platform_SetClipboardText(args[0].str ? args[0].str : "");
}

void F_WindowHandle(ScriptValue& result, CInstance*, CInstance*, int, ScriptValue*) {
    // There is no Windows handle to give: the window is the platform layer's, reached by no number.
    Value_SetReal(&result, 0.0);
}

const char* TextArgument(int argc, ScriptValue* args, int i) {
    return i < argc && args[i].IsString() ? args[i].str : nullptr;
}

// Opens the document or URL (or starts the executable file) with the parameters; 1 when it started.
void F_ExecuteShell(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    const char* file = TextArgument(argc, args, 0);
    const bool started =
        file && Support_ShellExecute(Support_GameFileOr(file).c_str(), TextArgument(argc, args, 1), nullptr);
    Value_SetReal(&result, started ? 1.0 : 0.0);
}

// Starts the program with the arguments, waiting for its end when the third argument is true; 1 when it
// started.
void F_ExecuteProgram(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    const bool wait = argc > 2 && Value_Real(&args[2]) >= 0.5;
    const char* program = TextArgument(argc, args, 0);
    const bool started = program && Support_ExecuteProgram(Support_GameFileOr(program).c_str(),
                                                           TextArgument(argc, args, 1), nullptr, wait);
    Value_SetReal(&result, started ? 1.0 : 0.0);
}

void F_ParameterCount(ScriptValue& result, CInstance*, CInstance*, int, ScriptValue*) {
    Value_SetReal(&result, Param_Count());
}

void F_ParameterString(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    result.kind = KIND_STRING;
    result.str = Param_String(argc > 0 ? X86_RoundToInt32(Value_Real(&args[0])) : 0);
}

} // namespace

void Support_AddFunctions() {
    Code_Function_Add("execute_shell", F_ExecuteShell, 2);
    Code_Function_Add("execute_program", F_ExecuteProgram, 3);
    Code_Function_Add("parameter_count", F_ParameterCount, 0);
    Code_Function_Add("parameter_string", F_ParameterString, 1);
    Code_Function_Add("set_program_priority", F_SetProgramPriority, 1);
    Code_Function_Add("set_application_title", F_SetApplicationTitle, 1);
    Code_Function_Add("clipboard_has_text", F_ClipboardHasText, 0);
    Code_Function_Add("clipboard_get_text", F_ClipboardGetText, 0);
    Code_Function_Add("clipboard_set_text", F_ClipboardSetText, 1);
    Code_Function_Add("window_handle", F_WindowHandle, 0);
}
