// The breakpoint table of the remote debugger, kept as the virtual machine uses it: each set breakpoint
// has the break word written over its code word while the game runs.
#pragma once

#include <cstdint>

constexpr uint32_t kBreakInstructionWord = 0xFFFF0000u;
constexpr int kMaxBreakpoints = 256;

// One breakpoint: the instruction word it replaced and the code word it sits on (null = free slot).
struct DebugBreakpoint {
    uint32_t savedWord;
    uint32_t* codeWord;
};

struct DebugBreakpointTable {
    DebugBreakpoint entries[kMaxBreakpoints];
    int count;    // set entries; while none is set, an executed break word takes none out or back
    bool removed; // the saved words are back in the code (while the machine stands at a break)
};
// Left extern: the one table the debugger edits and the machine patches code words from.
extern DebugBreakpointTable Debugger_Breakpoints;

// Start-up step "VM Init": empties the breakpoint table.
void DebuggerClearBreakpoints();
// Writes the break word over the code word of every set breakpoint, keeping the word it replaces.
void DebuggerInsertBreakpoints();
// Writes back the saved word of every set breakpoint, walking the table from its end.
void DebuggerRemoveBreakpoints();

// The debugger's own edits of the table: a breakpoint set on a code word takes effect at once (or when
// the breakpoints are inserted again, while they are removed). Set gives false when the word has one
// already or the table is full; Clear false when the word has none.
bool Debugger_SetBreakpoint(uint32_t* codeWord);
bool Debugger_ClearBreakpoint(uint32_t* codeWord);
// True when a set breakpoint's break word stands over the code word now (set, and not removed); a
// break word anywhere else belongs to the code itself.
bool Debugger_IsBreakpoint(const void* codeWord);
