// The platform backend on SDL2: one SDL window, SDL's events as window messages, SDL's clipboard and
// message boxes. Without a display (no X11 or Wayland server) it runs on SDL's offscreen video driver,
// where nobody can answer a dialog.
#pragma once

#include "platform/backend.h"
#include "platform/input_translator.h"

#include <SDL.h>

#include <memory>

class CSDLPlatform final : public IPlatformBackend {
public:
    // Starts SDL's video. When the system's video driver cannot start and none was named in
    // SDL_VIDEODRIVER, the offscreen driver is used (and said so on the debug console). Null when SDL
    // cannot start at all.
    static std::unique_ptr<CSDLPlatform> Create();
    ~CSDLPlatform() override;
    CSDLPlatform(const CSDLPlatform&) = delete;
    CSDLPlatform& operator=(const CSDLPlatform&) = delete;

    // The window, for the graphics device that draws into it; null while there is none.
    SDL_Window* Window() const { return m_window; }

    bool HasDisplay() const override { return m_hasDisplay; }
    bool GetDesktopMode(PlatformDisplayMode& mode) override;

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

private:
    explicit CSDLPlatform(bool hasDisplay) : m_hasDisplay(hasDisplay) {}
    void Translate(CMessageQueue& queue, const SDL_Event& e);
    void TranslateWindowEvent(CMessageQueue& queue, const SDL_WindowEvent& e);
    // Frame thickness around the client area (0 where the system does not say).
    void Borders(int& top, int& left, int& bottom, int& right) const;

    bool m_hasDisplay;
    SDL_Window* m_window = nullptr;
    uint32_t m_windowId = 0;
    CInputTranslator m_input;
    // System cursors made on first use, by their place in kCursorTable.
    SDL_Cursor* m_cursors[kCursorTableSize] = {};
};
