#include "world/room_table.h"

#include "core/console.h"
#include "core/name_map.h"
#include "core/text.h"
#include "data/code_chunk.h"
#include "data/general_info.h"
#include "script/code.h"
#include "script/compiled_game.h"
#include "script/compiler/compile.h"
#include "world/object.h"
#include "world/room.h"
#include "world/room_record.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace {

// The definitions and their names, slot by slot (an empty slot holds neither).
std::vector<std::unique_ptr<CRoom>> g_definitions;
std::vector<std::optional<std::string>> g_names;
// The first room of each name: compiled code looks names up all the time.
NameIndex g_nameIndex;

std::string NewRoomName(int index) {
    char name[128];
    std::snprintf(name, sizeof name, "__newroom%d", index);
    return name;
}

int AppendRoom(std::unique_ptr<CRoom> room) {
    int index = static_cast<int>(g_definitions.size());
    g_nameIndex.MarkStale();
    g_definitions.push_back(std::move(room));
    g_names.emplace_back(NewRoomName(index));
    return index;
}

// An order entry is given only when it names a room that exists.
int ExistingOrNone(int room) {
    return Room_Exists(room) ? room : -1;
}

// The position of the first occurrence of room in the order, or -1.
int OrderPosition(int room) {
    const std::vector<int32_t>& order = GeneralInfo_State().g_GeneralInfo.roomOrder;
    for (size_t i = 0; i < order.size(); ++i)
        if (order[i] == room) return static_cast<int>(i);
    return -1;
}

bool ReportCompileFailure() {
    Code_Error_Show(Code_CompileFailureText("COMPILATION ERROR in room script").c_str(), false);
    return false;
}

} // namespace

void Room_Init() {
    g_definitions.clear();
    g_names.clear();
    g_nameIndex.MarkStale();
}

bool Room_Load(const CDataView& file, const IFFChunk&, const std::vector<uint32_t>& list) {
    Room_Init();
    const bool textMode = !Code_IsPresent() && !CompiledGame_Mode();
    g_definitions.resize(list.size());
    g_names.resize(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == 0) continue;
        auto record = std::make_shared<RoomRecord>();
        if (!RoomRecord_Read(file, list[i], static_cast<int>(i), GeneralInfo_State().g_GeneralInfo.version,
                             textMode, record.get()))
            return false;
        g_names[i] = std::string(record->name ? record->name : "");
        g_nameIndex.MarkStale();
        g_definitions[i] = std::make_unique<CRoom>();
        g_definitions[i]->LoadFromRecord(std::move(record));
    }
    return true;
}

void Room_ReportMissingObjects() {
    for (size_t r = 0; r < g_definitions.size(); ++r) {
        const CRoom* room = g_definitions[r].get();
        if (!room || !room->record) continue;
        for (const RoomInstanceEntry& e : room->record->instances) {
            if (Object_Exists(e.object)) continue;
            // A negative object places nothing; any other the game lacks is placed all the same.
            DebugConsole->Output("Room %s: instance %d is of object %d, which the game does not have%s\n",
                                 Text_Escaped(g_names[r] ? g_names[r]->c_str() : "").c_str(), e.id, e.object,
                                 e.object < 0 ? "; it is not placed" : "");
        }
    }
}

void Room_Clear() {
    Room_Init();
    GeneralInfo_State().g_GeneralInfo.roomOrder.clear();
}

bool Room_Prepare() {
    if (Code_IsPresent() || CompiledGame_Mode()) return true;
    bool result = true;
    char name[256];
    for (size_t r = 0; r < g_definitions.size(); ++r) {
        CRoom* room = g_definitions[r].get();
        if (!room) continue;
        const char* roomName = Room_GetName(static_cast<int>(r));
        if (room->code && room->codeText && *room->codeText) {
            std::snprintf(name, sizeof name, "Room.%s", roomName);
            result = room->code->Compile(name);
            if (!result) return ReportCompileFailure();
        }
        if (!room->record) continue;
        int number = 0;
        for (RoomInstanceEntry& entry : room->record->instances) {
            if (entry.code) {
                std::snprintf(name, sizeof name, "Instance.%s.%d", roomName, number);
                result = entry.code->Compile(name);
                // The room's remaining instances are skipped; the error has been shown, and an uncompiled
                // code runs as nothing.
                if (!result) {
                    ReportCompileFailure();
                    break;
                }
            }
            ++number;
        }
    }
    return result;
}

int Room_Count() {
    return static_cast<int>(g_definitions.size());
}

bool Room_Exists(int index) {
    return Room_Data(index) != nullptr;
}

CRoom* Room_Data(int index) {
    if (index < 0 || index >= Room_Count()) return nullptr;
    return g_definitions[static_cast<size_t>(index)].get();
}

const char* Room_GetName(int index) {
    if (!Room_Exists(index) || !g_names[static_cast<size_t>(index)]) return "<undefined>";
    return g_names[static_cast<size_t>(index)]->c_str();
}

int Room_FindByName(const char* name) {
    return g_nameIndex.Find(name, [](auto add) {
        for (int i = 0; i < Room_Count(); ++i)
            if (Room_Exists(i) && g_names[static_cast<size_t>(i)]) add(g_names[static_cast<size_t>(i)]->c_str(), i);
    });
}

int Room_First() {
    const std::vector<int32_t>& order = GeneralInfo_State().g_GeneralInfo.roomOrder;
    return order.empty() ? -1 : ExistingOrNone(order.front());
}

int Room_Last() {
    const std::vector<int32_t>& order = GeneralInfo_State().g_GeneralInfo.roomOrder;
    return order.empty() ? -1 : ExistingOrNone(order.back());
}

int Room_Previous(int room) {
    int at = OrderPosition(room);
    if (at <= 0) return -1;
    return ExistingOrNone(GeneralInfo_State().g_GeneralInfo.roomOrder[static_cast<size_t>(at - 1)]);
}

int Room_Next(int room) {
    const std::vector<int32_t>& order = GeneralInfo_State().g_GeneralInfo.roomOrder;
    int at = OrderPosition(room);
    if (at < 0 || static_cast<size_t>(at) + 1 >= order.size()) return -1;
    return ExistingOrNone(order[static_cast<size_t>(at) + 1]);
}

int Room_Add() {
    auto room = std::make_unique<CRoom>();
    room->CreateDefaultRecord();
    return AppendRoom(std::move(room));
}

int Room_Duplicate(int source) {
    const CRoom* from = Room_Data(source);
    if (!from) return -1;
    auto room = std::make_unique<CRoom>();
    room->CopyFrom(from, false);
    return AppendRoom(std::move(room));
}

// The copy is of the definition only: making its instances here would put instances of a room that is not
// running into the instance table, and entering the room makes them from the record anyway.
bool Room_Assign(int destination, int source) {
    if (!Room_Exists(destination) || !Room_Exists(source)) return false;
    auto room = std::make_unique<CRoom>();
    room->CopyFrom(Room_Data(source), false);
    g_definitions[static_cast<size_t>(destination)] = std::move(room);
    return true;
}
