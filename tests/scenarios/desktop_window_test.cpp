// What the game's window shows and what a click into it reads, on a desktop of the test's own: rooms whose
// views' ports are larger or smaller than the window, room changes between them, the window resized by
// the window manager, the game's aspect kept or not, and full screen set by the game with a window
// manager and without one.
#include "desktop_play.h"

#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

// (A namespace of its own: the file shares its compile with other tests that play a desktop.)
namespace {
namespace desktop_window {

using namespace desktop_play;

class DesktopWindow : public DesktopPlay {
protected:
    // Where the game's image lies in the window's client area: all of it, or, with the aspect kept, the
    // largest rectangle of the game's proportions centred in it.
    struct Image {
        int left, top, width, height;
    };
    static Image ImageIn(const XWindowGeometry& client, int gameWidth, int gameHeight, bool keepAspect) {
        if (!keepAspect) return Image{0, 0, client.width, client.height};
        const double scale = std::min(static_cast<double>(client.width) / gameWidth,
                                      static_cast<double>(client.height) / gameHeight);
        const int w = static_cast<int>(std::lround(gameWidth * scale));
        const int h = static_cast<int>(std::lround(gameHeight * scale));
        return Image{(client.width - w) / 2, (client.height - h) / 2, w, h};
    }

    // The room point a left click at (x, y) of the window reads (mouse_x, mouse_y at the game's next
    // press), the game saying "at X Y" for each press; false when it said nothing.
    bool ClickReads(int processId, XWindowId window, int x, int y, int& roomX, int& roomY) {
        const size_t before = LinesStartingWith(DesktopRunLog(processId), "at ").size();
        const XWindowGeometry g = GeometryOf(window);
        ClickAt(*client, g.x + x, g.y + y);
        std::vector<std::string> lines;
        if (!XDesktopClient::WaitFor([&] {
                return (lines = LinesStartingWith(DesktopRunLog(processId), "at ")).size() > before;
            }))
            return false;
        std::istringstream(lines[before]) >> roomX >> roomY;
        return true;
    }

    // Clicks at the image's corners and its middle, each of which must read the point of the view shown
    // there within a room pixel (or the room pixels one window pixel spans, where it spans more).
    void ExpectClicksReadTheView(int processId, XWindowId window, const Image& image, int viewX, int viewY,
                                 int viewW, int viewH) {
        const int xs[3] = {image.left, image.left + image.width - 1, image.left + image.width / 2};
        const int ys[3] = {image.top, image.top + image.height - 1, image.top + image.height / 2};
        for (int i = 0; i < 3; ++i) {
            const double wantX = viewX + (xs[i] - image.left + 0.5) * viewW / image.width;
            const double wantY = viewY + (ys[i] - image.top + 0.5) * viewH / image.height;
            const double slackX = std::max(1.0, static_cast<double>(viewW) / image.width);
            const double slackY = std::max(1.0, static_cast<double>(viewH) / image.height);
            int roomX = 0, roomY = 0;
            ASSERT_TRUE(ClickReads(processId, window, xs[i], ys[i], roomX, roomY)) << "the click was not seen";
            EXPECT_LE(std::fabs(roomX - wantX), slackX)
                << "a click at " << xs[i] << "," << ys[i] << " read " << roomX << "," << roomY;
            EXPECT_LE(std::fabs(roomY - wantY), slackY)
                << "a click at " << xs[i] << "," << ys[i] << " read " << roomX << "," << roomY;
        }
    }

    // Waits until the window's client area shows the colour all over the image and nowhere else, and
    // nothing of the other colour anywhere; what it showed last, when it did not.
    std::string ShownOnly(XWindowId window, const Image& image, uint32_t colour, uint32_t gone) {
        std::string shown;
        const bool shows = XDesktopClient::WaitFor([&] {
            XScreenImage screen;
            const XWindowGeometry g = GeometryOf(window);
            if (!screen.Read(screenFolder / "Xvfb_screen0")) return false;
            const int left = g.x + image.left, top = g.y + image.top;
            const int inImage = screen.Count(colour, left, top, left + image.width, top + image.height);
            const int outside = screen.Count(colour, g.x, g.y, g.x + g.width, g.y + g.height) - inImage;
            const int stale = screen.Count(gone, g.x, g.y, g.x + g.width, g.y + g.height);
            shown = std::to_string(inImage) + " of " + std::to_string(image.width * image.height) +
                    " pixels of the image in the room's colour, " + std::to_string(outside) + " outside it, " +
                    std::to_string(stale) + " in the colour of the room before";
            return inImage == image.width * image.height && outside == 0 && stale == 0;
        });
        return shows ? "" : shown;
    }

    // The window shows the room's colour all over the image (and nothing of the room before, where
    // before is another colour), and clicks read the points of the view of 320 x 240 from (viewX, viewY).
    void ExpectRoomShown(int processId, XWindowId window, const Image& image, uint32_t colour, uint32_t before,
                         int viewX, int viewY) {
        if (before != colour) {
            EXPECT_EQ(ShownOnly(window, image, colour, before), "") << "what the window shows";
        }
        ExpectClicksReadTheView(processId, window, image, viewX, viewY, 320, 240);
    }

    // A right click into the window's corner, which goes to the next room; whether the game said it had.
    bool NextRoom(int processId, XWindowId window, const char* said) {
        const XWindowGeometry g = GeometryOf(window);
        ClickAt(*client, g.x + 10, g.y + 10, 3);
        return WaitForLogLine(processId, said);
    }
};

// Colours the same in either byte order.
constexpr uint32_t kGreen = 0x00FF00, kMagenta = 0xFF00FF, kGrey = 0x808080;

// A game of a 320 x 240 window and three rooms of views: the first shows all of its 320 x 240 room in a
// port of 640 x 480, the second a part of its room (from 100, 50) in a port of 160 x 120, the third all of
// its room in a port of 960 x 720. A left press says where it reads the mouse, a right press goes to the
// next room, the middle button ends the game; F switches full screen on and off. The game says the window's
// size each time it changes.
std::vector<uint8_t> PortsGame(uint8_t options) {
    ScenarioGame game = OneObjectGame(
        {{0, 0, "global.size = \"\"; show_debug_message(\"ready\");"},
         {7, 4, "show_debug_message(\"room \" + string(room));"},
         {3, 0,
          "if (mouse_check_button_pressed(mb_left)) show_debug_message(\"at \" + string(mouse_x) + \" \" + "
          "string(mouse_y));"
          "if (mouse_check_button_pressed(mb_right)) room_goto_next();"
          "if (mouse_check_button_pressed(mb_middle)) game_end();"
          "if (keyboard_check_pressed(ord(\"F\"))) window_set_fullscreen(!window_get_fullscreen());"
          "s = string(window_get_width()) + \" \" + string(window_get_height());"
          "if (s != global.size) { global.size = s; show_debug_message(\"size \" + s); }"}});
    game.objects[0].persistent = true;
    game.title = kCaption;
    game.width = 320;
    game.height = 240;
    const struct {
        int width, height;
        uint32_t colour;
        GameView view;
    } rooms[] = {{320, 240, kGreen, {0, 0, 0, 320, 240, 0, 0, 640, 480}},
                 {640, 480, kMagenta, {0, 100, 50, 320, 240, 0, 0, 160, 120}},
                 {320, 240, kGrey, {0, 0, 0, 320, 240, 0, 0, 960, 720}}};
    game.rooms.resize(3);
    for (int r = 0; r < 3; ++r) {
        game.rooms[r].name = "rPorts" + std::to_string(r);
        game.rooms[r].speed = 60;
        game.rooms[r].width = rooms[r].width;
        game.rooms[r].height = rooms[r].height;
        game.rooms[r].colour = rooms[r].colour;
        game.rooms[r].views = {rooms[r].view};
    }
    std::vector<uint8_t> bytes = BuildScenarioGame(game);
    GeneralInformation(bytes)[68] |= options;
    return bytes;
}

// A click reads the room point under it whatever the ports' size against the window's, in the first room,
// after a room change to smaller ports (which then fill the whole window: nothing of the room before is
// left on it), after the window manager has resized the window (the image stretched over it), and after a
// room change to larger ports in the resized window.
TEST_F(DesktopWindow, ClicksReadTheRoomPointUnderThemWhateverThePorts) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the window does not depend on how the game's code runs";
    if (!Start(true)) GTEST_SKIP() << kNoDesktop;
    const ScenarioRun run = Run(PortsGame(64), false, [&](int processId) {
        const XWindowId window = GameWindow(processId, 320, 240);
        ASSERT_NE(window, 0u) << "the game's window was not shown";
        ASSERT_TRUE(XDesktopClient::WaitFor([&] { return client->Focused() == window; })) << "no focus";
        const Image small{0, 0, 320, 240};
        {
            SCOPED_TRACE("ports of 640 x 480 in a window of 320 x 240");
            ExpectRoomShown(processId, window, small, kGreen, kGreen, 0, 0);
        }
        ASSERT_TRUE(NextRoom(processId, window, "room 1\n"));
        {
            SCOPED_TRACE("ports of 160 x 120 after the room change");
            ExpectRoomShown(processId, window, small, kMagenta, kGreen, 100, 50);
        }
        client->Resize(window, 500, 400);
        ASSERT_TRUE(XDesktopClient::WaitFor([&] {
            const XWindowGeometry g = GeometryOf(window);
            return g.width == 500 && g.height == 400;
        })) << "the window manager did not resize the window";
        const Image resized{0, 0, 500, 400};
        {
            SCOPED_TRACE("ports of 160 x 120 in the window resized to 500 x 400");
            ExpectRoomShown(processId, window, resized, kMagenta, kGreen, 100, 50);
        }
        ASSERT_TRUE(NextRoom(processId, window, "room 2\n"));
        {
            SCOPED_TRACE("ports of 960 x 720 in the window resized to 500 x 400");
            ExpectRoomShown(processId, window, resized, kGrey, kMagenta, 0, 0);
        }
        ClickInto(window, 10, 10, 2);
    });
    ASSERT_FALSE(run.timedOut) << run.log << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console << run.errors;
}

// Full screen set by the game fills the screen exactly, on a screen of 4:3 with the game stretched over it
// and on one of 16:9 with the game's aspect kept (the image centred, the rest in the window's colour),
// under a window manager and on a bare X server (a kiosk's): the window takes the whole screen,
// window_get_width and window_get_height give its size, and clicks read the room point under them, in a
// room whose ports are larger than the window and after a room change to smaller ones; and back from full
// screen the window has its size again.
TEST_F(DesktopWindow, FullScreenSetByTheGameFillsTheScreen) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the window does not depend on how the game's code runs";
    const struct {
        bool windowManager;
        const char* screen;
        int width, height;
        bool keepAspect;
    } cases[] = {{true, "1600x1200x24", 1600, 1200, false},
                 {true, "1600x900x24", 1600, 900, true},
                 {false, "1600x1200x24", 1600, 1200, false},
                 {false, "1600x900x24", 1600, 900, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.windowManager ? "under a window manager" : "on a bare X server") + ", " +
                     c.screen + (c.keepAspect ? ", the aspect kept" : ""));
        if (!Start(c.windowManager, c.screen)) GTEST_SKIP() << kNoDesktop;
        const ScenarioRun run = Run(PortsGame(c.keepAspect ? 64 | 16 : 64), false, [&](int processId) {
            const XWindowId window = GameWindow(processId, 320, 240);
            ASSERT_NE(window, 0u) << "the game's window was not shown";
            const XWindowGeometry g = GeometryOf(window);
            // (With no window manager the keys go to the window under the pointer.)
            client->MovePointer(g.x + 10, g.y + 10);
            if (c.windowManager) {
                ASSERT_TRUE(XDesktopClient::WaitFor([&] { return client->Focused() == window; })) << "no focus";
            }
            client->TapKey(XK_f);
            XWindowGeometry full;
            EXPECT_TRUE(XDesktopClient::WaitFor([&] {
                full = GeometryOf(window);
                return full.x == 0 && full.y == 0 && full.width == c.width && full.height == c.height;
            })) << "the window is " << full.width << " x " << full.height << " at " << full.x << "," << full.y;
            const std::string size = std::to_string(c.width) + " " + std::to_string(c.height);
            EXPECT_TRUE(WaitForLogLine(processId, "size " + size + "\n")) << "the game's window_get_width";
            const Image image = ImageIn(GeometryOf(window), 320, 240, c.keepAspect);
            {
                SCOPED_TRACE("ports of 640 x 480 in full screen");
                ExpectRoomShown(processId, window, image, kGreen, kMagenta, 0, 0);
            }
            ASSERT_TRUE(NextRoom(processId, window, "room 1\n"));
            {
                SCOPED_TRACE("ports of 160 x 120 in full screen after the room change");
                ExpectRoomShown(processId, window, image, kMagenta, kGreen, 100, 50);
            }
            client->TapKey(XK_f);
            EXPECT_TRUE(XDesktopClient::WaitFor([&] {
                full = GeometryOf(window);
                return full.width == 320 && full.height == 240;
            })) << "back from full screen, the window is " << full.width << " x " << full.height;
            EXPECT_TRUE(WaitForLogLine(processId, "size 320 240\n")) << "the game's window_get_width";
            {
                SCOPED_TRACE("ports of 160 x 120 back from full screen");
                ExpectRoomShown(processId, window, Image{0, 0, 320, 240}, kMagenta, kGreen, 100, 50);
            }
            full = GeometryOf(window);
            ClickAt(*client, full.x + 10, full.y + 10, 2);
        });
        ASSERT_FALSE(run.timedOut) << run.log << run.console;
        EXPECT_EQ(run.exitCode, 0) << run.log << run.console << run.errors;
        client.reset();
        manager.reset();
        server.reset();
    }
}

} // namespace desktop_window
} // namespace
