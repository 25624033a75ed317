// What the two tables of built-in variables share: the row, registration of a table, and the
// conversions the setters apply to the value they are given.
#pragma once

#include "core/convert.h"
#include "core/text.h"
#include "script/value.h"
#include "script/variables.h"

#include <cstddef>
#include <cstdint>

// Registers the instance variables (the first rows of the table).
void Variable_BuiltIn_InitInstance();
// Registers the 28 physics variables (among the instance variables).
void Variable_BuiltIn_AddPhysics();

template <size_t N> void BuiltInVariable_Register(const BuiltInVariableRow (&rows)[N]) {
    Variable_BuiltIn_AddRows(rows, static_cast<int>(N));
}

// The value a setter is given is read as a real; a string or an array carries the real 0.
inline float VarIn_Float(const ScriptValue* in) {
    return X86_DoubleToFloat(Value_Real(in));
}
// Rounded to the nearest integer (ties to even) after narrowing to single precision; out of range and
// NaN give INT32_MIN.
inline int32_t VarIn_IntFromFloat(const ScriptValue* in) {
    return X86_RoundToInt32(VarIn_Float(in));
}
// Rounded to the nearest integer from the real itself.
inline int32_t VarIn_Int(const ScriptValue* in) {
    return X86_RoundToInt32(Value_Real(in));
}
// True when the rounded value is greater than 0.5, so 0.5 (rounding to 0) is false and -1 is false.
inline bool VarIn_FlagAboveHalf(int32_t rounded) {
    return rounded > 0.5;
}

inline bool VarOut_Real(ScriptValue* out, double value) {
    Value_SetReal(out, value);
    return true;
}
// A string holding a copy of the text; a null text gives a string with no text.
inline bool VarOut_Text(ScriptValue* out, const char* text) {
    out->kind = KIND_STRING;
    out->str = String_Duplicate(text);
    return true;
}
