// SIGINT and SIGTERM. The first asks the game to end as the window's close box does; one that comes
// during start-up is kept until the main loop starts, which then ends at once. A run has about two
// seconds from the first signal to end, its closing included: a game that cannot get to the end of its
// frame (code that never returns, a message box no one answers), or a closing held up after the game's
// end. Then, or at once on a second signal, a thread of its own ends the process: it lets a file being
// written into the save area and a line going out to the consoles finish (waiting a second at most, and
// a fifth of one after a second signal), closes a message box or dialog shown by a process of its own,
// says on standard error that the game did not end in time, and exits with 128 + the signal's number.
#pragma once

// Installs the handlers (before SDL starts, which leaves handlers it finds in place alone) and starts
// the thread that waits for them. A signal the process was started with ignored (SIGINT in a job that a
// shell started in the background) stays ignored.
void StopSignals_Install();

// True once a stop signal has come.
bool StopSignals_Received();

// Test hook. RUNNER_TEST_SIGNAL_AT=<moment>: when start-up reaches the moment of that name, the process
// sends itself SIGTERM and goes on once its handler has taken it, so that tests can place a stop signal
// at each moment of start-up: "handlers" (just installed), "loaded" (the game read, no window yet),
// "window" (just made), "start" (the main loop about to start) and "room" (the first room about to
// start). The variable is read once; unset, as in every normal run, nothing happens.
void StopSignals_TestMoment(const char* moment);
