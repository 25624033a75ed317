#include "platform/sdl/sdl_platform.h"

#include "core/console.h"
#include "core/text.h"
#include "platform/sdl/sdl_keys.h"
#include "platform/sdl/x11_errors.h"
#include "platform/sdl/x11_pointer.h"
#include "platform/sdl/x11_title.h"
#include "platform/sdl/x11_window.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

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

// Whether a Wayland display could be reached at all: its client library finds the display through
// WAYLAND_SOCKET, a WAYLAND_DISPLAY given as a full path, or a socket in XDG_RUNTIME_DIR. Without any
// of them its attempt fails and writes a line of its own on standard error.
bool WaylandReachable() {
    if (std::getenv("WAYLAND_SOCKET")) return true;
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (display && display[0] == '/') return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && runtime[0] == '/';
}

// SDL's video drivers in its own order of trying, Wayland left out, as a list SDL takes for its hint.
std::string DriversWithoutWayland() {
    std::string list;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (!name || std::strcmp(name, "wayland") == 0) continue;
        if (!list.empty()) list += ',';
        list += name;
    }
    return list;
}

} // namespace

std::unique_ptr<CSDLPlatform> CSDLPlatform::Create(std::string* error) {
    const auto fail = [error](std::string why) {
        DebugConsole->Output("%s\n", why.c_str());
        if (error) *error = std::move(why);
        return nullptr;
    };
    // Windows gives a window no mouse capture unless it asks, and the runner never asks.
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
    // The close box is a WM_CLOSE for the window procedure to decide on, not a quit.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // The side windows (debug form, dialogs) show their images through the window system's own surface.
    // Left to itself SDL would show them through an OpenGL renderer of its own on X11, whose context
    // takes the place of the game window's: the game would then draw into the side window, upside down,
    // and its own window would stop changing.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    const char* named = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    const std::string asked = named ? named : "";
    // Left to choose, SDL tries Wayland too; where no Wayland display can be reached it is left out, so
    // that its failed attempt does not add its own line to the runner's standard error.
    const bool withoutWayland = asked.empty() && !WaylandReachable();
    // (An empty SDL_VIDEODRIVER in the environment chooses nothing, but would outrank a hint of normal rank.)
    if (withoutWayland)
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, DriversWithoutWayland().c_str(), SDL_HINT_OVERRIDE);
    const bool started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    if (withoutWayland) SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    if (!started) {
        if (!asked.empty())
            return fail("SDL's video driver \"" + Text_Escaped(asked.c_str()) +
                        "\" (named in SDL_VIDEODRIVER) could not start: " + Text_Escaped(SDL_GetError()));
        DebugConsole->Output("No display (%s): using the offscreen video driver\n", SDL_GetError());
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            return fail(std::string("SDL's offscreen video driver could not start: ") + Text_Escaped(SDL_GetError()));
    }
    SDL_StartTextInput();
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && std::strcmp(driver, "x11") == 0) X11Errors_Install();
    return std::unique_ptr<CSDLPlatform>(new CSDLPlatform(!IsHeadlessDriver(driver)));
}

CSDLPlatform::~CSDLPlatform() {
    // The side windows go before SDL's video does.
    m_panelWindow.Close();
    m_formWindow.Close();
    DestroyWindow();
    for (SDL_GameController*& pad : m_pads) {
        if (pad) SDL_GameControllerClose(pad);
        pad = nullptr;
    }
    for (SDL_Joystick*& joystick : m_joysticks) {
        if (joystick) SDL_JoystickClose(joystick);
        joystick = nullptr;
    }
    if (m_padsState == 1) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    for (SDL_Cursor*& c : m_cursors) {
        if (c) SDL_FreeCursor(c);
        c = nullptr;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    X11Errors_Remove();
    if (SDL_WasInit(0) == 0) SDL_Quit();
}

int CSDLPlatform::DisplayIndex() const {
    const int display = m_window ? SDL_GetWindowDisplayIndex(m_window) : 0;
    return display < 0 ? 0 : display;
}

namespace {

// Bits per pixel as the pixel's storage counts them (32 for 24-bit colour in 4 bytes).
PlatformDisplayMode ModeOf(const SDL_DisplayMode& m) {
    return PlatformDisplayMode{m.w, m.h, static_cast<int32_t>(SDL_BYTESPERPIXEL(m.format)) * 8, m.refresh_rate};
}

} // namespace

bool CSDLPlatform::GetDesktopMode(PlatformDisplayMode& mode) {
    SDL_DisplayMode m;
    if (SDL_GetDesktopDisplayMode(DisplayIndex(), &m) != 0) return false;
    mode = ModeOf(m);
    return true;
}

bool CSDLPlatform::GetDisplayModes(std::vector<PlatformDisplayMode>& modes) {
    const int display = DisplayIndex();
    const int count = SDL_GetNumDisplayModes(display);
    if (count < 0) return false;
    SDL_DisplayMode m;
    for (int i = 0; i < count; ++i)
        if (SDL_GetDisplayMode(display, i, &m) == 0 && m.w > 0 && m.h > 0) modes.push_back(ModeOf(m));
    return true;
}

bool CSDLPlatform::SetFullscreenMode(const PlatformDisplayMode& mode) {
    const bool desktops = mode.width == 0 && mode.height == 0;
    SDL_DisplayMode chosen{};
    if (!desktops) {
        const int display = DisplayIndex();
        const int count = SDL_GetNumDisplayModes(display);
        int i = 0;
        for (; i < count; ++i)
            if (SDL_GetDisplayMode(display, i, &chosen) == 0 && ModeOf(chosen) == mode) break;
        if (i >= count) return false;
    }
    if (m_window && SDL_SetWindowDisplayMode(m_window, desktops ? nullptr : &chosen) != 0) return false;
    m_hasFullscreenMode = !desktops;
    m_fullscreenMode = chosen;
    // A window that is full screen already takes the mode at once.
    return !m_window || !(SDL_GetWindowFlags(m_window) & SDL_WINDOW_FULLSCREEN) || SetFullscreen(true);
}

bool CSDLPlatform::CreateWindow(const PlatformWindowDesc& desc) {
    if (m_window || desc.clientWidth <= 0 || desc.clientHeight <= 0) return false;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!IsBordered(desc.style)) flags |= SDL_WINDOW_BORDERLESS;
    if (IsSizeable(desc.style)) flags |= SDL_WINDOW_RESIZABLE;
    // A window on a headless driver shows nobody anything: it gets no GL surface of its own, so SDL
    // neither loads its GL library nor sets up a second display of the driver, and the device draws
    // headless (into the same offscreen targets that every drawing goes into anyway).
    if (desc.openGL && m_hasDisplay) flags |= SDL_WINDOW_OPENGL;
    m_window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, desc.clientWidth,
                                desc.clientHeight, flags);
    if (!m_window) {
        DebugConsole->Output("SDL_CreateWindow failed: %s\n", SDL_GetError());
        return false;
    }
    m_windowId = SDL_GetWindowID(m_window);
    X11Errors_WatchConnection(m_window);
    m_input.Reset();
    return true;
}

void CSDLPlatform::DestroyWindow() {
    if (!m_window) return;
    X11Errors_ForgetWindow();
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
    X11Title_Set(m_window, text);
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
    if (!m_window) return false;
    Uint32 flags = 0;
    if (fullscreen && m_hasFullscreenMode) {
        if (SDL_SetWindowDisplayMode(m_window, &m_fullscreenMode) != 0) return false;
        flags = SDL_WINDOW_FULLSCREEN;
    } else if (fullscreen) {
        flags = SDL_WINDOW_FULLSCREEN_DESKTOP;
    }
    if (SDL_SetWindowFullscreen(m_window, flags) != 0) return false;
    // Where no window manager takes it to full screen, the window covers the display itself.
    SDL_Rect display;
    if (fullscreen && !X11Window_FullScreenManaged(m_window) && SDL_GetDisplayBounds(DisplayIndex(), &display) == 0)
        X11Window_Cover(m_window, display);
    return true;
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
    ReleaseButtonsLetGoUnseen();
    SDL_PumpEvents();
    // Joystick and game-controller events stay queued for the gamepad layer; everything else is taken
    // here, so that nothing piles up in SDL's queue.
    const Uint32 ranges[2][2] = {{SDL_FIRSTEVENT, SDL_JOYAXISMOTION - 1}, {SDL_FINGERDOWN, SDL_LASTEVENT}};
    for (const auto& range : ranges) {
        SDL_Event e;
        while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, range[0], range[1]) > 0)
            if (!TranslatePanelEvent(e) && !TranslateFormEvent(e)) Translate(queue, e);
    }
    if (m_panel && (m_panelWindow.stale || m_panel->Version() != m_panelDrawn)) DrawPanel();
    if (m_form && m_formWindow.stale) DrawForm();
}

// A button that SDL holds down but the X server has up was let go where SDL did not see it (see
// X11Pointer_ReleaseLetGo): its release is taken as though it had come. The server is asked only while
// SDL holds a button.
void CSDLPlatform::ReleaseButtonsLetGoUnseen() {
    constexpr Uint32 kButtons = SDL_BUTTON_LMASK | SDL_BUTTON_MMASK | SDL_BUTTON_RMASK;
    const Uint32 held = SDL_GetMouseState(nullptr, nullptr) & kButtons;
    if (!held || !m_window) return;
    SDL_Window* focus = SDL_GetMouseFocus();
    X11Pointer_ReleaseLetGo(focus ? focus : m_window, held);
}

// --- the text panel ---

bool CSDLPlatform::OpenPanel(CTextPanel* panel) {
    ClosePanel(m_panel);
    if (!panel || !m_panelWindow.Open(panel->Title().c_str(), 560, 400, true, m_hasDisplay, nullptr))
        return false;
    m_panel = panel;
    DrawPanel();
    return true;
}

void CSDLPlatform::ClosePanel(CTextPanel* panel) {
    if (!panel || panel != m_panel) return;
    m_panelWindow.Close();
    m_panel = nullptr;
    m_panelDrawn = ~0ull;
}

bool CSDLPlatform::TranslatePanelEvent(const SDL_Event& e) {
    if (!m_panel || !m_panelWindow.IsFor(e)) return false;
    if (e.type == SDL_WINDOWEVENT) {
        // The panel closes with the game, not by its close box.
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
            m_panelWindow.stale = true;
    } else if (e.type == SDL_MOUSEBUTTONDOWN && e.button.button == SDL_BUTTON_LEFT) {
        int w = 0, h = 0;
        SDL_GetWindowSize(m_panelWindow.Window(), &w, &h);
        const int button = m_panel->ButtonAt(w, h, e.button.x, e.button.y);
        if (button >= 0) m_panel->Press(static_cast<size_t>(button));
    }
    return true;
}

void CSDLPlatform::DrawPanel() {
    int w = 0, h = 0;
    if (!m_panel || !m_panelWindow.Begin(w, h)) return;
    CSDLSideWindow& out = m_panelWindow;
    const CTextPanel::Layout l = m_panel->Arrange(w, h);
    out.Text(m_panel->Status(), l.status.x, l.status.y, l.status.x + l.status.w);
    out.Fill(l.list, 255, 255, 255);
    const auto& lines = m_panel->Lines();
    int y = l.list.y;
    for (size_t i = l.firstLine; i < lines.size(); ++i, y += l.lineHeight) {
        const bool selected = static_cast<int>(i) == m_panel->Selected();
        if (selected) out.Fill(DialogRect{l.list.x, y, l.list.w, l.lineHeight}, 0, 90, 200);
        out.Text(lines[i], l.list.x + 2, y, l.list.x + l.list.w, selected ? 255 : 0);
    }
    for (size_t i = 0; i < l.buttons.size(); ++i)
        out.Button(l.buttons[i], m_panel->Buttons()[i], false);
    out.Present(m_hasDisplay);
    m_panelDrawn = m_panel->Version();
}

// --- the dialog form ---

bool CSDLPlatform::OpenForm(CDialogForm* form) {
    CloseForm(m_form);
    if (!form) return false;
    const CDialogForm::Layout l = form->Arrange();
    if (!m_formWindow.Open(form->Caption().c_str(), l.width, l.height, false, m_hasDisplay, m_window))
        return false;
    m_form = form;
    DrawForm();
    return true;
}

void CSDLPlatform::CloseForm(CDialogForm* form) {
    if (!form || form != m_form) return;
    m_formWindow.Close();
    m_form = nullptr;
    // The game's window takes the keys again.
    if (m_hasDisplay && m_window) SDL_RaiseWindow(m_window);
}

bool CSDLPlatform::TranslateFormEvent(const SDL_Event& e) {
    if (!m_form || !m_formWindow.IsFor(e)) return false;
    switch (e.type) {
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) m_form->Press(m_form->EscapeButton());
        break;
    case SDL_KEYDOWN:
        m_form->Key(
            SDLKey_ToPCKey(e.key.keysym.scancode, e.key.keysym.sym, (e.key.keysym.mod & KMOD_NUM) != 0).vk);
        break;
    case SDL_TEXTINPUT:
        m_form->Type(e.text.text);
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (e.button.button == SDL_BUTTON_LEFT) m_form->Click(e.button.x, e.button.y);
        break;
    default:
        return true;
    }
    m_formWindow.stale = true;
    // Answered: the window goes out of sight at once, though the form's owner closes it later.
    if (m_form->Done()) SDL_HideWindow(m_formWindow.Window());
    return true;
}

void CSDLPlatform::DrawForm() {
    int w = 0, h = 0;
    if (!m_form || !m_formWindow.Begin(w, h)) return;
    CSDLSideWindow& out = m_formWindow;
    const CDialogForm::Layout l = m_form->Arrange();
    const int line = DialogFont_LineHeight();
    const std::vector<std::string> lines = m_form->PromptLines();
    for (int i = 0; i < l.promptLines; ++i)
        out.Text(lines[i], l.prompt.x, l.prompt.y + i * line, l.prompt.x + l.prompt.w);
    for (int i = 0; i < m_form->FieldCount(); ++i) {
        const DialogRect& f = l.fields[i];
        const bool focused = i == m_form->Focus();
        out.Text(CDialogForm::FieldLabel(m_form->Kind(), i), l.labels[i].x, l.labels[i].y,
                 l.labels[i].x + l.labels[i].w);
        out.Fill(f, focused ? 0 : 120, focused ? 90 : 120, focused ? 200 : 120);
        out.Fill(DialogRect{f.x + 1, f.y + 1, f.w - 2, f.h - 2}, 255, 255, 255);
        // The end of the text, where the caret is, stays in sight.
        const int textLeft = f.x + 4, textRight = f.x + f.w - 5;
        const std::string shown = DialogFont_FitTail(m_form->Shown(i), textRight - textLeft);
        const int textTop = f.y + (f.h - line) / 2;
        out.Text(shown, textLeft, textTop, textRight);
        if (focused) out.Fill(DialogRect{textLeft + DialogFont_TextWidth(shown), textTop, 1, line}, 0, 0, 0);
    }
    for (int i = 0; i < m_form->ButtonCount(); ++i) {
        const int id = m_form->ButtonId(i);
        out.Button(l.buttons[i], CDialogForm::ButtonText(id), id == m_form->DefaultButton());
    }
    out.Present(m_hasDisplay);
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
    case SDL_MOUSEBUTTONUP: {
        // Without the mouse captured, a button let go outside every window of ours comes with window 0, at
        // a position that is no window's: it counts as outside the client area.
        if (!ours(e.button.windowID, e.type == SDL_MOUSEBUTTONUP)) return;
        const bool nowhere = e.button.windowID == 0;
        GetClientSize(width, height);
        m_input.MouseButton(queue, EngineButton(e.button.button), e.type == SDL_MOUSEBUTTONDOWN,
                            nowhere ? -1 : e.button.x, nowhere ? -1 : e.button.y, width, height);
        return;
    }
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
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        // While a modal form is open the game window takes no focus of the player's (a click into it):
        // the form comes back on top with the keys, as a window whose owner waits for it does.
        if (m_form && m_form->IsModal() && !m_form->Done() && m_formWindow.Window()) {
            SDL_RaiseWindow(m_formWindow.Window());
            return;
        }
        m_input.Focus(queue, true);
        return;
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
    // The box belongs to the game window, once that is shown: the window manager keeps it above the game
    // window, whatever the player clicks.
    SDL_Window* owner = m_window && (SDL_GetWindowFlags(m_window) & SDL_WINDOW_SHOWN) ? m_window : nullptr;
    // The box's title goes to the X server as the game window's does, as far as one request carries it.
    const std::string title = X11Title_Fitted(m_window, caption);
    const SDL_MessageBoxData box = {flags, owner, title.c_str(), wrapped.c_str(), buttons.count, data, nullptr};
    int hit = -1;
    if (SDL_ShowMessageBox(&box, &hit) != 0) {
        DebugConsole->Output("SDL_ShowMessageBox failed: %s\n", SDL_GetError());
        return -1;
    }
    // Closed without a button: what Escape would have chosen, else the default.
    if (hit < 0) return buttons.ids[buttons.escapeIndex >= 0 ? buttons.escapeIndex : buttons.defaultIndex];
    return hit;
}

// --- game controllers ---

bool CSDLPlatform::PadsAvailable() {
    if (m_padsState == 0) {
        m_padsState = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0 ? 1 : -1;
        if (m_padsState < 0) DebugConsole->Output("SDL game controllers failed: %s\n", SDL_GetError());
    }
    return m_padsState == 1;
}

void CSDLPlatform::UpdatePads() {
    if (!PadsAvailable()) return;
    SDL_GameControllerUpdate();
    // The state is read from the devices; their events are not needed.
    SDL_FlushEvents(SDL_JOYAXISMOTION, SDL_CONTROLLERSENSORUPDATE);
    for (SDL_GameController*& pad : m_pads) {
        if (pad && !SDL_GameControllerGetAttached(pad)) {
            SDL_GameControllerClose(pad);
            pad = nullptr;
        }
    }
    const auto inSlot = [&](SDL_JoystickID id) {
        for (SDL_GameController* pad : m_pads)
            if (pad && SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad)) == id) return true;
        return false;
    };
    const int count = SDL_NumJoysticks();
    for (int device = 0; device < count; ++device) {
        if (!SDL_IsGameController(device) || inSlot(SDL_JoystickGetDeviceInstanceID(device))) continue;
        for (int slot = 0; slot < kPlatformPadCount; ++slot) {
            if (m_pads[slot]) continue;
            m_pads[slot] = SDL_GameControllerOpen(device);
            m_rumble[slot][0] = m_rumble[slot][1] = 0;
            break;
        }
    }
}

bool CSDLPlatform::GetPadState(int pad, PlatformPadState& state) {
    SDL_GameController* c = m_pads[pad];
    if (!c) return false;
    static const struct {
        SDL_GameControllerButton button;
        uint16_t bit;
    } kButtons[] = {
        {SDL_CONTROLLER_BUTTON_DPAD_UP, PAD_DPAD_UP},
        {SDL_CONTROLLER_BUTTON_DPAD_DOWN, PAD_DPAD_DOWN},
        {SDL_CONTROLLER_BUTTON_DPAD_LEFT, PAD_DPAD_LEFT},
        {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, PAD_DPAD_RIGHT},
        {SDL_CONTROLLER_BUTTON_START, PAD_START},
        {SDL_CONTROLLER_BUTTON_BACK, PAD_BACK},
        {SDL_CONTROLLER_BUTTON_LEFTSTICK, PAD_LEFT_THUMB},
        {SDL_CONTROLLER_BUTTON_RIGHTSTICK, PAD_RIGHT_THUMB},
        {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, PAD_LEFT_SHOULDER},
        {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, PAD_RIGHT_SHOULDER},
        {SDL_CONTROLLER_BUTTON_A, PAD_A},
        {SDL_CONTROLLER_BUTTON_B, PAD_B},
        {SDL_CONTROLLER_BUTTON_X, PAD_X},
        {SDL_CONTROLLER_BUTTON_Y, PAD_Y},
    };
    for (const auto& b : kButtons)
        if (SDL_GameControllerGetButton(c, b.button)) state.buttons |= b.bit;
    // Triggers 0..32767 become bytes; the vertical sticks point up with positive values.
    const auto trigger = [&](SDL_GameControllerAxis axis) {
        const int v = SDL_GameControllerGetAxis(c, axis);
        return static_cast<uint8_t>(v <= 0 ? 0 : v * 255 / 32767);
    };
    const auto upward = [&](SDL_GameControllerAxis axis) {
        const int v = -SDL_GameControllerGetAxis(c, axis);
        return static_cast<int16_t>(v > 32767 ? 32767 : v);
    };
    state.leftTrigger = trigger(SDL_CONTROLLER_AXIS_TRIGGERLEFT);
    state.rightTrigger = trigger(SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    state.thumbLX = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
    state.thumbLY = upward(SDL_CONTROLLER_AXIS_LEFTY);
    state.thumbRX = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTX);
    state.thumbRY = upward(SDL_CONTROLLER_AXIS_RIGHTY);
    return true;
}

bool CSDLPlatform::GetPadSubtype(int pad, int& subtype) {
    if (!m_pads[pad]) return false;
    switch (SDL_JoystickGetType(SDL_GameControllerGetJoystick(m_pads[pad]))) {
    case SDL_JOYSTICK_TYPE_GAMECONTROLLER: subtype = 1; break;
    case SDL_JOYSTICK_TYPE_WHEEL: subtype = 2; break;
    case SDL_JOYSTICK_TYPE_ARCADE_STICK: subtype = 3; break;
    case SDL_JOYSTICK_TYPE_FLIGHT_STICK: subtype = 4; break;
    case SDL_JOYSTICK_TYPE_DANCE_PAD: subtype = 5; break;
    case SDL_JOYSTICK_TYPE_GUITAR: subtype = 6; break;
    case SDL_JOYSTICK_TYPE_DRUM_KIT: subtype = 8; break;
    default: subtype = 0; break;
    }
    return true;
}

void CSDLPlatform::SetPadVibration(int pad, uint16_t left, uint16_t right) {
    // Sent when it changes, to last until the next change (SDL cuts it at its longest duration).
    if (!m_pads[pad] || (m_rumble[pad][0] == left && m_rumble[pad][1] == right)) return;
    m_rumble[pad][0] = left;
    m_rumble[pad][1] = right;
    SDL_GameControllerRumble(m_pads[pad], left, right, 0xFFFFFFFFu);
}

SDL_Joystick* CSDLPlatform::Joystick(int index) {
    if (!PadsAvailable()) return nullptr;
    SDL_Joystick*& joystick = m_joysticks[index];
    if (joystick && !SDL_JoystickGetAttached(joystick)) {
        SDL_JoystickClose(joystick);
        joystick = nullptr;
    }
    if (!joystick && index < SDL_NumJoysticks()) joystick = SDL_JoystickOpen(index);
    if (joystick) SDL_JoystickUpdate();
    return joystick;
}

bool CSDLPlatform::GetJoystickCaps(int index, PlatformJoystickCaps& caps) {
    SDL_Joystick* joystick = Joystick(index);
    if (!joystick) return false;
    const char* name = SDL_JoystickName(joystick);
    caps.name = name ? name : "";
    caps.axes = SDL_JoystickNumAxes(joystick);
    caps.buttons = SDL_JoystickNumButtons(joystick);
    caps.hasPov = SDL_JoystickNumHats(joystick) > 0;
    return true;
}

bool CSDLPlatform::GetJoystickPos(int index, PlatformJoystickPos& pos) {
    SDL_Joystick* joystick = Joystick(index);
    if (!joystick) return false;
    uint32_t* axes[6] = {&pos.x, &pos.y, &pos.z, &pos.r, &pos.u, &pos.v};
    const int axisCount = SDL_JoystickNumAxes(joystick);
    for (int i = 0; i < 6 && i < axisCount; ++i)
        *axes[i] = static_cast<uint32_t>(SDL_JoystickGetAxis(joystick, i) + 32768);
    const int buttons = SDL_JoystickNumButtons(joystick);
    for (int i = 0; i < 32 && i < buttons; ++i)
        if (SDL_JoystickGetButton(joystick, i)) pos.buttons |= 1u << i;
    if (SDL_JoystickNumHats(joystick) > 0) {
        switch (SDL_JoystickGetHat(joystick, 0)) {
        case SDL_HAT_UP: pos.pov = 0; break;
        case SDL_HAT_RIGHTUP: pos.pov = 4500; break;
        case SDL_HAT_RIGHT: pos.pov = 9000; break;
        case SDL_HAT_RIGHTDOWN: pos.pov = 13500; break;
        case SDL_HAT_DOWN: pos.pov = 18000; break;
        case SDL_HAT_LEFTDOWN: pos.pov = 22500; break;
        case SDL_HAT_LEFT: pos.pov = 27000; break;
        case SDL_HAT_LEFTUP: pos.pov = 31500; break;
        default: pos.pov = 65535; break;
        }
    }
    return true;
}
