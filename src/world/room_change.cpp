#include "world/room_change.h"

#include "core/console.h"
#include "script/functions.h"
#include "script/vm/vm_error.h"
#include "world/game_values.h"
#include "world/room.h"
#include "world/room_entry.h"
#include "world/room_table.h"

#include <string>
#include <vector>

namespace {

struct UserTransition {
    int id = -1;
    std::string name;
    bool named = false;
};
std::vector<UserTransition> g_transitions;

void Fatal(const std::string& message) {
    Code_Error_Report(message.c_str(), true);
    Room_State().New_Room = kRoomEndAfterError;
}

} // namespace

void Room_Goto(int room) {
    Room_State().New_Room = room;
    GameValues_State().Transition_Kind = 0;
    if (!Room_Exists(room)) Fatal("Unexisting room number: " + std::to_string(room));
}

void Room_GotoPrevious() {
    if (RoomEntry_State().Run_RoomIndex == Room_First()) {
        Fatal("Moving to previous room before the first room.");
        return;
    }
    Room_Goto(Room_Previous(RoomEntry_State().Run_RoomIndex));
}

void Room_GotoNext() {
    if (RoomEntry_State().Run_RoomIndex == Room_Last()) {
        Fatal("Moving to next room after the last room.");
        return;
    }
    Room_Goto(Room_Next(RoomEntry_State().Run_RoomIndex));
}

void Room_Restart() {
    Room_Goto(RoomEntry_State().Run_RoomIndex);
}

void Game_End() {
    Room_State().New_Room = kRoomEndGame;
}

void Game_Restart() {
    Room_State().New_Room = kRoomRestartGame;
}

bool Transition_Define(int kind, const char* name) {
    int id = -1;
    if (!Code_Function_Find(name, id)) return false;
    Transition_Store(kind, name, id);
    return true;
}

void Transition_Store(int kind, const char* name, int id) {
    if (kind <= 0 || kind >= 1000000) return;
    if (static_cast<size_t>(kind) >= g_transitions.size()) g_transitions.resize(static_cast<size_t>(kind) + 1000);
    UserTransition& entry = g_transitions[static_cast<size_t>(kind)];
    entry.id = id;
    entry.named = name != nullptr;
    entry.name = name ? name : "";
}

bool Transition_Exists(int kind) {
    if (kind >= 1 && kind <= 21) return true;
    DebugConsole->Output("TransFunctionExists()\n");
    return false;
}

