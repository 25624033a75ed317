// A game whose code is compiled into the data file runs as the same game with its code as source text.
#include "scenario.h"

#include <gtest/gtest.h>

namespace {

TEST(CompiledCode, RunsAsTheSourceTextDoes) {
    ScenarioGame game;
    // The second sprite, so that its name's index cannot be mistaken for a never-set variable's 0.
    const GameSprite dot{"spr_first", 0, 0, {{2, 2, std::vector<uint8_t>(16, 255)}}};
    game.sprites = {dot, dot};
    game.sprites[1].name = "spr_dot";
    game.scripts = {{"scr_add", "return argument0 + argument1;"},
                    {"scr_greet", "var s; s = \"hello \" + argument0; return s;"}};
    ScenarioObject main;
    main.name = "oMain";
    main.sprite = 1;
    main.events = {{7, 4, R"(
        var i, t;
        t = 0;
        for (i = 0; i < 4; i += 1) { arr[i] = i * i; t += arr[i]; }
        grid[1, 2] = "cell";
        global.total = scr_add(t, 10);
        show_debug_message(scr_greet("world") + " " + string(global.total) + " " + grid[1, 2] + " " + global.from + tag);
        show_debug_message("sprite " + string(spr_dot) + " object " + string(oOther) + " " + string(sprite_index == spr_dot));
        with (oOther) { value = other.x + 1; show_debug_message("with " + string(other.x) + " " + string(x)); }
        show_debug_message("other " + string(oOther.value) + " " + string(declared));
        switch (t) { case 14: show_debug_message("fourteen"); break; default: show_debug_message("no"); }
        repeat (2) global.total -= 1;
        show_debug_message(string_upper("done") + " " + string(global.total));
        timeline_index = tlEnd; timeline_running = true;)"}};
    game.timelines = {{"tlEnd", {{1, "show_debug_message(\"moment\"); game_end();"}}}};
    ScenarioObject other;
    other.name = "oOther";
    other.events = {{0, 0, "value = 0; globalvar declared; declared = 3;"}};
    game.objects = {main, other};
    ScenarioRoom room;
    room.name = "r0";
    room.code = "global.from = \"room \";";
    room.instances = {{20, 0, 1, 100001, ""}, {10, 0, 0, 100002, "tag = \"code\";"}};
    game.rooms.push_back(room);

    const std::vector<std::string> expected = {"hello world 24 cell room code", "sprite 1 object 1 1", "with 10 20",
                                               "other 11 3", "fourteen", "DONE 22", "moment"};
    for (bool bytecode : {false, true}) {
        if (bytecode && ScenarioTreeMode()) continue; // bytecode runs on the machine in both modes
        SCOPED_TRACE(bytecode ? "bytecode" : "source text");
        std::string error;
        const std::vector<uint8_t> file = GameFile_Build(game, bytecode, &error);
        ASSERT_FALSE(file.empty()) << error;
        const ScenarioRun run = RunDataFile(file);
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, 0) << run.log;
        EXPECT_EQ(LinesStartingWith(run.log, ""), expected) << run.log;
    }
}

} // namespace
