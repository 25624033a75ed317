// The one entry through which the runner runs a code object for an instance.
#pragma once

class CCode;
class CInstance;
struct ScriptValue;

// "-oldexec": tree mode. Code compiled from text keeps its syntax tree, gets no bytecode, and runs in the
// tree evaluator (script/legacy/).
// Left extern: the virtual machine reads it by this name.
extern bool Code_TreeMode;

// Runs the code (native entry, bytecode, constant, or in tree mode the syntax tree of text-compiled code).
// The VM reports its own run-time errors, so a run on the VM gives true even after one; callers look at
// Code_ErrorFlag. The tree evaluator records its errors with Code_Error and gives false for the caller
// to show them.
bool Code_Execute(CInstance* self, CInstance* other, CCode* code, ScriptValue* result);
// Code_Execute; a failure is reported (not fatal) and the error flag cleared.
bool Code_ExecuteReportError(CInstance* self, CInstance* other, CCode* code, ScriptValue* result);
// Code_Execute; a failure leaves the string "ERROR" as the result.
bool Code_ExecuteErrorResult(CInstance* self, CInstance* other, CCode* code, ScriptValue* result);
