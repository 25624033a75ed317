// A window procedure shaped like the runner's (WM_CLOSE destroys the window, WM_DESTROY posts the quit,
// the rest goes to the default) that records every message it gets, and the runner's pump.
#pragma once

#include "platform/platform.h"

#include <vector>

struct RecordingWindow {
    static std::vector<PlatformMessage> seen;
    // Platform_GetKeyState(VK_RSHIFT) while the last WM_KEYDOWN was handled.
    static int16_t rightShiftAtKeyDown;

    static int64_t Proc(uint32_t message, uint64_t wParam, int64_t lParam);
    static std::vector<uint32_t> Kinds();
    // Takes and dispatches messages until the queue is empty (false) or the quit comes (true).
    static bool Pump();
};
