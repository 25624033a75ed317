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
