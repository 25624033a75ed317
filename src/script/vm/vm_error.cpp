// Run-time errors of game code: the VM's error entry and the framed report.
#include "script/vm/vm_error.h"

#include "core/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/console.h"
#include "core/memory.h"
#include "core/process_exit.h"
#include "core/text.h"
#include "script/compiler/compile.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_debug.h"
#include "script/vm/vm_frames.h"
#include "script/world_interface.h"

const char* VM_CurrentFunctionName = nullptr;
bool VM_ErrorRaised = false;

ShaderCompileStateRecord Shader_CompileState{nullptr, 0};

const char* Shader_ErrorHeading(uint8_t failedStage) {
    return failedStage == 0 ? "FATAL ERROR in Vertex Shader compilation\n\nShaderName: "
                            : "FATAL ERROR in Fragment Shader compilation\n\nShaderName: ";
}

namespace {

[[noreturn]] void ExitProcess(const char*) {
    Process_Exit(kExitAfterError);
}

VMFatalEndFn g_fatalEnd = nullptr;
CodeReportHost g_reportHost{};

void Raise(VMContext* context, const char* format, va_list args) {
    char message[1024];
    std::vsnprintf(message, sizeof message, format, args);
    VM_ErrorRaised = true;
    if (!CodeError_State().Code_QuietErrors) {
        Code_Error_Report(message, true);
        if (g_fatalEnd == nullptr) ExitProcess(message);
        g_fatalEnd(message);
    }
    // Quietly collected (or a fatal end that came back): the execution ends here.
    CodeError_State().Code_ErrorFlag = true;
    if (context != nullptr) {
        context->stopped = true;
        context->pc = context->codeBuffer != nullptr ? vm::CodeSize(*context) : 0;
    }
}

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

// The position of a code: its debug pair's line and the line directive's name (owned, may be null).
struct Position {
    bool found = false;
    VMDebugEntry entry{};
    int line = -1;
    char* directive = nullptr;

    Position(const VMBuffer* debugTable, int pc, const char* text) {
        found = VM_FindDebugEntry(debugTable, pc, &entry);
        line = VM_GetLineNumber(found ? &entry : nullptr, text, &directive);
    }
    ~Position() { MEM_FREE(directive); }
    Position(const Position&) = delete;
    Position& operator=(const Position&) = delete;
};

const char* OrUndefined(const char* text) {
    return text ? text : "<undefined>";
}

void DumpVariables(const char* title, CVariableList* list) {
    if (list == nullptr || list->Count() < 1) return;
    ReleaseConsole->Output("%s\n%s", std::string(92, '-').c_str(), title);
    list->Dump(ReleaseConsole);
}

} // namespace

void Code_SetReportHost(const CodeReportHost& host) {
    g_reportHost = host;
}

void VM_SetFatalEnd(VMFatalEndFn end) {
    g_fatalEnd = end;
}

void VM_Error(VMContext* context, const char* format, ...) {
    va_list args;
    va_start(args, format);
    Raise(context, format, args);
    va_end(args);
}

void VM_ErrorNoContext(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Raise(nullptr, format, args);
    va_end(args);
}

void Code_Error_Report(const char* message, bool fatal) {
    VM_ErrorRaised = true;
    const char* prefix = fatal ? "FATAL " : "";
    if (message == nullptr) message = "";
    const CodeReportHost& host = g_reportHost;
    int eventType = -1, eventNumber = 0, eventObject = 0, eventAction = 0;
    if (host.currentEvent != nullptr) host.currentEvent(eventType, eventNumber, eventObject, eventAction);
    int action = eventAction + 1;

    VMContext* c = VM_CurrentContext;
    const VMCodeNames running = c != nullptr ? VM_RunningCode(*c) : VMCodeNames{nullptr, nullptr, nullptr};
    // Names come from the data file: shown escaped, so that no byte of them acts on a terminal.
    const std::string codeNameText = Text_Escaped(running.name ? running.name : "");
    const char* codeName = codeNameText.c_str();
    Position here(running.debugTable, c ? c->pc : 0, running.text);
    // An object's action code names itself "qnl_Object..." in its line directive, ending in its number.
    if (here.directive != nullptr && std::strncmp(here.directive, "qnl_Object", 10) == 0) {
        const char* end = here.directive + std::strlen(here.directive);
        const char* digits = end;
        while (digits > here.directive && digits[-1] >= '0' && digits[-1] <= '9')
            --digits;
        if (digits < end) action = std::atoi(digits);
    }

    std::string trace;
    if (c != nullptr && c->callDepth >= 1) {
        trace = std::string(92, '-') + "\n";
        trace +=
            Printf("stack frame is\n%s (line %d)\n", here.directive ? Text_Escaped(here.directive).c_str() : codeName,
                   here.line);
        for (int i = c->callDepth - 1; i >= 0; --i) {
            // Frame i holds where the code at depth i made its call.
            const VMFrame& frame = (*c->frames)[static_cast<size_t>(i)];
            const VMCodeNames callerCode = VM_CodeAt(*c, i);
            const Position caller(callerCode.debugTable, frame.pc, callerCode.text);
            const std::string frameName = Text_Escaped(callerCode.name);
            if (frame.code != nullptr && caller.found) {
                trace += Printf("called from - %s (line %d) - %s\n",
                                Text_Escaped(caller.directive ? caller.directive : callerCode.name).c_str(),
                                caller.line, VM_GetSourceLine(&caller.entry, callerCode.text));
            } else {
                trace += Printf("%s\n", frameName.c_str());
            }
        }
    }

    std::string header;
    if (eventType == -1) {
        if (Shader_CompileState.name != nullptr) {
            header = Printf("%s%s\n\n\n%s\n", Shader_ErrorHeading(Shader_CompileState.failedStage),
                            Text_Escaped(Shader_CompileState.name).c_str(), message);
        } else {
            header = Printf("%sERROR in\n%s:\n\n\n%s", prefix, codeName, message);
        }
    } else if (eventType == 100000) {
        header = Printf("%sERROR in\naction number %d\nat time step%d\nof time line %s:\n\n\n%s", prefix,
                        action, eventNumber,
                        Text_Escaped(OrUndefined(host.timelineName ? host.timelineName(eventObject) : nullptr)).c_str(),
                        message);
    } else {
        header = Printf("%sERROR in\naction number %d\nof %s\nfor object %s:\n\n\n%s", prefix, action,
                        OrUndefined(host.eventName ? host.eventName(eventType, eventNumber) : nullptr),
                        Text_Escaped(OrUndefined(host.objectName ? host.objectName(eventObject) : nullptr)).c_str(),
                        message);
    }
    if (header.size() > 32767) header.resize(32767);

    std::string text = std::string(92, '#') + "\n" + header + "\n";
    if (c != nullptr) {
        if (here.found)
            text += Printf(" at %s (line %d) - %s\n", codeName, here.line,
                           VM_GetSourceLine(&here.entry, running.text));
        else
            text += Printf("at %s\n", codeName);
    }
    text += std::string(92, '#') + "\n";
    text += trace;
    Code_Error_Show(text.c_str(), fatal);

    if (c != nullptr) {
        vm::Locals_Dump(*c, ReleaseConsole, (std::string(92, '-') + "\nLocal Variables : \n").c_str());
        IScriptWorld* world = ScriptWorld_Get();
        DumpVariables("Self Variables : \n", world && c->self ? world->InstanceVariables(c->self) : nullptr);
        DumpVariables("Global Variables : \n", Variable_Globals());
    }
}
