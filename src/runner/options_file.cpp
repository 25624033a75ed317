#include "runner/options_file.h"

#include "core/console.h"
#include "core/files.h"
#include "ext/platform_services.h"
#include "library/ini_file.h"
#include "physics/physics.h"

#include <cstdlib>
#include <memory>

namespace {

std::string g_optionsPath;
std::unique_ptr<IniFile> g_optionsFile;
RunnerIniOptions g_iniOptions;

} // namespace

void IniFile_ReadRunnerOptions(const IniFile& ini) {
    auto value = [&](const char* key) -> const char* {
        IniKey* found = ini.FindKey("DEFAULT", key);
        if (!found) return nullptr;
        return found->value ? found->value : "";
    };
    auto flag = [&](const char* key) {
        const char* text = value(key);
        return !text || std::atoi(text) != 0;
    };
    Platform_SetOrientations(flag("OrientLandscape"), flag("OrientPortrait"), flag("OrientLandscapeFlipped"),
                             flag("OrientPortraitFlipped"));
    if (const char* debug = value("Debug")) {
        g_iniOptions.debug = std::atoi(debug) != 0 ? 1 : 0;
        if (g_iniOptions.debug) Physics_SetAssertHandler();
    }
    if (const char* trace = value("Trace")) g_iniOptions.trace = std::atoi(trace) != 0 ? 1 : 0;
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
            // Read at this path as it is: the ini reader must not map it into the game folder again.
            g_optionsFile = std::make_unique<IniFile>(g_optionsPath.c_str(), false);
            // The virtual keys are read from it by the input code once that exists.
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
