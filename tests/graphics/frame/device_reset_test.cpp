// Device resets switching the main window between windowed and full screen, with the styles, sizes and
// positions the window gets, and the desktop's display modes, on the scripted platform (a 1024 x 768
// screen).
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
        GeneralInfo_State().GameOptions = 0;
        Window_State().Window_FullScreen = 0;
        Platform_DestroyWindow();
        Platform_SetBackend(nullptr);
    }
    // The window's outer top-left corner.
    int OuterLeft() const { return fake.window.x - CFakePlatform::kFrameSide; }
    int OuterTop() const { return fake.window.y - CFakePlatform::kFrameTop; }

    CFakePlatform fake;
};

TEST_F(DeviceResetTest, FullScreenAndWindowedTakeTheirStylesSizesAndPlaces) {
    GeneralInfo_State().GameOptions = 64; // the window may be resized
    Window_State().Window_FullScreen = 1;
    ASSERT_TRUE(GR_D3D_ResetDevice());
    EXPECT_TRUE(fake.window.fullscreen);
    EXPECT_EQ(fake.window.style, 0x90000000u);
    EXPECT_EQ(Frame_State().GR_D3DDevice->PresentParameters().BackBufferWidth, 1024u);
    EXPECT_EQ(Frame_State().GR_D3DDevice->PresentParameters().BackBufferHeight, 768u);
    EXPECT_EQ(GR_D3D_ScreenTexture()->Width(), 64);

    // Back to a window without a pending size: centred on the desktop with the game's client size.
    Window_State().Window_FullScreen = 0;
    ASSERT_TRUE(GR_D3D_ResetDevice());
    EXPECT_FALSE(fake.window.fullscreen);
    EXPECT_EQ(fake.window.style, 0x10CF0000u);
    EXPECT_EQ(fake.window.width, 64);
    EXPECT_EQ(fake.window.height, 48);
    EXPECT_EQ(OuterLeft(), (1024 - 64) / 2);
    EXPECT_EQ(OuterTop(), (768 - 48) / 2);
    EXPECT_EQ(Frame_State().GR_D3DDevice->PresentParameters().BackBufferWidth, 64u);

    // A new size asked with the place kept: the window stays where it is and takes the new client size.
    ASSERT_TRUE(Platform_MoveWindow(50, 60));
    Window_State().Window_DeviceState.pendingWidth = 100;
    Window_State().Window_DeviceState.pendingHeight = 80;
    Window_State().Window_DeviceState.keepWindowPosition = true;
    GeneralInfo_State().GameOptions = 0;
    ASSERT_TRUE(GR_D3D_ResetDevice());
    EXPECT_EQ(fake.window.style, 0x10CA0000u);
    EXPECT_EQ(fake.window.width, 100);
    EXPECT_EQ(fake.window.height, 80);
    EXPECT_EQ(OuterLeft(), 50);
    EXPECT_EQ(OuterTop(), 60);
    EXPECT_EQ(GR_D3D_ScreenTexture()->Width(), 100);
    EXPECT_EQ(GR_D3D_ScreenTexture()->Height(), 80);
    EXPECT_EQ(Window_State().Window_DeviceState.gameSize.width, 100);
    EXPECT_FALSE(Window_State().Window_DeviceState.keepWindowPosition);
    EXPECT_EQ(Window_State().Window_DeviceState.pendingWidth, -1);
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

TEST_F(DeviceResetTest, DisplayChangesChooseAmongTheListedModesTheOneFullScreenTakes) {
    fake.screen = PlatformDisplayMode{1024, 768, 32, 60};
    fake.displayModes = {{1024, 768, 32, 60}, {800, 600, 32, 60}, {800, 600, 32, 75}, {640, 480, 16, 60}};
    EXPECT_EQ(Display_GetWidth(), 1024);
    EXPECT_EQ(Display_GetHeight(), 768);
    EXPECT_EQ(Display_GetFrequency(), 60);
    EXPECT_EQ(Display_GetColorDepth(), 32);

    // Refused: what the display does not list; nothing is chosen.
    for (const PlatformDisplayMode& m : {PlatformDisplayMode{801, 600, -1, -1}, PlatformDisplayMode{800, 600, 60, 16},
                                         PlatformDisplayMode{100000, 100000, 0, 0},
                                         PlatformDisplayMode{-1, -1, 75, -1}}) {
        EXPECT_FALSE(Display_TestAll(m.width, m.height, m.refreshRate, m.bitsPerPixel)) << m.width;
        EXPECT_FALSE(Display_SetAll(m.width, m.height, m.refreshRate, m.bitsPerPixel)) << m.width;
    }
    EXPECT_FALSE(Display_SetColorDepth(16));
    EXPECT_EQ(fake.fullscreenMode, PlatformDisplayMode{});
    EXPECT_EQ(Frame_State().GR_DeviceGlobals.fullScreenMode, PlatformDisplayMode{});
    // Fields of 0 or less keep their value: 0 x 0 asks for the mode as it is.
    EXPECT_TRUE(Display_TestAll(0, 0, 0, 0));

    // A listed mode is the one the display takes in full screen; the desktop keeps its own.
    EXPECT_TRUE(Display_SetSize(800, 600));
    EXPECT_EQ(fake.fullscreenMode, (PlatformDisplayMode{800, 600, 32, 60}));
    EXPECT_EQ(Display_GetWidth(), 1024);
    EXPECT_TRUE(Display_SetFrequency(75)); // now that 800 x 600 is chosen, its 75 Hz mode is there
    EXPECT_EQ(fake.fullscreenMode, (PlatformDisplayMode{800, 600, 32, 75}));
    EXPECT_TRUE(Display_TestAll(640, 480, 60, 16));
    Window_State().Window_FullScreen = 1;
    ASSERT_TRUE(GR_D3D_ResetDevice());
    EXPECT_EQ(Frame_State().GR_D3DDevice->PresentParameters().BackBufferWidth, 800u);
    EXPECT_EQ(Frame_State().GR_D3DDevice->PresentParameters().BackBufferHeight, 600u);
    // Back to the desktop's mode.
    EXPECT_TRUE(Display_SetAll(1024, 768, 60, 32));
    EXPECT_EQ(fake.fullscreenMode, PlatformDisplayMode{});
    ASSERT_TRUE(GR_D3D_ResetDevice());
    EXPECT_EQ(Frame_State().GR_D3DDevice->PresentParameters().BackBufferWidth, 1024u);

    // A desktop that cannot be asked: the size reads 0, frequency and depth -1, and nothing is chosen.
    fake.desktopKnown = false;
    EXPECT_EQ(Display_GetWidth(), 0);
    EXPECT_EQ(Display_GetFrequency(), -1);
    EXPECT_EQ(Display_GetColorDepth(), -1);
    EXPECT_FALSE(Display_SetSize(800, 600));
}

TEST_F(DeviceResetTest, TheMouseIsPlacedOnTheDesktopOnlyWhileTheWindowHasTheFocus) {
    Window_State().SharedDisplayState.hasFocus = 0;
    Display_SetMouse(30, 40);
    EXPECT_EQ(fake.cursorX, 0);
    Window_State().SharedDisplayState.hasFocus = 1;
    Display_SetMouse(30, 40);
    Window_State().SharedDisplayState.hasFocus = 0;
    EXPECT_EQ(Display_GetMouseX(), 30);
    EXPECT_EQ(Display_GetMouseY(), 40);
}

} // namespace
