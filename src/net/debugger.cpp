#include "net/debugger.h"

#include "script/vm/vm_buffer.h"

DebugBreakpointTable Debugger_Breakpoints{};

// There is no debugger link yet (see the header).
void DebuggerInitRemoteInterface() {}
void DebuggerPoll() {}
void DebuggerCreateIPSocket() {}

// Only a connected debugger can pause the game, so with no link the machine resumes at once.
int DebuggerWaitWhilePaused() {
    return 0;
}

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

// The debug form needs the window layer, which is not built: the form never opens and takes no message.
void CDebugForm::Create() {}
void CDebugForm::Close() {}
void CDebugForm::Show(bool /*shown*/) {}
void CDebugForm::Update() {}
bool CDebugForm::FilterMessage(const void* /*message*/) {
    return false;
}
