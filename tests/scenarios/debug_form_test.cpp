// The debug form of "-debug" beside the game's window on a real desktop (an X server of the test's own):
// what both windows show is read back from the server's screen.
#include "scenario.h"
#include "support/emulator.h"
#include "support/temp_folder.h"
#include "support/virtual_x.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

constexpr uint32_t kFormColour = 0xF0F0F0;  // the form's background
constexpr uint32_t kButtonFrame = 0x787878; // the frame of a button
constexpr uint32_t kText = 0x000000;        // the status line's text
constexpr uint32_t kMovedColour = 0x0080FF; // what the game draws once its window has moved

// A game of 320 x 240 that moves its window to the screen's corner, away from the form, on its fifth
// step, then draws kMovedColour from its tenth (red before), and ends after three seconds.
ScenarioGame MovingWindowGame() {
    ScenarioGame game =
        OneObjectGame({{0, 0, "t = 0;"},
                       {3, 0, "t += 1; if (t == 5) window_set_position(0, 0); if (t == 180) game_end();"},
                       {8, 0, "if (t < 10) draw_clear(c_red) else draw_clear($FF8000);"}});
    game.width = 320;
    game.height = 240;
    game.rooms[0].width = 320;
    game.rooms[0].height = 240;
    game.rooms[0].speed = 60;
    return game;
}

struct Look {
    bool formFound = false;
    int formWidth = 0, formHeight = 0;
    int framesInTopRows = 0, framesInBottomRows = 0, textInStatusRow = 0;
    int gamePixelsDrawn = 0;

    bool Good() const {
        return formFound && formWidth == 560 && formHeight == 400 && framesInTopRows == 0 &&
               framesInBottomRows > 0 && textInStatusRow > 0 && gamePixelsDrawn > 320 * 240 * 9 / 10;
    }
    std::string Describe() const {
        std::ostringstream s;
        s << "form " << (formFound ? "found" : "not found") << " at " << formWidth << " x " << formHeight
          << ", button frames in its top rows " << framesInTopRows << " and bottom rows "
          << framesInBottomRows << ", status text pixels " << textInStatusRow
          << "; game window pixels of the colour drawn after the move " << gamePixelsDrawn << " of "
          << 320 * 240;
        return s.str();
    }
};

Look LookAt(const XScreenImage& screen) {
    Look look;
    int left, top, right, bottom;
    look.formFound = screen.Bounds(kFormColour, left, top, right, bottom);
    if (look.formFound) {
        look.formWidth = right - left + 1;
        look.formHeight = bottom - top + 1;
        // The status line lies at the top, the buttons in a row at the bottom.
        look.framesInTopRows = screen.Count(kButtonFrame, left, top, right + 1, top + 40);
        look.framesInBottomRows = screen.Count(kButtonFrame, left, bottom - 40, right + 1, bottom + 1);
        look.textInStatusRow = screen.Count(kText, left, top, right + 1, top + 30);
    }
    look.gamePixelsDrawn = screen.Count(kMovedColour, 0, 0, 320, 240);
    return look;
}

TEST(DebugForm, DrawsUprightBesideAGameWindowThatKeepsDrawingAfterItMoves) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the windows do not depend on how the game's code runs";
    if (RunsUnderEmulator())
        GTEST_SKIP() << "under the emulator the game's frames, drawn by the emulated software GL driver, "
                        "outlast the run's 30 s";
    TempFolder folder;
    VirtualXServer server("1280x1024x24", folder.Path());
    if (server.Display().empty())
        GTEST_SKIP() << "Xvfb could not be started: the windows on a desktop are not tested";
    const std::vector<uint8_t> bytes = BuildScenarioGame(MovingWindowGame());
    std::ofstream(folder / "game.win", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ScenarioEnvironment environment{
        {"SDL_VIDEODRIVER", "x11"}, {"DISPLAY", server.Display()}, {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}};

    std::atomic<bool> ended{false};
    ScenarioRun run;
    // Without "-noerrors": the form opens only for a run someone attends.
    std::thread runner([&] {
        run = RunRunner(folder.Path(),
                        {"-debug", "-game", folder / "game.win", "-output", folder / "game.log"}, 30);
        ended = true;
    });
    // The screen is looked at until both windows show what they should, or the game has ended.
    Look last;
    while (!ended && !last.Good()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        XScreenImage screen;
        if (screen.Read(folder / "Xvfb_screen0")) last = LookAt(screen);
    }
    runner.join();
    EXPECT_TRUE(last.Good()) << last.Describe();
    EXPECT_EQ(run.exitCode, 0) << run.console << run.errors;
}

} // namespace
