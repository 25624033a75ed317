#include "platform/sdl/x11_errors.h"

#include "core/console.h"
#include "core/process_exit.h"
#include "platform/dialogs.h"
#include "platform/platform.h"
#include "platform/sdl/x11_window_of.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <poll.h>
#include <string>
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

std::atomic<bool> g_lost{false};

// The end of the run when the game window can no longer be drawn into (the display gone, or the window
// destroyed by another program): why, on standard error, then the end of a fatal error, which touches the
// display no more.
[[noreturn]] void EndWithoutTheWindow(const std::string& why) {
    // Met again: the clean-up of the first touched the display after all, or another thread met it too.
    if (g_lost.exchange(true)) Process_EndFromAnyThread(kExitAfterError);
    std::fprintf(stderr, "%s: the game was ended.\n", why.c_str());
    if (!Process_OnGameThread()) Process_EndFromAnyThread(kExitAfterError);
    Platform_LoseDisplay();
    Dialog_CloseProcesses();
    Process_Exit(kExitAfterError);
}

// The game window's connection and window, once it is shown (null and 0 before, and once the runner
// destroys it itself).
std::atomic<Display*> g_gameDisplay{nullptr};
std::atomic<unsigned long> g_gameWindow{0};

// Called by Xlib with the display locked: it makes no request of its own.
int OnFailedRequest(Display* display, XErrorEvent* error) {
    // A request about the game window that finds no such window or drawable: another program destroyed it
    // (the runner forgets the window before it destroys it itself). Nothing can be drawn any more, and the
    // graphics driver would draw into a window of no size.
    if ((error->error_code == BadWindow || error->error_code == BadDrawable) && ::getpid() == g_runner &&
        display == g_gameDisplay.load() && error->resourceid != 0 && error->resourceid == g_gameWindow.load()) {
        const char* name = DisplayString(display);
        char id[32];
        std::snprintf(id, sizeof id, "0x%lx", error->resourceid);
        EndWithoutTheWindow(std::string("The game's window (") + id + ") on the display " + (name ? name : "") +
                            " was destroyed by another program");
    }
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

int OnLostDisplay(Display* display) {
    if (::getpid() != g_runner) return 0;
    const char* name = DisplayString(display);
    EndWithoutTheWindow(std::string("The display ") + (name ? name : "") +
                        " went away (its X server closed the connection)");
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
    Display* display = nullptr;
    Window xwindow = 0;
    if (g_installed && X11Window_Of(window, display, xwindow)) {
        g_connection.store(ConnectionNumber(display));
        g_gameDisplay.store(display);
        g_gameWindow.store(xwindow);
    }
}

void X11Errors_ForgetWindow() {
    g_gameWindow.store(0);
    g_gameDisplay.store(nullptr);
}

void X11Errors_Remove() {
    if (!g_installed) return;
    g_installed = false;
    XSetErrorHandler(g_previousErrorHandler);
    XSetIOErrorHandler(g_previousIOErrorHandler);
    if (g_brokenPipeHandled) sigaction(SIGPIPE, &g_previousBrokenPipe, nullptr);
    g_brokenPipeHandled = false;
    g_connection.store(-1);
    X11Errors_ForgetWindow();
}
