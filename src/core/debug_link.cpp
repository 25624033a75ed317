#include "core/debug_link.h"

// Neither the debug form nor the debugger server exists yet: the consoles never find them open, and a
// line handed here anyway has nowhere to go.
bool DebugForm_IsOpen() { return false; }
void DebugForm_AddMessage(const char* /*line*/) {}

bool Debugger_ServerRunning() { return false; }
void DebuggerAppendOutput(const char* /*line*/) {}
// Only a connected debugger can pause the game, so with no link the machine resumes at once.
int DebuggerWaitWhilePaused() {
    return 0;
}
