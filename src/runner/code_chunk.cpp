#include "runner/code_chunk.h"

// The data-file reader does not load the code chunk or the debug-information file yet: there are no
// records, so every code index lies outside the chunk and gets a code object without bytecode.

int Code_EntryCount() {
    return 0;
}

bool Code_GetEntry(int, CodeChunkEntry& entry) {
    entry = {nullptr, nullptr, 0};
    return false;
}

const char* DebugInfo_GetText(int) {
    return nullptr;
}

bool DebugInfo_GetTable(int, uint8_t*& pairs, int& size) {
    pairs = nullptr;
    size = 0;
    return false;
}
