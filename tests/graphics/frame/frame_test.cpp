// Whole frames: drawn into the screen texture, shown in the back buffer, read back.
#include "core/save_area.h"
#include "graphics/device_output.h"
#include "script/compiler/compile.h"
#include "support/pixel_mask.h"
#include "support/temp_folder.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace {

class FrameTest : public GraphicsDeviceTest {
protected:
    std::vector<uint32_t> BackBuffer() { return BackBufferPixels(&width); }
    uint32_t width = 0;
};

TEST_F(FrameTest, AFilledRectangleLandsOnItsPixelsAndTheFrameSavesAsPNG) {
    StartDevice(D3DBackend::OpenGL, 32, 24);
    ASSERT_TRUE(Graphics::StartFrame());
    GR_Draw_Clear(0xFF000000u);
    GR_Draw_SetColour(0x0000FFu);
    GR_Draw_Rectangle(2, 3, 5, 7, false);
    GR_Draw_SetColour(0x00FF00u);
    GR_Draw_Triangle(10, 10, 18, 10, 10, 18, false);
    TempFolder folder;
    folder.SetEnv("XDG_DATA_HOME", folder / "data");
    LoadSave_Reset();
    const std::string file = "frame.png";
    Screen_SaveToFile(file.c_str());
    Screen_SaveToFile("");
    ASSERT_NE(CodeError_State().Code_LastErrorText, nullptr);
    EXPECT_NE(std::string(CodeError_State().Code_LastErrorText)
                  .find("Trying to save screen to empty image file name."),
              std::string::npos);
    // A part reaching left of the image loses those columns; one wholly outside writes nothing.
    Screen_SavePartToFile("part.png", -10, 4, 15, 100);
    Screen_SavePartToFile("none.png", 32, 0, 5, 5);
    ASSERT_TRUE(Graphics::EndFrame(true));
    EXPECT_FALSE(LoadSave_SaveFileExists("none.png"));
    png_image part;
    std::memset(&part, 0, sizeof part);
    part.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&part, LoadSave_SavePath("part.png").c_str()));
    EXPECT_EQ(part.width, 5u);
    EXPECT_EQ(part.height, 20u);
    png_image_free(&part);
    const auto pixels = BackBuffer();
    EXPECT_EQ(PixelMask(pixels, width, 0xFFFF0000u), BoxMask(width, 24, 2, 3, 5, 7));
    // The triangle's vertices lie half a pixel up-left of the centres: pixel (10 + i, 10 + j) when
    // i + j < 7. Centres on the long edge (i + j = 7) are on a bottom-right edge, and left out.
    for (int y = 10; y < 19; ++y)
        for (int x = 10; x < 19; ++x)
            EXPECT_EQ(pixels[static_cast<size_t>(y) * width + x] == 0xFF00FF00u, (x - 10) + (y - 10) < 7) << x << "," << y;

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    char path[2048];
    LoadSave_GetSavePath(path, sizeof path, file.c_str());
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path));
    EXPECT_EQ(image.width, 32u);
    EXPECT_EQ(image.height, 24u);
    // Rows top-down, in R, G, B, A order: the red rectangle's corner.
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
    const size_t corner = (3 * 32 + 2) * 4;
    EXPECT_EQ(rgba[corner], 255);
    EXPECT_EQ(rgba[corner + 2], 0);
    EXPECT_EQ(rgba[corner - 4], 0);
    LoadSave_Reset();
}

TEST_F(FrameTest, ASurfaceLeftSetAtFrameEndStillShowsTheFrameAndTheNextOne) {
    StartDevice(D3DBackend::OpenGL, 16, 16);
    TDeviceTexture* surface = GR_D3D_CreateTexture(16, 16, 1, TEXCREATE_RENDERTARGET, 6);
    ASSERT_TRUE(Graphics::StartFrame());
    GR_Draw_Clear(0xFF000000u);
    GR_Draw_SetColour(0xFFFFFFu);
    GR_Draw_Rectangle(0, 0, 3, 3, false);
    ASSERT_TRUE(GR_D3D_PushRenderTargets());
    ASSERT_TRUE(GR_D3D_SetRenderTarget(0, surface));
    GR_Draw_Rectangle(8, 8, 15, 15, false);
    ASSERT_TRUE(Graphics::EndFrame(true));
    EXPECT_EQ(GR_D3D_RenderTargetDepth(), 0);
    const auto first = BackBuffer();
    EXPECT_EQ(PixelMask(first, width, 0xFFFFFFFFu), BoxMask(width, 16, 0, 0, 3, 3));

    ASSERT_TRUE(Graphics::StartFrame());
    GR_Draw_Clear(0xFF000000u);
    GR_Draw_Rectangle(4, 4, 5, 5, false);
    ASSERT_TRUE(Graphics::EndFrame(true));
    const auto second = BackBuffer();
    EXPECT_EQ(PixelMask(second, width, 0xFFFFFFFFu), BoxMask(width, 16, 4, 4, 5, 5));
    GR_D3D_FreeTexture(surface);
}

TEST_F(FrameTest, AnOutlinedRectangleLightsItsBorderPixelsAndAPointItsPixel) {
    StartDevice(D3DBackend::OpenGL, 16, 12);
    ASSERT_TRUE(Graphics::StartFrame());
    GR_Draw_Clear(0xFF000000u);
    GR_Draw_SetColour(0xFFFFFFu);
    GR_Draw_Rectangle(2, 3, 9, 8, true);
    ASSERT_TRUE(Graphics::EndFrame(true));
    const auto pixels = BackBuffer();
    std::string expected = BoxMask(width, 12, 2, 3, 9, 8);
    // Hollow: the inside stays dark.
    for (int y = 4; y <= 7; ++y)
        for (int x = 3; x <= 8; ++x)
            expected[static_cast<size_t>(y) * (width + 1) + x] = '.';
    EXPECT_EQ(PixelMask(pixels, width, 0xFFFFFFFFu), expected);

    ASSERT_TRUE(Graphics::StartFrame());
    GR_Draw_Clear(0xFF000000u);
    GR_Draw_Point(12, 1);
    ASSERT_TRUE(Graphics::EndFrame(true));
    EXPECT_EQ(PixelMask(BackBuffer(), width, 0xFFFFFFFFu), BoxMask(width, 12, 12, 1, 12, 1));
}

TEST_F(FrameTest, KeepAspectLetterboxesTheGameImage) {
    StartDevice(D3DBackend::Recording, 1280, 720, GR_OPTION_KEEP_ASPECT, 640, 480);
    ASSERT_TRUE(Graphics::StartFrame());
    Recording().ClearLog();
    ASSERT_TRUE(Graphics::EndFrame(true));
    const D3DCall* quad = nullptr;
    for (const D3DCall& call : Recording().Log())
        if (call.kind == D3DCallKind::DrawPrimitiveUP) quad = &call;
    ASSERT_NE(quad, nullptr);
    float corners[24];
    ASSERT_EQ(quad->data.size(), sizeof corners);
    std::memcpy(corners, quad->data.data(), sizeof corners);
    EXPECT_EQ(corners[0], 160.0f);
    EXPECT_EQ(corners[6], 1120.0f);
    EXPECT_EQ(corners[1], 0.0f);
    int x = 0, y = 0;
    Display_GetAspectOffset(x, y);
    EXPECT_EQ(x, 160);
}

TEST(DisplayModes, TheSmallestModeThatHoldsTheSizeElseTheNearestArea) {
    const DisplayModeEntry modes[] = {{1024, 768, 32, 60, 0, 0}, {800, 600, 32, 60, 1, 0},
                                      {1280, 1024, 16, 60, 2, 0}, {1280, 1024, 32, 75, 3, 0},
                                      {1280, 1024, 32, 59, 4, 0}};
    EXPECT_EQ(Display_PickMode(modes, 5, 800, 600), 1);
    EXPECT_EQ(Display_PickMode(modes, 5, 801, 600), 0);
    // Larger than every mode: the nearest area, a 32-bit mode before a 16-bit one, then the frequency
    // nearest 60.
    EXPECT_EQ(Display_PickMode(modes, 5, 1400, 1100), 4);
    EXPECT_EQ(Display_PickMode(modes, 0, 640, 480), -1);
}

TEST_F(FrameTest, ResetRecreatesTheScreenAtThePendingSizeAndResendsSettings) {
    StartDevice(D3DBackend::Recording, 64, 48);
    // Multisampling is refused by the device: the request is dropped at the reset.
    Display_SetAntialias(4);
    Graphics::SetBlendMode(1);
    Graphics::Flush();
    Window_State().Window_DeviceState.pendingWidth = 80;
    Window_State().Window_DeviceState.pendingHeight = 60;
    Frame_State().GR_D3DDevice->InjectLoss(D3DERR_DEVICENOTRESET);
    Recording().ClearLog();
    ASSERT_TRUE(Graphics::StartFrame());
    EXPECT_EQ(Frame_State().GR_D3DDevice->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(GR_D3D_ScreenTexture()->Width(), 80);
    EXPECT_EQ(Window_State().Window_DeviceState.gameSize.width, 80);
    EXPECT_EQ(Window_State().Window_DeviceState.pendingWidth, -1);
    bool blend = false;
    for (const D3DCall& call : Recording().Log())
        blend |= call.kind == D3DCallKind::SetRenderState && call.a == D3DRS_DESTBLEND && call.b == D3DBLEND_ONE;
    EXPECT_TRUE(blend) << "the blend mode is sent again after the reset";
    EXPECT_EQ(Frame_State().GR_DeviceGlobals.requestedMultisample, 0);
    EXPECT_EQ(Frame_State().GR_DeviceGlobals.requestedSwapEffect, 3);
    EXPECT_EQ(Display_AntialiasLevels(), 0);
    ASSERT_TRUE(Graphics::EndFrame(false));
}

} // namespace
