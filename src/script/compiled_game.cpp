#include "script/compiled_game.h"

namespace {

CompiledGameRef g_noRefs[1] = {{nullptr, 0}};
const CompiledGameTables kShipped = {false, nullptr, 0, nullptr, 0, nullptr, nullptr, 0, 0, nullptr, 0};
CompiledGameTables g_tables = kShipped;

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
    g_tables = tables ? *tables : kShipped;
}
