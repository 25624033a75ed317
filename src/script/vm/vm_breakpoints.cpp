#include "script/vm/vm_breakpoints.h"

#include "script/vm/vm_buffer.h"

DebugBreakpointTable Debugger_Breakpoints{};

void DebuggerClearBreakpoints() {
    for (DebugBreakpoint& entry : Debugger_Breakpoints.entries)
        entry = DebugBreakpoint{0, nullptr};
    Debugger_Breakpoints.count = 0;
}

void DebuggerInsertBreakpoints() {
    for (DebugBreakpoint& entry : Debugger_Breakpoints.entries) {
        if (entry.codeWord == nullptr) continue;
        entry.savedWord = *entry.codeWord;
        *entry.codeWord = kBreakInstructionWord;
    }
    VM_CodeChanged();
}

// From the end, so that of two breakpoints on one word the first one's saved word is written last.
void DebuggerRemoveBreakpoints() {
    for (int i = kMaxBreakpoints - 1; i >= 0; --i) {
        const DebugBreakpoint& entry = Debugger_Breakpoints.entries[i];
        if (entry.codeWord != nullptr) *entry.codeWord = entry.savedWord;
    }
    VM_CodeChanged();
}
