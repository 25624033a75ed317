#include "io/window.h"

#include "core/console.h"
#include "core/convert.h"
#include "core/memory.h"
#include "core/text.h"
#include "data/general_info.h"
#include "device/device.h"
#include "io/input.h"
#include "library/os_events.h"
#include "platform/dialogs.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "script/world_interface.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t kStyleResizable = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr uint32_t kStyleFixed = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr double kPi = 3.1415927410125732;

struct MainWindow {
    bool exists = false;
    uint32_t style = 0;
    int32_t outerWidth = 0, outerHeight = 0;
    char* caption = nullptr;
    int32_t cursor = IDC_ARROW; // the cursor shown over the client area
    int32_t cursorValue = 0;    // the last value given by script
    bool appActive = false;
    uint8_t rightShiftScan = 0;
    int32_t roomX[kIOMouseDevices] = {};
    int32_t roomY[kIOMouseDevices] = {};
};
MainWindow g_main;

// The cursor-table entry of a script cursor value (0 .. -22); -1 for other values.
int CursorIndex(int value) {
    static const int8_t kIndex[23] = {0, 1, 0, 2, 3, 1, 4, 5, 6, 7, 8, 9, 10, 11, 11, 11, 11, 11, 11, 12, 13, 10, 14};
    return value <= 0 && value >= -22 ? kIndex[-value] : -1;
}

// The side-specific code of a modifier key message (0 for other keys).
int SideCode(uint64_t key, int64_t lParam, bool down) {
    const bool extended = (lParam & KF_EXTENDED) != 0;
    const uint8_t scan = static_cast<uint8_t>((lParam >> 16) & 0xFF);
    switch (key) {
    case VK_MENU: return extended ? VK_RMENU : VK_LMENU;
    case VK_CONTROL: return extended ? VK_RCONTROL : VK_LCONTROL;
    case VK_SHIFT:
        if (down) {
            if (Platform_GetKeyState(VK_RSHIFT) >= 0) return VK_LSHIFT;
            g_main.rightShiftScan = scan;
            return VK_RSHIFT;
        }
        return scan == g_main.rightShiftScan ? VK_RSHIFT : VK_LSHIFT;
    default: return 0;
    }
}

void SetFocus(bool focus) {
    Window_State().SharedDisplayState.hasFocus = focus ? 1 : 0;
}

} // namespace

// --- creation ---

WindowHandle Window_Create(int width, int height) {
    PlatformDisplayMode screen;
    if (!Platform_GetDesktopMode(screen)) return nullptr;
    Window_State().Window_DeviceState.gameSize = WindowSize{width, height};
    Window_PortSize = WindowSize{width, height};
    // Screen grabs read the game-size screen; the room drawing keeps this up to date.
    Window_State().Window_DrawingArea = IntRect{0, 0, width, height};
    const int32_t clientWidth = std::min(width, screen.width);
    const int32_t clientHeight = std::min(height, screen.height);
    uint32_t style = kStyleFixed;
    if (GeneralInfo_State().GameOptions & 1u)
        style = WS_POPUP;
    else if (GeneralInfo_State().GameOptions & 64u)
        style = kStyleResizable;
    DebugConsole->Output("AdjustWindowRectEx\n");
    DebugConsole->Output("RegisterClassEx\n");
    DebugConsole->Output("CreateWindowEx\n");
    PlatformWindowDesc desc;
    desc.clientWidth = clientWidth;
    desc.clientHeight = clientHeight;
    desc.style = style;
    // The graphics device draws into the window through OpenGL, when there is a GL driver.
    desc.openGL = D3D_PrepareWindow();
    if (!Platform_CreateWindow(desc, &Window_Proc)) return nullptr;
    g_main.exists = true;
    g_main.style = style;
    Window_State().Window_DeviceState.style = style;
    Window_State().Window_DeviceState.clientSize = WindowSize{clientWidth, clientHeight};
    PlatformRect outer;
    if (Platform_GetWindowRect(outer)) {
        g_main.outerWidth = outer.right - outer.left;
        g_main.outerHeight = outer.bottom - outer.top;
    }
    Window_SetCaption(GeneralInfo_State().g_GeneralInfo.caption);
    Window_SetCursor((GeneralInfo_State().GameOptions & 32u) ? 0 : -1);
    return &g_main;
}

void Window_Reset() {
    if (Platform_IsWindow()) Platform_DestroyWindow();
    MEM_FREE(g_main.caption);
    g_main = MainWindow{};
    Dialog_SetCaption(nullptr);
    Window_State().Window_FullScreen = 0;
    Window_State().SharedDisplayState = SharedDisplayBytes{0, 0};
    Window_SetColour(0xFF000000u);
    Window_ClearViewPorts();
}

// --- window procedure ---

int64_t Window_Proc(uint32_t message, uint64_t wParam, int64_t lParam) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        const bool repeat = (lParam & KF_REPEAT) != 0;
        IO_OnKeyDown(static_cast<int>(wParam & 0xFF), repeat);
        if (const int side = SideCode(wParam, lParam, true)) IO_OnKeyDown(side, repeat);
        return 0;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
        IO_OnKeyUp(static_cast<int>(wParam & 0xFF));
        if (const int side = SideCode(wParam, lParam, false)) IO_OnKeyUp(side);
        return 0;
    case WM_CHAR: IO_OnChar(static_cast<uint16_t>(wParam)); return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_KEYMENU && lParam == 13 && GeneralInfo_State().g_Options.windowFlag15)
            Window_SetFullscreen(!Window_GetFullscreen());
        break;
    case WM_MOUSEMOVE:
        IO_OnMouseMove(static_cast<int32_t>(Message_LowWord(lParam)), static_cast<int32_t>(Message_HighWord(lParam)));
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: IO_OnMouseDown(Message_MouseButton(message)); break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: IO_OnMouseUp(Message_MouseButton(message)); break;
    case WM_MOUSEWHEEL: {
        const auto delta = static_cast<int16_t>(Message_HighWord(static_cast<int64_t>(wParam)));
        if (delta > 0) IO_OnWheelUp();
        if (delta < 0) IO_OnWheelDown();
        return delta == 0 ? 1 : 0;
    }
    case WM_SIZING: return 0;
    case WM_DESTROY: Window_PostQuit(); break;
    case WM_ACTIVATE:
        if ((wParam & 0xFFFF) == WA_INACTIVE && lParam == 0) OS_RaisePauseEvent();
        break;
    case WM_SETFOCUS: SetFocus(true); return 0;
    case WM_KILLFOCUS: SetFocus(false); return 0;
    case WM_CLOSE:
        // The window goes at once; the quit message it posts ends the main loop.
        Platform_DestroyWindow();
        return 0;
    case WM_ACTIVATEAPP:
        g_main.appActive = wParam != 0;
        SetFocus(wParam != 0);
        break;
    case WM_SETCURSOR:
        if (Message_LowWord(lParam) == HTCLIENT) {
            Platform_SetCursor(g_main.cursor);
            return 1;
        }
        break;
    default: break;
    }
    return Platform_DefWindowProc(message, wParam, lParam);
}

void Window_PostQuit() { Platform_PostMessage(WM_QUIT); }

// --- caption, cursor, size ---

void Window_SetCaption(const char* text) {
    MEM_FREE(g_main.caption);
    g_main.caption = String_Duplicate(text && *text ? text : "");
    Platform_SetWindowText(g_main.caption);
    Dialog_SetCaption(g_main.caption);
}

const char* Window_GetCaption() { return g_main.caption ? g_main.caption : ""; }

void Window_SetCursor(int value) {
    g_main.cursorValue = value;
    const int index = CursorIndex(value);
    if (index < 0) return;
    g_main.cursor = kCursorTable[index];
    Platform_SetCursor(g_main.cursor);
}

int Window_GetCursor() { return g_main.cursorValue; }

void Window_SetFullscreen(bool fullscreen) {
    Window_State().Window_FullScreen = fullscreen ? 1 : 0;
    Window_State().Graphics_ResetRequest = 1;
}

bool Window_GetFullscreen() {
    return Window_State().Window_FullScreen != 0;
}

void Window_SetSize(int width, int height) {
    Window_State().Window_DeviceState.pendingWidth = width;
    Window_State().Window_DeviceState.pendingHeight = height;
    int32_t currentWidth = Window_State().Window_DeviceState.backBufferSize.width;
    int32_t currentHeight = Window_State().Window_DeviceState.backBufferSize.height;
    if (!Window_State().Window_FullScreen) Platform_GetClientSize(currentWidth, currentHeight);
    if (currentWidth != width || currentHeight != height) {
        Window_State().Graphics_ResetRequest = 1;
        Window_State().Window_DeviceState.keepWindowPosition = true;
    }
}

void Window_SetRectangle(int x, int y, int width, int height) {
    Platform_MoveWindow(x, y);
    Window_SetSize(width, height);
    Window_State().Window_DeviceState.keepWindowPosition = true;
}

void Window_SetPosition(int x, int y) { Platform_MoveWindow(x, y); }

void Window_Center() {
    PlatformRect r;
    if (!Platform_GetWindowRect(r)) return;
    // The display is the device layer's desktop; while it reads as no display there is nowhere to centre
    // on.
    PlatformDisplayMode display;
    if (!D3D_GetDesktopMode(display) || display.width <= 0 || display.height <= 0) return;
    Platform_MoveWindow((display.width - (r.right - r.left)) / 2, (display.height - (r.bottom - r.top)) / 2);
}

void Window_SetMouse(int x, int y) {
    if (!Window_HasFocus()) return;
    int32_t sx = x;
    int32_t sy = y;
    if (!Platform_ClientToScreen(sx, sy)) {
        PlatformRect r;
        if (!Platform_GetWindowRect(r)) return;
        sx = Wrap_Add32(r.left, x);
        sy = Wrap_Add32(r.top, y);
    }
    Platform_SetCursorPos(sx, sy);
}

bool Window_HasFocus() {
    return Window_State().SharedDisplayState.hasFocus != 0;
}
bool Window_IsAppActive() { return g_main.appActive; }

// --- view ports and mapping ---

void Window_SetViewPort(int view, float portX, float portY, float portW, float portH, float viewX, float viewY,
                        float viewW, float viewH, float angle, int surface) {
    if (view < 0 || view >= kWindowViewPorts) return;
    WindowViewPort& p = Window_State().Window_ViewPorts[view];
    if (!p.active) ++Window_State().Window_ViewPortCount;
    p = WindowViewPort{true, viewX, viewY, viewW, viewH, portX, portY, portW, portH, angle, surface};
}

void Window_ClearViewPort(int view) {
    if (view < 0 || view >= kWindowViewPorts || !Window_State().Window_ViewPorts[view].active) return;
    Window_State().Window_ViewPorts[view].active = false;
    --Window_State().Window_ViewPortCount;
}

void Window_ClearViewPorts() {
    for (WindowViewPort& p : Window_State().Window_ViewPorts)
        p.active = false;
    Window_State().Window_ViewPortCount = 0;
}

bool Window_WindowToRoom(int view, int x, int y, int& roomX, int& roomY) {
    if (view < 0 || view >= kWindowViewPorts) return false;
    const WindowViewPort& p = Window_State().Window_ViewPorts[view];
    if (!p.active || p.portW == 0.0f || p.portH == 0.0f) return false;
    int mx = 0;
    int my = 0;
    Display_GetAspectOffset(mx, my);
    const WindowSize client = Window_State().Window_DeviceState.clientSize;
    const double areaW = static_cast<double>(client.width) - 2.0 * mx;
    const double areaH = static_cast<double>(client.height) - 2.0 * my;
    // A minimised window has no client area: there is nothing to map.
    if (areaW <= 0.0 || areaH <= 0.0) return false;
    const double gameW = Window_State().Window_DeviceState.gameSize.width;
    const double gameH = Window_State().Window_DeviceState.gameSize.height;
    const double scaleX = Window_State().Window_DeviceState.scaleX;
    const double scaleY = Window_State().Window_DeviceState.scaleY;
    const int wx = Wrap_Sub32(X86_RoundToInt32(gameW / areaW / scaleX * x), X86_RoundToInt32(p.portX));
    const int wy = Wrap_Sub32(X86_RoundToInt32(gameH / areaH / scaleY * y), X86_RoundToInt32(p.portY));
    const double rx = static_cast<double>(wx) * p.viewW / p.portW;
    const double ry = static_cast<double>(wy) * p.viewH / p.portH;
    if (std::fabs(p.angle) < 0.01f) {
        roomX = X86_RoundToInt32(p.viewX + rx);
        roomY = X86_RoundToInt32(p.viewY + ry);
        return true;
    }
    const double a = -static_cast<double>(p.angle) * kPi / 180.0;
    const double dx = rx - p.viewW / 2.0;
    const double dy = ry - p.viewH / 2.0;
    roomX = X86_RoundToInt32(p.viewX + p.viewW / 2.0 + std::cos(a) * dx + std::sin(a) * dy);
    roomY = X86_RoundToInt32(p.viewY + p.viewH / 2.0 - std::sin(a) * dx + std::cos(a) * dy);
    return true;
}

void Window_RoomToWindow(int view, float x, float y, int& windowX, int& windowY) {
    windowX = X86_RoundToInt32(x);
    windowY = X86_RoundToInt32(y);
    if (view < 0 || view >= kWindowViewPorts) return;
    const WindowViewPort& p = Window_State().Window_ViewPorts[view];
    if (!p.active || p.viewW == 0.0f || p.viewH == 0.0f) return;
    const double rx = (static_cast<double>(x) - p.viewX) * p.portW / p.viewW;
    const double ry = (static_cast<double>(y) - p.viewY) * p.portH / p.viewH;
    // The ports are drawn scaled over the screen (the window record's factors), as the mouse is mapped.
    const double scaleX = Window_State().Window_DeviceState.scaleX;
    const double scaleY = Window_State().Window_DeviceState.scaleY;
    if (std::fabs(p.angle) < 0.01f) {
        windowX = X86_RoundToInt32((p.portX + rx) * scaleX);
        windowY = X86_RoundToInt32((p.portY + ry) * scaleY);
        return;
    }
    const double b = static_cast<double>(p.angle) * kPi / 180.0;
    const double ex = rx - p.portW / 2.0;
    const double ey = ry - p.portH / 2.0;
    windowX = X86_RoundToInt32((p.portX + p.portW / 2.0 + std::cos(b) * ex + std::sin(b) * ey) * scaleX);
    windowY = X86_RoundToInt32((p.portY + p.portH / 2.0 - std::sin(b) * ex + std::cos(b) * ey) * scaleY);
}

// The letterbox margins are taken off once, before either way of mapping.
void Window_MouseToRoom(int x, int y, int& roomX, int& roomY) {
    int mx = 0;
    int my = 0;
    Display_GetAspectOffset(mx, my);
    const int px = Wrap_Sub32(x, mx);
    const int py = Wrap_Sub32(y, my);
    if (Window_State().Window_ViewPortCount > 0) {
        for (int v = kWindowViewPorts - 1; v >= 0; --v) {
            int rx = 0;
            int ry = 0;
            if (!Window_WindowToRoom(v, px, py, rx, ry)) continue;
            roomX = rx;
            roomY = ry;
            const WindowViewPort& p = Window_State().Window_ViewPorts[v];
            if (p.viewX <= rx && rx < p.viewX + p.viewW && p.viewY <= ry && ry < p.viewY + p.viewH) return;
        }
        return;
    }
    int roomW = 0;
    int roomH = 0;
    if (!ScriptWorld_RoomSize(roomW, roomH)) {
        roomX = px;
        roomY = py;
        return;
    }
    const WindowSize client = Window_State().Window_DeviceState.clientSize;
    const double areaW = static_cast<double>(client.width) - 2.0 * mx;
    const double areaH = static_cast<double>(client.height) - 2.0 * my;
    if (areaW > 0.0) roomX = X86_RoundToInt32(static_cast<double>(px) * roomW / areaW);
    if (areaH > 0.0) roomY = X86_RoundToInt32(static_cast<double>(py) * roomH / areaH);
}

namespace {
bool MapDevice(int device) {
    if (device < 0 || device >= kIOMouseDevices) return false;
    Window_MouseToRoom(Input_State().IO_RawMouse.x[device], Input_State().IO_RawMouse.y[device],
                       g_main.roomX[device], g_main.roomY[device]);
    return true;
}
} // namespace

int Window_GetMouseRoomX(int device) { return MapDevice(device) ? g_main.roomX[device] : 0; }
int Window_GetMouseRoomY(int device) { return MapDevice(device) ? g_main.roomY[device] : 0; }

int Window_GetViewMouseX(int view) {
    int x = 0;
    int y = 0;
    Window_WindowToRoom(view, Input_State().IO_RawMouse.x[0], Input_State().IO_RawMouse.y[0], x, y);
    return x;
}

int Window_GetViewMouseY(int view) {
    int x = 0;
    int y = 0;
    Window_WindowToRoom(view, Input_State().IO_RawMouse.x[0], Input_State().IO_RawMouse.y[0], x, y);
    return y;
}
