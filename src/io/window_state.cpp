#include "io/window_state.h"

#include "core/convert.h"

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

// Every quotient and product is taken in single precision, as the device keeps these sizes.
void Display_GetAspectOffset(int& x, int& y) {
    x = 0;
    y = 0;
    if (!Window_State().Window_DeviceState.keepAspect) return;
    const float gameWidth = static_cast<float>(Window_State().Window_DeviceState.gameSize.width);
    const float gameHeight = static_cast<float>(Window_State().Window_DeviceState.gameSize.height);
    const float backWidth = static_cast<float>(Window_State().Window_DeviceState.backBufferSize.width);
    const float backHeight = static_cast<float>(Window_State().Window_DeviceState.backBufferSize.height);
    const float aspect = gameWidth / gameHeight;
    if (backHeight > backWidth / aspect) {
        const float imageHeight = backWidth * (gameHeight / gameWidth);
        y = X86_DoubleToInt32((backHeight - imageHeight) * 0.5f);
    } else {
        const float imageWidth = backHeight * aspect;
        x = X86_DoubleToInt32((backWidth - imageWidth) * 0.5f);
    }
}
