#include "graphics/frame/frame.h"

#include "core/console.h"
#include "core/convert.h"
#include "core/process_exit.h"
#include "data/general_info.h"
#include "device/device.h"
#include "graphics/frame/profiler.h"
#include "graphics/frame/surface.h"
#include "graphics/image/embedded_images.h"
#include "io/message_pump.h"
#include "io/window.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

CD3D* g_d3d = nullptr;
D3DPRESENT_PARAMETERS g_present{};
TDeviceTexture* g_screenTexture = nullptr;
std::vector<DisplayModeEntry> g_modes;
int g_screenWidth = 0;
int g_screenHeight = 0;
int g_drawnLeft = 0;
int g_drawnRight = 0;
int g_blitCount = 0;
const uint8_t* g_embeddedTable = nullptr;
uint32_t g_embeddedTableSize = 0;

struct ViewArea {
    float x, y, w, h, angle;
};
ViewArea g_viewArea{0, 0, 0, 0, 0};
struct PortRect {
    int x, y, w, h;
};
PortRect g_port{0, 0, 0, 0};
// Multiplies the projection's height. Nothing sets another value, so it stays 1.
constexpr int kYDirection = 1;

// A size no larger than the desktop's (left alone while the desktop cannot be asked).
void ClampToDesktop(int& width, int& height) {
    PlatformDisplayMode desktop;
    if (!D3D_GetDesktopMode(desktop)) return;
    width = std::min(width, desktop.width);
    height = std::min(height, desktop.height);
}

// The modes of 16 or 32 bits per pixel that the desktop's display lists, in its order.
void BuildModeList() {
    g_modes.clear();
    std::vector<PlatformDisplayMode> listed;
    D3D_GetDisplayModes(listed);
    for (const PlatformDisplayMode& mode : listed) {
        if (mode.bitsPerPixel != 16 && mode.bitsPerPixel != 32) continue;
        if (mode.width > INT16_MAX || mode.height > INT16_MAX || g_modes.size() >= UINT16_MAX) continue;
        g_modes.push_back(DisplayModeEntry{static_cast<int16_t>(mode.width), static_cast<int16_t>(mode.height),
                                           static_cast<uint8_t>(mode.bitsPerPixel),
                                           static_cast<uint8_t>(std::clamp(mode.refreshRate, 0, 255)),
                                           static_cast<uint16_t>(g_modes.size()), 0});
    }
}

// Workarounds for a vendor's drivers, chosen by the adapter's driver name.
void AdapterCheck() {
    if (Frame_State().CommandLine_Graphics.plainGraphics) return;
    D3DADAPTER_IDENTIFIER9 id{};
    g_d3d->GetAdapterIdentifier(0, 0, &id);
    std::string driver(id.Driver);
    for (char& c : driver)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (driver.find("intel") != std::string::npos) {
        Frame_State().CommandLine_Graphics.manualClear = true;
        Frame_State().CommandLine_Graphics.manualBuffers = true;
        DebugConsole->Output("Switching to manual clears\n");
    }
}

void CreateScreenTexture(int width, int height) {
    GR_D3D_FreeTexture(g_screenTexture);
    g_screenTexture = GR_D3D_CreateTexture(width, height, 1, TEXCREATE_RENDERTARGET, 6);
}

// Also on standard error: the run ends here.
[[noreturn]] void ExitWithBox(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    GR_D3D_ErrorBox(text);
    Process_Exit(-1);
}

// Shows the window while it waits to be shown; true when it did.
bool ShowPendingWindow() {
    if (!Frame_State().GR_DeviceGlobals.windowPendingShow) return false;
    for (int i = 0; i < 10; ++i) {
        Platform_ShowWindow();
        ProcessMessages();
    }
    Frame_State().GR_DeviceGlobals.windowPendingShow = false;
    return true;
}

// The last drawing of a frame: the screen texture scaled (or letterboxed) into the back buffer.
void DrawScreenTexture() {
    Graphics::Flush();
    const uint8_t savedFilter = RenderState_State().GR_Settings.interpolate[0];
    const WindowSize savedGame = Window_State().Window_DeviceState.gameSize;
    const int backWidth = Window_State().Window_DeviceState.backBufferSize.width;
    const int backHeight = Window_State().Window_DeviceState.backBufferSize.height;
    Window_State().Window_DeviceState.gameSize = Window_State().Window_DeviceState.backBufferSize;
    Overlay_BeginDraw();
    RenderState_State().g_RenderState.SetRenderState(RS_ALPHABLENDENABLE, 0);
    Graphics::SetInterpolationExt(0, Frame_State().GR_DeviceGlobals.interpolate);
    Graphics::Clear(0xFF000000u | Window_GetColour(), 1.0f, 0, 7);

    float view[16];
    Matrix_BuildIdentity(view);
    view[12] = static_cast<float>(-backWidth * 0.5);
    view[13] = static_cast<float>(-backHeight * 0.5);
    view[14] = 16000.0f;
    Graphics::SetMatrix(0, view);
    float projection[16];
    Matrix_BuildOrtho(projection, static_cast<float>(backWidth), static_cast<float>(-backHeight), 1.0f, 32000.0f);
    // Half a pixel of the back buffer, which is drawn into here: half a pixel of the game's size would
    // move the image by half the scale it is drawn at (2.5 pixels for a game of 320 x 240 on a screen of
    // 1600 x 1200).
    projection[12] = static_cast<float>(projection[12] - 1.0 / backWidth);
    projection[13] = static_cast<float>(projection[13] + 1.0 / backHeight);
    D3DMATRIX device;
    std::memcpy(device.m, projection, sizeof device.m);
    Frame_State().GR_D3DDevice->SetTransform(D3DTS_PROJECTION, device);
    RenderState_State().g_RenderState.SetRenderState(RS_ALPHABLENDENABLE, 0);
    Graphics::Flush();

    float left = 0, top = 0, right = static_cast<float>(backWidth), bottom = static_cast<float>(backHeight);
    if (Window_State().Window_DeviceState.keepAspect) {
        const float gw = static_cast<float>(savedGame.width);
        const float gh = static_cast<float>(savedGame.height);
        const float bw = static_cast<float>(backWidth);
        const float bh = static_cast<float>(backHeight);
        const float aspect = gw / gh;
        const float fullHeight = bw / aspect;
        if (bh > fullHeight) {
            const float h = bw * (gh / gw);
            top = (bh - h) * 0.5f;
            bottom = top + h;
        } else if (fullHeight > bh) {
            const float w = bh * aspect;
            left = (bw - w) * 0.5f;
            right = left + w;
        }
    }
    GR_DrawQuadImmediate(g_screenTexture, left, top, right, bottom, 0.0f, 0.0f, 1.0f, 1.0f, 0xFFFFFFFFu);
    g_drawnLeft = X86_DoubleToInt32(left);
    g_drawnRight = X86_DoubleToInt32(right);
    ++g_blitCount;
    Graphics::Flush();
    Graphics::SetInterpolationExt(0, savedFilter != 0);
    Overlay_EndDraw();
    RenderState_State().g_RenderState.SetRenderState(RS_ALPHABLENDENABLE, 1);
    Window_State().Window_DeviceState.gameSize = savedGame;
    RenderState_State().g_RenderState.Apply();
}

} // namespace

// A negative origin is raised to 0 and an empty size to 1; the layer refuses a viewport that leaves the
// target, and the previous one stays.
bool GR_D3D_SetViewport(int x, int y, int w, int h) {
    if (!Frame_State().GR_D3DDevice) return false;
    const D3DVIEWPORT9 viewport{static_cast<uint32_t>(x < 0 ? 0 : x), static_cast<uint32_t>(y < 0 ? 0 : y),
                                static_cast<uint32_t>(w < 1 ? 1 : w), static_cast<uint32_t>(h < 1 ? 1 : h), 0.0f,
                                1.0f};
    return Frame_State().GR_D3DDevice->SetViewport(viewport) == D3D_OK;
}

bool GR_D3D_DisplayModeKnown() {
    D3DDISPLAYMODE mode{};
    return g_d3d && g_d3d->GetAdapterDisplayMode(0, &mode) == D3D_OK;
}

void GR_D3D_ErrorBox(const char* text) {
    Platform_MessageBox(text, Window_GetCaption(), MB_ICONINFORMATION);
}

TDeviceTexture* GR_D3D_ScreenTexture() {
    return g_screenTexture;
}

int Display_PickMode(const DisplayModeEntry* modes, int count, int w, int h) {
    int choice = -1;
    int64_t bestHeight = 999999999;
    int64_t bestWidth = 999999999;
    for (int i = 0; i < count; ++i) {
        const int64_t dh = int64_t{modes[i].height} - h;
        const int64_t dw = int64_t{modes[i].width} - w;
        if (dh >= 0 && dh < bestHeight && dw >= 0 && dw < bestWidth) {
            choice = i;
            bestHeight = dh;
            bestWidth = dw;
        }
    }
    if (choice >= 0) return choice;
    double bestScore = 0.0;
    for (int i = 0; i < count; ++i) {
        const double score =
            std::fabs(1.0 - (static_cast<double>(modes[i].width) * modes[i].height) / (static_cast<double>(w) * h));
        if (choice < 0 || score < bestScore) {
            choice = i;
            bestScore = score;
        } else if (score == bestScore) {
            const DisplayModeEntry& chosen = modes[choice];
            if (modes[i].bitsPerPixel == 32 && chosen.bitsPerPixel != 32) {
                choice = i;
            } else if (modes[i].bitsPerPixel == 32 && chosen.bitsPerPixel == 32 &&
                       std::abs(modes[i].frequency - 60) < std::abs(chosen.frequency - 60)) {
                choice = i;
            }
        }
    }
    return choice;
}

bool GR_D3D_CreateDevice(WindowHandle window, int width, int height, uint32_t options) {
    // There is no desktop compositor library to load: the plain interface is used.
    Frame_State().GR_DeviceGlobals.vsync = options & GR_OPTION_VSYNC;
    Frame_State().GR_DeviceGlobals.interpolate = options & GR_OPTION_INTERPOLATE;
    for (uint8_t& flag : RenderState_State().GR_Settings.interpolate)
        flag = Frame_State().GR_DeviceGlobals.interpolate ? 1 : 0;
    const bool software =
        (options & GR_OPTION_SOFTWARE_VERTICES) || Frame_State().CommandLine_Graphics.softwareDevice;
    uint32_t behaviour = D3DCREATE_FPU_PRESERVE |
                         (software ? D3DCREATE_SOFTWARE_VERTEXPROCESSING : D3DCREATE_HARDWARE_VERTEXPROCESSING);
    Window_State().Window_DeviceState.keepAspect = options & GR_OPTION_KEEP_ASPECT;

    DebugConsole->Output("Create D3D9 interface\n");
    if (g_d3d) g_d3d->Release();
    g_d3d = Direct3DCreate9(32);
    Frame_State().GR_DeviceGlobals.poolFlag = 1;

    DebugConsole->Output("Enumerate Adapters\n");
    BuildModeList();
    AdapterCheck();

    const bool fullScreen = options & GR_OPTION_FULLSCREEN;
    int backWidth = width;
    int backHeight = height;
    Display_PickMode(g_modes.data(), static_cast<int>(g_modes.size()), width, height);
    if (fullScreen) Display_GetFullScreenSize(backWidth, backHeight);
    DebugConsole->Output("Selected Resolution: %dx%d\n", backWidth, backHeight);
    DebugConsole->Output("Get Current Desktop Display Mode\n");
    D3DDISPLAYMODE mode{};
    if (g_d3d->GetAdapterDisplayMode(0, &mode) != D3D_OK) {
        GR_D3D_ErrorBox("Failed to retrieve display mode.");
        return false;
    }

    DebugConsole->Output("Prepare to create device\n");
    g_present = D3DPRESENT_PARAMETERS{};
    g_present.BackBufferWidth = static_cast<uint32_t>(backWidth);
    g_present.BackBufferHeight = static_cast<uint32_t>(backHeight);
    g_present.BackBufferFormat = D3DFMT_A8R8G8B8;
    g_present.BackBufferCount = 1;
    g_present.SwapEffect = D3DSWAPEFFECT_COPY;
    g_present.hDeviceWindow = window;
    g_present.Windowed = fullScreen ? 0 : 1;
    g_present.EnableAutoDepthStencil = 1;
    g_present.AutoDepthStencilFormat = D3DFMT_D24S8;
    g_present.PresentationInterval =
        Frame_State().GR_DeviceGlobals.vsync ? D3DPRESENT_INTERVAL_DEFAULT : D3DPRESENT_INTERVAL_IMMEDIATE;
    Frame_State().GR_DeviceGlobals.requestedMultisample = 0;
    Frame_State().GR_DeviceGlobals.requestedSwapEffect = D3DSWAPEFFECT_COPY;
    Window_State().SharedDisplayState.fullScreen = fullScreen ? 1 : 0;

    DebugConsole->Output("Creating D3D device - ARGB=32bit, D24S8, SwapEffect=Copy, %s\n",
                         (behaviour & 0x20) ? "Software vertex processing" : "Hardware vertex processing");
    if (g_d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, behaviour, &g_present, &Frame_State().GR_D3DDevice) !=
        D3D_OK) {
        g_present.AutoDepthStencilFormat = D3DFMT_D16;
        g_present.SwapEffect = D3DSWAPEFFECT_DISCARD;
        DebugConsole->Output(
            "Creating D3D device - ARGB=32bit, D16, SwapEffect=Discard, Software Vertex Processing\n");
        behaviour = 0x22;
        if (g_d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, behaviour, &g_present,
                                &Frame_State().GR_D3DDevice) != D3D_OK)
            ExitWithBox("Failed to create Direct3D Screen. Check that your computer meets the minimum "
                        "requirements and that your drivers are up-to-date. If your graphics card has little "
                        "memory, try switching your computer to a lower resolution.");
    }

    DebugConsole->Output("Creating screen render target\n");
    // The game size comes from the window module; a device made before any window took the size asked.
    if (Window_State().Window_DeviceState.gameSize.width <= 0 ||
        Window_State().Window_DeviceState.gameSize.height <= 0)
        Window_State().Window_DeviceState.gameSize = WindowSize{width, height};
    Window_PortSize = Window_State().Window_DeviceState.gameSize;
    Window_State().Window_DeviceState.backBufferSize = WindowSize{backWidth, backHeight};
    CreateScreenTexture(Window_State().Window_DeviceState.gameSize.width,
                        Window_State().Window_DeviceState.gameSize.height);
    if (!g_screenTexture) {
        char text[1024];
        std::snprintf(text, sizeof text, "Unable to create a screen that is %d x %d - please ensure settings are correct",
                      backWidth, backHeight);
        ExitWithBox(text);
    }

    DebugConsole->Output("Get Device Caps\n");
    const D3DCAPS9& caps = Frame_State().GR_D3DDevice->GetDeviceCaps();
    Frame_State().GR_DeviceGlobals.multisampleMask = 0;
    for (int bit = 1; bit <= 4; ++bit) {
        if (g_d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, mode.Format, true, 1u << bit) == D3D_OK)
            Frame_State().GR_DeviceGlobals.multisampleMask |= 1 << bit;
    }
    Frame_State().GR_RenderTargetCount =
        static_cast<int>(caps.NumSimultaneousRTs < 4 ? caps.NumSimultaneousRTs : 4);
    if (Frame_State().GR_RenderTargetCount < 1) Frame_State().GR_RenderTargetCount = 1;
    Window_State().Window_DeviceState.pendingWidth = Window_State().Window_DeviceState.pendingHeight = -1;
    DebugConsole->Output("Graphics initialisation end...\n");
    return true;
}

void GR_D3D_ScreenSizeLimit(int* width, int* height) {
    CD3D* d3d = Direct3DCreate9(32);
    D3DCAPS9 caps{};
    *width = *height = 0;
    if (d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps) == D3D_OK) {
        *width = static_cast<int>(std::min<uint32_t>(caps.MaxTextureWidth, INT32_MAX));
        *height = static_cast<int>(std::min<uint32_t>(caps.MaxTextureHeight, INT32_MAX));
    }
    d3d->Release();
}

bool GR_D3D_Init(WindowHandle window, int width, int height, uint32_t options) {
    g_screenWidth = width;
    g_screenHeight = height;
    ClampToDesktop(g_screenWidth, g_screenHeight);
    // A desktop that cannot be asked fails at the device's creation, with its own message.
    const int depth = Display_GetColorDepth();
    if (depth != -1 && depth != 16 && depth != 32) {
        const char* text = "This program requires 16-bit (High Color) or 32-bit (Full Color) mode. Please change "
                           "this in your display properties and run again.";
        std::fprintf(stderr, "%s\n", text);
        ShowMessage(text);
        return false;
    }
    const bool created = GR_D3D_CreateDevice(window, width, height, options);
    float identity[16];
    Matrix_BuildIdentity(identity);
    Graphics::SetMatrix(2, identity);
    Texture_ClearTable();
    GR_D3D_ApplySettings();
    Graphics::Clear(0, 1.0f, 0, 7);
    Graphics::SetViewPort(0, 0, g_screenWidth, g_screenHeight);
    Graphics::SetViewArea(0, 0, static_cast<float>(g_screenWidth), static_cast<float>(g_screenHeight), 0);
    GR_D3D_InitDrawing();
    return created;
}

void GR_D3D_ReleaseDevice() {
    delete Frame_State().GR_D3DDevice;
    Frame_State().GR_D3DDevice = nullptr;
    GR_D3D_ForgetBoundTexture();
    if (g_d3d) g_d3d->Release();
    g_d3d = nullptr;
    Frame_State().GR_RenderTargetCount = 1;
}

bool GR_D3D_ShadersSupported() {
    if (!Frame_State().GR_D3DDevice) return false;
    const D3DCAPS9& caps = Frame_State().GR_D3DDevice->GetDeviceCaps();
    return (caps.VertexShaderVersion & 0xFFFFu) >= 0x200 && (caps.PixelShaderVersion & 0xFFFFu) >= 0x200;
}

bool GR_D3D_ResetDevice() {
    DebugConsole->Output("Free all surfaces\n");
    Surface_FreeAll();
    DebugConsole->Output("Graphics::Reset()\n");
    if (!Graphics::Reset()) return false;
    DebugConsole->Output("Graphics::Clear()\n");
    Graphics::Clear(0, 1.0f, 0, 7);
    DebugConsole->Output("D3D Settings Init\n");
    GR_D3D_ApplySettings();
    return true;
}

namespace Graphics {

bool StartFrame() {
    if (!Frame_State().GR_D3DDevice) return false;
    if (Frame_State().GR_DeviceGlobals.frameDepth != 0) return true;
    if (Frame_State().GR_D3DDevice->TestCooperativeLevel() == D3DERR_DEVICENOTRESET) GR_D3D_ResetDevice();
    Frame_State().GR_D3DDevice->BeginScene();
    GR_D3D_PopAllRenderTargets();
    GR_D3D_PushRenderTargets();
    // Without a screen texture (after a failed reset) the frame is drawn into the back buffer.
    GR_D3D_SetRenderTarget(0, g_screenTexture);
    int32_t w = 0;
    int32_t h = 0;
    if (Platform_GetClientSize(w, h)) Window_State().Window_DeviceState.clientSize = WindowSize{w, h};
    Profiler_BeginFrame();
    Frame_State().GR_DeviceGlobals.frameDepth = 1;
    return true;
}

// Levels left above the frame's own are popped one by one, each binding its targets again and dropping
// its references, so the back buffer is bound again for the final drawing.
bool EndFrame(bool present) {
    if (!Frame_State().GR_D3DDevice) return false;
    if (Frame_State().GR_DeviceGlobals.frameDepth != 1) return true;
    Flush();
    Profiler_EndFrame();
    Frame_State().GR_DeviceGlobals.frameDepth = 0;
    Flush();
    if (GR_D3D_RenderTargetDepth() > 1) {
        while (GR_D3D_RenderTargetDepth() > 1)
            GR_D3D_PopRenderTargets();
    }
    // Surface drawing ends with the frame: no slot and no surface flag stay set.
    Surface_ForgetTargets();
    GR_D3D_PopRenderTargets();
    if (g_screenTexture) DrawScreenTexture();
    Flush();
    ResetBatchBuffers();
    Frame_State().GR_D3DDevice->EndScene();
    GR_D3D_PopAllRenderTargets();
    if (present) {
        ShowPendingWindow();
        const int64_t before = Platform_GetMicroseconds();
        Frame_State().GR_D3DDevice->Present();
        Frame_State().GR_DeviceGlobals.lastPresentMicros = Platform_GetMicroseconds() - before;
    }
    return true;
}

bool Reset() {
    DebugConsole->Output("--Reset Begin\n");
    DebugConsole->Output("Restore Target\n");
    GR_D3D_PopAllRenderTargets();
    if (!Frame_State().GR_D3DDevice) return false;
    DebugConsole->Output("Check Display Mode\n");
    D3DDISPLAYMODE mode{};
    if (g_d3d->GetAdapterDisplayMode(0, &mode) != D3D_OK) return false;
    if (Frame_State().GR_DeviceGlobals.requestedMultisample != 0 &&
        g_d3d->CheckDeviceMultiSampleType(
            0, D3DDEVTYPE_HAL, mode.Format, true,
            static_cast<uint32_t>(Frame_State().GR_DeviceGlobals.requestedMultisample)) != D3D_OK) {
        Frame_State().GR_DeviceGlobals.requestedMultisample = 0;
        Frame_State().GR_DeviceGlobals.requestedSwapEffect = D3DSWAPEFFECT_COPY;
    }
    g_present.PresentationInterval =
        Frame_State().GR_DeviceGlobals.vsync ? D3DPRESENT_INTERVAL_DEFAULT : D3DPRESENT_INTERVAL_IMMEDIATE;

    DebugConsole->Output("Free Screen Texture\n");
    // Without a screen texture (a reset failed before) it is made again at the game size.
    int screenWidth = Window_State().Window_DeviceState.gameSize.width;
    int screenHeight = Window_State().Window_DeviceState.gameSize.height;
    if (g_screenTexture) {
        screenWidth = g_screenTexture->Width();
        screenHeight = g_screenTexture->Height();
    }
    GR_D3D_FreeTexture(g_screenTexture);
    g_screenTexture = nullptr;

    DebugConsole->Output("Toggle Fullscreen/windowed mode settings\n");
    const bool pending = Window_State().Window_DeviceState.pendingWidth != -1 ||
                         Window_State().Window_DeviceState.pendingHeight != -1;
    int backWidth = pending ? Window_State().Window_DeviceState.pendingWidth : screenWidth;
    int backHeight = pending ? Window_State().Window_DeviceState.pendingHeight : screenHeight;
    const bool fullScreen = Window_State().Window_FullScreen != 0;
    uint32_t style = 0;
    if (!fullScreen) {
        g_present.Windowed = 1;
        style = (GeneralInfo_State().GameOptions & 64u) ? 0x10CF0000u : 0x10CA0000u;
        Window_State().SharedDisplayState.fullScreen = 0;
    } else {
        Window_State().SharedDisplayState.fullScreen = 1;
        g_present.Windowed = 0;
        style = 0x90000000u;
        Display_GetFullScreenSize(backWidth, backHeight);
        Window_State().Window_DeviceState.backBufferSize = WindowSize{backWidth, backHeight};
    }
    // Without a window, or where the system refuses, the back buffer still takes the desktop size. The
    // window leaves full screen before it takes its style (and enters it before): a full-screen window
    // keeps its frame and its resizing as they were, to have them again when it leaves.
    if (!Platform_SetFullscreen(fullScreen) && fullScreen)
        DebugConsole->Output("The window could not switch to full screen\n");
    Platform_SetWindowStyle(style);
    Window_State().Window_DeviceState.style = style;

    g_present.MultiSampleType = static_cast<uint32_t>(Frame_State().GR_DeviceGlobals.requestedMultisample);
    g_present.SwapEffect = static_cast<uint32_t>(Frame_State().GR_DeviceGlobals.requestedSwapEffect);
    if (backWidth > 0 && backHeight > 0) {
        g_present.BackBufferWidth = static_cast<uint32_t>(backWidth);
        g_present.BackBufferHeight = static_cast<uint32_t>(backHeight);
    }
    DebugConsole->Output("Execute Reset()\n");
    D3DRESULT r = Frame_State().GR_D3DDevice->Reset(g_present);
    if (r != D3D_OK) {
        DebugConsole->Output("Reset() Failed: %X\n", r);
        Frame_State().GR_DeviceGlobals.requestedSwapEffect = D3DSWAPEFFECT_DISCARD;
        Frame_State().GR_DeviceGlobals.requestedMultisample = 0;
        g_present.SwapEffect = D3DSWAPEFFECT_DISCARD;
        g_present.MultiSampleType = 0;
        DebugConsole->Output("Change SWAP+Multisample type effect, try Reset() again\n");
        if (Frame_State().GR_D3DDevice->Reset(g_present) != D3D_OK) return false;
    }
    // Every cached device value is stale after a reset.
    GR_D3D_InvalidateDeviceCache();
    GR_D3D_ForgetBoundTexture();

    if (pending) {
        Window_PortSize = WindowSize{Window_State().Window_DeviceState.pendingWidth,
                                     Window_State().Window_DeviceState.pendingHeight};
        SetScreenSize(Window_State().Window_DeviceState.pendingWidth,
                      Window_State().Window_DeviceState.pendingHeight);
        screenWidth = Window_State().Window_DeviceState.pendingWidth;
        screenHeight = Window_State().Window_DeviceState.pendingHeight;
    }
    if (!fullScreen) {
        DebugConsole->Output("WindowedMode: Setup window prefs\n");
        if (pending)
            Window_State().Window_DeviceState.gameSize = WindowSize{
                Window_State().Window_DeviceState.pendingWidth, Window_State().Window_DeviceState.pendingHeight};
        Window_State().Window_DeviceState.clientSize = Window_State().Window_DeviceState.gameSize;
        Window_State().Window_DeviceState.backBufferSize = Window_State().Window_DeviceState.gameSize;
        PlatformRect outer{};
        const bool keep = Window_State().Window_DeviceState.keepWindowPosition;
        const bool hadRect = Platform_GetWindowRect(outer);
        Platform_SetClientSize(Window_State().Window_DeviceState.gameSize.width,
                               Window_State().Window_DeviceState.gameSize.height);
        PlatformDisplayMode desktop;
        if (keep && hadRect) {
            Platform_MoveWindow(outer.left, outer.top);
        } else if (D3D_GetDesktopMode(desktop)) {
            Platform_MoveWindow((desktop.width - Window_State().Window_DeviceState.gameSize.width) / 2,
                                (desktop.height - Window_State().Window_DeviceState.gameSize.height) / 2);
        }
        Window_State().Window_DeviceState.keepWindowPosition = false;
    } else if (pending) {
        Window_State().Window_DeviceState.gameSize = WindowSize{Window_State().Window_DeviceState.pendingWidth,
                                                                Window_State().Window_DeviceState.pendingHeight};
    }

    if (screenWidth > 0 && screenHeight > 0) {
        DebugConsole->Output("Recreate screen texture\n");
        CreateScreenTexture(screenWidth, screenHeight);
        if (Frame_State().GR_DeviceGlobals.frameDepth != 0) {
            GR_D3D_PushRenderTargets();
            GR_D3D_SetRenderTarget(0, g_screenTexture);
        }
    }
    Clear(0, 1.0f, 0, 7);
    Window_State().Window_DeviceState.pendingWidth = Window_State().Window_DeviceState.pendingHeight = -1;
    DebugConsole->Output("--Reset End\n");
    GR_D3D_ApplySettings();
    return true;
}

void SetScreenSize(int width, int height) {
    ClampToDesktop(width, height);
    if (width == g_screenWidth && height == g_screenHeight) return;
    g_screenWidth = width;
    g_screenHeight = height;
    if (!Frame_State().GR_D3DDevice) return;
    Flush();
    SetViewPort(0, 0, width, height);
    SetViewArea(0, 0, static_cast<float>(width), static_cast<float>(height), 0);
}

void GetScreenSize(int& width, int& height) {
    width = g_screenWidth;
    height = g_screenHeight;
}

void SetViewPort(int x, int y, int w, int h) {
    if (!Frame_State().GR_D3DDevice) return;
    Flush();
    g_port = PortRect{x, y, w, h};
    GR_D3D_SetViewport(x, y, w, h);
}

void GetViewPort(int& x, int& y, int& w, int& h) {
    x = g_port.x;
    y = g_port.y;
    w = g_port.w;
    h = g_port.h;
}

void GetViewArea(float& x, float& y, float& w, float& h, float& angle) {
    x = g_viewArea.x;
    y = g_viewArea.y;
    w = g_viewArea.w;
    h = g_viewArea.h;
    angle = g_viewArea.angle;
}

void SetViewArea(float x, float y, float w, float h, float angle) {
    g_viewArea = ViewArea{x, y, w, h, angle};
    const float cx = static_cast<float>(x + w * 0.5);
    const float cy = static_cast<float>(y + h * 0.5);
    const float a = static_cast<float>(-angle * 0.01745329238474369);
    const float up[3] = {static_cast<float>(std::sin(a)), static_cast<float>(std::cos(a)), 0.0f};
    const float target[3] = {cx, cy, 0.0f};
    Transform_State().GR_Transform.zNear = 1.0f;
    Transform_State().GR_Transform.zFar = 32000.0f;
    float view[16];
    float projection[16];
    if (Transform_State().GR_Transform.mode3D && RenderState_State().GR_Settings.perspective) {
        const float eye[3] = {cx, cy, -w};
        Matrix_BuildLookAt(view, eye, target, up);
        SetMatrix(0, view);
        Transform_State().GR_Transform.orthographic = false;
        Matrix_BuildPerspective(projection, 1.0f, static_cast<float>(static_cast<double>(h) / w * kYDirection), 1.0f,
                                32000.0f);
    } else {
        const float eye[3] = {cx, cy, -16000.0f};
        Matrix_BuildLookAt(view, eye, target, up);
        SetMatrix(0, view);
        Transform_State().GR_Transform.orthographic = true;
        Matrix_BuildOrtho(projection, w, static_cast<float>(kYDirection * -static_cast<double>(h)), 1.0f, 32000.0f);
    }
    SetMatrix(1, projection);
}

} // namespace Graphics

bool Display_EnsureWindowed() {
    if (!Window_State().Window_FullScreen) return ShowPendingWindow();
    Window_State().Window_FullScreen = 0;
    const bool inFrame = Frame_State().GR_DeviceGlobals.frameDepth != 0;
    if (inFrame) Graphics::EndFrame(false);
    bool result = Graphics::Reset();
    if (inFrame) result = Graphics::StartFrame();
    return result;
}

void Display_Free() {
    GR_D3D_FreeTexture(g_screenTexture);
    g_screenTexture = nullptr;
    Profiler_PrintFPS();
}

void Display_WindowToPort(int x, int y, int& portX, int& portY) {
    int ox = 0;
    int oy = 0;
    Display_GetAspectOffset(ox, oy);
    const WindowSize client = Window_State().Window_DeviceState.clientSize;
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

void Display_SetAntialias(int samples) {
    const bool valid = samples == 2 || samples == 4 || samples == 8 || samples == 16;
    Frame_State().GR_DeviceGlobals.requestedMultisample = valid ? samples : 0;
    Frame_State().GR_DeviceGlobals.requestedSwapEffect = valid ? 1 : 3;
}

void Display_SetVSync(bool on) {
    Frame_State().GR_DeviceGlobals.vsync = on;
}

void EmbeddedImage_SetTable(const uint8_t* table, uint32_t size) {
    g_embeddedTable = table;
    g_embeddedTableSize = size;
}

TDeviceTexture* EmbeddedImage_CreateTexture(int index) {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!EmbeddedImage_Find(g_embeddedTable, g_embeddedTableSize, index, data, size)) return nullptr;
    TTextureInfo info{};
    return GR_D3D_CreateTexturePage(data, size, &info, 0, 0);
}
