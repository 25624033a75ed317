// The virtual machine: runs bytecode for a self and an other instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "script/value.h"

class CCode;
class CInstance;
class VMBuffer;
namespace vm {
struct Decoded;
struct Insn;
struct LocalsLevel;
} // namespace vm

// A script call frame: the caller's state, saved by call and restored by ret, exit or the end of the
// called code. Frames live beside the value stack, not in it, so that bytecode cannot overwrite them.
// What only reports and the debugger need (the names, debug tables and texts of the codes on the call
// stack) is not saved: it is found from the called script's code object when asked (VM_CodeAt).
struct VMFrame {
    int pc;
    int argumentCount;
    int argumentsUsed; // the caller's Code_ArgumentsUsed
    // Distance from the stack's top end to the caller's stack pointer once the arguments are gone.
    int framePosition;
    // With blocks open in the caller when the call was made.
    // (The caller's self and other are not kept: only with blocks change them, and those the call opened
    // still hold them when it ends.)
    int withCount;
    const VMBuffer* code;
    vm::LocalsLevel* localsLevel; // the caller's local variables
    // The called script's local variables: the frame's own level, made with the frame and kept (empty)
    // between its calls.
    vm::LocalsLevel* calleeLocals = nullptr;
    vm::Decoded* decoded; // the caller's decoded form, when the decoded loop made the call
    const vm::Insn* callInsn; // and the call's record in it, whose way on is where the caller goes on
    // vm::g_formsChanged when the decoded loop made the call (decoded is still the caller's current form
    // while they are equal); a count never reached when the general way made it.
    uint64_t formsChanged;
    // The caller's argument values (Code_Arguments when the call was made).
    ScriptValue* callerArguments;
    // The called script's code object: its name, debug table and text name the code this frame runs.
    const CCode* script;
    // The neighbouring frames of the same store, linked once when the frame is made.
    VMFrame* below;
    VMFrame* above;
    // The called script's argument values, where Code_Arguments points while it runs; all real 0
    // whenever no call of this frame runs.
    ScriptValue arguments[16];
};

// One open with block: what pushenv saved and the instances still to visit. Kept beside the value
// stack; the stack holds a marker that names the block.
struct VMWithBlock {
    CInstance* savedSelf;
    CInstance* savedOther;
    std::vector<CInstance*> targets; // in visiting order
    size_t next;                     // index of the next target to visit
    int stackPosition;               // distance from the stack's top end to the marker
};

// One running VM_Execute.
struct VMContext {
    uint8_t* stackBase; // lowest address of the current stack region
    uint8_t* stackEnd;  // its top end (stackBase + stackSize)
    vm::LocalsLevel* localsLevel; // the local variables of the running code
    CInstance* self;
    CInstance* other;
    const VMBuffer* codeBuffer; // the running code (its bytes and size)
    // The execution's own code (call depth 0): its name, debug table and source text. Inside a script
    // call the running code's are the called script's (VM_CodeAt).
    const char* entryName;
    const VMBuffer* entryDebugTable;
    const char* entryText;
    int stackSize;
    int pc;
    int callDepth;

    uint8_t* sp;    // the top item
    int level;      // nesting level of this execution (0 for the outermost)
    bool stopped;   // ended by an error or a stack overflow
    bool exited;    // exit at call depth 0
    bool returned;  // a ret at call depth 0 left its value on top
    int returnType; // the type of that value
    int savedArgumentCount;
    std::deque<VMFrame>* frames; // a deque: Code_Arguments points into its frames
    VMFrame* top;                // the frame of the running call; null at call depth 0
    std::vector<VMWithBlock>* withBlocks;
    int withCount; // open with blocks (the first withCount entries of withBlocks)
};

// The name, debug table and source text of the code running at a call depth of an execution: 0 is the
// execution's own code, depth k the script that the k-th frame called. For error reports, traces and the
// debugger; the call itself saves none of them.
struct VMCodeNames {
    const char* name;
    const VMBuffer* debugTable;
    const char* text;
};
VMCodeNames VM_CodeAt(const VMContext& c, int depth);
// The running code's (VM_CodeAt at the call depth).
inline VMCodeNames VM_RunningCode(const VMContext& c) {
    return VM_CodeAt(c, c.callDepth);
}

// Runs code to its end. The result holder, when given, receives the value of a ret at call depth 0, or
// the one .v that an expression leaves on an otherwise empty stack; after exit it is left alone.
void VM_Execute(const char* name, CInstance* self, CInstance* other, const VMBuffer* code,
                ScriptValue* result, const VMBuffer* debugTable, const char* text);

// Frees the texts and arrays that executions still hold on their value stacks and in the argument values
// of their script calls. Only for the end of the run: a fatal error in game code ends the process from
// inside the machine, whose executions never return to free them.
void VM_ReleaseAbandoned();

// The innermost running execution, or null.
// Left extern: the machine sets it on every execution's entry and exit.
extern VMContext* VM_CurrentContext;

// The tolerance within which the engine's comparisons of reals count two reals as equal; 1e-16 until
// math_set_epsilon changes it.
// Left extern: every comparison of reals in the machine's loop reads it.
extern double Code_Epsilon;

// The script argument values argument0 ... argument15 of the running script (16 values; a script call
// gives the called script a block of its own and its return gives the caller's back), and
// argument_count.
// Left extern (these three): every script call and return swaps them, every argument access reads them.
extern ScriptValue* Code_Arguments;
extern int Code_ArgumentCount;
// How many leading values of Code_Arguments may be other than real 0 (at most 16), plus
// kArgumentsOwned while a text or an array may be among them: whatever writes an argument value raises
// the count past it and adds the mark, so that a return clears only these, and looks at what they hold
// only when marked.
extern int Code_ArgumentsUsed;
constexpr int kArgumentsOwned = 32;
inline void Code_ArgumentWritten(int i) {
    const int used = Code_ArgumentsUsed & (kArgumentsOwned - 1);
    Code_ArgumentsUsed = (i >= used ? i + 1 : used) | kArgumentsOwned;
}
// The getter of the built-in variables argument0 ... argument15 (element arrayIndex of argument N).
// Code that reads a variable with this getter reads the argument straight from Code_Arguments.
template <int N> bool VM_GetArgument(CInstance*, int arrayIndex, ScriptValue* out) {
    return Value_ArrayGet(out, &Code_Arguments[N], arrayIndex);
}
// The getter of the built-in variable argument (argument[i]): reading an argument the running script
// was not given is a fatal error report, and the value is still given (real 0 past the sixteen). Code
// reads the arguments it was given straight from Code_Arguments.
bool VM_GetArgumentAt(CInstance*, int i, ScriptValue* out);
// The getter of argument_count; code reads it straight from Code_ArgumentCount.
inline bool VM_GetArgumentCount(CInstance*, int, ScriptValue* out) {
    Value_SetReal(out, Code_ArgumentCount);
    return true;
}

// Switches and flags other parts set, reached through VMDebug_State().
struct VMDebugState {
    // Every word executed the long way, never by the decoded loop (tests hold the two against each
    // other).
    bool VM_LongWayOnly = false;
    bool VM_Trace = false;      // "-trace": names of codes, built-ins and scripts as they run
    bool VM_SingleStep = false; // the debugger's step: break when the line or text changes
    bool VM_BreakPending = false;
    int VM_StepLine = -1; // where the debugger last stopped
    const char* VM_StepText = nullptr;
};

// Constant-initialised, so a read is a plain load with no guard.
inline VMDebugState& VMDebug_State() {
    static VMDebugState state;
    return state;
}

// Services the run loop installs. Null: nothing to drain.
using VMMessagePumpFn = void (*)();
void VM_SetMessagePump(VMMessagePumpFn pump);
// Counts one jump of code that runs outside the machine (the tree evaluator's loops) towards draining
// the message queue, as the machine's own jumps count.
void VM_CountBranch();

// Shows a message box (the stack-overflow report). Null: the text goes to the release console.
using VMMessageBoxFn = void (*)(const char* text, const char* caption);
void VM_SetMessageBox(VMMessageBoxFn box);

// Caps that stand in for the machine stack: nested executions (a built-in running game code that runs
// a built-in ...), the script call depth of one execution, the bytes of one value stack, and the open
// with blocks of one execution.
constexpr int kVMMaxNesting = 256;
// A nested execution also needs this much of the thread's own stack left, for the loop's frame and the
// built-ins and events between two levels, and twice what the level before it took where that is more;
// with less it ends as one past the cap does.
constexpr size_t kVMNestingStackReserve = 256 << 10;
constexpr int kVMMaxCallDepth = 100000;
constexpr int kVMMaxStackBytes = 64 << 20;
constexpr int kVMMaxWithBlocks = 65536; // open with blocks of one execution
int VM_NestingLevel();
