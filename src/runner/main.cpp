#include "core/process_exit.h"
#include "core/save_area.h"
#include "io/programs.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"
#include "runner/command_line.h"
#include "runner/startup.h"
#include "runner/stop_signals.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    // Whatever else calls exit (a library the game calls, or Xlib when the display goes away), the process
    // ends as the run's own ends do: the runner's statics, some of which its threads still use (the audio
    // streams' workers), are not destroyed under them. Handlers registered after this one (a library's
    // own, as it starts) run before it.
    ::on_exit([](int status, void*) { Process_End(status); }, nullptr);
    std::string error;
    if (!CommandLine_CheckArguments(argc, argv, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    Param_SetCommandLine(argc, argv);
    StopSignals_Install();
    StopSignals_TestMoment("handlers");
    std::unique_ptr<CSDLPlatform> sdl = CSDLPlatform::Create();
    if (!sdl) {
        std::fprintf(stderr, "The runner could not start SDL's video.\n");
        return 1;
    }
    Platform_SetBackend(sdl.get());
    std::string folder = GetExecutablePath();
    folder.erase(folder.find_last_of('/') + 1);
    const int code = Runner_Main(CommandLine_FromArguments(argc, argv), folder);
    Platform_SetBackend(nullptr);
    sdl.reset();
    // The run has closed everything outside the process; its tables go back to the system with it.
    Process_End(code);
}
