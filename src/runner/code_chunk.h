// The code of the loaded data file as code objects read it: the records of the code chunk and what the
// debug-information file adds to them. Each record was checked against its chunk when the file was
// loaded, so its bytes lie inside the file.
#pragma once

#include <cstdint>

struct CodeChunkEntry {
    const char* name;
    uint8_t* bytecode; // inside the loaded file, which stays in memory for the whole run
    int length;        // in bytes
};

// The number of records of the code chunk; 0 when the file has none.
int Code_EntryCount();
// The record of a code index; false outside 0 .. count - 1.
bool Code_GetEntry(int index, CodeChunkEntry& entry);
// The debug-information file's source text of a code index, or null when it supplied none.
const char* DebugInfo_GetText(int index);
// The debug table of a code index: its {offset, position} pairs and their size in bytes; false when the
// debug-information file supplied none.
bool DebugInfo_GetTable(int index, uint8_t*& pairs, int& size);
