// Runs arbitrary bytes as a game, as the runner starts one: the file is read from disk, the window made
// on the scripted platform, the graphics started on the recording device, the game loaded, prepared and
// started, and a few frames run (steps, events, drawing) before the game is ended and everything freed.
// Errors in the game's code are reported on the console and do not end the process; files whose window
// would be larger than 1024 x 1024 (or empty, which the runner refuses by ending) are skipped.
#include "fuzz_quiet.h"
#include "core/memory.h"
#include "data/general_info.h"
#include "device/device.h"
#include "io/message_pump.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"
#include "runner/command_line.h"
#include "runner/game_load.h"
#include "runner/run_loop.h"
#include "runner/startup.h"
#include "script/code_references.h"
#include "script/vm/vm_error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr int kFrames = 4;
std::string g_path;

void KeepRunning(const char*) {}

// The window the pre-pass reads from the file: skipped when the runner would end on it.
bool WindowFits(const uint8_t* data, size_t size) {
    CGameFile game = CGameFile::CopyOf(data, size);
    Code_Load(game.Data(), game.Size());
    const bool fits = GeneralInfo_State().g_GeneralInfo.windowWidth >= 1 &&
                      GeneralInfo_State().g_GeneralInfo.windowWidth <= 1024 &&
                      GeneralInfo_State().g_GeneralInfo.windowHeight >= 1 &&
                      GeneralInfo_State().g_GeneralInfo.windowHeight <= 1024;
    Game_FreeData();
    return fits;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static CFakePlatform platform(1280, 1024);
    platform.clockStep = 1000;
    Platform_SetBackend(&platform);
    D3D_SetBackend(D3DBackend::Recording);
    Code_SetLoadErrorHandler(KeepRunning);
    VM_SetFatalEnd(KeepRunning);
    g_path = (access("/dev/shm", W_OK) == 0 ? "/dev/shm/fuzz_room_run." : "/tmp/fuzz_room_run.") +
             std::to_string(getpid()) + ".win";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20 || !WindowFits(data, size)) return 0;
    if (FILE* file = std::fopen(g_path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    const std::optional<std::string> path = ParseCommandLine("runner -game " + g_path + " -noerrors");
    if (Runner_InitAll()) {
        CGameFile game;
        Runner_StartUp(path, game);
        for (int frame = 0; frame < kFrames && MessagePump_State().Run_Running == 1; ++frame) {
            Run_Frame();
            ProcessMessages();
        }
        if (MessagePump_State().Run_Running != 0) MessagePump_State().Run_Running = 0;
        EndGame();
        Runner_StopDevices();
        Runner_Shutdown();
    }
    CommandLine_State().Runner_Switches = RunnerSwitches();
    return 0;
}
