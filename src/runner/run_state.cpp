#include "runner/run_state.h"

#include "graphics/frame.h"
#include "graphics/graphics_builtins.h"
#include "io/message_pump.h"
#include "library/library_builtins.h"
#include "world/game_values.h"

CDebugForm* Run_DebugForm = nullptr;
uint8_t Run_Paused = 0;
int64_t Run_StepClock = 0;

void Run_Global_Init() {
    Run_Running = 0;
    Run_Paused = 0;
    GameValues_Reset();
    Run_StepCount = 0;
    Run_DrawEnabled = 1;
    Graphics_ResetRequest = 0;
    Run_FPS = 0;
}

void SetReleaseMode(int flag) {
    DS_Grid_SetBoundsChecking(flag != 0);
    VertexBuilder_SetChecked(flag != 0);
}
