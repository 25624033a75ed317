// Pieces the machine's source files share: the value stack's item access and the instruction handlers.
// Not for use outside src/script/vm.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "script/value.h"
#include "script/vm/vm.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_format.h"
#include "script/vm/vm_handles.h"

namespace vm {

// Bytes between the top end of a stack region and its empty stack pointer.
constexpr int kStackHeadroom = 16;

template <typename T> inline T Load(const uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}
template <typename T> inline void Store(uint8_t* p, T value) {
    std::memcpy(p, &value, sizeof value);
}

// The running code's bytes and their count.
inline const uint8_t* CodeBytes(const VMContext& c) {
    return c.codeBuffer->data;
}
inline int CodeSize(const VMContext& c) {
    return c.codeBuffer->size;
}

inline uint8_t* StackEnd(const VMContext& c) {
    return c.stackEnd;
}
// Bytes on the stack.
inline int Depth(const VMContext& c) {
    return static_cast<int>(StackEnd(c) - kStackHeadroom - c.sp);
}
// Distance from the top end of the region to a stack position; survives growth.
inline int Position(const VMContext& c) {
    return static_cast<int>(StackEnd(c) - c.sp);
}
inline uint8_t* AtPosition(const VMContext& c, int position) {
    return StackEnd(c) - position;
}

// True when n bytes can be popped; reports the underflow otherwise.
bool CheckPop(VMContext& c, int n);
// Makes room for n more bytes, growing the stack; false after reporting a stack overflow.
bool Reserve(VMContext& c, int n);

// The 16-byte stack form of a .v item: the kind and flags words, then the real's bits or the handle of
// a text or array (vm_handles.h).
bool PushValue(VMContext& c, ScriptValue& value); // takes over the value's text or array
// Pops a .v into an empty value. False, after reporting, for an item whose handle is not live.
bool PopValue(VMContext& c, ScriptValue* value);

inline void PushInt(VMContext& c, int32_t v) {
    c.sp -= 4;
    Store(c.sp, v);
}
inline void PushLong(VMContext& c, int64_t v) {
    c.sp -= 8;
    Store(c.sp, v);
}
inline void PushDouble(VMContext& c, double v) {
    c.sp -= 8;
    Store(c.sp, v);
}
inline void PushFloat(VMContext& c, float v) {
    c.sp -= 4;
    Store(c.sp, v);
}
// A .s item owning text.
inline void PushText(VMContext& c, char* text) {
    PushInt(c, static_cast<int32_t>(VMString_Hold(text, c.level)));
}
void PushRealValue(VMContext& c, double d);
void PushTextValue(VMContext& c, char* text);

// Handlers: arithmetic, comparison and conversion (vm_arith.cpp).
void DoAdd(VMContext& c, uint32_t word);
void DoSub(VMContext& c, uint32_t word);
void DoMul(VMContext& c, uint32_t word);
void DoDiv(VMContext& c, uint32_t word);
void DoRem(VMContext& c, uint32_t word);
void DoMod(VMContext& c, uint32_t word);
void DoAnd(VMContext& c, uint32_t word);
void DoOr(VMContext& c, uint32_t word);
void DoXor(VMContext& c, uint32_t word);
void DoShl(VMContext& c, uint32_t word);
void DoShr(VMContext& c, uint32_t word);
void DoSet(VMContext& c, uint32_t word);
// The outcome of comparison opcode (slt ... sgt) from left - right of two reals, tested against the
// real-comparison epsilon, or from the sign of an exact comparison. Equality tests the magnitude once
// (the same outcome as -e < diff < e, NaN and any epsilon included), so that it needs no branch of its
// own on the difference's sign.
inline bool CompareByDifference(int opcode, double diff) {
    const double e = Code_Epsilon;
    switch (opcode) {
    case OP_SLT:
        return diff < -e;
    case OP_SLE:
        return diff <= e;
    case OP_SEQ:
        return std::fabs(diff) < e;
    case OP_SNE:
        return std::fabs(diff) > e;
    case OP_SGE:
        return diff >= -e;
    default:
        return diff > e;
    }
}
inline bool CompareByOrder(int opcode, int order) {
    switch (opcode) {
    case OP_SLT:
        return order < 0;
    case OP_SLE:
        return order <= 0;
    case OP_SEQ:
        return order == 0;
    case OP_SNE:
        return order != 0;
    case OP_SGE:
        return order >= 0;
    default:
        return order > 0;
    }
}
// The order of two texts as comparisons take it (a missing text as the empty one): -1, 0 or 1.
inline int TextOrder(const char* left, const char* right) {
    const int compared = std::strcmp(left != nullptr ? left : "", right != nullptr ? right : "");
    return (compared > 0) - (compared < 0);
}
void DoNeg(VMContext& c, uint32_t word);
void DoNot(VMContext& c, uint32_t word);
void DoConv(VMContext& c, uint32_t word);

// The stack item that stands for an open with block: a marker word and the block's index.
constexpr uint32_t kWithMarker = 0x57495448u;
constexpr int kWithItemSize = 8;

// Opens the with block of the next depth, its targets chosen: saves self and other and puts the block's
// item below the stack's top sp; gives the new top. Entering its first target is the caller's.
[[nodiscard]] inline uint8_t* OpenWithBlock(VMContext& c, VMWithBlock& block, uint8_t* sp) {
    block.savedSelf = c.self;
    block.savedOther = c.other;
    block.next = 0;
    sp -= kWithItemSize;
    Store(sp, kWithMarker);
    Store(sp + 4, static_cast<uint32_t>(c.withCount));
    block.stackPosition = static_cast<int>(StackEnd(c) - sp);
    ++c.withCount;
    return sp;
}

// Variables, calls and with blocks (vm_vars.cpp).
void Push(VMContext& c, uint32_t word, const uint8_t* operand);
void Pop(VMContext& c, uint32_t word, const uint8_t* operand);
void PopDiscard(VMContext& c, int type);
// The read and write of push.v and pop once the variable's address is off the stack: instance code,
// variable id, array index (-1 for none). The write takes the value over.
void PushVariableAt(VMContext& c, int instance, int id, int index);
void StoreVariableAt(VMContext& c, int instance, int id, int index, ScriptValue& value);
// The errors of a failed read or write, from what the access recorded in ArrayIndexFailure.
void ReportReadFailure(VMContext& c, int instance, int id, int index);
void ReportStoreFailure(VMContext& c, int id);
// Pops an item of the type as a value that owns its text. False after a report.
bool PopAsValue(VMContext& c, int type, ScriptValue* value);
void Dup(VMContext& c, uint32_t word);
void DoCall(VMContext& c, uint32_t word, const uint8_t* operand);
// at: the byte offset of the instruction word, from which branch offsets count.
void PushEnv(VMContext& c, uint32_t word, int at);
void PopEnv(VMContext& c, uint32_t word, int at);
// Drops the open with blocks beyond the first count.
void CloseWithBlocks(VMContext& c, int count);

// Reports a stack overflow (the code's name in a message box captioned "Stack overflow...") and ends
// the execution (vm_exec.cpp).
void StackOverflow(VMContext& c);
// The running code's name for an error message; "<unknown>" when it has none (vm_exec.cpp).
const char* RunningName(const VMContext& c);
// Puts a grown stack region in place of the current one, which is freed (vm_exec.cpp).
void ReplaceStack(VMContext& c, uint8_t* region, int size);

// Jumps by the branch offset of the word at byte offset at; a target outside the code is an error.
// Every jump counts towards draining the message queue (vm_exec.cpp).
void Branch(VMContext& c, uint32_t word, int at);

// Frames (vm_exec.cpp): pops the innermost frame; the caller gets the returned item of the type, or
// real 0 for type -1.
void PopFrame(VMContext& c, int returnType);
// Saves the caller in a new frame and starts the script's code from its first word, with the frame's
// block of argument values (all real 0) as Code_Arguments; false after a report when the call depth is
// at its cap.
bool PushFrame(VMContext& c, const CCode* script, int argumentCount);

} // namespace vm
