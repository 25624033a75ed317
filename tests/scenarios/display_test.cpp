// The display built-ins from game code on the desktop the runner finds: SDL's headless driver's, and an
// X server's of a known size.
#include "scenario.h"
#include "support/virtual_x.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Prints what the display built-ins answer, then tries modes the display does not list.
ScenarioRun RunDisplayGame() {
    return RunScenario(OneObjectGame(
        {{0, 0,
          "w = display_get_width(); h = display_get_height();"
          "show_debug_message(\"desktop \" + string(w) + \" \" + string(h) + \" \""
          "  + string(display_get_colordepth()) + \" \" + string(display_get_frequency()));"
          "show_debug_message(\"listed \" + string(display_test_all(w, h, -1, -1))"
          "  + string(display_set_size(w, h)) + string(display_set_all(0, 0, 0, 0)));"
          "show_debug_message(\"refused \" + string(display_test_all(w + 1, h, -1, -1))"
          "  + string(display_set_size(100000, 100000)) + string(display_set_all(-1, -1, -1, 8))"
          "  + string(display_set_frequency(12345)));"
          "show_debug_message(\"after \" + string(display_get_width()) + \" \" + string(display_get_height()));"
          "game_end();"}}));
}

void ExpectDesktop(const ScenarioRun& run, const std::string& desktop) {
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console << run.errors;
    EXPECT_EQ(LinesStartingWith(run.log, ""),
              (std::vector<std::string>{"desktop " + desktop, "listed 111", "refused 0000",
                                        "after " + desktop.substr(0, desktop.find(' ', desktop.find(' ') + 1))}))
        << run.log << run.console;
}

TEST(Display, SdlsHeadlessDriversReportTheirOwnDesktop) {
    for (const char* driver : {"offscreen", "dummy"}) {
        ScenarioEnvironment environment{{"SDL_VIDEODRIVER", driver}};
        SCOPED_TRACE(driver);
        ExpectDesktop(RunDisplayGame(), "1024 768 32 0");
    }
}

TEST(Display, AnXServersScreenIsTheDesktop) {
    VirtualXServer server("1280x1024x24");
    if (server.Display().empty()) GTEST_SKIP() << "Xvfb could not be started: the X desktop is not tested";
    // SDL's X11 video opens the session's message bus, whose library keeps a block the leak checker
    // reports at exit; the run has no bus to talk to.
    ScenarioEnvironment environment{
        {"SDL_VIDEODRIVER", "x11"}, {"DISPLAY", server.Display()}, {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}};
    ExpectDesktop(RunDisplayGame(), "1280 1024 32 0");
}

// A video driver named in SDL_VIDEODRIVER that cannot start (X11 with no X server where DISPLAY points,
// and a name SDL has no driver for) stops the start with one line on standard error that names it and
// gives SDL's reason.
TEST(Display, AVideoDriverThatCannotStartIsNamedWithItsReason) {
    for (const char* driver : {"x11", "x1l"}) {
        SCOPED_TRACE(driver);
        ScenarioEnvironment environment{
            {"SDL_VIDEODRIVER", driver}, {"DISPLAY", "/nonexistent/x:0"}, {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}};
        const ScenarioRun run = RunScenario(OneObjectGame({{0, 0, "show_debug_message(\"started\");"}}));
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, 1);
        const std::string start = std::string("The runner could not start SDL's video: SDL's video driver \"") +
                                  driver + "\" (named in SDL_VIDEODRIVER) could not start: ";
        EXPECT_EQ(run.errors.rfind(start, 0), 0u) << run.errors;
        // SDL's reason follows, and the line is the only one.
        EXPECT_GT(run.errors.size(), start.size() + 2) << run.errors;
        EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
        EXPECT_EQ(run.log.find("started"), std::string::npos) << run.log;
    }
}

// A desktop of 256 colours has no mode the device can draw in: the start stops, saying why.
TEST(Display, ADesktopOfTooFewColoursStopsTheStart) {
    VirtualXServer server("640x480x8");
    if (server.Display().empty()) GTEST_SKIP() << "Xvfb could not be started: the X desktop is not tested";
    ScenarioEnvironment environment{
        {"SDL_VIDEODRIVER", "x11"}, {"DISPLAY", server.Display()}, {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}};
    const ScenarioRun run = RunScenario(OneObjectGame({{0, 0, "show_debug_message(\"started\");"}}));
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("requires 16-bit (High Color) or 32-bit (Full Color) mode"), std::string::npos)
        << run.errors;
    EXPECT_NE(run.errors.find("The graphics device could not be started"), std::string::npos) << run.errors;
    EXPECT_EQ(run.log.find("started"), std::string::npos) << run.log;
}

} // namespace
