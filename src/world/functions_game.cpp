#include "world/functions_game.h"

void InitGameFunctions() {
    InitMotionFunctions();
    InitInstanceFunctions();
    InitRoomFunctions();
}
