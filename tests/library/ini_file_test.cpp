#include "builtin_test_util.h"

#include "core/memory.h"
#include "library/ini_builtins.h"
#include "library/ini_file.h"
#include "support/game_folders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using testing::HasSubstr;

namespace {

// The text an object flushes.
std::string Flushed(IniFile& ini) {
    char* text = ini.Flush();
    std::string s = text;
    MEM_FREE(text);
    EXPECT_EQ(ini.TextSize(), s.size());
    return s;
}

// The text read from a string and flushed again.
std::string Reread(const std::string& text) {
    IniFile ini;
    ini.OpenFromString(text.c_str());
    return Flushed(ini);
}

std::string Value(const IniFile& ini, const char* section, const char* key) {
    return ini.ReadString(section, key, "<absent>");
}

} // namespace

TEST(IniFile, ReadingAndFlushingReversesTheOrder) {
    IniFile ini;
    ASSERT_TRUE(ini.OpenFromString("[a]\r\nx=1\r\ny=2\r\n[b]\r\nz=3\r\n"));
    EXPECT_TRUE(ini.WriteString("b", "z", "3"));
    EXPECT_EQ(Flushed(ini), "[b]\r\nz=3\r\n[a]\r\ny=2\r\nx=1\r\n");
    // New sections and keys go in front.
    ini.WriteString("c", "k", "v");
    ini.WriteString("a", "w", "0");
    EXPECT_EQ(Flushed(ini), "[c]\r\nk=v\r\n[b]\r\nz=3\r\n[a]\r\nw=0\r\ny=2\r\nx=1\r\n");
    EXPECT_TRUE(ini.DeleteKey("a", "y"));
    EXPECT_FALSE(ini.DeleteKey("a", "y"));
    EXPECT_TRUE(ini.DeleteSection("b"));
    EXPECT_FALSE(ini.DeleteSection("B"));
    EXPECT_EQ(Flushed(ini), "[c]\r\nk=v\r\n[a]\r\nw=0\r\nx=1\r\n");
    EXPECT_FALSE(ini.WriteString(nullptr, "k", "v"));
    EXPECT_FALSE(ini.WriteString("c", nullptr, "v"));
}

TEST(IniFile, ReadingRules) {
    IniFile ini;
    ini.OpenFromString("\xEF\xBB\xBF" "before=ignored\n"
                       "[Main]\n"
                       "key = some value ; note\n"
                       "quoted = \"a;b#c\" trailing words\n"
                       "single='x\"y'\n"
                       "empty=\n"
                       "; comment\n"
                       "after=1\n"
                       "blank=   \t\n"
                       "name with spaces\t= v  \t\n"
                       "[main]\n"
                       "k=\xFF\xFE raw");
    EXPECT_EQ(Value(ini, "Main", "key"), "some value");
    EXPECT_EQ(Value(ini, "Main", "quoted"), "a;b#c");
    EXPECT_EQ(Value(ini, "Main", "single"), "x\"y");
    EXPECT_EQ(Value(ini, "Main", "empty"), "<absent>");
    EXPECT_EQ(Value(ini, "Main", "after"), "1");
    EXPECT_EQ(Value(ini, "Main", "blank"), "<absent>");
    EXPECT_EQ(Value(ini, "Main", "name with spaces"), "v");
    EXPECT_EQ(Value(ini, "Main", "before"), "<absent>");
    EXPECT_EQ(Value(ini, "main", "k"), "\xFF\xFE raw");
    EXPECT_EQ(Value(ini, "MAIN", "k"), "<absent>");

    ini.WriteString("n", "a", "12abc");
    ini.WriteString("n", "b", "abc");
    ini.WriteString("n", "c", " -7");
    ini.WriteString("n", "d", "99999999999");
    EXPECT_EQ(ini.ReadInt("n", "a", 5), 12);
    EXPECT_EQ(ini.ReadInt("n", "b", 5), 0);
    EXPECT_EQ(ini.ReadInt("n", "c", 5), -7);
    EXPECT_EQ(ini.ReadInt("n", "d", 5), 2147483647);
    EXPECT_EQ(ini.ReadInt("n", "e", 5), 5);

    // The system section stores nothing.
    EXPECT_TRUE(ini.WriteString("SYSTEM_COMMAND", "x", "y"));
    EXPECT_EQ(ini.FindSection("SYSTEM_COMMAND"), nullptr);
}

TEST(IniFile, MalformedText) {
    // A line without "=" is skipped alone: the section after it stays, and the last line needs no line end.
    EXPECT_EQ(Reread("[a]\r\njunk\r\n[b]\r\nk=v\r\nlast"), "[b]\r\nk=v\r\n[a]\r\n");
    EXPECT_EQ(Reread("[a]\nk=v\n[b"), "[a]\r\nk=v\r\n") << "a \"[\" without \"]\" ends the text";
    EXPECT_EQ(Reread("no sections\nk=v\n"), "");
    EXPECT_EQ(Reread("[a]\n=v\n==\n"), "[a]\r\n==\r\n=v\r\n");
    EXPECT_EQ(Reread("[a]\n;k=v\n#k=w\nk=\"open\n"), "[a]\r\nk=open\r\n");
    EXPECT_EQ(Reread("[a]\nk=v\n[]\n"), "[]\r\n[a]\r\nk=v\r\n");
    // A long line is one value.
    const std::string longValue(100000, 'v');
    EXPECT_EQ(Reread("[s]\nk=" + longValue), "[s]\r\nk=" + longValue + "\r\n");
}

TEST(IniFile, WrittenValuesReadBackWhole) {
    IniFile ini;
    const char* values[] = {"a;b", "#x", " x", "\tx", "'q'", "\"q\"", "", "plain", "it's", "say \"hi\""};
    for (const char* v : values)
        ini.WriteString("s", (std::string("k") + v).c_str(), v);
    // Line breaks would start lines of their own: names and values end at the first one.
    ini.WriteString("s\r\n[t]", "m\nj", "v\r\nm2=w");
    IniFile again;
    again.OpenFromString(Flushed(ini).c_str());
    for (const char* v : values)
        EXPECT_EQ(Value(again, "s", (std::string("k") + v).c_str()), v);
    EXPECT_EQ(Value(again, "s", "m"), "v");
    EXPECT_EQ(again.FindSection("t"), nullptr);
    EXPECT_EQ(Value(again, "s", "m2"), "<absent>");
    // Values that need no quotes are written as they are; one holding both quotes too.
    IniFile kinds;
    kinds.WriteString("s", "a", "x y");
    kinds.WriteString("s", "b", "'both\" #");
    kinds.WriteString("s", "c", "");
    kinds.WriteString("s", "d", "1;2");
    EXPECT_EQ(Flushed(kinds), "[s]\r\nd=\"1;2\"\r\nc=\"\"\r\nb='both\" #\r\na=x y\r\n");
}

TEST(IniFile, FilesLiveInTheSaveArea) {
    GameFolders folders;
    TempFolder::Write(folders.Game("g.ini"), "[a]\r\nk=game\r\n");
    {
        testing::internal::CaptureStdout();
        IniFile ini("g.ini", true);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "g.ini file contents: [a]\r\nk=game\r\n\n");
        EXPECT_EQ(Value(ini, "a", "k"), "game");
        MEM_FREE(ini.Flush()); // unchanged: nothing is written
        EXPECT_FALSE(TempFolder::Exists(folders.Save("g.ini")));
        ini.WriteString("a", "k", "saved");
        MEM_FREE(ini.Flush());
    }
    EXPECT_EQ(TempFolder::Read(folders.Save("g.ini")), "[a]\r\nk=saved\r\n");
    EXPECT_EQ(TempFolder::Read(folders.Game("g.ini")), "[a]\r\nk=game\r\n");
    IniFile fromSaveArea("g.ini", false);
    EXPECT_EQ(Value(fromSaveArea, "a", "k"), "saved");
    // A zero byte in a file ends its name or value there (and what is then left of it is trimmed).
    const char zeroBytes[] = "[a\0b]\nk=x \0y\nj \0=v\n";
    TempFolder::Write(folders.Game("zero.ini"), std::string(zeroBytes, sizeof zeroBytes - 1));
    IniFile zero("zero.ini", false);
    EXPECT_EQ(Flushed(zero), "[a]\r\nj=v\r\nk=x\r\n");

    // A missing file keeps its name, so the first flush after a change makes it (with its folders).
    {
        IniFile fresh("sub/new.ini", false);
        EXPECT_EQ(fresh.FindSection("a"), nullptr);
        fresh.WriteString("SYSTEM_COMMAND", "INI_FILE_FLUSH", "NOW");
        EXPECT_EQ(TempFolder::Read(folders.Save("sub/new.ini")), "");
    }
    // Names that leave the save area are neither read there nor written.
    TempFolder::Write(folders.Temp("outside.ini"), "[a]\nk=v\n");
    testing::internal::CaptureStdout();
    {
        IniFile outside("../outside.ini", false);
        EXPECT_EQ(outside.FindSection("a"), nullptr);
        outside.WriteString("a", "k", "w");
        MEM_FREE(outside.Flush());
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(TempFolder::Read(folders.Temp("outside.ini")), "[a]\nk=v\n");
}

TEST(IniBuiltIns, OpenWriteReadClose) {
    GameFolders folders;
    CallReal("ini_open", {"settings.ini"});
    CallReal("ini_write_real", {"video", "scale", 1.5});
    CallReal("ini_write_string", {"video", "mode", "full screen"});
    EXPECT_EQ(CallReal("ini_read_real", {"video", "scale", 0}), 1.5);
    EXPECT_EQ(CallText("ini_read_string", {"video", "scale", ""}), "1.500000");
    EXPECT_EQ(CallText("ini_read_string", {"video", "missing", "dflt"}), "dflt");
    EXPECT_EQ(CallReal("ini_read_real", {"video", "missing", 7}), 7);
    EXPECT_EQ(CallReal("ini_key_exists", {"video", "mode"}), 1);
    EXPECT_EQ(CallReal("ini_section_exists", {"audio"}), 0);
    CallReal("ini_key_delete", {"video", "mode"});
    EXPECT_EQ(CallReal("ini_key_exists", {"video", "mode"}), 0);
    EXPECT_EQ(CallText("ini_close"), "[video]\r\nscale=1.500000\r\n");
    EXPECT_EQ(TempFolder::Read(folders.Save("settings.ini")), "[video]\r\nscale=1.500000\r\n");

    // Opening another file closes (and writes) the open one.
    CallReal("ini_open_from_string", {"[a]\nx=2.5e1 apples\n"});
    EXPECT_EQ(CallReal("ini_read_real", {"a", "x", 0}), 25);
    CallReal("ini_section_delete", {"a"});
    CallReal("ini_open", {"settings.ini"});
    EXPECT_EQ(CallReal("ini_read_real", {"video", "scale", 0}), 1.5);
    EXPECT_EQ(CallText("ini_close"), "[video]\r\nscale=1.500000\r\n");
    EXPECT_EQ(CallText("ini_close"), "");

    std::string log = ConsoleOutputOf([] { EXPECT_EQ(CallText("ini_read_string", {"a", "b", "d"}), "d"); });
    EXPECT_THAT(log, HasSubstr("ini_read_string: No ini file is open"));
    CallReal("ini_open_from_string", {""});
    log = ConsoleOutputOf([] { CallReal("ini_write_string", {"a", 1, "v"}); });
    EXPECT_THAT(log, HasSubstr("ini_write_string: Illegal argument type"));
    log = ConsoleOutputOf([] { CallReal("ini_write_real", {"a", "b", "1"}); });
    EXPECT_THAT(log, HasSubstr("ini_write_real: Illegal argument type"));
    EXPECT_EQ(CallText("ini_close"), "");
}
