// What the game's window shows and what a click into it reads, on a desktop of the test's own: rooms whose
// views' ports are larger or smaller than the window, room changes between them, the window resized by
// the window manager, the game's aspect kept or not, and full screen set by the game with a window
// manager and without one.
#include "desktop_play.h"

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
    // Where the game's image lies in the window's client area.
    struct Image {
        int left, top, width, height;
    };

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

    // Waits until the window's client area shows the colour all over the image, and nothing of the other
    // colour anywhere; what it showed last, when it did not.
    std::string ShownOnly(XWindowId window, const Image& image, uint32_t colour, uint32_t gone) {
        std::string shown;
        const bool shows = XDesktopClient::WaitFor([&] {
            XScreenImage screen;
            const XWindowGeometry g = GeometryOf(window);
            if (!screen.Read(screenFolder / "Xvfb_screen0")) return false;
            const int left = g.x + image.left, top = g.y + image.top;
            const int inImage = screen.Count(colour, left, top, left + image.width, top + image.height);
            const int stale = screen.Count(gone, g.x, g.y, g.x + g.width, g.y + g.height);
            shown = std::to_string(inImage) + " of " + std::to_string(image.width * image.height) +
                    " pixels of the image in the room's colour, " + std::to_string(stale) +
                    " in the colour of the room before";
            return inImage == image.width * image.height && stale == 0;
        });
        return shows ? "" : shown;
    }
};

// Colours the same in either byte order.
constexpr uint32_t kGreen = 0x00FF00, kMagenta = 0xFF00FF, kGrey = 0x808080;

// A game of a 320 x 240 window and three rooms of views: the first shows all of its 320 x 240 room in a
// port of 640 x 480, the second a part of its room (from 100, 50) in a port of 160 x 120, the third all of
// its room in a port of 960 x 720. A left press says where it reads the mouse, a right press goes to the
// next room, the middle button ends the game.
std::vector<uint8_t> PortsGame(uint8_t options) {
    ScenarioGame game = OneObjectGame(
        {{0, 0, "show_debug_message(\"ready\");"},
         {7, 4, "show_debug_message(\"room \" + string(room));"},
         {3, 0,
          "if (mouse_check_button_pressed(mb_left)) show_debug_message(\"at \" + string(mouse_x) + \" \" + "
          "string(mouse_y));"
          "if (mouse_check_button_pressed(mb_right)) room_goto_next();"
          "if (mouse_check_button_pressed(mb_middle)) game_end();"}});
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
        // The window shows the room's colour all over (nothing of the room before, where one was), and
        // clicks read the view's points.
        const auto expectRoom = [&](const char* what, const Image& image, uint32_t colour, uint32_t before,
                                    int viewX, int viewY) {
            SCOPED_TRACE(what);
            if (before != colour) EXPECT_EQ(ShownOnly(window, image, colour, before), "") << "what the window shows";
            ExpectClicksReadTheView(processId, window, image, viewX, viewY, 320, 240);
        };
        const auto nextRoom = [&](const char* room) {
            ClickInto(window, 10, 10, 3);
            return WaitForLogLine(processId, room);
        };
        const Image small{0, 0, 320, 240};
        expectRoom("ports of 640 x 480 in a window of 320 x 240", small, kGreen, kGreen, 0, 0);
        ASSERT_TRUE(nextRoom("room 1\n"));
        expectRoom("ports of 160 x 120 after the room change", small, kMagenta, kGreen, 100, 50);
        client->Resize(window, 500, 400);
        ASSERT_TRUE(XDesktopClient::WaitFor([&] {
            const XWindowGeometry g = GeometryOf(window);
            return g.width == 500 && g.height == 400;
        })) << "the window manager did not resize the window";
        const Image resized{0, 0, 500, 400};
        expectRoom("ports of 160 x 120 in the window resized to 500 x 400", resized, kMagenta, kGreen, 100, 50);
        ASSERT_TRUE(nextRoom("room 2\n"));
        expectRoom("ports of 960 x 720 in the window resized to 500 x 400", resized, kGrey, kMagenta, 0, 0);
        ClickInto(window, 10, 10, 2);
    });
    ASSERT_FALSE(run.timedOut) << run.log << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console << run.errors;
}

} // namespace desktop_window
} // namespace
