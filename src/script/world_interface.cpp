#include "script/world_interface.h"

namespace {
IScriptWorld* g_world = nullptr;
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
