#include "runner/stop_signals.h"

#include "core/console.h"
#include "core/save_area.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <semaphore.h>
#include <thread>
#include <unistd.h>

namespace {

// The time a game has to end after the first signal.
constexpr int kGraceMilliseconds = 2000;

// Posted once for each signal; the last signal's number beside it.
sem_t g_signalled;
std::atomic<int> g_lastSignal{0};
std::atomic<bool> g_gameEnded{false};

void OnStopSignal(int signal) {
    const int savedErrno = errno;
    g_lastSignal.store(signal);
    Platform_AskToClose();
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

[[noreturn]] void EndProcess(int signal) {
    // The save area first: a write in progress may still report to the consoles.
    LoadSave_HoldWrites();
    Console_Hold(1000);
    Dialog_CloseProcesses();
    char line[128];
    const int n =
        std::snprintf(line, sizeof line, "The game did not end in time after %s: the runner ended it.\n",
                      signal == SIGINT ? "SIGINT" : "SIGTERM");
    [[maybe_unused]] const ssize_t written = ::write(2, line, n > 0 ? static_cast<size_t>(n) : 0);
    ::_exit(128 + signal);
}

void Watch() {
    if (!WaitForSignal(nullptr)) return;
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += kGraceMilliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(kGraceMilliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        ++deadline.tv_sec;
        deadline.tv_nsec -= 1000000000L;
    }
    if (!WaitForSignal(&deadline) && g_gameEnded.load() && !WaitForSignal(nullptr)) return;
    EndProcess(g_lastSignal.load());
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
        handled = sigaction(signal, &action, nullptr) == 0 || handled;
    }
    if (handled) std::thread(Watch).detach();
}

void StopSignals_GameEnded() {
    g_gameEnded.store(true);
}
