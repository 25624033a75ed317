// What the consoles and the virtual machine hand to the remote-debugger link and the debug form. Both
// live in the networking layer, which installs them here at start-up; until then (and in programs that
// never install them) the conditions answer false, the sinks take nothing and a break does not wait.
#pragma once

// True while the debug form is open.
bool DebugForm_IsOpen();
// Adds one line (at most 4096 characters used) to the debug form's messages window.
void DebugForm_AddMessage(const char* line);

// True from the "Start Server" start-up step on, while the remote-debugger server runs.
bool Debugger_ServerRunning();
// Appends one line to the debugger link's output buffer.
void DebuggerAppendOutput(const char* line);
// At a break: serves the debugger until it resumes (0) or asks for a step (1).
int DebuggerWaitWhilePaused();

// The implementations behind the functions above; a null member keeps the closed behaviour.
struct DebugLinkHooks {
    bool (*debugFormOpen)();
    void (*debugFormAddMessage)(const char* line);
    bool (*serverRunning)();
    void (*appendOutput)(const char* line);
    int (*waitWhilePaused)();
};
void DebugLink_Install(const DebugLinkHooks& hooks);
