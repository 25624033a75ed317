// The bytecode's references, as the data file states them: the variable references ("VARI") and the
// function references ("FUNC") are chains through the code whose operands receive the ids the script
// engine gives those names, and every string operand must name an entry of the string table.
#pragma once

#include "data/code_chunk.h"

// Forgets which instructions may carry references (a new code chunk, shutdown, and between tests).
void Code_ClearReferences();
// The check of each code record as it is read: every instruction lies inside the bytecode with its
// operand, and those that may carry a reference are noted.
bool Code_IndexReferences(const CDataView& file, const CodeRecord& record);
// Checks every string operand of the bytecode against the string table. The operands stay string indices:
// the run-time string table holds the data file's strings first, so an index is already the handle.
bool Code_PatchStrings(const CDataView& file, const IFFChunk& chunk);
bool VARI_Load(const CDataView& file, const IFFChunk& chunk);
bool FUNC_Load(const CDataView& file, const IFFChunk& chunk);

// What a name that nothing resolves does: by default the text "Error on load\nUnable to find function %s\n"
// (or variable) is shown and the run ends with exit code 1. A handler that returns makes it a load failure.
// Null restores the default.
void Code_SetLoadErrorHandler(void (*handler)(const char* text));
