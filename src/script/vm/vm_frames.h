// Script call frames and the levels of locals, shared by the general way (vm_exec.cpp) and the inner
// loop (vm_loop.cpp), which inlines them. Not for use outside src/script/vm.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "script/code.h"
#include "script/value.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_decode.h"
#include "script/vm/vm_internal.h"

// The inner loop's helpers are inlined into it in optimised builds; unoptimised (sanitised) builds keep
// them as calls, so that their locals do not pile up in the loop's own frame.
#ifdef __OPTIMIZE__
#define VM_INLINE [[gnu::always_inline]] inline
#else
#define VM_INLINE inline
#endif

// Hides a loop's pointer from the optimiser, so that a loop over a few (at most 16) values is not
// turned into vector code whose set-up costs more than the loop.
#if defined(__GNUC__)
#define VM_OPAQUE(pointer) asm("" : "+r"(pointer))
#else
#define VM_OPAQUE(pointer) ((void)0)
#endif

// STEP(i) for i = n - 1 down to 0, n at most 16 (anything else does nothing), as straight code entered
// at the step for n - 1: the few values of a call cost no loop's set-up and branches.
#define VM_UNROLLED_16(n, STEP)                                                                            \
    switch (n) {                                                                                           \
    case 16: STEP(15); [[fallthrough]];                                                                    \
    case 15: STEP(14); [[fallthrough]];                                                                    \
    case 14: STEP(13); [[fallthrough]];                                                                    \
    case 13: STEP(12); [[fallthrough]];                                                                    \
    case 12: STEP(11); [[fallthrough]];                                                                    \
    case 11: STEP(10); [[fallthrough]];                                                                    \
    case 10: STEP(9); [[fallthrough]];                                                                     \
    case 9: STEP(8); [[fallthrough]];                                                                      \
    case 8: STEP(7); [[fallthrough]];                                                                      \
    case 7: STEP(6); [[fallthrough]];                                                                      \
    case 6: STEP(5); [[fallthrough]];                                                                      \
    case 5: STEP(4); [[fallthrough]];                                                                      \
    case 4: STEP(3); [[fallthrough]];                                                                      \
    case 3: STEP(2); [[fallthrough]];                                                                      \
    case 2: STEP(1); [[fallthrough]];                                                                      \
    case 1: STEP(0); [[fallthrough]];                                                                      \
    default: break;                                                                                        \
    }

namespace vm {

// Room checked once per instruction; an instruction that pushes more reserves for itself.
constexpr int kStackMargin = 1024;

// The kind word of a local variable's slot while the variable does not exist.
constexpr uint32_t kLocalAbsent = 0xFFFFFFFFu;

// A local variable that the running code's layout has no slot for (reached through an instance code
// on the stack).
struct ExtraLocal {
    int id;
    uint32_t made;
    ScriptValue value;
};

// One level of script calls in progress: the local variables of the code running there, each in the
// slot the code's layout (VMBuffer::localIds) gives its id, plus any the layout lacks.
struct LocalsLevel {
    ~LocalsLevel();
    ScriptValue* values = nullptr; // slotCount slots; kind kLocalAbsent where no variable exists
    uint32_t* made = nullptr;      // the order in which each slot's variable was made (for the dump)
    int slotCount = 0;
    int dirty = 0; // slots below it may hold variables
    uint32_t madeCount = 0;
    std::vector<ExtraLocal> extra;
};

struct LocalsPool {
    std::vector<std::unique_ptr<LocalsLevel>> levels;
    size_t used = 0;
};
// Left extern: private to the machine (this header is its own), taken and given back on every call.
extern LocalsPool g_locals;

LocalsLevel* AllocLocalsSlow();
// Gives the level at least count slots of the code's layout, all absent beyond the old ones, and moves
// into them the variables kept beside the slots whose ids the layout has come to name.
void GrowLocals(LocalsLevel* level, const VMBuffer* code, int count);
// Frees the variables of a level; its slots are all absent afterwards.
void ClearLocals(LocalsLevel* level);

// A released level holds no variables.
VM_INLINE LocalsLevel* AllocLocals() {
    if (g_locals.used < g_locals.levels.size()) return g_locals.levels[g_locals.used++].get();
    return AllocLocalsSlow();
}

// A level that has slots has at least this many, so that the first ones can be looked at together.
constexpr int kMinLocalSlots = 4;

// Frees the variables of a level; its slots are all absent afterwards.
VM_INLINE void EmptyLocals(LocalsLevel* level) {
    static_assert(KIND_STRING == 1 && KIND_ARRAY == 2);
    ScriptValue* const values = level->values;
    const int dirty = level->dirty;
    if (dirty == 0) {
        // No slot in use: only variables kept beside the slots can exist (and have been counted).
        if (!level->extra.empty()) ClearLocals(level);
        return;
    }
    if (dirty <= kMinLocalSlots) [[likely]] {
        // At most four slots in use (most scripts): when each is a plain real or absent (kind words 0 and
        // all ones), the four are made absent as they are, without a loop (those past dirty are absent
        // already). Each kind word plus one is then 0 or 1, and so are they or'ed together; any other
        // kind goes the loop's way.
        static_assert(kMinLocalSlots == 4 && kLocalAbsent + 1u == 0u);
        const uint32_t k0 = values[0].kind + 1u, k1 = values[1].kind + 1u;
        const uint32_t k2 = values[2].kind + 1u, k3 = values[3].kind + 1u;
        if (((k0 | k1) | (k2 | k3)) <= 1u) [[likely]] {
            values[0].kind = values[1].kind = values[2].kind = values[3].kind = kLocalAbsent;
            level->dirty = 0;
            level->madeCount = 0;
            if (!level->extra.empty()) ClearLocals(level);
            return;
        }
    }
    for (ScriptValue *value = level->values, *end = value + level->dirty; value != end; ++value) {
        VM_OPAQUE(value);
        // A text or an array (kinds 1 and 2; an absent slot is neither) is freed.
        if (value->Kind() - 1u < 2u) Value_Free(value);
        value->kind = kLocalAbsent;
    }
    level->dirty = 0;
    level->madeCount = 0;
    if (!level->extra.empty()) ClearLocals(level);
}

VM_INLINE void ReleaseLocals() {
    if (g_locals.used == 0) return;
    EmptyLocals(g_locals.levels[--g_locals.used].get());
}

// A level of its own for a frame's calls (kept with the frame, empty between them).
LocalsLevel* NewLocals();

// The slots of a level for a code whose layout has count of them.
VM_INLINE ScriptValue* LocalSlots(LocalsLevel* level, const VMBuffer* code, int count) {
    if (level->dirty < count) {
        if (level->slotCount < count || !level->extra.empty()) GrowLocals(level, code, count);
        level->dirty = count;
    }
    return level->values;
}

// Makes the local variable of a slot, which does not exist, as real 0.
VM_INLINE ScriptValue* MakeLocal(LocalsLevel* level, int slot) {
    ScriptValue* value = &level->values[slot];
    value->kind = KIND_REAL;
    value->flags = 0;
    value->real = 0.0;
    level->made[slot] = ++level->madeCount;
    return value;
}

// The running level's local variable id, reached by its id (the general way): null when it does not
// exist; Local_Make makes it (real 0) when absent.
ScriptValue* Local_Find(VMContext& c, int id);
ScriptValue* Local_Make(VMContext& c, int id);
// Writes the header, then the running level's local variables as a variable list's dump orders them;
// nothing at all when there are none.
void Locals_Dump(const VMContext& c, tagIConsole* console, const char* header);

VM_INLINE Decoded* DecodedOf(const VMBuffer* buffer) {
    Decoded* d = buffer->decoded;
    if (d != nullptr && d->epoch == DecodeEpoch() && d->data == buffer->data && d->size == buffer->size) return d;
    return Decoded_Make(buffer);
}

// A frame at the end of the store, all real 0 in its arguments and with an empty level of locals, linked
// to the one before it.
VMFrame* NewFrame(std::deque<VMFrame>& frames);

// Frees the argument values of a call that ends: the first used (Code_ArgumentsUsed) of the block go back
// to real 0 (all bytes zero).
VM_INLINE void ClearArguments(ScriptValue* block, int used) {
    static_assert(KIND_REAL == 0 && sizeof(ScriptValue) == 16);
    if (used <= 4) [[likely]] {
        // Reals alone, at most four (most calls): the four first values are zeroed whole, those past used
        // being real 0 already.
        std::memset(static_cast<void*>(block), 0, 4 * sizeof *block);
        return;
    }
    if (used & kArgumentsOwned) {
        // Texts or arrays may be among them: those are freed.
        used &= kArgumentsOwned - 1;
        uint32_t kinds = 0;
#define VM_KIND_OF_ARGUMENT(i) kinds |= block[i].kind
        VM_UNROLLED_16(used, VM_KIND_OF_ARGUMENT)
#undef VM_KIND_OF_ARGUMENT
        if ((kinds & KIND_MASK) != KIND_REAL) {
            for (ScriptValue *argument = block, *end = block + used; argument != end; ++argument) {
                VM_OPAQUE(argument);
                if (argument->Kind() != KIND_REAL) Value_Free(argument);
            }
        }
    } else if (used <= 8) {
        std::memset(static_cast<void*>(block), 0, 8 * sizeof *block);
        return;
    }
#define VM_ZERO_ARGUMENT(i) std::memset(static_cast<void*>(block + (i)), 0, sizeof *block)
    VM_UNROLLED_16(used, VM_ZERO_ARGUMENT)
#undef VM_ZERO_ARGUMENT
}

// Closes the with blocks that the innermost call (frame) opened and did not close: self and other go
// back to what the outermost of them found.
VM_INLINE void LeaveWithBlocks(VMContext& c, const VMFrame& frame) {
    if (frame.withCount < c.withCount) {
        const VMWithBlock& outermost = (*c.withBlocks)[static_cast<size_t>(frame.withCount)];
        c.self = outermost.savedSelf;
        c.other = outermost.savedOther;
        CloseWithBlocks(c, frame.withCount);
    }
}

// Ends the innermost call (frame, its with blocks closed): its local variables and argument values go,
// and the caller's state comes back, all but its stack pointer (the frame's framePosition), which the
// caller of this sets once it has the returned item, and its pc (the frame's), which the decoded loop
// keeps in its own position until it leaves it.
VM_INLINE void LeaveClosedFrame(VMContext& c, VMFrame& frame) {
    EmptyLocals(frame.calleeLocals);
    c.localsLevel = frame.localsLevel;
    c.codeBuffer = frame.code;
    Code_ArgumentCount = frame.argumentCount;
    ClearArguments(frame.arguments, Code_ArgumentsUsed);
    Code_ArgumentsUsed = frame.argumentsUsed;
    Code_Arguments = frame.callerArguments;
    c.top = frame.below;
    --c.callDepth;
}

// Ends the innermost call: LeaveClosedFrame, its with blocks closed first.
VM_INLINE VMFrame& LeaveFrame(VMContext& c) {
    VMFrame& frame = *c.top;
    LeaveWithBlocks(c, frame);
    LeaveClosedFrame(c, frame);
    return frame;
}

// Bytes of the item that ret of the type hands back: 16 for .v, 8 for .d and .l, 4 for the rest.
VM_INLINE int ReturnItemSize(int returnType) {
    return returnType == VT_VARIABLE ? 16 : (returnType == VT_DOUBLE || returnType == VT_LONG) ? 8 : 4;
}

// Pops the innermost frame: the caller gets the returned item of the type, or real 0 for type -1.
VM_INLINE void PopFrameInline(VMContext& c, int returnType) {
    // The returned item: sixteen bytes are always there to read, as the stack's top end lies 16 bytes
    // beyond its empty stack pointer.
    uint8_t item[16];
    int itemSize = 0;
    if (returnType >= 0) {
        itemSize = ReturnItemSize(returnType);
        if (Depth(c) < itemSize && !CheckPop(c, itemSize)) return;
        std::memcpy(item, c.sp, sizeof item);
    }
    const VMFrame& frame = LeaveFrame(c);
    c.pc = frame.pc;
    c.sp = AtPosition(c, frame.framePosition);
    if (itemSize == 0) {
        c.sp -= 16;
        std::memset(c.sp, 0, 16); // real 0
    } else {
        c.sp -= itemSize;
        std::memcpy(c.sp, item, static_cast<size_t>(itemSize));
    }
}

// The frame the next call takes (its block of argument values all real 0), made when the store has none.
VM_INLINE VMFrame& NextFrame(VMContext& c) {
    VMFrame* next = c.top != nullptr ? c.top->above : c.frames->empty() ? nullptr : &c.frames->front();
    return next != nullptr ? *next : *NewFrame(*c.frames);
}

// EnterFrame for a caller that goes on at resumePc and writes the first used (at most 16, plus
// kArgumentsOwned unless they are reals) argument values; the caller's decoded form and the call's record in it, when the decoded loop makes the call, go
// with the frame, with g_formsChanged then. c.pc is left to the caller (the decoded loop keeps its own).
VM_INLINE void EnterFrameAt(VMContext& c, VMFrame& frame, const CCode* script, int argumentCount, int used,
                            int resumePc, Decoded* decoded, const Insn* callInsn, uint64_t formsChanged) {
    frame.pc = resumePc;
    frame.argumentCount = Code_ArgumentCount;
    frame.argumentsUsed = Code_ArgumentsUsed;
    frame.framePosition = Position(c);
    frame.withCount = c.withCount;
    frame.code = c.codeBuffer;
    frame.localsLevel = c.localsLevel;
    frame.decoded = decoded;
    frame.callInsn = callInsn;
    frame.formsChanged = formsChanged;
    frame.callerArguments = Code_Arguments;
    frame.script = script;
    Code_Arguments = frame.arguments;
    c.top = &frame;
    ++c.callDepth;
    c.codeBuffer = script->code;
    Code_ArgumentCount = argumentCount;
    // The caller writes the first used values next.
    Code_ArgumentsUsed = used;
    c.localsLevel = frame.calleeLocals;
}

// Saves the caller in the next frame (NextFrame) and starts the script's code from its first word, with
// the frame's block of argument values as Code_Arguments. The call depth must allow a frame more. The
// return goes on through the caller's decoded form again (VM_ENTER).
VM_INLINE void EnterFrame(VMContext& c, VMFrame& frame, const CCode* script, int argumentCount) {
    EnterFrameAt(c, frame, script, argumentCount, (argumentCount < 16 ? argumentCount : 16) | kArgumentsOwned,
                 c.pc, nullptr, nullptr, ~uint64_t{0});
    c.pc = 0;
}

// EnterFrame, or false after a report when the call depth is at its cap.
VM_INLINE bool PushFrameInline(VMContext& c, const CCode* script, int argumentCount) {
    if (c.callDepth >= kVMMaxCallDepth) {
        StackOverflow(c);
        return false;
    }
    EnterFrame(c, NextFrame(c), script, argumentCount);
    return true;
}

// Executes the word at pc the long way: the stack margin, the debugger's single step and pending break,
// then the general handler (vm_exec.cpp).
void Step(VMContext& c);

// Runs the decoded form from pc until the code ends, the execution stops, or the debugger wants each
// word executed the long way (vm_loop.cpp).
void RunDecoded(VMContext& c);

// Left extern: private to the machine (this header is its own), counted on every jump.
extern uint32_t g_branchCount;
// Counts one jump towards draining the message queue; true when the queue was drained.
bool DrainMessages();

} // namespace vm
