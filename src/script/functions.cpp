#include "script/functions.h"

#include "core/console.h"
#include "core/memory.h"
#include "core/name_map.h"
#include "script/value.h"
#include "script/vm/vm_error.h"

#include <cstring>

BuiltInFunctionTable g_BuiltInFunctions;

namespace {

constexpr int kTableGrowth = 500;
constexpr int kMaxCallArgsOnStack = 16;

int g_capacity = 0;

// There is no script table yet: no script is found by name.
int NoScript(const char*) {
    return -1;
}

// The extension packages, once the runner installs them; until then no extension function exists.
ExtensionCalls g_extensions{};

int FindExtension(const char* name) {
    return g_extensions.find ? g_extensions.find(name) : -1;
}
int ExtensionArgCount(int index) {
    return g_extensions.argCount ? g_extensions.argCount(index) : kArgCountUnknown;
}

const CallableLookup kDefaultLookup = {NoScript, FindExtension, ExtensionArgCount};
CallableLookup g_lookup = kDefaultLookup;

// The first entry of each name, kept with the table.
NameMap<int> g_index;

int FindEntry(const char* name) {
    auto it = g_index.find(name);
    return it == g_index.end() ? -1 : it->second;
}

} // namespace

void Code_Function_Add(const char* name, BuiltInFunctionFn function, int argumentCount, bool /*flag*/) {
    if (!name) return;
    if (g_BuiltInFunctions.count == g_capacity) {
        int capacity = g_capacity + kTableGrowth;
        g_BuiltInFunctions.entries = static_cast<BuiltInFunction*>(
            MEM_REALLOC(g_BuiltInFunctions.entries, static_cast<size_t>(capacity) * sizeof(BuiltInFunction)));
        g_capacity = capacity;
    }
    BuiltInFunction& entry = g_BuiltInFunctions.entries[g_BuiltInFunctions.count++];
    // Names come from the program's own constants, all far below the field; a longer one is cut.
    std::strncpy(entry.name, name, sizeof entry.name - 1);
    entry.name[sizeof entry.name - 1] = '\0';
    entry.function = function;
    entry.argumentCount = argumentCount;
    entry.readsArgumentsOnly = false;
    entry.pureOnReals = false;
    entry.keepsInstances = false;
    g_index.emplace(entry.name, g_BuiltInFunctions.count - 1);
}

void Code_Function_SetReadsArgumentsOnly(int index) {
    if (index >= 0 && index < g_BuiltInFunctions.count) g_BuiltInFunctions.entries[index].readsArgumentsOnly = true;
}

void Code_Function_SetPureOnReals(int index) {
    if (index >= 0 && index < g_BuiltInFunctions.count) g_BuiltInFunctions.entries[index].pureOnReals = true;
}

void Code_Function_SetKeepsInstances(int index) {
    if (index >= 0 && index < g_BuiltInFunctions.count) g_BuiltInFunctions.entries[index].keepsInstances = true;
}

void Code_Function_Replace(const char* name, BuiltInFunctionFn function) {
    if (!name) return;
    int i = FindEntry(name);
    if (i < 0) return;
    // What the old function promised need not hold for the new one.
    g_BuiltInFunctions.entries[i].function = function;
    g_BuiltInFunctions.entries[i].pureOnReals = false;
    g_BuiltInFunctions.entries[i].keepsInstances = false;
}

bool Code_Function_Find(const char* name, int& id) {
    id = -1;
    if (!name || !*name) return false;
    int i = g_lookup.findScript(name);
    if (i >= 0) {
        id = kScriptIdBase + i;
        return true;
    }
    i = g_lookup.findExtension(name);
    if (i >= 0) {
        id = kExtensionIdBase + i;
        return true;
    }
    i = FindEntry(name);
    if (i >= 0) {
        id = i;
        return true;
    }
    return false;
}

int Code_Function_GetArgCount(int id) {
    if (id >= kExtensionIdBase) return g_lookup.extensionArgCount(id - kExtensionIdBase);
    if (id >= kScriptIdBase) return -1;
    if (id < 0 || id >= g_BuiltInFunctions.count) return kArgCountUnknown;
    return g_BuiltInFunctions.entries[id].argumentCount;
}

ScriptValue& Code_Function_Call(int index, CInstance* self, CInstance* other, ScriptValue& result, int argc,
                                ScriptValue* const* args) {
    // Compiled code binds its function references by name without a check, so an unresolved one
    // arrives here as -1.
    if (index < 0 || index >= g_BuiltInFunctions.count || !g_BuiltInFunctions.entries[index].function) {
        VM_ErrorNoContext("Code_Function_Call :: Execution Error - no built-in function at index %d", index);
        return result;
    }
    if (argc < 0 || !args) argc = 0;

    ScriptValue onStack[kMaxCallArgsOnStack] = {};
    ScriptValue* temps = onStack;
    if (argc > kMaxCallArgsOnStack) {
        temps = static_cast<ScriptValue*>(MEM_ALLOC(static_cast<size_t>(argc) * sizeof(ScriptValue)));
    }
    for (int i = 0; i < argc; ++i) {
        if (args[i]) Value_Copy(&temps[i], args[i]);
    }
    g_BuiltInFunctions.entries[index].function(result, self, other, argc, temps);
    for (int i = 0; i < argc; ++i)
        Value_Free(&temps[i]);
    if (temps != onStack) MEM_FREE(temps);
    return result;
}

void Code_Function_Free() {
    MEM_FREE(g_BuiltInFunctions.entries);
    g_BuiltInFunctions.entries = nullptr;
    g_index.clear();
    g_BuiltInFunctions.count = 0;
    g_capacity = 0;
}

int Code_Function_Count() {
    return g_BuiltInFunctions.count;
}

void Code_Function_SetLookup(const CallableLookup& lookup) {
    g_lookup.findScript = lookup.findScript ? lookup.findScript : kDefaultLookup.findScript;
    g_lookup.findExtension = lookup.findExtension ? lookup.findExtension : kDefaultLookup.findExtension;
    g_lookup.extensionArgCount =
        lookup.extensionArgCount ? lookup.extensionArgCount : kDefaultLookup.extensionArgCount;
}

CallableLookup Code_Function_GetLookup() {
    return g_lookup;
}

void Code_Function_SetExtensions(const ExtensionCalls& calls) {
    g_extensions = calls;
}

bool Code_Function_CallExtension(int index, int argc, ScriptValue* args, ScriptValue* result) {
    return g_extensions.call && g_extensions.call(index, argc, args, result);
}

bool Code_Function_CallExtension(int index, CInstance* self, CInstance* other, int argc, ScriptValue* args,
                                 ScriptValue* result, const char** failure) {
    *failure = "Cannot call the extension function.";
    if (!g_extensions.callWithInstances) return false;
    if (g_extensions.callWithInstances(index, self, other, argc, args, result)) return true;
    if (g_extensions.failure && *g_extensions.failure()) *failure = g_extensions.failure();
    return false;
}
