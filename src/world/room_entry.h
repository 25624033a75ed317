// Entering and leaving rooms: the run-time room table (the running rooms by room index, kept for
// persistent rooms), the instances carried from room to room, and the room start and end sequences with
// their events and creation code.
#pragma once

#include <cstdint>

class CRoom;

// The current room's index, reached through RoomEntry_State().
struct RoomEntryState {
    // The index of the current room.
    int32_t Run_RoomIndex = 0;
};

inline RoomEntryState& RoomEntry_State() {
    static RoomEntryState state;
    return state;
}

// The run-time room kept for a room index (the current room, or a persistent room visited), or null.
CRoom* Run_GetRoom(int index);
int Run_RoomTableLength();
// Sizes the run-time room table to count empty entries, deleting the rooms it held; no room is current.
void Run_ResetRoomTable(int count);
// Puts a room into the table at index (a loaded game's rooms; a room held there is deleted); false when
// index lies outside the table.
bool Run_SetRoom(int index, CRoom* room);

// Enters room r: a persistent room kept from an earlier visit comes back as it was left, any other room
// is made from its definition; carried instances join it; then the create events and instance creation
// code of the placed instances, game start (when gameStart), the room's creation code and room start
// run. A room that does not exist is not entered (false).
bool StartRoom(int r, bool gameStart);
// Leaves the current room: room end (and game end) events, persistent instances carried, the room kept
// when persistent and deleted otherwise.
void EndRoom(bool gameEnd);
void GotoRoom(int r);
// Deletes the carried copies (shutdown).
void Run_FreeCarriedInstances();
int Run_CarriedCount();
