#include "world/room_entry.h"

#include "core/hash.h"
#include "graphics/frame/frame.h"
#include "graphics/particles/particles.h"
#include "io/input.h"
#include "script/code_execute.h"
#include "script/value.h"
#include "world/event.h"
#include "world/instance.h"
#include "world/room.h"
#include "world/room_draw.h"
#include "world/room_table.h"

#include <unordered_map>
#include <vector>

namespace {

std::vector<CRoom*> g_runRooms;
std::vector<CInstance*> g_carried;

constexpr int ev_other_game_start = 2;
constexpr int ev_other_game_end = 3;
constexpr int ev_other_room_start = 4;
constexpr int ev_other_room_end = 5;

void RunCode(CInstance* self, CCode* code) {
    if (!code) return;
    ScriptValue result;
    Code_ExecuteReportError(self, self, code, &result);
    Value_Free(&result);
}

// Carried instances join the room: one with the id of a placed instance takes over its state. Each gets
// its body again, in this room's world.
void PlaceCarried(CRoom* room) {
    if (g_carried.empty()) return;
    // The first instance of the active list with each id.
    std::unordered_map<int32_t, CInstance*> byId;
    for (CInstance* i = room->active.first; i; i = i->next)
        byId.emplace(i->id, i);
    for (CInstance* carried : g_carried) {
        auto found = byId.find(carried->id);
        CInstance* target = found == byId.end() ? nullptr : found->second;
        if (target) {
            target->CopyFrom(carried, true);
        } else {
            target = new CInstance(carried->x, carried->y, carried->id, carried->object_index, false);
            target->CopyFrom(carried, true);
            RoomList_InsertByDepth(&room->active, target);
            InstanceHash_Insert(target->id, target);
            byId.emplace(target->id, target);
        }
        target->RecreatePhysicsBody(room);
        target->skipCreate = 1;
        delete carried;
    }
    g_carried.clear();
}

void CreatePlaced(CRoom* room) {
    std::vector<int32_t> ids;
    ids.swap(room->placedIds);
    for (int32_t id : ids) {
        CInstance* instance = Instance_Find(id);
        if (!instance) continue;
        if (instance->skipCreate) {
            instance->skipCreate = 0;
        } else if (!instance->Marked()) {
            PerformEvent(instance, instance, instance->object_index, ev_create, 0);
            RunCode(instance, instance->creationCode);
            instance->created = 1;
        }
    }
}

void EventAllThenRemove(int number) {
    PerformEventAll(ev_other, number);
    if (Room_State().Run_Room) Room_State().Run_Room->RemoveMarked();
}

} // namespace

CRoom* Run_GetRoom(int index) {
    if (index < 0 || static_cast<size_t>(index) >= g_runRooms.size()) return nullptr;
    return g_runRooms[static_cast<size_t>(index)];
}

int Run_RoomTableLength() {
    return static_cast<int>(g_runRooms.size());
}

void Run_ResetRoomTable(int count) {
    for (CRoom*& room : g_runRooms) {
        delete room;
        room = nullptr;
    }
    Room_State().Run_Room = nullptr;
    g_runRooms.assign(count > 0 ? static_cast<size_t>(count) : 0, nullptr);
}

bool Run_SetRoom(int index, CRoom* room) {
    if (index < 0 || static_cast<size_t>(index) >= g_runRooms.size()) return false;
    delete g_runRooms[static_cast<size_t>(index)];
    g_runRooms[static_cast<size_t>(index)] = room;
    return true;
}

bool StartRoom(int r, bool gameStart) {
    Room_State().New_Room = -1;
    if (!Room_Exists(r)) return false;
    if (gameStart) IO_Clear();
    Effect_Clear();
    if (static_cast<size_t>(r) >= g_runRooms.size()) g_runRooms.resize(static_cast<size_t>(r) + 1, nullptr);
    RoomEntry_State().Run_RoomIndex = r;
    CRoom* room = g_runRooms[static_cast<size_t>(r)];
    const bool fresh = room == nullptr;
    if (fresh) {
        room = new CRoom();
        g_runRooms[static_cast<size_t>(r)] = room;
        room->CopyFrom(Room_Data(r), true);
    } else {
        for (CInstance* i = room->active.first; i; i = i->next) {
            i->SetListed(true);
            if (!Instance_Find(i->id)) InstanceHash_Insert(i->id, i);
        }
    }
    Room_State().Run_Room = room;
    room->UpdateWindowSize();
    PlaceCarried(room);
    if (fresh) CreatePlaced(room);
    room->RemoveMarked();
    if (gameStart) EventAllThenRemove(ev_other_game_start);
    if (fresh && room->code) {
        auto* scratch = new CInstance(0, 0, 0, -1, false);
        RunCode(scratch, room->code);
        delete scratch;
    }
    EventAllThenRemove(ev_other_room_start);
    if (Room_State().New_Room == -1 && Frame_State().Run_DrawEnabled == 1) Room_DrawViews();
    return true;
}

void EndRoom(bool gameEnd) {
    CRoom* room = Room_State().Run_Room;
    if (!room) return;
    room->RemoveMarked();
    int32_t pending = Room_State().New_Room;
    Room_State().New_Room = -1;
    EventAllThenRemove(ev_other_room_end);
    if (gameEnd) EventAllThenRemove(ev_other_game_end);
    Room_State().New_Room = pending;
    IO_ClearVirtualKeys();

    // Copies still carried from an earlier room end that no room start took are dropped.
    Run_FreeCarriedInstances();
    for (CInstance* i = room->active.first; i; i = i->next) {
        if (i->Marked() || i->deactivated || !i->persistent) continue;
        auto* copy = new CInstance(i->x, i->y, i->id, i->object_index, false);
        copy->CopyFrom(i, false);
        g_carried.push_back(copy);
        i->SetMarked(true);
    }
    room->RemoveMarked();

    if (room->persistent) {
        // The room stays with its instances; they leave the object lists and the hash until it is
        // entered again.
        for (CInstance* i = room->active.first; i; i = i->next) {
            if (i->deactivated || i->persistent) continue;
            i->SetListed(false);
            if (Instance_Find(i->id) == i) InstanceHash_Remove(i->id, HASH_KEEP_VALUE);
        }
    } else {
        if (Run_GetRoom(RoomEntry_State().Run_RoomIndex) == room)
            g_runRooms[static_cast<size_t>(RoomEntry_State().Run_RoomIndex)] = nullptr;
        delete room;
    }
    Room_State().Run_Room = nullptr;
}

void GotoRoom(int r) {
    EndRoom(false);
    StartRoom(r, false);
}

void Run_FreeCarriedInstances() {
    for (CInstance* carried : g_carried)
        delete carried;
    std::vector<CInstance*>().swap(g_carried);
}

int Run_CarriedCount() {
    return static_cast<int>(g_carried.size());
}
