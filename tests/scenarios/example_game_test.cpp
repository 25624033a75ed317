// The example game as the build made it, run headless on recorded input.
#include "scenario.h"

#include "graphics/image_decode.h"
#include "io/input.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

constexpr int kKeyDown = 2 + 2 * kIOKeyboardStringUnits + 8;
constexpr int kKeyPressed = kKeyDown + 2 * kIOKeyCount;
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

namespace {

// Mistakes in a description are refused with the line they are on.
TEST(GameDescription, MistakesAreReportedWithTheirLine) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "runs no game";
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"game G 320 240\nobject o spr 0\n", "line 2: no sprite named spr"},
        {"sprite s 8 8 0 0 disc ff00\n", "line 1: bad colour ff00"},
        {"sprite s 8 8 0 0 star ff0000\n", "line 1: unknown shape star"},
        {"# a comment\n\nbackground b 0 8 box ff0000\n", "line 3: size out of range"},
        {"object o - 0\nevent o landing 0 code.txt\n", "line 2: unknown event kind landing"},
        {"object o - 0\nevent o step 0 missing.txt\n", "line 2: cannot read missing.txt"},
        {"room r 64 48 30 00ff00 -\ninstance r nothing 1 2\n", "line 2: no object named nothing"},
        {"room r 64 48 30 green -\n", "line 1: bad colour green"},
        {"room r 64 48\n", "line 1: unknown statement or wrong word count: room"},
    };
    for (const auto& c : cases) {
        GameDescription game;
        std::string error;
        EXPECT_FALSE(GameFile_Parse(c.text, "", &game, &error)) << c.text;
        EXPECT_EQ(error, c.message);
    }

    // Colours keep their order; a room colour is stored blue-green-red; a collision names its object.
    GameDescription game;
    std::string error;
    ASSERT_TRUE(GameFile_Parse("sprite s 2 1 0 0 box 11223344\nobject a s 0\nobject b - 0\n"
                               "event a collision b " EXAMPLE_GAME_SOURCES "/control_quit.txt\n"
                               "room r 64 48 30 102040 -\n",
                               "", &game, &error))
        << error;
    EXPECT_EQ(game.sprites[0].frames[0].rgba,
              (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(game.objects[0].events[0].type, 4);
    EXPECT_EQ(game.objects[0].events[0].number, 1);
    EXPECT_EQ(game.rooms[0].colour, 0x402010u);
}

} // namespace
