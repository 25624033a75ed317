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

// The thread that runs the game (the process's first thread until this is called there). A process
// forked from this one has no game thread.
void Process_SetGameThread();
bool Process_OnGameThread();

// True once the process has begun to end by one of the ends here, or by one that takes a way of its own
// and says so (Process_BeginEnd: the watch of the stop signals): from then on nothing new starts that
// would reach outside the process (a download).
bool Process_Ending();
void Process_BeginEnd();

// Ends the process with the code from whatever thread calls it, as an exit that a library calls does. On
// the game thread that is Process_End; a process forked from this one ends at once (std::_Exit: what the
// runner's output buffers held when it was forked is the runner's to write). Elsewhere the game's
// thread runs on meanwhile: a save-area write and a console line under way are let finish (a second at
// most for both) and none starts after them, the closer installed below runs (it closes the dialogs'
// processes), and the output is flushed when no console line was left under way (its stream may be a pipe
// no one reads); nothing the game's thread uses is freed or destroyed. A second thread that ends the
// process this way while the first does waits for the first's end.
[[noreturn]] void Process_EndFromAnyThread(int code);
void Process_SetEndCloser(void (*closer)());
