// Test hooks: slow sinks and held moments on cue, so that the scenario tests can end the process while a
// file or a console line is known to be half written, while the runner closes, or while a dialog starts
// its process. Each hook reads its environment variable once, the first time it is asked; in a normal run
// the variable is unset and the hook answers 0 (or nothing) and does nothing.
#pragma once

#include <atomic>

// A sink's pause: a time, or a stop that lasts until an end holds that sink's writes (Console_Hold,
// LoadSave_HoldWrites) and a tenth of a second more, a minute at most. A write stopped so is known to be
// under way when the end waits for it, and to go on well inside the end's wait, however late a busy
// machine sends the signal or wakes the writing thread.
struct HookPause {
    int milliseconds = 0; // 0: no pause
    bool untilHeld = false;
    explicit operator bool() const { return milliseconds > 0; }
};

// Stops for the pause: its time, or, for one that lasts until held, until held is set and a tenth of a
// second more.
void TestHook_Pause(const HookPause& pause, const std::atomic<bool>& held);

// Test hook. RUNNER_TEST_WRITE_PAUSE="<milliseconds>:<name>" or "held:<name>": a whole file written into
// the save area whose last part is name stops halfway for that long, or until the writes are held. The
// pause of a write of the file at path (none when it is not that file).
HookPause TestHook_WritePause(const char* path);

// Test hook. RUNNER_TEST_LOCK_PAUSE="<milliseconds>:<name>": a whole file written into the save area whose
// last part is name stops for that long between the making of its temporary file and its lock, each time
// it makes one. The milliseconds to stop for, 0 for no pause.
int TestHook_LockPause(const char* path);

// Test hook. RUNNER_TEST_LINE_PAUSE="<milliseconds>:<text>" or "held:<text>": a console line holding text
// stops halfway through its write to a log file for that long, or until the consoles are held. The pause
// of the line (none when it does not hold the text).
HookPause TestHook_LinePause(const char* line);

// Test hook. RUNNER_TEST_HOLD_DELAY="<milliseconds>": the first hold of the consoles (Console_Hold), once
// no text may start any more, stops that long before it waits for a text going out. The milliseconds, 0
// for no delay.
int TestHook_HoldDelay();

// Test hook. RUNNER_TEST_CLOSING_PAUSE="<milliseconds>": once the game's code has run its last, the
// runner stops that long before it closes what it holds. The milliseconds, 0 for no pause.
int TestHook_ClosingPause();

// Test hook. RUNNER_TEST_STOP_GRACE="<milliseconds>": the time a game has to end after the first stop
// signal, in place of two seconds (for a test of what the signal does, on a machine too busy to start
// the game within the usual grace). The milliseconds, 0 for the usual grace.
int TestHook_StopGrace();

// Test hook. RUNNER_TEST_DIALOG_HOLD="<moment>:<n>": the n-th process that a dialog starts (counted from 1
// over the run) is held at the moment: "fork", the thread showing the dialog, before it starts the
// process, until the process begins to close its dialogs; "start", the same thread once its start is
// under way (past the check that the dialogs are not closing), until they begin to close, when it goes
// on to start the process; "child", the new process, as it starts and before it leaves the runner's
// process group, for good. While the hook is set, the close of the dialogs
// lingers a fifth of a second at its end, so that the held thread gets the time to go on. The moment
// ("" for none) and n.
struct DialogHold {
    const char* moment = "";
    int process = 0;
};
const DialogHold& TestHook_DialogHold();

// Sleeps for the milliseconds a hook gave.
void TestHook_Sleep(int milliseconds);
