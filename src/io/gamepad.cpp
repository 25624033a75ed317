#include "io/gamepad.h"

#include "core/console.h"
#include "data/general_info.h"
#include "platform/gamepad.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

std::vector<std::unique_ptr<GamepadDevice>> g_pads;
int g_roundRobin = 0;

// The description of each pad subtype; others leave the description as it was.
const char* SubtypeDescription(int subtype) {
    switch (subtype) {
    case 1: return "Xbox 360 Controller (XInput STANDARD GAMEPAD)";
    case 2: return "Xbox 360 Controller (XInput WHEEL)";
    case 3: return "Xbox 360 Controller (XInput ARCADE STICK)";
    case 4: return "Xbox 360 Controller (XInput FLIGHT STICK)";
    case 5: return "Xbox 360 Controller (XInput DANCE PAD)";
    case 6: return "Xbox 360 Controller (XInput GUITAR)";
    case 8: return "Xbox 360 Controller (XInput DRUM KIT)";
    default: return nullptr;
    }
}

float Clamp01(double v) { return v > 0 ? (v < 1 ? static_cast<float>(v) : 1.0f) : 0.0f; }

void ReadPad(int index, GamepadDevice& pad) {
    PlatformPadState state;
    if (!Platform_GetPadState(index, state)) {
        if (pad.Connected()) pad.SetDescription("");
        pad.SetConnected(false);
        return;
    }
    if (!pad.Connected()) {
        int subtype = 0;
        if (Platform_GetPadSubtype(index, subtype))
            if (const char* text = SubtypeDescription(subtype)) pad.SetDescription(text);
    }
    pad.SetConnected(true);
    float buttons[GamepadDevice::kButtons];
    for (int i = 0; i < GamepadDevice::kButtons; ++i) buttons[i] = (state.buttons >> i) & 1 ? 1.0f : 0.0f;
    // The two bits the button word leaves unused carry the triggers.
    buttons[10] = state.leftTrigger * (1.0f / 256);
    buttons[11] = state.rightTrigger * (1.0f / 256);
    const float axes[GamepadDevice::kAxes] = {state.thumbLX * (1.0f / 32768), state.thumbLY * (1.0f / 32768),
                                              state.thumbRX * (1.0f / 32768), state.thumbRY * (1.0f / 32768)};
    pad.Update(buttons, axes);
    Platform_SetPadVibration(index, static_cast<uint16_t>(pad.vibrationLeft * 65535),
                             static_cast<uint16_t>(pad.vibrationRight * 65535));
}

} // namespace

GamepadDevice::GamepadDevice() {
    DebugConsole->Output("GAMEPAD: %d axis values (last) at 0x%x\n", kAxes,
                         static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_previousAxes)));
}

void GamepadDevice::SetConnected(bool connected) {
    if (!connected && m_connected) {
        std::memset(m_buttons, 0, sizeof m_buttons);
        std::memset(m_previousButtons, 0, sizeof m_previousButtons);
        std::memset(m_axes, 0, sizeof m_axes);
        std::memset(m_previousAxes, 0, sizeof m_previousAxes);
    }
    m_connected = connected;
}

float GamepadDevice::DeadZoned(float v) const {
    const float d = deadZone;
    if (d <= 0) return v;
    if (std::fabs(v) < d || 1 - d <= 0) return 0;
    return (std::fabs(v) - d) / (1 - d) * (v < 0 ? -1.0f : 1.0f);
}

float GamepadDevice::Value(int code, bool previous) const {
    if (code & kAxisButton) {
        const int axis = code & ~(kAxisButton | kAxisNegative | kAxisIgnored);
        if (axis < 0 || axis >= AxisCount()) return 0;
        const float v = (previous ? m_previousAxes : m_axes)[axis];
        const float d = deadZone;
        if (code & kAxisNegative) return v < -d ? std::fabs(v) : 0.0f;
        return v > d ? v : 0.0f;
    }
    if (code < 0 || code >= ButtonCount()) return 0;
    return (previous ? m_previousButtons : m_buttons)[code];
}

bool GamepadDevice::ButtonDown(int code) const { return Value(code, false) >= threshold; }
bool GamepadDevice::ButtonPressed(int code) const {
    return Value(code, false) >= threshold && Value(code, true) < threshold;
}
bool GamepadDevice::ButtonReleased(int code) const {
    return Value(code, false) < threshold && Value(code, true) >= threshold;
}
float GamepadDevice::ButtonValue(int code) const { return Value(code, false); }

float GamepadDevice::AxisValue(int code) const {
    if (code & kAxisButton) return ButtonValue(code & ~kAxisButton);
    const float sign = (code & kInverted) ? -1.0f : 1.0f;
    const int axis = code & ~(kInverted | kAxisIgnored);
    if (axis < 0 || axis >= AxisCount()) return 0;
    return DeadZoned(m_axes[axis]) * sign;
}

void GamepadDevice::Update(const float (&buttons)[kButtons], const float (&axes)[kAxes]) {
    std::memcpy(m_previousButtons, m_buttons, sizeof m_buttons);
    std::memcpy(m_previousAxes, m_axes, sizeof m_axes);
    std::memcpy(m_buttons, buttons, sizeof m_buttons);
    std::memcpy(m_axes, axes, sizeof m_axes);
}

void GamepadDevice::SetVibration(double left, double right) {
    vibrationLeft = Clamp01(left);
    vibrationRight = Clamp01(right);
}

int Gamepad_Count() { return static_cast<int>(g_pads.size()); }

GamepadDevice* Gamepad_Get(int index) {
    return index >= 0 && index < Gamepad_Count() ? g_pads[static_cast<size_t>(index)].get() : nullptr;
}

void Gamepad_Init() {
    g_pads.clear();
    for (int i = 0; i < kPlatformPadCount; ++i) g_pads.push_back(std::make_unique<GamepadDevice>());
    g_roundRobin = 0;
    Gamepad_Poll();
}

void Gamepad_Poll() {
    // A game that does not poll its pads never starts the pad layer here (the system's device scan
    // costs about a millisecond); the gamepad built-ins start it when they are first called.
    if (!(GeneralInfo_State().g_GeneralInfo.optionBits & 4) || !Gamepad_IsAvailable()) return;
    Platform_UpdatePads();
    g_roundRobin = (g_roundRobin + 1) % kPlatformPadCount;
    for (int i = 0; i < Gamepad_Count(); ++i) {
        GamepadDevice& pad = *g_pads[static_cast<size_t>(i)];
        if (!pad.Connected() && i != g_roundRobin) continue;
        ReadPad(i, pad);
    }
}

void Gamepad_Free() { g_pads.clear(); }

bool Gamepad_IsAvailable() { return Platform_PadsAvailable(); }
