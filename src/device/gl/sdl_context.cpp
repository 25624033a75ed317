#include "device/gl/gl_context.h"
#include "platform/platform.h"

#include <SDL.h>

namespace {

class CSDLGLContext : public CGLContext {
public:
    CSDLGLContext(SDL_Window* window, SDL_GLContext context) : m_window(window), m_context(context) {}
    ~CSDLGLContext() override { SDL_GL_DeleteContext(m_context); }
    bool MakeCurrent() override { return SDL_GL_MakeCurrent(m_window, m_context) == 0; }
    void SwapBuffers() override { SDL_GL_SwapWindow(m_window); }
    void DrawableSize(int& width, int& height) override { SDL_GL_GetDrawableSize(m_window, &width, &height); }
    void SetSwapInterval(int interval) override { SDL_GL_SetSwapInterval(interval); }

private:
    SDL_Window* m_window;
    SDL_GLContext m_context;
};

} // namespace

// The main window is the SDL backend's; a window of another backend (the tests' fake) has no context.
CGLContext* GL_CreateWindowContext(void* /*window*/) {
    auto* window = static_cast<SDL_Window*>(Platform_NativeWindow());
    if (!window || !(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL)) return nullptr;
    GL_KeepDriverLoaded();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) return nullptr;
    return new CSDLGLContext(window, context);
}
