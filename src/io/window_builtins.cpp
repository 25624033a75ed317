// The window_* and device_mouse_* built-ins, and the virtual-key built-ins.
#include "core/console.h"
#include "core/convert.h"
#include "core/text.h"
#include "data/general_info.h"
#include "io/input.h"
#include "io/window.h"
#include "library/builtin.h"
#include "platform/platform.h"
#include "script/functions.h"
#include "script/value.h"
#include "script/vm/vm_error.h"

namespace {

#define BUILTIN(name) void name([[maybe_unused]] ScriptValue& result, [[maybe_unused]] const BuiltInArgs& args)

int ArgInt(const BuiltInArgs& args, int i) { return X86_RoundToInt32(args.Real(i)); }

void SetResult(ScriptValue& result, double d) { Value_SetReal(&result, d); }

// The result stays the real 0.
BUILTIN(F_Nothing) {}
BUILTIN(F_One) {
    SetResult(result, 1);
}

BUILTIN(F_WindowSetFullscreen) {
    Window_SetFullscreen(args.Real(0) >= 0.5);
}
BUILTIN(F_WindowGetFullscreen) {
    SetResult(result, Window_GetFullscreen() ? 1 : 0);
}
BUILTIN(F_WindowSetCaption) {
    Window_SetCaption(args.Text(0));
}
BUILTIN(F_WindowGetCaption) {
    BuiltIn_SetText(result, String_Duplicate(Window_GetCaption()));
}
BUILTIN(F_WindowSetCursor) {
    const int value = ArgInt(args, 0);
    Window_SetCursor(value);
    GeneralInfo_State().g_Options.showCursor = value != -1;
}
BUILTIN(F_WindowGetCursor) {
    SetResult(result, Window_GetCursor());
}
BUILTIN(F_WindowSetColour) {
    Window_SetColour(static_cast<uint32_t>(X86_RoundToInt64(args.Real(0))));
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
    SetResult(result, Input_State().IO_RawMouse.x[0]);
}
BUILTIN(F_WindowMouseGetY) {
    SetResult(result, Input_State().IO_RawMouse.y[0]);
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

// --- virtual keys ---

// Checks the count and that no argument is a string; false after reporting.
bool CheckArguments(const BuiltInArgs& args, int wanted, const char* typeMessage) {
    if (args.count != wanted) {
        Code_Error_Report("Illegal argument count", false);
        return false;
    }
    for (int i = 0; i < args.count; ++i) {
        if (args.At(i)->IsString()) {
            Code_Error_Report(typeMessage, false);
            return false;
        }
    }
    return true;
}

// The record of a handle (1..128), or null after reporting.
IOVirtualKey* VirtualKeyOf(const BuiltInArgs& args) {
    if (!CheckArguments(args, 1, "Illegal argument")) return nullptr;
    const int handle = ArgInt(args, 0);
    if (handle < 1 || handle > kIOVirtualKeyCount) {
        Code_Error_Report("Illegal virtual key handle", false);
        return nullptr;
    }
    return &Input_State().IO_State.virtualKeys[handle - 1];
}

BUILTIN(F_VirtualKeyAdd) {
    if (!CheckArguments(args, 5, "Illegal argument type")) return;
    const int i = IO_AddVirtualKey();
    if (i < 0) return;
    IOVirtualKey& r = Input_State().IO_State.virtualKeys[i];
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
    if (IOVirtualKey* r = VirtualKeyOf(args)) r->flags = 0;
}
BUILTIN(F_VirtualKeyShow) {
    if (IOVirtualKey* r = VirtualKeyOf(args)) r->flags |= kVirtualKeyShown;
}
BUILTIN(F_VirtualKeyHide) {
    if (IOVirtualKey* r = VirtualKeyOf(args)) r->flags &= static_cast<uint16_t>(~kVirtualKeyShown);
}

#undef BUILTIN

const BuiltInRegistration kWindowFunctions[] = {
    {"window_set_visible", BuiltIn_Call<F_Nothing>, 1},
    {"window_get_visible", BuiltIn_Call<F_One>, 0},
    {"window_set_fullscreen", BuiltIn_Call<F_WindowSetFullscreen>, 1},
    {"window_get_fullscreen", BuiltIn_Call<F_WindowGetFullscreen>, 0},
    {"window_set_showborder", BuiltIn_Call<F_Nothing>, 1},
    {"window_get_showborder", BuiltIn_Call<F_Nothing>, 0},
    {"window_set_showicons", BuiltIn_Call<F_Nothing>, 1},
    {"window_get_showicons", BuiltIn_Call<F_Nothing>, 0},
    {"window_set_stayontop", BuiltIn_Call<F_Nothing>, 1},
    {"window_get_stayontop", BuiltIn_Call<F_Nothing>, 0},
    {"window_set_sizeable", BuiltIn_Call<F_Nothing>, 1},
    {"window_get_sizeable", BuiltIn_Call<F_Nothing>, 0},
    {"window_set_caption", BuiltIn_Call<F_WindowSetCaption>, 1},
    {"window_get_caption", BuiltIn_Call<F_WindowGetCaption>, 0},
    {"window_set_cursor", BuiltIn_Call<F_WindowSetCursor>, 1},
    {"window_get_cursor", BuiltIn_Call<F_WindowGetCursor>, 0},
    {"window_set_color", BuiltIn_Call<F_WindowSetColour>, 1},
    {"window_get_color", BuiltIn_Call<F_WindowGetColour>, 0},
    {"window_set_colour", BuiltIn_Call<F_WindowSetColour>, 1},
    {"window_get_colour", BuiltIn_Call<F_WindowGetColour>, 0},
    {"window_set_position", BuiltIn_Call<F_WindowSetPosition>, 2},
    {"window_set_size", BuiltIn_Call<F_WindowSetSize>, 2},
    {"window_set_rectangle", BuiltIn_Call<F_WindowSetRectangle>, 4},
    {"window_center", BuiltIn_Call<F_WindowCenter>, 0},
    {"window_default", BuiltIn_Call<F_Nothing>, 0},
    {"window_get_x", BuiltIn_Call<F_WindowGetX>, 0},
    {"window_get_y", BuiltIn_Call<F_WindowGetY>, 0},
    {"window_get_width", BuiltIn_Call<F_WindowGetWidth>, 0},
    {"window_get_height", BuiltIn_Call<F_WindowGetHeight>, 0},
    {"window_mouse_get_x", BuiltIn_Call<F_WindowMouseGetX>, 0},
    {"window_mouse_get_y", BuiltIn_Call<F_WindowMouseGetY>, 0},
    {"window_mouse_set", BuiltIn_Call<F_WindowMouseSet>, 2},
    {"window_view_mouse_get_x", BuiltIn_Call<F_WindowViewMouseGetX>, 1},
    {"window_view_mouse_get_y", BuiltIn_Call<F_WindowViewMouseGetY>, 1},
    {"window_view_mouse_set", BuiltIn_Call<F_Nothing>, 3},
    {"window_views_mouse_get_x", BuiltIn_Call<F_WindowViewsMouseGetX>, 0},
    {"window_views_mouse_get_y", BuiltIn_Call<F_WindowViewsMouseGetY>, 0},
    {"window_views_mouse_set", BuiltIn_Call<F_Nothing>, 2},
};

const BuiltInRegistration kVirtualKeyFunctions[] = {
    {"virtual_key_add", BuiltIn_Call<F_VirtualKeyAdd>, 5},
    {"Zebo_AddVirtualKey", BuiltIn_Call<F_VirtualKeyAdd>, 5},
    {"virtual_key_delete", BuiltIn_Call<F_VirtualKeyDelete>, 1},
    {"Zebo_DeleteVirtualKey", BuiltIn_Call<F_VirtualKeyDelete>, 1},
    {"virtual_key_show", BuiltIn_Call<F_VirtualKeyShow>, 1},
    {"Zebo_ShowVirtualKey", BuiltIn_Call<F_VirtualKeyShow>, 1},
    {"virtual_key_hide", BuiltIn_Call<F_VirtualKeyHide>, 1},
    {"Zebo_HideVirtualKey", BuiltIn_Call<F_VirtualKeyHide>, 1},
    // The mice of several devices belong with the platform services, not with the window's functions.
    {"device_mouse_x", BuiltIn_Call<F_DeviceMouseX>, 1},
    {"device_mouse_y", BuiltIn_Call<F_DeviceMouseY>, 1},
    {"Zebo_MouseX", BuiltIn_Call<F_DeviceMouseX>, 1},
    {"Zebo_MouseY", BuiltIn_Call<F_DeviceMouseY>, 1},
    {"device_mouse_check_button", BuiltIn_Call<F_DeviceMouseCheckButton>, 2},
    {"device_mouse_check_button_pressed", BuiltIn_Call<F_DeviceMouseCheckButtonPressed>, 2},
    {"device_mouse_check_button_released", BuiltIn_Call<F_DeviceMouseCheckButtonReleased>, 2},
    {"Zebo_MouseCheckButton", BuiltIn_Call<F_DeviceMouseCheckButton>, 2},
    {"Zebo_MouseCheckButtonPressed", BuiltIn_Call<F_DeviceMouseCheckButtonPressed>, 2},
    {"Zebo_MouseCheckButtonReleased", BuiltIn_Call<F_DeviceMouseCheckButtonReleased>, 2},
};

} // namespace

void InitWindowFunctions() { BuiltIn_Register(kWindowFunctions); }

void InitVirtualKeyFunctions() { BuiltIn_Register(kVirtualKeyFunctions); }
