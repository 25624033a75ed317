#include "runner/options_file.h"

#include "core/console.h"
#include "core/files.h"
#include "ext/platform_services.h"
#include "graphics/frame/profiler.h"
#include "library/ini_file.h"
#include "physics/physics.h"
#include "runner/command_line.h"
#include "script/vm/vm.h"

#include <memory>

namespace {

std::string g_optionsPath;
std::unique_ptr<IniFile> g_optionsFile;
RunnerIniOptions g_iniOptions;

} // namespace

void IniFile_ReadRunnerOptions(const IniFile& ini) {
    const char* kSection = "DEFAULT";
    // A key read as a whole number; an absent key counts as true.
    auto flag = [&](const char* key) { return ini.ReadInt(kSection, key, 1) != 0; };
    Platform_SetOrientations(flag("OrientLandscape"), flag("OrientPortrait"), flag("OrientLandscapeFlipped"),
                             flag("OrientPortraitFlipped"));
    // Debug and Trace act as the "-debug" and "-trace" switches do, and also switch them off.
    if (ini.FindKey(kSection, "Debug")) {
        const bool debug = flag("Debug");
        g_iniOptions.debug = debug ? 1 : 0;
        CommandLine_State().Runner_Switches.debugMode = debug;
        if (debug) {
            Profiler_State().Debug_Flags = kDebugShowFPS;
            Physics_SetAssertHandler();
        }
    }
    if (ini.FindKey(kSection, "Trace")) {
        const bool trace = flag("Trace");
        g_iniOptions.trace = trace ? 1 : 0;
        CommandLine_State().Runner_Switches.trace = trace;
        VMDebug_State().VM_Trace = trace;
    }
}

const RunnerIniOptions& Game_IniOptions() {
    return g_iniOptions;
}

IniFile* Game_OptionsFile() {
    return g_optionsFile.get();
}

void Game_ReadOptionsFile(const std::string& path, size_t separator) {
    g_optionsPath.clear();
    if (separator != std::string::npos) {
        g_optionsPath = path.substr(0, separator) + "/options.ini";
        DebugConsole->Output("Checking if INIFile %s Exists\n", g_optionsPath.c_str());
        if (Support_FileExists(g_optionsPath.c_str())) {
            // Read at this path as it is, from the game folder only: a file of that name in the save area
            // (the game's own ini file, say) must not change the runner's options. The virtual keys it
            // defines are made when the input starts (IO Init), which clears the table first.
            g_optionsFile = std::make_unique<IniFile>(g_optionsPath.c_str(), true, IniSource::PathAsGiven);
            IniFile_ReadRunnerOptions(*g_optionsFile);
        } else {
            DebugConsole->Output("!!!!No INI File %s\n", g_optionsPath.c_str());
        }
    }
}

const std::string& Game_OptionsPath() {
    return g_optionsPath;
}

void Game_FreeOptionsFile() {
    g_optionsPath.clear();
    g_optionsFile.reset();
    g_iniOptions = RunnerIniOptions();
}
