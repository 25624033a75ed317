// The display_* built-ins of the graphic group: the desktop's mode and the mode the game takes in full
// screen, the device's anti-aliasing and vertical sync, and the mouse on the desktop. They follow the
// window's built-ins in the group.
#include "graphics/frame/frame.h"
#include "graphics/graphics_builtins.h"
#include "io/window.h"
#include "library/builtin.h"
#include "script/value.h"

namespace {

void SetResult(ScriptValue& result, double d) {
    Value_SetReal(&result, d);
}

// The result stays the real 0.
BUILTIN_BODY(Nothing) {}

BUILTIN_BODY(DisplayGetWidth) {
    SetResult(result, Display_GetWidth());
}
BUILTIN_BODY(DisplayGetHeight) {
    SetResult(result, Display_GetHeight());
}
BUILTIN_BODY(DisplayGetColorDepth) {
    SetResult(result, Display_GetColorDepth());
}
BUILTIN_BODY(DisplayGetFrequency) {
    SetResult(result, Display_GetFrequency());
}

// A desktop-mode change answers its success; the device is reset at once either way.
void ModeChanged(ScriptValue& result, bool ok) {
    SetResult(result, ok ? 1 : 0);
    GR_D3D_ResetDevice();
}
BUILTIN_BODY(DisplaySetSize) {
    ModeChanged(result, Display_SetSize(args.Rounded(0), args.Rounded(1)));
}
BUILTIN_BODY(DisplaySetColorDepth) {
    ModeChanged(result, Display_SetColorDepth(args.Rounded(0)));
}
BUILTIN_BODY(DisplaySetFrequency) {
    ModeChanged(result, Display_SetFrequency(args.Rounded(0)));
}
BUILTIN_BODY(DisplaySetAll) {
    ModeChanged(result, Display_SetAll(args.Rounded(0), args.Rounded(1), args.Rounded(2), args.Rounded(3)));
}
BUILTIN_BODY(DisplayTestAll) {
    SetResult(result,
              Display_TestAll(args.Rounded(0), args.Rounded(1), args.Rounded(2), args.Rounded(3)) ? 1 : 0);
}
BUILTIN_BODY(DisplayReset) {
    Display_SetAntialias(args.Rounded(0) & 0xFF);
    Display_SetVSync(args.Rounded(1) >= 1);
    Window_State().Graphics_ResetRequest = 1;
}
BUILTIN_BODY(DisplayMouseGetX) {
    SetResult(result, Display_GetMouseX());
}
BUILTIN_BODY(DisplayMouseGetY) {
    SetResult(result, Display_GetMouseY());
}
BUILTIN_BODY(DisplayMouseSet) {
    if (Window_HasFocus()) Display_SetMouse(args.Rounded(0), args.Rounded(1));
}

const BuiltInRegistration kDisplayFunctions[] = {
    {"display_get_width", BuiltIn_Call<F_DisplayGetWidth>, 0},
    {"display_get_height", BuiltIn_Call<F_DisplayGetHeight>, 0},
    {"display_get_colordepth", BuiltIn_Call<F_DisplayGetColorDepth>, 0},
    {"display_get_frequency", BuiltIn_Call<F_DisplayGetFrequency>, 0},
    {"display_get_orientation", BuiltIn_Call<F_Nothing>, 0},
    {"display_set_size", BuiltIn_Call<F_DisplaySetSize>, 2},
    {"display_set_colordepth", BuiltIn_Call<F_DisplaySetColorDepth>, 1},
    {"display_set_frequency", BuiltIn_Call<F_DisplaySetFrequency>, 1},
    {"display_set_all", BuiltIn_Call<F_DisplaySetAll>, 4},
    {"display_test_all", BuiltIn_Call<F_DisplayTestAll>, 4},
    {"display_reset", BuiltIn_Call<F_DisplayReset>, 2},
    {"display_mouse_get_x", BuiltIn_Call<F_DisplayMouseGetX>, 0},
    {"display_mouse_get_y", BuiltIn_Call<F_DisplayMouseGetY>, 0},
    {"display_mouse_set", BuiltIn_Call<F_DisplayMouseSet>, 2},
};

} // namespace

void InitDisplayFunctions() {
    BuiltIn_Register(kDisplayFunctions);
}
