// What the script engine, and the drawing and window code beside the world, need of the game world and
// its instances. The world installs its implementation at start-up; the layers below and beside it never
// include world headers, and their tests install fake instances.
#pragma once

#include <functional>
#include <vector>

class CInstance;
class CVariableList;
struct ScriptValue;

// The instance lists a variable target can walk, each in the world's own order.
enum class ScriptInstanceList {
    Room,             // every instance of the current room
    Object,           // the instances of one object
    ChangedObject,    // instances whose object changed during this step
    ActivationChange, // instances whose activation changed during this step
};

class IScriptWorld {
public:
    virtual ~IScriptWorld() = default;
    // The instance with that id, or null.
    virtual CInstance* FindInstance(int id) = 0;
    // The instance's user variables, or null when it keeps none in a list.
    virtual CVariableList* InstanceVariables(CInstance* instance) = 0;
    // The byte offset in every instance of the pointer InstanceVariables gives, when instances keep it in
    // a field of their own, so that a caller may read it in place; -1 when it must be asked for.
    virtual int InstanceVariablesOffset() { return -1; }
    // A user-variable slot of an instance of a compiled game, or null when there is no such slot.
    virtual ScriptValue* InstanceSlot(CInstance* instance, int slot) = 0;
    virtual int ObjectIndexOf(CInstance* instance) = 0;
    virtual bool IsMarked(CInstance* instance) = 0; // marked for destruction
    virtual bool IsDeactivated(CInstance* instance) = 0;
    // Calls visit for each instance of the list (objectIndex selects the object of ScriptInstanceList::
    // Object) in order, until visit gives false.
    virtual void VisitInstances(ScriptInstanceList list, int objectIndex,
                                const std::function<bool(CInstance*)>& visit) = 0;
    // Appends the instances of the list (as VisitInstances walks it) that are neither marked nor
    // deactivated; with matchObject only those whose object index is objectIndex.
    virtual void GatherPresent(ScriptInstanceList list, int objectIndex, bool matchObject,
                               std::vector<CInstance*>& out);
    // A free-standing instance at (0, 0) with id 0 and object 0, entered in no list, for code that runs
    // outside the room (library initialisation); null when the world makes none. Destroyed through
    // DestroyScratchInstance.
    virtual CInstance* CreateScratchInstance() { return nullptr; }
    virtual void DestroyScratchInstance(CInstance*) {}
    // The instance's image_index, for which a negative frame of the sprite-drawing built-ins stands.
    virtual float ImageIndexOf(CInstance*) { return 0.0f; }
    // The running room's width and height; false (and 0 x 0) when no room is running.
    virtual bool RunningRoomSize(int& width, int& height) {
        width = 0;
        height = 0;
        return false;
    }
};

// Installs the world (null removes it). Without a world no instance exists.
void ScriptWorld_Install(IScriptWorld* world);
IScriptWorld* ScriptWorld_Get();
// Runs code on a scratch instance of the world (null when there is no world or it makes none), which is
// destroyed afterwards.
void ScriptWorld_RunOnScratch(const std::function<void(CInstance*)>& run);
// The image_index of the instance; 0 for no instance or without a world.
float ScriptWorld_ImageIndexOf(CInstance* instance);
// The running room's width and height; false (and 0 x 0) when no room is running or there is no world.
bool ScriptWorld_RoomSize(int& width, int& height);
