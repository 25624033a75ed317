// In every test program a fatal run-time error of game code is recorded instead of ending the process,
// and no error dialog is shown (as with "-noerrors").
#pragma once

#include <string>
#include <vector>

// The messages of the fatal errors since the last call (cleared by it).
std::vector<std::string> TakeFatalErrors();
