// The debug table of a code object ({bytecode offset, source position in characters} pairs of signed
// 32-bit words, ascending by offset) and the line-number queries over a source text.
#pragma once

#include <cstdint>

class VMBuffer;

struct VMDebugEntry {
    int32_t offset;
    int32_t position;
};

// The last pair whose offset is not above `offset`. False for a missing or empty table, or when every
// pair lies above the offset.
bool VM_FindDebugEntry(const VMBuffer* table, int offset, VMDebugEntry* entry);

// The line of the entry's position: -1 without an entry. Counts line feeds back to the start of the
// text or to a line directive ("#line name number" at the start of a line other than the first); then
// `name`, when given, receives a new copy of the directive's name (freed by the caller with MEM_FREE),
// else it is left null.
int VM_GetLineNumber(const VMDebugEntry* entry, const char* text, char** name);

// The source line holding the entry's position: from the character after the preceding line feed up to
// the next carriage return or the end of the text, at most 255 bytes. The text lives in a shared
// buffer that the next call overwrites. "<unknown source line>" without an entry.
const char* VM_GetSourceLine(const VMDebugEntry* entry, const char* text);
