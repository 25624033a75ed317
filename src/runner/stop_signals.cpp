#include "runner/stop_signals.h"

#include "core/console.h"
#include "core/process_exit.h"
#include "core/save_area.h"
#include "core/test_hooks.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <semaphore.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The time a game has to end after the first signal.
constexpr int kGraceMilliseconds = 2000;
// How long the end waits for a save-area write and a console line in progress: after the grace, and
// after a second signal, which ends the process at once but lets a write of the usual size finish.
constexpr int kWaitAfterGrace = 1000;
constexpr int kWaitAfterSecondSignal = 200;

// Posted once for each signal; the last signal's number beside it, and a count of them.
sem_t g_signalled;
std::atomic<int> g_lastSignal{0};
std::atomic<int> g_signalCount{0};
std::atomic<bool> g_termHandled{false};

void OnStopSignal(int signal) {
    const int savedErrno = errno;
    g_lastSignal.store(signal);
    Platform_AskToClose();
    g_signalCount.fetch_add(1);
    sem_post(&g_signalled);
    errno = savedErrno;
}

// Waits for the next signal, until the deadline when one is given; false when the deadline passed.
bool WaitForSignal(const timespec* deadline) {
    for (;;) {
        const int got =
            deadline ? sem_clockwait(&g_signalled, CLOCK_MONOTONIC, deadline) : sem_wait(&g_signalled);
        if (got == 0) return true;
        if (errno != EINTR) return false;
    }
}

// Tries hold in short slices until it succeeds or the deadline passes; a signal that comes meanwhile
// brings the deadline to at most kWaitAfterSecondSignal from then.
bool HoldBefore(bool (*hold)(int milliseconds), Clock::time_point& deadline) {
    for (;;) {
        const auto left = std::max<int64_t>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        const int slice = static_cast<int>(std::min<int64_t>(left, 20));
        if (hold(slice)) return true;
        if (left <= slice) return false;
        if (sem_trywait(&g_signalled) == 0)
            deadline = std::min(deadline, Clock::now() + std::chrono::milliseconds(kWaitAfterSecondSignal));
    }
}

[[noreturn]] void EndProcess(int signal, int waitMilliseconds) {
    Process_BeginEnd();
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMilliseconds);
    // The save area first: a write that fails reports it on the consoles after it ends. Neither wait
    // goes past the deadline: a sink that takes nothing (a pipe no one reads) holds up nothing.
    HoldBefore(LoadSave_HoldWrites, deadline);
    HoldBefore(Console_Hold, deadline);
    Dialog_CloseProcesses();
    char line[128];
    const int n =
        std::snprintf(line, sizeof line, "The game did not end in time after %s: the runner ended it.\n",
                      signal == SIGINT ? "SIGINT" : "SIGTERM");
    // Standard error may be a pipe no one reads as well: the line is left out rather than waited for.
    pollfd out{2, POLLOUT, 0};
    if (n > 0 && ::poll(&out, 1, 100) == 1 && (out.revents & POLLOUT)) {
        [[maybe_unused]] const ssize_t written = ::write(2, line, static_cast<size_t>(n));
    }
    ::_exit(128 + signal);
}

timespec MonotonicAfter(int milliseconds) {
    timespec at;
    clock_gettime(CLOCK_MONOTONIC, &at);
    at.tv_sec += milliseconds / 1000;
    at.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (at.tv_nsec >= 1000000000L) {
        ++at.tv_sec;
        at.tv_nsec -= 1000000000L;
    }
    return at;
}

// The grace bounds the whole run after the first signal, its closing included: what the runner closes
// after the game's code has ended (a download, a device) does not hold the end up either.
void Watch() {
    if (!WaitForSignal(nullptr)) return;
    const int grace = TestHook_StopGrace();
    const timespec graceEnd = MonotonicAfter(grace > 0 ? grace : kGraceMilliseconds);
    if (WaitForSignal(&graceEnd)) EndProcess(g_lastSignal.load(), kWaitAfterSecondSignal);
    EndProcess(g_lastSignal.load(), kWaitAfterGrace);
}

} // namespace

void StopSignals_Install() {
    sem_init(&g_signalled, 0, 0);
    bool handled = false;
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction action {};
        if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
        action = {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        if (sigaction(signal, &action, nullptr) != 0) continue;
        handled = true;
        if (signal == SIGTERM) g_termHandled.store(true);
    }
    if (handled) std::thread(Watch).detach();
}

bool StopSignals_Received() {
    return g_signalCount.load() > 0;
}

void StopSignals_TestMoment(const char* moment) {
    static const char* const wanted = std::getenv("RUNNER_TEST_SIGNAL_AT");
    if (!wanted || !g_termHandled.load() || std::strcmp(wanted, moment) != 0) return;
    const int before = g_signalCount.load();
    if (::kill(::getpid(), SIGTERM) != 0) return;
    // Any thread may take the signal; the moment is over once the handler has run (5 s at most).
    for (int i = 0; i < 5000 && g_signalCount.load() == before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
