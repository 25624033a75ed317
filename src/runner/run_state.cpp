#include "runner/run_state.h"

#include "graphics/frame/frame.h"
#include "io/message_pump.h"
#include "world/game_values.h"

void Run_Global_Init() {
    MessagePump_State().Run_Running = 0;
    Run_State().Run_Paused = 0;
    GameValues_Reset();
    GameValues_State().Run_StepCount = 0;
    Frame_State().Run_DrawEnabled = 1;
    Window_State().Graphics_ResetRequest = 0;
    GameValues_State().Run_FPS = 0;
}
