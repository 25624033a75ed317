#include "core/save_area.h"

#include "core/files.h"
#include "core/memory.h"
#include "support/game_folders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

class SaveAreaTest : public ::testing::Test {
protected:
    std::string Area() const { return tmp / "data/Demo/"; }

    GameFolders folders{"Demo"};
    TempFolder& tmp = folders.Folder();
};

std::string Captured(const std::function<void()>& run) {
    testing::internal::CaptureStdout();
    run();
    return testing::internal::GetCapturedStdout();
}

} // namespace

TEST_F(SaveAreaTest, FoldersFollowGamePathAndName) {
    EXPECT_STREQ(LoadSave_GetGamePath(), (tmp / "game/g.win").c_str());
    EXPECT_STREQ(GetGameFileDirectory(), (tmp / "game/").c_str());
    EXPECT_EQ(std::string(GetSaveAreaDirectory()), Area());

    // A name that would climb out of the data folder stays one folder inside it.
    LoadSave_SetGameName("..");
    EXPECT_EQ(std::string(GetSaveAreaDirectory()), tmp / "data/_/");
    LoadSave_SetGameName("../..");
    EXPECT_EQ(std::string(GetSaveAreaDirectory()), tmp / "data/.._../");
    LoadSave_SetGameName("a/b\\c");
    EXPECT_EQ(std::string(GetSaveAreaDirectory()), tmp / "data/a_b_c/");

    tmp.SetEnv("XDG_DATA_HOME", "relative/ignored");
    tmp.SetEnv("HOME", tmp / "home");
    LoadSave_SetGameName("Demo");
    EXPECT_EQ(std::string(GetSaveAreaDirectory()), tmp / "home/.local/share/Demo/");
}

TEST_F(SaveAreaTest, SaveNamesMapIntoTheSaveArea) {
    EXPECT_EQ(LoadSave_SavePath("hiscore.dat"), Area() + "hiscore.dat");
    EXPECT_EQ(LoadSave_SavePath("saves\\slot1.sav"), Area() + "saves/slot1.sav");
    EXPECT_EQ(LoadSave_SavePath((tmp / "game/sub/x.txt").c_str()), Area() + "sub/x.txt");
    EXPECT_EQ(LoadSave_SavePath((Area() + "y.txt").c_str()), Area() + "y.txt");
    // Climbing stays inside: from the game folder "a/../../game/z" is the game folder's "z".
    EXPECT_EQ(LoadSave_SavePath("a/../../game/z"), Area() + "z");
    EXPECT_EQ(LoadSave_SavePath(nullptr), "");

    char small[8];
    LoadSave_GetSavePath(small, sizeof small, "hiscore.dat");
    EXPECT_STREQ(small, "");
}

TEST_F(SaveAreaTest, NamesOutsideAreRefused) {
    std::string log = Captured([&] {
        EXPECT_EQ(LoadSave_SavePath("/etc/passwd"), "");
        EXPECT_EQ(LoadSave_SavePath("../../../../../../../../etc/passwd"), "");
        EXPECT_EQ(LoadSave_SavePath("..\\outside.txt"), "");
    });
    EXPECT_NE(log.find("Error! not allowing save with filename '/etc/passwd'\n"), std::string::npos);
    EXPECT_NE(log.find("Error! not allowing save with filename '" + tmp / "outside.txt'"), std::string::npos);

    Captured([&] {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(LoadSave_WriteFile((tmp / "escaped.txt").c_str(), "x", 1));
        testing::internal::GetCapturedStderr();
    });
    EXPECT_FALSE(TempFolder::Exists(tmp / "escaped.txt"));

    EXPECT_EQ(LoadSave_BundlePath("/etc/passwd"), "");
    EXPECT_EQ(LoadSave_BundlePath("../data/x"), "");
    EXPECT_EQ(LoadSave_BundlePath("sub/../g.win"), tmp / "game/g.win");
}

TEST_F(SaveAreaTest, SymbolicLinksCannotLeadOutside) {
    TempFolder::MakeDir(tmp / "outside");
    TempFolder::Write(tmp / "outside/secret", "secret");
    TempFolder::MakeDir(tmp / "data");
    TempFolder::MakeDir(Area());
    ASSERT_EQ(symlink((tmp / "outside").c_str(), (Area() + "link").c_str()), 0);
    ASSERT_EQ(symlink((tmp / "outside/new").c_str(), (Area() + "dangling").c_str()), 0);
    ASSERT_EQ(symlink((tmp / "outside").c_str(), (tmp / "game/link").c_str()), 0);

    Captured([&] {
        EXPECT_EQ(LoadSave_SavePath("link/secret"), "");
        EXPECT_FALSE(LoadSave_WriteFile("link/new.txt", "x", 1));
        EXPECT_FALSE(LoadSave_WriteFile("dangling", "x", 1));
    });
    EXPECT_FALSE(TempFolder::Exists(tmp / "outside/new.txt"));
    EXPECT_FALSE(TempFolder::Exists(tmp / "outside/new"));
    EXPECT_EQ(LoadSave_BundlePath("link/secret"), "");
    EXPECT_EQ(LoadSave_ReadBundleFile("link/secret", nullptr), nullptr);

    // A link that stays inside is followed.
    TempFolder::MakeDir(Area() + "real");
    ASSERT_EQ(symlink((Area() + "real").c_str(), (Area() + "alias").c_str()), 0);
    EXPECT_EQ(LoadSave_SavePath("alias/f"), Area() + "alias/f");
}

TEST_F(SaveAreaTest, ChosenFilesMayLeaveTheSaveArea) {
    Support_AddChosenFile(CHOSEN_SAVED, (tmp / "game/picked.txt").c_str());
    Support_AddChosenFile(CHOSEN_SAVED, "/somewhere/Else.txt");
    std::string log = Captured([&] {
        EXPECT_EQ(LoadSave_SavePath("picked.txt"), Area() + "picked.txt");
        EXPECT_EQ(LoadSave_SavePath("/somewhere/else.TXT"), "/somewhere/else.TXT");
    });
    EXPECT_EQ(log, "Warning! Save location - redirected to: '" + Area() + "picked.txt'\n");

    EXPECT_EQ(LoadSave_BundlePath("/opened/file"), "");
    Support_AddChosenFile(CHOSEN_OPENED, "/opened/file");
    EXPECT_EQ(LoadSave_BundlePath("/opened/file"), "/opened/file");
}

TEST_F(SaveAreaTest, GameBelowTheCurrentFolder) {
    // Run from the parent of the game folder: names are still taken relative to the current folder and
    // re-rooted in the game folder.
    tmp.Chdir(tmp.Path());
    LoadSave_SetGamePath("game/g.win");
    EXPECT_STREQ(GetGameFileDirectory(), (tmp / "game/").c_str());
    EXPECT_EQ(LoadSave_BundlePath("g.win"), tmp / "game/g.win");
    int size = 0;
    uint8_t* data = LoadSave_ReadFile(LoadSave_GetGamePath(), &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 4);
    MEM_FREE(data);
}

TEST_F(SaveAreaTest, WholeFileWriteAndRead) {
    ASSERT_TRUE(LoadSave_WriteFile("deep/er/file.bin", "abc\0d", 5));
    EXPECT_EQ(TempFolder::Read(Area() + "deep/er/file.bin"), std::string("abc\0d", 5));
    EXPECT_TRUE(LoadSave_SaveFileExists("deep/er/file.bin"));
    EXPECT_FALSE(LoadSave_SaveFileExists("deep/er"));
    EXPECT_FALSE(LoadSave_BundleFileExists("deep/er/file.bin"));
    EXPECT_TRUE(LoadSave_BundleFileExists("g.win"));

    int size = -7;
    uint8_t* data = LoadSave_ReadSaveFile("deep/er/file.bin", &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(data[5], 0);
    MEM_FREE(data);

    // A missing file leaves the size alone; an empty one is a single zero byte.
    size = -7;
    EXPECT_EQ(LoadSave_ReadSaveFile("missing", &size), nullptr);
    EXPECT_EQ(size, -7);
    ASSERT_TRUE(LoadSave_WriteFile("empty", "", 0));
    data = LoadSave_ReadSaveFile("empty", &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(data[0], 0);
    MEM_FREE(data);
}

TEST_F(SaveAreaTest, FailedWritesAndHugeFilesAreReported) {
    // Each failure says on the console which file and why. /dev/full accepts the open and fails the write.
    EXPECT_EQ(Captured([] { EXPECT_FALSE(_WriteFile("/dev/full", "abc", 3)); }),
              "Could not write \"/dev/full\": No space left on device\n");
    EXPECT_EQ(Captured([&] { EXPECT_FALSE(_WriteFile((tmp / "no/such/dir/f").c_str(), "abc", 3)); }),
              "Could not write \"" + tmp / "no/such/dir/f" + "\": No such file or directory\n");
    TempFolder::Write(tmp / "file", "");
    tmp.SetEnv("XDG_DATA_HOME", tmp / "file"); // the save area would lie below a plain file
    LoadSave_SetGameName("Demo");
    EXPECT_EQ(Captured([] { EXPECT_FALSE(LoadSave_WriteFile("hiscore.dat", "x", 1)); }),
              "Could not write \"" + tmp / "file/Demo/hiscore.dat" + "\": Not a directory\n");

    // A sparse file of 2 GiB is refused without reading it.
    std::string big = tmp / "game/big.bin";
    int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 0x80000000LL), 0);
    close(fd);
    EXPECT_EQ(LoadSave_ReadFile(big.c_str(), nullptr), nullptr);
    EXPECT_EQ(LoadSave_ReadFile((tmp / "game").c_str(), nullptr), nullptr);
}

TEST_F(SaveAreaTest, ReaderSkipsMarkOnlyInTextMode) {
    TempFolder::Write(tmp / "game/bom.txt", "\xEF\xBB\xBFhi");
    LoadSaveFile* f = LoadSave_fopen("bom.txt", "rt");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(LoadSave_fgetc(f), 'h');
    LoadSave_fclose(f);
    f = LoadSave_fopen("bom.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(LoadSave_fgetc(f), -17);
    LoadSave_fclose(f);

    // The game folder is read first, then the save area.
    ASSERT_TRUE(LoadSave_WriteFile("saved.txt", "s", 1));
    f = LoadSave_fopen("saved.txt", "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(LoadSave_fgetc(f), 's');
    LoadSave_fclose(f);
    EXPECT_EQ(LoadSave_fopen("nowhere.txt", "r"), nullptr);
}

TEST_F(SaveAreaTest, ReaderPositionsOutsideTheDataReadAsEnd) {
    TempFolder::Write(tmp / "game/ten.txt", "0123456789");
    LoadSaveFile* f = LoadSave_fopen("ten.txt", "r");
    ASSERT_NE(f, nullptr);
    LoadSave_fseek(f, 2, 2);
    EXPECT_EQ(LoadSave_ftell(f), 8);
    EXPECT_EQ(LoadSave_fgetc(f), '8');
    LoadSave_fseek(f, 0, 2);
    EXPECT_TRUE(LoadSave_feof(f));
    EXPECT_EQ(LoadSave_fgetc(f), -1);
    EXPECT_EQ(LoadSave_ftell(f), 11);

    char buffer[16];
    for (int position : {-5, -1, 10, 1000}) {
        LoadSave_fseek(f, position, 0);
        EXPECT_EQ(LoadSave_ftell(f), position);
        EXPECT_TRUE(LoadSave_feof(f));
        EXPECT_TRUE(LoadSave_feoln(f));
        EXPECT_EQ(LoadSave_fread(buffer, 1, 4, f), 0);
        double real = 99;
        LoadSave_freadreal(f, &real);
        EXPECT_EQ(real, 0.0);
        EXPECT_EQ(LoadSave_fgetc(f), -1);
    }
    LoadSave_fseek(f, -4, 2); // 4 bytes past the end
    EXPECT_EQ(LoadSave_ftell(f), 14);
    LoadSave_fseek(f, 0x7FFFFFFF, 0);
    LoadSave_fseek(f, 1, 1);
    EXPECT_TRUE(LoadSave_feof(f));
    EXPECT_EQ(LoadSave_fgetc(f), -1);

    LoadSave_fseek(f, 7, 0);
    EXPECT_EQ(LoadSave_fread(buffer, 2, 4, f), 3);
    EXPECT_EQ(std::string(buffer, 3), "789");
    LoadSave_fclose(f);
}

TEST_F(SaveAreaTest, ReaderReadsNumbersAndLines) {
    // The file ends in a number: the conversion must stop at the end of the data.
    TempFolder::Write(tmp / "game/n.txt", "  12.5\r\n-3e2 x 7");
    LoadSaveFile* f = LoadSave_fopen("n.txt", "r");
    ASSERT_NE(f, nullptr);
    double v = 0;
    LoadSave_freadreal(f, &v);
    EXPECT_EQ(v, 12.5);
    EXPECT_TRUE(LoadSave_feoln(f));
    LoadSave_freadreal(f, &v);
    EXPECT_EQ(v, -300.0);
    LoadSave_freadreal(f, &v); // "x" is no number: 0, position after the blank
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(LoadSave_ftell(f), 13);
    LoadSave_fgetc(f);
    LoadSave_freadreal(f, &v);
    EXPECT_EQ(v, 7.0);
    EXPECT_EQ(LoadSave_ftell(f), 16);
    EXPECT_TRUE(LoadSave_feof(f));
    LoadSave_fclose(f);
}
