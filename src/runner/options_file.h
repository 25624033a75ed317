// The options file beside the game ("options.ini"), read from the game folder only and logged: its
// "DEFAULT" section's orientation keys go to the platform, "Debug" and "Trace" set debug mode (with the
// physics assertion hook) and tracing as the "-debug" and "-trace" switches do; its virtual buttons are
// made when the input starts.
#pragma once

#include <cstddef>
#include <string>

class IniFile;

// Reads "options.ini" in the folder of the game at path (separator: where the folder ends in it, npos
// when the path names no folder).
void Game_ReadOptionsFile(const std::string& path, size_t separator);
void IniFile_ReadRunnerOptions(const IniFile& ini);
// What "options.ini" said of debug mode and tracing: 1 or 0, or -1 when it said nothing.
struct RunnerIniOptions {
    int debug = -1;
    int trace = -1;
};
const RunnerIniOptions& Game_IniOptions();
// The options file, or null when the game has none.
IniFile* Game_OptionsFile();
const std::string& Game_OptionsPath();
// Forgets the options file and what it said (shutdown, and between tests).
void Game_FreeOptionsFile();
