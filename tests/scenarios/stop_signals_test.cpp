// SIGINT and SIGTERM sent to games that cannot get to the end of their frame: code that never returns,
// an error box no one answers, a wait for a key.
#include "scenario.h"
#include "support/temp_folder.h"
#include "support/virtual_x.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

namespace {

struct StopCase {
    int signal;
    double again;   // the second signal's delay, or -1 for none
    int exitCode;   // what the run ends with
    double atLeast; // the seconds it takes after the first signal, at least and at most (a run that
                    // ends at once ends before the two seconds have passed)
    double atMost;
};

void ExpectStopped(const ScenarioRun& run, const StopCase& c) {
    SCOPED_TRACE(testing::Message() << "signal " << c.signal << (c.again >= 0 ? " twice" : " once"));
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;
    EXPECT_GE(run.secondsAfterSignal, c.atLeast);
    EXPECT_LE(run.secondsAfterSignal, c.atMost);
    const std::string said = c.signal == SIGINT ? "SIGINT" : "SIGTERM";
    EXPECT_EQ(run.errors.find("The game did not end in time after " + said) != std::string::npos,
              c.exitCode != 0)
        << run.errors;
}

// The loop keeps saving the game, a file of some megabytes: the run must not end in the middle of a
// save, which would leave the file cut short.
TEST(StopSignals, CodeThatNeverReturnsIsEndedAfterTwoSecondsOrAtOnceOnASecondSignal) {
    const ScenarioGame game = OneObjectGame(
        {{0, 0,
          "global.s = string_repeat(\"x\", 8000000); game_save(\"kept.sav\"); game_save(\"big.sav\");"
          "show_debug_message(\"saved\"); while (true) game_save(\"big.sav\");"}});
    for (const StopCase& c : {StopCase{SIGINT, -1, 130, 1.9, 8}, StopCase{SIGTERM, -1, 143, 1.9, 8},
                              StopCase{SIGTERM, 0.3, 143, 0.3, 1.9}}) {
        const ScenarioRun run =
            RunDataFile(BuildScenarioGame(game), {}, 30, {}, {"data/Game/kept.sav", "data/Game/big.sav"},
                        ScenarioStop{c.signal, "saved", c.again});
        ExpectStopped(run, c);
        EXPECT_EQ(LinesStartingWith(run.log, "saved").size(), 1u) << run.log;
        ASSERT_EQ(run.files.size(), 2u);
        EXPECT_EQ(run.files[1].second.size(), run.files[0].second.size());
        EXPECT_TRUE(run.files[1].second == run.files[0].second);
    }
}

// A process that has ended may wait as a zombie for its new parent to collect it.
bool ProcessGone(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string id, name, state;
    return !(stat >> id >> name >> state) || state == "Z";
}

// On a desktop, without "-noerrors": the error box is shown by the desktop's dialog tool, here a stand-in
// that never answers. The box is closed along with the run. A wait for a key ends with the run as the
// close box ends it.
TEST(StopSignals, AnErrorBoxNoOneAnswersIsClosedAndAWaitForAKeyEnds) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the box and the wait do not depend on how the game's code runs";
    TempFolder folder;
    VirtualXServer server("640x480x24");
    if (server.Display().empty()) GTEST_SKIP() << "Xvfb could not be started";
    TempFolder::MakeDir(folder / "bin");
    TempFolder::Write(folder / "bin/zenity", "#!/bin/sh\necho $$ > box.pid\nexec sleep 60\n");
    chmod((folder / "bin/zenity").c_str(), 0755);
    ScenarioEnvironment environment{{"SDL_VIDEODRIVER", "x11"},
                                    {"DISPLAY", server.Display()},
                                    {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                                    {"PATH", folder / "bin:" + std::string(std::getenv("PATH"))}};
    const char* failing = "show_debug_message(\"failing\"); var s; s = \"x\"; s = s + 1;";
    const char* waiting = "show_debug_message(\"waiting\"); keyboard_wait(); show_debug_message(\"waited\");";
    const struct {
        const char* code;
        const char* ready;
        StopCase stop;
    } cases[] = {{failing, "failing", {SIGTERM, -1, 143, 1.9, 8}},
                 {failing, "failing", {SIGINT, 0.3, 130, 0.3, 1.9}},
                 {waiting, "waiting", {SIGINT, -1, 0, 0, 1.9}},
                 {waiting, "waiting", {SIGTERM, -1, 0, 0, 1.9}}};
    for (const auto& c : cases) {
        for (const char* left : {"box.pid", "game.log"})
            std::remove((folder / left).c_str());
        const std::vector<uint8_t> bytes = BuildScenarioGame(OneObjectGame({{0, 0, c.code}}));
        std::ofstream(folder / "game.win", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        const ScenarioRun run =
            RunRunner(folder.Path(), {"-game", folder / "game.win", "-output", folder / "game.log"}, 30,
                      false, ScenarioStop{c.stop.signal, c.ready, c.stop.again});
        ExpectStopped(run, c.stop);
        if (c.stop.exitCode == 0) {
            EXPECT_EQ(LinesStartingWith(run.log, "waited").size(), 1u) << run.log;
            continue;
        }
        // Where the X server has the fonts for it, SDL draws the box itself, in a copy of the runner that is
        // closed the same way but not seen here.
        const std::string pid = TempFolder::Read(folder / "box.pid");
        if (!pid.empty()) {
            EXPECT_TRUE(ProcessGone(pid.substr(0, pid.find('\n')))) << "the box is still open";
        }
    }
}

} // namespace
