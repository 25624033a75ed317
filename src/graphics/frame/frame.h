// Folder frame/: the device and the frame, and the state every drawing passes through to reach the device.
//
// The graphics device and the frame: device creation and reset, the desktop display, the view port and
// view area, the matrix set, render states and render targets, and the vertex batch as the rest of the
// runner reaches them.
//
// The device is the layer's (device/device.h): OpenGL over the window, or headless. Without it every
// operation that needs it answers as the graphics code does without a device (false, null, nothing
// drawn). The desktop is the layer's: the display the window is on.
//
// The drawing size is Graphics::GetScreenSize; StartFrame, EndFrame and Display_EnsureWindowed say
// whether they succeeded; Set3DMode returns true rather than the previous state; and the anti-aliasing
// value display_aa reads is the multisample mask, not a count.
#pragma once

#include "core/rect.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/render_state.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/transform.h"
#include "io/window_state.h"
#include "platform/platform.h"

#include <cstdint>

class IBitmap;
struct TDeviceTexture;

// Options word of GR_D3D_Init (the low bits of the game's window flags).
enum : uint32_t {
    GR_OPTION_FULLSCREEN = 1u << 0,
    GR_OPTION_VSYNC = 1u << 1,
    GR_OPTION_SOFTWARE_VERTICES = 1u << 2,
    GR_OPTION_INTERPOLATE = 1u << 3,
    GR_OPTION_KEEP_ASPECT = 1u << 4,
};

// The device globals other subsystems read or write. The window sizes, the size and position the window
// asks of the next reset, and the keep-aspect option live in the window record of the main window
// (io/window_state.h).
struct GraphicsDeviceGlobals {
    // Bits 1..4 (values 2, 4, 8, 16) set for each multisample count the adapter accepts; 30 when all
    // are. 0 before the device exists. Read by display_aa.
    int32_t multisampleMask = 0;
    int32_t requestedMultisample = 0; // 0 none, or 2, 4, 8, 16; applied at the next reset
    int32_t requestedSwapEffect = 3;  // 3 copy without multisampling, 1 discard with it
    bool vsync = false;
    bool interpolate = false;
    bool windowPendingShow = true;
    int32_t poolFlag = 1; // 1: textures in the managed pool (the layer's one interface)
    // The mode the display shows while the game is full screen, chosen by a display change; 0 x 0 while
    // none is (the desktop's).
    PlatformDisplayMode fullScreenMode;
    int32_t frameDepth = 0;
    int64_t lastPresentMicros = 0;
};

// Command-line switches that the graphics device and the batcher obey.
struct GraphicsSwitches {
    bool softwareDevice; // "-software": software vertex processing
    bool manualClear;    // "-intel": clear by drawing a quad ...
    bool manualBuffers;  // ... and one batch per vertex buffer
    bool plainGraphics;  // "-vanillaGFX": the adapter name is not inspected
};

class CD3DDevice;

// The frame's state that other modules read or write, reached through Frame_State().
struct FrameState {
    GraphicsDeviceGlobals GR_DeviceGlobals;
    // Per-frame counters, shown by the profiler and the debug window; zeroed by Profiler_BeginFrame.
    int32_t Graphics_TextureSwapCount = 0;
    int32_t Graphics_VertexBatchCount = 0;
    // The device of the process (null while there is none), and the number of render-target slots in
    // use (1 to 4).
    CD3DDevice* GR_D3DDevice = nullptr;
    int GR_RenderTargetCount = 1;
    // Each frame draws all views while this is 1 (draw_enable_drawevent stores 1 or 0).
    uint8_t Run_DrawEnabled = 1;
    // The index of the view being drawn (the built-in variable view_current); 0 outside the draw pass.
    int32_t View_Current = 0;
    // The room rectangle of the view being drawn, set by the view loop before each view.
    IntRect View_DrawRegion{0, 0, 0, 0};
    GraphicsSwitches CommandLine_Graphics{false, false, false, false};
};

inline FrameState& Frame_State() {
    static FrameState state;
    return state;
}

// The multisample mask under the name display_aa reads.
inline int32_t Display_AntialiasLevels() {
    return Frame_State().GR_DeviceGlobals.multisampleMask;
}

// Device, frame and reset.
bool GR_D3D_Init(WindowHandle window, int width, int height, uint32_t options);
// The largest screen the device can make, asked of the interface before any window or device exists
// (the game's screen is a render target of the game's size).
void GR_D3D_ScreenSizeLimit(int* width, int* height);
bool GR_D3D_CreateDevice(WindowHandle window, int width, int height, uint32_t options);
// Releases the device and the interface (the last step of GR_D3D_QuitDrawing).
void GR_D3D_ReleaseDevice();
bool GR_D3D_ResetDevice();
bool GR_D3D_ShadersSupported();
void GR_D3D_ErrorBox(const char* text);
// The screen texture every frame is drawn into; null without a device.
TDeviceTexture* GR_D3D_ScreenTexture();

// One desktop mode of an adapter.
struct DisplayModeEntry {
    int16_t width;
    int16_t height;
    uint8_t bitsPerPixel;
    uint8_t frequency;
    uint16_t modeIndex;
    uint32_t adapter;
};
// The mode for (w, h) in a mode list: the smallest that holds it, else the nearest in area; -1 for an
// empty list.
int Display_PickMode(const DisplayModeEntry* modes, int count, int w, int h);

namespace Graphics {
bool StartFrame();
bool EndFrame(bool present);
bool Reset();
void SetScreenSize(int width, int height);
void GetScreenSize(int& width, int& height);
// The port rectangle (the device viewport) and the view area (the room region shown, and its angle in
// degrees). The view area's near and far values and orthographic flag are the projection state's
// (graphics/frame/transform.h).
void SetViewPort(int x, int y, int w, int h);
void GetViewPort(int& x, int& y, int& w, int& h);
void SetViewArea(float x, float y, float w, float h, float angle);
void GetViewArea(float& x, float& y, float& w, float& h, float& angle);
// A new 32-bit image of a rectangle of the screen texture, clipped to the drawing area; null when
// nothing of it is left or it cannot be read.
IBitmap* GrabScreenRect(int x, int y, int w, int h);
// The screen texture's pixel as 0xAABBGGRR, 0 outside the screen or when it cannot be read.
uint32_t GetScreenPixel(int x, int y);
} // namespace Graphics

// The device viewport, depth 0 to 1; false without a device or when the device refuses it.
bool GR_D3D_SetViewport(int x, int y, int w, int h);
// False when the adapter cannot report its current display mode.
bool GR_D3D_DisplayModeKnown();

// Desktop display and window modes.
bool Display_EnsureWindowed();
void Display_Free();
void Display_WindowToPort(int x, int y, int& portX, int& portY);
int Display_GetWidth();
int Display_GetHeight();
int Display_GetColorDepth();
int Display_GetFrequency();
// The size of the display while the game is full screen: the mode a display change chose, else the
// desktop's (0 x 0 when neither can be known).
void Display_GetFullScreenSize(int& width, int& height);
int Display_GetMouseX();
int Display_GetMouseY();
void Display_SetMouse(int x, int y);
bool Display_SetSize(int width, int height);
bool Display_SetColorDepth(int bits);
bool Display_SetFrequency(int hertz);
bool Display_SetAll(int width, int height, int frequency, int bits);
bool Display_TestAll(int width, int height, int frequency, int bits);
void Display_SetAntialias(int samples);
void Display_SetVSync(bool on);

// Embedded images and screen saves.
void EmbeddedImage_SetTable(const uint8_t* table, uint32_t size);
// A device texture of embedded image index; null outside the table or without a device. Callers that
// need a texture id wrap it with Texture_AddExisting.
TDeviceTexture* EmbeddedImage_CreateTexture(int index);
// Writes the game-size screen texture as a PNG file; an empty name is a run-time error.
void Screen_SaveToFile(const char* name);
// The same for a rectangle of it, clipped to the game size; nothing is written when none of it is left.
void Screen_SavePartToFile(const char* name, int x, int y, int w, int h);
