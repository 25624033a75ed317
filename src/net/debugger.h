// The remote debugger's link and the in-game debug form, as the start-up, the run loop, the message pump
// and the virtual machine reach them.
//
// Neither the debugger server nor the debug form exists yet (see net/debug_link.h): no debugger ever
// connects, so no breakpoint is set and nothing waits for one. The breakpoint table itself is kept as
// the virtual machine uses it.
#pragma once

#include "net/debug_link.h"

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
    int count;
};
extern DebugBreakpointTable Debugger_Breakpoints;

// Start-up step "Debug Init Remote Interface".
void DebuggerInitRemoteInterface();
// Start-up step "VM Init": empties the breakpoint table.
void DebuggerClearBreakpoints();
// Writes the break word over the code word of every set breakpoint, keeping the word it replaces.
void DebuggerInsertBreakpoints();
// Writes back the saved word of every set breakpoint, walking the table from its end.
void DebuggerRemoveBreakpoints();
// At a break: serves the debugger until it resumes (0) or asks for a step (1).
int DebuggerWaitWhilePaused();
// Every frame, also while paused.
void DebuggerPoll();
// Opens the debugger's listening socket after the server is made.
void DebuggerCreateIPSocket();

// The in-game debug form of debug mode.
class CDebugForm {
public:
    void Create();
    void Close();
    void Show(bool shown);
    // The per-step refresh (room speed, FPS, watches, sub-windows).
    void Update();
    // Called before a window message is dispatched; true when the form took it.
    bool FilterMessage(const void* message);
};
