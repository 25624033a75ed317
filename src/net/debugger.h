// The remote debugger's link and the in-game debug form, as the start-up, the run loop, the message pump
// and the virtual machine reach them.
//
// Neither the debugger server nor the debug form exists yet (see core/debug_link.h): no debugger ever
// connects, so no breakpoint is set (script/vm/vm_breakpoints.h) and nothing waits for one.
#pragma once

#include "core/debug_link.h"

// Start-up step "Debug Init Remote Interface".
void DebuggerInitRemoteInterface();
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
