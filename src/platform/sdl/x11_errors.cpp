#include "platform/sdl/x11_errors.h"

#include "core/console.h"
#include "core/process_exit.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <unistd.h>
#include <utility>
#include <vector>

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

} // namespace

void X11Errors_Install() {
    if (g_installed) return;
    g_installed = true;
    g_runner = ::getpid();
    g_previousErrorHandler = XSetErrorHandler(OnFailedRequest);
    g_previousIOErrorHandler = XSetIOErrorHandler(OnLostDisplay);
}

void X11Errors_Remove() {
    if (!g_installed) return;
    g_installed = false;
    XSetErrorHandler(g_previousErrorHandler);
    XSetIOErrorHandler(g_previousIOErrorHandler);
}
