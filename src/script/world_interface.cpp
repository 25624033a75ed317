#include "script/world_interface.h"

namespace {
IScriptWorld* g_world = nullptr;
}

void IScriptWorld::GatherPresent(ScriptInstanceList list, int objectIndex, bool matchObject,
                                 std::vector<CInstance*>& out) {
    VisitInstances(list, objectIndex, [&](CInstance* instance) {
        if (!IsMarked(instance) && !IsDeactivated(instance) && (!matchObject || ObjectIndexOf(instance) == objectIndex))
            out.push_back(instance);
        return true;
    });
}

void ScriptWorld_Install(IScriptWorld* world) {
    g_world = world;
}

IScriptWorld* ScriptWorld_Get() {
    return g_world;
}

void ScriptWorld_RunOnScratch(const std::function<void(CInstance*)>& run) {
    IScriptWorld* world = g_world;
    CInstance* scratch = world ? world->CreateScratchInstance() : nullptr;
    run(scratch);
    if (scratch) world->DestroyScratchInstance(scratch);
}

float ScriptWorld_ImageIndexOf(CInstance* instance) {
    return instance && g_world ? g_world->ImageIndexOf(instance) : 0.0f;
}

bool ScriptWorld_RoomSize(int& width, int& height) {
    if (g_world) return g_world->RunningRoomSize(width, height);
    width = 0;
    height = 0;
    return false;
}
