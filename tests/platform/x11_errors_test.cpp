#include "platform/sdl/sdl_platform.h"

#include "support/temp_folder.h"
#include "support/virtual_x.h"

#include <gtest/gtest.h>

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>

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
