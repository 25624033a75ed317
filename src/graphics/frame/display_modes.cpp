// The desktop display mode, the mode the game takes in full screen, and the mouse on the desktop.
//
// The desktop is the device layer's: the display the game window is on (device/device.h). A display
// change chooses, among the modes that display lists, the one it shows while the game is full screen;
// the desktop itself keeps its mode, and the display queries report the desktop's.
#include "device/device.h"
#include "graphics/frame/frame.h"
#include "io/window_state.h"
#include "platform/platform.h"

#include <algorithm>
#include <vector>

namespace {

bool FullScreenMode(PlatformDisplayMode& mode) {
    if (Frame_State().GR_DeviceGlobals.fullScreenMode.width > 0) {
        mode = Frame_State().GR_DeviceGlobals.fullScreenMode;
        return true;
    }
    return D3D_GetDesktopMode(mode);
}

// The mode a request asks for, when the display lists it: fields of 0 or less keep the value of the
// full-screen mode.
bool Requested(int width, int height, int frequency, int bits, PlatformDisplayMode& mode) {
    if (!FullScreenMode(mode)) return false;
    if (width > 0) mode.width = width;
    if (height > 0) mode.height = height;
    if (frequency > 0) mode.refreshRate = frequency;
    if (bits > 0) mode.bitsPerPixel = bits;
    std::vector<PlatformDisplayMode> listed;
    return D3D_GetDisplayModes(listed) && std::find(listed.begin(), listed.end(), mode) != listed.end();
}

bool Change(int width, int height, int frequency, int bits) {
    PlatformDisplayMode mode;
    PlatformDisplayMode desktop;
    if (!Requested(width, height, frequency, bits, mode) || !D3D_GetDesktopMode(desktop)) return false;
    // The desktop's own mode is asked of the window as "no mode of its own".
    if (mode == desktop) mode = PlatformDisplayMode{};
    // Without a platform there is no window to tell; the device alone takes the mode.
    if (Platform_GetBackend() && !Platform_SetFullscreenMode(mode)) return false;
    Frame_State().GR_DeviceGlobals.fullScreenMode = mode;
    return true;
}

} // namespace

int Display_GetWidth() {
    PlatformDisplayMode mode;
    return D3D_GetDesktopMode(mode) ? mode.width : 0;
}

int Display_GetHeight() {
    PlatformDisplayMode mode;
    return D3D_GetDesktopMode(mode) ? mode.height : 0;
}

int Display_GetColorDepth() {
    PlatformDisplayMode mode;
    return D3D_GetDesktopMode(mode) ? mode.bitsPerPixel : -1;
}

int Display_GetFrequency() {
    PlatformDisplayMode mode;
    return D3D_GetDesktopMode(mode) ? mode.refreshRate : -1;
}

void Display_GetFullScreenSize(int& width, int& height) {
    PlatformDisplayMode mode;
    if (!FullScreenMode(mode)) mode = PlatformDisplayMode{};
    width = mode.width;
    height = mode.height;
}

bool Display_TestAll(int width, int height, int frequency, int bits) {
    PlatformDisplayMode mode;
    return Requested(width, height, frequency, bits, mode);
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
    if (!Window_State().SharedDisplayState.hasFocus) return;
    Platform_SetCursorPos(x, y);
}
