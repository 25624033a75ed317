// The one entry through which the runner runs a code object for an instance.
#pragma once

class CCode;
class CInstance;
struct ScriptValue;

// "-oldexec": tree mode. Code compiled from text keeps its syntax tree and gets no bytecode; there is no
// evaluator of trees in this runner, so such code reports that it cannot run.
extern bool Code_TreeMode;

// Runs the code (native entry, bytecode, or constant). The VM reports its own run-time errors, so a run
// on the VM gives true even after one; callers look at Code_ErrorFlag. False only for text-compiled code
// in tree mode, which cannot run.
bool Code_Execute(CInstance* self, CInstance* other, CCode* code, ScriptValue* result);
// Code_Execute; a failure is reported (not fatal) and the error flag cleared.
bool Code_ExecuteReportError(CInstance* self, CInstance* other, CCode* code, ScriptValue* result);
// Code_Execute; a failure leaves the string "ERROR" as the result.
bool Code_ExecuteErrorResult(CInstance* self, CInstance* other, CCode* code, ScriptValue* result);
