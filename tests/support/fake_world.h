// Fake instances for the script engine's tests, fuzz targets and benchmarks: a room of instances with
// their own variables, reached through the world interface the engine uses.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "script/variable_list.h"
#include "script/world_interface.h"

// A fake instance: an id, an object index and its own variables.
struct FakeInstance {
    int id;
    int object;
    bool marked = false;
    bool deactivated = false;
    CVariableList variables;
};

// A room of fake instances. Object lists hold the room's instances of each object in room order;
// changedObject and activationChange list what those stage lists would hold.
class FakeWorld : public IScriptWorld {
public:
    FakeInstance* Add(int id, int object) {
        room.push_back(std::make_unique<FakeInstance>());
        room.back()->id = id;
        room.back()->object = object;
        return room.back().get();
    }
    static CInstance* AsInstance(FakeInstance* instance) { return reinterpret_cast<CInstance*>(instance); }
    static FakeInstance* Of(CInstance* instance) { return reinterpret_cast<FakeInstance*>(instance); }

    CInstance* FindInstance(int id) override {
        for (auto& instance : room)
            if (instance->id == id) return AsInstance(instance.get());
        return nullptr;
    }
    CVariableList* InstanceVariables(CInstance* instance) override {
        return instance ? &Of(instance)->variables : nullptr;
    }
    ScriptValue* InstanceSlot(CInstance*, int) override { return nullptr; }
    int ObjectIndexOf(CInstance* instance) override { return Of(instance)->object; }
    bool IsMarked(CInstance* instance) override { return Of(instance)->marked; }
    bool IsDeactivated(CInstance* instance) override { return Of(instance)->deactivated; }
    void VisitInstances(ScriptInstanceList list, int objectIndex,
                        const std::function<bool(CInstance*)>& visit) override {
        std::vector<FakeInstance*> members;
        switch (list) {
        case ScriptInstanceList::Room:
        case ScriptInstanceList::Object:
            for (auto& instance : room)
                if (list == ScriptInstanceList::Room || instance->object == objectIndex)
                    members.push_back(instance.get());
            break;
        case ScriptInstanceList::ChangedObject:
            members = changedObject;
            break;
        case ScriptInstanceList::ActivationChange:
            members = activationChange;
            break;
        }
        for (FakeInstance* instance : members)
            if (!visit(AsInstance(instance))) return;
    }

    std::vector<std::unique_ptr<FakeInstance>> room;
    std::vector<FakeInstance*> changedObject;
    std::vector<FakeInstance*> activationChange;
};
