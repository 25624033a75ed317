// The main window's state as the graphics device and the drawing code read and write it: the game
// size, the client and back-buffer sizes, the drawing scale factors, the view-port drawing size, the
// wanted full-screen state, the drawing area, the GUI layer size and the display bytes shared with other
// processes. The window module owns the record; the device writes the sizes it applies (after every
// reset and, for the final blit, the game size), and reads what the window asks of it: a reset, a new
// back-buffer size, and whether the window keeps its place.
#pragma once

#include "core/rect.h"

#include <cstdint>

using WindowHandle = void*;

struct WindowSize {
    int32_t width;
    int32_t height;
};

struct WindowDeviceState {
    WindowSize gameSize{0, 0};   // the size the game is laid out for
    WindowSize clientSize{0, 0}; // refreshed after every device reset
    WindowSize backBufferSize{640, 480};
    float scaleX = 1.0f; // horizontal and vertical drawing scale factors
    float scaleY = 1.0f;
    WindowSize portSize{0, 0}; // view-port drawing size: game size at creation, pending size at reset
    uint32_t style = 0;        // window style word; the device reset writes the one it applies
    // Set by window_set_size; consumed by the next reset. (-1, -1) = none.
    int32_t pendingWidth = -1;
    int32_t pendingHeight = -1;
    bool keepWindowPosition = false;
    // The device's option to keep the game's aspect ratio: the image is letterboxed in the back buffer.
    bool keepAspect = false;
};
// Two bytes shared with other processes: a copy of the full-screen state and the window-has-focus flag.
struct SharedDisplayBytes {
    uint8_t fullScreen;
    uint8_t hasFocus;
};

constexpr int kWindowViewPorts = 32;
struct WindowViewPort {
    bool active;
    float viewX, viewY, viewW, viewH; // room space
    float portX, portY, portW, portH; // window space
    float angle;                      // degrees
    int32_t surface;                  // stored only
};

// The main window's shared state, reached through Window_State().
struct WindowState {
    WindowDeviceState Window_DeviceState;
    // The wanted full-screen state: set by window_set_fullscreen (with a reset request), read by the
    // device reset, cleared only by Display_EnsureWindowed.
    uint8_t Window_FullScreen = 0;
    // Set by the window's and the display's changes; the next frame resets the device and clears it.
    uint8_t Graphics_ResetRequest = 0;
    // The drawing-area rectangle to which screen grabs are clipped.
    IntRect Window_DrawingArea{0, 0, 0, 0};
    SharedDisplayBytes SharedDisplayState{0, 0};
    // The GUI layer size; -1 follows the renderer.
    WindowSize GUI_Size{-1, -1};
    // The view-port mapping table, written by the view update before each draw pass.
    WindowViewPort Window_ViewPorts[kWindowViewPorts]{};
    int Window_ViewPortCount = 0;
};

inline WindowState& Window_State() {
    static WindowState state;
    return state;
}

// The view-port drawing size, a field of the device record.
inline WindowSize& Window_PortSize = Window_State().Window_DeviceState.portSize;

int Window_GetGameWidth();
int Window_GetGameHeight();
// The window colour's low 24 bits; it fills the back buffer around a letterboxed image.
uint32_t Window_GetColour();
// Stores an ARGB colour with the alpha forced to 0xFF.
void Window_SetColour(uint32_t colour);

// The letterbox margins of the game image in the back buffer while the aspect ratio is kept; 0, 0
// otherwise.
void Display_GetAspectOffset(int& x, int& y);

// Makes the main window; null when it cannot be made.
WindowHandle Window_Create(int width, int height);

// Maps a room point through the recorded mapping of view v, and the scale its port is drawn at, to whole
// pixels of the screen (the game-size image that the ports are stretched over).
void Window_RoomToWindow(int view, float x, float y, int& windowX, int& windowY);
