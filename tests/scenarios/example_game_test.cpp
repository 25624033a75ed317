// The example game as the build made it, run headless on recorded input.
#include "scenario.h"

#include "graphics/image_decode.h"
#include "io/input.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

constexpr int kKeyDown = 2 + 2 * kIOKeyboardStringUnits + 8;
constexpr int kKeyPressed = kKeyDown + 2 * kIOKeyCount;
constexpr int kRight = 39, kEscape = 27, kF9 = 120;

// Frames in which the right arrow is held for the first twenty, F9 is pressed in frame 30 and Escape in
// frame 40.
std::string Recording() {
    std::string bytes;
    for (int f = 0; f <= 40; ++f) {
        std::string frame(kIOPlaybackFrameSize, '\0');
        if (f < 20) frame[kKeyDown + kRight] = 1;
        if (f == 0) frame[kKeyPressed + kRight] = 1;
        if (f == 30) frame[kKeyDown + kF9] = frame[kKeyPressed + kF9] = 1;
        if (f == 40) frame[kKeyDown + kEscape] = frame[kKeyPressed + kEscape] = 1;
        bytes += frame;
    }
    return bytes;
}

TEST(ExampleGame, RunsOnRecordedInputSavesItsScreenAndEndsOnEscape) {
    std::ifstream in(EXAMPLE_GAME_FILE, std::ios::binary);
    const std::vector<uint8_t> game{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(game.empty()) << EXAMPLE_GAME_FILE;

    const ScenarioRun run =
        RunDataFile(game, {"-playback", "input.rec"}, 60, {{"input.rec", Recording()}}, {"data/Catch/shot.png"});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(run.log.find("ERROR"), std::string::npos) << run.log;
    ASSERT_EQ(run.files.size(), 1u) << run.log;

    // A PNG of the window's size, in which the basket has moved 80 pixels right of its start (x 160): four
    // pixels a step for the twenty steps the key was held.
    const std::string& png = run.files[0].second;
    int width = 0, height = 0;
    const uint32_t* pixels = ReadPNG(reinterpret_cast<const uint8_t*>(png.data()), png.size(), width, height);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    const auto at = [&](int x, int y) { return pixels[y * width + x] & 0xFFFFFFu; };
    EXPECT_EQ(at(240, 220), 0xC08040u); // inside the basket
    EXPECT_NE(at(160, 220), 0xC08040u); // where it started
    ReadPNG_Free();
}

} // namespace
