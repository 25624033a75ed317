#include "platform/sdl/sdl_platform.h"

#include "support/temp_folder.h"
#include "support/virtual_x.h"

#include <gtest/gtest.h>

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

// On SDL's X11 driver (a display of the test's own) the runner's handler of failed requests stands where
// Xlib's would end the process: a request about another program's window that has gone is ignored, and
// any other failure is named on the debug console, once for its kind of error and request.
TEST(X11Errors, AFailedRequestIsIgnoredOrNamedOnceAndTheProcessGoesOn) {
    VirtualXServer server("640x480x24");
    if (server.Display().empty()) GTEST_SKIP() << "Xvfb could not be started";
    TempFolder environment;
    environment.SetEnv("SDL_VIDEODRIVER", "x11");
    environment.SetEnv("DISPLAY", server.Display());
    environment.SetEnv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    std::unique_ptr<CSDLPlatform> sdl = CSDLPlatform::Create();
    ASSERT_NE(sdl, nullptr);
    ASSERT_TRUE(sdl->HasDisplay());
    ASSERT_TRUE(sdl->CreateWindow(PlatformWindowDesc{64, 48, 0, false}));
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(sdl->Window(), &info));
    Display* const display = info.info.x11.display;

    Display* const other = XOpenDisplay(server.Display().c_str());
    ASSERT_NE(other, nullptr);
    const Window gone = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(other, gone);
    XSync(other, False);

    testing::internal::CaptureStdout();
    const unsigned char text[] = "x";
    XChangeProperty(display, gone, XA_WM_NAME, XA_STRING, 8, PropModeReplace, text, 1);
    XSync(display, False);
    for (int i = 0; i < 2; ++i) {
        char* name = XGetAtomName(display, static_cast<Atom>(0x1FFFFFF0));
        EXPECT_EQ(name, nullptr);
        if (name) XFree(name);
    }
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(Count(said, "X error"), 1u) << said;
    EXPECT_EQ(Count(said, "BadAtom"), 1u) << said;
    EXPECT_EQ(said.find("BadWindow"), std::string::npos) << said;
    XCloseDisplay(other);
    sdl.reset();
}

// A write to the display's connection after its server has gone raises SIGPIPE: the process goes on to
// find the display lost, which ends the run with 255 and says so. Any other SIGPIPE (a pipe no one reads
// any more) ends the process, as it did before.
TEST(X11Errors, ABrokenPipeEndsTheProcessUnlessTheDisplayHasGone) {
    struct OnDisplay {
        VirtualXServer server{"640x480x24"};
        std::unique_ptr<CSDLPlatform> sdl;
        Display* display = nullptr;

        // A window on the display, whose connection is then display's. The variables that lead SDL there
        // are set through set.
        bool Open(const std::function<void(const char*, const std::string&)>& set) {
            if (server.Display().empty()) return false;
            set("SDL_VIDEODRIVER", "x11");
            set("DISPLAY", server.Display());
            set("DBUS_SESSION_BUS_ADDRESS", "disabled:");
            sdl = CSDLPlatform::Create();
            if (!sdl || !sdl->CreateWindow(PlatformWindowDesc{64, 48, 0, false})) return false;
            SDL_SysWMinfo info;
            SDL_VERSION(&info.version);
            if (!SDL_GetWindowWMInfo(sdl->Window(), &info)) return false;
            display = info.info.x11.display;
            return true;
        }
    };
    {
        TempFolder environment;
        OnDisplay desktop;
        if (desktop.server.Display().empty()) GTEST_SKIP() << "Xvfb could not be started";
        ASSERT_TRUE(desktop.Open(
            [&](const char* name, const std::string& value) { environment.SetEnv(name, value); }));
        // With the display there, a copy of this process writes to a pipe whose reader has gone.
        const pid_t child = fork();
        if (child == 0) {
            int ends[2];
            if (pipe(ends) != 0) _exit(2);
            close(ends[0]);
            const char byte = 0;
            _exit(write(ends[1], &byte, 1) < 0 ? 3 : 4);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << "status " << status;
    }
    // The death test's own process makes a display of its own, which it ends before it writes. (It ends
    // with the display: what it sets is not given back, nor is anything it makes removed.)
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto writeAfterTheDisplayHasGone = [] {
        OnDisplay desktop;
        if (!desktop.Open([](const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }))
            std::_Exit(2);
        const int fd = ConnectionNumber(desktop.display);
        desktop.server.Stop();
        pollfd connection{fd, 0, 0};
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!(poll(&connection, 1, 0) == 1 && (connection.revents & POLLHUP)) &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const char bytes[4] = {};
        const bool failed = write(fd, bytes, sizeof bytes) < 0 && errno == EPIPE;
        std::fputs(failed ? "the write failed\n" : "the write went\n", stderr);
        XSync(desktop.display, False);
        std::_Exit(1);
    };
    EXPECT_EXIT(writeAfterTheDisplayHasGone(), testing::ExitedWithCode(255),
                "the write failed\n(.|\n)*The display :[0-9]+ went away");
    GTEST_FLAG_SET(death_test_style, style);
}
