#include "core/process_exit.h"
#include "core/save_area.h"
#include "io/programs.h"
#include "platform/dialogs.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"
#include "runner/command_line.h"
#include "runner/startup.h"
#include "runner/stop_signals.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// Every call of exit in the process comes here. The runner's own code never makes one, but a library the
// game calls may, on the game's thread or on a thread of its own, and so does Xlib in a process that SDL
// forked to show a message box, once the display has gone away. The C library's exit would first run every
// handler registered with atexit and on_exit, the last registered first, on the exiting thread: those of
// the libraries that started after the runner (the TLS library's clean-up, the destructors of the statics
// of the GL driver's compiler, thousands of them) and the destructors of the runner's function-local
// statics, while the game's thread and the runner's others (the audio streams', the downloads') go on
// using what they free. Defined here, and exported so that the libraries loaded later bind to it too, it
// ends the process at once with the status given: Process_EndFromAnyThread says what such an end waits
// for, and that it frees nothing that the game's thread, still running, may use. What every exit from
// another thread relies on, then: that no thread of the process needs a handler of the C library's exit
// to run (none of the runner's does; a library that does loses its clean-up, as it would to a signal),
// and that the game's thread meets nothing freed: its save-area writes and console lines stop where the
// end holds them, no download starts (Process_Ending), its sounds go on playing into a device that ends
// with the process, and what it draws goes to a display that it keeps until then.
extern "C" void exit(int status) noexcept {
    Process_EndFromAnyThread(status);
}

int main(int argc, char** argv) {
    Process_SetGameThread();
    Process_SetEndCloser(Dialog_CloseProcesses);
    // An exit that reaches the C library's own all the same (main's own returns, below) ends in the same
    // way, before the destructors of the runner's statics.
    ::on_exit([](int status, void*) { Process_EndFromAnyThread(status); }, nullptr);
    std::string error;
    if (!CommandLine_CheckArguments(argc, argv, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    Param_SetCommandLine(argc, argv);
    StopSignals_Install();
    StopSignals_TestMoment("handlers");
    std::unique_ptr<CSDLPlatform> sdl = CSDLPlatform::Create(&error);
    if (!sdl) {
        std::fprintf(stderr, "The runner could not start SDL's video: %s.\n", error.c_str());
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
