#include "core/process_exit.h"

#include <cstdlib>

namespace {

void (*g_cleanup)() = nullptr;

} // namespace

void Process_SetCleanup(void (*cleanup)()) {
    g_cleanup = cleanup;
}

void Process_Exit(int code) {
    // Taken before it runs: a fatal error inside the clean-up ends the process without it.
    void (*cleanup)() = g_cleanup;
    g_cleanup = nullptr;
    if (cleanup) cleanup();
    std::exit(code);
}
