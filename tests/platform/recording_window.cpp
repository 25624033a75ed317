#include "recording_window.h"

#include "platform/keys.h"

std::vector<PlatformMessage> RecordingWindow::seen;
int16_t RecordingWindow::rightShiftAtKeyDown = 0;

int64_t RecordingWindow::Proc(uint32_t message, uint64_t wParam, int64_t lParam) {
    seen.push_back(PlatformMessage{message, wParam, lParam});
    switch (message) {
    case WM_KEYDOWN: rightShiftAtKeyDown = Platform_GetKeyState(VK_RSHIFT); return 0;
    case WM_CLOSE: Platform_DestroyWindow(); return 0;
    case WM_DESTROY: Platform_PostMessage(WM_QUIT); return 0;
    default: return Platform_DefWindowProc(message, wParam, lParam);
    }
}

std::vector<uint32_t> RecordingWindow::Kinds() {
    std::vector<uint32_t> kinds;
    for (const PlatformMessage& m : seen) kinds.push_back(m.message);
    return kinds;
}

bool RecordingWindow::Pump() {
    PlatformMessage m;
    while (Platform_PeekMessage(m)) {
        if (m.message == WM_QUIT) return true;
        Platform_DispatchMessage(m);
    }
    return false;
}
