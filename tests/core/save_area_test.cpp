#include "core/save_area.h"

#include "core/files.h"
#include "core/memory.h"
#include "support/fresh_process.h"
#include "support/game_folders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

// The names in a folder, sorted, "." and ".." left out.
std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A write that stops halfway (the test hook's RUNNER_TEST_WRITE_PAUSE, a second for "slow.bin") goes on
// in another thread while LoadSave_HoldWrites waits for it, first too briefly, then long enough; then a
// later write is tried. What it saw, in a save area of its own.
std::string HoldWritesWhileOneIsHalfway() {
    TempFolder tmp;
    tmp.SetEnv("XDG_DATA_HOME", tmp.Path());
    LoadSave_Reset();
    LoadSave_SetGameName("Demo");
    const std::string area = GetSaveAreaDirectory();
    static const std::string bytes(100000, 's');
    std::thread writer([] { LoadSave_WriteFile("slow.bin", bytes.data(), static_cast<int>(bytes.size())); });
    const auto halfway = [&] {
        for (const std::string& name : NamesIn(area))
            if (name.compare(0, 10, ".slow.bin~") == 0) return true;
        return false;
    };
    for (int i = 0; i < 5000 && !halfway(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const bool early = LoadSave_HoldWrites(100);
    const bool held = LoadSave_HoldWrites(5000);
    const bool whole = TempFolder::Read(area + "slow.bin") == bytes;
    std::thread([] { LoadSave_WriteFile("late.bin", "x", 1); }).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    writer.join();
    std::string saw = std::string("a brief wait ") + (early ? "held" : "ran out") + ", a long one " +
                      (held ? "held" : "ran out") + "; the file " + (whole ? "whole" : "not whole") +
                      "; in the folder:";
    for (const std::string& name : NamesIn(area))
        saw += " " + name;
    return saw;
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

// A whole file goes to a temporary file first, which replaces the file once complete: the old file stays
// whole when the write fails, and keeps its permissions, and a link keeps leading to it. What is not a
// plain file is never replaced, and a named pipe is never waited on.
TEST_F(SaveAreaTest, AWholeFileReplacesTheOldOneOnlyOnceComplete) {
    TempFolder::MakeDir(tmp / "data");
    TempFolder::MakeDir(Area());
    TempFolder::Write(Area() + "p.ini", "old");
    ASSERT_EQ(chmod((Area() + "p.ini").c_str(), 0640), 0);
    ASSERT_TRUE(LoadSave_WriteFile("p.ini", "new", 3));
    EXPECT_EQ(TempFolder::Read(Area() + "p.ini"), "new");
    struct stat st;
    ASSERT_EQ(stat((Area() + "p.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    TempFolder::Write(Area() + "real.ini", "old");
    ASSERT_EQ(symlink("real.ini", (Area() + "alias.ini").c_str()), 0);
    ASSERT_TRUE(LoadSave_WriteFile("alias.ini", "linked", 6));
    ASSERT_EQ(lstat((Area() + "alias.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(TempFolder::Read(Area() + "real.ini"), "linked");

    TempFolder::MakeDir(Area() + "d.ini");
    ASSERT_EQ(mkfifo((Area() + "f.ini").c_str(), 0644), 0);
    EXPECT_EQ(Captured([] { EXPECT_FALSE(LoadSave_WriteFile("d.ini", "x", 1)); }),
              "Could not write \"" + Area() + "d.ini\": Is a directory\n");
    EXPECT_EQ(Captured([] { EXPECT_FALSE(LoadSave_WriteFile("f.ini", "x", 1)); }),
              "Could not write \"" + Area() + "f.ini\": No such device or address\n");
    ASSERT_EQ(lstat((Area() + "f.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A write that fails partway (over the file size limit here, as on a full disk) keeps the old file.
    TempFolder::Write(Area() + "big.bin", "old");
    const std::string bytes(5000, 'n');
    rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    rlimit small = limit;
    small.rlim_cur = 1000;
    const sighandler_t before = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string said = Captured([&] { EXPECT_FALSE(LoadSave_WriteFile("big.bin", bytes.data(), 5000)); });
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, before);
    EXPECT_EQ(said, "Could not write \"" + Area() + "big.bin\": File too large\n");
    EXPECT_EQ(TempFolder::Read(Area() + "big.bin"), "old");

    EXPECT_EQ(NamesIn(Area()),
              (std::vector<std::string>{"alias.ini", "big.bin", "d.ini", "f.ini", "p.ini", "real.ini"}));
}

// The temporary files that processes ended during their writes left are removed, in every folder of the
// save area (not through links); a running process's are kept, and so is whatever is named otherwise.
TEST_F(SaveAreaTest, TheTemporaryFilesOfEndedProcessesAreRemoved) {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    const std::string ended = std::to_string(child), running = std::to_string(getppid()),
                      self = std::to_string(getpid());
    TempFolder::MakeDir(tmp / "data");
    TempFolder::MakeDir(Area());
    TempFolder::MakeDir(Area() + "sub");
    TempFolder::MakeDir(Area() + "sub/deeper");
    TempFolder::MakeDir(tmp / "outside");
    ASSERT_EQ(symlink((tmp / "outside").c_str(), (Area() + "out").c_str()), 0);
    const std::vector<std::string> removed = {".a.ini~" + ended + "-0.writing",
                                              "sub/deeper/.b.sav~" + ended + "-12.writing",
                                              ".c~" + self + "-3.writing"};
    const std::vector<std::string> kept = {".d.ini~" + running + "-0.writing", "e~" + ended + "-0.writing",
                                           ".f~" + ended + ".writing", ".g~" + ended + "-0.writing.bak",
                                           ".h~x-0.writing", "sub/i.ini"};
    for (const std::string& name : removed)
        TempFolder::Write(Area() + name, "part");
    for (const std::string& name : kept)
        TempFolder::Write(Area() + name, "kept");
    TempFolder::MakeDir(Area() + ".j~" + ended + "-0.writing");
    TempFolder::Write(tmp / ("outside/.k~" + ended + "-0.writing"), "elsewhere");

    LoadSave_RemoveLeftoverWrites();
    for (const std::string& name : removed)
        EXPECT_FALSE(TempFolder::Exists(Area() + name)) << name;
    for (const std::string& name : kept)
        EXPECT_EQ(TempFolder::Read(Area() + name), "kept") << name;
    EXPECT_TRUE(TempFolder::Exists(Area() + ".j~" + ended + "-0.writing"));
    EXPECT_TRUE(TempFolder::Exists(tmp / ("outside/.k~" + ended + "-0.writing")));
}

// What a process ending from another thread does first: it waits for the write in progress, a bounded
// time, and no later write starts.
TEST(SaveAreaWrites, HoldingThemWaitsForTheOneHalfwayAndLetsNoneStart) {
    ExpectInAFreshProcess("RUNNER_TEST_WRITE_PAUSE", "1000:slow.bin", HoldWritesWhileOneIsHalfway,
                          "a brief wait ran out, a long one held; the file whole; in the folder: slow.bin$");
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
