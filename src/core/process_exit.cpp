#include "core/process_exit.h"

#include "core/console.h"
#include "core/poison.h"
#include "core/save_area.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/types.h>
#include <unistd.h>
#include <utility>

#ifdef RUNNER_ADDRESS_SANITIZER
#include <sanitizer/lsan_interface.h>
#endif

namespace {

std::function<void()> g_cleanup;
std::atomic<bool> g_ending{false};
// The game's process and thread, once set.
pid_t g_gameProcess = 0;
pid_t g_gameThread = 0;
// The thread that ends the process from elsewhere, once one does.
std::atomic<pid_t> g_endingElsewhere{0};
void (*g_closer)() = nullptr;

// How long an end from elsewhere waits for a save-area write and a console line under way, together.
constexpr auto kWaitForWrites = std::chrono::milliseconds(1000);

[[noreturn]] void EndNow(int code, bool flush) {
    Process_BeginEnd();
    if (flush) std::fflush(nullptr);
    // The run's tables go back to the system with the process, not freed one by one: the leak checker
    // looks while they are still reachable, so that it reports only memory nothing holds any more.
#ifdef RUNNER_ADDRESS_SANITIZER
    __lsan_do_leak_check();
#endif
    std::_Exit(code);
}

} // namespace

void Process_SetCleanup(std::function<void()> cleanup) {
    g_cleanup = std::move(cleanup);
}

void Process_Exit(int code) {
    Process_BeginEnd();
    // Taken before it runs: a fatal error inside the clean-up ends the process without it.
    std::function<void()> cleanup = std::move(g_cleanup);
    g_cleanup = nullptr;
    if (cleanup) cleanup();
    Process_End(code);
}

void Process_End(int code) {
    EndNow(code, true);
}

void Process_AwaitEnd() {
    for (;;)
        ::pause();
}

void Process_SetGameThread() {
    g_gameProcess = ::getpid();
    g_gameThread = ::gettid();
}

bool Process_OnGameThread() {
    if (g_gameProcess == 0) return ::gettid() == ::getpid();
    return ::getpid() == g_gameProcess && ::gettid() == g_gameThread;
}

bool Process_Ending() {
    return g_ending.load();
}

void Process_BeginEnd() {
    g_ending.store(true);
}

void Process_SetEndCloser(void (*closer)()) {
    g_closer = closer;
}

void Process_EndFromAnyThread(int code) {
    // A copy of the process (forked to show a message box) holds a copy of the runner's unwritten output,
    // which is the runner's to write, and none of its threads, whose memory the leak checker would take
    // for lost: it ends at once.
    if (g_gameProcess != 0 && ::getpid() != g_gameProcess) std::_Exit(code);
    if (Process_OnGameThread()) Process_End(code);
    pid_t first = 0;
    if (!g_endingElsewhere.compare_exchange_strong(first, ::gettid()) && first != ::gettid()) Process_AwaitEnd();
    Process_BeginEnd();
    const auto deadline = std::chrono::steady_clock::now() + kWaitForWrites;
    const auto left = [&deadline] {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<std::chrono::milliseconds::rep>(ms.count(), 0));
    };
    LoadSave_HoldWrites(left());
    const bool consoleFree = Console_Hold(left());
    if (g_closer) g_closer();
    EndNow(code, consoleFree);
}
