// The runner on small games: the order of a step's events, alarms, room changes, persistence,
// timelines, the end of the game and run-time errors.
#include "scenario.h"

#include <gtest/gtest.h>

namespace {

// A run-time error: a string added to a number.
const char kFail[] = "{ var s; s = \"x\"; s = s + 1; }";

ScenarioObject Logger(const std::string& name, std::vector<ScenarioEvent> events) {
    ScenarioObject o;
    o.name = name;
    o.events = std::move(events);
    return o;
}

std::string Say(const std::string& text) {
    return "show_debug_message(\"" + text + "\");";
}

TEST(RunLoop, StepEventsInOrderThenARunTimeErrorEndsWithItsReport) {
    ScenarioGame game;
    game.objects.push_back(Logger(
        "oLog", {{0, 0, Say("create")},
                 {3, 1, "global.steps += 1; show_debug_message(\"begin \" + string(global.steps));"},
                 {3, 0, Say("step")},
                 {3, 2, Say("end") + "if (global.steps == 2) " + kFail},
                 {7, 2, Say("game start")},
                 {7, 4, Say("room start")},
                 {8, 0, Say("draw")}}));
    ScenarioRoom room;
    room.name = "rFirst";
    room.code = "global.steps = 0;" + Say("room code");
    room.instances = {{10, 10, 0, 100001, Say("instance code")}};
    game.rooms.push_back(room);

    ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 255);
    std::vector<std::string> lines;
    for (const std::string& line : LinesStartingWith(run.log, "")) {
        if (line.rfind("ERROR", 0) == 0) break;
        lines.push_back(line);
    }
    const std::vector<std::string> expected = {"create", "instance code", "game start", "room code",
                                               "room start", "draw", "begin 1", "step", "end", "draw",
                                               "begin 2", "step", "end"};
    EXPECT_EQ(lines, expected) << run.log;
    EXPECT_NE(run.log.find("ERROR in\naction number 1\nof  Step Event2\nfor object oLog:"), std::string::npos)
        << run.log;
}

} // namespace
