// Named constants: the built-in ones, those the function library adds, and the game's own; and the
// compiler's lookup of a name, which tries the game's resource names first.
#pragma once

#include "script/value.h"

// Appends a copy of the name and of the value. Later entries shadow earlier ones of the same name.
void Code_Constant_Add(const char* name, const ScriptValue* value);
void Code_Constant_AddReal(const char* name, double value);

// Not empty, an ASCII letter or '_' first, then letters, digits and '_'.
bool Code_Constant_IsValidName(const char* name);

// The compiler's lookup, exact and case-sensitive: a resource of that name gives its index; otherwise
// the newest constant of that name gives a copy of its value (the caller frees it). False when neither.
bool Code_Constant_Find(const char* name, ScriptValue* out);

// Constants only, the name compared without regard to case, the newest first; null when none. The
// value stays the table's.
const ScriptValue* Code_Constant_FindValue(const char* name);

// Defines one of the game's constants. The name is trimmed of blanks and control characters; an invalid
// one is shown in a message box and refused. The value text is read as an expression and the constant
// takes its folded value (a number, a string, a resource index, an earlier constant, or an operation on
// them); a text that does not fold gives 0, with a line on the debug console.
bool Code_Constant_Define(const char* name, const char* valueText);
// Defines the game's constants in order (the options' constant list); false at the first invalid name.
bool Code_Constant_Prepare(int count, const char* const* names, const char* const* values);

// Registers the built-in constants (the start-up adds the library's after them). dll_cdecl and dll_stdcall
// are left out when calls into external libraries are not allowed.
void Code_Constant_Init(bool externalCallsAllowed = true);
void Code_Constant_Free();
int Code_Constant_Count();
// The name (null for a nameless entry) and value of entry index, in the order of registration; null
// outside the table.
const char* Code_Constant_Name(int index);
const ScriptValue* Code_Constant_Value(int index);

// Name lookups of the game's resources, in the order the compiler asks them. Each gives the index of
// the resource of exactly that name, or -1. The subsystem that owns a kind of resource installs its
// lookup; a kind without one knows no names.
enum CodeResourceKind : int {
    RESOURCE_OBJECT,
    RESOURCE_SPRITE,
    RESOURCE_SOUND,
    RESOURCE_AUDIO,
    RESOURCE_BACKGROUND,
    RESOURCE_PATH,
    RESOURCE_FONT,
    RESOURCE_TIMELINE,
    RESOURCE_SCRIPT,
    RESOURCE_ROOM,
    RESOURCE_KIND_COUNT,
};
using CodeResourceFindFn = int (*)(const char* name);
// A null lookup removes the kind's.
void Code_Constant_SetResourceFind(int kind, CodeResourceFindFn find);
// The kind's lookup now installed, or null.
CodeResourceFindFn Code_Constant_GetResourceFind(int kind);
