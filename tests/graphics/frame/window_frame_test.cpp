// A frame presented into the SDL window (offscreen video driver) through its own GL context.
#include "graphics/3d/shutdown.h"
#include "graphics/draw/draw.h"
#include "graphics/frame/frame.h"
#include "io/window.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"
#include "support/graphics_device.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace {

TEST(WindowFrame, TheBackBufferIsShownInTheWindowRightWayUp) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("LP_NUM_THREADS", "0", 0);
    std::unique_ptr<CSDLPlatform> sdl = CSDLPlatform::Create();
    ASSERT_NE(sdl, nullptr);
    Platform_SetBackend(sdl.get());
    ResetDrawingState(D3DBackend::OpenGL);
    WindowHandle window = Window_Create(32, 24);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(GR_D3D_Init(window, 32, 24, 0));
    ASSERT_TRUE(Graphics::StartFrame());
    GR_Draw_Clear(0xFF000000u);
    GR_Draw_SetColour(0x0000FFu);
    GR_Draw_Rectangle(0, 0, 3, 1, false);
    ASSERT_TRUE(Graphics::EndFrame(true));
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

    Texture_FreeAll();
    Display_Free();
    GR_D3D_Quit();
    Platform_DestroyWindow();
    Window_Reset();
    Platform_SetBackend(nullptr);
}

} // namespace
