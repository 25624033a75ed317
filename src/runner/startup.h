// The process: entry, the fixed initialisation list, the traced start-up sequence that loads, prepares
// and starts the game, the main loop, and the shutdown in its fixed order.
#pragma once

#include <optional>
#include <string>

class CGameFile;

// Runs the whole process for a command line (already captured and cut); gives the exit code. folder is
// where the executable lies (with its final "/"): "data.win" is looked for there. The game's tables are
// left unfreed at the end: the caller ends the process without destroying the program's statics (see
// main.cpp).
int Runner_Main(const std::string& commandLine, const std::string& folder);

bool Runner_InitAll();
// Reads the game file at gamePath (asks for one when there is none) into game, which the caller keeps
// for the whole run and frees after Runner_Shutdown, then makes the window and the devices and starts
// the game.
void Runner_StartUp(const std::optional<std::string>& gamePath, CGameFile& game);
bool Runner_DoTheWork(const CGameFile& game);
bool PrepareGame();
bool InitGraphics();
void Runner_StopDevices();
// Closes the devices' users, the files, threads and libraries of the run and frees its tables. When
// processEnds, the process ends right after (see Runner_Main): the tables that hold nothing but memory
// are left as they are, still reachable, for the system to take back with the process.
void Runner_Shutdown(bool processEnds = false);
