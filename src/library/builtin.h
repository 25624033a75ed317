// What the library's built-in functions share: the view of their arguments, the adapter that makes a
// body into a function-table entry, and registration from a table.
#pragma once

#include "script/functions.h"

#include <cstddef>

// How a built-in body sees its arguments: a missing argument (the call passed fewer than the body reads)
// reads as the real 0.
struct BuiltInArgs {
    int count;
    ScriptValue* values;

    // The argument, or a shared real 0 past the count; never write through it.
    const ScriptValue* At(int i) const;
    double Real(int i) const;
    // The text of a string argument (possibly null); null for any other kind.
    const char* Text(int i) const;
};

using BuiltInBody = void (*)(ScriptValue& result, const BuiltInArgs& args);

// The function-table entry that runs a body with its arguments wrapped.
template <BuiltInBody Body>
void BuiltIn_Call(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    Body(result, BuiltInArgs{argc, args});
}

struct BuiltInRegistration {
    const char* name;
    BuiltInFunctionFn function;
    int argumentCount;
};
// A table entry for the body F_<name> under its script name.
#define BUILTIN_ENTRY(name, count)                                                                           \
    { #name, BuiltIn_Call < F_##name>, count }

// Adds the entries to the function table in order.
template <size_t N> void BuiltIn_Register(const BuiltInRegistration (&table)[N]) {
    for (const BuiltInRegistration& entry : table)
        Code_Function_Add(entry.name, entry.function, entry.argumentCount);
}

// Makes the result a string value owning text (null: a string without text).
void BuiltIn_SetText(ScriptValue& result, char* text);
