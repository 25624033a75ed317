// Running a compiled code object in a test and seeing its result as text.
#pragma once

#include "script/code.h"
#include "script/code_execute.h"
#include "script/compiler/compile.h"
#include "script/value.h"
#include "support/fatal_errors.h"

#include <cstdio>
#include <string>

// '...' for a string, the real with 17 significant digits, "<kind N>" for any other kind.
inline std::string ValueAsText(const ScriptValue& v) {
    if (v.IsString()) return "'" + std::string(v.str ? v.str : "") + "'";
    if (!v.IsReal()) return "<kind " + std::to_string(v.Kind()) + ">";
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v.real);
    return text;
}

// Runs the code on self and other. Gives its returned value as text, or "RUNTIME: " and the last fatal
// run-time error.
inline std::string RunCode(CCode* code, CInstance* self, CInstance* other) {
    ScriptValue result;
    Code_Execute(self, other, code, &result);
    std::string text = ValueAsText(result);
    Value_Free(&result);
    for (const std::string& error : TakeFatalErrors())
        text = "RUNTIME: " + error;
    return text;
}

// Compiles the program as source text and runs it on self (other the same): its returned value as
// RunCode gives it, or "COMPILE: " and the compile error.
inline std::string CompileAndRun(const std::string& program, CInstance* self) {
    CCode code(program.c_str(), 0);
    if (!code.Compile("test"))
        return "COMPILE: " +
               std::string(CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "");
    return RunCode(&code, self, self);
}
