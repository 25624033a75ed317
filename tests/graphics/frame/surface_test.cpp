// Surfaces: made, drawn into through the render-target slots, read back, flushed, freed, and what a
// device reset does to them.
#include "graphics/draw/surface_draw.h"
#include "graphics/frame/surface.h"
#include "graphics/frame/transform.h"
#include "graphics/image/bitmap.h"
#include "support/graphics_device.h"
#include "support/pixel_mask.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

class SurfaceTest : public GraphicsDeviceTest {
protected:
    void TearDown() override {
        Surface_FreeAll();
        Window_State().Window_DrawingArea = IntRect{0, 0, 0, 0};
        GraphicsDeviceTest::TearDown();
    }
    static uint32_t Pixel(IBitmap& image, int x, int y) {
        uint8_t* row = nullptr;
        image.Lock(y, &row, nullptr);
        uint32_t p;
        std::memcpy(&p, row + static_cast<size_t>(x) * 4, sizeof p);
        return p;
    }
    static int LiveTextures() {
        int n = 0;
        for (TDeviceTexture* t = GR_D3D_TextureList(); t; t = t->next)
            ++n;
        return n;
    }
    static void ExpectPort(int x, int y, int w, int h) {
        int px, py, pw, ph;
        Graphics::GetViewPort(px, py, pw, ph);
        EXPECT_EQ(px, x);
        EXPECT_EQ(py, y);
        EXPECT_EQ(pw, w);
        EXPECT_EQ(ph, h);
    }
};

TEST_F(SurfaceTest, DrawnIntoThenReadBackWithTheScreenViewRestored) {
    StartDevice(D3DBackend::OpenGL, 32, 24);
    ASSERT_TRUE(Graphics::StartFrame());
    GR_Draw_Clear(0xFF000000u);
    const int id = Surface_Create(8, 6);
    ASSERT_EQ(id, 0);
    EXPECT_EQ(Surface_GetWidth(id), 8);
    EXPECT_EQ(Surface_GetHeight(id), 6);
    EXPECT_GE(Surface_GetTexture(id), 0);

    ASSERT_TRUE(Surface_SetTarget(id));
    EXPECT_TRUE(Surface_DrawingToSurface());
    EXPECT_TRUE(Transform_State().GR_Transform.surfaceTarget);
    ExpectPort(0, 0, 8, 6);
    GR_Draw_Clear(0xFFFFFFFFu);
    GR_Draw_SetColour(0x0000FFu);
    GR_Draw_Rectangle(2, 1, 3, 2, false);
    ASSERT_TRUE(Surface_ResetTarget());
    EXPECT_FALSE(Surface_DrawingToSurface());
    EXPECT_FALSE(Transform_State().GR_Transform.surfaceTarget);
    EXPECT_EQ(Surface_GetTarget(0), -1);
    ExpectPort(0, 0, 32, 24);

    // Drawing after the reset goes to the screen again, not into the surface.
    GR_Draw_Rectangle(0, 0, 7, 5, false);
    std::unique_ptr<IBitmap> image(Surface_GetBitmap(id, 0, 0, 8, 6));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Pixel(*image, 2, 1), 0xFFFF0000u);
    EXPECT_EQ(Pixel(*image, 3, 2), 0xFFFF0000u);
    EXPECT_EQ(Pixel(*image, 4, 2), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(*image, 0, 5), 0xFFFFFFFFu);

    // A block reaching past the surface reads 0 there.
    std::unique_ptr<IBitmap> edge(Surface_GetBitmap(id, 6, 4, 4, 4));
    ASSERT_NE(edge, nullptr);
    EXPECT_EQ(Pixel(*edge, 1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(*edge, 2, 1), 0u);
    EXPECT_EQ(Pixel(*edge, 0, 2), 0u);
    ASSERT_TRUE(Graphics::EndFrame(false));

    Surface_Free(id);
    EXPECT_FALSE(Surface_Exists(id));
    EXPECT_EQ(Surface_GetWidth(id), -1);
    EXPECT_EQ(Surface_GetBitmap(id, 0, 0, 1, 1), nullptr);
    EXPECT_EQ(Surface_Create(4, 4), id);
}

TEST_F(SurfaceTest, DrawnBackOntoTheScreenPlainStretchedAndInPart) {
    StartDevice(D3DBackend::OpenGL, 24, 16);
    Window_State().Window_DrawingArea = IntRect{0, 0, 24, 16};
    ASSERT_TRUE(Graphics::StartFrame());
    const int id = Surface_Create(4, 4);
    ASSERT_TRUE(Surface_SetTarget(id));
    GR_Draw_Clear(0xFF0000FFu);
    GR_Draw_SetColour(0xFFFFFFu);
    GR_Draw_Rectangle(1, 1, 1, 1, false);
    ASSERT_TRUE(Surface_ResetTarget());
    GR_Draw_Clear(0xFF000000u);
    EXPECT_TRUE(Surface_Draw(id, 1, 2));
    EXPECT_TRUE(Surface_DrawStretched(id, 8, 0, 8, 8, 0xFFFFFF, 1.0f));
    EXPECT_FALSE(Surface_DrawStretched(id, 8, 0, 0, 8, 0xFFFFFF, 1.0f));
    EXPECT_TRUE(Surface_DrawPart(id, 1, 1, 2, 2, 20, 12, 1, 1, 0xFFFFFF, 1.0f));
    EXPECT_FALSE(Surface_Draw(id + 1, 0, 0));
    std::unique_ptr<IBitmap> screen(Graphics::GrabScreenRect(0, 0, 24, 16));
    ASSERT_TRUE(Graphics::EndFrame(false));
    ASSERT_NE(screen, nullptr);
    std::vector<uint32_t> pixels(24 * 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            pixels[static_cast<size_t>(y) * 24 + x] = Pixel(*screen, x, y);
    EXPECT_EQ(PixelMask(pixels, 24, 0xFFFFFFFFu),
              MaskUnion(MaskUnion(BoxMask(24, 16, 2, 3, 2, 3), BoxMask(24, 16, 10, 2, 11, 3)),
                        BoxMask(24, 16, 20, 12, 20, 12)));
    EXPECT_EQ(pixels[static_cast<size_t>(2) * 24 + 1], 0xFFFF0000u);
    EXPECT_EQ(pixels[static_cast<size_t>(13) * 24 + 21], 0xFFFF0000u);
}

// Points, lines and outlines on a surface, and in a smaller port of the screen, light the pixels they
// light on the whole screen: the half-pixel move of the projection is half a pixel of the port drawn
// into, not of the screen.
TEST_F(SurfaceTest, LinesAndPointsLandOnASurfaceWhereTheyLandOnTheScreen) {
    StartDevice(D3DBackend::OpenGL, 40, 30);
    Window_State().Window_DrawingArea = IntRect{0, 0, 40, 30};
    ASSERT_TRUE(Graphics::StartFrame());
    auto draw = [] {
        GR_Draw_Clear(0xFF000000u);
        GR_Draw_SetColour(0xFFFFFFu);
        GR_Draw_Point(3, 2);
        GR_Draw_Line(1, 4, 9, 4);
        GR_Draw_Line(12, 1, 12, 8);
        GR_Draw_Rectangle(2, 6, 9, 10, true);
        GR_Draw_Rectangle(11, 10, 14, 11, false);
    };
    auto mask = [](IBitmap& image) {
        std::vector<uint32_t> pixels(16 * 12);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x)
                pixels[static_cast<size_t>(y) * 16 + x] = Pixel(image, x, y);
        return PixelMask(pixels, 16, 0xFFFFFFFFu);
    };
    draw();
    std::unique_ptr<IBitmap> screen(Graphics::GrabScreenRect(0, 0, 16, 12));
    const int id = Surface_Create(16, 12);
    ASSERT_TRUE(Surface_SetTarget(id));
    draw();
    ASSERT_TRUE(Surface_ResetTarget());
    std::unique_ptr<IBitmap> surface(Surface_GetBitmap(id, 0, 0, 16, 12));
    Graphics::SetViewPort(20, 15, 16, 12);
    Graphics::SetViewArea(0, 0, 16, 12, 0);
    draw();
    std::unique_ptr<IBitmap> port(Graphics::GrabScreenRect(20, 15, 16, 12));
    ASSERT_TRUE(Graphics::EndFrame(false));
    ASSERT_NE(screen, nullptr);
    ASSERT_NE(surface, nullptr);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(mask(*surface), mask(*screen));
    EXPECT_EQ(mask(*port), mask(*screen));
    EXPECT_EQ(Pixel(*screen, 3, 2), 0xFFFFFFFFu) << mask(*screen);
}

TEST_F(SurfaceTest, ARenderTargetTooLargeForTheDeviceGivesNoSurface) {
    StartDevice(D3DBackend::OpenGL, 16, 16);
    EXPECT_EQ(Surface_Create(100000, 100000), -1);
    EXPECT_EQ(Surface_Create(0, 5), -1);
    EXPECT_FALSE(Surface_Exists(0));
    EXPECT_EQ(Surface_Create(2, 2), 0);
}

TEST_F(SurfaceTest, TheScreenViewIsKeptAndPushedOnceWhateverTheSlotOrder) {
    StartDevice(D3DBackend::Recording, 64, 48);
    ASSERT_TRUE(Graphics::StartFrame());
    const int a = Surface_Create(8, 8);
    const int b = Surface_Create(16, 16);
    const int base = GR_D3D_RenderTargetDepth();
    Graphics::SetViewPort(3, 4, 20, 10);
    Graphics::SetViewArea(5, 6, 20, 10, 0);

    // Slot 1 first, then slot 0: one push, and the kept view is the screen's.
    ASSERT_TRUE(Surface_SetTargetExt(1, b));
    ASSERT_TRUE(Surface_SetTargetExt(0, a));
    EXPECT_EQ(GR_D3D_RenderTargetDepth(), base + 1);
    ExpectPort(0, 0, 8, 8);
    // Setting the slot's own surface again changes nothing.
    EXPECT_TRUE(Surface_SetTarget(a));
    EXPECT_EQ(GR_D3D_RenderTargetDepth(), base + 1);
    ASSERT_TRUE(Surface_ResetTarget());
    EXPECT_EQ(GR_D3D_RenderTargetDepth(), base);
    for (int slot = 0; slot < 4; ++slot)
        EXPECT_EQ(Surface_GetTarget(slot), -1);
    ExpectPort(3, 4, 20, 10);
    float x, y, w, h, angle;
    Graphics::GetViewArea(x, y, w, h, angle);
    EXPECT_EQ(x, 5.0f);
    EXPECT_EQ(w, 20.0f);

    // Slot 0 then slot 1: the second set does not overwrite the kept view with the surface's.
    ASSERT_TRUE(Surface_SetTarget(a));
    ASSERT_TRUE(Surface_SetTargetExt(1, b));
    EXPECT_EQ(GR_D3D_RenderTargetDepth(), base + 1);
    // Another surface on slot 0 resets first, then keeps the screen view again.
    ASSERT_TRUE(Surface_SetTarget(b));
    EXPECT_EQ(Surface_GetTarget(1), -1);
    EXPECT_EQ(GR_D3D_RenderTargetDepth(), base + 1);
    ExpectPort(0, 0, 16, 16);
    // Freeing the current target resets the target first.
    Surface_Free(b);
    EXPECT_EQ(GR_D3D_RenderTargetDepth(), base);
    ExpectPort(3, 4, 20, 10);

    EXPECT_FALSE(Surface_SetTargetExt(4, a));
    EXPECT_FALSE(Surface_SetTargetExt(0, b));
    EXPECT_EQ(GR_D3D_RenderTargetDepth(), base);
    // With no surface set the reset still pops the frame's own level.
    EXPECT_TRUE(Surface_ResetTarget());
    EXPECT_EQ(GR_D3D_RenderTargetDepth(), base - 1);
    ASSERT_TRUE(Graphics::EndFrame(false));
}

TEST_F(SurfaceTest, AFlushKeepsTheTextureUntilTheRecordIsReused) {
    StartDevice(D3DBackend::Recording, 16, 16);
    const int id = Surface_Create(8, 8);
    const int texture = Surface_GetTexture(id);
    const int live = LiveTextures();
    Texture_FlushAll();
    EXPECT_FALSE(Surface_Exists(id));
    EXPECT_TRUE(Texture_Exists(texture));
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Surface_Create(8, 8), id);
        Texture_FlushAll();
    }
    EXPECT_EQ(LiveTextures(), live);
    Surface_FreeAll();
    EXPECT_EQ(LiveTextures(), live - 1);
}

TEST_F(SurfaceTest, ADeviceResetFreesSurfacesButTheSwitchToWindowedKeepsThem) {
    StartDevice(D3DBackend::OpenGL, 16, 16);
    Window_State().Window_FullScreen = 1;
    const int id = Surface_Create(4, 4);
    ASSERT_TRUE(Graphics::StartFrame());
    ASSERT_TRUE(Surface_SetTarget(id));
    GR_Draw_Clear(0xFF00FF00u);
    ASSERT_TRUE(Surface_ResetTarget());
    ASSERT_TRUE(Display_EnsureWindowed());
    EXPECT_EQ(Window_State().Window_FullScreen, 0);
    ASSERT_TRUE(Graphics::EndFrame(false));
    ASSERT_TRUE(Surface_Exists(id));
    std::unique_ptr<IBitmap> image(Surface_GetBitmap(id, 0, 0, 4, 4));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Pixel(*image, 3, 3), 0xFF00FF00u);

    ASSERT_TRUE(GR_D3D_ResetDevice());
    EXPECT_FALSE(Surface_Exists(id));
}

} // namespace
