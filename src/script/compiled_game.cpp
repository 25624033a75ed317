#include "script/compiled_game.h"

#include "core/memory.h"
#include "script/functions.h"
#include "script/value.h"
#include "script/variables.h"

#include <new>

namespace {

CompiledGameRef g_noRefs[1] = {{nullptr, 0}};
const CompiledGameTables kShipped = {false, nullptr, 0, nullptr, 0, nullptr, nullptr, 0, 0, nullptr, 0};
CompiledGameTables g_tables = kShipped;
ScriptValue* g_globalSlots = nullptr;

} // namespace

bool CompiledGame_Mode() {
    return g_tables.mode;
}

const CompiledGameCodeEntry* CompiledGame_CodeTable(int index) {
    if (!g_tables.codeTable || index < 0 || index >= g_tables.codeCount) return nullptr;
    return &g_tables.codeTable[index];
}

const CompiledGameScriptEntry* CompiledGame_ScriptTable(int index) {
    if (!g_tables.scriptTable || index < 0 || index >= g_tables.scriptCount) return nullptr;
    return &g_tables.scriptTable[index];
}

CompiledGameRef* CompiledGame_FunctionRefs() {
    return g_tables.functionRefs ? g_tables.functionRefs : g_noRefs;
}

CompiledGameRef* CompiledGame_VariableRefs() {
    return g_tables.variableRefs ? g_tables.variableRefs : g_noRefs;
}

int32_t CompiledGame_GlobalSlotCount() {
    return g_tables.globalSlotCount;
}

int32_t CompiledGame_InstanceSlotCount() {
    return g_tables.instanceSlotCount;
}

const uint8_t* CompiledGame_EmbeddedData(size_t& size) {
    size = g_tables.embeddedData ? g_tables.embeddedSize : 0;
    return g_tables.embeddedData;
}

void CompiledGame_Install(const CompiledGameTables* tables) {
    CompiledGame_FreeGlobalSlots();
    g_tables = tables ? *tables : kShipped;
}

void CompiledGame_BindReferences() {
    for (CompiledGameRef* ref = CompiledGame_VariableRefs(); ref->name; ++ref)
        ref->id = Code_Variable_FindAlloc(ref->name);
    for (CompiledGameRef* ref = CompiledGame_FunctionRefs(); ref->name; ++ref) {
        int id = -1;
        Code_Function_Find(ref->name, id);
        ref->id = id;
    }
}

void CompiledGame_AllocGlobalSlots() {
    const int32_t count = g_tables.globalSlotCount;
    if (count < 1 || g_globalSlots) return;
    g_globalSlots = static_cast<ScriptValue*>(MEM_ALLOC(static_cast<size_t>(count) * sizeof(ScriptValue)));
    for (int32_t i = 0; i < count; ++i)
        new (&g_globalSlots[i]) ScriptValue{};
}

ScriptValue* CompiledGame_GlobalSlots() {
    return g_globalSlots;
}

void CompiledGame_FreeGlobalSlots() {
    if (!g_globalSlots) return;
    const int32_t count = g_tables.globalSlotCount;
    for (int32_t i = 0; i < count; ++i)
        Value_Free(&g_globalSlots[i]);
    MEM_FREE(g_globalSlots);
    g_globalSlots = nullptr;
}
