#include "script/vm/vm_breakpoints.h"

#include "script/vm/vm_buffer.h"

DebugBreakpointTable Debugger_Breakpoints{};

void DebuggerClearBreakpoints() {
    for (DebugBreakpoint& entry : Debugger_Breakpoints.entries)
        entry = DebugBreakpoint{0, nullptr};
    Debugger_Breakpoints.count = 0;
    Debugger_Breakpoints.removed = false;
}

// Inserting and removing make the decoded forms again only when a code word really changed: the
// machine removes and inserts the breakpoints around each break while a debugger runs, and with no
// breakpoint set that changes no word.
void DebuggerInsertBreakpoints() {
    bool changed = false;
    for (DebugBreakpoint& entry : Debugger_Breakpoints.entries) {
        if (entry.codeWord == nullptr) continue;
        entry.savedWord = *entry.codeWord;
        changed |= entry.savedWord != kBreakInstructionWord;
        *entry.codeWord = kBreakInstructionWord;
    }
    Debugger_Breakpoints.removed = false;
    if (changed) VM_CodeChanged();
}

// From the end, so that of two breakpoints on one word the first one's saved word is written last.
void DebuggerRemoveBreakpoints() {
    bool changed = false;
    for (int i = kMaxBreakpoints - 1; i >= 0; --i) {
        const DebugBreakpoint& entry = Debugger_Breakpoints.entries[i];
        if (entry.codeWord == nullptr) continue;
        changed |= *entry.codeWord != entry.savedWord;
        *entry.codeWord = entry.savedWord;
    }
    Debugger_Breakpoints.removed = true;
    if (changed) VM_CodeChanged();
}

bool Debugger_SetBreakpoint(uint32_t* codeWord) {
    if (codeWord == nullptr) return false;
    DebugBreakpoint* free = nullptr;
    for (DebugBreakpoint& entry : Debugger_Breakpoints.entries) {
        if (entry.codeWord == codeWord) return false;
        if (entry.codeWord == nullptr && free == nullptr) free = &entry;
    }
    if (free == nullptr) return false;
    *free = DebugBreakpoint{*codeWord, codeWord};
    ++Debugger_Breakpoints.count;
    if (!Debugger_Breakpoints.removed) {
        *codeWord = kBreakInstructionWord;
        VM_CodeChanged();
    }
    return true;
}

bool Debugger_ClearBreakpoint(uint32_t* codeWord) {
    for (DebugBreakpoint& entry : Debugger_Breakpoints.entries) {
        if (entry.codeWord != codeWord || codeWord == nullptr) continue;
        if (!Debugger_Breakpoints.removed) {
            *codeWord = entry.savedWord;
            VM_CodeChanged();
        }
        entry = DebugBreakpoint{0, nullptr};
        --Debugger_Breakpoints.count;
        return true;
    }
    return false;
}

bool Debugger_IsBreakpoint(const void* codeWord) {
    if (Debugger_Breakpoints.removed || codeWord == nullptr) return false;
    for (const DebugBreakpoint& entry : Debugger_Breakpoints.entries)
        if (entry.codeWord == codeWord) return true;
    return false;
}
