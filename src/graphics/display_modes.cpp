// The desktop display mode and the mouse on the desktop.
//
// The desktop is the device layer's virtual desktop: its mode can be switched among the layer's fixed
// list (32 bits per pixel, 60 Hz), which changes what the display queries and the device report and
// never the real display's mode.
#include "device/device.h"
#include "graphics/frame.h"
#include "io/window_state.h"
#include "platform/platform.h"

namespace {

// The mode a request asks for: fields of 0 or less keep the current value.
D3DVirtualDesktop Requested(int width, int height, int frequency, int bits) {
    D3DVirtualDesktop mode = D3D_Desktop();
    if (width > 0) mode.width = static_cast<uint32_t>(width);
    if (height > 0) mode.height = static_cast<uint32_t>(height);
    if (frequency > 0) mode.refreshRate = static_cast<uint32_t>(frequency);
    if (bits > 0) mode.bitsPerPixel = static_cast<uint32_t>(bits);
    return mode;
}

bool Available(const D3DVirtualDesktop& mode) {
    if (mode.bitsPerPixel != 32 || mode.refreshRate != 60) return false;
    for (const D3DDesktopMode& listed : kD3DDesktopModes)
        if (listed.width == mode.width && listed.height == mode.height) return true;
    return false;
}

bool Change(int width, int height, int frequency, int bits) {
    const D3DVirtualDesktop mode = Requested(width, height, frequency, bits);
    if (!Available(mode)) return false;
    D3D_Desktop() = mode;
    return true;
}

bool CurrentMode(D3DDISPLAYMODE& mode) {
    CD3D* d3d = Direct3DCreate9(32);
    const bool known = d3d->GetAdapterDisplayMode(0, &mode) == D3D_OK;
    d3d->Release();
    return known;
}

} // namespace

int Display_GetWidth() {
    return static_cast<int>(D3D_Desktop().width);
}

int Display_GetHeight() {
    return static_cast<int>(D3D_Desktop().height);
}

int Display_GetColorDepth() {
    D3DDISPLAYMODE mode{};
    return CurrentMode(mode) ? static_cast<int>(D3D_Desktop().bitsPerPixel) : -1;
}

int Display_GetFrequency() {
    D3DDISPLAYMODE mode{};
    return CurrentMode(mode) ? static_cast<int>(mode.RefreshRate) : -1;
}

bool Display_TestAll(int width, int height, int frequency, int bits) {
    return Available(Requested(width, height, frequency, bits));
}

bool Display_SetAll(int width, int height, int frequency, int bits) {
    return Change(width, height, frequency, bits);
}

bool Display_SetSize(int width, int height) {
    return Change(width, height, 0, 0);
}

bool Display_SetFrequency(int hertz) {
    return Change(0, 0, hertz, 0);
}

bool Display_SetColorDepth(int bits) {
    return Change(0, 0, 0, bits);
}

int Display_GetMouseX() {
    int32_t x = 0;
    int32_t y = 0;
    Platform_GetCursorPos(x, y);
    return x;
}

int Display_GetMouseY() {
    int32_t x = 0;
    int32_t y = 0;
    Platform_GetCursorPos(x, y);
    return y;
}

// Only while the game window has the focus.
void Display_SetMouse(int x, int y) {
    if (!SharedDisplayState.hasFocus) return;
    Platform_SetCursorPos(x, y);
}
