#include "core/process_exit.h"

#include <cstdlib>
#include <unistd.h>
#include <utility>

namespace {

std::function<void()> g_cleanup;

} // namespace

void Process_SetCleanup(std::function<void()> cleanup) {
    g_cleanup = std::move(cleanup);
}

void Process_Exit(int code) {
    // Taken before it runs: a fatal error inside the clean-up ends the process without it.
    std::function<void()> cleanup = std::move(g_cleanup);
    g_cleanup = nullptr;
    if (cleanup) cleanup();
    std::exit(code);
}

void Process_AwaitEnd() {
    for (;;)
        ::pause();
}
