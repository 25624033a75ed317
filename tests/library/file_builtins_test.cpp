// The file group's built-ins on the file-system support, called from compiled source in a game folder
// with its save area: what exists where, folders made, the file-find walk, attributes, the name
// splitters, and names that try to leave the two places.
#include "builtin_test_util.h"
#include "core/files.h"
#include "library/files.h"
#include "script/compiler/constants.h"
#include "support/fake_world.h"
#include "support/game_folders.h"
#include "support/run_code.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

namespace {

class FileBuiltins : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterLibraryBuiltIns();
        if (Code_Constant_Count() == 0) Code_Constant_Init();
        self = world.Add(100001, 0);
        ScriptWorld_Install(&world);
        TakeFatalErrors();
    }
    void TearDown() override {
        FileFind_Clear();
        ScriptWorld_Install(nullptr);
    }

    std::string Run(const std::string& program) {
        return CompileAndRun(program, FakeWorld::AsInstance(self));
    }
    // The names of a whole file-find walk, each followed by "|".
    std::string Find(const std::string& mask, const std::string& attributes) {
        const std::string quoted = Run("s = \"\"; n = file_find_first(\"" + mask + "\", " + attributes +
                                       "); while (n != \"\") { s += n + \"|\"; n = file_find_next(); } "
                                       "file_find_close(); return s");
        return quoted.size() >= 2 ? quoted.substr(1, quoted.size() - 2) : quoted;
    }

    GameFolders folders{"Demo"};
    FakeWorld world;
    FakeInstance* self = nullptr;
};

TEST_F(FileBuiltins, ExistenceAndFoldersInTheGameFolderAndTheSaveArea) {
    TempFolder::Write(folders.Game("shipped.txt"), "1");
    Support_CreateDirectories(folders.Save("").c_str());
    TempFolder::Write(folders.Save("saved.txt"), "2");
    TempFolder::Write(folders.Temp("outside.txt"), "3");
    TempFolder::MakeDir(folders.Game("folder"));
    EXPECT_EQ(Run("return file_exists(\"shipped.txt\")"), "1");
    EXPECT_EQ(Run("return file_exists(\"saved.txt\")"), "1");
    EXPECT_EQ(Run("return file_exists(\"" + folders.Game("shipped.txt") + "\")"), "1");
    EXPECT_EQ(Run("return file_exists(\"missing.txt\")"), "0");
    // A folder is not a file; names outside both places are not looked at.
    EXPECT_EQ(Run("return file_exists(\"folder\")"), "0");
    EXPECT_EQ(Run("return file_exists(\"../outside.txt\")"), "0");
    EXPECT_EQ(Run("return file_exists(\"" + folders.Temp("outside.txt") + "\")"), "0");
    EXPECT_EQ(Run("return file_exists(string_repeat(\"a/\", 600) + \"x\")"), "0");
    EXPECT_EQ(Run("return file_exists(3)"), "0");

    // Nested folders are made in the save area, never in the game folder or outside.
    EXPECT_EQ(Run("return directory_create(\"levels/world1/extra\")"), "1");
    EXPECT_TRUE(TempFolder::Exists(folders.Save("levels/world1/extra")));
    EXPECT_FALSE(TempFolder::Exists(folders.Game("levels")));
    EXPECT_EQ(Run("return directory_create(\"levels\\b\\\")"), "1");
    EXPECT_TRUE(TempFolder::Exists(folders.Save("levels/b")));
    EXPECT_EQ(Run("return directory_create(\"../../escaped\") + directory_create(\"/tmp/x\")"), "0");
    EXPECT_FALSE(TempFolder::Exists(folders.Temp("escaped")));
    EXPECT_EQ(Run("return directory_create(string_repeat(\"d/\", 600))"), "0");
}

TEST_F(FileBuiltins, FindListsEachNameOnceAndFoldersOnlyWhenAsked) {
    for (const char* name : {"a.txt", "b.TXT", "both.txt", "c.dat", ".hidden.txt", "noext"})
        TempFolder::Write(folders.Game(name), "g");
    TempFolder::MakeDir(folders.Game("sub.txt"));
    TempFolder::MakeDir(folders.Game("levels"));
    TempFolder::Write(folders.Game("levels/one.lvl"), "1");
    Support_CreateDirectories(folders.Save("").c_str());
    for (const char* name : {"both.txt", "z.txt", "save.dat"})
        TempFolder::Write(folders.Save(name), "s");

    // The save area's names first, then the game folder's; a name in both is listed once.
    EXPECT_EQ(Find("*.txt", "0"), "both.txt|z.txt|a.txt|b.TXT|");
    EXPECT_EQ(Find("*.txt", "fa_directory"), "both.txt|z.txt|a.txt|b.TXT|sub.txt|");
    EXPECT_EQ(Find("*.txt", "fa_hidden"), "both.txt|z.txt|.hidden.txt|a.txt|b.TXT|");
    EXPECT_EQ(Find("?.*", "0"), "z.txt|a.txt|b.TXT|c.dat|g.win|");
    EXPECT_EQ(Find("noext.*", "0"), "noext|");
    EXPECT_EQ(Find("levels/*", "0"), "one.lvl|");
    EXPECT_EQ(Find("lev*", "fa_directory"), "levels|");
    EXPECT_EQ(Find("*", "fa_readonly"), "both.txt|save.dat|z.txt|a.txt|b.TXT|c.dat|g.win|noext|");
    // Nothing outside the two places, nothing for an empty or over-long mask.
    EXPECT_EQ(Find("../*", "fa_directory"), "");
    EXPECT_EQ(Find("/etc/*", "0"), "");
    EXPECT_EQ(Find("", "0"), "");
    EXPECT_EQ(Run("return file_find_first(string_repeat(\"*\", 1100), 0)"), "''");
    // Past the end, and after the close, the walk gives empty names.
    EXPECT_EQ(Run("file_find_first(\"c.dat\", 0); return file_find_next() + \"|\" + file_find_next()"),
              "'|'");
    EXPECT_EQ(Run("file_find_first(\"c.dat\", 0); file_find_close(); return file_find_next()"), "''");
}

TEST_F(FileBuiltins, FindOverThousandsOfFiles) {
    Support_CreateDirectories(folders.Save("").c_str());
    for (int i = 0; i < 3000; ++i) {
        TempFolder::Write(folders.Game("f" + std::to_string(i) + ".dat"), "");
        if (i % 2) TempFolder::Write(folders.Save("f" + std::to_string(i) + ".dat"), "");
    }
    EXPECT_EQ(
        Run("n = 0; f = file_find_first(\"f*.dat\", 0); while (f != \"\") { n += 1; f = file_find_next(); } "
            "file_find_close(); return n"),
        "3000");
}

TEST_F(FileBuiltins, AttributesOfFilesAndFolders) {
    TempFolder::Write(folders.Game("plain.txt"), "1");
    TempFolder::Write(folders.Game("locked.txt"), "1");
    chmod(folders.Game("locked.txt").c_str(), 0444);
    TempFolder::Write(folders.Game(".config"), "1");
    TempFolder::MakeDir(folders.Game("folder"));
    EXPECT_EQ(Run("return file_attributes(\"plain.txt\", fa_archive) * 10 + file_attributes(\"plain.txt\", "
                  "fa_readonly)"),
              "10");
    EXPECT_EQ(Run("return file_attributes(\"locked.txt\", fa_readonly | fa_archive)"), "1");
    EXPECT_EQ(Run("return file_attributes(\".config\", fa_hidden) * 10 + file_attributes(\"folder\", "
                  "fa_directory)"),
              "11");
    EXPECT_EQ(Run("return file_attributes(\"folder\", 0) * 10 + file_attributes(\"missing\", 0)"), "10");
    // A name in both places has the attributes of the file a read takes, the save area's.
    Support_CreateDirectories(folders.Save("").c_str());
    TempFolder::Write(folders.Save("locked.txt"), "2");
    EXPECT_EQ(Run("return file_attributes(\"locked.txt\", fa_readonly)"), "0");
}

TEST_F(FileBuiltins, NameSplitters) {
    EXPECT_EQ(Run("return filename_name(\"C:\\games\\demo\\level.dat\")"), "'level.dat'");
    EXPECT_EQ(Run("return filename_path(\"C:\\games\\level.dat\")"), "'C:\\games\\'");
    EXPECT_EQ(Run("return filename_dir(\"C:\\games\\level.dat\")"), "'C:\\games'");
    EXPECT_EQ(Run("return filename_drive(\"C:\\games\\level.dat\") + \"|\" + filename_drive(\"/a/b\")"),
              "'C:|'");
    EXPECT_EQ(Run("return filename_ext(\"a/b.tar.gz\") + \"|\" + filename_ext(\"dir.v2/name\")"), "'.gz|'");
    // A bare name has no folder; a name after a leading separator has an empty one.
    EXPECT_EQ(
        Run("return \"[\" + filename_dir(\"level.dat\") + \"][\" + filename_path(\"level.dat\") + \"]\""),
        "'[][]'");
    EXPECT_EQ(Run("return filename_dir(\"/level.dat\") + \"|\" + filename_path(\"/level.dat\")"), "'|/'");
    EXPECT_EQ(Run("return filename_dir(\"a/b/c.txt\") + \"|\" + filename_name(\"a/b/\")"), "'a/b|'");
    EXPECT_EQ(Run("return filename_change_ext(\"a/b.txt\", \".dat\") + \"|\" + "
                  "filename_change_ext(\"noext\", \".x\")"
                  " + \"|\" + filename_change_ext(\"dir.v2/name\", \"\")"),
              "'a/b.dat|noext.x|dir.v2/name'");
    EXPECT_EQ(Run("return filename_name(string_repeat(\"x\", 1100)) + filename_name(5)"), "''");
}

} // namespace
