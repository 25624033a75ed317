#include "library/os_events.h"

#include "core/console.h"

namespace {
bool g_pauseRaised = false;
bool g_pausedThisFrame = false;
} // namespace

void OS_RaisePauseEvent() {
    DebugConsole->Output("OS has raised a pause event\n");
    g_pauseRaised = true;
}

void OS_UpdatePauseEvent() {
    if (g_pauseRaised) {
        DebugConsole->Output("Pause event has been registered for this frame\n");
        g_pausedThisFrame = true;
        g_pauseRaised = false;
    } else if (g_pausedThisFrame) {
        DebugConsole->Output("Pause event has been unregistered\n");
        g_pausedThisFrame = false;
    }
}

bool OS_IsPausedThisFrame() {
    return g_pausedThisFrame;
}
