// The runner on small games: the order of a step's events, alarms, room changes, persistence,
// timelines, the end of the game and run-time errors.
#include "scenario.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

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

// On the machine a run-time error ends the game; the tree evaluator reports it, abandons the rest of
// that event's code, and the game goes on.
TEST(RunLoop, StepEventsInOrderThenARunTimeErrorEndsWithItsReport) {
    const std::string endStep = Say("end") + "if (global.steps == 2) " + kFail;
    ScenarioGame game;
    game.objects.push_back(Logger(
        "oLog", {{0, 0, Say("create")},
                 {3, 1, "global.steps += 1; show_debug_message(\"begin \" + string(global.steps));"},
                 {3, 0, Say("step") + "if (global.steps == 3) game_end();"},
                 {3, 2, endStep},
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
    if (ScenarioTreeMode()) {
        EXPECT_EQ(run.exitCode, 0);
        const std::string where = "Error in code at line 1:\n   " + endStep + "\n\nat position " +
                                  std::to_string(endStep.find("1; }") + 1) + ": Wrong type of arguments to +.";
        EXPECT_NE(run.log.find(where), std::string::npos) << run.log;
        EXPECT_EQ(LinesStartingWith(run.log.substr(run.log.find("\ndraw\nbegin 3")), ""),
                  (std::vector<std::string>{"", "draw", "begin 3", "step"}));
        EXPECT_EQ(run.errors.find("ERROR in"), std::string::npos) << run.errors;
    } else {
        // The error that ended the game is also on standard error, whole, and the run has failed.
        EXPECT_EQ(run.exitCode, 255);
        const size_t report =
            run.errors.find("FATAL ERROR in\naction number 1\nof  Step Event2\nfor object oLog:");
        ASSERT_NE(report, std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find("DoAdd :: Execution Error", report), std::string::npos) << run.errors;
    }
    // The start-up steps, each traced before it runs.
    size_t at = 0;
    for (const char* step : {"Get Resolution", "Create Window", "Init Graphics", "IO Init", "Process Messages",
                             "Start Frame", "Part Create Textures", "Debug Init Remote Interface", "VM Init",
                             "Create Score Form", "Create Load Form", "Create Error Form", "Do The Work",
                             "PrepareGame()", "Finished PrepareGame() ", "Run_Start", "StartGame()",
                             "Entering main loop."}) {
        at = run.console.find(std::string("\n") + step + "\n", at);
        ASSERT_NE(at, std::string::npos) << step << "\n" << run.console;
    }
}

} // namespace

namespace {

// A logger whose begin step counts the steps in global.s (set to 0 by the room's creation code).
ScenarioObject Counter(const std::string& name, std::vector<ScenarioEvent> events) {
    for (ScenarioEvent& e : events)
        if (e.type == 3 && e.number == 1) {
            e.code = "global.s += 1;" + e.code;
            return Logger(name, std::move(events));
        }
    events.push_back({3, 1, "global.s += 1;"});
    return Logger(name, std::move(events));
}

// The first room's creation code starts the step count.
ScenarioRoom RoomOf(const std::string& name, std::vector<ScenarioInstance> instances, bool first = true) {
    ScenarioRoom room;
    room.name = name;
    if (first) room.code = "global.s = 0;";
    room.instances = std::move(instances);
    return room;
}

// Which errors end the game, with "-noerrors" and without it (no one answers a box then: it takes its
// default button, Abort where there is one), and what runs before the end: the rest of the create event
// the error came in ("after"), the next instance's create event and steps, the room end and game end.
TEST(RunLoop, AnErrorEndsTheGameAtOnceAfterItsCodeOrNotAtAllByItsKind) {
    struct Case {
        const char* error;
        bool boxes;
        int exitCode;
        std::vector<std::string> lines;
    };
    const std::vector<std::string> wholeGame = {"before", "after", "next", "step", "room end", "game end"};
    const std::vector<std::string> afterItsCode = {"before", "after", "room end", "game end"};
    const Case cases[] = {
        {"sqrt(-1)", false, 0, wholeGame},
        {"sqrt(-1)", true, 255, afterItsCode},
        {"math_set_epsilon(5)", false, 255, afterItsCode},
        {"math_set_epsilon(5)", true, 255, afterItsCode},
        {"script_execute(999)", false, 255, {"before"}},
        {"script_execute(999)", true, 255, {"before"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.error) + (c.boxes ? " with boxes" : " with -noerrors"));
        ScenarioGame game;
        game.objects.push_back(Logger("oFirst", {{0, 0, Say("before") + c.error + ";" + Say("after")},
                                                 {3, 0, Say("step") + "game_end();"},
                                                 {7, 5, Say("room end")},
                                                 {7, 3, Say("game end")}}));
        game.objects.push_back(Logger("oNext", {{0, 0, Say("next")}}));
        game.rooms.push_back(RoomOf("r0", {{0, 0, 0, 100001, ""}, {0, 0, 1, 100002, ""}}));
        ScenarioRun run;
        if (c.boxes) {
            TempFolder folder;
            const std::vector<uint8_t> bytes = BuildScenarioGame(game);
            TempFolder::Write(folder / "game.win", std::string(bytes.begin(), bytes.end()));
            std::vector<std::string> arguments = {"-game", folder / "game.win", "-output", folder / "game.log"};
            if (ScenarioTreeMode()) arguments.push_back("-oldexec");
            run = RunRunner(folder.Path(), arguments, 20);
        } else {
            run = RunScenario(game);
        }
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, c.exitCode) << run.log;
        std::vector<std::string> lines;
        for (const std::string& line : LinesStartingWith(run.log, ""))
            if (std::find(wholeGame.begin(), wholeGame.end(), line) != wholeGame.end()) lines.push_back(line);
        EXPECT_EQ(lines, c.lines) << run.log;
        EXPECT_EQ(run.errors.find("ERROR in") != std::string::npos, c.exitCode == 255) << run.errors;
    }
}

TEST(RunLoop, AlarmsCountDownAndTheGameEndsWithRoomEndThenGameEnd) {
    ScenarioGame game;
    game.objects.push_back(Counter(
        "oAlarm", {{0, 0, "alarm[0] = 3; global.n = 0;"},
                   {2, 0, "show_debug_message(\"alarm \" + string(global.s)); global.n += 1;"
                          "if (global.n < 3) alarm[0] = 2; else game_end();"},
                   {3, 2, "if (global.s > 50) show_debug_message(\"too many steps\");"},
                   {7, 5, Say("room end")},
                   {7, 3, Say("game end")}}));
    game.rooms.push_back(RoomOf("r0", {{0, 0, 0, 100001, ""}}));
    ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, ""),
              (std::vector<std::string>{"alarm 3", "alarm 5", "alarm 7", "room end", "game end"}));
}

TEST(RunLoop, ARoomChangeStopsTheStepAndPersistentInstancesComeAlong) {
    ScenarioGame game;
    ScenarioObject keeper = Logger(
        "oKeeper", {{0, 0, "kept = 5;" + Say("create keeper")},
                    {7, 4, "show_debug_message(\"room start \" + string(room) + \" kept \" + string(kept));"}});
    keeper.persistent = true;
    game.objects.push_back(keeper);
    game.objects.push_back(Counter("oMover", {{3, 1, Say("begin") + "room_goto(1);"},
                                              {3, 0, Say("step in the first room")},
                                              {8, 0, Say("drawn in the first room")},
                                              {7, 5, Say("room end")}}));
    game.objects.push_back(Counter("oSecond", {{0, 0, Say("create second")},
                                               {3, 2, "if (global.s == 3) game_end();"}}));
    game.rooms.push_back(RoomOf("r0", {{0, 0, 0, 100001, ""}, {0, 0, 1, 100002, ""}}));
    game.rooms.push_back(RoomOf("r1", {{0, 0, 2, 100003, ""}}, false));
    ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, ""),
              (std::vector<std::string>{"create keeper", "room start 0 kept 5", "drawn in the first room", "begin",
                                        "room end", "create second", "room start 1 kept 5"}));
}

TEST(RunLoop, TimelineMomentsRunAsThePositionPassesThem) {
    ScenarioGame game;
    game.timelines.push_back({"tlMain",
                              {{0, "show_debug_message(\"moment 0 at \" + string(global.s));"},
                               {2, "show_debug_message(\"moment 2 at \" + string(global.s));"},
                               {5, "show_debug_message(\"moment 5 at \" + string(global.s)); game_end();"}}});
    game.objects.push_back(Counter("oRunner", {{0, 0, "timeline_index = 0; timeline_running = true;"}}));
    game.rooms.push_back(RoomOf("r0", {{0, 0, 0, 100001, ""}}));
    ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, ""),
              (std::vector<std::string>{"moment 0 at 1", "moment 2 at 3", "moment 5 at 6"}));
}

// A run-time error in a moment names the timeline and the step, as the data file's compiled code does.
TEST(RunLoop, AnErrorInATimelineMomentNamesTheTimelineAndTheStep) {
    ScenarioGame game;
    game.timelines.push_back({"tlBad", {{2, kFail}}});
    game.objects.push_back(Counter("oRunner", {{0, 0, "timeline_index = 0; timeline_running = true;"},
                                               {3, 0, "if (global.s == 6) game_end();"}}));
    game.rooms.push_back(RoomOf("r0", {{0, 0, 0, 100001, ""}}));
    ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_NE(run.log.find("at time step2\nof time line tlBad:"), std::string::npos) << run.log;
    // The machine's report also names the code where it stopped; the tree evaluator's has no such line.
    if (!ScenarioTreeMode()) EXPECT_NE(run.log.find("at Timeline.tlBad.2"), std::string::npos) << run.log;
}

// A compile error keeps its position and reason however long its line is: the quoted line is cut around
// the position instead. A refused game names on standard error the code that did not compile and why.
TEST(RunLoop, ACompileErrorOnALongLineKeepsItsPositionAndReason) {
    std::string line = "x = ";
    for (int i = 0; i < 600; ++i)
        line += "1 + ";
    line += ";";
    const std::string reason =
        "at line 1, position " + std::to_string(line.size()) + ": Unexpected symbol in expression.";
    struct Case {
        const char* heading;
        const char* failure;
    };
    for (const Case& c :
         {Case{"COMPILATION ERROR in code action", "Chunk OBJT: Failed to compile the actions in "
                                                   "the objects. Object.oLong.Create.0 "},
          Case{"COMPILATION ERROR in room script", "Chunk ROOM: Failed to compile the actions in "
                                                   "the objects. Room.rLong "}}) {
        SCOPED_TRACE(c.heading);
        const bool inRoom = std::string(c.heading).find("room") != std::string::npos;
        ScenarioGame game;
        game.objects.push_back(Logger("oLong", {{0, 0, inRoom ? "x = 1;" : line}}));
        ScenarioRoom room = RoomOf("rLong", {{0, 0, 0, 100001, ""}});
        if (inRoom) room.code = line;
        game.rooms.push_back(room);
        ScenarioRun run = RunScenario(game);
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, 1);
        const size_t report = run.log.find(c.heading);
        ASSERT_NE(report, std::string::npos) << run.log;
        EXPECT_NE(run.log.find("\n   ..." + line.substr(line.size() - 256) + "\n\nat position " +
                                   std::to_string(line.size()) + ": Unexpected symbol in expression.",
                               report),
                  std::string::npos)
            << run.log;
        EXPECT_NE(run.errors.find(std::string(c.failure) + reason + "\n"), std::string::npos) << run.errors;
    }
}

TEST(RunLoop, ARoomThatDoesNotExistEndsTheGameWithItsError) {
    ScenarioGame game;
    game.objects.push_back(Counter("oLost", {{3, 0, "room_goto(999);"}, {3, 2, Say("end step")}}));
    game.rooms.push_back(RoomOf("r0", {{0, 0, 0, 100001, ""}}));
    ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_NE(run.log.find("Unexisting room number: 999"), std::string::npos) << run.log;
    EXPECT_NE(run.errors.find("Unexisting room number: 999"), std::string::npos) << run.errors;
    EXPECT_EQ(run.log.find("end step"), std::string::npos) << run.log;
}

// A recording of five steps in which the A key goes down in the third.
TEST(RunLoop, RecordedInputIsPlayedBackStepByStep) {
    constexpr size_t kKeyDown = 2 + 2050 + 4 + 4, kKeyPressed = kKeyDown + 512;
    std::string recording;
    for (int step = 1; step <= 5; ++step) {
        std::string frame(2939, '\0');
        if (step == 3) frame[kKeyDown + 'A'] = frame[kKeyPressed + 'A'] = 1;
        recording += frame;
    }
    ScenarioGame game;
    game.objects.push_back(Counter("oKeys", {{9, 'A', "show_debug_message(\"A at \" + string(global.s));"},
                                             {5, 1, "show_debug_message(\"any key at \" + string(global.s));"},
                                             {3, 2, "if (global.s == 5) game_end();"}}));
    game.rooms.push_back(RoomOf("r0", {{0, 0, 0, 100001, ""}}));
    ScenarioRun run = RunScenario(game, {"-playback", "input.rec"}, 20, {{"input.rec", recording}});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, ""), (std::vector<std::string>{"A at 3", "any key at 3"}));
}

} // namespace

namespace {

// A restart ends the game (room end, game end) and starts it again from the first room, with the
// placed instances made anew and the game start event again.
TEST(RunLoop, ARestartRunsTheGameAgainFromItsFirstRoom) {
    ScenarioGame game;
    game.objects.push_back(Logger("oRestarter", {{0, 0, Say("create")},
                                                 {7, 2, Say("game start")},
                                                 {7, 3, Say("game end")},
                                                 {3, 0, "global.r += 1; if (global.r == 1) game_restart(); "
                                                        "else game_end();"}}));
    ScenarioRoom room;
    room.name = "r0";
    room.instances = {{0, 0, 0, 100001, ""}};
    game.rooms.push_back(room);
    game.objects[0].events.push_back({7, 4, "if (global.r == 0) show_debug_message(\"first start\");"});
    game.rooms[0].code = "if (!(global.r > 0)) global.r = 0;"; // a restart keeps the globals
    ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, ""),
              (std::vector<std::string>{"create", "game start", "first start", "game end", "create", "game start",
                                        "game end"}));
}

} // namespace

namespace {

// (The run's temporary folder, made as it starts, goes with it.)
TEST(RunLoop, WithoutAGameAnUnattendedRunSaysSoAndEndsWithCodeOne) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "no game code";
    TempFolder folder, temporary;
    ScenarioEnvironment environment{{"TMPDIR", temporary.Path()}};
    ScenarioRun run = RunRunner(folder.Path(), {"-noerrors"}, 20);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("No game found"), std::string::npos) << run.errors;
    EXPECT_EQ(TempFolder::Names(temporary.Path()), std::vector<std::string>{}) << "the temporary folder was left";
}

// A fatal error ends the game with the run's clean-up, as its own end does: its changed high-score table
// is saved, and the run's temporary folder goes.
TEST(RunLoop, AFatalErrorsEndSavesTheHighScoresAndRemovesTheTemporaryFolder) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "in the tree evaluator an error does not end the game";
    TempFolder temporary;
    ScenarioEnvironment environment{{"TMPDIR", temporary.Path()}};
    const ScenarioRun run = RunDataFile(
        BuildScenarioGame(OneObjectGame({{0, 0, std::string("highscore_add(\"Ann\", 777);") + kFail}})), {}, 20,
        {}, {"data/Game/hiscore.dat"});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 255) << run.errors;
    ASSERT_EQ(run.files.size(), 1u) << "the high-score table was not saved";
    EXPECT_NE(run.files[0].second.find(std::string("\3\0\0\0Ann\xF0\x09\x03\0\0", 12)), std::string::npos);
    EXPECT_EQ(TempFolder::Names(temporary.Path()), std::vector<std::string>{}) << "the temporary folder was left";
}

// The run ends without freeing the game's tables one by one: what the game leaves behind (instances,
// lists, maps, buffers) goes with the process, which still ends with its code, its last lines written and
// nothing the leak checker counts as lost.
TEST(RunLoop, WhatAGameLeavesBehindEndsWithTheRun) {
    const ScenarioGame game = OneObjectGame(
        {{0, 0,
          "if (instance_number(object_index) == 1) {"
          "m = ds_map_create(); ds_map_add(m, \"k\", \"v\"); l = ds_list_create(); ds_list_add(l, m);"
          "b = buffer_create(16, 0, 1); instance_create(0, 0, object_index);" +
              Say("last words") + "game_end(); }"}});
    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.errors;
    EXPECT_EQ(LinesStartingWith(run.log, "last "), std::vector<std::string>{"words"}) << run.log;
    EXPECT_NE(run.console.find("Total memory used"), std::string::npos) << run.console;
}

// A game that cannot be loaded ends the run with code 1 and says why on standard error and on the
// console, before any window is made.
TEST(RunLoop, AGameThatCannotBeLoadedEndsWithCodeOneAndSaysWhy) {
    ScenarioGame game;
    game.rooms.push_back(RoomOf("r0", {}));
    const std::vector<uint8_t> good = BuildScenarioGame(game);
    std::vector<uint8_t> damaged = good; // the first chunk's length made to run past the file
    damaged[12] = 0xFF;
    damaged[13] = 0xFF;
    const struct {
        const char* name;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"empty", "", "game.win: not a game data file"},
        {"text", "[General]\nname=x\n", "game.win: not a game data file"},
        {"cut short", std::string(good.begin(), good.begin() + 40), "game.win: not a game data file"},
        {"damaged", std::string(damaged.begin(), damaged.end()), "runs past the end of the file"},
        {"folder", "", "FAILED to load File"},
        {"missing", "", "FAILED to load File"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string path = folder / "game.win";
        if (std::string(c.name) == "folder") TempFolder::MakeDir(path);
        else if (std::string(c.name) != "missing") TempFolder::Write(path, c.bytes);
        const ScenarioRun run = RunRunner(folder.Path(), {"-game", path, "-noerrors", "-output", folder / "game.log"}, 20);
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
        EXPECT_NE(run.console.find(c.message), std::string::npos) << run.console;
        EXPECT_EQ(run.console.find("Create Window"), std::string::npos) << run.console;
    }
    // Compiled code calling a function the runner does not know: the run ends from inside the load, and
    // still frees what it had loaded (a leak would change the exit code).
    game.objects.push_back(Logger("oSay", {{0, 0, Say("hello")}}));
    game.rooms[0].instances = {{0, 0, 0, 100001, ""}};
    std::vector<uint8_t> compiled = GameFile_Build(game, true);
    const std::string name = "show_debug_message";
    const auto at = std::search(compiled.begin(), compiled.end(), name.begin(), name.end());
    ASSERT_NE(at, compiled.end());
    *at = 'x';
    ScenarioRun run = RunDataFile(compiled);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 1) << run.errors;
    EXPECT_NE(run.errors.find("Unable to find function xhow_debug_message"), std::string::npos) << run.errors;
    // Code that does not compile: the game is not prepared.
    game.scripts.push_back({"scr_broken", "x = ;"});
    run = RunScenario(game);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("Failed to compile the scripts."), std::string::npos) << run.errors;
}

} // namespace

namespace {

// Files named with "@" are unpacked into folders only when the runner works in the game's own folder.
TEST(RunLoop, AtFilesAreUnpackedOnlyInTheGameFolder) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "about the command line, not game code";
    ScenarioGame game;
    game.objects.push_back(Logger("oEnd", {{3, 0, "game_end();"}}));
    game.rooms.push_back(RoomOf("r0", {{0, 0, 0, 100001, ""}}));
    const std::vector<uint8_t> bytes = BuildScenarioGame(game);
    TempFolder home;
    TempFolder::MakeDir(home / "games");
    TempFolder::Write(home / "games/game.win", std::string(bytes.begin(), bytes.end()));
    TempFolder::Write(home / "games/a@b.txt", "packed");
    TempFolder::Write(home / "mail@example.com.txt", "the user's");

    ScenarioRun run = RunRunner(home.Path(), {"-game", home / "games/game.win", "-noerrors"}, 20);
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_TRUE(TempFolder::Exists(home / "mail@example.com.txt"));
    EXPECT_TRUE(TempFolder::Exists(home / "games/a@b.txt"));

    run = RunRunner(home / "games", {"-game", "game.win", "-noerrors"}, 20);
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_TRUE(TempFolder::Exists(home / "games/a/b.txt"));
    EXPECT_TRUE(TempFolder::Exists(home / "mail@example.com.txt"));
}

} // namespace

namespace {

// Switches that cannot be honoured end the run before the game starts, with code 1 and the reason on
// standard error: an argument too long to keep whole, a recording that cannot be read, files that
// cannot be written.
TEST(RunLoop, UnusableSwitchesEndTheRunBeforeTheGame) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "about the command line, not game code";
    ScenarioGame game;
    game.objects.push_back(Logger("oEnd", {{0, 0, Say("started")}, {3, 0, "game_end();"}}));
    game.rooms.push_back(RoomOf("r0", {{0, 0, 0, 100001, ""}}));
    const std::vector<uint8_t> bytes = BuildScenarioGame(game);
    TempFolder folder;
    const std::string path = folder / "good.win";
    TempFolder::Write(path, std::string(bytes.begin(), bytes.end()));
    // "good.win" named in 4,095 characters; one more would once be cut off and run it.
    std::string longName;
    for (int i = 0; i < 2043; ++i)
        longName += "./";
    longName += "/good.win";
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"-game", longName + "x"}, "An argument is longer than 4095 characters"},
        {{"-game", path, "-playback", "missing.rec"}, "Cannot play back input from \"missing.rec\": No such file"},
        {{"-game", path, "-record", "no/such/folder/in.rec"}, "Cannot record input to \"no/such/folder/in.rec\""},
        {{"-game", path, "-output", folder.Path()}, "Cannot write the output to \"" + folder.Path() + "\": Is a"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back("-noerrors");
        const ScenarioRun run = RunRunner(folder.Path(), arguments, 20);
        EXPECT_EQ(run.exitCode, 1) << c.message;
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
        EXPECT_EQ(run.console.find("started"), std::string::npos) << run.console;
    }
}

} // namespace
