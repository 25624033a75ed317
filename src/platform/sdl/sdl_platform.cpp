#include "platform/sdl/sdl_platform.h"

#include "core/console.h"
#include "platform/sdl/sdl_keys.h"

#include <algorithm>
#include <cstring>

namespace {

// SDL's cursor for each entry of kCursorTable. SDL has no up arrow and no help cursor: those show the
// arrow; "application starting" is SDL's arrow with hourglass.
constexpr SDL_SystemCursor kSystemCursors[kCursorTableSize] = {
    SDL_SYSTEM_CURSOR_ARROW,    SDL_SYSTEM_CURSOR_ARROW,  SDL_SYSTEM_CURSOR_CROSSHAIR, SDL_SYSTEM_CURSOR_IBEAM,
    SDL_SYSTEM_CURSOR_SIZENESW, SDL_SYSTEM_CURSOR_SIZENS, SDL_SYSTEM_CURSOR_SIZENWSE,  SDL_SYSTEM_CURSOR_SIZEWE,
    SDL_SYSTEM_CURSOR_ARROW,    SDL_SYSTEM_CURSOR_WAIT,   SDL_SYSTEM_CURSOR_HAND,      SDL_SYSTEM_CURSOR_NO,
    SDL_SYSTEM_CURSOR_WAITARROW, SDL_SYSTEM_CURSOR_ARROW, SDL_SYSTEM_CURSOR_SIZEALL,
};

bool IsBordered(uint32_t style) { return !(style & WS_POPUP) && (style & WS_CAPTION); }
bool IsSizeable(uint32_t style) { return !(style & WS_POPUP) && (style & WS_THICKFRAME); }

// SDL's buttons (1 left, 2 middle, 3 right, 4 and 5 the extra ones) as the engine numbers them.
int EngineButton(uint8_t sdlButton) {
    switch (sdlButton) {
    case SDL_BUTTON_LEFT: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    case SDL_BUTTON_MIDDLE: return 3;
    case SDL_BUTTON_X1: return 4;
    case SDL_BUTTON_X2: return 5;
    default: return 0;
    }
}

bool IsHeadlessDriver(const char* driver) {
    return !driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

} // namespace

std::unique_ptr<CSDLPlatform> CSDLPlatform::Create() {
    // Windows gives a window no mouse capture unless it asks, and the runner never asks.
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
    // The close box is a WM_CLOSE for the window procedure to decide on, not a quit.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        const char* named = SDL_GetHint(SDL_HINT_VIDEODRIVER);
        if (named && *named) {
            DebugConsole->Output("SDL video driver \"%s\" failed: %s\n", named, SDL_GetError());
            return nullptr;
        }
        DebugConsole->Output("No display (%s): using the offscreen video driver\n", SDL_GetError());
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            DebugConsole->Output("SDL offscreen video failed: %s\n", SDL_GetError());
            return nullptr;
        }
    }
    SDL_StartTextInput();
    return std::unique_ptr<CSDLPlatform>(new CSDLPlatform(!IsHeadlessDriver(SDL_GetCurrentVideoDriver())));
}

CSDLPlatform::~CSDLPlatform() {
    DestroyWindow();
    for (SDL_Cursor*& c : m_cursors) {
        if (c) SDL_FreeCursor(c);
        c = nullptr;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (SDL_WasInit(0) == 0) SDL_Quit();
}

bool CSDLPlatform::GetDesktopMode(PlatformDisplayMode& mode) {
    int display = m_window ? SDL_GetWindowDisplayIndex(m_window) : 0;
    if (display < 0) display = 0;
    SDL_DisplayMode m;
    if (SDL_GetDesktopDisplayMode(display, &m) != 0) return false;
    mode.width = m.w;
    mode.height = m.h;
    mode.bitsPerPixel = static_cast<int32_t>(SDL_BYTESPERPIXEL(m.format)) * 8;
    mode.refreshRate = m.refresh_rate;
    return true;
}

bool CSDLPlatform::CreateWindow(const PlatformWindowDesc& desc) {
    if (m_window || desc.clientWidth <= 0 || desc.clientHeight <= 0) return false;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!IsBordered(desc.style)) flags |= SDL_WINDOW_BORDERLESS;
    if (IsSizeable(desc.style)) flags |= SDL_WINDOW_RESIZABLE;
    if (desc.openGL) flags |= SDL_WINDOW_OPENGL;
    m_window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, desc.clientWidth,
                                desc.clientHeight, flags);
    if (!m_window) {
        DebugConsole->Output("SDL_CreateWindow failed: %s\n", SDL_GetError());
        return false;
    }
    m_windowId = SDL_GetWindowID(m_window);
    m_input.Reset();
    return true;
}

void CSDLPlatform::DestroyWindow() {
    if (!m_window) return;
    SDL_DestroyWindow(m_window);
    m_window = nullptr;
    m_windowId = 0;
}

void CSDLPlatform::ShowWindow() {
    if (m_window) SDL_ShowWindow(m_window);
}

void CSDLPlatform::SetWindowStyle(uint32_t style) {
    // The minimise and maximise boxes are the window manager's: SDL does not choose them.
    if (!m_window) return;
    SDL_SetWindowBordered(m_window, IsBordered(style) ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowResizable(m_window, IsSizeable(style) ? SDL_TRUE : SDL_FALSE);
}

void CSDLPlatform::SetWindowText(const char* text) {
    if (m_window) SDL_SetWindowTitle(m_window, text);
}

bool CSDLPlatform::GetClientSize(int32_t& width, int32_t& height) {
    if (!m_window) return false;
    if (SDL_GetWindowFlags(m_window) & SDL_WINDOW_MINIMIZED) {
        width = height = 0;  // as Windows reports a minimised window's client area
        return true;
    }
    int w = 0, h = 0;
    SDL_GetWindowSize(m_window, &w, &h);
    width = w;
    height = h;
    return true;
}

bool CSDLPlatform::SetClientSize(int32_t width, int32_t height) {
    if (!m_window) return false;
    SDL_SetWindowSize(m_window, width, height);
    return true;
}

void CSDLPlatform::Borders(int& top, int& left, int& bottom, int& right) const {
    if (SDL_GetWindowBordersSize(m_window, &top, &left, &bottom, &right) != 0) top = left = bottom = right = 0;
}

bool CSDLPlatform::GetWindowRect(PlatformRect& rect) {
    if (!m_window) return false;
    int x, y, w, h, top, left, bottom, right;
    SDL_GetWindowPosition(m_window, &x, &y);
    SDL_GetWindowSize(m_window, &w, &h);
    Borders(top, left, bottom, right);
    rect = PlatformRect{x - left, y - top, x + w + right, y + h + bottom};
    return true;
}

bool CSDLPlatform::MoveWindow(int32_t x, int32_t y) {
    if (!m_window) return false;
    int top, left, bottom, right;
    Borders(top, left, bottom, right);
    SDL_SetWindowPosition(m_window, x + left, y + top);
    return true;
}

bool CSDLPlatform::SetFullscreen(bool fullscreen) {
    // Full screen covers the desktop in its own mode; changing the display mode is the graphics
    // device's business.
    return m_window && SDL_SetWindowFullscreen(m_window, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0;
}

void CSDLPlatform::SetCursor(int32_t cursor) {
    if (!m_window) return;
    if (cursor == IDC_NONE) {
        SDL_ShowCursor(SDL_DISABLE);
        return;
    }
    for (int i = 0; i < kCursorTableSize; ++i) {
        if (kCursorTable[i] != cursor) continue;
        if (!m_cursors[i]) m_cursors[i] = SDL_CreateSystemCursor(kSystemCursors[i]);
        // Headless drivers have no cursors to make; there is nothing to show then.
        if (m_cursors[i]) SDL_SetCursor(m_cursors[i]);
        SDL_ShowCursor(SDL_ENABLE);
        return;
    }
}

bool CSDLPlatform::HasFocus() { return m_window && (SDL_GetWindowFlags(m_window) & SDL_WINDOW_INPUT_FOCUS); }

bool CSDLPlatform::ClientToScreen(int32_t& x, int32_t& y) {
    if (!m_window) return false;
    int wx, wy;
    SDL_GetWindowPosition(m_window, &wx, &wy);
    x += wx;
    y += wy;
    return true;
}

bool CSDLPlatform::GetCursorPos(int32_t& x, int32_t& y) {
    int cx = 0, cy = 0;
    SDL_GetGlobalMouseState(&cx, &cy);
    x = cx;
    y = cy;
    return true;
}

bool CSDLPlatform::SetCursorPos(int32_t x, int32_t y) { return SDL_WarpMouseGlobal(x, y) == 0; }

void CSDLPlatform::PollEvents(CMessageQueue& queue) {
    SDL_PumpEvents();
    // Joystick and game-controller events stay queued for the gamepad layer; everything else is taken
    // here, so that nothing piles up in SDL's queue.
    const Uint32 ranges[2][2] = {{SDL_FIRSTEVENT, SDL_JOYAXISMOTION - 1}, {SDL_FINGERDOWN, SDL_LASTEVENT}};
    for (const auto& range : ranges) {
        SDL_Event e;
        while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, range[0], range[1]) > 0) Translate(queue, e);
    }
}

void CSDLPlatform::Translate(CMessageQueue& queue, const SDL_Event& e) {
    // Keyboard events with window 0 are the key releases SDL sends when the window loses the focus.
    const auto ours = [&](Uint32 windowId, bool orNone) {
        return m_window && (windowId == m_windowId || (orNone && windowId == 0));
    };
    int32_t width = 0, height = 0;
    switch (e.type) {
    case SDL_QUIT: m_input.Close(queue); return;
    case SDL_WINDOWEVENT:
        if (ours(e.window.windowID, false)) TranslateWindowEvent(queue, e.window);
        return;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        if (!ours(e.key.windowID, true)) return;
        m_input.Key(queue, SDLKey_ToPCKey(e.key.keysym.scancode, e.key.keysym.sym, (e.key.keysym.mod & KMOD_NUM) != 0),
                    e.type == SDL_KEYDOWN, e.key.repeat != 0);
        return;
    case SDL_TEXTINPUT:
        if (ours(e.text.windowID, true)) m_input.Text(queue, e.text.text, strnlen(e.text.text, sizeof e.text.text));
        return;
    case SDL_MOUSEMOTION:
        if (!ours(e.motion.windowID, false)) return;
        GetClientSize(width, height);
        m_input.MouseMove(queue, e.motion.x, e.motion.y, width, height);
        return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (!ours(e.button.windowID, false)) return;
        GetClientSize(width, height);
        m_input.MouseButton(queue, EngineButton(e.button.button), e.type == SDL_MOUSEBUTTONDOWN, e.button.x, e.button.y,
                            width, height);
        return;
    case SDL_MOUSEWHEEL: {
        if (!ours(e.wheel.windowID, false)) return;
        int x = 0, y = 0;
        SDL_GetGlobalMouseState(&x, &y);
        m_input.Wheel(queue, e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y, x, y);
        return;
    }
    default: return;
    }
}

void CSDLPlatform::TranslateWindowEvent(CMessageQueue& queue, const SDL_WindowEvent& e) {
    int32_t width = 0, height = 0;
    switch (e.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_MAXIMIZED:
    case SDL_WINDOWEVENT_RESTORED:
        GetClientSize(width, height);
        m_input.Size(queue, (SDL_GetWindowFlags(m_window) & SDL_WINDOW_MAXIMIZED) ? SIZE_MAXIMIZED : SIZE_RESTORED,
                     width, height);
        return;
    case SDL_WINDOWEVENT_MINIMIZED: m_input.Size(queue, SIZE_MINIMIZED, 0, 0); return;
    case SDL_WINDOWEVENT_FOCUS_GAINED: m_input.Focus(queue, true); return;
    case SDL_WINDOWEVENT_FOCUS_LOST: m_input.Focus(queue, false); return;
    case SDL_WINDOWEVENT_CLOSE: m_input.Close(queue); return;
    default: return;
    }
}

bool CSDLPlatform::ClipboardHasText() { return SDL_HasClipboardText() == SDL_TRUE; }

std::string CSDLPlatform::GetClipboardText() {
    char* text = SDL_GetClipboardText();
    std::string result = text ? text : "";
    SDL_free(text);
    return result;
}

bool CSDLPlatform::SetClipboardText(const char* text) { return SDL_SetClipboardText(text) == 0; }

int CSDLPlatform::ShowMessageBox(const char* text, const char* caption, uint32_t type,
                                 const MessageBoxButtons& buttons) {
    SDL_MessageBoxButtonData data[3] = {};
    for (int i = 0; i < buttons.count; ++i) {
        data[i].buttonid = buttons.ids[i];
        data[i].text = MessageBox_ButtonName(buttons.ids[i]);
        if (i == buttons.defaultIndex) data[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (i == buttons.escapeIndex) data[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    }
    Uint32 flags = SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    switch (type & 0xF0) {
    case MB_ICONERROR: flags |= SDL_MESSAGEBOX_ERROR; break;
    case MB_ICONWARNING: flags |= SDL_MESSAGEBOX_WARNING; break;
    default: flags |= SDL_MESSAGEBOX_INFORMATION; break;
    }
    // The box grows with its longest line: long lines are wrapped to about three quarters of the display's
    // width (at no more than 8 pixels a character), so that the box and its buttons stay on the screen.
    SDL_DisplayMode display{};
    const int width = SDL_GetCurrentDisplayMode(0, &display) == 0 && display.w > 0 ? display.w : 640;
    const std::string wrapped = MessageBox_WrapText(text ? text : "", std::max(30, width * 3 / 4 / 8));
    // No owner window, as the runner's message boxes have none.
    const SDL_MessageBoxData box = {flags, nullptr, caption, wrapped.c_str(), buttons.count, data, nullptr};
    int hit = -1;
    if (SDL_ShowMessageBox(&box, &hit) != 0) {
        DebugConsole->Output("SDL_ShowMessageBox failed: %s\n", SDL_GetError());
        return -1;
    }
    // Closed without a button: what Escape would have chosen, else the default.
    if (hit < 0) return buttons.ids[buttons.escapeIndex >= 0 ? buttons.escapeIndex : buttons.defaultIndex];
    return hit;
}
