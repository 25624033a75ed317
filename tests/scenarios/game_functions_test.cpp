// The runner on small games that move, create, destroy and count instances and change rooms through
// the game's built-in functions.
#include "scenario.h"

#include "io/input.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

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

// A sprite of one colour, its origin at the top left.
GameSprite Square(const std::string& name, int size) {
    GameSprite sprite;
    sprite.name = name;
    sprite.frames = {{size, size, std::vector<uint8_t>(static_cast<size_t>(size * size * 4), 0xff)}};
    return sprite;
}

TEST(GameFunctions, ABallBouncesOffSolidWallsAndStaysInTheRoom) {
    // A 160 x 120 room ringed by 16 x 16 solid walls; the 8 x 8 ball starts inside at 45 degrees and
    // bounces off them in its collision event, so its top left stays within [16, 136] x [16, 96].
    ScenarioGame game;
    game.sprites = {Square("sWall", 16), Square("sBall", 8)};
    ScenarioObject wall = Object("oWall", {});
    wall.sprite = 0;
    wall.solid = true;
    ScenarioObject ball = Object(
        "oBall",
        {{0, 0, "speed = 4; direction = 45; global.steps = 0;"},
         {4, 0,
          "move_bounce_solid(false); " +
              Say("\"bounce \" + string(x) + \" \" + string(y) + \" \" + string(direction)")},
         {3, 2,
          Say("string(x) + \" \" + string(y)") + "global.steps += 1; if (global.steps == 100) game_end();"}});
    ball.sprite = 1;
    game.objects = {wall, ball};
    ScenarioRoom room = RoomWith("rWalls", 1, 100001, 40, 48);
    room.width = 160;
    room.height = 120;
    int id = 100002;
    for (int x = 0; x < 160; x += 16)
        room.instances.push_back({x, 0, 0, id++, ""}), room.instances.push_back({x, 104, 0, id++, ""});
    for (int y = 16; y < 104; y += 16)
        room.instances.push_back({0, y, 0, id++, ""}), room.instances.push_back({144, y, 0, id++, ""});
    game.rooms.push_back(room);

    ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    // Masks take rounded positions; a bounce puts the ball back where it was, one move short of a wall.
    auto inside = [](double x, double y) {
        return std::lround(x) >= 16 && std::lround(x) <= 136 && std::lround(y) >= 16 && std::lround(y) <= 96;
    };
    auto nearAWall = [](double x, double y) { return x < 20 || x > 132 || y < 20 || y > 92; };
    int steps = 0;
    std::vector<std::string> directions;
    for (const std::string& line : LinesStartingWith(run.log, "")) {
        std::istringstream in(line);
        const bool bounce = line.starts_with("bounce ");
        std::string word, direction;
        double x = 0, y = 0;
        if (bounce) in >> word;
        ASSERT_TRUE(in >> x >> y) << line;
        EXPECT_TRUE(inside(x, y)) << line;
        if (bounce) {
            EXPECT_TRUE(nearAWall(x, y)) << line;
            in >> direction;
            directions.push_back(direction);
        } else {
            ++steps;
        }
    }
    EXPECT_EQ(steps, 100);
    // Top, right, bottom, top, left, bottom.
    EXPECT_EQ(directions, (std::vector<std::string>{"315", "225", "135", "225", "315", "45"})) << run.log;
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
