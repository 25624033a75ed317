// A small window of its own beside the game's (the debug form's panel, a dialog form), drawn with SDL's
// software renderer and the dialog font into an image. The image goes to the window when there is a
// display; without one the window stays hidden and the image is only drawn (tests read its pixels).
#pragma once

#include "platform/dialog_form.h"

#include <SDL.h>

#include <string>

class CSDLSideWindow {
public:
    CSDLSideWindow() = default;
    ~CSDLSideWindow() { Close(); }
    CSDLSideWindow(const CSDLSideWindow&) = delete;
    CSDLSideWindow& operator=(const CSDLSideWindow&) = delete;

    // Makes the window, centred on the display of the window near (when given), and its image; false
    // (saying why on the debug console) when SDL cannot.
    bool Open(const char* title, int width, int height, bool resizable, bool shown, SDL_Window* near);
    void Close();
    bool IsOpen() const { return m_window != nullptr; }
    SDL_Window* Window() const { return m_window; }
    SDL_Surface* Image() const { return m_image; }

    // The window an event is for (0 for events of no window): true when it is this one.
    bool IsFor(const SDL_Event& e) const;
    // Set when the window must be drawn again (it was exposed or resized); cleared by Present.
    bool stale = true;

    // Starts a drawing at the window's current size, cleared to the form colour; false when SDL cannot
    // make the image. The calls below draw into it until Present.
    bool Begin(int& width, int& height);
    void Fill(const DialogRect& r, Uint8 red, Uint8 green, Uint8 blue);
    // UTF-8 text from (x, y), stopping before a character that would reach past right.
    void Text(const std::string& text, int x, int y, int right, Uint8 grey = 0);
    // A button: a frame (thicker for the default button) and its label centred.
    void Button(const DialogRect& r, const std::string& label, bool isDefault);
    // Finishes the drawing; shows it in the window when there is a display.
    void Present(bool hasDisplay);

private:
    bool PrepareImage(int width, int height);
    void FreeImage();

    SDL_Window* m_window = nullptr;
    uint32_t m_id = 0;
    SDL_Surface* m_image = nullptr;
    SDL_Renderer* m_renderer = nullptr;
    SDL_Texture* m_font = nullptr;
};
