// The platform backend on SDL2: one SDL window, SDL's events as window messages, SDL's clipboard and
// message boxes. Without a display (no X11 or Wayland server) it runs on SDL's offscreen video driver,
// where nobody can answer a dialog.
#pragma once

#include "platform/backend.h"
#include "platform/input_translator.h"
#include "platform/sdl/sdl_side_window.h"

#include <SDL.h>

#include <memory>
#include <string>

class CSDLPlatform final : public IPlatformBackend {
public:
    // Starts SDL's video. When the system's video driver cannot start and none was named in
    // SDL_VIDEODRIVER, the offscreen driver is used (and said so on the debug console). Null when SDL
    // cannot start at all, with the driver and SDL's reason in error (and on the debug console).
    static std::unique_ptr<CSDLPlatform> Create(std::string* error = nullptr);
    ~CSDLPlatform() override;
    CSDLPlatform(const CSDLPlatform&) = delete;
    CSDLPlatform& operator=(const CSDLPlatform&) = delete;

    // The window, for the graphics device that draws into it; null while there is none.
    SDL_Window* Window() const { return m_window; }
    void* NativeWindow() const override { return m_window; }

    bool HasDisplay() const override { return m_hasDisplay; }
    bool GetDesktopMode(PlatformDisplayMode& mode) override;
    bool GetDisplayModes(std::vector<PlatformDisplayMode>& modes) override;
    // Full screen then changes the display's mode (SDL's exclusive full screen); with none chosen it
    // covers the desktop in the desktop's own mode.
    bool SetFullscreenMode(const PlatformDisplayMode& mode) override;

    bool CreateWindow(const PlatformWindowDesc& desc) override;
    void DestroyWindow() override;
    void ShowWindow() override;
    void SetWindowStyle(uint32_t style) override;
    void SetWindowText(const char* text) override;
    bool GetClientSize(int32_t& width, int32_t& height) override;
    bool SetClientSize(int32_t width, int32_t height) override;
    bool GetWindowRect(PlatformRect& rect) override;
    bool MoveWindow(int32_t x, int32_t y) override;
    bool SetFullscreen(bool fullscreen) override;
    void SetCursor(int32_t cursor) override;
    bool HasFocus() override;
    bool ClientToScreen(int32_t& x, int32_t& y) override;
    bool GetCursorPos(int32_t& x, int32_t& y) override;
    bool SetCursorPos(int32_t x, int32_t y) override;

    void PollEvents(CMessageQueue& queue) override;

    bool ClipboardHasText() override;
    std::string GetClipboardText() override;
    bool SetClipboardText(const char* text) override;

    int ShowMessageBox(const char* text, const char* caption, uint32_t type,
                       const MessageBoxButtons& buttons) override;

    bool PadsAvailable() override;
    void UpdatePads() override;
    bool GetPadState(int pad, PlatformPadState& state) override;
    bool GetPadSubtype(int pad, int& subtype) override;
    void SetPadVibration(int pad, uint16_t left, uint16_t right) override;
    bool GetJoystickCaps(int joystick, PlatformJoystickCaps& caps) override;
    bool GetJoystickPos(int joystick, PlatformJoystickPos& pos) override;

    bool OpenPanel(CTextPanel* panel) override;
    void ClosePanel(CTextPanel* panel) override;
    // Draws the open panel now (PollEvents draws it when it changed) into its own image, which goes to
    // the window when there is a display; the image, for tests that read its pixels.
    void DrawPanel();
    SDL_Surface* PanelImage() const { return m_panelWindow.Image(); }
    SDL_Window* PanelWindow() const { return m_panelWindow.Window(); }

    // A dialog form in a window sized to it, drawn like the panel. Its keys, text and clicks go to the
    // form; its close box presses the form's escape button. Once answered the window hides until
    // CloseForm.
    bool OpenForm(CDialogForm* form) override;
    void CloseForm(CDialogForm* form) override;
    void DrawForm();
    SDL_Surface* FormImage() const { return m_formWindow.Image(); }
    SDL_Window* FormWindow() const { return m_formWindow.Window(); }

    bool GetNumLock() override { return (SDL_GetModState() & KMOD_NUM) != 0; }
    void SetNumLock(bool on) override {
        const SDL_Keymod mod = SDL_GetModState();
        SDL_SetModState(static_cast<SDL_Keymod>(on ? (mod | KMOD_NUM) : (mod & ~KMOD_NUM)));
    }

private:
    explicit CSDLPlatform(bool hasDisplay) : m_hasDisplay(hasDisplay) {}
    void ReleaseButtonsLetGoUnseen();
    void Translate(CMessageQueue& queue, const SDL_Event& e);
    void TranslateWindowEvent(CMessageQueue& queue, const SDL_WindowEvent& e);
    // Frame thickness around the client area (0 where the system does not say).
    void Borders(int& top, int& left, int& bottom, int& right) const;

    // The side windows' events (true when the event was theirs).
    bool TranslatePanelEvent(const SDL_Event& e);
    bool TranslateFormEvent(const SDL_Event& e);

    // The display the window is on (the first while there is none).
    int DisplayIndex() const;

    bool m_hasDisplay;
    SDL_Window* m_window = nullptr;
    // The full-screen mode chosen, when one is.
    bool m_hasFullscreenMode = false;
    SDL_DisplayMode m_fullscreenMode{};
    // The text panel's window, and the version of the panel last drawn.
    CTextPanel* m_panel = nullptr;
    CSDLSideWindow m_panelWindow;
    uint64_t m_panelDrawn = ~0ull;
    // The dialog form's window; drawn again after anything the player did in it.
    CDialogForm* m_form = nullptr;
    CSDLSideWindow m_formWindow;
    uint32_t m_windowId = 0;
    CInputTranslator m_input;
    // The joystick of device index 0 or 1, opened on first use and again after it went away.
    SDL_Joystick* Joystick(int index);

    // Game controllers: started on first use; the pads in their slots, with the motor speeds last sent.
    int m_padsState = 0; // 0 not tried, 1 up, -1 failed
    SDL_GameController* m_pads[kPlatformPadCount] = {};
    uint16_t m_rumble[kPlatformPadCount][2] = {};
    SDL_Joystick* m_joysticks[2] = {};
    // System cursors made on first use, by their place in kCursorTable.
    SDL_Cursor* m_cursors[kCursorTableSize] = {};
};
