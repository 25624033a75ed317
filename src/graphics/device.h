// The graphics device and the frame: device creation and reset, the desktop display, the view port and
// view area, the matrix set, render states and render targets, and the vertex batch as the rest of the
// runner reaches them.
//
// No device layer exists yet, so the device is never created: every operation that needs it answers as
// the graphics code does without a device (false, null, nothing drawn), and the desktop queries answer
// "no display". Plain state that does not need a device (the requested settings, the screen size, the
// matrix set) is kept as it will be.
//
// Where the callers' list and the owning descriptions differ, these follow the owning ones: the drawing
// size is Graphics::GetScreenSize, StartFrame/EndFrame return bool, EnsureWindowed returns bool,
// Set3DMode returns true rather than the previous state, and the anti-aliasing value read by display_aa
// is the multisample mask, not a count.
#pragma once

#include "io/window_state.h"

#include <cstdint>

struct TDeviceTexture;

// Options word of GR_D3D_Init (the low bits of the game's window flags).
enum : uint32_t {
    GR_OPTION_FULLSCREEN = 1u << 0,
    GR_OPTION_VSYNC = 1u << 1,
    GR_OPTION_SOFTWARE_VERTICES = 1u << 2,
    GR_OPTION_INTERPOLATE = 1u << 3,
    GR_OPTION_KEEP_ASPECT = 1u << 4,
};

// The device globals other subsystems read or write. The window sizes live in the window record of the
// main window (io/window_state.h); the pending size and the keep-position flag are the device's.
struct GraphicsDeviceGlobals {
    // Bits 1..4 (values 2, 4, 8, 16) set for each multisample count the adapter accepts; 30 when all
    // are. 0 before the device exists. Read by display_aa.
    int32_t multisampleMask = 0;
    int32_t requestedMultisample = 0; // 0 none, or 2, 4, 8, 16; applied at the next reset
    int32_t requestedSwapEffect = 3;  // 3 copy without multisampling, 1 discard with it
    bool vsync = false;
    bool interpolate = false;
    bool keepAspect = false;
    bool windowPendingShow = true;
    // Set by window_set_size through the window module; consumed by the next reset. (-1, -1) = none.
    int32_t pendingWidth = -1;
    int32_t pendingHeight = -1;
    bool keepWindowPosition = false;
    int32_t frameDepth = 0;
    int64_t lastPresentMicros = 0;
};
extern GraphicsDeviceGlobals GR_DeviceGlobals;

// Per-frame counters, shown by the profiler and the debug window; zeroed by Profiler_BeginFrame.
extern int32_t Graphics_TextureSwapCount;
extern int32_t Graphics_VertexBatchCount;

// The multisample mask under the name display_aa reads.
inline int32_t Display_AntialiasLevels() {
    return GR_DeviceGlobals.multisampleMask;
}

// Device, frame and reset.
bool GR_D3D_Init(WindowHandle window, int width, int height, uint32_t options);
void GR_D3D_Quit();
bool GR_D3D_ResetDevice();
bool GR_D3D_ShadersSupported();

namespace Graphics {
bool StartFrame();
bool EndFrame(bool present);
bool Reset();
void Flush();
// Room for count vertices of the given stride in the batch; null without a device.
void* AllocVerts(int kind, int texture, int stride, int count);
void SetScreenSize(int width, int height);
void GetScreenSize(int& width, int& height);
void SetViewPort(int x, int y, int w, int h);
void SetViewArea(float x, float y, float w, float h, float angle);
// Matrix set: 0 view, 1 projection, 2 world, 3 world x view, 4 world x view x projection.
void GetMatrix(int which, float out[16]);
void SetMatrix(int which, const float matrix[16]);
} // namespace Graphics

void Matrix_BuildOrtho(float out[16], float w, float h, float zn, float zf);

bool GR_D3D_SetRenderState(int id, int value);
bool GR_D3D_Set3DMode(bool on);
void GR_D3D_SetDepth(float z);
float GR_D3D_GetDepth();
void GR_D3D_ClearDepth();
void GR_D3D_SetTexture(int stage, TDeviceTexture* texture);
bool GR_D3D_PushRenderTargets();
bool GR_D3D_PopRenderTargets();
bool GR_D3D_SetRenderTarget(int slot, TDeviceTexture* texture);

// Desktop display and window modes.
bool Display_EnsureWindowed();
void Display_Free();
void Display_GetAspectOffset(int& x, int& y);
void Display_WindowToPort(int x, int y, int& portX, int& portY);
int Display_GetWidth();
int Display_GetHeight();
int Display_GetColorDepth();
int Display_GetFrequency();
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

// Embedded images and screen grabs.
void EmbeddedImage_SetTable(const uint8_t* table, uint32_t size);
// A texture id made from embedded image index, -1 for no texture.
int EmbeddedImage_CreateTexture(int index);
void Screen_SaveToFile(const char* name);
