// The run-time string table, and the handles that stand for texts and arrays on the value stack.
//
// Every 32-bit word on the stack that refers to something owned is a handle, never a pointer:
// - constant handles (top bit clear) index the constant texts: the data file's strings first, in file
//   order, then the constants of code compiled at run time, in the order they are added;
// - held handles (top bit set) name an owned text (a .s item, or a .v of kind string) or an array
//   reference (a .v of kind array) that lives on a value stack. Each belongs to the VM execution level
//   that made it, so that an execution that ends early frees what it left behind.
// A word that is not a live handle of the wanted sort is refused, so bytecode that misreads stack items
// gets an error instead of a stray pointer.
#pragma once

#include <cstdint>

struct ScriptArray;

constexpr uint32_t kHeldHandleBit = 0x80000000u;

// Adds a copy of text (null stays null) and gives its handle.
uint32_t VMString_AddConstant(const char* text);
int VMString_ConstantCount();
// Frees every constant; done before a data file's strings are added.
void VMString_ClearConstants();
// The constant's text; false for a handle that names no constant.
bool VMString_GetConstant(uint32_t handle, const char** text);

// Takes ownership of an owned text (a memory-manager block, or null) for an execution level.
uint32_t VMString_Hold(char* text, int level);

// Texts of either sort, constant or held:
// The text, left where it is. False for a handle that names neither.
bool VMString_Read(uint32_t handle, const char** text);
// A text the caller owns: the held one itself (its handle freed), or a copy of the constant.
bool VMString_TakeOrCopy(uint32_t handle, char** text);
// Lets the text go: a held one is freed, a constant stays. False for a handle that names neither.
bool VMString_Drop(uint32_t handle);

// A .v item of kind string keeps its text's handle in the low word of its payload. A constant's handle
// goes there with a tag in the high word, so that bytes that only look like a .v text never name a
// constant by chance.
constexpr uint32_t kConstantTextTag = 0x7E57C0DEu;
constexpr uint32_t kNoHandle = 0xFFFFFFFFu; // names nothing
inline uint64_t VMText_ValuePayload(uint32_t handle) {
    return (handle & kHeldHandleBit) ? handle : static_cast<uint64_t>(kConstantTextTag) << 32 | handle;
}
// The handle in a .v text's payload: a held one, a tagged constant, or kNoHandle.
inline uint32_t VMText_ValueHandle(uint64_t payload) {
    const uint32_t low = static_cast<uint32_t>(payload);
    if ((low & kHeldHandleBit) || (payload >> 32) == kConstantTextTag) return low;
    return kNoHandle;
}

// The same for one reference to an array.
uint32_t VMArray_Hold(ScriptArray* array, int level);
bool VMArray_Take(uint32_t handle, ScriptArray** array);
bool VMArray_Peek(uint32_t handle, ScriptArray** array);

// Frees every text and drops every array reference still held for the level or a deeper one.
void VMHeld_ReleaseLevel(int level);
// Number of live held handles (for tests and leak checks).
int VMHeld_Count();
