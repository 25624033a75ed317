// The room and game control built-ins: requests to change rooms or to end or restart the game (acted on
// by the frame after the step), room-order queries, transitions, the blocking sleep, and saving and
// loading the game.
#include "core/console.h"
#include "core/convert.h"
#include "io/message_pump.h"
#include "library/builtin.h"
#include "script/value.h"
#include "world/game_builtins.h"
#include "world/room_change.h"
#include "world/room_table.h"
#include "world/saved_game.h"

namespace {

void SetResult(ScriptValue& result, double d) {
    Value_SetReal(&result, d);
}

BUILTIN_INSTANCE_BODY(room_goto) {
    Room_Goto(args.Rounded(0));
}
BUILTIN_INSTANCE_BODY(room_goto_previous) {
    Room_GotoPrevious();
}
BUILTIN_INSTANCE_BODY(room_goto_next) {
    Room_GotoNext();
}
BUILTIN_INSTANCE_BODY(room_restart) {
    Room_Restart();
}
BUILTIN_INSTANCE_BODY(game_end) {
    Game_End();
}
BUILTIN_INSTANCE_BODY(game_restart) {
    Game_Restart();
}
BUILTIN_INSTANCE_BODY(transition_define) {
    SetResult(result, Transition_Define(args.Rounded(0), args.Text(1)) ? 1 : 0);
}
BUILTIN_INSTANCE_BODY(transition_exists) {
    SetResult(result, Transition_Exists(args.Rounded(0)) ? 1 : 0);
}
// The frame's wait, which keeps the window answering: nothing for 0 or less, 3 seconds at most.
BUILTIN_INSTANCE_BODY(sleep) {
    Timing_Sleep(X86_RoundToInt64(args.Real(0) * 1000));
}

BUILTIN_INSTANCE_BODY(room_previous) {
    const int room = args.Rounded(0);
    SetResult(result, Room_Exists(room) ? Room_Previous(room) : -1);
}
BUILTIN_INSTANCE_BODY(room_next) {
    const int room = args.Rounded(0);
    SetResult(result, Room_Exists(room) ? Room_Next(room) : -1);
}

// The result is -1 whatever happens; an argument of the wrong kind does nothing.
BUILTIN_INSTANCE_BODY(game_save) {
    SetResult(result, -1);
    if (args.count == 1 && args.At(0)->IsString()) Game_SaveFile(args.Text(0));
}
BUILTIN_INSTANCE_BODY(game_load) {
    SetResult(result, -1);
    if (args.count == 1 && args.At(0)->IsString()) Game_LoadFile(args.Text(0));
}
BUILTIN_INSTANCE_BODY(game_save_buffer) {
    SetResult(result, -1);
    if (args.count == 1 && args.At(0)->IsReal()) Game_SaveBuffer(args.Rounded(0));
}
BUILTIN_INSTANCE_BODY(game_load_buffer) {
    SetResult(result, -1);
    if (args.count == 1 && args.At(0)->IsReal()) Game_QueueLoadBuffer(args.Rounded(0));
}

const BuiltInRegistration kRoomFunctions[] = {
    BUILTIN_INSTANCE_ENTRY(room_goto, 1),
    BUILTIN_INSTANCE_ENTRY(room_goto_previous, 0),
    BUILTIN_INSTANCE_ENTRY(room_goto_next, 0),
    BUILTIN_INSTANCE_ENTRY(room_restart, 0),
    BUILTIN_INSTANCE_ENTRY(room_previous, 1),
    BUILTIN_INSTANCE_ENTRY(room_next, 1),
    BUILTIN_INSTANCE_ENTRY(game_end, 0),
    BUILTIN_INSTANCE_ENTRY(game_restart, 0),
    BUILTIN_INSTANCE_ENTRY(game_save, 1),
    BUILTIN_INSTANCE_ENTRY(game_load, 1),
    BUILTIN_INSTANCE_ENTRY(game_save_buffer, 1),
    BUILTIN_INSTANCE_ENTRY(game_load_buffer, 1),
    BUILTIN_INSTANCE_ENTRY(transition_define, 2),
    BUILTIN_INSTANCE_ENTRY(transition_exists, 1),
    BUILTIN_INSTANCE_ENTRY(sleep, 1),
};

} // namespace

void InitRoomFunctions() {
    BuiltIn_Register(kRoomFunctions);
}
