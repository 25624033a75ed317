// Ending the process from deep inside a run (a fatal error while loading, drawing or running code): the
// clean-up that the top of the program installed runs first, once, so that what the run holds is freed
// and its devices closed, then the process ends with the code.
#pragma once

void Process_SetCleanup(void (*cleanup)());
[[noreturn]] void Process_Exit(int code);
