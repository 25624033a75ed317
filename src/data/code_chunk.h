// The code of the loaded data file: the string table ("STRG"), the records of the code chunk ("CODE")
// and what the debug-information file adds to them. Each record was checked against its chunk when the
// file was loaded, so its bytes lie inside the file.
#pragma once

#include "data/data_view.h"

#include <cstdint>
#include <vector>

struct CodeChunkEntry {
    const char* name;
    uint8_t* bytecode; // inside the loaded file, which stays in memory for the whole run
    int length;        // in bytes
};

// One record {u32 name offset, s32 length, bytecode} of "CODE", by file offsets.
struct CodeRecord {
    const char* name = nullptr;
    uint32_t bytecode = 0; // offset of the bytecode in the file
    int32_t length = 0;
};
// Checks the instructions of a record as it is read; false fails the load (the check has said why).
using CodeRecordCheck = bool (*)(const CDataView& file, const CodeRecord& record);

// The file the code is read from (its records and strings point into it).
void Code_SetFile(const CDataView& file);
// Reads "STRG": every string record must lie inside the file.
bool Code_LoadStrings(const CDataView& file, const IFFChunk& chunk);
// Reads "CODE": the records are kept only when all of them are sound, each passed to the check.
bool Code_LoadEntries(const CDataView& file, const IFFChunk& chunk, CodeRecordCheck check);
// The records of "CODE" in index order (a record without a name is an empty slot).
const std::vector<CodeRecord>& Code_Records();

// The number of records of the code chunk; 0 when the file has none.
int Code_EntryCount();
// The record of a code index; false outside 0 .. count - 1.
bool Code_GetEntry(int index, CodeChunkEntry& entry);
// The debug-information file's source text of a code index, or null when it supplied none.
const char* DebugInfo_GetText(int index);
// The debug table of a code index: its {offset, position} pairs and their size in bytes; false when the
// debug-information file supplied none.
bool DebugInfo_GetTable(int index, uint8_t*& pairs, int& size);

// 800 after the pre-pass; 700 when the main walk meets "GEN7" or "GENL".
void Code_SetRunnerFormat(int format);
int Code_GetRunnerFormat();
// True once a "CODE" chunk was met.
bool Code_IsPresent();

int Code_GetStringCount();
// The characters of string i of "STRG" and their length; null outside the table.
const char* Code_GetString(int index, uint32_t* length = nullptr);

// Forgets the strings and the code records (shutdown, and between tests).
void Code_Free();
