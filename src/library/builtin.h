// What the library's built-in functions share: the view of their arguments, the adapter that makes a
// body into a function-table entry, and registration from a table.
#pragma once

#include "script/functions.h"
#include "script/value.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

// What an argument past the call's count reads as.
inline const ScriptValue kBuiltInMissingArgument{};

// How a built-in body sees its arguments: a missing argument (the call passed fewer than the body reads)
// reads as the real 0.
struct BuiltInArgs {
    int count;
    ScriptValue* values;

    // The argument, or a shared real 0 past the count; never write through it.
    const ScriptValue* At(int i) const {
        return i >= 0 && i < count ? &values[i] : &kBuiltInMissingArgument;
    }
    double Real(int i) const { return Value_Real(At(i)); }
    // The argument narrowed to single precision (coordinates, speeds, angles).
    float Float(int i) const;
    // Truncated towards zero, or rounded to the nearest (ties to even), to int32 as the x86 conversions
    // give them (out of range and NaN: the lowest int32).
    int32_t Truncated(int i) const;
    int32_t Rounded(int i) const;
    // A flag argument: true at 0.5 or more.
    bool Flag(int i) const { return Real(i) >= 0.5; }
    // The text of a string argument (possibly null); null for any other kind.
    const char* Text(int i) const { return Value_Text(At(i)); }
};

using BuiltInBody = void (*)(ScriptValue& result, const BuiltInArgs& args);

// The function-table entry that runs a body with its arguments wrapped.
template <BuiltInBody Body>
void BuiltIn_Call(ScriptValue& result, CInstance*, CInstance*, int argc, ScriptValue* args) {
    Body(result, BuiltInArgs{argc, args});
}

// A body that also works on the calling instances: self and other as the call passed them.
using BuiltInInstanceBody = void (*)(ScriptValue& result, CInstance* self, CInstance* other,
                                     const BuiltInArgs& args);

template <BuiltInInstanceBody Body>
void BuiltIn_CallWithInstances(ScriptValue& result, CInstance* self, CInstance* other, int argc,
                               ScriptValue* args) {
    Body(result, self, other, BuiltInArgs{argc, args});
}

struct BuiltInRegistration {
    const char* name;
    BuiltInFunctionFn function;
    int argumentCount;
};
// A table entry for the body F_<name> under its script name.
#define BUILTIN_ENTRY(name, count)                                                                           \
    { #name, BuiltIn_Call < F_##name>, count }

// The body F_<name> under a second script name.
#define BUILTIN_ALIAS(alias, name, count)                                                                    \
    { #alias, BuiltIn_Call < F_##name>, count }
// The body under the second name, then under its own.
#define BUILTIN_PAIR(alias, name, count) BUILTIN_ALIAS(alias, name, count), BUILTIN_ENTRY(name, count)

// The same for a body F_<name> that takes the calling instances.
#define BUILTIN_INSTANCE_ENTRY(name, count)                                                                  \
    { #name, BuiltIn_CallWithInstances < F_##name>, count }

// The head of a body F_<name>, for BUILTIN_ENTRY(name, ...).
#define BUILTIN_BODY(name) void F_##name([[maybe_unused]] ScriptValue& result, [[maybe_unused]] const BuiltInArgs& args)

// The head of a body that takes the calling instances, for BUILTIN_INSTANCE_ENTRY(name, ...).
#define BUILTIN_INSTANCE_BODY(name)                                                                          \
    void F_##name([[maybe_unused]] ScriptValue& result, [[maybe_unused]] CInstance* self,                   \
                  [[maybe_unused]] CInstance* other, [[maybe_unused]] const BuiltInArgs& args)

// What registration may promise of each entry of a table (see BuiltInFunction), or-ed together.
enum BuiltInMark : unsigned {
    kBuiltInReadsArgumentsOnly = 1u,
    kBuiltInPureOnReals = 2u,
    kBuiltInKeepsInstances = 4u,
};

// Adds the entries to the function table in order, each with the marks.
template <size_t N> void BuiltIn_Register(const BuiltInRegistration (&table)[N], unsigned marks = 0) {
    for (const BuiltInRegistration& entry : table) {
        Code_Function_Add(entry.name, entry.function, entry.argumentCount);
        const int index = Code_Function_Count() - 1;
        if (marks & kBuiltInReadsArgumentsOnly) Code_Function_SetReadsArgumentsOnly(index);
        if (marks & kBuiltInPureOnReals) Code_Function_SetPureOnReals(index);
        if (marks & kBuiltInKeepsInstances) Code_Function_SetKeepsInstances(index);
    }
}
// The same for bodies that see their arguments through BuiltInArgs alone and run no game code: the
// entries are marked as only reading their arguments.
template <size_t N> void BuiltIn_RegisterReading(const BuiltInRegistration (&table)[N], unsigned marks = 0) {
    BuiltIn_Register(table, marks | kBuiltInReadsArgumentsOnly);
}
// The same for bodies that, given only real arguments, read nothing but them, run no game code and make
// or destroy no instances: the entries are marked as pure on reals.
template <size_t N> void BuiltIn_RegisterPureOnReals(const BuiltInRegistration (&table)[N], unsigned marks = 0) {
    BuiltIn_Register(table, marks | kBuiltInPureOnReals);
}

// Marks the entries of these names, registered before, as pure on reals.
void BuiltIn_MarkPureOnReals(std::initializer_list<const char*> names);

// Makes the result a string value owning text (null: a string without text).
void BuiltIn_SetText(ScriptValue& result, char* text);
