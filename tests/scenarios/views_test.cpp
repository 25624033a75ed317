// Views whose position and size lie near the 32-bit limits, from the data file and from game code: the
// room's backgrounds and tiles are drawn over what the view shows, and the run goes on to its end. A
// turned view over a room of more tiles than its port has pixels shows the tiles it shows unturned.
#include "saved_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

namespace {

constexpr uint32_t kBlue = 0x0000FF;

// The frame game with its room seen through view 0 over the whole window (64 x 48), a blue background
// tiled in slot 0, a tile, and the room's code run before the first frame.
ScenarioGame ViewGame(const GameView& view, const std::string& roomCode) {
    ScenarioGame game = FrameGame("");
    GameImage blue;
    blue.width = blue.height = 4;
    for (int i = 0; i < 16; ++i)
        blue.rgba.insert(blue.rgba.end(), {0, 0, 255, 255});
    game.backgrounds.push_back({"bgBlue", blue});
    ScenarioRoom& room = game.rooms[0];
    room.background = 0;
    room.views = {view};
    room.tiles = {GameTile{8, 8, 0, 0, 0, 4, 4, 10, 10000001}};
    room.code += roomCode;
    return game;
}

GameView WholeWindow() {
    GameView view;
    view.width = view.portWidth = 64;
    view.height = view.portHeight = 48;
    return view;
}

// Every pixel of the frame shows the background.
void ExpectBackgroundEverywhere(const SavedFrame& f) {
    ASSERT_EQ(f.width, 64);
    ASSERT_EQ(f.height, 48);
    int other = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            other += f.At(x, y) != kBlue;
    EXPECT_EQ(other, 0);
}

TEST(Views, AViewWordAtTheLimitsInTheDataFileDrawsAndRunsOn) {
    struct Case {
        const char* what;
        int x, y, width, height;
    };
    const Case cases[] = {
        {"x at the largest int", INT_MAX, 0, 64, 48},
        {"height at the largest int below y = 8", 0, 8, 64, INT_MAX},
        {"x and width past the largest int", 1000000000, 0, 2000000000, 48},
        {"x at the smallest int, width back past it", INT_MIN, 0, -2000000000, 48},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GameView view = WholeWindow();
        view.x = c.x;
        view.y = c.y;
        view.width = c.width;
        view.height = c.height;
        const SavedFrame f = RunFrame(ViewGame(view, ""));
        EXPECT_EQ(f.run.exitCode, 0) << f.run.errors;
        EXPECT_EQ(f.width, 64);
    }
}

// The background's 4-pixel tiles are scaled to 400 million, wider than a pixel of the widest view below
// (31 million), so that every pixel of the view shows the background.
TEST(Views, GameCodeMovingAViewPastTheLimitsDrawsWhatItSees) {
    const struct {
        const char* what;
        const char* code;
    } cases[] = {
        {"x at the largest int", "view_xview[0] = 2147483647;"},
        {"y and height past the largest int", "view_yview[0] = 8; view_hview[0] = 2147483647;"},
        {"a wide view past the largest int", "view_xview[0] = 1000000000; view_wview[0] = 2000000000;"},
        {"the same view turned, as tall as wide",
         "view_xview[0] = 1000000000; view_wview[0] = 2000000000; view_hview[0] = 2000000000; "
         "view_angle[0] = 30;"},
        {"a view that follows an instance one pixel a step from the largest int",
         "view_object[0] = oDraw; view_hspeed[0] = 1; view_xview[0] = 2147483647;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string scaled = "background_xscale[0] = 100000000; background_yscale[0] = 100000000; ";
        const SavedFrame f = RunFrame(ViewGame(WholeWindow(), scaled + c.code));
        EXPECT_EQ(f.run.exitCode, 0) << f.run.errors;
        ExpectBackgroundEverywhere(f);
    }
    // Unscaled, the turned view holds some 10^18 tiles, each far smaller than a pixel: the frame is drawn.
    const SavedFrame f = RunFrame(ViewGame(WholeWindow(), cases[3].code));
    EXPECT_EQ(f.run.exitCode, 0) << f.run.errors;
    EXPECT_EQ(f.width, 64);
}

// Which half of the tile image (0 the first, 1 the second) lies at a point of one axis of the room, or -1
// where no tile does. Tiles lie 6 units apart from 0 (and before it) to the last that starts before the
// room's edge, and reach 6.5 units (4 image pixels at 1.625 times): each lies half a unit over the next,
// which is drawn over it.
int TileHalfAt(double at, int roomEdge) {
    const double tile = std::min(std::floor(at / 6), std::ceil(roomEdge / 6.0) - 1);
    const double into = at - 6 * tile;
    return into >= 6.5 ? -1 : into < 3.25 ? 0 : 1;
}

// A background tiled over a room of 167 x 125 tiles, more than the port has pixels, seen near the room's
// far corner through a view that enlarges 4 times, unturned and turned a quarter and a half. The room's
// sides are no whole number of tiles, so the last column and row reach past them; the tile image has four
// quarters of different colours, so a tile flipped, left out or drawn under its neighbour shows. Pixel
// centres never fall on an edge of a tile or of a quarter.
TEST(Views, TilesUnderATurnedViewAreThoseOfTheRoomUnturned) {
    const uint32_t quarters[2][2] = {{0xFF0000, 0x00FF00}, {0x0000FF, 0xFFFFFF}}; // [lower half][right half]
    GameImage image;
    image.width = image.height = 4;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const uint32_t c = quarters[y / 2][x / 2];
            image.rgba.insert(image.rgba.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                                                 static_cast<uint8_t>(c), 255});
        }
    GameView view = WholeWindow();
    view.x = 990; // the view's centre at (998, 746), the tiles' far corner at (1002.5, 750.5)
    view.y = 740;
    view.width = 16;
    view.height = 12;
    for (const int angle : {0, 90, 180}) {
        SCOPED_TRACE(angle);
        ScenarioGame game =
            FrameGame("draw_background_tiled_ext(bgQuarters, 0, 0, 1.625, 1.625, c_white, 1);");
        game.backgrounds.push_back({"bgQuarters", image});
        ScenarioRoom& room = game.rooms[0];
        room.width = 1000;
        room.height = 748;
        room.views = {view};
        room.code += "view_angle[0] = " + std::to_string(angle) + ";";
        const SavedFrame f = RunFrame(game);
        ASSERT_EQ(f.run.exitCode, 0) << f.run.errors;
        ASSERT_EQ(f.width, 64);
        ASSERT_EQ(f.height, 48);
        // The room's point under each pixel centre: a quarter turn takes the room's x axis up the screen.
        const int c = angle == 0 ? 1 : angle == 180 ? -1 : 0, s = angle == 90 ? 1 : 0;
        int wrong = 0;
        std::string first;
        for (int py = 0; py < 48; ++py)
            for (int px = 0; px < 64; ++px) {
                const double dx = (px + 0.5 - 32) / 4, dy = (py + 0.5 - 24) / 4;
                const int hx = TileHalfAt(998 + c * dx - s * dy, room.width);
                const int hy = TileHalfAt(746 + s * dx + c * dy, room.height);
                const uint32_t expected = hx < 0 || hy < 0 ? 0 : quarters[hy][hx];
                if (f.At(px, py) != expected && wrong++ == 0)
                    first = "(" + std::to_string(px) + ", " + std::to_string(py) + ") is " +
                            std::to_string(f.At(px, py)) + ", not " + std::to_string(expected);
            }
        EXPECT_EQ(wrong, 0) << first;
    }
}

// The room is stretched over the window whatever size its view's port has, and draw_getpixel reads the
// pixel drawn at a room point there: a red corner drawn in the room is red at that point of the saved
// screen and to draw_getpixel, with a port twice the window's size and one half of it.
TEST(Views, DrawGetpixelReadsWhatIsDrawnAtARoomPointWhateverThePortsSize) {
    for (const int port : {128, 32}) {
        SCOPED_TRACE("a port " + std::to_string(port) + " wide");
        GameView view = WholeWindow();
        view.portWidth = port;
        view.portHeight = port * 3 / 4;
        ScenarioGame game = ViewGame(view, "");
        game.objects[0].events[0].code =
            "draw_set_colour(c_red); draw_rectangle(40, 30, 63, 47, false);"
            "if (global.t == 1) show_debug_message(\"pixels \" + string(draw_getpixel(50, 40)) + \" \" +"
            " string(draw_getpixel(10, 10)));";
        const SavedFrame f = RunFrame(game);
        ASSERT_EQ(f.run.exitCode, 0) << f.run.errors;
        ASSERT_EQ(f.width, 64);
        EXPECT_EQ(f.At(50, 40), 0xFF0000u);
        EXPECT_EQ(f.At(10, 10), kBlue);
        EXPECT_EQ(LinesStartingWith(f.run.log, "pixels "),
                  std::vector<std::string>{"255 " + std::to_string(0xFF0000)})
            << f.run.log;
    }
}

} // namespace
