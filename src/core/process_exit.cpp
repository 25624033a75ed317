#include "core/process_exit.h"

#include "core/poison.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <utility>

#ifdef RUNNER_ADDRESS_SANITIZER
#include <sanitizer/lsan_interface.h>
#endif

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
    Process_End(code);
}

void Process_End(int code) {
    std::fflush(nullptr);
    // The run's tables go back to the system with the process, not freed one by one: the leak checker
    // looks while they are still reachable, so that it reports only memory nothing holds any more.
#ifdef RUNNER_ADDRESS_SANITIZER
    __lsan_do_leak_check();
#endif
    std::_Exit(code);
}

void Process_AwaitEnd() {
    for (;;)
        ::pause();
}
