// The keyboard, mouse and io built-ins of the interaction group, over the game-side input state.
#include "io/input_builtins.h"

#include "core/console.h"
#include "io/input.h"
#include "io/message_pump.h"
#include "library/builtin.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "script/value.h"

namespace {

void SetReal(ScriptValue& result, double d) { Value_SetReal(&result, d); }

// The key checks of scripts: vk_nokey is 1 when no key is down (in that table), vk_anykey when any is.
int KeyCheck(int (*check)(int), int key) {
    if (key != VK_NOKEY && key != VK_ANYKEY) return check(key);
    bool any = false;
    for (int k = 0; k < kIOKeyCount && !any; ++k) any = check(k) != 0;
    return (key == VK_ANYKEY) == any ? 1 : 0;
}

BUILTIN_BODY(keyboard_check) { SetReal(result, KeyCheck(IO_KeyCheck, args.Rounded(0))); }
BUILTIN_BODY(keyboard_check_pressed) { SetReal(result, KeyCheck(IO_KeyCheckPressed, args.Rounded(0))); }
BUILTIN_BODY(keyboard_check_released) { SetReal(result, KeyCheck(IO_KeyCheckReleased, args.Rounded(0))); }

// The key as the window layer last saw it.
BUILTIN_BODY(keyboard_check_direct) {
    const int key = args.Rounded(0);
    SetReal(result, key >= 0 && key < kIOKeyCount && Platform_GetKeyState(key) != 0 ? 1 : 0);
}

void KeyEvent(const BuiltInArgs& args, bool down) {
    const int key = args.Rounded(0);
    if (key > 0 && key < kIOKeyCount) Platform_KeyEvent(static_cast<uint8_t>(key), down);
}
BUILTIN_BODY(keyboard_key_press) { KeyEvent(args, true); }
BUILTIN_BODY(keyboard_key_release) { KeyEvent(args, false); }

BUILTIN_BODY(keyboard_get_numlock) { SetReal(result, Platform_GetNumLock() ? 1 : 0); }

BUILTIN_BODY(keyboard_set_numlock) {
    const bool on = args.Flag(0);
    if (on == Platform_GetNumLock()) return;
    Platform_KeyEvent(VK_NUMLOCK, true);
    Platform_KeyEvent(VK_NUMLOCK, false);
    Platform_SetNumLock(on);
}

BUILTIN_BODY(keyboard_set_map) { IO_SetKeyMap(args.Rounded(0), args.Rounded(1)); }
BUILTIN_BODY(keyboard_get_map) { SetReal(result, IO_GetKeyMap(args.Rounded(0))); }
BUILTIN_BODY(keyboard_unset_map) { IO_UnsetKeyMap(); }

BUILTIN_BODY(keyboard_clear) {
    ProcessMessages();
    IO_KeyClear(args.Rounded(0));
}

BUILTIN_BODY(mouse_check_button) { SetReal(result, IO_MouseCheckButton(IOButtonTable::Down, args.Rounded(0), 0)); }
BUILTIN_BODY(mouse_check_button_pressed) {
    SetReal(result, IO_MouseCheckButton(IOButtonTable::Pressed, args.Rounded(0), 0));
}
BUILTIN_BODY(mouse_check_button_released) {
    SetReal(result, IO_MouseCheckButton(IOButtonTable::Released, args.Rounded(0), 0));
}
BUILTIN_BODY(mouse_wheel_up) { SetReal(result, IO_MouseWheelUp(0)); }
BUILTIN_BODY(mouse_wheel_down) { SetReal(result, IO_MouseWheelDown(0)); }

BUILTIN_BODY(mouse_clear) {
    ProcessMessages();
    const int button = args.Rounded(0);
    if (button != MB_ANY) {
        IO_MouseClear(button, 0);
        return;
    }
    for (int b = 1; b <= kIOMouseButtons; ++b) IO_MouseClear(b, 0);
}

BUILTIN_BODY(io_clear) {
    ProcessMessages();
    IO_Clear();
}
BUILTIN_BODY(io_handle) { ProcessMessages(); }

// Handles window messages every 50 ms until arrived() holds. It also returns when the wait is over or the
// window is gone (it was closed meanwhile), and at once when no one can press anything: a wait for a
// player who is not there would never end.
template <typename Arrived> void WaitFor(const char* name, Arrived arrived) {
    if (!Platform_IsInteractive()) {
        ReleaseConsole->Output("%s: no one to press anything (returned at once)\n", name);
        return;
    }
    const CMessageWait wait;
    const auto over = [&wait] { return wait.Over() || !Platform_IsWindow(); };
    while (!over()) {
        ProcessMessages();
        if (arrived() || over()) return;
        Platform_Sleep(50);
    }
}

BUILTIN_BODY(keyboard_wait) {
    IO_SetLastKey(0);
    WaitFor("keyboard_wait", [] { return Input_State().IO_State.message.lastKey != 0; });
}

BUILTIN_BODY(mouse_wait) {
    Input_State().IO_State.game.lastMouseButton[0] = 0;
    Input_State().IO_State.message.lastMouseButton[0] = 0;
    WaitFor("mouse_wait", [] { return Input_State().IO_State.message.lastMouseButton[0] != 0; });
}

BUILTIN_BODY(device_mouse_dbclick_enable) {
    Input_State().IO_State.doubleClick = args.Real(0) > 0.5 ? 1 : 0;
}

const BuiltInRegistration kKeyboardFunctions[] = {
    BUILTIN_ENTRY(keyboard_check, 1),
    BUILTIN_ENTRY(keyboard_check_pressed, 1),
    BUILTIN_ENTRY(keyboard_check_released, 1),
    BUILTIN_ENTRY(keyboard_check_direct, 1),
    BUILTIN_ENTRY(keyboard_key_press, 1),
    BUILTIN_ENTRY(keyboard_key_release, 1),
    BUILTIN_ENTRY(keyboard_get_numlock, 0),
    BUILTIN_ENTRY(keyboard_set_numlock, 1),
    BUILTIN_ENTRY(keyboard_set_map, 2),
    BUILTIN_ENTRY(keyboard_get_map, 1),
    BUILTIN_ENTRY(keyboard_unset_map, 0),
    BUILTIN_ENTRY(keyboard_clear, 1),
    BUILTIN_ENTRY(mouse_check_button, 1),
    BUILTIN_ENTRY(mouse_check_button_pressed, 1),
    BUILTIN_ENTRY(mouse_check_button_released, 1),
    BUILTIN_ENTRY(mouse_wheel_up, 0),
    BUILTIN_ENTRY(mouse_wheel_down, 0),
    BUILTIN_ENTRY(mouse_clear, 1),
    BUILTIN_ENTRY(io_clear, 0),
    BUILTIN_ENTRY(io_handle, 0),
    BUILTIN_ENTRY(keyboard_wait, 0),
    BUILTIN_ENTRY(mouse_wait, 0),
    // Called with one argument, registered with none (a call's count is not checked at run time).
    BUILTIN_ENTRY(device_mouse_dbclick_enable, 0),
};

} // namespace

void InitKeyboardFunctions() { BuiltIn_Register(kKeyboardFunctions); }
