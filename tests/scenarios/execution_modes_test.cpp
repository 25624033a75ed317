// One game whose code gives the same results on the machine and in the tree evaluator where the two agree,
// and the evaluator's own results where its rules differ.
#include "scenario.h"

#include <gtest/gtest.h>

namespace {

std::string Say(const std::string& expression) {
    return "show_debug_message(" + expression + ");";
}

TEST(ExecutionModes, TheEvaluatorsRulesWhereTheyDifferFromTheMachines) {
    ScenarioGame game;
    game.scripts = {{"scr_fact", "if (argument0 <= 1) return 1; return argument0 * scr_fact(argument0 - 1);"},
                    {"scr_count", "return string(argument_count) + \" \" + argument[argument_count - 1];"},
                    {"scr_ends_in_call", "var t; t = 1; string(argument0 * 2);"}};
    ScenarioObject main;
    main.name = "oMain";
    main.events = {
        {7, 4,
         // The same in both.
         Say("\"fact \" + string(scr_fact(10))") + Say("scr_count(\"a\", \"b\", \"c\")") +
             "with (noone) show_debug_message(\"never\");"
             "var n, w, s; s = \"\"; for (n = 0; n < 10; n += 1) { if (n == 3) continue; if (n == 6) "
             "break; s += string(n); }" +
             Say("\"loop \" + s") +
             "switch (2) { case 1: s = \"one\"; case 2: s = \"two\"; case 3: s += \" three\"; break; "
             "default: s = \"none\"; }" +
             Say("\"switch \" + s") + "if (0.5) " + Say("\"if then\"") + " else " + Say("\"if else\"") +
             // 2, 256 and 0.6 are all true, joined with 1 and with each other.
             "var a, b, c, o; a = 2; b = 256; c = 0.6; o = 1; s = \"\"; if (a and c) s += \"a\"; "
             "if (b xor o) s += \"x\";" +
             Say("\"truths \" + string(a and o) + string(b or o) + string(c xor o) + string(a xor b) + s") +
             // Where the rules differ.
             "n = 0; w = 0.5; while (w) { n += 1; w = 0; }" + Say("\"while \" + string(n)") +
             "n = 0; repeat (2.5) n += 1; w = 0; repeat (3.5) w += 1;" +
             Say("\"repeat \" + string(n) + \" \" + string(w)") +
             "s = \"\"; with (oItem) s += string(id) + \" \";" + Say("\"with \" + s") +
             Say("\"ends in call \" + string(scr_ends_in_call(21))") +
             // Errors on the machine, which end the game; the evaluator reports the second and
             // abandons the rest of the event.
             "switch (\"1\") { case 1: s = \"number\"; break; default: s = \"no match\"; }" +
             Say("\"switch string \" + s") + "with (-7) x = 1;" + Say("\"after the error\"")},
        {3, 0, Say("\"step\"") + "game_end();"}};
    ScenarioObject item;
    item.name = "oItem";
    game.objects = {main, item};
    ScenarioRoom room;
    room.name = "r0";
    room.instances = {
        {0, 0, 0, 100001, ""}, {0, 0, 1, 100002, ""}, {0, 0, 1, 100003, ""}, {0, 0, 1, 100004, ""}};
    game.rooms.push_back(room);

    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    std::vector<std::string> lines;
    for (const std::string& line : LinesStartingWith(run.log, "")) {
        if (line.rfind("ERROR", 0) == 0) break;
        lines.push_back(line);
    }
    std::vector<std::string> expected = {"fact 3628800", "3 c", "loop 01245", "switch two three", "if else",
                                         "truths 1100a"};
    if (ScenarioTreeMode()) {
        // Loop tests are true from 0.5; repeat rounds halves to even; with visits in list order; a code's
        // last call leaves its value; a string never matches a number.
        expected.insert(expected.end(), {"while 1", "repeat 2 4", "with 100002 100003 100004 ",
                                         "ends in call 42", "switch string no match"});
        EXPECT_EQ(run.exitCode, 0) << run.log;
        EXPECT_NE(run.log.find("at position " +
                               std::to_string(game.objects[0].events[0].code.find("-7)") + 1) +
                               ": Cannot use local in with statement.\n"),
                  std::string::npos)
            << run.log;
        EXPECT_NE(run.log.find("\nstep\n"), std::string::npos) << run.log;
    } else {
        expected.insert(expected.end(),
                        {"while 0", "repeat 2 3", "with 100004 100003 100002 ", "ends in call 0"});
        EXPECT_EQ(run.exitCode, 255) << run.log;
        EXPECT_NE(run.log.find("DoSet :: Invalid comparison type"), std::string::npos) << run.log;
    }
    EXPECT_EQ(lines, expected) << run.log;
}

} // namespace

namespace {

// A script that calls itself without end is stopped with an error in both ways, never by overflowing
// the process's stack (the sanitizers make its frames larger still).
TEST(ExecutionModes, RecursionWithoutAnEndStopsWithAnError) {
    ScenarioGame game;
    game.scripts = {{"scr_forever", "return scr_forever() + 1;"}};
    ScenarioObject main;
    main.name = "oMain";
    main.events = {{0, 0, "x = scr_forever();"}, {3, 0, "show_debug_message(\"step\"); game_end();"}};
    game.objects = {main};
    ScenarioRoom room;
    room.name = "r0";
    room.instances = {{0, 0, 0, 100001, ""}};
    game.rooms.push_back(room);

    const ScenarioRun run = RunScenario(game, {}, 60);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console;
    EXPECT_EQ(LinesStartingWith(run.log, "step"), std::vector<std::string>{""}) << run.log;
    if (ScenarioTreeMode()) {
        // The innermost sixteen calls are named, then the cause.
        std::string calls;
        for (int i = 0; i < 16; ++i)
            calls += "In script scr_forever:\n";
        EXPECT_NE(run.log.find(":\n\n\n" + calls + "Error in code at line 1:"), std::string::npos) << run.log;
    }
    const std::string& report = ScenarioTreeMode() ? run.log : run.console;
    EXPECT_NE(report.find(ScenarioTreeMode() ? "Stack overflow: code recursed or nested too deeply."
                                             : "Stack overflow"),
              std::string::npos)
        << report;
}

} // namespace

namespace {

// A fatal error two script calls deep inside a with block, while texts and an array wait on the value
// stacks of every caller, still ends the run with the machine's exit code and nothing left unfreed.
TEST(ExecutionModes, AFatalErrorFreesWhatTheCallersHeld) {
    ScenarioGame game;
    game.scripts = {{"scr_outer", "var t; t = \"local\"; return \"left \" + argument0 + scr_inner(t, argument0);"},
                    {"scr_inner", "var a; a[3] = \"element\"; return argument0 + a[3] + string(a == 1);"}};
    ScenarioObject main;
    main.name = "oMain";
    main.events = {{0, 0, "var s; s = \"text\"; with (oItem) show_debug_message(s + scr_outer(s));"},
                   {3, 0, "game_end();"}};
    ScenarioObject item;
    item.name = "oItem";
    game.objects = {main, item};
    ScenarioRoom room;
    room.name = "r0";
    room.instances = {{0, 0, 1, 100001, ""}, {0, 0, 1, 100002, ""}, {0, 0, 1, 100003, ""},
                      {0, 0, 0, 100004, ""}};
    game.rooms.push_back(room);

    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, ScenarioTreeMode() ? 0 : 255) << run.log << run.errors;
    EXPECT_EQ(run.errors.find("LeakSanitizer"), std::string::npos) << run.errors;
}

} // namespace

namespace {

// The first variable the game names is declared with globalvar, so that it has the lowest id a variable of
// the game can have: both instances read and write it, whole and by element, as the global one.
// Hexadecimal constants take every digit in either case.
TEST(ExecutionModes, TheFirstGlobalvarAndHexadecimalConstants) {
    ScenarioGame game = OneObjectGame(
        {{0, 0,
          R"(globalvar first; first[1] = "a"; first[1] += "b"; first[0] = string_length(first[1]) + 4;)"},
         {3, 0, R"(
            show_debug_message("first " + string(first[0]) + " " + string(global.first[0]) + " " + first[2]);
            first = 7; first += 1;
            show_debug_message("whole " + string(global.first));
            show_debug_message("hex " + string($ff) + " " + string($FF) + " " + string($a0f9) + " " + string($A0F9) + " "
                               + string($abcdef) + " " + string($ABCDEF) + " " + string($1234567890) + " " + string($aBcDeF));
            game_end();)"}});
    ScenarioObject other;
    other.name = "oOther";
    other.events = {{0, 0, "global.first[0] *= 10; first[0] -= 1; first[2] = global.first[1];"}};
    game.objects.push_back(other);
    game.rooms[0].instances.push_back({0, 0, 1, 100002, ""});

    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, ""),
              (std::vector<std::string>{"first 59 59 ab", "whole 8",
                                        "hex 255 255 41209 41209 11259375 11259375 78187493520 11259375"}))
        << run.log;
}

} // namespace

namespace {

// A script given two arguments reads argument[0], argument[1] and then argument[2]: the last is reported as
// the fatal error that no such argument was given, in both ways of running code. The read still gives 0
// and the event runs to its end; the game ends there, before the next step.
TEST(ExecutionModes, ReadingAnArgumentPastThoseGivenIsAnError) {
    ScenarioGame game =
        OneObjectGame({{0, 0, R"(show_debug_message(scr_args(4, 5)); show_debug_message("after");)"},
                       {3, 0, R"(show_debug_message("step"); game_end();)"}});
    game.scripts = {{"scr_args", R"(
        var i, s;
        s = "read";
        for (i = 0; i <= argument_count; i += 1) { s += " " + string(argument[i]); show_debug_message(s); }
        return s;)"}};

    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 255) << run.log << run.console;
    std::vector<std::string> lines;
    for (const std::string& line : LinesStartingWith(run.log, ""))
        if (line.rfind("read", 0) == 0 || line == "after" || line == "step") lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"read 4", "read 4 5", "read 4 5 0", "read 4 5 0", "after"}))
        << run.log;
    EXPECT_NE(run.log.find("FATAL ERROR in\naction number 1\nof Create Event\nfor object oPlayer:\n\n\n"
                           "illegal access of argument, argument is not provided to script\n"),
              std::string::npos)
        << run.log;
}

} // namespace
