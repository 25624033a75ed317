// The example game as the build made it, run headless on recorded input.
#include "scenario.h"

#include "graphics/image/image_decode.h"
#include "io/input.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

constexpr int kKeyDown = kRecordedKeyDown;
constexpr int kKeyPressed = kRecordedKeyPressed;
constexpr int kRight = 39, kEscape = 27, kF9 = 120;

// The left mouse button (device 0) and the pointer's window position.
constexpr int kMouseButton = kKeyPressed + kIOKeyCount + 4 * kIOMouseDevices;
constexpr int kButtonDown = kMouseButton + 4 * kIOMouseDevices;
constexpr int kRawMouseX = kIOPlaybackFrameSize - 8;

// Frames in which the right arrow is held for the first twenty (or, with the mouse, the left button is
// held with the pointer at (300, 20), far from the basket), F9 is pressed in frame 30 and Escape in
// frame 40.
std::string Recording(bool mouse = false) {
    std::string bytes;
    for (int f = 0; f <= 40; ++f) {
        std::string frame(kIOPlaybackFrameSize, '\0');
        const int32_t x = 300, y = 20;
        std::memcpy(&frame[kRawMouseX], &x, 4);
        std::memcpy(&frame[kRawMouseX + 4], &y, 4);
        if (f < 20 && mouse) frame[kMouseButton] = 1, frame[kButtonDown] = 1;
        if (f < 20 && !mouse) frame[kKeyDown + kRight] = 1;
        if (f == 0 && !mouse) frame[kKeyPressed + kRight] = 1;
        if (f == 30) frame[kKeyDown + kF9] = frame[kKeyPressed + kF9] = 1;
        if (f == 40) frame[kKeyDown + kEscape] = frame[kKeyPressed + kEscape] = 1;
        bytes += frame;
    }
    return bytes;
}

// The game as built with its code as source text, and with its code compiled into the file.
class ExampleGame : public testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(CodeAs, ExampleGame, testing::Values(EXAMPLE_GAME_FILE, EXAMPLE_GAME_BYTECODE_FILE),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return info.index == 0 ? "SourceText" : "Bytecode";
                         });

TEST_P(ExampleGame, RunsOnRecordedInputSavesItsScreenAndEndsOnEscape) {
    if (ScenarioTreeMode() && std::string(GetParam()) == EXAMPLE_GAME_BYTECODE_FILE)
        GTEST_SKIP() << "bytecode runs on the machine in both modes";
    std::ifstream in(GetParam(), std::ios::binary);
    const std::vector<uint8_t> game{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(game.empty()) << GetParam();

    // Steered by the keys, or by the mouse held anywhere in the window.
    for (const bool mouse : {false, true}) {
        SCOPED_TRACE(mouse ? "mouse" : "keys");
        const ScenarioRun run = RunDataFile(game, {"-playback", "input.rec"}, 60,
                                            {{"input.rec", Recording(mouse)}}, {"data/Catch/shot.png"});
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, 0) << run.log;
        EXPECT_EQ(run.log.find("ERROR"), std::string::npos) << run.log;
        ASSERT_EQ(run.files.size(), 1u) << run.log;

        // A PNG of the window's size, on the room's checked background, in which the basket has moved 80
        // pixels right of its start (x 160): four pixels a step for the twenty steps the key was held.
        const std::string& png = run.files[0].second;
        int width = 0, height = 0;
        const uint32_t* pixels =
            ReadPNG(reinterpret_cast<const uint8_t*>(png.data()), png.size(), width, height);
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(width, 320);
        EXPECT_EQ(height, 240);
        const auto at = [&](int x, int y) { return pixels[y * width + x] & 0xFFFFFFu; };
        EXPECT_EQ(at(0, 120), 0x203058u);   // the background's second colour (no star reaches x 0)
        EXPECT_EQ(at(0, 128), 0x182848u);   // and its first, one square lower
        EXPECT_EQ(at(240, 220), 0xC08040u); // inside the basket
        EXPECT_NE(at(160, 220), 0xC08040u); // where it started
        // The count of stars caught, written in the text colour at the top left.
        int textPixels = 0;
        for (int y = 8; y < 24; ++y)
            for (int x = 8; x < 100; ++x)
                textPixels += at(x, y) == 0xFFFF80u;
        EXPECT_GT(textPixels, 40);
        ReadPNG_Free();
    }
}

} // namespace
