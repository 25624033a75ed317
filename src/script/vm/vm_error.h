// Run-time errors of game code and their report.
#pragma once

#include <cstdint>

struct VMContext;

// Reports a run-time error of the running execution (message at most 1023 characters): fatal unless
// errors are being collected quietly (Code_QuietErrors, while the debugger evaluates), in which case
// the message is dropped, the execution ends at once and Code_ErrorFlag is set. A null context acts as
// VM_ErrorNoContext.
void VM_Error(VMContext* context, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The same from code that runs outside an execution context (built-in functions, value operations):
// no execution is ended.
void VM_ErrorNoContext(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The name of the built-in function being executed, for error messages; the VM sets it before each
// built-in call. Null outside a call.
// Left extern: written before every built-in call.
extern const char* VM_CurrentFunctionName;

// Set by every reported error; cleared by whoever wants to see the next one.
// Left extern: one flag, set only by the error functions declared here.
extern bool VM_ErrorRaised;

// What ends the process after a fatal report: by default the process exits with code -1. A test
// program installs one that returns; the execution then ends as after a quiet error.
using VMFatalEndFn = void (*)(const char* message);
void VM_SetFatalEnd(VMFatalEndFn end);

// What the report needs of the game world, which installs it. Members left null: no event runs, and
// names are "<undefined>".
struct CodeReportHost {
    // The running event: type (-1 none, 100000 a timeline moment), number (the time step of a moment),
    // object (the timeline of a moment) and action index.
    void (*currentEvent)(int& type, int& number, int& object, int& action);
    const char* (*eventName)(int type, int number);
    const char* (*objectName)(int index);
    const char* (*timelineName)(int index);
};
void Code_SetReportHost(const CodeReportHost& host);

// The framed report of a run-time error: where it happened, the source line, the script calls that
// led there and, in the release log, the variables; shown through Code_Error_Show.
void Code_Error_Report(const char* message, bool fatal);

// The shader whose compile error is being reported, read by the report to head an error raised while no
// event runs. name is null when no shader report is under way.
struct ShaderCompileStateRecord {
    const char* name;
    uint8_t failedStage; // 0 vertex program, 1 fragment program
};
// Left extern: one record handed from the shader compiler to the error report, which knows no graphics.
extern ShaderCompileStateRecord Shader_CompileState;

// The heading of a shader error report raised while no event runs, for the given failed stage.
const char* Shader_ErrorHeading(uint8_t failedStage);
