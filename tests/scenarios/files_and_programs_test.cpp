// The runner's own command line as games read it, release mode switched from game code, and the files a
// game names: where they are looked for, from whatever folder the runner was started in.
#include "scenario.h"

#include "audio/sound_samples.h"
#include "support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

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

// The game folder "Game" and the save area, also "Game", each have a sibling whose name begins with theirs,
// "Game2", reached by name and through a symbolic link inside: nothing there is read, nothing written. The
// game's own files are read and written as ever.
TEST(FilesAndPrograms, SiblingFoldersThatShareTheFoldersNameAreOutside) {
    TempFolder root;
    const std::string folder = root / "Game";
    for (const char* name : {"Game", "Game2", "data", "data/Game", "data/Game2"})
        TempFolder::MakeDir(root / name);
    TempFolder::Write(root / "Game2/secret.ini", "[s]\r\nk=beside the game\r\n");
    TempFolder::Write(root / "data/Game2/secret.ini", "[s]\r\nk=beside the save area\r\n");
    TempFolder::Write(folder + "/own.ini", "[s]\r\nk=own\r\n");
    ASSERT_EQ(symlink("../Game2", (folder + "/glink").c_str()), 0);
    ASSERT_EQ(symlink("../Game2", (root / "data/Game/slink").c_str()), 0);
    const std::vector<uint8_t> bytes = BuildScenarioGame(OneObjectGame({{0, 0, R"(
        var names, i, s;
        names[0] = "glink/secret.ini"; names[1] = "slink/secret.ini";
        names[2] = "../Game2/secret.ini"; names[3] = "../data/Game2/secret.ini"; names[4] = "own.ini";
        s = "";
        for (i = 0; i < 5; i += 1) {
            ini_open(names[i]);
            s += " " + string(file_exists(names[i])) + ini_read_string("s", "k", "none");
            ini_close();
        }
        show_debug_message("read" + s);
        names[0] = "slink/new.ini"; names[2] = "../Game2/new.ini"; names[3] = "../data/Game2/new.ini";
        for (i = 0; i < 5; i += 1) {
            ini_open(names[i]);
            ini_write_string("s", "k", "written");
            ini_close();
        }
        game_end();)"}}));
    std::ofstream(folder + "/game.win", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::vector<std::string> arguments = {"-game", folder + "/game.win", "-noerrors", "-output",
                                          folder + "/game.log"};
    if (ScenarioTreeMode()) arguments.push_back("-oldexec");
    ScenarioEnvironment environment{{"XDG_DATA_HOME", root / "data"}};

    const ScenarioRun run = RunRunner(folder, arguments, 20);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console;
    EXPECT_EQ(LinesStartingWith(run.log, "read"), std::vector<std::string>{" 0none 0none 0none 0none 1own"})
        << run.log;
    // The siblings as they were; the save area holds the game's own file alone.
    EXPECT_EQ(TempFolder::Read(root / "Game2/secret.ini"), "[s]\r\nk=beside the game\r\n");
    EXPECT_EQ(TempFolder::Read(root / "data/Game2/secret.ini"), "[s]\r\nk=beside the save area\r\n");
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root.Path()))
        entries.push_back(entry.path().string().substr(root.Path().size() + 1));
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries,
              (std::vector<std::string>{"Game", "Game/game.log", "Game/game.win", "Game/glink",
                                        "Game/own.ini", "Game/stderr.txt", "Game/stdout.txt", "Game2",
                                        "Game2/secret.ini", "data", "data/Game", "data/Game/own.ini",
                                        "data/Game/slink", "data/Game2", "data/Game2/secret.ini"}));
    EXPECT_EQ(TempFolder::Read(root / "data/Game/own.ini"), "[s]\r\nk=written\r\n");
    // Each refused write is said once, with its reason (the ini file's read of the name says nothing).
    for (const char* name : {"Game2/new.ini", "data/Game2/new.ini"}) {
        const std::string refused = "Error! not allowing save with filename '" + root / name + "'\n";
        const size_t first = run.console.find(refused);
        EXPECT_NE(first, std::string::npos) << name;
        EXPECT_EQ(run.console.find(refused, first + 1), std::string::npos) << name << " was refused twice";
    }
    EXPECT_EQ(run.console.find("Could not write"), std::string::npos) << run.console;
}

// A game's files are looked for where they are read, whatever folder the runner was started in: the
// three replace actions find a file where file_exists does (the game's folder or the save area, by any
// spelling of its name), and where it finds none they say so and change nothing; a file only in the
// start folder is none of the game's. The file search lists the game's folder and the save area named by
// their full paths, and never answers with a save's refusal.
TEST(FilesAndPrograms, AGamesFilesAreLookedForWhereTheyAreRead) {
    ScenarioGame game = OneObjectGame({{0, 0, ""}});
    GameSprite sprite;
    sprite.name = "sd";
    sprite.frames = {GameImage{2, 2, std::vector<uint8_t>(16, 255)}};
    game.sprites = {sprite};
    game.backgrounds = {GameBackground{"bd", GameImage{2, 2, std::vector<uint8_t>(16, 255)}}};
    const std::vector<uint8_t> png = GameImage_EncodePNG(GameImage{4, 3, std::vector<uint8_t>(48, 255)});
    const std::vector<uint8_t> wav = WavFile(1, 16, 22050, Pcm16Bytes(Tone(2205, 1, 22050, 440)));

    struct Case {
        const char* label;
        bool fromGameFolder;
        const char* place; // where the files lie: the game's folder, the save area or the start folder
        const char* image;
        const char* sound;
        const char* exists;
        const char* replaced; // sprite and background widths, whether the sound plays
        const char* found; // working_directory + "*.png" | <save area>/*.png | sub\*.png | <elsewhere>/*.png
    };
    const Case cases[] = {
        {"elsewhere, files in the game's folder", false, "game/", "img.png", "beep.wav", "11", "4 4 1",
         "img.png|||"},
        {"elsewhere, files in the save area", false, "data/Game/", "img.png", "beep.wav", "11", "4 4 1",
         "img.png|img.png||"},
        {"from the game's folder, files in the save area", true, "data/Game/", "img.png", "beep.wav", "11",
         "4 4 1", "img.png|img.png||"},
        {"elsewhere, a backslash name", false, "game/sub/", "sub\\img.png", "sub\\beep.wav", "11", "4 4 1",
         "||img.png|"},
        {"elsewhere, files in the start folder only", false, "start/", "img.png", "beep.wav", "00", "2 2 0",
         "|||"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder root;
        for (const char* folder : {"game", "game/sub", "start", "data", "data/Game", "outside"})
            TempFolder::MakeDir(root / folder);
        TempFolder::Write(root / "outside/other.png", std::string(png.begin(), png.end()));
        const std::string place = root / c.place;
        TempFolder::Write(place + "img.png", std::string(png.begin(), png.end()));
        TempFolder::Write(place + "beep.wav", std::string(wav.begin(), wav.end()));
        const auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
        const std::string image = quoted(c.image);
        const std::string sound = quoted(c.sound);
        std::string& code = game.objects[0].events[0].code;
        code = "show_debug_message(\"exists \" + string(file_exists(" + image + ")) + string(file_exists(" +
               sound + ")));";
        code += "action_replace_sprite(0, " + image + ", 1); action_replace_background(0, " + image + ");";
        code += "action_replace_sound(0, " + sound + "); action_sound(0, false);";
        code += "sprite_index = 0; background_index[0] = 0; w = string(sprite_width) + \" \";";
        code += "show_debug_message(\"replaced \" + w + string(background_width[0]) + \" \" + "
                "string(action_if_sound(0)));";
        code += "f = file_find_first(working_directory + \"*.png\", 0) + \"|\";";
        code += "f += file_find_first(" + quoted(root / "data/Game" + "/*.png") + ", 0) + \"|\";";
        code += "f += file_find_first(\"sub\\*.png\", 0) + \"|\";";
        code += "f += file_find_first(" + quoted(root / "outside/*.png") + ", 0);";
        code += "show_debug_message(\"found \" + f); file_find_close(); game_end();";
        const std::vector<uint8_t> bytes = WithSounds(BuildScenarioGame(game), 1);
        std::ofstream(root / "game/game.win", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        const std::string from = root / (c.fromGameFolder ? "game" : "start");
        std::vector<std::string> arguments = {"-game", root / "game/game.win", "-noerrors", "-output",
                                              from + "/game.log"};
        if (ScenarioTreeMode()) arguments.push_back("-oldexec");
        ScenarioEnvironment environment{{"XDG_DATA_HOME", root / "data"}, {"ALSOFT_DRIVERS", "null"}};

        const ScenarioRun run = RunRunner(from, arguments, 30);
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, 0) << run.log << run.console;
        const std::string& log = run.log;
        EXPECT_EQ(LinesStartingWith(log, "exists "), std::vector<std::string>{c.exists}) << log;
        EXPECT_EQ(LinesStartingWith(log, "replaced "), std::vector<std::string>{c.replaced}) << log;
        EXPECT_EQ(LinesStartingWith(log, "found "), std::vector<std::string>{c.found}) << log;
        size_t missing = 0;
        for (size_t at = log.find("File does not exist."); at != std::string::npos;
             at = log.find("File does not exist.", at + 1))
            ++missing;
        EXPECT_EQ(missing, std::string(c.exists) == "11" ? 0u : 3u) << log;
        EXPECT_EQ(run.console.find("not allowing save"), std::string::npos) << run.console;
    }
}

// The names a game gives mean the same files from whatever folder the runner was started in: its game
// folder, the folder above it, one that holds the game and the save area, "/", the home folder that holds
// the save area, a folder inside either place and one beside the game's. Each name form (relative, with a
// backslash, working_directory and the save area's full path before the name, a place named without its
// final "/") reads, finds and writes what it does from the game folder: the progress the game keeps counts
// every run, and the save area never holds a copy named after the start folder's path.
TEST(FilesAndPrograms, EveryStartFolderMeansTheSameFiles) {
    TempFolder root;
    const std::string game = root / "games/mygame";
    const std::string area = root / "home/.local/share/Game";
    for (const std::string& folder : {game, game + "/sub", root / "games/other", area, area + "/inner",
                                      root / "logs"})
        std::filesystem::create_directories(folder);
    const std::vector<uint8_t> png = GameImage_EncodePNG(GameImage{4, 3, std::vector<uint8_t>(48, 255)});
    const std::vector<uint8_t> wide = GameImage_EncodePNG(GameImage{6, 2, std::vector<uint8_t>(48, 255)});
    TempFolder::Write(game + "/img.png", std::string(png.begin(), png.end()));
    TempFolder::Write(game + "/sub/x.png", std::string(wide.begin(), wide.end()));
    TempFolder::Write(area + "/area.png", std::string(wide.begin(), wide.end()));

    const auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
    // W: the game folder as the game knows it; A: the save area with its final "/", A0 without it.
    std::string code = "W = working_directory; W0 = string_copy(W, 1, string_length(W) - 1);"
                       "A = " + quoted(area + "/") + "; A0 = " + quoted(area) + ";";
    code += "show_debug_message(\"exists \" + string(file_exists(\"img.png\")) + string(file_exists(\"sub\\x.png\"))"
            " + string(file_exists(W + \"img.png\")) + string(file_exists(W + \"sub/x.png\"))"
            " + string(file_exists(A + \"area.png\")) + string(file_exists(A0 + \"/area.png\"))"
            " + string(file_attributes(W0, fa_directory)) + string(file_attributes(A0, fa_directory)));";
    code += "s = sprite_add(W + \"img.png\", 1, 0, 0, 0, 0); b = background_add(A + \"area.png\", 0, 0);"
            "t = sprite_add(\"sub\\x.png\", 1, 0, 0, 0, 0);"
            "show_debug_message(\"loads \" + string(s >= 0) + string(b >= 0) + string(t >= 0));";
    code += "f = \"\"; for (n = file_find_first(W + \"*.png\", 0); n != \"\"; n = file_find_next()) f += n + \",\";"
            "f += \"|\" + file_find_first(A + \"*.png\", 0) + \"|\";"
            "f += file_find_first(A0 + \"/*.png\", 0) + \"|\"; f += file_find_first(\"sub\\*.png\", 0);"
            "file_find_close(); show_debug_message(\"found \" + f);";
    code += "c = \"\"; names[0] = W + \"progress.ini\"; names[1] = A + \"direct.ini\"; names[2] = \"plain.ini\";"
            "names[3] = W + \"sub\\count.ini\";"
            "for (i = 0; i < 4; i += 1) { ini_open(names[i]); n = ini_read_real(\"s\", \"n\", 0) + 1;"
            "  ini_write_real(\"s\", \"n\", n); ini_close(); c += \" \" + string(n); }"
            "show_debug_message(\"counts\" + c);";
    // A name in neither place is refused from every start folder, "/" and those above both places too.
    code += "ini_open(" + quoted(root / "games/other/out.ini") + "); ini_write_real(\"s\", \"n\", 1); ini_close();";
    code += "game_save(W + \"slot.sav\"); directory_create(A0 + \"/made\"); sprite_save(s, 0, W + \"spr.png\");"
            "screen_save(A + \"shot.png\"); game_end();";
    const std::vector<uint8_t> bytes = BuildScenarioGame(OneObjectGame({{0, 0, code}}));
    std::ofstream(game + "/game.win", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    // What lies in a folder, below it too.
    const auto contents = [](const std::string& folder) {
        std::vector<std::string> entries;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            entries.push_back(entry.path().string().substr(folder.size() + 1));
        std::sort(entries.begin(), entries.end());
        return entries;
    };
    const std::vector<std::string> gameFolder = contents(game);

    const std::string starts[] = {game,       root / "games", root.Path(), "/", root / "home",
                                  game + "/sub", area + "/inner", root / "games/other"};
    int runs = 0;
    for (const std::string& from : starts) {
        SCOPED_TRACE("started in " + from);
        ++runs;
        std::vector<std::string> arguments = {"-game", game + "/game.win", "-noerrors", "-output",
                                              root / "logs/game.log"};
        if (ScenarioTreeMode()) arguments.push_back("-oldexec");
        ScenarioEnvironment environment{{"HOME", root / "home"}, {"XDG_DATA_HOME", root / "home/.local/share"}};
        ScenarioChildStep start([&from] { return chdir(from.c_str()) == 0; });
        std::remove((root / "logs/game.log").c_str());

        const ScenarioRun run = RunRunner(root / "logs", arguments, 30);
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, 0) << run.log << run.console;
        EXPECT_EQ(LinesStartingWith(run.log, "exists "), std::vector<std::string>{"11111111"}) << run.log;
        EXPECT_EQ(LinesStartingWith(run.log, "loads "), std::vector<std::string>{"111"}) << run.log;
        // The save area first, then the game folder; from the second run on, with the images the last one saved.
        const std::string saved = runs == 1 ? "" : "shot.png,spr.png,";
        EXPECT_EQ(LinesStartingWith(run.log, "found "),
                  std::vector<std::string>{"area.png," + saved + "img.png,|area.png|area.png|x.png"})
            << run.log;
        const std::string count = " " + std::to_string(runs);
        EXPECT_EQ(LinesStartingWith(run.log, "counts"), std::vector<std::string>{count + count + count + count})
            << run.log;
        const std::string refused = "Error! not allowing save with filename '" + root / "games/other/out.ini'\n";
        EXPECT_NE(run.console.find(refused), std::string::npos) << run.console;
        EXPECT_EQ(run.console.find("not allowing", run.console.find("not allowing") + 1), std::string::npos)
            << run.console;
        EXPECT_FALSE(TempFolder::Exists(root / "games/other/out.ini"));
        EXPECT_EQ(contents(game), gameFolder);
        EXPECT_EQ(contents(area), (std::vector<std::string>{"area.png", "direct.ini", "inner", "made", "plain.ini",
                                                            "progress.ini", "shot.png", "slot.sav", "spr.png",
                                                            "sub", "sub/count.ini"}));
    }
}
