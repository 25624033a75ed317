// Views whose position and size lie near the 32-bit limits, from the data file and from game code: the
// room's backgrounds and tiles are drawn over what the view shows, and the run goes on to its end.
#include "saved_frame.h"

#include <gtest/gtest.h>

#include <climits>

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

} // namespace
