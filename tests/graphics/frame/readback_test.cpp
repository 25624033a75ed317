// View ports and view areas, pixels read back from the screen and from textures, copies between render
// targets, embedded images as textures.
#include "core/memory.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/embedded_images.h"
#include "support/graphics_device.h"
#include "support/pixel_mask.h"

#include <cstring>
#include <memory>
#include <string>

namespace {

class ReadBackTest : public GraphicsDeviceTest {
protected:
    void TearDown() override {
        D3D_Desktop() = D3DVirtualDesktop();
        Window_State().Window_DrawingArea = IntRect{0, 0, 0, 0};
        GraphicsDeviceTest::TearDown();
    }
    // The whole screen texture as words 0xAARRGGBB.
    std::vector<uint32_t> Screen(int w, int h) {
        uint8_t* block = GR_D3D_ReadScreenRect(w, h, 0, 0, w, h);
        std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
        if (block) std::memcpy(pixels.data(), block, pixels.size() * 4);
        MEM_FREE(block);
        return pixels;
    }
    static uint32_t Word(const uint8_t* block, size_t i) {
        uint32_t p;
        std::memcpy(&p, block + i * 4, sizeof p);
        return p;
    }
};

TEST_F(ReadBackTest, EachViewDrawsItsAreaIntoItsPort) {
    StartDevice(D3DBackend::OpenGL, 16, 8);
    ASSERT_TRUE(Graphics::StartFrame());
    GR_Draw_Clear(0xFF000000u);
    GR_Draw_SetColour(0xFFFFFFu);
    // View 0: room area (100, 50) shown in the left half; view 1: (0, 0) at half size in the right half.
    Graphics::SetViewPort(0, 0, 8, 8);
    Graphics::SetViewArea(100, 50, 8, 8, 0);
    GR_Draw_Rectangle(101, 52, 102, 53, false);
    Graphics::SetViewPort(8, 0, 8, 8);
    Graphics::SetViewArea(0, 0, 16, 16, 0);
    GR_Draw_Rectangle(4, 4, 7, 7, false);
    const auto pixels = Screen(16, 8);
    EXPECT_EQ(PixelMask(pixels, 16, 0xFFFFFFFFu), MaskUnion(BoxMask(16, 8, 1, 2, 2, 3), BoxMask(16, 8, 10, 2, 11, 3)));

    // A view turned by 90 degrees has (-1, 0, 0) as its up vector: room x grows downwards on screen.
    Graphics::SetViewPort(0, 0, 16, 8);
    Graphics::SetViewArea(0, 0, 16, 8, 90);
    float view[16];
    Graphics::GetMatrix(0, view);
    EXPECT_NEAR(view[0], 0.0f, 1e-6f);
    EXPECT_NEAR(view[1], -1.0f, 1e-6f);
    ASSERT_TRUE(Graphics::EndFrame(false));
}

TEST_F(ReadBackTest, ScreenReadsAreClippedAndComeTopDown) {
    StartDevice(D3DBackend::OpenGL, 16, 12);
    ASSERT_TRUE(Graphics::StartFrame());
    GR_Draw_Clear(0xFF000000u);
    GR_Draw_SetColour(0x0000FFu);
    GR_Draw_Rectangle(0, 0, 15, 0, false);
    GR_Draw_SetColour(0xFF0000u);
    GR_Draw_Rectangle(0, 11, 15, 11, false);

    int w = 40;
    int h = 40;
    uint8_t* block = GR_D3D_ReadScreenRect(16, 12, -5, 10, w, h);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(Word(block, 0), 0xFF000000u);
    EXPECT_EQ(Word(block, 16), 0xFF0000FFu);
    MEM_FREE(block);
    w = 4;
    h = 4;
    EXPECT_EQ(GR_D3D_ReadScreenRect(16, 12, 16, 0, w, h), nullptr);

    EXPECT_EQ(Graphics::GetScreenPixel(3, 0), 0xFF0000FFu);
    EXPECT_EQ(Graphics::GetScreenPixel(3, 11), 0xFFFF0000u);
    EXPECT_EQ(Graphics::GetScreenPixel(16, 0), 0u);
    EXPECT_EQ(Graphics::GetScreenPixel(-1, 0), 0u);

    // Grabs are bounded by the drawing area.
    Window_State().Window_DrawingArea = IntRect{0, 0, 10, 12};
    std::unique_ptr<IBitmap> grab(Graphics::GrabScreenRect(6, 9, 8, 8));
    ASSERT_NE(grab, nullptr);
    EXPECT_EQ(grab->GetWidth(), 4);
    EXPECT_EQ(grab->GetHeight(), 3);
    uint8_t* row = nullptr;
    grab->Lock(2, &row, nullptr);
    EXPECT_EQ(Word(row, 0), 0xFF0000FFu);
    EXPECT_EQ(Graphics::GrabScreenRect(10, 0, 4, 4), nullptr);

    // Nothing is read while the adapter cannot report its mode.
    D3D_Desktop().modeQueryFails = true;
    EXPECT_EQ(Graphics::GetScreenPixel(3, 0), 0u);
    EXPECT_EQ(Display_GetFrequency(), -1);
    EXPECT_EQ(Display_GetColorDepth(), -1);
    ASSERT_TRUE(Graphics::EndFrame(false));
}

TEST_F(ReadBackTest, TextureReadsZeroFillAndANegativeOriginReadsFromZero) {
    StartDevice(D3DBackend::Recording, 16, 16);
    uint32_t pixels[4 * 2];
    for (uint32_t i = 0; i < 8; ++i)
        pixels[i] = 0xFF000000u | i;
    TDeviceTexture* t = GR_D3D_CreateTextureFromPixels(reinterpret_cast<uint8_t*>(pixels), 4, 2, nullptr);
    ASSERT_NE(t, nullptr);
    // The texture is 4 x 2; a 3 x 3 read from (2, 0) holds two columns and two rows of it.
    uint8_t* block = GR_D3D_ReadTextureRect(t, 2, 0, 3, 3);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Word(block, 0), 0xFF000002u);
    EXPECT_EQ(Word(block, 1), 0xFF000003u);
    EXPECT_EQ(Word(block, 2), 0u);
    EXPECT_EQ(Word(block, 4), 0xFF000007u);
    EXPECT_EQ(Word(block, 7), 0u);
    MEM_FREE(block);
    block = GR_D3D_ReadTextureRect(t, -3, -1, 1, 1);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Word(block, 0), 0xFF000000u);
    MEM_FREE(block);
    EXPECT_EQ(GR_D3D_ReadTextureRect(t, 0, 0, 0, 1), nullptr);
    // A block too large to allocate is no block, not a wrapped size.
    EXPECT_EQ(GR_D3D_ReadTextureRect(t, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF), nullptr);
    GR_D3D_FreeTexture(t);
}

TEST_F(ReadBackTest, CopiesBetweenRenderTargetsAreExactAndRefuseWhatLeavesTheDestination) {
    StartDevice(D3DBackend::OpenGL, 8, 8);
    TDeviceTexture* src = GR_D3D_CreateTexture(8, 8, 1, TEXCREATE_RENDERTARGET, 6);
    TDeviceTexture* dst = GR_D3D_CreateTexture(4, 4, 1, TEXCREATE_RENDERTARGET, 6);
    ASSERT_TRUE(Graphics::StartFrame());
    ASSERT_TRUE(GR_D3D_PushRenderTargets());
    ASSERT_TRUE(GR_D3D_SetRenderTarget(0, dst));
    GR_Draw_Clear(0xFF000000u);
    ASSERT_TRUE(GR_D3D_SetRenderTarget(0, src));
    GR_Draw_Clear(0xFF000000u);
    GR_Draw_SetColour(0xFFFFFFu);
    GR_Draw_Rectangle(5, 5, 5, 5, false);
    ASSERT_TRUE(GR_D3D_PopRenderTargets());

    // (4, 4, 3, 3) to (1, 1): shortened to the 3 x 3 that fits; the lit pixel lands on (2, 2).
    ASSERT_TRUE(GR_D3D_CopyTextureRect(dst, 1, 1, src, 4, 4, 5, 5));
    uint8_t* block = GR_D3D_ReadTextureRect(dst, 0, 0, 4, 4);
    ASSERT_NE(block, nullptr);
    std::vector<uint32_t> pixels(16);
    std::memcpy(pixels.data(), block, 64);
    MEM_FREE(block);
    EXPECT_EQ(PixelMask(pixels, 4, 0xFFFFFFFFu), BoxMask(4, 4, 2, 2, 2, 2));
    EXPECT_FALSE(GR_D3D_CopyTextureRect(dst, -1, 0, src, 0, 0, 2, 2));
    EXPECT_FALSE(GR_D3D_CopyTextureRect(dst, 4, 0, src, 0, 0, 2, 2));
    EXPECT_FALSE(GR_D3D_CopyTextureRect(dst, 0, 0, src, 8, 0, 2, 2));
    ASSERT_TRUE(Graphics::EndFrame(false));
    GR_D3D_FreeTexture(src);
    GR_D3D_FreeTexture(dst);
}

TEST_F(ReadBackTest, EmbeddedImagesBecomeTexturesOfTheirPixels) {
    StartDevice(D3DBackend::Recording, 16, 16);
    EXPECT_EQ(EmbeddedImage_CreateTexture(1), nullptr);
    uint32_t size = 0;
    const uint8_t* table = EmbeddedImage_BuiltinTable(size);
    EmbeddedImage_SetTable(table, size);
    EXPECT_EQ(EmbeddedImage_CreateTexture(17), nullptr);
    EXPECT_EQ(EmbeddedImage_CreateTexture(-1), nullptr);
    TDeviceTexture* start = EmbeddedImage_CreateTexture(kEmbeddedImageStartUp);
    ASSERT_NE(start, nullptr);
    const uint8_t* data = nullptr;
    uint32_t bytes = 0;
    ASSERT_TRUE(EmbeddedImage_Find(table, size, kEmbeddedImageStartUp, data, bytes));
    uint8_t* block = GR_D3D_ReadTextureRect(start, 100, 200, 1, 1);
    ASSERT_NE(block, nullptr);
    // The table holds R, G, B, A after a 16-byte header; the texture holds B, G, R, A.
    const uint8_t* rgba = data + 16 + (200 * 512 + 100) * 4;
    EXPECT_EQ(block[0], rgba[2]);
    EXPECT_EQ(block[1], rgba[1]);
    EXPECT_EQ(block[2], rgba[0]);
    EXPECT_EQ(block[3], rgba[3]);
    MEM_FREE(block);
    GR_D3D_FreeTexture(start);
    EmbeddedImage_SetTable(nullptr, 0);
}

} // namespace
