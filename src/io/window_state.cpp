#include "io/window_state.h"

namespace {
// ARGB with the alpha forced to 0xFF on every store.
uint32_t g_windowColour = 0xFF000000u;
} // namespace

int Window_GetGameWidth() {
    return Window_State().Window_DeviceState.gameSize.width;
}
int Window_GetGameHeight() {
    return Window_State().Window_DeviceState.gameSize.height;
}
uint32_t Window_GetColour() {
    return g_windowColour & 0xFFFFFFu;
}

void Window_SetColour(uint32_t colour) {
    g_windowColour = colour | 0xFF000000u;
}
