// A game run in this process, with no window or device, for the saved-game fuzz target (which loads its
// inputs into the example game) and the corpus generator (which saves its seeds from it): the game
// started, and its state written as a saved game.
#pragma once

#include "game_writer.h"
#include "core/memory.h"
#include "io/message_pump.h"
#include "runner/game_load.h"
#include "runner/run_loop.h"
#include "runner/startup.h"
#include "script/buffer.h"
#include "script/compiler/compile.h"
#include "script/variables.h"
#include "world/saved_game.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

// The running game's file, kept until World_End.
inline CGameFile& World_File() {
    static CGameFile file;
    return file;
}

// Loads, prepares and starts the game of a data file in its first room. Errors in the game's code end
// the code that raised them, not the process. False when any step fails.
inline bool World_Start(const std::vector<uint8_t>& file) {
    if (file.empty() || !Runner_InitAll()) return false;
    World_File() = CGameFile::CopyOf(file.data(), file.size());
    Code_Load(World_File().Data(), World_File().Size());
    if (!LoadGameData(World_File())) return false;
    Variable_InitGlobals();
    if (!PrepareGame()) return false;
    CodeError_State().Code_QuietErrors = true;
    MessagePump_State().Run_Running = 1;
    return StartGame();
}

// Cuts the table of declared-global flags to its first 16 (the games here declare none): the whole
// table is most of a saved game, and a small one lets a fuzzer's edits reach the rooms.
inline void World_ShortFlagTable() {
    SavedGlobals globals{std::make_unique<CVariableList>(), std::vector<uint8_t>(16, 0)};
    globals.list->CopyFrom(Variable_Globals());
    Variable_UseGlobals(globals);
}

// The running state as a saved game.
inline std::string World_Save() {
    IBuffer buffer(0, eBuffer_Grow, 1);
    Game_WriteState(&buffer);
    return std::string(reinterpret_cast<const char*>(buffer.data), static_cast<size_t>(buffer.position));
}

inline void World_End() {
    EndGame();
    Runner_Shutdown();
    World_File().Free();
}
