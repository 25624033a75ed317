// The game data file: finding and reading it (with "options.ini" and the debug-information file beside
// it), the pre-pass that reads what the window needs before it exists, and the main walk that hands
// every chunk to its loader in file order.
//
// The file is read once into one block that stays for the whole run. Loaders read it through a CDataView
// and check every offset, count and record against the file and their chunk; any violation fails the
// load with a message on the debug console.
#pragma once

#include "data/data_view.h"

#include <cstdint>
#include <string>

// Reads the game file at its path, the options file and the debug-information file beside it. The path
// is made absolute and read as it is (it is not mapped again). Without a path the file dialog is asked
// for one; a cancelled dialog ends the process with exit code 1. False when the game file could not be
// read.
bool RunnerLoadGame(const char* gamePath);

// The asker of a game file when none was given: gives a new memory-manager text, or null for "cancel".
// The dialog layer installs it; without one there is no way to ask, which counts as a cancel.
void Runner_SetGameFileAsker(char* (*asker)());

// The pre-pass over the whole file ("Get Resolution"): the general information, the strings, the code
// and the variable references. A broken record is recorded as a load failure (Runner_HasLoadFailed) and
// ends the pre-pass.
void Code_Load(uint8_t* data, uint32_t size);

// Traces "LoadGameData()" and walks the loaded game file. False when nothing usable was loaded or the walk
// failed.
bool LoadGameData();
// The main walk over a file in memory.
bool IFF_ProcessChunks(uint8_t* data, uint32_t size);

// The options record back to its start values, and the flags it drives in other subsystems with it.
void Game_ClearOptions();
// Empties every table the main walk fills.
void Game_ClearLoadedTables();

// The loaded game file (an empty view before RunnerLoadGame or when it failed).
const CDataView& Game_File();
// Installs a file in memory as the loaded game (a memory-manager block of size + 1 bytes, taken over).
void Game_SetData(uint8_t* data, uint32_t size);
// Frees the loaded files and forgets every table made from them (shutdown, and between tests).
void Game_FreeData();
const std::string& Game_DebugPath();
