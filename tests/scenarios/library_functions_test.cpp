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

// Characters on each side of the bounds of the sequence lengths, written with chr and read back one by one:
// the last of one byte and first of two (U+007F, U+0080), the last of two and first of three (U+07FF,
// U+0800), the last of three (U+FFFF), the first of four (U+10000, made byte by byte), and a code past
// U+10FFFF, of which chr keeps the low 16 bits (0x110000 becomes three bytes that read as the character
// 0, which ends a text it is written into again). Plain runs of eight bytes and more stand before them,
// as the counts take such runs whole.
TEST(LibraryFunctions, CharactersAtTheBoundsOfEachUTF8Length) {
    const ScenarioGame game = OneObjectGame({{0, 0, R"(
        var s, t, i, codes, each;
        s = chr(127) + chr(128) + chr(2047) + chr(2048) + chr(65535);
        show_debug_message("chars " + s + " " + string(string_length(s)) + " " + string(string_byte_length(s)));
        codes = ""; each = "";
        for (i = 1; i <= 5; i += 1) {
            codes += " " + string(ord(string_char_at(s, i)));
            each += "|" + string_char_at(s, i);
        }
        show_debug_message("codes" + codes + " each " + each);
        t = "abcdefgh" + s;
        for (i = 8; i <= 14; i += 1)
            show_debug_message("insert " + string_insert("-", t, i) + " " + string(string_length(string_insert(chr(2048), t, i))));
        t = string_insert(s, "abcdefghij", 9);
        show_debug_message("into " + t + " " + string(string_length(t)) + " " + string_char_at(t, 14) + " " + string(ord(string_char_at(t, 13))));
        t = chr(1114112);
        show_debug_message("past " + t + " " + string(string_byte_length(t)) + " " + string(string_length(t)) + " " + string(ord(t)));
        t = "ab" + t + "cd";
        show_debug_message("cut " + string_insert("-", t, 2) + " " + string_insert("-", t, 5) + " " + string_copy(t, 2, 3)
                           + " " + string(string_length(string_insert("-", t, 2))) + string(string_length(string_copy(t, 1, 4))));
        t = ansi_char(240) + ansi_char(144) + ansi_char(128) + ansi_char(128);
        show_debug_message("four " + string(string_length(t)) + " " + string(ord(t)) + " " + string(ord(string_char_at(t, 2))));
        game_end();)"}});
    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.errors;
    const std::vector<std::string> chars = {"\x7F", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xEF\xBF\xBF"};
    std::string all, each;
    for (const std::string& c : chars) {
        all += c;
        each += "|" + c;
    }
    EXPECT_EQ(LinesStartingWith(run.log, "chars "), std::vector<std::string>{all + " 5 11"}) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "codes"),
              std::vector<std::string>{" 127 128 2047 2048 65535 each " + each});
    // Before each character of the plain run's end and of the five, and after the last.
    std::vector<std::string> inserts;
    for (size_t at = 7; at <= 13; ++at) {
        std::string t = "abcdefgh" + all;
        size_t byte = 0;
        for (size_t i = 0; i < at; ++i)
            byte += i < 8 ? 1 : chars[i - 8].size();
        inserts.push_back(t.insert(byte, "-") + " 14");
    }
    EXPECT_EQ(LinesStartingWith(run.log, "insert "), inserts);
    EXPECT_EQ(LinesStartingWith(run.log, "into "),
              std::vector<std::string>{"abcdefgh" + all + "ij 15 i 65535"});
    EXPECT_EQ(LinesStartingWith(run.log, "past "), std::vector<std::string>{"\xE0\x80\x80 3 1 0"});
    // Written again, the character 0 ends the new text, whatever came after it (an insertion too); the
    // lengths count what is left.
    EXPECT_EQ(LinesStartingWith(run.log, "cut "), std::vector<std::string>{"a-b ab b 32"});
    // Four bytes of U+10000 are one character.
    EXPECT_EQ(LinesStartingWith(run.log, "four "), std::vector<std::string>{"1 65536 0"});
}

// A character beyond 16 bits (U+1F600, four bytes) is one character to the string built-ins, typed into
// the code or decoded from JSON; the letter after it stays as it was, and so does the letter after a
// stray byte. Texts compare byte by byte, which is code point order.
TEST(LibraryFunctions, ACharacterOfFourBytesIsOneCharacter) {
    const ScenarioGame game = OneObjectGame({{0, 0, R"(
        var s, m;
        s = "Bob😀abc";
        show_debug_message("copy " + string_copy(s, 1, 10));
        show_debug_message("char " + string_char_at(s, 5));
        show_debug_message("delete " + string_delete(s, 4, 1));
        show_debug_message("insert " + string_insert("Z", s, 5));
        show_debug_message("pos " + string(string_pos("a", s)));
        show_debug_message("ord " + string(ord("😀")));
        show_debug_message("chr " + chr(128512));
        show_debug_message("stray " + string_char_at("x" + ansi_char(128) + "y", 3));
        show_debug_message("upper " + string_upper(s) + " " + string(string_length(s)));
        show_debug_message("compare " + string(chr(128512) == "😀") + string("a😀" < "a😁") + string("😀" > "z"));
        m = json_decode('{"k":"\ud83d\ude00b"}');
        show_debug_message("json " + string(string_length(ds_map_find_value(m, "k"))) + " " + string_char_at(ds_map_find_value(m, "k"), 2));
        game_end();)"}});
    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.errors;
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"copy ", "Bob😀abc"}, {"char ", "a"},     {"delete ", "Bobabc"},   {"insert ", "Bob😀Zabc"},
        {"pos ", "5"},         {"ord ", "128512"}, {"chr ", "😀"},          {"stray ", "y"},
        {"upper ", "BOB😀ABC 7"}, {"compare ", "111"}, {"json ", "2 b"}};
    for (const auto& [key, value] : expected)
        EXPECT_EQ(LinesStartingWith(run.log, key), std::vector<std::string>{value}) << run.log;
}

// Reals that need sixteen and seventeen significant digits go through json_encode and json_decode and come
// back as the same reals: differences of zero to thirty decimals, and the decoded tree written as the
// same text.
TEST(LibraryFunctions, JsonKeepsEveryDigitOfAReal) {
    const ScenarioGame game = OneObjectGame({{0, 0, R"(
        var l, m, s, d, back, i, diffs;
        l = ds_list_create();
        ds_list_add(l, 0.1 + 0.2, 1 / 3, -2 / 3, 100 / 7, 0.0000001 / 3);
        m = ds_map_create();
        ds_map_add_list(m, "r", l);
        s = json_encode(m);
        d = json_decode(s);
        back = ds_map_find_value(d, "r");
        diffs = "";
        for (i = 0; i < 5; i += 1) diffs += " " + string_format(ds_list_find_value(back, i) - ds_list_find_value(l, i), 1, 30);
        show_debug_message("json " + s);
        show_debug_message("again " + json_encode(d));
        show_debug_message("diffs" + diffs);
        game_end();)"}});
    const ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log << run.errors;
    const std::string text =
        R"({ "r": [ 0.30000000000000004, 0.3333333333333333, -0.6666666666666666, 14.285714285714286, 3.333333333333334e-08 ] })";
    EXPECT_EQ(LinesStartingWith(run.log, "json "), std::vector<std::string>{text}) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, "again "), std::vector<std::string>{text});
    std::string zeros;
    for (int i = 0; i < 5; ++i)
        zeros += " 0." + std::string(30, '0');
    EXPECT_EQ(LinesStartingWith(run.log, "diffs"), std::vector<std::string>{zeros});
}
