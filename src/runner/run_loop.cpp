#include "runner/run_loop.h"

#include "audio/audio.h"
#include "core/console.h"
#include "core/memory.h"
#include "data/general_info.h"
#include "ext/extensions.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/profiler.h"
#include "io/input.h"
#include "io/message_pump.h"
#include "io/window.h"
#include "library/os_events.h"
#include "net/debugger.h"
#include "platform/clock.h"
#include "platform/platform.h"
#include "runner/command_line.h"
#include "runner/run_state.h"
#include "runner/step.h"
#include "runner/stop_signals.h"
#include "script/legacy/library_init.h"
#include "world/dispatch.h"
#include "world/game_values.h"
#include "world/room.h"
#include "world/room_draw.h"
#include "world/room_entry.h"
#include "world/room_table.h"

#include <algorithm>
#include <cstdlib>

namespace {

int64_t g_lastFrameTime = 0;
int64_t g_frameStart = 0;
int64_t g_fpsSecondStart = 0;
int32_t g_fpsCounter = 0;

int32_t RoomSpeed() {
    if (!Room_State().Run_Room) return 60;
    if (Room_State().Run_Room->speed < 1) Room_State().Run_Room->speed = 1;
    return Room_State().Run_Room->speed;
}

bool EndsTheGame(int32_t code) {
    return code == -100 || code == -400;
}

} // namespace

int64_t Run_FrameWait(int32_t speed, int64_t elapsed) {
    if (speed < 1) speed = 1;
    double wait = 1000000.0 / speed - static_cast<double>(elapsed);
    if (wait < 0) wait = 0;
    int64_t us = static_cast<int64_t>(std::min(wait, 1e6));
    if (static_cast<float>(us) >= 1000000.0f) us = 1000000;
    return us;
}

void Run_ChangeRoom(int32_t code, bool fromDebugger) {
    switch (code) {
    case -1:
        return;
    case -200:
        EndGame();
        if (!StartGame()) MessagePump_State().Run_Running = 0;
        if (fromDebugger) std::srand(2101988);
        return;
    case -300:
        Run_LoadPendingGame();
        return;
    default:
        // A code from a saved game or a stray write may name no room: it is dropped.
        if (code >= 0 && Room_Exists(code)) GotoRoom(code);
        else
            Room_State().New_Room = -1;
        return;
    }
}

bool StartGame() {
    DebugConsole->Output("StartGame()\n");
    Timing_Init();
    Object_CreateEventLists();
    GameValues_State().Game_Score = 0;
    GameValues_State().Game_Lives = -1;
    GameValues_State().Cursor_Sprite = -1;
    GameValues_State().Run_StepCount = 0;
    GameValues_State().Transition_Kind = 0;
    if (CommandLine_State().Runner_Switches.debugMode && !Run_State().Run_DebugForm) {
        DebugConsole->Output("Create Debug Form\n");
        Run_State().Run_DebugForm = new CDebugForm();
        Run_State().Run_DebugForm->Create();
    }
    Library_Init(); // false: no library texts
    if (!Extension_CallInitFunctions()) return false;
    Window_SetCursor(GeneralInfo_State().g_Options.showCursor ? 0 : -1);
    Run_FreeCarriedInstances();
    Run_ResetRoomTable(Room_Count());
    StopSignals_TestMoment("room");
    const int first = Room_First();
    if (first < 0 || !StartRoom(first, true)) return false;
    DebugConsole->Output("StartGame() - DONE\n");
    MemoryManager::ReportTotal();
    return true;
}

void EndGame() {
    if (CommandLine_State().Runner_Switches.debugMode && Run_State().Run_DebugForm) {
        Run_State().Run_DebugForm->Close();
        delete Run_State().Run_DebugForm;
        Run_State().Run_DebugForm = nullptr;
    }
    EndRoom(true);
    Run_ResetRoomTable(0);
    if (Extension_CallFinalFunctions()) Window_SetCursor(0);
}

void Run_LoadPendingGame() {
    Room_State().New_Room = -1;
    IO_Clear();
    // game_load queues its file itself; nothing sets -300 with a pending save name, so a stray -300 is
    // only cleared.
}

void Run_EnterMainLoop() {
    Timing_Init();
    const int64_t now = Timing_GetTime();
    g_lastFrameTime = now;
    g_fpsSecondStart = now;
    GameValues_State().Run_FPS = 0;
    g_fpsCounter = 0;
    ProcessMessages();
    DebugConsole->Output("**********************************.\n");
    DebugConsole->Output("Entering main loop.\n");
    DebugConsole->Output("**********************************.\n");
    Run_State().Run_StepClock = now;
}

void Run_Start() {
    // A close request made during start-up (a stop signal) reaches the window from here on: while the
    // first room starts, or at the latest as the main loop is entered, and the game ends before its first
    // step.
    Platform_HoldCloseRequests(false);
    bool started = true;
    if (MessagePump_State().Run_Running == 0) {
        MessagePump_State().Run_Running = 1;
        started = StartGame();
        // The quit message may arrive while the first room starts (its code waiting for a program or a
        // key pumps the messages): the run ends then, as it would a frame later.
        if (MessagePump_State().Run_Running == 0) started = false;
    }
    MessagePump_State().Run_Running = started ? 1 : 0;
    Run_State().Run_Paused = 0;
    Run_EnterMainLoop();
}

int32_t Run_Frame() {
    MemoryManager::NewFrame();
    const int64_t now = Timing_GetTime();
    g_frameStart = now;
    if (now < g_lastFrameTime) g_lastFrameTime = now;
    const int64_t us = Run_FrameWait(RoomSpeed(), now - g_lastFrameTime);
    Timing_SleepFrame(us);
    if (MessagePump_State().Run_Running == 0) return 60;
    OS_UpdatePauseEvent();

    g_lastFrameTime = g_frameStart + us;
    if (g_lastFrameTime < g_fpsSecondStart) g_fpsSecondStart = g_lastFrameTime;
    if (g_lastFrameTime / 1000000 > g_fpsSecondStart / 1000000) {
        GameValues_State().Run_FPS = g_fpsCounter;
        g_fpsCounter = 0;
        g_fpsSecondStart = g_lastFrameTime;
    }
    ++g_fpsCounter;

    SND_Tick();
    if (!Run_State().Run_Paused) {
        if (Window_State().Graphics_ResetRequest) {
            GR_D3D_ResetDevice();
            Window_State().Graphics_ResetRequest = 0;
        }
        Graphics::StartFrame();
        DoAStep();
        IO_DrawVirtualKeys();
        Graphics::EndFrame(Room_State().New_Room < 0 && Frame_State().Run_DrawEnabled);
        const int32_t code = Room_State().New_Room;
        if (EndsTheGame(code)) {
            MessagePump_State().Run_Running = 0;
            return 60;
        }
        Run_ChangeRoom(code, false);
    }
    DebuggerPoll();
    return RoomSpeed();
}

void Run_Stop() {
    MessagePump_State().Run_Running = 0;
    Run_State().Run_Paused = 0;
    if (CommandLine_State().Runner_Switches.debugMode) return;
    EndGame();
    Window_PostQuit();
}

void Run_Pause() {
    Run_State().Run_Paused = 1;
}

void Run_Step() {
    if (MessagePump_State().Run_Running && Run_State().Run_Paused) Run_StepOnce();
}

void Run_StepOnce() {
    ProcessMessages();
    DoAStep();
    if (Room_State().New_Room == -1 && Frame_State().Run_DrawEnabled == 1) {
        Graphics::EndFrame(true);
        Graphics::StartFrame();
    }
    const int32_t code = Room_State().New_Room;
    if (EndsTheGame(code)) {
        MessagePump_State().Run_Running = 0;
        return;
    }
    Run_ChangeRoom(code, true);
    ProcessMessages();
}
