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

// The game file in memory: one memory-manager block of size + 1 bytes, owned, and freed with the object
// or by Free. The tables loaded from it may point into it, so it outlives them.
class CGameFile {
public:
    CGameFile() = default;
    // Takes over the block.
    CGameFile(uint8_t* data, uint32_t size) : m_view(data, size) {}
    // A file holding a copy of size bytes (a NUL after them, as a file read from disk has).
    static CGameFile CopyOf(const uint8_t* bytes, size_t size);
    CGameFile(const CGameFile&) = delete;
    CGameFile& operator=(const CGameFile&) = delete;
    CGameFile(CGameFile&& other) noexcept : m_view(other.m_view) { other.m_view = CDataView(); }
    CGameFile& operator=(CGameFile&& other) noexcept;
    ~CGameFile() { Free(); }

    uint8_t* Data() const { return m_view.Data(); }
    uint32_t Size() const { return m_view.Size(); }
    const CDataView& View() const { return m_view; }
    void Free();

private:
    CDataView m_view;
};

// Reads the game file at its path into game, with the options file and the debug-information file
// beside it. The path is made absolute and read as it is (it is not mapped again). Without a path, or
// with an empty one, the file dialog is asked for one; a cancelled dialog ends the process with exit
// code 1. False, with game empty, when the game file could not be read.
bool RunnerLoadGame(const char* gamePath, CGameFile& game);

// The asker of a game file when none was given: gives a new memory-manager text, or null for "cancel".
// pathGiven says whether a path was given, empty ("-game" without a file name). The dialog layer
// installs it; without one there is no way to ask, which counts as a cancel.
void Runner_SetGameFileAsker(char* (*asker)(bool pathGiven));

// The pre-pass over the whole file ("Get Resolution"): the general information, the strings, the code
// and the variable references. A broken record is recorded as a load failure (Runner_HasLoadFailed) and
// ends the pre-pass.
void Code_Load(uint8_t* data, uint32_t size);

// Traces "LoadGameData()" and walks the game file. False when nothing usable was loaded or the walk
// failed.
bool LoadGameData(const CGameFile& game);
// The main walk over a file in memory.
bool IFF_ProcessChunks(uint8_t* data, uint32_t size);

// The options record back to its start values, and the flags it drives in other subsystems with it.
void Game_ClearOptions();
// Empties every table the main walk fills.
void Game_ClearLoadedTables();

// Forgets every table made from the loaded files (shutdown, and between tests); the game file itself is
// freed by its owner, after this.
void Game_FreeData();
const std::string& Game_DebugPath();
