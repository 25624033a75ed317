// Test hooks: slow sinks on cue, so that the scenario tests can end the process while a file or a console
// line is known to be half written. Each hook reads its environment variable once, the first time it is
// asked; in a normal run the variable is unset and the hook answers 0 and does nothing.
#pragma once

// Test hook. RUNNER_TEST_WRITE_PAUSE="<milliseconds>:<name>": a whole file written into the save area
// whose last part is name stops halfway for that long. The milliseconds to stop a write of the file at
// path for, 0 for no pause.
int TestHook_WritePause(const char* path);

// Test hook. RUNNER_TEST_LOCK_PAUSE="<milliseconds>:<name>": a whole file written into the save area whose
// last part is name stops for that long between the making of its temporary file and its lock, each time
// it makes one. The milliseconds to stop for, 0 for no pause.
int TestHook_LockPause(const char* path);

// Test hook. RUNNER_TEST_LINE_PAUSE="<milliseconds>:<text>": a console line holding text stops halfway
// through its write to a log file for that long. The milliseconds to stop the line for, 0 for no pause.
int TestHook_LinePause(const char* line);

// Sleeps for the milliseconds a hook gave.
void TestHook_Sleep(int milliseconds);
