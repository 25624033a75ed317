// The runner's own command line as games read it, and release mode switched from game code.
#include "scenario.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <string>

using testing::HasSubstr;

TEST(FilesAndPrograms, CommandLineAndReleaseMode) {
    const char* code =
        "game_end();"
        "n = parameter_count(); s = string(n);"
        "for (i = 0; i < n; i += 1) s += \"|\" + parameter_string(i);"
        "show_debug_message(\"params \" + s);"
        "g = ds_grid_create(4, 4); ds_grid_set(g, 1, 1, 5);"
        "qnl_release_mode(1);"
        "ds_grid_set(g, 5, 0, 7); vertex_position(99, 0, 0);"
        "show_debug_message(\"fast \" + string(ds_grid_get(g, 1, 1)) + \" \" + string(ds_grid_get(g, 9, 9)));"
        "qnl_release_mode(0);"
        "ds_grid_set(g, 5, 0, 8);"
        "show_debug_message(\"checked \" + string(ds_grid_get(g, 1, 1)) + \" \" + string(ds_grid_get(g, 5, "
        "0)));"
        "vertex_position(99, 0, 0);";
    const ScenarioGame game = OneObjectGame({{0, 0, code}});

    ScenarioRun run = RunScenario(game, {"two words", "last"});
    ASSERT_FALSE(run.timedOut) << run.console;
    // The checked vertex writer's error at the end is fatal: the game ends with it.
    EXPECT_EQ(run.exitCode, 255) << run.log << run.console;

    // Item 0 is the runner itself; the switches the scenario gives come after it, ours last.
    const std::vector<std::string> params = LinesStartingWith(run.log, "params ");
    ASSERT_EQ(params.size(), 1u) << run.log;
    EXPECT_THAT(params[0], testing::StartsWith(std::string(ScenarioTreeMode() ? "9|" : "8|") +
                                               RUNNER_EXECUTABLE + "|-game|"));
    EXPECT_THAT(params[0], testing::EndsWith("|two words|last"));

    // Release mode writes element y * width + x without a word; the checked forms report again.
    EXPECT_EQ(LinesStartingWith(run.log, "fast "), std::vector<std::string>{"7 0"});
    EXPECT_EQ(LinesStartingWith(run.log, "checked "), std::vector<std::string>{"7 0"});
    EXPECT_EQ(LinesStartingWith(run.log, "Grid ").size(), 1u) << run.log;
    EXPECT_THAT(run.log, HasSubstr("Grid 0, index out of bounds writing [5,0] - size is [4,4]"));
    const size_t vertexReports = [&] {
        size_t count = 0;
        for (size_t at = run.log.find("Illegal vertex buffer"); at != std::string::npos;
             at = run.log.find("Illegal vertex buffer", at + 1))
            ++count;
        return count;
    }();
    EXPECT_EQ(vertexReports, 1u) << run.log;
}

// A program that never ends does not hold the game: closing it (here the terminate signal, which the
// window layer turns into the close button) ends the wait in the first room's creation code, and the
// run ends at once with the program left running.
TEST(FilesAndPrograms, AGameWaitingForAProgramCanStillBeClosed) {
    const ScenarioGame game =
        OneObjectGame({{0, 0,
                        "show_debug_message(\"started \" + string(execute_program(\"/bin/sh\","
                        " '-c \"echo $$ > child.pid; kill -TERM $PPID; exec sleep 60\"', 1)));"}});

    ScenarioRun run = RunDataFile(BuildScenarioGame(game), {}, 30, {}, {"child.pid"});
    ASSERT_EQ(run.files.size(), 1u) << run.log << run.console;
    const pid_t child = static_cast<pid_t>(std::stol(run.files[0].second));
    EXPECT_EQ(kill(child, 0), 0) << "the program goes on after the game";
    kill(child, SIGKILL);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console;
    EXPECT_EQ(LinesStartingWith(run.log, "started "), std::vector<std::string>{"1"});
}
