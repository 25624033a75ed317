// The runner on a small game that uses the library's buffers, codecs, ini files and platform queries,
// with an options file beside it.
#include "scenario.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::HasSubstr;

TEST(LibraryFunctions, BuffersCodecsIniFilesAndPlatformQueries) {
    ScenarioGame game;
    ScenarioObject o;
    o.name = "oMain";
    o.events = {{0, 0,
                 "show_debug_message(base64_encode(\"hi\") + \" \" + base64_decode(\"aGk=\"));"
                 "show_debug_message(md5_string_utf8(\"abc\"));"
                 "show_debug_message(sha1_string_unicode(\"a\"));"
                 "b = buffer_create(8, 0, 4); buffer_fill(b, 0, 1, 7, 8);"
                 "show_debug_message(\"buffer \" + string(b) + \" \" + string(buffer_create(-1, 0, 1)));"
                 "ini_open(\"prefs.ini\");"
                 "show_debug_message(ini_read_string(\"game\", \"name\", \"none\"));"
                 "ini_write_real(\"game\", \"score\", 12.5);"
                 "show_debug_message(string_length(ini_close()));"
                 "show_debug_message(string(os_type) + \" \" + string(os_browser) + \" \" + string(ds_type_queue)"
                 "  + \" \" + string(display_get_dpi_x()) + \" \" + string(code_is_compiled()));"
                 "game_end();"}};
    game.objects.push_back(o);
    game.rooms.push_back({});
    game.rooms[0].name = "rMain";
    game.rooms[0].instances = {{0, 0, 0, 100001, ""}};

    ScenarioRun run = RunDataFile(BuildScenarioGame(game), {}, 20,
                                  {{"prefs.ini", "[game]\r\nname=Catch\r\n"}, {"options.ini", "[DEFAULT]\r\nTrace=0\r\n"}},
                                  {"data/Game/prefs.ini", "prefs.ini"});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.console;
    // The refused buffer's error report comes between the lines, and the run goes on.
    std::vector<std::string> lines = LinesStartingWith(run.log, "");
    ASSERT_GE(lines.size(), 7u) << run.log;
    lines.erase(lines.begin() + 3, lines.end() - 4);
    EXPECT_EQ(lines, (std::vector<std::string>{"aGk= hi", "900150983cd24fb0d6963f7d28e17f72",
                                               "0a04b971b03da607ce6c455184037b660ca89f78", "buffer 0 -1", "Catch",
                                               "37", "0 -1 4 96 1"}));
    EXPECT_THAT(run.log, HasSubstr("buffer_create: Illegal buffer size"));
    EXPECT_THAT(run.console, HasSubstr("options.ini file contents: [DEFAULT]\r\nTrace=0\r\n"));
    ASSERT_EQ(run.files.size(), 2u);
    EXPECT_EQ(run.files[0].second, "[game]\r\nscore=12.500000\r\nname=Catch\r\n");
    EXPECT_EQ(run.files[1].second, "[game]\r\nname=Catch\r\n") << "the game folder's copy is left alone";
}
