#include "world/room.h"

#include "core/convert.h"
#include "world/object.h"

CRoom* Run_Room = nullptr;
int32_t New_Room = -1;

namespace {
int g_lastInstanceId = kFirstInstanceId;
} // namespace

int Room_GetLastInstanceId() {
    return g_lastInstanceId;
}

void Room_SetLastInstanceId(int id) {
    g_lastInstanceId = id;
}

CRoom::~CRoom() {
    DestroyActiveInstances();
    DestroyDeactivatedInstances();
}

// The physics body of a new instance comes with the physics world, which rooms do not make yet.
CInstance* CRoom::CreateInstance(float x, float y, int objectIndex) {
    g_lastInstanceId = Wrap_Add32(g_lastInstanceId, 1);
    auto* instance = new CInstance(x, y, g_lastInstanceId, objectIndex, true);
    RoomList_InsertByDepth(&active, instance);
    InstanceHash_Insert(instance->id, instance);
    return instance;
}

// An instance leaves the hash, its room list, its object's lists and every pending list as it is
// destroyed.
void CRoom::RemoveInstance(CInstance* instance) {
    delete instance;
}

void CRoom::RemoveMarked() {
    for (CInstance* instance = active.first; instance;) {
        CInstance* next = instance->next;
        if (instance->marked) RemoveInstance(instance);
        instance = next;
    }
}

void CRoom::UpdateActivation() {
    for (CInstance* instance = deactivated.first; instance;) {
        CInstance* next = instance->next;
        if (!instance->deactivated) {
            RoomList_Unlink(&deactivated, instance);
            RoomList_InsertByDepth(&active, instance);
            instance->SetListed(true);
        }
        instance = next;
    }
    for (CInstance* instance = active.first; instance;) {
        CInstance* next = instance->next;
        if (instance->deactivated) {
            RoomList_Unlink(&active, instance);
            RoomList_Append(&deactivated, instance);
            instance->SetListed(false);
        }
        instance = next;
    }
    Deferred_Clear(DEFERRED_ACTIVATION);
}

void CRoom::DestroyActiveInstances() {
    while (active.first)
        delete active.first;
}

void CRoom::DestroyDeactivatedInstances() {
    while (deactivated.first)
        delete deactivated.first;
}
