// The run-time room as far as instances need it: its two instance lists and their operations, the
// current room and the pending room change, and the instance-id counter. The rest of the room (settings,
// backgrounds, views, tiles, records) belongs to the room code.
#pragma once

#include "world/instance.h"

#include <cstdint>

class CRoom {
public:
    CRoom() = default;
    ~CRoom();
    CRoom(const CRoom&) = delete;
    CRoom& operator=(const CRoom&) = delete;

    // A new instance with the next id, entered in its object's lists, the active list and the hash.
    CInstance* CreateInstance(float x, float y, int objectIndex);
    // Takes the instance out of the hash and its list, and destroys it.
    void RemoveInstance(CInstance* instance);
    // Removes every active instance marked for removal.
    void RemoveMarked();
    // Moves instances whose deactivated flag changed between the two lists.
    void UpdateActivation();
    void DestroyActiveInstances();
    void DestroyDeactivatedInstances();

    RoomList active;
    RoomList deactivated;
};

// The room the game is in, or null.
extern CRoom* Run_Room;
// The pending room change: -1 none, else the code of the change asked for.
extern int32_t New_Room;

int Room_GetLastInstanceId();
void Room_SetLastInstanceId(int id);
