// A frame presented into the SDL window: on a desktop (an X server of the test's own) through the
// window's own GL context; on the offscreen video driver, where nobody sees the window, headless.
#include "graphics/3d/shutdown.h"
#include "graphics/draw/draw.h"
#include "graphics/frame/frame.h"
#include "io/window.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"
#include "support/graphics_device.h"
#include "support/virtual_x.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace {

class WindowFrame : public testing::Test {
protected:
    // The window of 32 x 24 on the video driver, its device started and one frame drawn and presented:
    // black with a red run of 3 x 1 pixels at the top left.
    void DrawFrame(const char* driver) {
        setenv("SDL_VIDEODRIVER", driver, 1);
        setenv("LP_NUM_THREADS", "0", 0);
        sdl = CSDLPlatform::Create();
        ASSERT_NE(sdl, nullptr);
        Platform_SetBackend(sdl.get());
        ResetDrawingState(D3DBackend::OpenGL);
        WindowHandle window = Window_Create(32, 24);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(GR_D3D_Init(window, 32, 24, 0));
        started = true;
        ASSERT_TRUE(Graphics::StartFrame());
        GR_Draw_Clear(0xFF000000u);
        GR_Draw_SetColour(0x0000FFu);
        GR_Draw_Rectangle(0, 0, 3, 1, false);
        ASSERT_TRUE(Graphics::EndFrame(true));
    }
    void TearDown() override {
        if (started) {
            Texture_FreeAll();
            Display_Free();
            GR_D3D_Quit();
        }
        if (sdl) {
            Platform_DestroyWindow();
            Window_Reset();
            Platform_SetBackend(nullptr);
        }
    }

    std::unique_ptr<VirtualXServer> server; // outlives the window, which is closed in TearDown
    std::unique_ptr<CSDLPlatform> sdl;
    bool started = false;
};

TEST_F(WindowFrame, TheBackBufferIsShownInTheWindowRightWayUp) {
    server = std::make_unique<VirtualXServer>("640x480x24");
    if (server->Display().empty()) GTEST_SKIP() << "Xvfb could not be started: a shown window is not tested";
    setenv("DISPLAY", server->Display().c_str(), 1);
    // SDL's X11 video would open the session's message bus, whose library keeps a block to the exit.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    DrawFrame("x11");
    ASSERT_TRUE(SDL_GetWindowFlags(sdl->Window()) & SDL_WINDOW_OPENGL);
    // The window's framebuffer is the one read now; its rows run bottom-up.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    uint32_t top = 0;
    uint32_t bottom = 0;
    glReadBuffer(GL_BACK);
    glReadPixels(1, 23, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &top);
    glReadPixels(1, 0, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &bottom);
    // After a swap the back buffer's contents are undefined unless preserved; the front is read instead
    // where the driver keeps only one.
    if (top != 0xFFFF0000u) {
        glReadBuffer(GL_FRONT);
        glReadPixels(1, 23, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &top);
        glReadPixels(1, 0, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &bottom);
    }
    EXPECT_EQ(top, 0xFFFF0000u);
    EXPECT_EQ(bottom, 0xFF000000u);
}

// The offscreen driver's window has no GL surface; the device draws the same frame headless.
TEST_F(WindowFrame, AWindowNobodySeesIsDrawnHeadless) {
    DrawFrame("offscreen");
    EXPECT_FALSE(SDL_GetWindowFlags(sdl->Window()) & SDL_WINDOW_OPENGL);
    EXPECT_EQ(Graphics::GetScreenPixel(1, 0) & 0xFFFFFFu, 0x0000FFu);
    EXPECT_EQ(Graphics::GetScreenPixel(1, 23) & 0xFFFFFFu, 0u);
}

} // namespace
