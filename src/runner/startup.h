// The process: entry, the fixed initialisation list, the traced start-up sequence that loads, prepares
// and starts the game, the main loop, and the shutdown in its fixed order.
#pragma once

#include <string>

// Runs the whole process for a command line (already captured and cut); gives the exit code. folder is
// where the executable lies (with its final "/"): "data.win" is looked for there.
int Runner_Main(const std::string& commandLine, const std::string& folder);

bool Runner_InitAll();
void Runner_StartUp();
bool Runner_DoTheWork();
bool PrepareGame();
bool InitGraphics();
void Runner_StopDevices();
void Runner_Shutdown();
