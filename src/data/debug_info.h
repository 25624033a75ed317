// The debug-information file beside the game (".zbdebug"): per code entry of the game file, the table
// of {bytecode offset, source position} pairs and the source text, so that errors in bytecode can name
// their source lines. Its "DBGI" list gives the tables, its "SCPT" list the texts (each record's first
// word is the offset of the text), its "STRG" list strings; other chunks are ignored.
#pragma once

#include "data/code_chunk.h"

#include <cstdint>

// Reads a debug file held in memory (a memory-manager block, taken over and kept until DebugInfo_Free).
// A file whose size field does not match is ignored; a malformed one is refused (false) after a message.
bool DebugInfo_Load(uint8_t* data, uint32_t size);
void DebugInfo_Free();

// DebugInfo_GetTable and DebugInfo_GetText, which code objects read, are declared with the code chunk.
// The debug file's strings ("STRG"): their number and each text (null for an empty slot).
int DebugInfo_GetStringCount();
const char* DebugInfo_GetString(int index);
