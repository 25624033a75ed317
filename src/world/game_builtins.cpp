#include "world/game_builtins.h"

void InitGameFunctions() {
    InitMotionFunctions();
    InitPathFunctions();
    InitMotionPlanningFunctions();
    InitInstanceFunctions();
    InitRoomFunctions();
}
