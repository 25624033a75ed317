// Games written as descriptions and built with databuild as a user builds them: the tour of every
// statement (examples/tour) run and its saved frame compared with the frame worked out here, and the
// descriptions databuild refuses with their line and reason.
#include "scenario.h"

#include "graphics/image/image_decode.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <iterator>
#include <unistd.h>

namespace {

constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The floor, tiled from (4, 0) in the room, where the view shows the room from (16, 8).
uint32_t TourFloor(int sx, int sy) {
    const int fx = ((sx + 16 - 4) % 16 + 16) % 16, fy = (sy + 8) % 16;
    return (fx / 8 + fy / 8) % 2 ? 0x2A3A4A : 0x203040;
}

// The tour's frame, 160 x 120, as its description and code say it is drawn (0xRRGGBB), or -1 where the
// TrueType text may lie.
int64_t TourPixel(int sx, int sy) {
    const auto inside = [&](int left, int top, int right, int bottom) {
        return sx >= left && sx <= right && sy >= top && sy <= bottom;
    };
    // The coin frames are discs of radius 8 centred in 16 x 16.
    const auto disc = [](int x, int y) { return (x + 0.5 - 8) * (x + 0.5 - 8) + (y + 0.5 - 8) * (y + 0.5 - 8) <= 64; };
    if (inside(4, 84, 64, 108)) return -1;                           // "Tour"
    if (inside(8, 8, 23, 23)) return 0xFFFF00;                        // the box, the timeline's second colour
    if (inside(72, 8, 79, 15)) return 0x00FF00;                       // the marker: every collision as expected
    if (inside(32, 24, 47, 39) && disc(sx - 32, sy - 24)) return 0xFF00FF; // the coin painted by the shader
    if (inside(116, 24, 131, 39) && disc(sx - 116, sy - 24)) return 0xE08020; // the walker at the path's end, frame 1
    // "ABC" in the bars font: bars 2, 4 and 6 wide, each followed by one pixel, rows 1 to 6 of 8.
    if (sy >= 89 && sy <= 94 && (inside(80, 0, 81, 200) || inside(83, 0, 86, 200) || inside(88, 0, 93, 200)))
        return 0xFFFF00;
    if (inside(32, 80, 47, 95)) return 0xC04040; // the tiles: the red square, then the green one
    if (inside(48, 80, 63, 95)) return 0x40C040;
    return TourFloor(sx, sy);
}

class Tour : public testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(CodeAs, Tour, testing::Bool(), [](const testing::TestParamInfo<bool>& info) {
    return info.param ? "Bytecode" : "SourceText";
});

TEST_P(Tour, BuildsAndDrawsEveryKindOfResource) {
    if (ScenarioTreeMode() && GetParam()) GTEST_SKIP() << "bytecode runs on the machine in both modes";
    if (access(kFontFile, R_OK) != 0) GTEST_SKIP() << "no font file at " << kFontFile;
    TempFolder folder;
    const ToolRun build = RunTool(folder.Path(), DATABUILD_EXECUTABLE,
                                  std::string("tour.win -game " EXAMPLE_TOUR_SOURCES "/tour.txt") +
                                      (GetParam() ? " -bytecode" : ""));
    ASSERT_EQ(build.exitCode, 0) << build.errors;
    const std::vector<uint8_t> game = ReadBytes(folder / "tour.win");

    // F9 in frame 40, when the walker has long reached the path's end and the timeline its second
    // moment; Escape in the next.
    const ScenarioRun run = RunDataFile(game, {"-playback", "input.rec"}, 60,
                                        {{"input.rec", RecordedKeyPresses(42, {{40, 120}, {41, 27}})}},
                                        {"data/Tour/shot.png"});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.errors;
    EXPECT_EQ(run.log.find("ERROR"), std::string::npos) << run.log;
    ASSERT_EQ(run.files.size(), 1u) << run.log;
    const std::string& png = run.files[0].second;
    int width = 0, height = 0;
    const uint32_t* pixels = ReadPNG(reinterpret_cast<const uint8_t*>(png.data()), png.size(), width, height);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(width, 160);
    ASSERT_EQ(height, 120);
    int wrong = 0, text = 0;
    std::string first;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t got = pixels[y * width + x] & 0xFFFFFFu;
            const int64_t want = TourPixel(x, y);
            if (want < 0) {
                text += got != TourFloor(x, y);
            } else if (got != static_cast<uint32_t>(want) && wrong++ == 0) {
                char at[96];
                std::snprintf(at, sizeof at, "(%d, %d) is %06X, not %06X", x, y, got, static_cast<unsigned>(want));
                first = at;
            }
        }
    }
    ReadPNG_Free();
    EXPECT_EQ(wrong, 0) << "the first: " << first;
    EXPECT_GT(text, 40) << "pixels of the text";
}

// What a user sees of databuild's refusals: the reason after the file's name and line, exit code 1, no
// file written, and nothing on the standard output.
TEST(Databuild, RefusalsNameTheFileTheLineAndTheReason) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "runs no game";
    TempFolder folder;
    TempFolder::Write(folder / "code.txt", "x = 1;");
    TempFolder::Write(folder / "norooms.txt", "game G 64 48\nobject o - 0\n");
    TempFolder::Write(folder / "twice.txt", "room r 64 48 30 000000 -\nroom r 64 48 30 000000 -\n");
    TempFolder::Write(folder / "good.txt", "room r 64 48 30 000000 -\n");
    mkdir((folder / "folder").c_str(), 0755);
    const struct {
        const char* arguments;
        std::string error;
    } cases[] = {
        {"out.win -game missing.txt", "databuild: cannot read missing.txt: No such file or directory\n"},
        {"out.win -game folder", "databuild: cannot read folder: Is a directory\n"},
        {"out.win -game norooms.txt",
         "databuild: norooms.txt: line 2: the description ends without a room; the game starts in its first room "
         "(room NAME WIDTH HEIGHT SPEED COLOUR BACKGROUND|-)\n"},
        {"out.win -game twice.txt", "databuild: twice.txt: line 2: a room named r is already declared on line 1\n"},
        {"nowhere/out.win -game good.txt", "databuild: cannot write nowhere/out.win: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolRun run = RunTool(folder.Path(), DATABUILD_EXECUTABLE, c.arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.errors, c.error);
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(TempFolder::Exists(folder / "out.win"));
    }
}

// Names of 10,000 characters and 100,000 sprites make games that build and run.
TEST(Databuild, OutsizedDescriptionsMakeGamesTheRunnerRuns) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the same games as on the machine";
    TempFolder folder;
    TempFolder::Write(folder / "end.txt", "show_debug_message(\"ran \" + string(instance_number(object_index))); game_end();");
    const std::string name(10000, 'n');
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "sprite s" + std::to_string(i) + " 1 1 0 0 box ff0000\n";
    many += "object o s99999 0\nevent o create 0 end.txt\nroom r 64 48 30 000000 -\ninstance r o 1 1\n";
    const std::pair<const char*, std::string> games[] = {
        {"names.txt", "sprite s" + name + " 8 8 0 0 box ff0000\nobject o" + name + " s" + name + " 0\nevent o" + name +
                          " create 0 end.txt\nroom r" + name + " 64 48 30 000000 -\ninstance r" + name + " o" + name + " 1 1\n"},
        {"many.txt", many},
    };
    for (const auto& [file, text] : games) {
        SCOPED_TRACE(file);
        TempFolder::Write(folder / file, text);
        const ToolRun build = RunTool(folder.Path(), DATABUILD_EXECUTABLE, std::string("game.win -game ") + file);
        ASSERT_EQ(build.exitCode, 0) << build.errors.substr(0, 300);
        const ScenarioRun run = RunDataFile(ReadBytes(folder / "game.win"), {}, 120);
        EXPECT_EQ(run.exitCode, 0) << run.log.substr(0, 300) << run.errors.substr(0, 300);
        EXPECT_EQ(LinesStartingWith(run.log, "ran "), std::vector<std::string>{"1"});
    }
}

} // namespace
