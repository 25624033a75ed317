#include "graphics/device.h"

#include "core/convert.h"
#include "io/window_state.h"

#include <cmath>
#include <cstring>

GraphicsDeviceGlobals GR_DeviceGlobals;
int32_t Graphics_TextureSwapCount = 0;
int32_t Graphics_VertexBatchCount = 0;

namespace {

struct MatrixSet {
    float m[5][16];
};

MatrixSet MakeIdentitySet() {
    MatrixSet set{};
    for (auto& matrix : set.m) {
        for (int i = 0; i < 4; ++i)
            matrix[i * 5] = 1.0f;
    }
    return set;
}

MatrixSet g_matrices = MakeIdentitySet();
int g_screenWidth = 0;
int g_screenHeight = 0;
bool g_3dMode = false;
float g_2dDepth = 0.0f;
const uint8_t* g_embeddedTable = nullptr;
uint32_t g_embeddedTableSize = 0;

} // namespace

// The device layer is not built: GR_D3D_Init cannot create a device and reports failure, which ends the
// start-up as a failed device creation does.
bool GR_D3D_Init(WindowHandle /*window*/, int /*width*/, int /*height*/, uint32_t /*options*/) {
    return false;
}
void GR_D3D_Quit() {}
bool GR_D3D_ResetDevice() {
    return false;
}
bool GR_D3D_ShadersSupported() {
    return false;
}

namespace Graphics {

bool StartFrame() {
    return false;
}
bool EndFrame(bool /*present*/) {
    return false;
}
bool Reset() {
    return false;
}
void Flush() {}
void* AllocVerts(int /*kind*/, int /*texture*/, int /*stride*/, int /*count*/) {
    return nullptr;
}

// The screen size is clamped to the desktop, which reads 0 x 0 while there is no display.
void SetScreenSize(int width, int height) {
    if (width > Display_GetWidth()) width = Display_GetWidth();
    if (height > Display_GetHeight()) height = Display_GetHeight();
    if (width == g_screenWidth && height == g_screenHeight) return;
    g_screenWidth = width;
    g_screenHeight = height;
    // With a device the port and the view area follow here.
}

void GetScreenSize(int& width, int& height) {
    width = g_screenWidth;
    height = g_screenHeight;
}

void SetViewPort(int /*x*/, int /*y*/, int /*w*/, int /*h*/) {}
void SetViewArea(float /*x*/, float /*y*/, float /*w*/, float /*h*/, float /*angle*/) {}

void GetMatrix(int which, float out[16]) {
    if (which < 0 || which > 4) return;
    std::memcpy(out, g_matrices.m[which], sizeof g_matrices.m[which]);
}

// Without a device the matrix set keeps its values.
void SetMatrix(int /*which*/, const float /*matrix*/[16]) {}

} // namespace Graphics

void Matrix_BuildOrtho(float out[16], float w, float h, float zn, float zf) {
    std::memset(out, 0, 16 * sizeof(float));
    out[0] = static_cast<float>(2.0 / w);
    out[5] = static_cast<float>(2.0 / h);
    out[10] = static_cast<float>(1.0 / (static_cast<double>(zf) - zn));
    out[14] = static_cast<float>(zn / (static_cast<double>(zn) - zf));
    out[15] = 1.0f;
}

bool GR_D3D_SetRenderState(int /*id*/, int /*value*/) {
    return false;
}
bool GR_D3D_Set3DMode(bool /*on*/) {
    return false;
}

void GR_D3D_SetDepth(float z) {
    if (!g_3dMode) {
        g_2dDepth = 0.0f;
        return;
    }
    g_2dDepth = z < -16000.0f ? -16000.0f : (z > 16000.0f ? 16000.0f : z);
}

float GR_D3D_GetDepth() {
    return g_2dDepth;
}
void GR_D3D_ClearDepth() {}
void GR_D3D_SetTexture(int /*stage*/, TDeviceTexture* /*texture*/) {}
bool GR_D3D_PushRenderTargets() {
    return false;
}
bool GR_D3D_PopRenderTargets() {
    return false;
}
bool GR_D3D_SetRenderTarget(int /*slot*/, TDeviceTexture* /*texture*/) {
    return false;
}

// Without a window there is nothing pending to show and no full-screen mode to leave.
bool Display_EnsureWindowed() {
    return false;
}
void Display_Free() {}

// Every quotient and product is taken in single precision, as the device keeps these sizes.
void Display_GetAspectOffset(int& x, int& y) {
    x = 0;
    y = 0;
    if (!GR_DeviceGlobals.keepAspect) return;
    const float gameWidth = static_cast<float>(Window_DeviceState.gameSize.width);
    const float gameHeight = static_cast<float>(Window_DeviceState.gameSize.height);
    const float backWidth = static_cast<float>(Window_DeviceState.backBufferSize.width);
    const float backHeight = static_cast<float>(Window_DeviceState.backBufferSize.height);
    const float aspect = gameWidth / gameHeight;
    if (backHeight > backWidth / aspect) {
        const float imageHeight = backWidth * (gameHeight / gameWidth);
        y = X86_DoubleToInt32((backHeight - imageHeight) * 0.5f);
    } else {
        const float imageWidth = backHeight * aspect;
        x = X86_DoubleToInt32((backWidth - imageWidth) * 0.5f);
    }
}

void Display_WindowToPort(int x, int y, int& portX, int& portY) {
    int ox = 0;
    int oy = 0;
    Display_GetAspectOffset(ox, oy);
    const WindowSize client = Window_DeviceState.clientSize;
    // A minimised or zero-size client leaves no image to map into: that coordinate is 0.
    const int64_t imageWidth = static_cast<int64_t>(client.width) - 2 * static_cast<int64_t>(ox);
    const int64_t imageHeight = static_cast<int64_t>(client.height) - 2 * static_cast<int64_t>(oy);
    portX = 0;
    portY = 0;
    if (imageWidth > 0) {
        const float scaleX = static_cast<float>(Window_PortSize.width) / static_cast<float>(imageWidth);
        portX = X86_DoubleToInt32(scaleX * static_cast<float>(static_cast<int64_t>(x) - ox));
    }
    if (imageHeight > 0) {
        const float scaleY = static_cast<float>(Window_PortSize.height) / static_cast<float>(imageHeight);
        portY = X86_DoubleToInt32(static_cast<float>(static_cast<int64_t>(y) - oy) * scaleY);
    }
}

// No display layer: the desktop reads as absent (0 x 0, the depth and frequency queries fail) and no
// mode change is accepted.
int Display_GetWidth() {
    return 0;
}
int Display_GetHeight() {
    return 0;
}
int Display_GetColorDepth() {
    return -1;
}
int Display_GetFrequency() {
    return -1;
}
int Display_GetMouseX() {
    return 0;
}
int Display_GetMouseY() {
    return 0;
}
void Display_SetMouse(int /*x*/, int /*y*/) {}
bool Display_SetSize(int /*width*/, int /*height*/) {
    return false;
}
bool Display_SetColorDepth(int /*bits*/) {
    return false;
}
bool Display_SetFrequency(int /*hertz*/) {
    return false;
}
bool Display_SetAll(int /*width*/, int /*height*/, int /*frequency*/, int /*bits*/) {
    return false;
}
bool Display_TestAll(int /*width*/, int /*height*/, int /*frequency*/, int /*bits*/) {
    return false;
}

void Display_SetAntialias(int samples) {
    const bool valid = samples == 2 || samples == 4 || samples == 8 || samples == 16;
    GR_DeviceGlobals.requestedMultisample = valid ? samples : 0;
    GR_DeviceGlobals.requestedSwapEffect = valid ? 1 : 3;
}

void Display_SetVSync(bool on) {
    GR_DeviceGlobals.vsync = on;
}

void EmbeddedImage_SetTable(const uint8_t* table, uint32_t size) {
    g_embeddedTable = table;
    g_embeddedTableSize = size;
}

// A texture needs the device, so no embedded image becomes one yet.
int EmbeddedImage_CreateTexture(int /*index*/) {
    return -1;
}

// Saving reads the screen texture back, which needs the device: nothing is written.
void Screen_SaveToFile(const char* /*name*/) {}
