// What the data file says about the game as a whole and its code: the general information ("GEN8",
// also "GEN7" and "GENL"), the options ("OPTN"), the string table ("STRG"), the code entries ("CODE") and
// the binding of the bytecode's variable and function references ("VARI", "FUNC").
//
// A pre-pass (Code_Load) reads the general information, strings, code and variable references before the
// window exists; the main walk then reads the general information and the options again, checks the
// string operands and binds the function references.
#pragma once

#include "runner/code_chunk.h"
#include "runner/data_view.h"
#include "runner/general_info.h"

#include <cstdint>
#include <string>
#include <vector>

// The pre-pass over the whole file ("Get Resolution"). A broken record is recorded as a load failure
// (Runner_HasLoadFailed) and ends the pre-pass.
void Code_Load(uint8_t* data, uint32_t size);
bool GEN8_Load(const CDataView& file, const IFFChunk& chunk);
void Options_Clear();
bool Options_Load(const CDataView& file, const IFFChunk& chunk);
bool Code_LoadEntries(const CDataView& file, const IFFChunk& chunk);
// Checks every string operand of the bytecode against the string table. The operands stay string indices:
// the run-time string table holds the data file's strings first, so an index is already the handle.
bool Code_PatchStrings(const CDataView& file, const IFFChunk& chunk);
bool VARI_Load(const CDataView& file, const IFFChunk& chunk);
bool FUNC_Load(const CDataView& file, const IFFChunk& chunk);

// What a name that nothing resolves does: by default the text "Error on load\nUnable to find function %s\n"
// (or variable) is shown and the run ends with exit code 1. A handler that returns makes it a load failure.
// Null restores the default.
void Code_SetLoadErrorHandler(void (*handler)(const char* text));

// 800 after the pre-pass; 700 when the main walk meets "GEN7" or "GENL".
void Code_SetRunnerFormat(int format);
int Code_GetRunnerFormat();
bool Code_IsPresent();

int Code_GetStringCount();
// The characters of string i of "STRG" and their length; null outside the table.
const char* Code_GetString(int index, uint32_t* length = nullptr);

// Forgets everything read from the file (shutdown, and between tests).
void Code_Free();
