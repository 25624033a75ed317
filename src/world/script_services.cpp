// What the script engine reaches of the world: instance look-up, variables, the instance lists, and the
// running event and names for error reports; and what the drawing and the window read of it, an
// instance's image and the running room's size.
#include "script/compiler/constants.h"
#include "script/value.h"
#include "script/vm/vm_error.h"
#include "script/world_interface.h"
#include "world/event.h"
#include "world/instance.h"
#include "world/object.h"
#include "world/path.h"
#include "world/room.h"
#include "world/room_size.h"
#include "world/room_table.h"
#include "world/timeline.h"

namespace {

class CWorldForScripts : public IScriptWorld {
public:
    CInstance* FindInstance(int id) override { return Instance_Find(id); }
    CVariableList* InstanceVariables(CInstance* instance) override { return instance->variables; }
    int InstanceVariablesOffset() override {
        // Measured on bytes that are never read as an instance.
        alignas(CInstance) static const unsigned char probe[sizeof(CInstance)] = {};
        const auto* instance = reinterpret_cast<const CInstance*>(probe);
        return static_cast<int>(reinterpret_cast<const unsigned char*>(&instance->variables) - probe);
    }
    ScriptValue* InstanceSlot(CInstance* instance, int slot) override {
        return slot >= 0 && slot < instance->slotCount ? &instance->slots[slot] : nullptr;
    }
    int ObjectIndexOf(CInstance* instance) override { return instance->object_index; }
    bool IsMarked(CInstance* instance) override { return instance->Marked(); }
    bool IsDeactivated(CInstance* instance) override { return instance->deactivated; }

    void VisitInstances(ScriptInstanceList list, int objectIndex,
                        const std::function<bool(CInstance*)>& visit) override {
        switch (list) {
        case ScriptInstanceList::Room:
            if (!Room_State().Run_Room) return;
            for (CInstance* instance = Room_State().Run_Room->active.first; instance;) {
                CInstance* next = instance->next;
                if (!visit(instance)) return;
                instance = next;
            }
            return;
        case ScriptInstanceList::Object:
            // An object's instances include those of its descendants.
            if (CObject* object = Object_Data(objectIndex)) {
                for (ObjectInstanceNode* node = object->allInstances.first; node;) {
                    ObjectInstanceNode* next = node->next;
                    if (!visit(node->value)) return;
                    node = next;
                }
            }
            return;
        case ScriptInstanceList::ChangedObject:
            VisitDeferred(DEFERRED_OBJECT, visit);
            return;
        case ScriptInstanceList::ActivationChange:
            VisitDeferred(DEFERRED_ACTIVATION, visit);
            return;
        }
    }

    void GatherPresent(ScriptInstanceList list, int objectIndex, bool matchObject,
                       std::vector<CInstance*>& out) override {
        const auto present = [&](const CInstance* instance) {
            return !instance->Marked() && !instance->deactivated &&
                   (!matchObject || instance->object_index == objectIndex);
        };
        if (list == ScriptInstanceList::Room) {
            if (!Room_State().Run_Room) return;
            for (CInstance* instance = Room_State().Run_Room->active.first; instance; instance = instance->next)
                if (present(instance)) out.push_back(instance);
        } else if (list == ScriptInstanceList::Object) {
            if (CObject* object = Object_Data(objectIndex))
                for (ObjectInstanceNode* node = object->allInstances.first; node; node = node->next)
                    if (present(node->value)) out.push_back(node->value);
        } else {
            IScriptWorld::GatherPresent(list, objectIndex, matchObject, out);
        }
    }

    CInstance* CreateScratchInstance() override { return new CInstance(0, 0, 0, 0, false); }
    void DestroyScratchInstance(CInstance* instance) override { delete instance; }
    float ImageIndexOf(CInstance* instance) override { return instance->image_index; }
    bool RunningRoomSize(int& width, int& height) override { return Room_GetCurrentSize(width, height); }

private:
    static void VisitDeferred(DeferredList which, const std::function<bool(CInstance*)>& visit) {
        for (int i = 0; i < Deferred_Count(which); ++i)
            if (!visit(Deferred_At(which, i))) return;
    }
};

CWorldForScripts g_world;

} // namespace

void World_InstallScriptServices() {
    ScriptWorld_Install(&g_world);
    // The names of objects, rooms, paths and timelines stand for their indices in compiled code.
    Code_Constant_SetResourceFind(RESOURCE_OBJECT, Object_FindByName);
    Code_Constant_SetResourceFind(RESOURCE_ROOM, Room_FindByName);
    Code_Constant_SetResourceFind(RESOURCE_PATH, Path_FindByName);
    Code_Constant_SetResourceFind(RESOURCE_TIMELINE, TimeLine_Find);
    CodeReportHost host{};
    host.currentEvent = [](int& type, int& number, int& object, int& action) {
        type = Event_State().event_type;
        number = Event_State().event_number;
        object = Event_State().event_object;
        action = Event_State().event_action;
    };
    host.eventName = Event_GetName;
    host.objectName = Object_GetName;
    host.timelineName = TimeLine_GetName;
    Code_SetReportHost(host);
}
