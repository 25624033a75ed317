// The room and game control built-ins: room-order queries and saving and loading the game.
#include "core/console.h"
#include "library/builtin.h"
#include "script/value.h"
#include "world/functions_game.h"
#include "world/room_table.h"

namespace {

void SetResult(ScriptValue& result, double d) {
    Value_SetReal(&result, d);
}

BUILTIN_INSTANCE_BODY(room_previous) {
    const int room = args.Rounded(0);
    SetResult(result, Room_Exists(room) ? Room_Previous(room) : -1);
}
BUILTIN_INSTANCE_BODY(room_next) {
    const int room = args.Rounded(0);
    SetResult(result, Room_Exists(room) ? Room_Next(room) : -1);
}

// Saved games need the game state's writer and reader, which are not built yet: a call with the right
// argument says so on the release console and changes nothing. The result is always -1.
void SavingNotAvailable(ScriptValue& result, const char* name, const BuiltInArgs& args, bool wantsText) {
    SetResult(result, -1);
    if (args.count != 1 || args.At(0)->IsString() != wantsText) return;
    ReleaseConsole->Output("%s: saved games are not available in this runner yet; nothing was done\n", name);
}
BUILTIN_INSTANCE_BODY(game_save) {
    SavingNotAvailable(result, "game_save", args, true);
}
BUILTIN_INSTANCE_BODY(game_load) {
    SavingNotAvailable(result, "game_load", args, true);
}
BUILTIN_INSTANCE_BODY(game_save_buffer) {
    SavingNotAvailable(result, "game_save_buffer", args, false);
}
BUILTIN_INSTANCE_BODY(game_load_buffer) {
    SavingNotAvailable(result, "game_load_buffer", args, false);
}

const BuiltInRegistration kRoomFunctions[] = {
    BUILTIN_INSTANCE_ENTRY(room_previous, 1),
    BUILTIN_INSTANCE_ENTRY(room_next, 1),
    BUILTIN_INSTANCE_ENTRY(game_save, 1),
    BUILTIN_INSTANCE_ENTRY(game_load, 1),
    BUILTIN_INSTANCE_ENTRY(game_save_buffer, 1),
    BUILTIN_INSTANCE_ENTRY(game_load_buffer, 1),
};

} // namespace

void InitRoomFunctions() {
    BuiltIn_Register(kRoomFunctions);
}
