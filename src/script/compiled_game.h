// The compiled game: a game whose code was compiled into the executable, with the tables that bind its
// native code to the runner. This runner is shipped without one: the mode is off and every table is
// empty. Tests install a small table of their own to run the native paths.
#pragma once

#include <cstddef>
#include <cstdint>

class CInstance;
struct ScriptValue;

// Native code of one code index (an event, a moment, creation code), run for (self, other).
struct CompiledGameCodeEntry {
    const char* name;
    void (*function)(CInstance* self, CInstance* other);
};

// A native script: (self, other, result, argument count, pointers to the 16 argument values).
struct CompiledGameScriptEntry {
    const char* name;
    void (*function)(CInstance* self, CInstance* other, ScriptValue* result, int argc, ScriptValue** args);
};

// A reference of native code to a variable or function by name, bound to its id after loading.
// Lists of them end with a record whose name is null.
struct CompiledGameRef {
    const char* name;
    int32_t id;
};

struct CompiledGameTables {
    bool mode;
    const CompiledGameCodeEntry* codeTable;
    int codeCount;
    const CompiledGameScriptEntry* scriptTable;
    int scriptCount;
    CompiledGameRef* functionRefs; // null-terminated, or null for none
    CompiledGameRef* variableRefs; // null-terminated, or null for none
    int32_t globalSlotCount;
    int32_t instanceSlotCount;
    const uint8_t* embeddedData; // a data file carried inside the executable, or null
    size_t embeddedSize;
};

// True when the game's code is native.
bool CompiledGame_Mode();
// The entry of a code index or script index, or null outside the table.
const CompiledGameCodeEntry* CompiledGame_CodeTable(int index);
const CompiledGameScriptEntry* CompiledGame_ScriptTable(int index);
// The reference lists; never null (an empty list is one terminating record).
CompiledGameRef* CompiledGame_FunctionRefs();
CompiledGameRef* CompiledGame_VariableRefs();
int32_t CompiledGame_GlobalSlotCount();
int32_t CompiledGame_InstanceSlotCount();
// The embedded data file, or null (size 0) when there is none.
const uint8_t* CompiledGame_EmbeddedData(size_t& size);

// Installs a compiled game's tables; null restores the shipped state (off, empty). Frees the global
// slots.
void CompiledGame_Install(const CompiledGameTables* tables);

// Binds the reference lists once the data file is loaded: each function reference gets the callable id
// of its name (-1 when nothing has that name; native code meets the failure when it calls), each
// variable reference the id of its variable, made when new.
void CompiledGame_BindReferences();

// The global variable slots of native code: made (real 0 each) when the tables declare one or more and
// none exist yet; null otherwise.
void CompiledGame_AllocGlobalSlots();
ScriptValue* CompiledGame_GlobalSlots();
// Frees the global slots and their values.
void CompiledGame_FreeGlobalSlots();
