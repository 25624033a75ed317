#include "runner/builtin_registry.h"

#include "audio/audio.h"
#include "core/console.h"
#include "ext/external_call.h"
#include "ext/platform_builtins.h"
#include "ext/service_builtins.h"
#include "graphics/graphics_builtins.h"
#include "io/gamepad.h"
#include "io/support_builtins.h"
#include "io/window.h"
#include "library/library_builtins.h"
#include "net/network.h"
#include "physics/physics.h"
#include "script/functions.h"
#include "world/action_builtins.h"
#include "world/draw_builtins.h"
#include "world/game_builtins.h"
#include "world/highscore.h"
#include "world/interaction_builtins.h"
#include "world/resource_builtins.h"
#include "world/tile_builtins.h"

namespace {

using Registrar = void (*)();

// One start-up group: its trace text and up to sixteen registrars, run in order. A null registrar stands
// for a group of the game world that is not built yet; its comment names the registrar that fills it.
struct RegistrationGroup {
    const char* trace;
    Registrar registrars[16];
};

const RegistrationGroup kGroups[] = {
    {"HighScore..", {HighScore_Load}}, // reads the table; registers nothing
    {"Game..", {InitGameFunctions}},
    {"Math..", {InitMathFunctions}},
    {"Graphic..",
     {InitDrawStateFunctions, InitShapeFunctions, InitPathDrawFunctions, InitShapeColourFunctions,
      InitTextureFunctions, InitTextFunctions, InitSelfDrawFunctions, InitSpriteDrawFunctions,
      InitCornerIdFunctions, InitWindowFunctions, InitDisplayFunctions, InitTileFunctions, InitSurfaceFunctions}},
    {"Action..", {InitMotionActionFunctions, InitPathActionFunctions, InitActionFunctions}},
    {"File..", {InitFileFunctions}},
    {"Resource..",
     {InitSpriteResourceFunctions, InitResourceFunctions, InitFontResourceFunctions, InitWorldResourceFunctions,
      InitPathResourceFunctions}},
    {"Interaction..", {InitInteractionFunctions}},
    {"3D..", {Init3DFunctions}},
    {"Particle..", {InitParticleFunctions}},
    {"Misc..", {Support_AddFunctions, InitMiscFunctions, InitEventFunctions, InitExternalCallFunctions,
                InitPlatformFunctions}},
    {"DS..", {InitDSFunctions}},
    {"Sound..", {InitSoundFunctions}},
    {"DPlay..", {InitMPlayFunctions}},
    {"Physics..", {InitPhysicsFunctions}},
    {"Gamepad..", {InitGamepadFunctions}},
    {"Buffers..", {InitBufferFunctions, InitVertexFunctions}},
    {"Networking..", {InitNetworkFunctions}},
    {"Shaders..", {InitShaderFunctions, InitVertexFormatFunctions, InitSteamFunctions}},
    {"Zebo..", {InitVirtualKeyFunctions, InitServiceFunctions, InitWin8Functions}},
    {"Fini\n", {nullptr}},
};

} // namespace

void InitQNLFunctions() {
    InitQNLFunctionsByGroup();
}

std::vector<BuiltinGroupEntries> InitQNLFunctionsByGroup() {
    std::vector<BuiltinGroupEntries> groups;
    for (const RegistrationGroup& group : kGroups) {
        DebugConsole->Output("%s", group.trace);
        const int first = Code_Function_Count();
        for (Registrar registrar : group.registrars) {
            if (registrar) registrar();
        }
        const std::string trace = group.trace;
        if (trace.size() > 2 && trace.compare(trace.size() - 2, 2, "..") == 0)
            groups.push_back(
                BuiltinGroupEntries{trace.substr(0, trace.size() - 2), first, Code_Function_Count()});
    }
    return groups;
}
