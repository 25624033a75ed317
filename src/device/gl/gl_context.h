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
    // 1 waits for the display's refresh at every swap, 0 does not.
    virtual void SetSwapInterval(int /*interval*/) {}
};

// A context without a window (EGL on Mesa, no surface); null when none can be made.
CGLContext* GL_CreateHeadlessContext();

// Initialises the headless display once for the life of the process, which keeps the GL driver loaded:
// contexts made and dropped later (a window's, at every reset) then neither reload it nor unload it
// with its start-up allocations. False when there is no driver.
bool GL_KeepDriverLoaded();

// The context of the main window (made with OpenGL by the window layer); null when there is none, and a
// device made for the window then draws headless and its presents show nothing.
CGLContext* GL_CreateWindowContext(void* window);
