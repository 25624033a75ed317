#include "graphics/frame/frame.h"
#include "graphics/sprite/background.h"
#include "graphics/sprite/sprite.h"
#include "io/window_state.h"

#include <climits>
#include <gtest/gtest.h>

TEST(ResourceTables, AnyIndexOfAnEmptyTableIsNotFound) {
    Sprite_Clear();
    Background_Clear();
    for (int index : {0, 1, -1, INT_MIN, INT_MAX}) {
        EXPECT_FALSE(Sprite_Exists(index)) << index;
        EXPECT_EQ(Sprite_Data(index), nullptr) << index;
        EXPECT_FALSE(Background_Exists(index)) << index;
        EXPECT_EQ(Background_Data(index), nullptr) << index;
    }
    EXPECT_FALSE(Sprite_Replace(0, "a.png", 1, false, false, false, false, 0, 0));
    EXPECT_FALSE(Background_Replace(0, "a.png", false, false, false));
}

TEST(DisplayReset, AntialiasRequestsOnlyTheAcceptedSampleCounts) {
    Display_SetAntialias(4);
    EXPECT_EQ(Frame_State().GR_DeviceGlobals.requestedMultisample, 4);
    EXPECT_EQ(Frame_State().GR_DeviceGlobals.requestedSwapEffect, 1);
    Display_SetAntialias(3);
    EXPECT_EQ(Frame_State().GR_DeviceGlobals.requestedMultisample, 0);
    EXPECT_EQ(Frame_State().GR_DeviceGlobals.requestedSwapEffect, 3);
    Display_SetAntialias(16);
    EXPECT_EQ(Frame_State().GR_DeviceGlobals.requestedMultisample, 16);
    Display_SetAntialias(32);
    EXPECT_EQ(Frame_State().GR_DeviceGlobals.requestedMultisample, 0);
}

class LetterboxTest : public testing::Test {
protected:
    void SetUp() override { saved = Window_State().Window_DeviceState; }
    void TearDown() override {
        Window_State().Window_DeviceState = saved;
        Window_State().Window_DeviceState.keepAspect = false;
    }
    WindowDeviceState saved;
};

TEST_F(LetterboxTest, MarginsCentreTheGameImageAndWindowToPortScalesInsideThem) {
    Window_State().Window_DeviceState.gameSize = {640, 480};
    Window_State().Window_DeviceState.backBufferSize = {1280, 720};
    Window_State().Window_DeviceState.clientSize = {1280, 720};
    Window_PortSize = {640, 480};
    Window_State().Window_DeviceState.keepAspect = true;
    int px = 0;
    int py = 0;
    Display_WindowToPort(160, 0, px, py);
    EXPECT_EQ(px, 0);
    EXPECT_EQ(py, 0);
    Display_WindowToPort(1120, 720, px, py);
    EXPECT_EQ(px, 640);
    EXPECT_EQ(py, 480);
    // A window taller than the image: the margins go above and below.
    Window_State().Window_DeviceState.backBufferSize = {640, 720};
    Display_GetAspectOffset(px, py);
    EXPECT_EQ(px, 0);
    EXPECT_EQ(py, 120);
    // No client area (a minimised window), or margins that leave none: both coordinates are 0.
    Window_State().Window_DeviceState.clientSize = {0, 0};
    Window_State().Window_DeviceState.keepAspect = false;
    Display_WindowToPort(50, 70, px, py);
    EXPECT_EQ(px, 0);
    EXPECT_EQ(py, 0);
    Window_State().Window_DeviceState.clientSize = {320, -5};
    Display_WindowToPort(80, 70, px, py);
    EXPECT_EQ(px, 160);
    EXPECT_EQ(py, 0);
}
