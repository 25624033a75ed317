#include "io_fixture.h"

#include "library/builtin_test_util.h"

#include "core/memory.h"
#include "core/text.h"
#include "graphics/frame/frame.h"
#include "library/os_events.h"
#include "script/functions.h"
#include "script/value.h"

#include <string>
#include <vector>

namespace {

using MainWindow = MainWindowTest;

TEST_F(MainWindow, IsMadeAtMostScreenSizedWithTheStyleCaptionAndCursorOfTheGame) {
    GeneralInfo_State().GameOptions = 64 | 32;
    const char* caption = "My game";
    GeneralInfo_State().g_GeneralInfo.caption = caption;
    ASSERT_NE(Window_Create(2000, 300), nullptr);
    GeneralInfo_State().g_GeneralInfo.caption = nullptr;
    EXPECT_EQ(fake.window.width, 1024);
    EXPECT_EQ(fake.window.height, 300);
    EXPECT_EQ(fake.window.x, 0);
    EXPECT_EQ(fake.window.style, 0xCF0000u);
    EXPECT_EQ(fake.window.caption, "My game");
    EXPECT_EQ(fake.window.cursor, IDC_ARROW);
    EXPECT_EQ(Window_GetGameWidth(), 2000);
    EXPECT_EQ(Window_State().Window_DeviceState.clientSize.width, 1024);
    Window_Reset();

    GeneralInfo_State().GameOptions = 1;
    ASSERT_NE(Window_Create(320, 200), nullptr);
    EXPECT_EQ(fake.window.style, WS_POPUP);
    EXPECT_EQ(fake.window.cursor, IDC_NONE);
    EXPECT_EQ(Window_GetCursor(), -1);
}

TEST_F(MainWindow, AltEnterTogglesFullScreenOnlyWhenTheOptionsAllowIt) {
    ASSERT_TRUE(Create());
    auto altEnter = [&] {
        fake.InjectKey(VK_LMENU, true);
        fake.InjectKey(VK_RETURN, true);
        fake.InjectKey(VK_RETURN, false);
        fake.InjectKey(VK_LMENU, false);
        Pump();
    };
    GeneralInfo_State().g_Options.windowFlag15 = false;
    altEnter();
    EXPECT_FALSE(Window_GetFullscreen());
    EXPECT_EQ(Window_State().Graphics_ResetRequest, 0);
    GeneralInfo_State().g_Options.windowFlag15 = true;
    altEnter();
    EXPECT_TRUE(Window_GetFullscreen());
    EXPECT_EQ(Window_State().Graphics_ResetRequest, 1);
    altEnter();
    EXPECT_FALSE(Window_GetFullscreen());
    // Alt alone is still a key.
    fake.InjectKey(VK_RMENU, true);
    Step();
    EXPECT_EQ(IO_KeyCheck(VK_MENU), 1);
    EXPECT_EQ(IO_KeyCheck(VK_RMENU), 1);
}

TEST_F(MainWindow, TracksFocusRaisesThePauseEventAndClosesAtOnce) {
    ASSERT_TRUE(Create());
    EXPECT_TRUE(Window_HasFocus());
    fake.InjectFocus(false);
    Pump();
    EXPECT_FALSE(Window_HasFocus());
    Window_Proc(WM_ACTIVATEAPP, 1, 0);
    EXPECT_TRUE(Window_HasFocus());
    EXPECT_TRUE(Window_IsAppActive());
    Window_Proc(WM_ACTIVATE, WA_INACTIVE, 0);
    OS_UpdatePauseEvent();
    EXPECT_TRUE(OS_IsPausedThisFrame());
    OS_UpdatePauseEvent();

    fake.InjectClose();
    Pump();
    EXPECT_FALSE(Platform_IsWindow());
    EXPECT_FALSE(fake.window.exists);
    EXPECT_TRUE(quit);
}

TEST_F(MainWindow, SizeAndPositionRequests) {
    ASSERT_TRUE(Create());
    Window_SetSize(320, 200);
    EXPECT_EQ(Window_State().Graphics_ResetRequest, 0);
    EXPECT_FALSE(Window_State().Window_DeviceState.keepWindowPosition);
    Window_SetSize(400, 300);
    EXPECT_EQ(Window_State().Graphics_ResetRequest, 1);
    EXPECT_TRUE(Window_State().Window_DeviceState.keepWindowPosition);
    EXPECT_EQ(Window_State().Window_DeviceState.pendingWidth, 400);
    // The cursor moves only while the window has the focus.
    Window_SetMouse(10, 20);
    EXPECT_EQ(fake.cursorX, fake.window.x + 10);
    EXPECT_EQ(fake.cursorY, fake.window.y + 20);
    fake.InjectFocus(false);
    Pump();
    Window_SetMouse(0, 0);
    EXPECT_EQ(fake.cursorX, fake.window.x + 10);
}

// --- mouse to room ---

struct Mapping : MainWindowTest {
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_TRUE(Create(640, 480));
        Window_State().Window_DeviceState.keepAspect = false;
    }
    void Move(int x, int y) {
        fake.InjectMouseMove(x, y);
        Step();
    }
};

TEST_F(Mapping, WithoutViewsOrRoomTheWindowIsTheRoom) {
    Move(123, 45);
    EXPECT_EQ(Window_GetMouseRoomX(0), 123);
    EXPECT_EQ(Window_GetMouseRoomY(0), 45);
    EXPECT_EQ(Window_GetMouseRoomX(5), 0);
    EXPECT_EQ(Window_GetMouseRoomX(-1), 0);
}

TEST_F(Mapping, ViewsMapThroughTheirPortsHighestFirst) {
    // View 0 shows room (100, 50) 320 x 240 in the whole 640 x 480 window.
    Window_SetViewPort(0, 0, 0, 640, 480, 100, 50, 320, 240, 0, -1);
    Move(64, 48);
    EXPECT_EQ(Window_GetMouseRoomX(0), 132);
    EXPECT_EQ(Window_GetMouseRoomY(0), 74);
    // View 1 in the lower-right quarter wins where its view holds the result.
    Window_SetViewPort(1, 320, 240, 320, 240, 1000, 1000, 160, 120, 0, -1);
    Move(480, 360);
    EXPECT_EQ(Window_GetMouseRoomX(0), 1080);
    EXPECT_EQ(Window_GetMouseRoomY(0), 1060);
    EXPECT_EQ(Window_GetViewMouseX(0), 340);
    EXPECT_EQ(Window_GetViewMouseY(0), 230);
    Window_ClearViewPort(1);
    EXPECT_EQ(Window_GetViewMouseX(1), 0);
}

TEST_F(Mapping, RotatedViewMapsThePortCentreToTheViewCentreAndBack) {
    Window_SetViewPort(0, 0, 0, 640, 480, 0, 0, 640, 480, 90, -1);
    Move(320, 240);
    EXPECT_EQ(Window_GetMouseRoomX(0), 320);
    EXPECT_EQ(Window_GetMouseRoomY(0), 240);
    Move(420, 240);
    int wx = 0;
    int wy = 0;
    Window_RoomToWindow(0, static_cast<float>(Window_GetMouseRoomX(0)), static_cast<float>(Window_GetMouseRoomY(0)),
                        wx, wy);
    EXPECT_EQ(wx, 420);
    EXPECT_EQ(wy, 240);
    Window_RoomToWindow(9, 1.5f, 2.5f, wx, wy);
    EXPECT_EQ(wx, 2);
    EXPECT_EQ(wy, 2);
}

TEST_F(Mapping, LetterboxMarginsAreTakenOffOnce) {
    Window_State().Window_DeviceState.keepAspect = true;
    Window_State().Window_DeviceState.gameSize = WindowSize{320, 480};
    Window_State().Window_DeviceState.backBufferSize = WindowSize{640, 480};
    int mx = 0;
    int my = 0;
    Display_GetAspectOffset(mx, my);
    ASSERT_EQ(mx, 160);
    ASSERT_EQ(my, 0);
    Window_SetViewPort(0, 0, 0, 320, 480, 0, 0, 320, 480, 0, -1);
    Move(160 + 100, 200);
    EXPECT_EQ(Window_GetMouseRoomX(0), 100);
    EXPECT_EQ(Window_GetMouseRoomY(0), 200);
}

TEST_F(Mapping, AMinimisedWindowKeepsTheLastRoomPosition) {
    Window_SetViewPort(0, 0, 0, 640, 480, 0, 0, 640, 480, 0, -1);
    Move(200, 100);
    EXPECT_EQ(Window_GetMouseRoomX(0), 200);
    Window_State().Window_DeviceState.clientSize = WindowSize{0, 0};
    Input_State().IO_RawMouse.x[0] = 5;
    EXPECT_EQ(Window_GetMouseRoomX(0), 200);
    EXPECT_EQ(Window_GetMouseRoomY(0), 100);
}

// --- built-ins ---

struct WindowBuiltIns : MainWindowTest {
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_TRUE(Create());
        Code_Function_Free();
        InitWindowFunctions();
        InitVirtualKeyFunctions();
    }
    void TearDown() override {
        Code_Function_Free();
        MainWindowTest::TearDown();
    }
};

TEST_F(WindowBuiltIns, CaptionCursorAndColour) {
    CallBuiltIn("window_set_caption", {"Title \xC3\xA9"});
    EXPECT_EQ(CallText("window_get_caption"), "Title \xC3\xA9");
    EXPECT_EQ(fake.window.caption, "Title \xC3\xA9");

    CallReal("window_set_cursor", {-1});
    EXPECT_EQ(CallReal("window_get_cursor"), -1);
    EXPECT_FALSE(GeneralInfo_State().g_Options.showCursor);
    EXPECT_EQ(fake.window.cursor, IDC_NONE);
    for (auto [value, cursor] : {std::pair{-9, IDC_SIZEWE}, std::pair{-18, IDC_NO}, std::pair{-22, IDC_SIZEALL}}) {
        CallReal("window_set_cursor", {static_cast<double>(value)});
        EXPECT_EQ(fake.window.cursor, cursor) << value;
    }
    // Other values are only stored; over the client area the procedure shows the current cursor.
    CallReal("window_set_cursor", {5});
    EXPECT_EQ(CallReal("window_get_cursor"), 5);
    fake.window.cursor = IDC_ARROW;
    EXPECT_EQ(Window_Proc(WM_SETCURSOR, 0, HTCLIENT), 1);
    EXPECT_EQ(fake.window.cursor, IDC_SIZEALL);

    CallReal("window_set_color", {static_cast<double>(0xFF123456u)});
    EXPECT_EQ(CallReal("window_get_color"), 0x123456);
    EXPECT_EQ(CallReal("window_get_height"), 200);
}

TEST_F(WindowBuiltIns, MouseQueriesGoThroughTheMapping) {
    fake.InjectMouseMove(30, 40);
    fake.InjectMouseButton(1, true);
    Step();
    EXPECT_EQ(CallReal("window_mouse_get_x"), 30);
    EXPECT_EQ(CallReal("device_mouse_x", {0}), 30);
    EXPECT_EQ(CallReal("Zebo_MouseY", {0}), 40);
    EXPECT_EQ(CallReal("device_mouse_x", {5}), 0);
    EXPECT_EQ(CallReal("device_mouse_check_button", {0, -1}), 1);
    EXPECT_EQ(CallReal("device_mouse_check_button_pressed", {0, 1}), 1);
    EXPECT_EQ(CallReal("device_mouse_check_button", {1, 1}), 0);
}

TEST_F(WindowBuiltIns, VirtualKeysCheckTheirArgumentsAndHandles) {
    const double handle = CallReal("virtual_key_add", {10, 20, 30, 40, 'A'});
    ASSERT_EQ(handle, 1);
    const IOVirtualKey& r = Input_State().IO_State.virtualKeys[0];
    EXPECT_EQ(r.x2, 40);
    EXPECT_EQ(r.y2, 60);
    EXPECT_EQ(r.flags, kVirtualKeyActive);
    CallReal("virtual_key_show", {handle});
    EXPECT_EQ(r.flags, kVirtualKeyActive | kVirtualKeyShown);
    CallReal("Zebo_HideVirtualKey", {handle});
    EXPECT_EQ(r.flags, kVirtualKeyActive);
    // Bad handles, kinds and counts change nothing.
    CallReal("virtual_key_delete", {0});
    CallReal("virtual_key_delete", {129});
    CallBuiltIn("virtual_key_delete", {"1"});
    CallReal("virtual_key_delete", {1, 2});
    EXPECT_EQ(r.flags, kVirtualKeyActive);
    EXPECT_EQ(CallReal("virtual_key_add", {"x", 0, 0, 0, 0}), 0);
    EXPECT_EQ(Input_State().IO_State.virtualKeys[1].flags, 0);
    CallReal("virtual_key_delete", {1});
    EXPECT_EQ(r.flags, 0);
    for (int i = 0; i < kIOVirtualKeyCount; ++i) EXPECT_EQ(CallReal("virtual_key_add", {0, 0, 1, 1, 'B'}), i + 1);
    EXPECT_EQ(CallReal("virtual_key_add", {0, 0, 1, 1, 'B'}), 0);
}

} // namespace
