// Device resets switching the main window between windowed and full screen, with the styles, sizes and
// positions the window gets, on the scripted platform.
#include "data/general_info.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"
#include "support/graphics_device.h"

namespace {

int64_t NoProc(uint32_t, uint64_t, int64_t) {
    return 0;
}

class DeviceResetTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        Platform_SetBackend(&fake);
        PlatformWindowDesc desc;
        desc.clientWidth = 64;
        desc.clientHeight = 48;
        desc.style = 0x10CA0000u;
        ASSERT_TRUE(Platform_CreateWindow(desc, NoProc));
        StartDevice(D3DBackend::Recording, 64, 48);
    }
    void TearDown() override {
        GraphicsDeviceTest::TearDown();
        GameOptions = 0;
        Window_FullScreen = 0;
        Platform_DestroyWindow();
        Platform_SetBackend(nullptr);
    }
    // The window's outer top-left corner.
    int OuterLeft() const { return fake.window.x - CFakePlatform::kFrameSide; }
    int OuterTop() const { return fake.window.y - CFakePlatform::kFrameTop; }

    CFakePlatform fake;
};

TEST_F(DeviceResetTest, FullScreenAndWindowedTakeTheirStylesSizesAndPlaces) {
    GameOptions = 64; // the window may be resized
    Window_FullScreen = 1;
    ASSERT_TRUE(GR_D3D_ResetDevice());
    EXPECT_TRUE(fake.window.fullscreen);
    EXPECT_EQ(fake.window.style, 0x90000000u);
    EXPECT_EQ(GR_D3DDevice->PresentParameters().BackBufferWidth, 1920u);
    EXPECT_EQ(GR_D3DDevice->PresentParameters().BackBufferHeight, 1080u);
    EXPECT_EQ(GR_D3D_ScreenTexture()->Width(), 64);

    // Back to a window without a pending size: centred on the desktop with the game's client size.
    Window_FullScreen = 0;
    ASSERT_TRUE(GR_D3D_ResetDevice());
    EXPECT_FALSE(fake.window.fullscreen);
    EXPECT_EQ(fake.window.style, 0x10CF0000u);
    EXPECT_EQ(fake.window.width, 64);
    EXPECT_EQ(fake.window.height, 48);
    EXPECT_EQ(OuterLeft(), (1920 - 64) / 2);
    EXPECT_EQ(OuterTop(), (1080 - 48) / 2);
    EXPECT_EQ(GR_D3DDevice->PresentParameters().BackBufferWidth, 64u);

    // A new size asked with the place kept: the window stays where it is and takes the new client size.
    ASSERT_TRUE(Platform_MoveWindow(50, 60));
    GR_DeviceGlobals.pendingWidth = 100;
    GR_DeviceGlobals.pendingHeight = 80;
    GR_DeviceGlobals.keepWindowPosition = true;
    GameOptions = 0;
    ASSERT_TRUE(GR_D3D_ResetDevice());
    EXPECT_EQ(fake.window.style, 0x10CA0000u);
    EXPECT_EQ(fake.window.width, 100);
    EXPECT_EQ(fake.window.height, 80);
    EXPECT_EQ(OuterLeft(), 50);
    EXPECT_EQ(OuterTop(), 60);
    EXPECT_EQ(GR_D3D_ScreenTexture()->Width(), 100);
    EXPECT_EQ(GR_D3D_ScreenTexture()->Height(), 80);
    EXPECT_EQ(Window_DeviceState.gameSize.width, 100);
    EXPECT_FALSE(GR_DeviceGlobals.keepWindowPosition);
    EXPECT_EQ(GR_DeviceGlobals.pendingWidth, -1);
}

TEST_F(DeviceResetTest, FramesGoOnWithoutAScreenTextureAfterTwoFailedResets) {
    Recording().InjectResetFailures(2);
    EXPECT_FALSE(GR_D3D_ResetDevice());
    EXPECT_EQ(GR_D3D_ScreenTexture(), nullptr);
    ASSERT_TRUE(Graphics::StartFrame());
    GR_Draw_Rectangle(0, 0, 3, 3, false);
    Recording().ClearLog();
    ASSERT_TRUE(Graphics::EndFrame(true));
    // Nothing is there to show: the frame ends without the blit of the screen texture.
    EXPECT_EQ(Recording().Count(D3DCallKind::DrawPrimitiveUP), 0u);

    ASSERT_TRUE(GR_D3D_ResetDevice());
    ASSERT_NE(GR_D3D_ScreenTexture(), nullptr);
    EXPECT_EQ(GR_D3D_ScreenTexture()->Width(), 64);
    EXPECT_EQ(GR_D3D_ScreenTexture()->Height(), 48);
}

TEST_F(DeviceResetTest, TheMouseIsPlacedOnTheDesktopOnlyWhileTheWindowHasTheFocus) {
    SharedDisplayState.hasFocus = 0;
    Display_SetMouse(30, 40);
    EXPECT_EQ(fake.cursorX, 0);
    SharedDisplayState.hasFocus = 1;
    Display_SetMouse(30, 40);
    SharedDisplayState.hasFocus = 0;
    EXPECT_EQ(Display_GetMouseX(), 30);
    EXPECT_EQ(Display_GetMouseY(), 40);
}

} // namespace
