// Ending the process from deep inside a run (a fatal error while loading, drawing or running code): the
// clean-up that the top of the program installed runs first, once, so that what the run holds is freed
// and its devices closed, then the process ends with the code.
#pragma once

#include <functional>

// The code a run ends with when an error ended the game: an error in its code that was fatal or that the
// player chose to abort on, or a device that failed while it ran (the -1 of the engine's own fatal exits).
constexpr int kExitAfterError = 255;

void Process_SetCleanup(std::function<void()> cleanup);
[[noreturn]] void Process_Exit(int code);

// Ends the process with the code now, as every end of a run does once the run has closed what it holds:
// the process's own output is flushed (and in builds with the leak checker, it looks first), and then
// neither the exit handlers of the libraries nor the destructors of statics run. A thread the run left
// running (a download held where it cannot be woken) may still be inside a library whose exit handler
// would free what it uses; it ends with the process instead.
[[noreturn]] void Process_End(int code);

// For a thread that must not go on because another thread is ending the process (a console line or a
// save-area write that would start after the end began): waits, without end, for the process to end.
[[noreturn]] void Process_AwaitEnd();
