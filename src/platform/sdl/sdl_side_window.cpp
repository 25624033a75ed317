#include "platform/sdl/sdl_side_window.h"

#include "core/console.h"
#include "core/utf8.h"
#include "platform/sdl/x11_title.h"

#include <algorithm>

namespace {

Uint32 EventWindowId(const SDL_Event& e) {
    switch (e.type) {
    case SDL_WINDOWEVENT:
        return e.window.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        return e.button.windowID;
    case SDL_MOUSEMOTION:
        return e.motion.windowID;
    case SDL_MOUSEWHEEL:
        return e.wheel.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        return e.key.windowID;
    case SDL_TEXTINPUT:
        return e.text.windowID;
    case SDL_TEXTEDITING:
        return e.edit.windowID;
    default:
        return 0;
    }
}

} // namespace

bool CSDLSideWindow::Open(const char* title, int width, int height, bool resizable, bool shown,
                          SDL_Window* near) {
    Close();
    width = std::max(width, 1);
    height = std::max(height, 1);
    int position = SDL_WINDOWPOS_UNDEFINED;
    if (near) {
        const int display = SDL_GetWindowDisplayIndex(near);
        position = static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(display < 0 ? 0 : display));
    }
    m_window = SDL_CreateWindow("", position, position, width, height,
                                (resizable ? SDL_WINDOW_RESIZABLE : 0) | SDL_WINDOW_HIDDEN);
    if (!m_window || !PrepareImage(width, height)) {
        DebugConsole->Output("Side window \"%s\": %s\n", title, SDL_GetError());
        Close();
        return false;
    }
    X11Title_Set(m_window, title);
    m_id = SDL_GetWindowID(m_window);
    // Told to the window manager as the near window's own (once that is shown) before it is shown itself:
    // it stays above that window.
    if (near && shown && (SDL_GetWindowFlags(near) & SDL_WINDOW_SHOWN)) SDL_SetWindowModalFor(m_window, near);
    if (shown) {
        SDL_ShowWindow(m_window);
        SDL_RaiseWindow(m_window);
    }
    stale = true;
    return true;
}

void CSDLSideWindow::Close() {
    FreeImage();
    if (m_window) SDL_DestroyWindow(m_window);
    m_window = nullptr;
    m_id = 0;
    stale = true;
}

bool CSDLSideWindow::IsFor(const SDL_Event& e) const {
    return m_window && EventWindowId(e) == m_id;
}

bool CSDLSideWindow::PrepareImage(int width, int height) {
    if (m_image && m_image->w == width && m_image->h == height) return true;
    FreeImage();
    m_image = SDL_CreateRGBSurfaceWithFormat(0, std::max(width, 1), std::max(height, 1), 32,
                                             SDL_PIXELFORMAT_RGBA32);
    if (m_image) m_renderer = SDL_CreateSoftwareRenderer(m_image);
    if (!m_renderer) {
        FreeImage();
        return false;
    }
    const DialogFont& font = Dialog_GetFont();
    if (font.pixels && font.width > 0 && font.height > 0) {
        m_font = SDL_CreateTexture(m_renderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STATIC, font.width,
                                   font.height);
        if (m_font) {
            SDL_UpdateTexture(m_font, nullptr, font.pixels, font.width * 4);
            SDL_SetTextureBlendMode(m_font, SDL_BLENDMODE_BLEND);
        }
    }
    return true;
}

void CSDLSideWindow::FreeImage() {
    if (m_font) SDL_DestroyTexture(m_font);
    if (m_renderer) SDL_DestroyRenderer(m_renderer);
    if (m_image) SDL_FreeSurface(m_image);
    m_font = nullptr;
    m_renderer = nullptr;
    m_image = nullptr;
}

bool CSDLSideWindow::Begin(int& width, int& height) {
    if (!m_window) return false;
    SDL_GetWindowSize(m_window, &width, &height);
    if (!PrepareImage(width, height)) return false;
    SDL_SetRenderDrawColor(m_renderer, 240, 240, 240, 255);
    SDL_RenderClear(m_renderer);
    return true;
}

void CSDLSideWindow::Fill(const DialogRect& r, Uint8 red, Uint8 green, Uint8 blue) {
    const SDL_Rect rect{r.x, r.y, r.w, r.h};
    SDL_SetRenderDrawColor(m_renderer, red, green, blue, 255);
    SDL_RenderFillRect(m_renderer, &rect);
}

void CSDLSideWindow::Text(const std::string& text, int x, int y, int right, Uint8 grey) {
    if (!m_font) return;
    SDL_SetTextureColorMod(m_font, grey, grey, grey);
    for (size_t i = 0; i < text.size();) {
        const int32_t cp = Text_NextCodePoint(text.data(), text.size(), i);
        if (cp < 0) continue;
        const uint8_t* glyph = DialogFont_Glyph(static_cast<uint32_t>(cp));
        if (!glyph) continue;
        if (x + glyph[2] > right) return;
        const SDL_Rect source{glyph[0], glyph[1], glyph[2], glyph[3]};
        const SDL_Rect target{x, y, glyph[2], glyph[3]};
        SDL_RenderCopy(m_renderer, m_font, &source, &target);
        x += glyph[2];
    }
}

void CSDLSideWindow::Button(const DialogRect& r, const std::string& label, bool isDefault) {
    Fill(r, isDefault ? 0 : 120, isDefault ? 90 : 120, isDefault ? 200 : 120);
    const int inset = isDefault ? 2 : 1;
    Fill(DialogRect{r.x + inset, r.y + inset, r.w - 2 * inset, r.h - 2 * inset}, 225, 225, 225);
    const int line = DialogFont_LineHeight();
    Text(label, r.x + (r.w - DialogFont_TextWidth(label)) / 2, r.y + (r.h - line) / 2, r.x + r.w);
}

void CSDLSideWindow::Present(bool hasDisplay) {
    SDL_RenderPresent(m_renderer);
    stale = false;
    // Without a display no one sees the window: its surface is not made.
    if (!hasDisplay) return;
    // Whatever SDL does to show the surface, the game's drawing context stays the current one.
    SDL_Window* drawingWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext drawingContext = SDL_GL_GetCurrentContext();
    if (SDL_Surface* target = SDL_GetWindowSurface(m_window)) {
        SDL_BlitSurface(m_image, nullptr, target, nullptr);
        SDL_UpdateWindowSurface(m_window);
    }
    if (drawingContext && SDL_GL_GetCurrentContext() != drawingContext)
        SDL_GL_MakeCurrent(drawingWindow, drawingContext);
}
