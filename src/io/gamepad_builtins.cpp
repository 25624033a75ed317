// The gamepad_* built-ins (their own group) and the joystick_* built-ins (in the interaction group).
#include "core/text.h"
#include "io/gamepad.h"
#include "library/builtin.h"
#include "platform/gamepad.h"
#include "script/compiler/compile.h"
#include "script/value.h"

namespace {

void SetReal(ScriptValue& result, double d) { Value_SetReal(&result, d); }

// Shown once per run when there is no pad layer, by the first query of a button or axis or a vibration.
void WarnMissing() {
    static bool warned = false;
    if (Gamepad_IsAvailable() || warned) return;
    warned = true;
    Code_Error_Show("xinput1_3.dll not found. Gamepad support disabled", false);
}

// The device of the first argument, or null when the call has fewer than needed arguments (reported) or
// names no device.
GamepadDevice* Device(const BuiltInArgs& args, int needed) {
    if (args.count < needed) {
        Code_Error_Show("Wrong number of arguments to function or script.", false);
        return nullptr;
    }
    return Gamepad_Get(args.Rounded(0));
}

// Button constants (gp_face1 .. gp_padr) to slots; another code from 32768 up is slot 0, a code below it
// is used as it stands.
int ButtonCode(int32_t code) {
    static const int kSlots[16] = {12, 13, 14, 15, 8, 9, 10, 11, 5, 4, 6, 7, 0, 1, 2, 3};
    if (code < 32768) return code;
    if (code >= 32769 && code <= 32784) return kSlots[code - 32769];
    return 0;
}

// Axis constants (gp_axislh .. gp_axisrv) to axes, the vertical ones inverted; a code below 32768 is
// used as it stands (never inverted), another one is axis 0.
int AxisCode(int32_t code) {
    static const int kAxes[4] = {0, 1 | GamepadDevice::kInverted, 2, 3 | GamepadDevice::kInverted};
    if (code < 32768) return code;
    if (code >= 32785 && code <= 32788) return kAxes[code - 32785];
    return 0;
}

BUILTIN_BODY(gamepad_is_supported) { SetReal(result, Gamepad_IsAvailable() ? 1 : 0); }
BUILTIN_BODY(gamepad_get_device_count) { SetReal(result, Gamepad_Count()); }

BUILTIN_BODY(gamepad_is_connected) {
    if (GamepadDevice* pad = Device(args, 1)) SetReal(result, pad->Connected() ? 1 : 0);
}

BUILTIN_BODY(gamepad_get_description) {
    GamepadDevice* pad = Device(args, 1);
    BuiltIn_SetText(result, String_Duplicate(pad ? pad->Description().c_str() : ""));
}

BUILTIN_BODY(gamepad_get_button_threshold) {
    if (GamepadDevice* pad = Device(args, 1)) SetReal(result, pad->threshold);
}

BUILTIN_BODY(gamepad_get_axis_deadzone) {
    if (GamepadDevice* pad = Device(args, 1)) SetReal(result, pad->deadZone);
}

// Stores a value of 0..1 (NaN is outside), else reports the message.
void SetUnitValue(const BuiltInArgs& args, float GamepadDevice::*field, const char* message) {
    GamepadDevice* pad = Device(args, 2);
    if (!pad) return;
    const double v = args.Real(1);
    if (v >= 0 && v <= 1)
        pad->*field = static_cast<float>(v);
    else
        Code_Error_Show(message, false);
}

BUILTIN_BODY(gamepad_set_button_threshold) {
    SetUnitValue(args, &GamepadDevice::threshold, "Button threshold is outside the accepted range");
}
BUILTIN_BODY(gamepad_set_axis_deadzone) {
    SetUnitValue(args, &GamepadDevice::deadZone, "Axis dead zone is outside the accepted range");
}

BUILTIN_BODY(gamepad_button_count) {
    if (GamepadDevice* pad = Device(args, 1)) SetReal(result, pad->ButtonCount());
}
BUILTIN_BODY(gamepad_axis_count) {
    if (GamepadDevice* pad = Device(args, 1)) SetReal(result, pad->AxisCount());
}

template <bool (GamepadDevice::*Check)(int) const> void F_ButtonCheck(ScriptValue& result, const BuiltInArgs& args) {
    WarnMissing();
    if (GamepadDevice* pad = Device(args, 2)) SetReal(result, (pad->*Check)(ButtonCode(args.Rounded(1))) ? 1 : 0);
}

BUILTIN_BODY(gamepad_button_value) {
    WarnMissing();
    if (GamepadDevice* pad = Device(args, 2)) SetReal(result, pad->ButtonValue(ButtonCode(args.Rounded(1))));
}

BUILTIN_BODY(gamepad_axis_value) {
    WarnMissing();
    if (GamepadDevice* pad = Device(args, 2)) SetReal(result, pad->AxisValue(AxisCode(args.Rounded(1))));
}

BUILTIN_BODY(gamepad_set_vibration) {
    WarnMissing();
    if (GamepadDevice* pad = Device(args, 3)) pad->SetVibration(args.Real(1), args.Real(2));
}

const BuiltInRegistration kGamepadFunctions[] = {
    BUILTIN_ENTRY(gamepad_is_supported, 0),
    BUILTIN_ENTRY(gamepad_get_device_count, 0),
    BUILTIN_ENTRY(gamepad_is_connected, 1),
    BUILTIN_ENTRY(gamepad_get_description, 1),
    BUILTIN_ENTRY(gamepad_get_button_threshold, 1),
    BUILTIN_ENTRY(gamepad_set_button_threshold, 2),
    BUILTIN_ENTRY(gamepad_get_axis_deadzone, 1),
    BUILTIN_ENTRY(gamepad_set_axis_deadzone, 2),
    BUILTIN_ENTRY(gamepad_button_count, 1),
    {"gamepad_button_check", BuiltIn_Call<F_ButtonCheck<&GamepadDevice::ButtonDown>>, 2},
    {"gamepad_button_check_pressed", BuiltIn_Call<F_ButtonCheck<&GamepadDevice::ButtonPressed>>, 2},
    {"gamepad_button_check_released", BuiltIn_Call<F_ButtonCheck<&GamepadDevice::ButtonReleased>>, 2},
    BUILTIN_ENTRY(gamepad_button_value, 2),
    BUILTIN_ENTRY(gamepad_axis_count, 1),
    BUILTIN_ENTRY(gamepad_axis_value, 2),
    BUILTIN_ENTRY(gamepad_set_vibration, 3),
};

// --- joysticks ---

// Argument 2 chooses the second joystick, anything else the first.
int Joystick(const BuiltInArgs& args) { return args.Rounded(0) == 2 ? 1 : 0; }

BUILTIN_BODY(joystick_exists) {
    PlatformJoystickPos pos;
    SetReal(result, Platform_GetJoystickPos(Joystick(args), pos) ? 1 : 0);
}

// The keypad key of the stick's direction: 97..105, 101 (centre) when it cannot be read.
BUILTIN_BODY(joystick_direction) {
    PlatformJoystickPos pos;
    if (!Platform_GetJoystickPos(Joystick(args), pos)) {
        SetReal(result, 101);
        return;
    }
    const int column = pos.x < 20000 ? 0 : pos.x <= 44000 ? 1 : 2;
    const int row = pos.y < 20000 ? 6 : pos.y <= 44000 ? 3 : 0;
    SetReal(result, 97 + row + column);
}

BUILTIN_BODY(joystick_name) {
    PlatformJoystickCaps caps;
    Platform_GetJoystickCaps(Joystick(args), caps);
    BuiltIn_SetText(result, String_Duplicate(caps.name.c_str()));
}

template <typename Read> void CapsResult(ScriptValue& result, const BuiltInArgs& args, Read read) {
    PlatformJoystickCaps caps;
    if (Platform_GetJoystickCaps(Joystick(args), caps)) SetReal(result, read(caps));
}
BUILTIN_BODY(joystick_axes) { CapsResult(result, args, [](const PlatformJoystickCaps& c) { return c.axes; }); }
BUILTIN_BODY(joystick_buttons) { CapsResult(result, args, [](const PlatformJoystickCaps& c) { return c.buttons; }); }
BUILTIN_BODY(joystick_has_pov) {
    CapsResult(result, args, [](const PlatformJoystickCaps& c) { return c.hasPov ? 1 : 0; });
}

BUILTIN_BODY(joystick_check_button) {
    const int n = args.Rounded(1);
    PlatformJoystickPos pos;
    if (n < 1 || n > 32 || !Platform_GetJoystickPos(Joystick(args), pos)) return;
    SetReal(result, (pos.buttons >> (n - 1)) & 1);
}

template <uint32_t PlatformJoystickPos::*Axis> void F_JoystickAxis(ScriptValue& result, const BuiltInArgs& args) {
    PlatformJoystickPos pos;
    if (Platform_GetJoystickPos(Joystick(args), pos)) SetReal(result, pos.*Axis / 32767.0 - 1);
}

BUILTIN_BODY(joystick_pov) {
    PlatformJoystickPos pos;
    const double degrees = Platform_GetJoystickPos(Joystick(args), pos) ? pos.pov / 100.0 : -1;
    SetReal(result, degrees > 360 ? -1 : degrees);
}

#define JOYSTICK_AXIS(name, axis) {#name, BuiltIn_Call<F_JoystickAxis<&PlatformJoystickPos::axis>>, 1}

const BuiltInRegistration kJoystickFunctions[] = {
    BUILTIN_ENTRY(joystick_exists, 1),
    BUILTIN_ENTRY(joystick_direction, 1),
    BUILTIN_ENTRY(joystick_name, 1),
    BUILTIN_ENTRY(joystick_axes, 1),
    BUILTIN_ENTRY(joystick_buttons, 1),
    BUILTIN_ENTRY(joystick_has_pov, 1),
    BUILTIN_ENTRY(joystick_check_button, 2),
    JOYSTICK_AXIS(joystick_xpos, x),
    JOYSTICK_AXIS(joystick_ypos, y),
    JOYSTICK_AXIS(joystick_zpos, z),
    JOYSTICK_AXIS(joystick_rpos, r),
    JOYSTICK_AXIS(joystick_upos, u),
    JOYSTICK_AXIS(joystick_vpos, v),
    BUILTIN_ENTRY(joystick_pov, 1),
};

#undef JOYSTICK_AXIS

} // namespace

void InitGamepadFunctions() {
    BuiltIn_Register(kGamepadFunctions);
    Gamepad_Init();
}

void InitJoystickFunctions() { BuiltIn_Register(kJoystickFunctions); }
