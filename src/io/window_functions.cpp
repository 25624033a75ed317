// The window_*, display_* and device_mouse_* built-ins, and the virtual-key built-ins.
#include "core/console.h"
#include "core/convert.h"
#include "core/text.h"
#include "graphics/device.h"
#include "io/input.h"
#include "io/window.h"
#include "platform/platform.h"
#include "runner/general_info.h"
#include "runner/run_state.h"
#include "script/functions.h"
#include "script/value.h"

namespace {

#define BUILTIN(name)                                                                                        \
    void name([[maybe_unused]] ScriptValue& result, CInstance*, CInstance*, [[maybe_unused]] int argc,         \
              [[maybe_unused]] ScriptValue* args)

int ArgInt(const ScriptValue* args, int i) { return X86_RoundToInt32(Value_Real(&args[i])); }

void SetResult(ScriptValue& result, double d) { Value_SetReal(&result, d); }

void SetResultText(ScriptValue& result, const char* text) {
    result.kind = KIND_STRING;
    result.str = String_Duplicate(text);
}

// The result stays the real 0.
BUILTIN(F_Nothing) {}
BUILTIN(F_One) {
    SetResult(result, 1);
}

BUILTIN(F_WindowSetFullscreen) {
    Window_SetFullscreen(Value_Real(&args[0]) >= 0.5);
}
BUILTIN(F_WindowGetFullscreen) {
    SetResult(result, Window_GetFullscreen() ? 1 : 0);
}
BUILTIN(F_WindowSetCaption) {
    Window_SetCaption(Value_Text(&args[0]));
}
BUILTIN(F_WindowGetCaption) {
    SetResultText(result, Window_GetCaption());
}
BUILTIN(F_WindowSetCursor) {
    const int value = ArgInt(args, 0);
    Window_SetCursor(value);
    g_Options.showCursor = value != -1;
}
BUILTIN(F_WindowGetCursor) {
    SetResult(result, Window_GetCursor());
}
BUILTIN(F_WindowSetColour) {
    Window_SetColour(static_cast<uint32_t>(X86_RoundToInt64(Value_Real(&args[0]))));
}
BUILTIN(F_WindowGetColour) {
    SetResult(result, Window_GetColour());
}
BUILTIN(F_WindowSetPosition) {
    Window_SetPosition(ArgInt(args, 0), ArgInt(args, 1));
}
BUILTIN(F_WindowSetSize) {
    Window_SetSize(ArgInt(args, 0), ArgInt(args, 1));
}
BUILTIN(F_WindowSetRectangle) {
    Window_SetRectangle(ArgInt(args, 0), ArgInt(args, 1), ArgInt(args, 2), ArgInt(args, 3));
}
BUILTIN(F_WindowCenter) {
    Window_Center();
}

// Left and top of the window rectangle, width and height of the client area.
int WindowMeasure(int which) {
    if (which < 2) {
        PlatformRect r;
        if (!Platform_GetWindowRect(r)) return 0;
        return which == 0 ? r.left : r.top;
    }
    int32_t w = 0;
    int32_t h = 0;
    Platform_GetClientSize(w, h);
    return which == 2 ? w : h;
}
BUILTIN(F_WindowGetX) {
    SetResult(result, WindowMeasure(0));
}
BUILTIN(F_WindowGetY) {
    SetResult(result, WindowMeasure(1));
}
BUILTIN(F_WindowGetWidth) {
    SetResult(result, WindowMeasure(2));
}
BUILTIN(F_WindowGetHeight) {
    SetResult(result, WindowMeasure(3));
}

BUILTIN(F_WindowMouseGetX) {
    SetResult(result, IO_RawMouse.x[0]);
}
BUILTIN(F_WindowMouseGetY) {
    SetResult(result, IO_RawMouse.y[0]);
}
BUILTIN(F_WindowMouseSet) {
    Window_SetMouse(ArgInt(args, 0), ArgInt(args, 1));
}
BUILTIN(F_WindowViewMouseGetX) {
    SetResult(result, Window_GetViewMouseX(ArgInt(args, 0)));
}
BUILTIN(F_WindowViewMouseGetY) {
    SetResult(result, Window_GetViewMouseY(ArgInt(args, 0)));
}
BUILTIN(F_WindowViewsMouseGetX) {
    SetResult(result, Window_GetMouseRoomX(0));
}
BUILTIN(F_WindowViewsMouseGetY) {
    SetResult(result, Window_GetMouseRoomY(0));
}
BUILTIN(F_DeviceMouseX) {
    SetResult(result, Window_GetMouseRoomX(ArgInt(args, 0)));
}
BUILTIN(F_DeviceMouseY) {
    SetResult(result, Window_GetMouseRoomY(ArgInt(args, 0)));
}
BUILTIN(F_DeviceMouseCheckButton) {
    SetResult(result, IO_MouseCheckButton(IOButtonTable::Down, ArgInt(args, 1), ArgInt(args, 0)));
}
BUILTIN(F_DeviceMouseCheckButtonPressed) {
    SetResult(result, IO_MouseCheckButton(IOButtonTable::Pressed, ArgInt(args, 1), ArgInt(args, 0)));
}
BUILTIN(F_DeviceMouseCheckButtonReleased) {
    SetResult(result, IO_MouseCheckButton(IOButtonTable::Released, ArgInt(args, 1), ArgInt(args, 0)));
}

BUILTIN(F_DisplayGetWidth) {
    SetResult(result, Display_GetWidth());
}
BUILTIN(F_DisplayGetHeight) {
    SetResult(result, Display_GetHeight());
}
BUILTIN(F_DisplayGetColorDepth) {
    SetResult(result, Display_GetColorDepth());
}
BUILTIN(F_DisplayGetFrequency) {
    SetResult(result, Display_GetFrequency());
}

// A desktop-mode change answers its success; the device is reset at once either way.
void ModeChanged(ScriptValue& result, bool ok) {
    SetResult(result, ok ? 1 : 0);
    GR_D3D_ResetDevice();
}
BUILTIN(F_DisplaySetSize) {
    ModeChanged(result, Display_SetSize(ArgInt(args, 0), ArgInt(args, 1)));
}
BUILTIN(F_DisplaySetColorDepth) {
    ModeChanged(result, Display_SetColorDepth(ArgInt(args, 0)));
}
BUILTIN(F_DisplaySetFrequency) {
    ModeChanged(result, Display_SetFrequency(ArgInt(args, 0)));
}
BUILTIN(F_DisplaySetAll) {
    ModeChanged(result, Display_SetAll(ArgInt(args, 0), ArgInt(args, 1), ArgInt(args, 2), ArgInt(args, 3)));
}
BUILTIN(F_DisplayTestAll) {
    SetResult(result, Display_TestAll(ArgInt(args, 0), ArgInt(args, 1), ArgInt(args, 2), ArgInt(args, 3)) ? 1 : 0);
}
BUILTIN(F_DisplayReset) {
    Display_SetAntialias(ArgInt(args, 0) & 0xFF);
    Display_SetVSync(ArgInt(args, 1) >= 1);
    Graphics_ResetRequest = 1;
}
BUILTIN(F_DisplayMouseGetX) {
    SetResult(result, Display_GetMouseX());
}
BUILTIN(F_DisplayMouseGetY) {
    SetResult(result, Display_GetMouseY());
}
BUILTIN(F_DisplayMouseSet) {
    if (Window_HasFocus()) Display_SetMouse(ArgInt(args, 0), ArgInt(args, 1));
}

// --- virtual keys ---

// The error report of game code does not exist yet in its non-fatal form: the message goes to the
// release console, and the built-in's result stays 0.
void ReportError(const char* message) { ReleaseConsole->Output("%s\n", message); }

// Checks the count and that no argument is a string; false after reporting.
bool CheckArguments(int argc, const ScriptValue* args, int wanted, const char* typeMessage) {
    if (argc != wanted) {
        ReportError("Illegal argument count");
        return false;
    }
    for (int i = 0; i < argc; ++i) {
        if (args[i].IsString()) {
            ReportError(typeMessage);
            return false;
        }
    }
    return true;
}

// The record of a handle (1..128), or null after reporting.
IOVirtualKey* VirtualKeyOf(int argc, const ScriptValue* args) {
    if (!CheckArguments(argc, args, 1, "Illegal argument")) return nullptr;
    const int handle = ArgInt(args, 0);
    if (handle < 1 || handle > kIOVirtualKeyCount) {
        ReportError("Illegal virtual key handle");
        return nullptr;
    }
    return &IO_State.virtualKeys[handle - 1];
}

BUILTIN(F_VirtualKeyAdd) {
    if (!CheckArguments(argc, args, 5, "Illegal argument type")) return;
    const int i = IO_AddVirtualKey();
    if (i < 0) return;
    IOVirtualKey& r = IO_State.virtualKeys[i];
    r.x1 = ArgInt(args, 0);
    r.y1 = ArgInt(args, 1);
    r.w = ArgInt(args, 2);
    r.h = ArgInt(args, 3);
    r.x2 = Wrap_Add32(r.x1, r.w);
    r.y2 = Wrap_Add32(r.y1, r.h);
    r.key = ArgInt(args, 4);
    r.u = r.v = r.button = 0;
    r.flags = kVirtualKeyActive;
    SetResult(result, i + 1);
}
BUILTIN(F_VirtualKeyDelete) {
    if (IOVirtualKey* r = VirtualKeyOf(argc, args)) r->flags = 0;
}
BUILTIN(F_VirtualKeyShow) {
    if (IOVirtualKey* r = VirtualKeyOf(argc, args)) r->flags |= kVirtualKeyShown;
}
BUILTIN(F_VirtualKeyHide) {
    if (IOVirtualKey* r = VirtualKeyOf(argc, args)) r->flags &= static_cast<uint16_t>(~kVirtualKeyShown);
}

#undef BUILTIN

struct Registration {
    const char* name;
    BuiltInFunctionFn function;
    int argumentCount;
};

template <size_t N>
void RegisterAll(const Registration (&list)[N]) {
    for (const Registration& r : list) Code_Function_Add(r.name, r.function, r.argumentCount);
}

const Registration kWindowFunctions[] = {
    {"window_set_visible", F_Nothing, 1},
    {"window_get_visible", F_One, 0},
    {"window_set_fullscreen", F_WindowSetFullscreen, 1},
    {"window_get_fullscreen", F_WindowGetFullscreen, 0},
    {"window_set_showborder", F_Nothing, 1},
    {"window_get_showborder", F_Nothing, 0},
    {"window_set_showicons", F_Nothing, 1},
    {"window_get_showicons", F_Nothing, 0},
    {"window_set_stayontop", F_Nothing, 1},
    {"window_get_stayontop", F_Nothing, 0},
    {"window_set_sizeable", F_Nothing, 1},
    {"window_get_sizeable", F_Nothing, 0},
    {"window_set_caption", F_WindowSetCaption, 1},
    {"window_get_caption", F_WindowGetCaption, 0},
    {"window_set_cursor", F_WindowSetCursor, 1},
    {"window_get_cursor", F_WindowGetCursor, 0},
    {"window_set_color", F_WindowSetColour, 1},
    {"window_get_color", F_WindowGetColour, 0},
    {"window_set_colour", F_WindowSetColour, 1},
    {"window_get_colour", F_WindowGetColour, 0},
    {"window_set_position", F_WindowSetPosition, 2},
    {"window_set_size", F_WindowSetSize, 2},
    {"window_set_rectangle", F_WindowSetRectangle, 4},
    {"window_center", F_WindowCenter, 0},
    {"window_default", F_Nothing, 0},
    {"window_get_x", F_WindowGetX, 0},
    {"window_get_y", F_WindowGetY, 0},
    {"window_get_width", F_WindowGetWidth, 0},
    {"window_get_height", F_WindowGetHeight, 0},
    {"window_mouse_get_x", F_WindowMouseGetX, 0},
    {"window_mouse_get_y", F_WindowMouseGetY, 0},
    {"window_mouse_set", F_WindowMouseSet, 2},
    {"window_view_mouse_get_x", F_WindowViewMouseGetX, 1},
    {"window_view_mouse_get_y", F_WindowViewMouseGetY, 1},
    {"window_view_mouse_set", F_Nothing, 3},
    {"window_views_mouse_get_x", F_WindowViewsMouseGetX, 0},
    {"window_views_mouse_get_y", F_WindowViewsMouseGetY, 0},
    {"window_views_mouse_set", F_Nothing, 2},
    {"device_mouse_x", F_DeviceMouseX, 1},
    {"device_mouse_y", F_DeviceMouseY, 1},
    {"Zebo_MouseX", F_DeviceMouseX, 1},
    {"Zebo_MouseY", F_DeviceMouseY, 1},
    {"device_mouse_check_button", F_DeviceMouseCheckButton, 2},
    {"device_mouse_check_button_pressed", F_DeviceMouseCheckButtonPressed, 2},
    {"device_mouse_check_button_released", F_DeviceMouseCheckButtonReleased, 2},
    {"Zebo_MouseCheckButton", F_DeviceMouseCheckButton, 2},
    {"Zebo_MouseCheckButtonPressed", F_DeviceMouseCheckButtonPressed, 2},
    {"Zebo_MouseCheckButtonReleased", F_DeviceMouseCheckButtonReleased, 2},
    {"display_get_width", F_DisplayGetWidth, 0},
    {"display_get_height", F_DisplayGetHeight, 0},
    {"display_get_colordepth", F_DisplayGetColorDepth, 0},
    {"display_get_frequency", F_DisplayGetFrequency, 0},
    {"display_get_orientation", F_Nothing, 0},
    {"display_set_size", F_DisplaySetSize, 2},
    {"display_set_colordepth", F_DisplaySetColorDepth, 1},
    {"display_set_frequency", F_DisplaySetFrequency, 1},
    {"display_set_all", F_DisplaySetAll, 4},
    {"display_test_all", F_DisplayTestAll, 4},
    {"display_reset", F_DisplayReset, 2},
    {"display_mouse_get_x", F_DisplayMouseGetX, 0},
    {"display_mouse_get_y", F_DisplayMouseGetY, 0},
    {"display_mouse_set", F_DisplayMouseSet, 2},
};

const Registration kVirtualKeyFunctions[] = {
    {"virtual_key_add", F_VirtualKeyAdd, 5},
    {"Zebo_AddVirtualKey", F_VirtualKeyAdd, 5},
    {"virtual_key_delete", F_VirtualKeyDelete, 1},
    {"Zebo_DeleteVirtualKey", F_VirtualKeyDelete, 1},
    {"virtual_key_show", F_VirtualKeyShow, 1},
    {"Zebo_ShowVirtualKey", F_VirtualKeyShow, 1},
    {"virtual_key_hide", F_VirtualKeyHide, 1},
    {"Zebo_HideVirtualKey", F_VirtualKeyHide, 1},
};

} // namespace

void InitWindowFunctions() { RegisterAll(kWindowFunctions); }

void InitVirtualKeyFunctions() { RegisterAll(kVirtualKeyFunctions); }
