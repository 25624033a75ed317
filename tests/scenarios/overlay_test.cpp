// The developer overlay opened by taps played back from an input recording, seen in a saved frame.
#include "scenario.h"

#include "graphics/image/image_decode.h"
#include "io/input.h"
#include "support/pixel_mask.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A recorded frame of the game-side input whose only news is a press of the left button at (x, y).
std::string TapFrame(int x, int y, bool press) {
    std::string frame(kIOPlaybackFrameSize, '\0');
    // Offsets of the frame's fields: the pressed buttons, then the mouse position at the very end.
    const size_t buttonPressed = 2 + 2050 + 4 + 4 + 3 * 256 + 2 * 20 + 2 * 15;
    frame[buttonPressed] = press ? 1 : 0;
    const int32_t position[2] = {x, y};
    std::memcpy(frame.data() + kIOPlaybackFrameSize - 8, position, 8);
    return frame;
}

// On a 320 x 240 game: the opening pattern (seven taps), the menu pattern (eight), and the menu's
// frame-rate switch; the saved frame then shows the title with its menu, the frame-rate line and the
// bars.
TEST(Overlay, TapsOpenTheOverlayAndItsMenuAndTurnOnTheFrameRate) {
    const std::pair<int, int> cells[] = {{0, 0}, {9, 0}, {9, 9}, {0, 9}, {0, 0}, {5, 5}, {5, 5}, {0, 0},
                                         {9, 0}, {0, 0}, {9, 0}, {0, 9}, {9, 9}, {0, 9}, {9, 9}};
    std::string recording;
    for (auto [c, r] : cells)
        recording += TapFrame(c * 32 + 16, r * 24 + 12, true);
    recording += TapFrame(20, 15, true);
    for (int i = 0; i < 8; ++i)
        recording += TapFrame(300, 200, false);

    ScenarioGame game;
    game.width = 320;
    game.height = 240;
    ScenarioObject o;
    o.name = "oSaver";
    o.events = {{0, 0, "steps = 0;"},
                {3, 0, "steps += 1; if (steps == 20) { screen_save(\"overlay.png\"); game_end(); }"}};
    game.objects.push_back(o);
    ScenarioRoom room;
    room.name = "rGrey";
    room.width = 320;
    room.height = 240;
    room.colour = 0x808080;
    room.instances = {{0, 0, 0, 100001, ""}};
    game.rooms.push_back(room);
    const ScenarioRun run = RunDataFile(BuildScenarioGame(game), {"-playback", "taps.rec"}, 20,
                                        {{"taps.rec", recording}}, {"data/Game/overlay.png"});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    ASSERT_EQ(run.files.size(), 1u) << run.console;
    const std::string& png = run.files[0].second;
    int width = 0, height = 0;
    const uint32_t* pixels = ReadPNG(reinterpret_cast<const uint8_t*>(png.data()), png.size(), width, height);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(width, 320);
    const auto at = [&](int x, int y) { return pixels[y * width + x] & 0xFFFFFFu; };
    const auto whiteIn = [&](int x1, int y1, int x2, int y2) {
        return CountColour(pixels, width, 0xFFFFFFu, x1, y1, x2, y2);
    };
    // The dark band of the title over the top 100 rows; the room below it.
    EXPECT_LE(at(310, 98) & 0xFF, 36u);
    EXPECT_EQ(at(310, 101), 0x808080u);
    EXPECT_GT(whiteIn(0, 40, 320, 56), 100); // the title
    EXPECT_GT(whiteIn(240, 80, 300, 96), 40); // "CLOSE"
    EXPECT_GT(whiteIn(10, 21, 110, 26), 20);  // the lower part of "FPS : ON", below the bars' band
    EXPECT_EQ(whiteIn(0, 100, 320, 240), 0);
    ReadPNG_Free();
}

} // namespace
