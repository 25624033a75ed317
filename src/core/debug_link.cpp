#include "core/debug_link.h"

namespace {
DebugLinkHooks g_hooks{};
} // namespace

void DebugLink_Install(const DebugLinkHooks& hooks) {
    g_hooks = hooks;
}

bool DebugForm_IsOpen() {
    return g_hooks.debugFormOpen && g_hooks.debugFormOpen();
}

void DebugForm_AddMessage(const char* line) {
    if (g_hooks.debugFormAddMessage && line) g_hooks.debugFormAddMessage(line);
}

bool Debugger_ServerRunning() {
    return g_hooks.serverRunning && g_hooks.serverRunning();
}

void DebuggerAppendOutput(const char* line) {
    if (g_hooks.appendOutput && line) g_hooks.appendOutput(line);
}

// Without a link no debugger can resume the game, so the machine goes on at once.
int DebuggerWaitWhilePaused() {
    return g_hooks.waitWhilePaused ? g_hooks.waitWhilePaused() : 0;
}
