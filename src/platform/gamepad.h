// Game controllers, in the shape the engine reads them: up to four gamepads with a 16-bit button word,
// two trigger bytes and four signed 16-bit stick axes (bits and ranges as kept by the engine's pad
// layer), and the two joysticks of the older joystick functions with their capabilities and positions
// (axes 0..65535, centre 32767). The SDL backend reads them through SDL's game-controller interface
// (its built-in mapping database, extended by the SDL_GAMECONTROLLERCONFIG variable); the fake platform
// takes devices from the test.
#pragma once

#include <cstdint>
#include <string>

constexpr int kPlatformPadCount = 4;

// Bits of the button word.
constexpr uint16_t PAD_DPAD_UP = 0x0001;
constexpr uint16_t PAD_DPAD_DOWN = 0x0002;
constexpr uint16_t PAD_DPAD_LEFT = 0x0004;
constexpr uint16_t PAD_DPAD_RIGHT = 0x0008;
constexpr uint16_t PAD_START = 0x0010;
constexpr uint16_t PAD_BACK = 0x0020;
constexpr uint16_t PAD_LEFT_THUMB = 0x0040;
constexpr uint16_t PAD_RIGHT_THUMB = 0x0080;
constexpr uint16_t PAD_LEFT_SHOULDER = 0x0100;
constexpr uint16_t PAD_RIGHT_SHOULDER = 0x0200;
constexpr uint16_t PAD_A = 0x1000;
constexpr uint16_t PAD_B = 0x2000;
constexpr uint16_t PAD_X = 0x4000;
constexpr uint16_t PAD_Y = 0x8000;

// Kinds of pad (the device subtype): 1 gamepad, 2 wheel, 3 arcade stick, 4 flight stick, 5 dance pad,
// 6 guitar, 8 drum kit; 0 unknown.
struct PlatformPadState {
    uint16_t buttons = 0;
    uint8_t leftTrigger = 0, rightTrigger = 0;
    int16_t thumbLX = 0, thumbLY = 0, thumbRX = 0, thumbRY = 0;
};

struct PlatformJoystickCaps {
    std::string name;
    int axes = 0;
    int buttons = 0;
    bool hasPov = false;
};

struct PlatformJoystickPos {
    uint32_t x = 32767, y = 32767, z = 32767, r = 32767, u = 32767, v = 32767;
    uint32_t buttons = 0; // bit n-1: button n
    uint32_t pov = 65535; // hundredths of a degree clockwise from up; 65535 centred
};

// True when the pad layer is up (the system's controller support could be started).
bool Platform_PadsAvailable();
// Takes in what happened to the controllers since the last call (devices plugged in or out); once per
// poll of the pads.
void Platform_UpdatePads();
// False when no pad is connected in that slot (0..3).
bool Platform_GetPadState(int pad, PlatformPadState& state);
bool Platform_GetPadSubtype(int pad, int& subtype);
// Motor speeds 0..65535 (left: the low-frequency motor); nothing on a pad without motors.
void Platform_SetPadVibration(int pad, uint16_t left, uint16_t right);
// Joystick 0 or 1; false when it is not there.
bool Platform_GetJoystickCaps(int joystick, PlatformJoystickCaps& caps);
bool Platform_GetJoystickPos(int joystick, PlatformJoystickPos& pos);
