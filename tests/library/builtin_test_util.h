// Calling registered built-in functions by name, as game code does, on values built in the test.
#pragma once

#include "core/memory.h"
#include "library/library_builtins.h"
#include "script/compiler/compile.h"
#include "script/functions.h"
#include "script/value.h"
#include "script/value_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

// One argument: a real, a text (null: a string without text) or a copy of any value.
struct Arg {
    ScriptValue v;
    Arg(double d) : v(RealValue(d)) {}
    Arg(int i) : v(RealValue(i)) {}
    Arg(const char* s) : v(StringValue(s)) {}
    Arg(const std::string& s) : v(StringValue(s.c_str())) {}
    Arg(const ScriptValue& value) { Value_Copy(&v, &value); }
    Arg(const Arg& other) { Value_Copy(&v, &other.v); }
    Arg& operator=(const Arg&) = delete;
    ~Arg() { Value_Free(&v); }
};

// The result of a call, freed with it.
struct Result {
    ScriptValue v{};
    Result() = default;
    Result(Result&& other) noexcept : v(other.v) { other.v = ScriptValue{}; }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ~Result() { Value_Free(&v); }

    double Real() const { return v.real; }
    bool IsString() const { return v.IsString(); }
    // The text of a string result ("" for a string without text).
    std::string Text() const { return v.IsString() && v.str ? v.str : ""; }
};

// Registers the library's groups once for the whole test program.
inline void RegisterLibraryBuiltIns() {
    static bool done = false;
    if (done) return;
    done = true;
    InitMathFunctions();
    InitFileFunctions();
    InitMiscFunctions();
    InitDSFunctions();
    InitBufferFunctions();
}

// Calls the built-in for self and other (other defaults to self).
inline Result CallBuiltIn(const char* name, std::initializer_list<Arg> args = {}, CInstance* self = nullptr,
                          CInstance* other = nullptr) {
    RegisterLibraryBuiltIns();
    int id = -1;
    Result result;
    if (!Code_Function_Find(name, id)) {
        ADD_FAILURE() << name << " is not registered";
        return result;
    }
    std::vector<ScriptValue*> pointers;
    for (const Arg& arg : args)
        pointers.push_back(const_cast<ScriptValue*>(&arg.v));
    Code_Function_Call(id, self, other ? other : self, result.v, static_cast<int>(pointers.size()), pointers.data());
    return result;
}

inline double CallReal(const char* name, std::initializer_list<Arg> args = {}) {
    Result r = CallBuiltIn(name, args);
    EXPECT_TRUE(r.v.IsReal()) << name;
    return r.Real();
}

inline std::string CallText(const char* name, std::initializer_list<Arg> args = {}) {
    Result r = CallBuiltIn(name, args);
    EXPECT_TRUE(r.IsString()) << name;
    return r.Text();
}

// What a call writes to the consoles (the error report included).
template <typename F> std::string ConsoleOutputOf(F f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

// Whether the last error report carried the message.
inline bool ErrorReported(const char* message) {
    return CodeError_State().Code_LastErrorText &&
           std::strstr(CodeError_State().Code_LastErrorText, message) != nullptr;
}
inline void ForgetReportedError() {
    MEM_FREE(CodeError_State().Code_LastErrorText);
    CodeError_State().Code_LastErrorText = nullptr;
}
