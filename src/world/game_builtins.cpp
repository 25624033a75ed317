#include "world/game_builtins.h"

void InitGameFunctions() {
    InitMotionFunctions();
    InitInstanceFunctions();
    InitRoomFunctions();
}
