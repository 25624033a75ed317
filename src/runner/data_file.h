// The game data file: finding and reading it (with "options.ini" and the debug-information file beside
// it), checking the container, and the walk that hands every chunk to its loader in file order.
//
// The file is read once into one block that stays for the whole run. Loaders read it through a CDataView
// and check every offset, count and record against the file and their chunk; any violation fails the
// load with a message on the debug console.
#pragma once

#include "runner/data_view.h"

#include <cstdint>
#include <string>
#include <vector>

// A chunk loader: the whole file, the chunk, and (for chunks whose body is a counted offset list) the
// checked entries of that list. False fails the load; the loader has said why.
using ChunkLoader = bool (*)(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);

// Reads the game file at its path, the options file and the debug-information file beside it. The path
// is made absolute and read as it is (it is not mapped again). Without a path the file dialog is asked
// for one; a cancelled dialog ends the process with exit code 1. False when the game file could not be
// read.
bool RunnerLoadGame(const char* gamePath);
// The "DEFAULT" section of "options.ini": the four orientation keys go to the platform; "Debug" (which
// also installs the physics assertion hook when set) and "Trace" are kept for the start-up.
class IniFile;
void IniFile_ReadRunnerOptions(const IniFile& ini);
// What "options.ini" said of debug mode and tracing: 1 or 0, or -1 when it said nothing.
struct RunnerIniOptions {
    int debug = -1;
    int trace = -1;
};
const RunnerIniOptions& Game_IniOptions();
// The options file, or null when the game has none.
IniFile* Game_OptionsFile();

// The asker of a game file when none was given: gives a new memory-manager text, or null for "cancel".
// The dialog layer installs it; without one there is no way to ask, which counts as a cancel.
void Runner_SetGameFileAsker(char* (*asker)());

// Traces "LoadGameData()" and walks the loaded game file. False when nothing usable was loaded or the walk
// failed.
bool LoadGameData();
// The main walk over a file in memory.
bool IFF_ProcessChunks(uint8_t* data, uint32_t size);
// Checks the container (size field = length - 8, chunks that fit the file) and lists its chunks in file
// order. False, with a message naming `what`, when the container is broken.
bool IFF_ReadChunks(const CDataView& file, std::vector<IFFChunk>* chunks, const char* what);
// The tag as its four characters.
std::string IFF_TagName(uint32_t tag);

// Records a problem found while reading the game's files (outside the walk), so the load fails.
void Runner_LoadFailed(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool Runner_HasLoadFailed();

// The loaded game file (an empty view before RunnerLoadGame or when it failed).
const CDataView& Game_File();
// Installs a file in memory as the loaded game (a memory-manager block of size + 1 bytes, taken over).
void Game_SetData(uint8_t* data, uint32_t size);
// Frees the loaded files and forgets every table made from them (shutdown, and between tests).
void Game_FreeData();
const std::string& Game_OptionsPath();
const std::string& Game_DebugPath();

// The texture pages: the offsets of the 22-byte "TPAG" records and the texture ids made from "TXTR".
const std::vector<uint32_t>& TPage_Entries();
// The texture id of a "TXTR" index, -1 when the index is out of range or its page made no texture.
int Textures_GetId(int index);
// The texture of texture-page entry i: the texture id of the "TXTR" page its last 16-bit field names (the
// field itself when it names no page); -1 when i is out of range.
int TPage_GetTexture(int entryIndex);
