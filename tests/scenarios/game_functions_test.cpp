// The runner on small games that move, create, destroy and count instances and change rooms through
// the game's built-in functions.
#include "scenario.h"

#include "io/input.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

std::string Say(const std::string& expression) {
    return "show_debug_message(" + expression + ");";
}

ScenarioObject Object(const std::string& name, std::vector<ScenarioEvent> events) {
    ScenarioObject o;
    o.name = name;
    o.events = std::move(events);
    return o;
}

// A room holding one instance of object at (x, y).
ScenarioRoom RoomWith(const std::string& name, int object, int id, int x = 0, int y = 0) {
    ScenarioRoom room;
    room.name = name;
    room.instances = {{x, y, object, id, ""}};
    return room;
}

// Runs the game, which must end by itself with exit code 0 after writing exactly the expected lines.
void ExpectLog(const ScenarioGame& game, const std::vector<std::string>& expected,
               const std::vector<std::string>& arguments = {}) {
    ScenarioRun run = RunScenario(game, arguments);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, ""), expected) << run.log;
}

TEST(GameFunctions, ABallMovesAndWrapsAroundTheRoom) {
    ScenarioGame game;
    game.objects.push_back(Object(
        "oBall", {{0, 0, "motion_set(0, 150); global.steps = 0;"},
                  {3, 2, "move_wrap(true, false, 0); " + Say("string(x) + \" \" + string(y)") +
                             "global.steps += 1; if (global.steps == 5) game_end();"}}));
    game.rooms.push_back(RoomWith("rBall", 0, 100001, 400, 30));
    // 640 wide: past 640 the ball comes back in from the left edge.
    ExpectLog(game, {"550 30", "60 30", "210 30", "360 30", "510 30"});
}

TEST(GameFunctions, InstancesMadeAndDestroyedInLoopsAreCountedAtOnce) {
    ScenarioGame game;
    // The spawner makes three bullets each step; a bullet destroys itself in the step after the one it
    // was made in (instances made during a stage miss that stage).
    game.objects.push_back(Object(
        "oSpawner", {{0, 0, "global.steps = 0; global.gone = 0;"},
                     {3, 0, "repeat (3) instance_create(global.steps, 0, oBullet);"},
                     {3, 2, Say("\"bullets \" + string(instance_number(oBullet)) + \" \" + "
                                "string(instance_exists(oBullet)) + \" \" + string(instance_find(oBullet, 3))") +
                                "global.steps += 1; if (global.steps == 4) { " +
                                Say("\"gone \" + string(global.gone)") + " game_end(); }"}}));
    game.objects.push_back(Object("oBullet", {{3, 0, "instance_destroy();"}, {1, 0, "global.gone += 1;"}}));
    game.rooms.push_back(RoomWith("rLoop", 0, 100001));
    ExpectLog(game, {"bullets 3 1 -4", "bullets 3 1 -4", "bullets 3 1 -4", "bullets 3 1 -4", "gone 9"});
}

// A playback file in which the space key is pressed in the given frame only (frames from 0).
std::string SpacePressedIn(int pressFrame, int frames) {
    constexpr int kSpace = 32;
    constexpr int kKeyDown = 2 + 2 * kIOKeyboardStringUnits + 8;
    constexpr int kKeyPressed = kKeyDown + 2 * kIOKeyCount;
    std::string bytes;
    for (int f = 0; f < frames; ++f) {
        std::string frame(kIOPlaybackFrameSize, '\0');
        if (f == pressFrame) {
            frame[kKeyDown + kSpace] = 1;
            frame[kKeyPressed + kSpace] = 1;
        }
        bytes += frame;
    }
    return bytes;
}

TEST(GameFunctions, AKeyPressPlayedBackChangesTheRoom) {
    ScenarioGame game;
    game.objects.push_back(Object("oKeys", {{3, 0, "global.steps += 1;"},
                                            {9, 32, Say("\"space at step \" + string(global.steps)") +
                                                        "room_goto_next();"}}));
    game.objects.push_back(Object("oEnd", {{3, 0, Say("\"in room \" + string(room)") + "game_end();"}}));
    game.rooms = {RoomWith("rFirst", 0, 100001), RoomWith("rSecond", 1, 100002)};
    game.rooms[0].code = "global.steps = 0;";

    TempFolder folder;
    const std::string playback = folder / "keys.rec";
    TempFolder::Write(playback, SpacePressedIn(3, 10));
    ExpectLog(game, {"space at step 3", "in room 1"}, {"-playback", playback});
}

TEST(GameFunctions, GoingToARoomThatDoesNotExistEndsTheGameWithItsReport) {
    ScenarioGame game;
    game.objects.push_back(Object("oGo", {{3, 0, "room_goto(7);"}, {3, 2, Say("\"end step\"")}}));
    game.rooms.push_back(RoomWith("rOnly", 0, 100001));

    ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_NE(run.log.find("Unexisting room number: 7"), std::string::npos) << run.log;
    EXPECT_EQ(run.log.find("end step"), std::string::npos) << run.log; // the step stops at the request
}

} // namespace
