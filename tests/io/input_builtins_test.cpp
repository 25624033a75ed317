#include "io/input_builtins.h"

#include "io/io_fixture.h"
#include "io/message_pump.h"
#include "library/builtin_test_util.h"
#include "platform/keys.h"

namespace {

struct InputBuiltinsTest : MainWindowTest {
    void SetUp() override {
        MainWindowTest::SetUp();
        Code_Function_Free();
        InitKeyboardFunctions();
        fake.hasDisplay = true;
        MessagePump_State().Run_Running = 1;
        ASSERT_TRUE(Create());
    }
    void TearDown() override {
        MessagePump_State().Run_Running = 0;
        Code_Function_Free();
        MainWindowTest::TearDown();
    }
};

} // namespace

TEST_F(InputBuiltinsTest, KeysPressedByTheGameReachTheWindowLikeRealOnes) {
    CallBuiltIn("keyboard_key_press", {'A'});
    Step();
    EXPECT_EQ(CallReal("keyboard_check", {'A'}), 1);
    EXPECT_EQ(CallReal("keyboard_check_pressed", {'A'}), 1);
    EXPECT_EQ(CallReal("keyboard_check", {VK_ANYKEY}), 1);
    EXPECT_EQ(CallReal("keyboard_check", {VK_NOKEY}), 0);
    EXPECT_EQ(CallReal("keyboard_check", {300}), 0);
    CallBuiltIn("keyboard_key_release", {'A'});
    Step();
    EXPECT_EQ(CallReal("keyboard_check_released", {'A'}), 1);
    EXPECT_EQ(CallReal("keyboard_check", {VK_NOKEY}), 1);

    // A mapped key is recorded as its mapping.
    CallBuiltIn("keyboard_set_map", {'W', VK_UP});
    EXPECT_EQ(CallReal("keyboard_get_map", {'W'}), VK_UP);
    fake.InjectKey('W', true);
    Step();
    EXPECT_EQ(CallReal("keyboard_check", {VK_UP}), 1);
    CallBuiltIn("io_clear");
    EXPECT_EQ(CallReal("keyboard_check", {VK_ANYKEY}), 0);

    // Num Lock toggled through a press and release of its key.
    CallBuiltIn("keyboard_set_numlock", {1});
    EXPECT_EQ(CallReal("keyboard_get_numlock"), 1);
    Step();
    EXPECT_EQ(CallReal("keyboard_check_released", {VK_NUMLOCK}), 1);
}

// A key sent by the game has no text of its own: it types the character a US keyboard gives it, with a
// shift sent before it counting at once, and types nothing while Control is held.
TEST_F(InputBuiltinsTest, KeysPressedByTheGameTypeTheirCharacters) {
    const auto tap = [](int key) {
        CallBuiltIn("keyboard_key_press", {static_cast<double>(key)});
        CallBuiltIn("keyboard_key_release", {static_cast<double>(key)});
    };
    tap('H');
    tap('1');
    tap(VK_SPACE);
    tap(VK_OEM_MINUS);
    tap(VK_NUMPAD0 + 7);
    Step();
    EXPECT_STREQ(IO_GetKeyboardString(), "h1 -7");
    EXPECT_EQ(IO_GetLastChar(), '7');
    CallBuiltIn("keyboard_key_press", {VK_SHIFT});
    tap('B');
    tap('1');
    tap(VK_OEM_4);
    CallBuiltIn("keyboard_key_release", {VK_SHIFT});
    tap(VK_OEM_4);
    CallBuiltIn("keyboard_key_press", {VK_CONTROL});
    tap('C');
    CallBuiltIn("keyboard_key_release", {VK_CONTROL});
    tap(VK_LEFT);
    Step();
    EXPECT_STREQ(IO_GetKeyboardString(), "h1 -7B!{[");
    // Backspace takes the last character off, as typed on the keyboard.
    tap(VK_BACK);
    Step();
    EXPECT_STREQ(IO_GetKeyboardString(), "h1 -7B!{");
}

TEST_F(InputBuiltinsTest, MouseButtonsWheelAndClear) {
    fake.InjectMouseMove(10, 10);
    fake.InjectMouseButton(2, true);
    fake.InjectWheel(1);
    Step();
    EXPECT_EQ(CallReal("mouse_check_button", {MB_ANY}), 1);
    EXPECT_EQ(CallReal("mouse_check_button", {MB_NONE}), 0);
    EXPECT_EQ(CallReal("mouse_check_button_pressed", {2}), 1);
    EXPECT_EQ(CallReal("mouse_check_button", {4}), 0);
    EXPECT_EQ(CallReal("mouse_wheel_up"), 1);
    CallBuiltIn("mouse_clear", {MB_ANY});
    EXPECT_EQ(CallReal("mouse_check_button", {MB_NONE}), 1);
}

TEST_F(InputBuiltinsTest, WaitsEndAtTheNextPressOrWhenTheWindowCloses) {
    fake.InjectKeyPress('A');
    Step();
    // A key pressed before the call does not count; the next one ends the wait.
    fake.InjectKeyPress('B');
    CallBuiltIn("keyboard_wait");
    EXPECT_EQ(Input_State().IO_State.message.lastKey, 'B');
    fake.InjectMouseMove(5, 5);
    fake.InjectMouseButton(1, true);
    CallBuiltIn("mouse_wait");
    EXPECT_EQ(Input_State().IO_State.message.lastMouseButton[0], 1);
    // The window closed while waiting: the quit ends the wait instead of hanging.
    fake.InjectClose();
    CallBuiltIn("keyboard_wait");
    EXPECT_EQ(MessagePump_State().Run_Running, 0);
}
