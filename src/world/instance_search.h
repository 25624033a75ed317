// The instances an object argument names, as the place tests and the instance and collision built-ins
// search them: -3 the room's active list, an instance id that one instance, anything else the
// all-instances list of that object (its own instances and its descendants'). Only present instances
// (neither marked for removal nor deactivated) are visited.
#pragma once

#include "world/instance.h"
#include "world/object.h"
#include "world/room.h"

// Calls visit on each present instance that obj names, in list order, until visit returns true; gives
// that instance, or null when none passed (or obj names nothing).
template <typename Visit> CInstance* Instances_FindFirst(int obj, Visit visit) {
    if (obj == INSTANCE_ALL) {
        if (!Room_State().Run_Room) return nullptr;
        for (CInstance* instance = Room_State().Run_Room->active.first; instance;) {
            CInstance* next = instance->next;
            if (instance->Present() && visit(instance)) return instance;
            instance = next;
        }
        return nullptr;
    }
    if (obj >= kFirstInstanceId) {
        CInstance* instance = Instance_Find(obj);
        return instance && instance->Present() && visit(instance) ? instance : nullptr;
    }
    CObject* object = Object_Data(obj);
    if (!object) return nullptr;
    for (ObjectInstanceNode* node = object->allInstances.first; node;) {
        ObjectInstanceNode* next = node->next;
        if (node->value->Present() && visit(node->value)) return node->value;
        node = next;
    }
    return nullptr;
}
