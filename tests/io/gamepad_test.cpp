#include "io/gamepad.h"

#include "data/general_info.h"
#include "library/builtin_test_util.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <linux/uinput.h>
#include <memory>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int gp_face1 = 32769, gp_shoulderlb = 32775, gp_padu = 32781, gp_axislh = 32785, gp_axislv = 32786;

struct GamepadTest : ::testing::Test {
    CFakePlatform fake;
    void SetUp() override {
        fake.padsAvailable = true;
        Platform_SetBackend(&fake);
        GeneralInfo_State().g_GeneralInfo = GeneralInfo{};
        Code_Function_Free();
        InitJoystickFunctions();
        testing::internal::CaptureStdout();
        InitGamepadFunctions();
        testing::internal::GetCapturedStdout();
    }
    void TearDown() override {
        Gamepad_Free();
        Code_Function_Free();
        Platform_SetBackend(nullptr);
    }
    void Plug(int pad) {
        fake.pads[pad].connected = true;
        for (int i = 0; i < 4 && !Gamepad_Get(pad)->Connected(); ++i) Gamepad_Poll();
    }
};

} // namespace

TEST_F(GamepadTest, APadPluggedInIsSeenWithinFourStepsAndReadsItsButtonsAndAxes) {
    fake.pads[2].connected = true;
    int steps = 0;
    while (!CallReal("gamepad_is_connected", {2})) {
        ASSERT_LT(steps, 4);
        Gamepad_Poll();
        ++steps;
    }
    EXPECT_EQ(CallText("gamepad_get_description", {2}), "Xbox 360 Controller (XInput STANDARD GAMEPAD)");
    EXPECT_EQ(CallReal("gamepad_button_count", {2}), 16);
    EXPECT_EQ(CallReal("gamepad_axis_count", {1}), 0);

    PlatformPadState& s = fake.pads[2].state;
    s.buttons = PAD_A | PAD_DPAD_UP;
    s.leftTrigger = 128; // halfway: at the threshold
    s.thumbLY = 32767;   // pushed up
    Gamepad_Poll();
    EXPECT_EQ(CallReal("gamepad_button_check_pressed", {2, gp_face1}), 1);
    EXPECT_EQ(CallReal("gamepad_button_check", {2, gp_padu}), 1);
    EXPECT_EQ(CallReal("gamepad_button_check", {2, gp_shoulderlb}), 1);
    EXPECT_EQ(CallReal("gamepad_button_value", {2, gp_shoulderlb}), 0.5);
    EXPECT_LT(CallReal("gamepad_axis_value", {2, gp_axislv}), -0.99); // up is negative
    EXPECT_GT(CallReal("gamepad_axis_value", {2, 1}), 0.99);         // a raw index is never inverted
    s.leftTrigger = 127;
    s.buttons = 0;
    Gamepad_Poll();
    EXPECT_EQ(CallReal("gamepad_button_check", {2, gp_shoulderlb}), 0);
    EXPECT_EQ(CallReal("gamepad_button_check_released", {2, gp_face1}), 1);
    EXPECT_EQ(CallReal("gamepad_button_check_pressed", {2, gp_face1}), 0);

    // Unplugged: disconnected within a step, its values cleared.
    fake.pads[2].connected = false;
    Gamepad_Poll();
    EXPECT_EQ(CallReal("gamepad_is_connected", {2}), 0);
    EXPECT_EQ(CallReal("gamepad_axis_value", {2, gp_axislv}), 0);
    EXPECT_EQ(CallText("gamepad_get_description", {2}), "");
}

TEST_F(GamepadTest, DeadZoneThresholdAndAxesUsedAsButtons) {
    Plug(0);
    EXPECT_EQ(CallReal("gamepad_get_device_count"), 4);
    CallBuiltIn("gamepad_set_axis_deadzone", {0, 0.25});
    const auto axis = [&](int16_t raw) {
        fake.pads[0].state.thumbLX = raw;
        Gamepad_Poll();
        return CallReal("gamepad_axis_value", {0, gp_axislh});
    };
    EXPECT_EQ(axis(8192), 0);    // 0.25: inside
    EXPECT_EQ(axis(-20480), -0.5); // -0.625
    EXPECT_NEAR(axis(32767), 1, 1e-4);
    // An axis used as a button: 0x1000, 0x2000 for its negative direction.
    EXPECT_EQ(CallReal("gamepad_button_check", {0, 0x1000}), 1);
    EXPECT_EQ(CallReal("gamepad_button_check", {0, 0x3000}), 0);
    axis(-32768);
    EXPECT_EQ(CallReal("gamepad_button_check_pressed", {0, 0x3000}), 1);
    EXPECT_EQ(CallReal("gamepad_button_check_released", {0, 0x1000}), 1);
    EXPECT_EQ(CallReal("gamepad_axis_value", {0, 7}), 0); // no such axis

    // Dead zone 1: every value is inside, never 0/0.
    CallBuiltIn("gamepad_set_axis_deadzone", {0, 1.0});
    EXPECT_EQ(axis(-32768), 0);
    // Out of range or NaN: the message, the value kept.
    const std::string said = ConsoleOutputOf([] {
        CallBuiltIn("gamepad_set_button_threshold", {0, 1.5});
        CallBuiltIn("gamepad_set_axis_deadzone", {0, std::nan("")});
    });
    EXPECT_NE(said.find("Button threshold is outside the accepted range"), std::string::npos) << said;
    EXPECT_NE(said.find("Axis dead zone is outside the accepted range"), std::string::npos) << said;
    EXPECT_EQ(CallReal("gamepad_get_button_threshold", {0}), 0.5);
    EXPECT_EQ(CallReal("gamepad_get_axis_deadzone", {0}), 1.0);

    CallBuiltIn("gamepad_set_vibration", {0, 0.5, 7.0});
    Gamepad_Poll();
    EXPECT_EQ(fake.pads[0].vibrationLeft, 32767);
    EXPECT_EQ(fake.pads[0].vibrationRight, 65535);
    // Devices that do not exist, and too few arguments.
    EXPECT_EQ(CallReal("gamepad_is_connected", {4}), 0);
    EXPECT_NE(ConsoleOutputOf([] { CallBuiltIn("gamepad_button_check", {0}); })
                  .find("Wrong number of arguments to function or script."),
              std::string::npos);
}

TEST_F(GamepadTest, WithoutThePadLayerNothingConnectsAndTheWarningShowsOnce) {
    fake.padsAvailable = false;
    fake.pads[0].connected = true;
    Gamepad_Poll();
    EXPECT_EQ(CallReal("gamepad_is_supported"), 0);
    const std::string said = ConsoleOutputOf([] {
        CallBuiltIn("gamepad_button_check", {0, gp_face1});
        CallBuiltIn("gamepad_axis_value", {0, gp_axislh});
    });
    const size_t first = said.find("Gamepad support disabled");
    EXPECT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find("Gamepad support disabled", first + 1), std::string::npos) << said;
    EXPECT_EQ(CallReal("gamepad_is_connected", {0}), 0);
}

TEST_F(GamepadTest, JoysticksAnswerFromTheirPositionsAndNeutrallyWhenMissing) {
    EXPECT_EQ(CallReal("joystick_exists", {1}), 0);
    EXPECT_EQ(CallText("joystick_name", {1}), "");
    EXPECT_EQ(CallReal("joystick_direction", {1}), 101);
    EXPECT_EQ(CallReal("joystick_pov", {1}), -1);

    CFakePlatform::Joystick& second = fake.joysticks[1];
    second.present = true;
    second.caps = PlatformJoystickCaps{"Stick", 3, 8, false};
    second.pos.x = 0;
    second.pos.y = 0;
    second.pos.buttons = 0x80000001u;
    second.pos.pov = 9000;
    EXPECT_EQ(CallReal("joystick_exists", {2}), 1);
    EXPECT_EQ(CallReal("joystick_exists", {7}), 0); // anything but 2 is the first
    EXPECT_EQ(CallText("joystick_name", {2}), "Stick");
    EXPECT_EQ(CallReal("joystick_has_pov", {2}), 0);
    EXPECT_EQ(CallReal("joystick_direction", {2}), 103); // up-left
    EXPECT_EQ(CallReal("joystick_xpos", {2}), -1);
    EXPECT_EQ(CallReal("joystick_zpos", {2}), 0);
    EXPECT_EQ(CallReal("joystick_check_button", {2, 1}), 1);
    EXPECT_EQ(CallReal("joystick_check_button", {2, 32}), 1);
    EXPECT_EQ(CallReal("joystick_check_button", {2, 33}), 0);
    EXPECT_EQ(CallReal("joystick_pov", {2}), 90);
    second.pos.pov = 65535; // centred
    EXPECT_EQ(CallReal("joystick_pov", {2}), -1);
}

// A game that does not poll its pads leaves SDL's game-controller layer unstarted until a gamepad
// built-in asks for it; one that polls starts it with its first poll.
TEST(GamepadDevice, ThePadLayerStartsWithTheFirstPollOrQuery) {
    ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
    for (const int64_t optionBits : {0, 4}) {
        SCOPED_TRACE(optionBits);
        std::unique_ptr<CSDLPlatform> sdl = CSDLPlatform::Create();
        ASSERT_TRUE(sdl);
        Platform_SetBackend(sdl.get());
        GeneralInfo_State().g_GeneralInfo.optionBits = optionBits;
        Code_Function_Free();
        testing::internal::CaptureStdout();
        InitGamepadFunctions(); // polls once
        testing::internal::GetCapturedStdout();
        Gamepad_Poll();
        EXPECT_EQ(SDL_WasInit(SDL_INIT_GAMECONTROLLER) != 0, optionBits != 0);
        EXPECT_EQ(CallReal("gamepad_is_supported"), 1);
        EXPECT_NE(SDL_WasInit(SDL_INIT_GAMECONTROLLER), 0u);
        Gamepad_Free();
        Code_Function_Free();
        Platform_SetBackend(nullptr);
    }
    GeneralInfo_State().g_GeneralInfo = GeneralInfo{};
}

// A virtual pad made through the kernel's uinput device, read through SDL's game-controller layer:
// only where the machine offers /dev/uinput.
TEST(GamepadDevice, AVirtualPadThroughUinputIsReadBySDL) {
    const int fd = ::open("/dev/uinput", O_WRONLY | O_NONBLOCK);
    if (fd < 0) GTEST_SKIP() << "/dev/uinput cannot be opened here, so no virtual pad can be made";
    const auto emit = [&](int type, int code, int value) {
        input_event e{};
        e.type = static_cast<uint16_t>(type);
        e.code = static_cast<uint16_t>(code);
        e.value = value;
        ASSERT_EQ(::write(fd, &e, sizeof e), static_cast<ssize_t>(sizeof e));
    };
    ::ioctl(fd, UI_SET_EVBIT, EV_KEY);
    for (int key : {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR, BTN_SELECT, BTN_START, BTN_MODE,
                    BTN_THUMBL, BTN_THUMBR})
        ::ioctl(fd, UI_SET_KEYBIT, key);
    ::ioctl(fd, UI_SET_EVBIT, EV_ABS);
    uinput_setup setup{};
    setup.id.bustype = BUS_USB;
    setup.id.vendor = 0x1234;
    setup.id.product = 0x5678;
    std::strcpy(setup.name, "Runner Test Pad");
    for (int axis : {ABS_X, ABS_Y, ABS_RX, ABS_RY}) {
        uinput_abs_setup abs{};
        abs.code = static_cast<uint16_t>(axis);
        abs.absinfo.minimum = -32768;
        abs.absinfo.maximum = 32767;
        ::ioctl(fd, UI_ABS_SETUP, &abs);
        ::ioctl(fd, UI_SET_ABSBIT, axis);
    }
    ::ioctl(fd, UI_DEV_SETUP, &setup);
    ASSERT_EQ(::ioctl(fd, UI_DEV_CREATE), 0);

    ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
    std::unique_ptr<CSDLPlatform> sdl = CSDLPlatform::Create();
    ASSERT_TRUE(sdl);
    Platform_SetBackend(sdl.get());
    PlatformPadState state;
    bool seen = false;
    for (int i = 0; i < 200 && !seen; ++i) {
        Platform_UpdatePads();
        seen = Platform_GetPadState(0, state);
        if (!seen) ::usleep(10000);
    }
    if (seen) {
        emit(EV_KEY, BTN_SOUTH, 1);
        emit(EV_ABS, ABS_Y, -32768);
        emit(EV_SYN, SYN_REPORT, 0);
        bool pressed = false;
        for (int i = 0; i < 200 && !pressed; ++i) {
            ::usleep(10000);
            Platform_UpdatePads();
            pressed = Platform_GetPadState(0, state) && (state.buttons & PAD_A);
        }
        EXPECT_TRUE(pressed);
        EXPECT_EQ(state.thumbLY, 32767); // up is positive
    }
    ::ioctl(fd, UI_DEV_DESTROY);
    ::close(fd);
    Platform_SetBackend(nullptr);
    sdl.reset();
    if (!seen) GTEST_SKIP() << "the virtual pad was made but SDL saw no game controller (no device nodes here)";
}
