// The room table: the room definitions by index with their names, and the room order of the game header.
// Room indices are what scripts use as room ids. (The running rooms are kept apart, by index, in the
// run-time room table of room_entry.h.)
#pragma once

#include "data/data_view.h"

#include <cstdint>
#include <vector>

class CRoom;

// Empties the definitions and their names (before the data file is read).
void Room_Init();
// The "ROOM" chunk loader (list: its checked record offsets). A slot of offset 0 is empty. False, a load
// failure naming the room, when a record does not hold together.
bool Room_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
// Empties the table and forgets the room order (shutdown).
void Room_Clear();
// After the chunk walk: names on the debug console every instance placed in a room whose object the
// game does not have (it is still made, as the room says, but it runs and draws nothing).
void Room_ReportMissingObjects();
// Compiles the room and instance creation code of a game whose code is source text; see room_table.cpp.
bool Room_Prepare();

int Room_Count();
bool Room_Exists(int index);
// The definition, null when out of range or empty.
CRoom* Room_Data(int index);
// "<undefined>" when the room does not exist.
const char* Room_GetName(int index);
int Room_FindByName(const char* name);

// The room order. Each gives a room that exists, or -1 (also for an empty order).
int Room_First();
int Room_Last();
int Room_Previous(int room);
int Room_Next(int room);

// Table operations of the room built-ins.
int Room_Add();
int Room_Duplicate(int room);
bool Room_Assign(int destination, int source);
