// The gamepads (four devices of 16 buttons and 4 axes, polled once per step with the input update) and
// the gamepad_* and joystick_* built-ins.
#pragma once

#include <cstdint>
#include <string>

class GamepadDevice {
public:
    static constexpr int kButtons = 16;
    static constexpr int kAxes = 4;
    // Codes: a button or axis index, with flag bits. 0x8000 on an axis: inverted. 0x1000: an axis used as
    // a button (0x2000 its negative direction; 0x4000 is ignored).
    static constexpr int kInverted = 0x8000;
    static constexpr int kAxisButton = 0x1000;
    static constexpr int kAxisNegative = 0x2000;
    static constexpr int kAxisIgnored = 0x4000;

    GamepadDevice();

    bool Connected() const { return m_connected; }
    // Disconnecting clears every value.
    void SetConnected(bool connected);
    const std::string& Description() const { return m_description; }
    void SetDescription(const char* text) { m_description = text ? text : ""; }
    int ButtonCount() const { return m_connected ? kButtons : 0; }
    int AxisCount() const { return m_connected ? kAxes : 0; }

    bool ButtonDown(int code) const;
    bool ButtonPressed(int code) const;
    bool ButtonReleased(int code) const;
    float ButtonValue(int code) const;
    float AxisValue(int code) const;
    // The previous values become the new ones'.
    void Update(const float (&buttons)[kButtons], const float (&axes)[kAxes]);

    float threshold = 0.5f;
    float deadZone = 0.0f;
    float vibrationLeft = 0.0f, vibrationRight = 0.0f;
    void SetVibration(double left, double right);

private:
    // The value of a button code from the current or the previous values (0 for a code out of range).
    float Value(int code, bool previous) const;
    float DeadZoned(float v) const;

    bool m_connected = false;
    float m_buttons[kButtons] = {}, m_previousButtons[kButtons] = {};
    float m_axes[kAxes] = {}, m_previousAxes[kAxes] = {};
    std::string m_description;
};

// The device table: 4 pads once Gamepad_Init has run, 0 before.
int Gamepad_Count();
GamepadDevice* Gamepad_Get(int index);

// Makes the four devices and polls once (the end of the gamepad registration).
void Gamepad_Init();
// Once per step from the input update: reads the connected pads and one other slot in turn, so a pad
// plugged in is seen within four steps.
void Gamepad_Poll();
void Gamepad_Free();
bool Gamepad_IsAvailable();

// Registers the 16 gamepad built-ins (their group), then makes the devices.
void InitGamepadFunctions();
// Registers the 14 joystick built-ins (in the interaction group).
void InitJoystickFunctions();
