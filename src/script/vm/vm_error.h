// The run-time error entry of game code that runs outside a VM execution context (built-in functions,
// value operations).
#pragma once

// Formats and reports a run-time error of game code (at most 1023 characters).
void VM_ErrorNoContext(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The name of the built-in function being executed, for error messages; the VM sets it before each
// built-in call. Null outside a call.
extern const char* VM_CurrentFunctionName;

// Set by every reported error; cleared by whoever wants to see the next one.
extern bool VM_ErrorRaised;

// The framed report of a run-time error: where it happened, the source line, the script calls that
// led there and, in the release log, the variables; shown through Code_Error_Show.
void Code_Error_Report(const char* message, bool fatal);
