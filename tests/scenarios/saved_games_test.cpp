// The runner saving a game in one room, moving on, loading it back and printing what came back.
#include "scenario.h"

#include <gtest/gtest.h>

namespace {

ScenarioObject Object(const std::string& name, std::vector<ScenarioEvent> events, bool persistent = false) {
    ScenarioObject o;
    o.name = name;
    o.events = std::move(events);
    o.persistent = persistent;
    return o;
}

ScenarioRoom Room(const std::string& name, int object, int id, bool persistent = false) {
    ScenarioRoom room;
    room.name = name;
    room.width = 64;
    room.height = 48;
    room.persistent = persistent;
    room.instances = {{4, 4, object, id, ""}};
    return room;
}

// rKeep (persistent) is left for rSave, which saves in a begin step and moves on to rElse; rElse changes
// everything and loads. The loaded game's first begin step saves again and prints its state, then goes
// back to rKeep, whose instance comes back as it was left.
TEST(SavedGames, SaveMoveOnLoadAndTheStateIsBack) {
    ScenarioGame game;
    game.paths.push_back({"pLine", 0, false, 4, {{0, 0, 100}, {60, 0, 100}}});
    game.timelines.push_back({"tTicks", {{0, "global.ticks += 1;"}, {100, ""}}});
    game.objects.push_back(Object(
        "oKeep", {{0, 0, "global.phase = 0; global.ticks = 0; visits = 0;"},
                  {7, 4, "visits += 1; if (global.phase == 4) { show_debug_message(\"keep \" + string(visits)); "
                         "game_end(); } else room_goto_next();"}}));
    game.objects.push_back(Object(
        "oSave",
        {{0, 0, "image_speed = 0; path_start(pLine, 2, 0, true); timeline_index = tTicks; timeline_running = true;"},
         {3, 1,
          "if (global.phase == 0 && timeline_position >= 3) {"
          "  score = 42; global.list[2] = \"two\"; alarm[4] = 9; hp = 7.5; caption_score = \"Points\";"
          "  global.phase = 1; game_save(\"slot.sav\"); global.phase = 2; room_goto_next();"
          "} else if (global.phase == 1) {"
          "  game_save(\"again.sav\");"
          "  show_debug_message(string(room) + \" \" + string(x) + \" \" + string(path_position) + \" \" +"
          "    string(alarm[4]) + \" \" + string(timeline_position) + \" \" + global.list[2] + \" \" + string(hp) +"
          "    \" \" + string(score) + \" \" + caption_score + \" \" + string(instance_number(oElse)));"
          "  global.phase = 4; room_goto(rKeep);"
          "}"}}));
    game.objects.push_back(Object(
        "oElse", {{3, 0,
                   "score = 0; global.list[2] = \"changed\"; global.phase = 3;"
                   "game_load(\"missing.sav\"); game_load(\"slot.sav\");"
                   "game_load_buffer(buffer_create(16, buffer_grow, 1));"}}));
    game.rooms.push_back(Room("rKeep", 0, 100001, true));
    game.rooms.push_back(Room("rSave", 1, 100002));
    game.rooms.push_back(Room("rElse", 2, 100003));

    const ScenarioRun run =
        RunDataFile(BuildScenarioGame(game), {}, 20, {}, {"data/Game/slot.sav", "data/Game/again.sav"});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console;
    // The refused loads are said in the "-output" file too.
    EXPECT_EQ(LinesStartingWith(run.log, ""),
              (std::vector<std::string>{"WARNING: Game load failed, missing.sav not found",
                                        "WARNING: Load game being ignored due to load game already queued",
                                        "1 6 0.10 9 3 two 7.50 42 Points 0", "keep 2"}))
        << run.log;
    ASSERT_EQ(run.files.size(), 2u) << run.console;
    EXPECT_GT(run.files[0].second.size(), 1000u);
    EXPECT_EQ(run.files[0].second, run.files[1].second);
}

// A damaged saved game is refused whole: the game goes on where it was.
TEST(SavedGames, ADamagedSaveIsRefusedAndTheGameGoesOn) {
    ScenarioGame game;
    game.objects.push_back(Object(
        "oMain", {{0, 0, "steps = 0;"},
                  {3, 0,
                   "steps += 1;"
                   "if (steps == 1) { b = buffer_create(64, buffer_grow, 1); game_save_buffer(b); game_load_buffer(b); }"
                   "if (steps == 2) game_load(\"cut.sav\");"
                   "if (steps == 4) { show_debug_message(\"still \" + string(steps)); game_end(); }"}}));
    game.rooms.push_back(Room("rOnly", 0, 100001));
    // A saved game cut short in the game's folder: a header of zeros (empty captions), then a count of
    // five global variables and nothing more.
    std::string cut("\x53\x03\0\0", 4);
    cut.append(63, '\0');
    cut.append("\x05\0\0\0", 4);
    const ScenarioRun run = RunScenario(game, {}, 20, {{"cut.sav", cut}});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "still"), (std::vector<std::string>{" 4"})) << run.log;
    // The buffer is read from its position, which game_save_buffer left at the end. Each refusal names
    // what it read, in the "-output" file too.
    for (const std::string* out : {&run.console, &run.log}) {
        EXPECT_NE(out->find("WARNING: Game load from buffer 0 failed: the header is cut short"),
                  std::string::npos)
            << *out;
        EXPECT_NE(out->find("/cut.sav failed: the global variables are cut short"), std::string::npos)
            << *out;
    }
}

// A saved game with bytes after it: the first run saves, the second finds the file grown and refuses it
// (naming it in the "-output" file), the third loads it whole and goes on from the saved step.
TEST(SavedGames, BytesAfterASavedGameRefuseTheLoad) {
    const ScenarioGame game = OneObjectGame(
        {{0, 0, "steps = 0;"},
         {3, 0,
          "steps += 1;"
          "if (steps == 1) { if (file_exists(\"slot.sav\")) game_load(\"slot.sav\"); else { steps = 10; "
          "game_save(\"slot.sav\"); game_end(); } }"
          "if (steps == 3 || steps == 12) { show_debug_message(\"at \" + string(steps)); game_end(); }"}});
    const std::vector<uint8_t> file = BuildScenarioGame(game);
    const ScenarioRun save = RunDataFile(file, {}, 20, {}, {"data/Game/slot.sav"});
    ASSERT_EQ(save.files.size(), 1u) << save.console;
    const std::string saved = save.files[0].second;

    const ScenarioRun grown = RunDataFile(file, {}, 20, {{"data/Game/slot.sav", saved + "junk"}});
    ASSERT_FALSE(grown.timedOut) << grown.console;
    EXPECT_EQ(grown.exitCode, 0) << grown.log;
    EXPECT_EQ(LinesStartingWith(grown.log, "at "), (std::vector<std::string>{"3"})) << grown.log;
    EXPECT_NE(grown.log.find("/data/Game/slot.sav failed: 4 bytes follow the saved game; the game goes on"),
              std::string::npos)
        << grown.log;

    const ScenarioRun whole = RunDataFile(file, {}, 20, {{"data/Game/slot.sav", saved}});
    EXPECT_EQ(LinesStartingWith(whole.log, "at "), (std::vector<std::string>{"12"})) << whole.log;
    EXPECT_EQ(whole.log.find("WARNING"), std::string::npos) << whole.log;
}

} // namespace

namespace {

// The table is read from the save area at start-up and written back at the end when a score changed it.
TEST(HighScoreFile, ReadAtStartAndWrittenAtTheEndWhenChanged) {
    ScenarioGame game;
    game.objects.push_back(Object(
        "oMain", {{0, 0,
                   "show_debug_message(highscore_name(1) + \" \" + string(highscore_value(1)));"
                   "highscore_add(\"Cy\", 30); highscore_add(\"Al\", 100); game_end();"}}));
    game.rooms.push_back(Room("rOnly", 0, 100001));
    std::string before("HISC\0\0\0\0", 8);
    const auto word = [](std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); };
    word(before, 2);
    before += "Bo\xF0\xF0";
    word(before, 50);
    for (int i = 0; i < 9; ++i) {
        word(before, 0);
        word(before, 0);
    }
    before[4] = static_cast<char>(before.size());
    const ScenarioRun run = RunDataFile(BuildScenarioGame(game), {}, 20, {{"data/Game/hiscore.dat", before}},
                                        {"data/Game/hiscore.dat"});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, ""), (std::vector<std::string>{"Bo 50"})) << run.log;
    ASSERT_EQ(run.files.size(), 1u);
    std::string after("HISC\0\0\0\0", 8);
    word(after, 2);
    after += "Al\xF0\xF0";
    word(after, 100);
    word(after, 2);
    after += "Bo\xF0\xF0";
    word(after, 50);
    word(after, 2);
    after += "Cy\xF0\xF0";
    word(after, 30);
    for (int i = 0; i < 7; ++i) {
        word(after, 0);
        word(after, 0);
    }
    after[4] = static_cast<char>(after.size());
    EXPECT_EQ(run.files[0].second, after);
}

} // namespace
