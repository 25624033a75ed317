#include "device/gl/gl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

namespace {


class CEGLHeadlessContext : public CGLContext {
public:
    CEGLHeadlessContext(EGLDisplay display, EGLContext context) : m_display(display), m_context(context) {}
    ~CEGLHeadlessContext() override {
        eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(m_display, m_context);
        // The display stays initialised: Mesa keeps per-display state that a later context reuses, and
        // terminating it while another context of the process lives would end that one too.
    }
    bool MakeCurrent() override {
        return eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_context) == EGL_TRUE;
    }
    void SwapBuffers() override {}
    void DrawableSize(int& width, int& height) override { width = height = 0; }

private:
    EGLDisplay m_display;
    EGLContext m_context;
};

EGLDisplay HeadlessDisplay() {
    static EGLDisplay display = [] {
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        EGLDisplay d = EGL_NO_DISPLAY;
        if (getPlatformDisplay) d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (d == EGL_NO_DISPLAY) d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        EGLint major = 0;
        EGLint minor = 0;
        if (d != EGL_NO_DISPLAY && !eglInitialize(d, &major, &minor)) d = EGL_NO_DISPLAY;
        return d;
    }();
    return display;
}

} // namespace

bool GL_KeepDriverLoaded() {
    return HeadlessDisplay() != EGL_NO_DISPLAY;
}

CGLContext* GL_CreateHeadlessContext() {
    EGLDisplay display = HeadlessDisplay();
    if (display == EGL_NO_DISPLAY || !eglBindAPI(EGL_OPENGL_API)) return nullptr;
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                 3,
                                 EGL_CONTEXT_MINOR_VERSION,
                                 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                 EGL_NONE};
    // No configuration and no surface: every drawing goes into framebuffer objects.
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) return nullptr;
    auto* result = new CEGLHeadlessContext(display, context);
    if (!result->MakeCurrent()) {
        delete result;
        return nullptr;
    }
    return result;
}
