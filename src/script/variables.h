// Variable names and ids, the built-in variable table, and reading and writing variables of instances,
// targets and the global scope.
//
// Ids: 0 to 499 are built-in variables (their table index); 100000 + i is user variable i; every id of
// 10000 or more is looked up in a CVariableList.
#pragma once

#include "script/variable_list.h"

#include <cstdint>
#include <memory>
#include <vector>

class CInstance;
class IBuffer;
struct ScriptValue;

constexpr int kUserVariableBase = 100000;
constexpr int kVariableListIdBase = 10000;
constexpr int kMaxBuiltInVariables = 500;

// ---- User variable names
int Code_Variable_FindOrAddUser(const char* name);
// The id of an existing user variable, or -1.
int Code_Variable_FindUser(const char* name);
// The built-in variable's index when one has exactly that name, else the user variable's id (added when new).
int Code_Variable_FindAlloc(const char* name);
// The name of any id; "<unknown built-in variable>" or "<unknown variable>" when it names none.
const char* Code_Variable_GetName(int id);
// Shutdown hook of the name list: the names live until the process ends.
void Code_Variable_Free();

// ---- Built-in variables
using BuiltInVariableGetter = bool (*)(CInstance* self, int arrayIndex, ScriptValue* out);
using BuiltInVariableSetter = bool (*)(CInstance* self, int arrayIndex, ScriptValue* in);

// What a built-in variable's getter reads, when it reads one field of the instance as it is: the
// machine then reads the field in place of calling the getter.
enum class BuiltInField : uint8_t { None, Float, Int32 };

struct BuiltInVariable {
    char* name;
    BuiltInVariableGetter getter;
    BuiltInVariableSetter setter; // null: read-only
    bool canSet;
    BuiltInField field = BuiltInField::None;
    int fieldOffset = 0; // the field's byte offset in the instance
    // What the setter writes, when it writes one field of the instance (store) and at most sets a flag
    // byte (storeMark, -1 for none) when the field's value changes: the machine then writes in place.
    BuiltInField store = BuiltInField::None;
    int storeOffset = 0;
    int storeMark = -1;
};

// Registers a built-in variable (a null setter makes it read-only); the flag is not kept.
void Variable_BuiltIn_Add(const char* name, BuiltInVariableGetter getter, BuiltInVariableSetter setter,
                          bool flag);
// One variable of a registration table.
struct BuiltInVariableRow {
    const char* name;
    BuiltInVariableGetter getter;
    BuiltInVariableSetter setter; // null: read-only
};
// Registers the rows in order.
void Variable_BuiltIn_AddRows(const BuiltInVariableRow* rows, int count);
// Marks every entry whose getter is this one as reading, for any array index, the field of that kind
// at that byte offset of a non-null instance as a real (and failing for a null one). The entry's setter
// must make and destroy no instance and change no variable list.
void Variable_BuiltIn_SetField(BuiltInVariableGetter getter, BuiltInField field, int offset);
// Marks every entry whose setter is this one as writing, for any array index, the value it is given
// (read as a real, a text or an array as 0) narrowed to single precision into the field of that kind at
// that byte offset of a non-null instance (an Int32 field rounded as VarIn_IntFromFloat does, ties to
// even, out of range and NaN INT32_MIN), and setting the byte at markOffset (unless -1) to 1 when the
// field's new value differs from its old one; and doing nothing else.
void Variable_BuiltIn_SetStore(BuiltInVariableSetter setter, BuiltInField field, int offset, int markOffset);
// Empties the table (its names freed); registration starts again at index 0.
void Variable_BuiltIn_Clear();
int Variable_BuiltIn_Find(const char* name);
const char* Variable_BuiltIn_GetName(int index);
int Variable_BuiltIn_Count();
// The getter of entry index, or null.
BuiltInVariableGetter Variable_BuiltIn_Getter(int index);
// Whether game code may assign entry index (false outside the table).
bool Variable_BuiltIn_CanSet(int index);
// The built-in variable table and the global variables, reached through Variable_State();
// read by the accessors below on every access of the machine.
struct VariableState {
    BuiltInVariable g_builtIns[kMaxBuiltInVariables]{};
    int g_builtInCount = 0;
    CVariableList* g_globals = nullptr;
    uint8_t* g_globalFlags = nullptr; // one per user variable index (id - 100000)
    int g_globalFlagCount = 0;
    // Changes whenever an entry is added or the table emptied.
    int Variable_BuiltInVersion = 0;
    // Changes whenever the set of names declared global changes.
    int Variable_GlobalNamesVersion = 0;
};

inline VariableState& Variable_State() {
    static VariableState state;
    return state;
}

// Entry index, or null outside the table.
inline const BuiltInVariable* Variable_BuiltIn_Entry(int index) {
    return index >= 0 && index < Variable_State().g_builtInCount ? &Variable_State().g_builtIns[index]
                                                                 : nullptr;
}
inline int Variable_BuiltIn_Version() {
    return Variable_State().Variable_BuiltInVersion;
}
inline int Variable_GlobalNames_Version() {
    return Variable_State().Variable_GlobalNamesVersion;
}

// ---- One instance
// Reads variable id of the instance. False for an id that names no registered built-in variable, an
// instance without a variable list, or a failed read.
bool Variable_GetValue(CInstance* self, int id, int arrayIndex, ScriptValue* out);
// Writes variable id of the instance. False for a read-only or unregistered built-in; true without
// writing for an instance that keeps no variable list.
bool Variable_SetValue(CInstance* self, int id, int arrayIndex, ScriptValue* value);

// ---- Targets: -3 all, 0..99999 an object index, 100000 and above an instance id
bool Variable_GetOnTarget(int target, int id, int arrayIndex, ScriptValue* out);
bool Variable_SetOnTarget(int target, int id, int arrayIndex, ScriptValue* value);
// The same for instances of a compiled game that keep user variables in slots.
bool Variable_GetSlotOnTarget(int target, int slot, int arrayIndex, ScriptValue* out);
bool Variable_SetSlotOnTarget(int target, int slot, int arrayIndex, const ScriptValue* value);

// ---- Globals
bool Variable_GetGlobal(int id, int arrayIndex, ScriptValue* out);
void Variable_SetGlobal(int id, int arrayIndex, const ScriptValue* value);
// A new empty global list and 10000 cleared declared-global flags.
void Variable_InitGlobals();
// The global list (null before Variable_InitGlobals), for the error report's variable dump.
inline CVariableList* Variable_Globals() {
    return Variable_State().g_globals;
}
// globalvar: flags user variable id as global (the flag array grows by 1000 at a time) and gives the
// global list an entry for it.
void Variable_DeclareGlobal(int id);
inline bool Variable_IsGlobalDeclared(int id) {
    const int64_t index = static_cast<int64_t>(id) - kUserVariableBase;
    return index >= 0 && index < Variable_State().g_globalFlagCount &&
           Variable_State().g_globalFlags[index] != 0;
}
// The global list, then the s32 flag count and each flag as s32.
void Variable_SerialiseGlobals(IBuffer* buffer);
// Reads that form and puts it in place of the running globals; false, with nothing changed, when it is
// cut short or its counts cannot be right.
bool Variable_DeserialiseGlobals(IBuffer* buffer);
// The global scope of a saved form, read but not in use yet.
struct SavedGlobals {
    std::unique_ptr<CVariableList> list;
    std::vector<uint8_t> flags;
};
bool Variable_ReadGlobals(IBuffer* buffer, SavedGlobals& saved);
// Replaces the running globals with saved ones (saved is left empty).
void Variable_UseGlobals(SavedGlobals& saved);
// Frees the built-in names, the global list and the flags.
void Variable_Free();
