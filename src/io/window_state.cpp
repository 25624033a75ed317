#include "io/window_state.h"

#include "core/convert.h"

WindowDeviceState Window_DeviceState;
uint8_t Window_FullScreen = 0;
IntRect Window_DrawingArea{0, 0, 0, 0};
SharedDisplayBytes SharedDisplayState{0, 0};
WindowSize GUI_Size{-1, -1};

namespace {
// ARGB with the alpha forced to 0xFF on every store.
uint32_t g_windowColour = 0xFF000000u;
} // namespace

int Window_GetGameWidth() {
    return Window_DeviceState.gameSize.width;
}
int Window_GetGameHeight() {
    return Window_DeviceState.gameSize.height;
}
uint32_t Window_GetColour() {
    return g_windowColour & 0xFFFFFFu;
}

// The platform window layer is not built: no window can be made, and the start-up reports that.
WindowHandle Window_Create(int /*width*/, int /*height*/) {
    return nullptr;
}

// The view-port records are written by the view update, which does not exist yet; with no record active
// every point stays unmapped, the rounded input.
void Window_RoomToWindow(int /*view*/, float x, float y, int& windowX, int& windowY) {
    windowX = X86_RoundToInt32(x);
    windowY = X86_RoundToInt32(y);
}
