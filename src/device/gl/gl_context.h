// An OpenGL 3.3 core context the GL device draws with. All drawing goes into framebuffer objects; the
// context's own framebuffer only receives the presented back buffer.
#pragma once

class CGLContext {
public:
    virtual ~CGLContext() = default;
    virtual bool MakeCurrent() = 0;
    // Shows the context's framebuffer (nothing for a headless context).
    virtual void SwapBuffers() = 0;
    // Size of the context's own framebuffer; 0 x 0 for a headless context, which has none.
    virtual void DrawableSize(int& width, int& height) = 0;
};

// A context without a window (EGL on Mesa, no surface); null when none can be made.
CGLContext* GL_CreateHeadlessContext();

// Makes the context of a window; installed by the window layer. Without one a device made for a window
// draws headless and its presents show nothing.
using GLWindowContextFactory = CGLContext* (*)(void* window);
void GL_SetWindowContextFactory(GLWindowContextFactory factory);
GLWindowContextFactory GL_GetWindowContextFactory();
