// The built-in function table: every function the runner offers to game code, registered group by group
// at start-up and addressed by its index, the callable id that compiled code and bytecode carry.
#pragma once

class CInstance;
struct ScriptValue;

// A built-in function fills the result (which the caller prepared as real 0) from the argument count
// and the argument values; it may change or free its arguments, which are its own copies.
using BuiltInFunctionFn = void (*)(ScriptValue& result, CInstance* self, CInstance* other, int argc,
                                   ScriptValue* args);

struct BuiltInFunction {
    char name[64]; // NUL-terminated, at most 63 characters
    BuiltInFunctionFn function;
    int argumentCount; // -1: any number
    // The function only reads its argument values (never changes, frees or keeps them) and runs no
    // game code, so that the machine may hand it a variable's own text instead of a copy.
    bool readsArgumentsOnly;
    // Given only real arguments, the function reads nothing else of them, changes none of them, runs no
    // game code and makes or destroys no instances, so that the machine may hand it the arguments where
    // they lie on its stack and go on at once.
    bool pureOnReals;
    // Whatever its arguments, the function runs no game code and makes, destroys, deactivates or changes
    // no instance, so that what the machine has found of instances holds across the call.
    bool keepsInstances;
};

// Callable ids: 0..99999 a table index, 100000 + i script i, 500000 + i extension function i.
constexpr int kScriptIdBase = 100000;
constexpr int kExtensionIdBase = 500000;
constexpr int kArgCountUnknown = -100;

// Appends an entry; a name already present gets a second entry, which lookup by name never finds.
// The flag is accepted for the registrars that pass one and plays no part.
void Code_Function_Add(const char* name, BuiltInFunctionFn function, int argumentCount, bool flag = false);
// The first entry of that exact name gets the new function; an unknown name changes nothing.
void Code_Function_Replace(const char* name, BuiltInFunctionFn function);
// Script first, then extension function, then the first table entry of that exact name. A null or
// empty name, or none found, gives false and id -1.
bool Code_Function_Find(const char* name, int& id);
// Extension ids: the extension's count (-100 when none); script ids: -1; a table index: the entry's
// count; anything else -100.
int Code_Function_GetArgCount(int id);
// Calls entry `index` with copies of the arguments, so the callee cannot change the caller's values.
// An index outside the table is refused with a run-time error and the result is left as it was.
ScriptValue& Code_Function_Call(int index, CInstance* self, CInstance* other, ScriptValue& result, int argc,
                                ScriptValue* const* args);
// Frees the table.
void Code_Function_Free();

// Mark the entry of a table index as one that only reads its arguments, as pure on reals, or as keeping
// instances (see BuiltInFunction).
void Code_Function_SetReadsArgumentsOnly(int index);
void Code_Function_SetPureOnReals(int index);
void Code_Function_SetKeepsInstances(int index);

// The table as registered so far; read it through the functions here.
struct BuiltInFunctionTable {
    BuiltInFunction* entries = nullptr;
    int count = 0;
};
extern BuiltInFunctionTable g_BuiltInFunctions;

// The entry of a table index, or null outside the table.
inline const BuiltInFunction* Code_Function_Entry(int index) {
    if (index < 0 || index >= g_BuiltInFunctions.count) return nullptr;
    return &g_BuiltInFunctions.entries[index];
}
int Code_Function_Count();

// Lookups by name of the callables that live outside the table. By default extension functions are
// looked up in the extension packages (see Code_Function_SetExtensions), and no script is found until
// the script table installs its lookup; tests install their own. A null member restores the default.
struct CallableLookup {
    int (*findScript)(const char* name);    // script index, or -1
    int (*findExtension)(const char* name); // extension function index, or -1
    int (*extensionArgCount)(int index);    // declared count, or -100 when none
};
void Code_Function_SetLookup(const CallableLookup& lookup);
// The lookups now installed (the defaults filled in).
CallableLookup Code_Function_GetLookup();

// The extension packages as the table and the machine reach them; the runner installs them at start-up.
// Until then (and for null members) no extension function exists and none can be called.
struct ExtensionCalls {
    int (*find)(const char* name);   // function index, or -1
    int (*argCount)(int index);      // declared count, or -100 when none
    // Calls function index with the argument values into result; false when it cannot be called.
    bool (*call)(int index, int argc, ScriptValue* args, ScriptValue* result);
    // The same with the calling instances (the tree evaluator's call); false, with the reason given by
    // failure, when it cannot be called.
    bool (*callWithInstances)(int index, CInstance* self, CInstance* other, int argc, ScriptValue* args,
                              ScriptValue* result);
    const char* (*failure)();
};
void Code_Function_SetExtensions(const ExtensionCalls& calls);
// Calls extension function index; false (result untouched) when it cannot be called.
bool Code_Function_CallExtension(int index, int argc, ScriptValue* args, ScriptValue* result);
// The tree evaluator's call of extension function index; false when it cannot be called, with the reason
// in *failure.
bool Code_Function_CallExtension(int index, CInstance* self, CInstance* other, int argc, ScriptValue* args,
                                 ScriptValue* result, const char** failure);
