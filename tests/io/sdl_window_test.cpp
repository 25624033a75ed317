#include "io_fixture.h"

#include "platform/sdl/sdl_platform.h"

#include <cstdlib>
#include <cstring>

namespace {

// The main window on SDL's offscreen driver: made, fed a key and a close request through its own
// procedure, and gone.
TEST(SDLMainWindow, OpensPumpsItsMessagesAndCloses) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    std::unique_ptr<CSDLPlatform> sdl = CSDLPlatform::Create();
    ASSERT_NE(sdl, nullptr);
    Platform_SetBackend(sdl.get());
    ResetInputState();
    ASSERT_NE(Window_Create(320, 200), nullptr);
    Platform_ShowWindow();
    IO_Update();

    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_KEYDOWN;
    e.key.windowID = SDL_GetWindowID(sdl->Window());
    e.key.state = SDL_PRESSED;
    e.key.keysym.scancode = SDL_SCANCODE_Q;
    e.key.keysym.sym = SDLK_q;
    SDL_PushEvent(&e);
    std::memset(&e, 0, sizeof e);
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(sdl->Window());
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);

    bool quit = false;
    PlatformMessage msg;
    for (int round = 0; round < 10 && !quit; ++round) {
        while (Platform_PeekMessage(msg)) {
            if (msg.message == WM_QUIT) quit = true;
            Platform_DispatchMessage(msg);
        }
    }
    IO_Update();
    EXPECT_EQ(IO_KeyCheckPressed('Q'), 1);
    EXPECT_TRUE(quit);
    EXPECT_FALSE(Platform_IsWindow());
    EXPECT_EQ(sdl->Window(), nullptr);

    Window_Reset();
    ResetInputState();
    Platform_SetBackend(nullptr);
}

} // namespace
