// A game that ships a shared library beside its data file defines two of its functions with
// external_define and calls them with external_call; a library outside the game's folders and a Steam
// build are refused with an error, and the game goes on.
#include "scenario.h"

#include "support/http_server.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

std::string SampleLibraryBytes() {
    std::ifstream in(SAMPLE_LIBRARY, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ScenarioGame CallingGame(const char* convention) {
    const std::string c = convention;
    ScenarioGame game;
    ScenarioObject main;
    main.name = "oMain";
    main.events = {{0, 0,
                    R"(
        var add, join, outside;
        add = external_define("sample.dll", "sample_add", )" +
                        c + R"(, ty_real, 2, ty_real, ty_real);
        join = external_define("libs/sample", "sample_join", )" +
                        c + R"(, ty_string, 2, ty_string, ty_string);
        show_debug_message("ids " + string(add) + " " + string(join));
        if (add >= 0) show_debug_message("add " + string(external_call(add, 1.25, 2)));
        if (join >= 0) show_debug_message("join " + external_call(join, "left", "right"));
        outside = external_define("../sample.dll", "sample_add", 0, ty_real, 0);
        show_debug_message("outside " + string(outside));
        game_end();)"}};
    game.objects = {main};
    ScenarioRoom room;
    room.name = "r0";
    room.instances = {{0, 0, 0, 100001, ""}};
    game.rooms.push_back(room);
    return game;
}

TEST(ExternalCall, AGameCallsItsOwnLibrary) {
    const std::string library = SampleLibraryBytes();
    ASSERT_FALSE(library.empty());
    const ScenarioRun run =
        RunScenario(CallingGame("dll_cdecl"), {}, 20, {{"sample.so", library}, {"libs/sample.so", library}});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "ids "), std::vector<std::string>{"0 1"}) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "add "), std::vector<std::string>{"3.25"}) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "join "), std::vector<std::string>{"left+right"}) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "outside "), std::vector<std::string>{"-1"}) << run.log;
    EXPECT_NE(
        run.log.find("external_define: the library \"../sample.dll\" is not a name inside the game folder"),
        std::string::npos)
        << run.log;
}

// "-steam" makes no calls into external libraries (and defines no calling-convention constants).
TEST(ExternalCall, ASteamBuildCallsNoLibrary) {
    const ScenarioRun run =
        RunScenario(CallingGame("0"), {"-steam"}, 20, {{"sample.so", SampleLibraryBytes()}});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "ids "), std::vector<std::string>{"-1 -1"}) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "add ").size(), 0u) << run.log;
    EXPECT_NE(run.log.find("a Steam build makes no calls into external libraries"), std::string::npos)
        << run.log;
}

// A library the game calls ends the process with exit while the runner's threads are busy: the audio
// device's streams, and a download setting up TLS with a server that never answers. The process ends with
// the library's exit code, and nothing the threads use is freed or destroyed under them; what the library
// wrote to standard output before its exit is written.
TEST(ExternalCall, ALibraryThatEndsTheProcessEndsItWithItsCode) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the end does not depend on how the game's code ran";
    CTestHttpServer server(CTestHttpServer::HoldingUp());
    const std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/silent";
    const ScenarioGame game = OneObjectGame(
        {{0, 0, "global.n = 0; repeat (4) sprite_add(\"" + url + "\", 1, 0, 0, 0, 0);"},
         {3, 0,
          "global.n += 1; if (global.n == 3) {show_debug_message(\"ending\");"
          "external_call(external_define(\"sample.dll\", \"sample_exit\", dll_cdecl, ty_real, 1, ty_real), 3);}"}});
    TempFolder env;
    env.SetEnv("ALSOFT_DRIVERS", "null");
    for (int i = 0; i < 4; ++i) {
        const ScenarioRun run = RunScenario(game, {}, 20, {{"sample.so", SampleLibraryBytes()}});
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, 3) << run.errors;
        EXPECT_EQ(LinesStartingWith(run.log, "ending"), std::vector<std::string>{""}) << run.log;
        EXPECT_EQ(run.errors, "");
        EXPECT_TRUE(run.console.ends_with("\nthe library's last words")) << run.console.substr(run.console.size() - 200);
    }
}

// A library's thread of its own ends the process with exit while the game's thread goes on, starting
// downloads over https and http every step from a server that never answers: the process ends with the
// library's exit code, with no fault (the game's thread meets nothing freed, and no transfer starts
// after the end has begun), and what the library's thread wrote to standard output before its exit is
// written. The exit comes at several steps, to meet the transfers at each stage of their start.
TEST(ExternalCall, ALibraryThreadThatEndsTheProcessEndsItWithItsCode) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the end does not depend on how the game's code ran";
    CTestHttpServer server(CTestHttpServer::HoldingUp());
    const std::string silent = "127.0.0.1:" + std::to_string(server.Port()) + "/silent";
    std::string downloads;
    for (const char* scheme : {"https://", "https://", "http://", "http://"})
        downloads += std::string("sprite_add(\"") + scheme + silent + "\", 1, 0, 0, 0, 0);";
    TempFolder env;
    env.SetEnv("ALSOFT_DRIVERS", "null");
    for (int i = 0; i < 20; ++i) {
        const int step = 1 + i % 4;
        SCOPED_TRACE(testing::Message() << "run " << i << ", the thread started at step " << step);
        const ScenarioGame game = OneObjectGame(
            {{0, 0, "global.n = 0;"},
             {3, 0,
              "global.n += 1;" + downloads + "if (global.n == " + std::to_string(step) +
                  ") {show_debug_message(\"ending\"); external_call(external_define(\"sample.dll\", "
                  "\"sample_exit_later\", dll_cdecl, ty_real, 2, ty_real, ty_real), 3, 30);}"}});
        const ScenarioRun run = RunScenario(game, {}, 30, {{"sample.so", SampleLibraryBytes()}});
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, 3) << run.errors;
        EXPECT_EQ(LinesStartingWith(run.log, "ending"), std::vector<std::string>{""}) << run.log;
        EXPECT_EQ(run.errors, "");
        EXPECT_TRUE(run.console.ends_with("\nthe library thread's last words"))
            << run.console.substr(run.console.size() - 200);
    }
}

// A library's thread ends the process with exit while the game's save is half written (a hook of the
// runner's stops the write there until the end holds the writes, and a tenth of a second more, well inside
// the second the end waits): the end lets the write finish, so the new save is whole, and starts no later
// one. The thread ends the process once the log says the write is halfway.
TEST(ExternalCall, ALibraryThreadThatEndsTheProcessLetsASaveUnderWayFinish) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the end does not depend on how the game's code ran";
    const ScenarioGame game = OneObjectGame(
        {{0, 0,
          "global.s = string_repeat(\"x\", 4000000); game_save(\"kept.sav\");"
          "external_call(external_define(\"sample.dll\", \"sample_exit_on_text\", dll_cdecl, ty_real, 3, ty_real, "
          "ty_string, ty_string), 3, \"game.log\", \"is half written\");"
          "game_save(\"big.sav\"); game_save(\"later.sav\"); show_debug_message(\"saved\");"}});
    ScenarioEnvironment environment{{"RUNNER_TEST_WRITE_PAUSE", "held:big.sav"}};
    const ScenarioRun run =
        RunDataFile(BuildScenarioGame(game), {}, 30, {{"sample.so", SampleLibraryBytes()}},
                    {"data/Game/kept.sav", "data/Game/big.sav", "data/Game/later.sav"});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 3) << run.errors;
    EXPECT_NE(run.log.find("is half written"), std::string::npos) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "saved").size(), 0u) << run.log;
    // (Read back where they are: later.sav is not.)
    ASSERT_EQ(run.files.size(), 2u) << "a save started after the end had begun";
    ASSERT_GT(run.files[0].second.size(), 4000000u);
    EXPECT_TRUE(run.files[1].second == run.files[0].second)
        << "the save under way did not finish whole: " << run.files[1].second.size() << " bytes";
}

} // namespace
