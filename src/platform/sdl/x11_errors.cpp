#include "platform/sdl/x11_errors.h"

#include "core/console.h"
#include "core/process_exit.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <poll.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xlibint.h>

namespace {

XErrorHandler g_previousErrorHandler = nullptr;
XIOErrorHandler g_previousIOErrorHandler = nullptr;
bool g_installed = false;
// The runner's process: a process forked from it (to show a message box) has its handlers too.
pid_t g_runner = 0;

// The kinds of failed requests named so far, as (error code, major request code).
std::mutex g_namedMutex;
std::vector<std::pair<int, int>> g_named;

// Whether the id is one this connection made (Xlib hands the client the ids under its base).
bool IsOwn(Display* display, XID id) {
    return (id & ~display->resource_mask) == display->resource_base;
}

bool NamedBefore(int error, int request) {
    std::lock_guard<std::mutex> lock(g_namedMutex);
    for (const auto& named : g_named)
        if (named == std::make_pair(error, request)) return true;
    g_named.emplace_back(error, request);
    return false;
}

// Called by Xlib with the display locked: it makes no request of its own.
int OnFailedRequest(Display* display, XErrorEvent* error) {
    if (error->error_code == BadWindow && !IsOwn(display, error->resourceid)) return 0;
    if (NamedBefore(error->error_code, error->request_code)) return 0;
    char what[128] = "";
    XGetErrorText(display, error->error_code, what, sizeof what);
    char number[16];
    std::snprintf(number, sizeof number, "%d", error->request_code);
    char request[64] = "";
    XGetErrorDatabaseText(display, "XRequest", number, number, request, sizeof request);
    DebugConsole->Output("X error: %s, in request %s (minor %d) on resource 0x%lx; the game goes on\n", what,
                         request, error->minor_code, error->resourceid);
    return 0;
}

std::atomic<bool> g_lost{false};

int OnLostDisplay(Display* display) {
    if (::getpid() != g_runner) return 0;
    // Met again: the clean-up of the first touched the display after all, or another thread met it too.
    if (g_lost.exchange(true)) Process_EndFromAnyThread(kExitAfterError);
    const char* name = DisplayString(display);
    std::fprintf(stderr, "The display %s went away (its X server closed the connection): the game was ended.\n",
                 name ? name : "");
    if (!Process_OnGameThread()) Process_EndFromAnyThread(kExitAfterError);
    Platform_LoseDisplay();
    Dialog_CloseProcesses();
    Process_Exit(kExitAfterError);
}

// The display's connection, once a window shows which (-1 before).
std::atomic<int> g_connection{-1};
struct sigaction g_previousBrokenPipe {};
bool g_brokenPipeHandled = false;

// A write to the display's connection after its server has closed it raises SIGPIPE, whose default ends
// the process at once, before Xlib has looked at the connection. That one returns here: the write fails
// (EPIPE), and Xlib calls the handler of a lost display. Any other (a standard output that no one reads any
// more) ends the process as it would have without this handler.
void OnBrokenPipe(int) {
    const int saved = errno;
    pollfd connection{g_connection.load(), 0, 0};
    if (connection.fd >= 0 && ::poll(&connection, 1, 0) == 1 && (connection.revents & (POLLHUP | POLLERR))) {
        errno = saved;
        return;
    }
    // Taken as soon as this handler returns, SIGPIPE being held back meanwhile.
    sigaction(SIGPIPE, &g_previousBrokenPipe, nullptr);
    ::raise(SIGPIPE);
    errno = saved;
}

} // namespace

void X11Errors_Install() {
    if (g_installed) return;
    g_installed = true;
    g_runner = ::getpid();
    {
        // Each kind is named once for each time the handlers stand.
        std::lock_guard<std::mutex> lock(g_namedMutex);
        g_named.clear();
    }
    g_previousErrorHandler = XSetErrorHandler(OnFailedRequest);
    g_previousIOErrorHandler = XSetIOErrorHandler(OnLostDisplay);
    // A SIGPIPE ignored from the start stays so: every write then fails with EPIPE of itself. (A handler,
    // unlike an ignored signal, is not handed on to the programs the runner starts.)
    struct sigaction action {};
    action.sa_handler = OnBrokenPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    g_brokenPipeHandled = sigaction(SIGPIPE, nullptr, &g_previousBrokenPipe) == 0 &&
                          g_previousBrokenPipe.sa_handler != SIG_IGN && sigaction(SIGPIPE, &action, nullptr) == 0;
}

void X11Errors_WatchConnection(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (g_installed && window && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11)
        g_connection.store(ConnectionNumber(info.info.x11.display));
}

void X11Errors_Remove() {
    if (!g_installed) return;
    g_installed = false;
    XSetErrorHandler(g_previousErrorHandler);
    XSetIOErrorHandler(g_previousIOErrorHandler);
    if (g_brokenPipeHandled) sigaction(SIGPIPE, &g_previousBrokenPipe, nullptr);
    g_brokenPipeHandled = false;
    g_connection.store(-1);
}
