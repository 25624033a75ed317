// The runner on a game whose code calls the action built-ins, as compiled drag-and-drop actions do.
#include "scenario.h"

#include <gtest/gtest.h>

namespace {

std::string Say(const std::string& label, const std::string& expression) {
    return "show_debug_message(\"" + label + " \" + string(" + expression + "));";
}

} // namespace

TEST(Actions, RelativeFlagsAnswersAndEffectsOnTheInstance) {
    ScenarioGame game;
    ScenarioObject player;
    player.name = "oPlayer";
    player.events = {
        {0, 0,
         // Motion: the middle of the keypad stops; eight characters are refused.
         "speed = 3; action_move(\"000010000\", 5);" + Say("stop", "string(speed) + \" \" + string(direction)") +
             "action_move(\"00001000\", 5);"
             "action_set_relative(1); action_move_to(10, 20); action_set_hspeed(2); action_set_relative(0);" +
             Say("moved", "string(x) + \" \" + string(y) + \" \" + string(hspeed)") +
             // Alarms: relative adds only to a running alarm.
             "alarm[0] = -1; action_set_relative(1); action_set_alarm(10, 0);" + Say("alarm", "alarm[0]") +
             "action_set_alarm(10, 0);" + Say("alarm", "alarm[0]") + "action_set_relative(0);"
             // Lives running out raise their event once.
             "lives = 1; action_set_relative(1); action_set_life(-1); action_set_life(-1); action_set_relative(0);" +
             Say("lives", "lives") + "action_set_score(7); action_set_relative(1); action_set_score(5);"
             "action_set_relative(0);" +
             Say("score", "score") + Say("dice", "string(action_if_dice(1)) + string(action_if_dice(0.5))") +
             Say("compare", "action_if_variable(\"a\", 1, 0)") +
             Say("compare", "string(action_if_variable(\"b\", \"a\", 2)) + string(action_if_variable(2, 3, 1))") +
             Say("score is", "string(action_if_score(12, 0)) + string(action_if_score(20, 1))") +
             "action_sprite_transform(2, 3, 45, 3);" +
             Say("transform", "string(image_xscale) + \" \" + string(image_yscale) + \" \" + string(image_angle)") +
             Say("count", "string(action_if_number(oPlayer, 1, 0)) + string(action_if_number(oPlayer, 1, 1))") +
             // The Create event runs with the relative flag cleared, and the flag is back after it.
             "action_set_relative(1); action_create_object_motion(oMover, 5, 0, 4, 90);" +
             Say("after event", "argument_relative") + "action_set_relative(0);"
             // Particle slots outside 0..15 do nothing; an emitter must exist before a burst.
             "action_parttype_life(99, 1, 2); action_partemit_burst(3, 0, 10);"
             "action_message(2); action_if(5);" +
             Say("if", "action_if(\"yes\")") + Say("question", "action_if_question(\"Really?\")") +
             "action_end_game();"},
        {7, 6, "show_debug_message(\"no more lives\");"},
    };
    ScenarioObject mover;
    mover.name = "oMover";
    mover.events = {{0, 0, Say("created moving", "string(speed) + \" \" + string(direction) + \" \" + string(x) + \" \" + string(argument_relative)")}};
    game.objects = {player, mover};
    ScenarioRoom room;
    room.name = "rOnly";
    room.instances = {{100, 50, 0, 100001, ""}};
    game.rooms.push_back(room);

    ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    for (const char* expected :
         {"stop 0 0\n", "Wrong argument to action_move().", "moved 110 70 2\n", "alarm 10\nalarm 20\n",
          "no more lives\nlives -1\n", "score 12\n", "dice 11\n", "Cannot compare arguments.", "compare 0\n",
          "compare 11\n", "score is 11\n", "transform -2 -3 45\n", "count 10\n", "created moving 4 90 115 0\nafter event 1\n",
          "The particle emitter must first be created.", "2.000000e+00", "if yes\n", "question 1\n"})
        EXPECT_NE(run.log.find(expected), std::string::npos) << expected << "\n" << run.log;
    // The lives event ran once.
    EXPECT_EQ(run.log.find("no more lives"), run.log.rfind("no more lives")) << run.log;
}
