#include "core/save_area.h"

#include "core/files.h"
#include "core/memory.h"
#include "core/refusing_file_system.h"
#include "support/fresh_process.h"
#include "support/game_folders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
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

// What a reader of names (LoadSave_ReadBundleFile, LoadSave_ReadSaveFile) gives for the name: the file's
// bytes, or "(none)".
std::string ReadName(uint8_t* (*reader)(const char*, int*), const std::string& name) {
    int size = 0;
    uint8_t* data = reader(name.c_str(), &size);
    const std::string bytes =
        data ? std::string(reinterpret_cast<char*>(data), static_cast<size_t>(size)) : "(none)";
    MEM_FREE(data);
    return bytes;
}

// The names in a folder, each after a blank.
std::string NamesInOneLine(const std::string& folder) {
    std::string names;
    for (const std::string& name : NamesIn(folder))
        names += " " + name;
    return names;
}

// A save area of its own for work in a fresh process: <tmp>/Demo/, made.
std::string FreshSaveArea(TempFolder& tmp) {
    tmp.SetEnv("XDG_DATA_HOME", tmp.Path());
    LoadSave_Reset();
    LoadSave_SetGameName("Demo");
    const std::string area = GetSaveAreaDirectory();
    TempFolder::MakeDir(area);
    return area;
}

// The name of the temporary file that a write of name made in the folder, once it holds more than
// atLeast bytes, waited for up to a minute; "" when none came.
std::string TemporaryOf(const std::string& folder, const std::string& name, off_t atLeast) {
    const std::string prefix = "." + name + "\\";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const std::string& entry : NamesIn(folder)) {
            struct stat st;
            if (entry.compare(0, prefix.size(), prefix) == 0 && stat((folder + entry).c_str(), &st) == 0 &&
                st.st_size > atLeast)
                return entry;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return "";
}

// A write of name in a thread of its own, and the cleanup of leftover writes run once the write's temporary
// file holds more than atLeast bytes (where a test hook holds the write). cleanup says what became of the
// write's file: kept, removed, or why that could not be seen.
class WriteMeetsACleanup {
public:
    WriteMeetsACleanup(const std::string& area, const char* name, const std::string& bytes, off_t atLeast)
        : m_writer([this, name, &bytes] {
              m_written = LoadSave_WriteFile(name, bytes.data(), static_cast<int>(bytes.size()));
              m_ended = true;
          }) {
        temporary = TemporaryOf(area, name, atLeast);
        LoadSave_RemoveLeftoverWrites();
        cleanup = temporary.empty()                      ? "the write made no temporary file"
                  : m_ended                              ? "the write ended before the cleanup ran"
                  : TempFolder::Exists(area + temporary) ? "the cleanup kept the write's file"
                                                         : "the cleanup removed the write's file";
    }
    ~WriteMeetsACleanup() { Written(); }
    // Waits for the write to end; whether it succeeded.
    bool Written() {
        if (m_writer.joinable()) m_writer.join();
        return m_written;
    }

    std::string temporary;
    std::string cleanup;

private:
    std::atomic<bool> m_ended{false};
    bool m_written = false;
    std::thread m_writer;
};

// A write that stops halfway (the test hook's RUNNER_TEST_WRITE_PAUSE, a second for "slow.bin") goes on
// in another thread while LoadSave_HoldWrites waits for it, first too briefly, then long enough; then a
// later write is tried. What it saw, in a save area of its own.
std::string HoldWritesWhileOneIsHalfway() {
    TempFolder tmp;
    const std::string area = FreshSaveArea(tmp);
    static const std::string bytes(100000, 's');
    std::thread writer([] { LoadSave_WriteFile("slow.bin", bytes.data(), static_cast<int>(bytes.size())); });
    TemporaryOf(area, "slow.bin", 0);
    const bool early = LoadSave_HoldWrites(100);
    const bool held = LoadSave_HoldWrites(5000);
    const bool whole = TempFolder::Read(area + "slow.bin") == bytes;
    std::thread([] { LoadSave_WriteFile("late.bin", "x", 1); }).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    writer.join();
    std::string saw = std::string("a brief wait ") + (early ? "held" : "ran out") + ", a long one " +
                      (held ? "held" : "ran out") + "; the file " + (whole ? "whole" : "not whole") +
                      "; in the folder:";
    return saw + NamesInOneLine(area);
}

// Two writes of p.ini stop halfway (the test hook, two seconds each). While the first does, the cleanup
// of leftover writes runs, and the name that the next write would take is made by someone else; while
// the second does, a folder takes the file's place. What happened, in a save area of its own.
std::string WritesHalfwayMeetACleanupAndAFolder() {
    TempFolder tmp;
    const std::string area = FreshSaveArea(tmp);
    TempFolder::Write(area + "p.ini", "old");
    static const std::string first(100000, '1'), second(100000, '2');
    WriteMeetsACleanup write(area, "p.ini", first, 0);
    const std::string& temporary = write.temporary;
    std::string saw = write.cleanup;
    // The next name has the same mark and the next count.
    const size_t dash = temporary.rfind('-');
    const std::string taken =
        temporary.empty() ? ".none"
                          : ".q.bin" + temporary.substr(6, dash - 5) +
                                std::to_string(std::stoull(temporary.substr(dash + 1)) + 1) + ".writing";
    TempFolder::Write(area + taken, "taken");
    const bool next = LoadSave_WriteFile("q.bin", "q", 1); // after the first write
    bool written = write.Written();
    saw += std::string("; the first write ") + (written ? "succeeded" : "failed") + ", p.ini " +
           (TempFolder::Read(area + "p.ini") == first ? "new" : "not new") + "; the next write " +
           (next && TempFolder::Read(area + "q.bin") == "q" ? "took another name" : "failed") +
           ", the taken name " + (TempFolder::Read(area + taken) == "taken" ? "kept" : "lost");
    std::remove((area + taken).c_str());

    std::atomic<bool> ended{false};
    const std::string log = Captured([&] {
        std::thread again([&] {
            written = LoadSave_WriteFile("p.ini", second.data(), static_cast<int>(second.size()));
            ended = true;
        });
        TemporaryOf(area, "p.ini", 0);
        std::remove((area + "p.ini").c_str());
        TempFolder::MakeDir(area + "p.ini");
        TempFolder::Write(area + "p.ini/kept", "kept");
        if (ended) saw += "; the second write ended before the folder came";
        again.join();
    });
    const bool said =
        log.find("Could not write \"" + area + "p.ini\": Is a directory\n") != std::string::npos;
    saw += std::string("; with a folder in its place the second write ") +
           (written ? "succeeded" : "failed") + (said ? " and said why" : " silently") + ", the folder " +
           (TempFolder::Read(area + "p.ini/kept") == "kept" ? "kept" : "lost") + "; in the folder:";
    return saw + NamesInOneLine(area);
}

// A write of w.ini stops between the making of its temporary file and its lock (the test hook, a second
// each time), and the cleanup of leftover writes removes the file then. What happened.
std::string ACleanupTakesAWritesFileBeforeItsLock() {
    TempFolder tmp;
    const std::string area = FreshSaveArea(tmp);
    static const std::string bytes(100000, 'w');
    WriteMeetsACleanup write(area, "w.ini", bytes, -1);
    const bool written = write.Written();
    std::string saw = write.cleanup + "; the write " + (written ? "succeeded" : "failed") + ", w.ini " +
           (TempFolder::Read(area + "w.ini") == bytes ? "whole" : "not whole") + "; in the folder:";
    return saw + NamesInOneLine(area);
}

// Writes into the save area of an ordinary user (65534 when this runs as root, which every folder lets
// make files) whose folder takes no new files: over p.ini, which the user may write, and to new.ini. What
// the writes gave and said, and what the folder holds after.
std::string WritesIntoAFolderThatTakesNoNewFiles() {
    TempFolder tmp;
    const std::string area = FreshSaveArea(tmp);
    TempFolder::Write(area + "p.ini", "old");
    const uid_t user = geteuid() == 0 ? 65534 : geteuid();
    const gid_t group = geteuid() == 0 ? 65534 : getegid();
    if (chmod(tmp.Path().c_str(), 0755) != 0 || chown((area + "p.ini").c_str(), user, group) != 0 ||
        chmod(area.c_str(), 0555) != 0)
        return "the folders could not be set up";
    int said[2];
    if (pipe(said) != 0) return "no pipe";
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        dup2(said[1], 1);
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(group) != 0 || setuid(user) != 0))
            _exit(2);
        const bool over = LoadSave_WriteFile("p.ini", "new", 3);
        const bool fresh = LoadSave_WriteFile("new.ini", "new", 3);
        std::printf("%s %s\n", over ? "written" : "refused", fresh ? "written" : "refused");
        std::fflush(stdout);
        _exit(0);
    }
    close(said[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = read(said[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<size_t>(n));
    close(said[0]);
    int status = 0;
    waitpid(child, &status, 0);
    chmod(area.c_str(), 0755);
    const std::string reason = "its folder takes no new files (Permission denied), and the file is only ever "
                               "replaced whole\n";
    const std::string expected = "Could not write \"" + area + "p.ini\": " + reason + "Could not write \"" +
                                 area + "new.ini\": " + reason + "refused refused\n";
    return (out == expected ? "both refused, each said why once" : "the writes gave\n" + out) + "; p.ini " +
           TempFolder::Read(area + "p.ini") + "; in the folder:" + NamesInOneLine(area);
}

// On a file system that keeps no locks (the stand-in's ENOLCK): another writer's temporary file lies in
// the save area, and a write of n.ini stops halfway (the test hook, two seconds) while the cleanup of
// leftover writes runs. What happened, in a save area of its own.
std::string WritesWhereNoLocksAreKept() {
    TempFolder tmp;
    const std::string area = FreshSaveArea(tmp);
    const std::string other = ".o.ini\\0123456789abcdef-0.writing";
    TempFolder::Write(area + other, "another writer's");
    RefuseLocks(true);
    static const std::string bytes(100000, 'n');
    WriteMeetsACleanup write(area, "n.ini", bytes, 0);
    const bool written = write.Written();
    RefuseLocks(false);
    std::string saw = write.cleanup + "; the other writer's file " +
                      (TempFolder::Read(area + other) == "another writer's" ? "kept" : "removed") +
                      "; the write " + (written ? "succeeded" : "failed") + ", n.ini " +
                      (TempFolder::Read(area + "n.ini") == bytes ? "whole" : "not whole") +
                      "; in the folder:";
    return saw + NamesInOneLine(area);
}

// Writes of perm.ini and inval.ini on a file system that refuses names with a backslash, with EPERM and
// with EINVAL (the stand-in). What each gave, the files it made or tried to, and the folder after.
std::string WritesWhereBackslashesAreRefused() {
    TempFolder tmp;
    const std::string area = FreshSaveArea(tmp);
    std::string saw;
    for (const auto& [error, name] :
         {std::pair<int, std::string>{EPERM, "perm.ini"}, {EINVAL, "inval.ini"}}) {
        RefuseBackslashNames(error);
        const bool written = LoadSave_WriteFile(name.c_str(), name.data(), static_cast<int>(name.size()));
        RefuseBackslashNames(0);
        saw += name + (written && TempFolder::Read(area + name) == name ? " written" : " not written") + ":";
        for (const std::string& made : TakeFilesMade())
            saw += " " + made + ",";
        saw += " ";
    }
    return saw + "in the folder:" + NamesInOneLine(area);
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
    // Each place named by its full path, with its final "/" or without it, is that place, from any folder.
    TempFolder::MakeDir(tmp / "start");
    tmp.Chdir(tmp / "start");
    for (const std::string& end : {"", "/"}) {
        EXPECT_EQ(LoadSave_SavePath((tmp / "data/Demo" + end).c_str()), Area());
        EXPECT_EQ(LoadSave_SavePath((tmp / "game" + end).c_str()), Area());
        EXPECT_EQ(LoadSave_BundlePath((tmp / "game" + end).c_str()), tmp / "game/");
        EXPECT_EQ(LoadSave_BundlePath((tmp / "game" + end + "/x").c_str()), tmp / "game/x");
    }

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

    // A refused write is said once, with its reason; a read of the name finds nothing and says nothing.
    TempFolder::Write(tmp / "escaped.txt", "outside");
    EXPECT_EQ(Captured([&] {
                  EXPECT_EQ(LoadSave_ReadSaveFile((tmp / "escaped.txt").c_str(), nullptr), nullptr);
                  EXPECT_FALSE(LoadSave_SaveFileExists((tmp / "escaped.txt").c_str()));
                  EXPECT_EQ(LoadSave_ReadPath((tmp / "escaped.txt").c_str()), "");
                  EXPECT_FALSE(LoadSave_WriteFile((tmp / "escaped.txt").c_str(), "x", 1));
              }),
              "Error! not allowing save with filename '" + tmp / "escaped.txt'\n");
    EXPECT_EQ(TempFolder::Read(tmp / "escaped.txt"), "outside");

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
        EXPECT_EQ(LoadSave_SavePath("/somewhere/Else.txt"), "/somewhere/Else.txt");
    });
    EXPECT_EQ(log, "Warning! Save location - redirected to: '" + Area() + "picked.txt'\n");

    EXPECT_EQ(LoadSave_BundlePath("/opened/file"), "");
    Support_AddChosenFile(CHOSEN_OPENED, "/opened/file");
    EXPECT_EQ(LoadSave_BundlePath("/opened/file"), "/opened/file");
}

// A pick outside the two places is that file and no other: another name for it in another case, or its
// name once it leads elsewhere (a link put in its place or in a folder's), is refused and said so, and
// nothing is written there; the picked file itself is written and read by any spelling of its name.
TEST_F(SaveAreaTest, AChosenFileIsMatchedExactly) {
    const std::string out = tmp / "outside";
    TempFolder::MakeDir(out);
    TempFolder::MakeDir(out + "/sub");
    Support_AddChosenFile(CHOSEN_SAVED, (out + "/Notes.txt").c_str());
    Support_AddChosenFile(CHOSEN_SAVED, (out + "/sub/f.txt").c_str());
    std::string log = Captured([&] {
        EXPECT_TRUE(LoadSave_WriteFile((out + "/Notes.txt").c_str(), "mine", 4));
        EXPECT_TRUE(LoadSave_WriteFile((out + "//x/../sub/./f.txt").c_str(), "f", 1));
        EXPECT_FALSE(LoadSave_WriteFile((out + "/NOTES.TXT").c_str(), "game", 4));
        EXPECT_FALSE(LoadSave_WriteFile((out + "/notes.txt").c_str(), "game", 4));
    });
    EXPECT_EQ(TempFolder::Read(out + "/Notes.txt"), "mine");
    EXPECT_EQ(TempFolder::Read(out + "/sub/f.txt"), "f");
    EXPECT_FALSE(TempFolder::Exists(out + "/NOTES.TXT"));
    EXPECT_FALSE(TempFolder::Exists(out + "/notes.txt"));
    EXPECT_EQ(log, "Error! not allowing save with filename '" + out +
                       "/NOTES.TXT': the name differs in case from the file chosen ('" + out + "/Notes.txt')\n"
                       "Error! not allowing save with filename '" + out +
                       "/notes.txt': the name differs in case from the file chosen ('" + out + "/Notes.txt')\n");

    // The picked name, and a folder of another, now lead to other files of the player's.
    TempFolder::Write(tmp / "victim.txt", "keep");
    TempFolder::MakeDir(tmp / "elsewhere");
    ASSERT_EQ(std::rename((out + "/Notes.txt").c_str(), (out + "/moved.txt").c_str()), 0);
    ASSERT_EQ(symlink((tmp / "victim.txt").c_str(), (out + "/Notes.txt").c_str()), 0);
    ASSERT_EQ(std::rename((out + "/sub").c_str(), (out + "/oldsub").c_str()), 0);
    ASSERT_EQ(symlink((tmp / "elsewhere").c_str(), (out + "/sub").c_str()), 0);
    log = Captured([&] {
        EXPECT_FALSE(LoadSave_WriteFile((out + "/Notes.txt").c_str(), "game", 4));
        EXPECT_FALSE(LoadSave_WriteFile((out + "/sub/f.txt").c_str(), "game", 4));
        EXPECT_EQ(LoadSave_ReadSaveFile((out + "/Notes.txt").c_str(), nullptr), nullptr);
    });
    EXPECT_EQ(TempFolder::Read(tmp / "victim.txt"), "keep");
    EXPECT_FALSE(TempFolder::Exists(tmp / "elsewhere/f.txt"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;
    EXPECT_NE(log.find("Error! not allowing read of filename '" + out + "/Notes.txt': the name now leads to '"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("save with filename '" + out + "/Notes.txt': the name now leads to '"), std::string::npos)
        << log;
    EXPECT_NE(log.find("save with filename '" + out + "/sub/f.txt': the name now leads to '"), std::string::npos)
        << log;

    // Reads: the file opened is read; a name in another case is refused (said once), though a file has it.
    TempFolder::Write(out + "/Level.txt", "LEVEL");
    TempFolder::Write(out + "/level.txt", "other");
    Support_AddChosenFile(CHOSEN_OPENED, (out + "/Level.txt").c_str());
    log = Captured([&] {
        int size = 0;
        uint8_t* data = LoadSave_ReadBundleFile((out + "/Level.txt").c_str(), &size);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(data), static_cast<size_t>(size)), "LEVEL");
        MEM_FREE(data);
        EXPECT_EQ(LoadSave_ReadBundleFile((out + "/level.txt").c_str(), nullptr), nullptr);
        EXPECT_FALSE(LoadSave_BundleFileExists((out + "/level.txt").c_str()));
    });
    EXPECT_EQ(log, "Error! not allowing read of filename '" + out +
                       "/level.txt': the name differs in case from the file chosen ('" + out + "/Level.txt')\n");

    // Opened names that now lead to other files, by a link in the file's place or in its folder's, are not
    // read: each refusal is said once.
    TempFolder::MakeDir(out + "/maps");
    TempFolder::Write(out + "/maps/m.txt", "MAP");
    Support_AddChosenFile(CHOSEN_OPENED, (out + "/maps/m.txt").c_str());
    ASSERT_TRUE(LoadSave_BundleFileExists((out + "/maps/m.txt").c_str()));
    ASSERT_EQ(std::rename((out + "/Level.txt").c_str(), (out + "/Level.old").c_str()), 0);
    ASSERT_EQ(symlink((tmp / "victim.txt").c_str(), (out + "/Level.txt").c_str()), 0);
    ASSERT_EQ(std::rename((out + "/maps").c_str(), (out + "/oldmaps").c_str()), 0);
    ASSERT_EQ(symlink((tmp / "elsewhere").c_str(), (out + "/maps").c_str()), 0);
    TempFolder::Write(tmp / "elsewhere/m.txt", "other");
    log = Captured([&] {
        for (const std::string name : {"/Level.txt", "/maps/m.txt"}) {
            EXPECT_EQ(ReadName(LoadSave_ReadBundleFile, out + name), "(none)") << name;
            EXPECT_FALSE(LoadSave_BundleFileExists((out + name).c_str())) << name;
        }
    });
    const auto leads = [&](const std::string& name, const std::string& now) {
        return "Error! not allowing read of filename '" + out + name + "': the name now leads to '" + now +
               "', not to the file chosen ('" + out + name + "')\n";
    };
    EXPECT_EQ(log, leads("/Level.txt", tmp / "victim.txt") + leads("/maps/m.txt", tmp / "elsewhere/m.txt"));
}

// A pick is kept in its normal form, taken from the current folder when it is relative: any spelling of
// that name matches it, and no other name does (here one that keeps a part the ".." drops).
TEST_F(SaveAreaTest, APickIsKeptInItsNormalForm) {
    const std::string out = tmp / "outside";
    TempFolder::MakeDir(out);
    TempFolder::MakeDir(out + "/sub");
    TempFolder::Write(out + "/open.txt", "opened");
    TempFolder::Write(out + "/sub/open.txt", "not picked");
    Support_AddChosenFile(CHOSEN_OPENED, (out + "/sub/.//../open.txt").c_str());
    Support_AddChosenFile(CHOSEN_SAVED, "../outside/./sub/..//saved.txt"); // from the game folder
    for (const std::string& name :
         {out + "/open.txt", out + "/sub/.//../open.txt", std::string("../outside/open.txt")})
        EXPECT_EQ(ReadName(LoadSave_ReadBundleFile, name), "opened") << name;
    EXPECT_EQ(ReadName(LoadSave_ReadBundleFile, out + "/sub/open.txt"), "(none)");

    const std::string log = Captured([&] {
        EXPECT_TRUE(LoadSave_WriteFile((out + "/saved.txt").c_str(), "saved", 5));
        EXPECT_EQ(ReadName(LoadSave_ReadSaveFile, "../outside/saved.txt"), "saved");
        EXPECT_FALSE(LoadSave_WriteFile((out + "/sub/saved.txt").c_str(), "game", 4));
    });
    EXPECT_EQ(TempFolder::Read(out + "/saved.txt"), "saved");
    EXPECT_FALSE(TempFolder::Exists(out + "/sub/saved.txt"));
    EXPECT_EQ(log, "Error! not allowing save with filename '" + out + "/sub/saved.txt'\n");
}

// Picks under the folder the runner was started in (the home folder that holds them, "/", the game's
// folder), named as the dialog gave them: each is read and written where it is, even where the save area
// holds a file at the name the mapping would give. A name the game makes up keeps the mapping, and so
// does a write to a pick of the open dialog in the game folder; one outside it is refused, as any name
// there is: the file picked to open is never written.
TEST_F(SaveAreaTest, APickUnderTheStartFolderIsThatFile) {
    TempFolder::MakeDir(tmp / "home");
    TempFolder::MakeDir(tmp / "home/Documents");
    for (const std::string& from : {tmp / "home", std::string("/"), tmp / "game"}) {
        SCOPED_TRACE("from " + from);
        const std::string picks = from == tmp / "game" ? from : tmp / "home/Documents";
        // The picks' folder named from the start folder.
        const std::string below = picks == from ? "" : picks.substr(from == "/" ? 1 : from.size() + 1) + "/";
        tmp.Chdir(from);
        Support_ClearChosenFiles();
        TempFolder::Write(picks + "/pick.ini", "picked");
        ASSERT_TRUE(LoadSave_WriteFile((below + "pick.ini").c_str(), "mapped", 6));
        Support_AddChosenFile(CHOSEN_OPENED, (picks + "/pick.ini").c_str());
        Support_AddChosenFile(CHOSEN_SAVED, (picks + "/saved.ini").c_str());
        EXPECT_EQ(ReadName(LoadSave_ReadBundleFile, picks + "/pick.ini"), "picked");
        EXPECT_EQ(ReadName(LoadSave_ReadSaveFile, picks + "/pick.ini"), "picked");
        EXPECT_EQ(
            Captured([&] { EXPECT_TRUE(LoadSave_WriteFile((picks + "/saved.ini").c_str(), "saved", 5)); }),
            "");
        EXPECT_EQ(TempFolder::Read(picks + "/saved.ini"), "saved");
        EXPECT_EQ(ReadName(LoadSave_ReadSaveFile, below + "pick.ini"), "mapped");
        const bool inGame = picks == tmp / "game";
        EXPECT_EQ(Captured([&] { EXPECT_EQ(LoadSave_WriteFile((picks + "/pick.ini").c_str(), "game", 4), inGame); }),
                  inGame ? "" : "Error! not allowing save with filename '" + picks + "/pick.ini'\n");
        EXPECT_EQ(TempFolder::Read(picks + "/pick.ini"), "picked");
        EXPECT_EQ(TempFolder::Read(Area() + below + "pick.ini"), inGame ? "game" : "mapped");
        EXPECT_EQ(ReadName(LoadSave_ReadSaveFile, picks + "/pick.ini"), "picked");
        Captured([&] {
            EXPECT_EQ(LoadSave_SavePath((below + "saved.ini").c_str()), Area() + below + "saved.ini");
        });
    }
}

// Where one place lies inside the other (a game kept in the home folder that holds the save area, or one
// installed into its own save area), a full path means the deeper place; a relative name is the game's
// own wherever the runner was started.
TEST_F(SaveAreaTest, ThePlaceAFullPathNamesIsTheDeepestThatHoldsIt) {
    tmp.SetEnv("XDG_DATA_HOME", tmp / "game/.local/share");
    LoadSave_SetGameName("Demo");
    const std::string area = tmp / "game/.local/share/Demo/";
    std::filesystem::create_directories(area);
    tmp.Chdir(area);
    for (const char* end : {"", "/"}) {
        EXPECT_EQ(LoadSave_SavePath((area.substr(0, area.size() - 1) + end).c_str()), area);
        EXPECT_EQ(LoadSave_SavePath((area + "x.ini").c_str()), area + "x.ini");
        EXPECT_EQ(LoadSave_SavePath((tmp / "game" + end).c_str()), area);
    }
    EXPECT_EQ(LoadSave_SavePath((tmp / "game/y.ini").c_str()), area + "y.ini");
    EXPECT_EQ(LoadSave_SavePath("z.ini"), area + "z.ini");
    EXPECT_EQ(LoadSave_BundlePath("g.win"), tmp / "game/g.win");

    tmp.SetEnv("XDG_DATA_HOME", tmp / "data");
    std::filesystem::create_directories(tmp / "data/Demo/game");
    LoadSave_SetGamePath((tmp / "data/Demo/game/g.win").c_str());
    tmp.Chdir("/");
    EXPECT_EQ(LoadSave_SavePath((tmp / "data/Demo/game/y.ini").c_str()), Area() + "y.ini");
    EXPECT_EQ(LoadSave_SavePath((tmp / "data/Demo/x.ini").c_str()), Area() + "x.ini");
    EXPECT_EQ(LoadSave_SavePath("sub\\z.ini"), Area() + "sub/z.ini");
    EXPECT_EQ(LoadSave_BundlePath("g.win"), tmp / "data/Demo/game/g.win");
    EXPECT_EQ(Captured([&] { EXPECT_EQ(LoadSave_SavePath("../../w.ini"), ""); }),
              "Error! not allowing save with filename '" + tmp / "data/w.ini'\n");
}

TEST_F(SaveAreaTest, GameBelowTheCurrentFolder) {
    // Run from the parent of the game folder: names are still taken from the game folder.
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

// The temporary files that writes left are removed, in every folder of the save area (not through
// links), when their lock can be taken: a file still locked by a write, in this process or in another, is
// kept, and so is whatever is not of the temporary files' form, which no game file can have (the game's
// own files named like the form that earlier runs used among them).
TEST_F(SaveAreaTest, TheTemporaryFilesThatNoWriteHoldsAreRemoved) {
    const std::string mark = "\\0123456789abcdef-";
    TempFolder::MakeDir(tmp / "data");
    TempFolder::MakeDir(Area());
    TempFolder::MakeDir(Area() + "sub");
    TempFolder::MakeDir(Area() + "sub/deeper");
    TempFolder::MakeDir(tmp / "outside");
    ASSERT_EQ(symlink((tmp / "outside").c_str(), (Area() + "out").c_str()), 0);
    const std::vector<std::string> removed = {
        ".a.ini" + mark + "0.writing", "sub/deeper/.b.sav" + mark + "12.writing", ".c" + mark + "7.writing"};
    const std::vector<std::string> held = {".d.ini" + mark + "1.writing", "sub/.e.ini" + mark + "2.writing"};
    const std::vector<std::string> kept = {".cfg~30000-1.writing",
                                           ".f.ini~0123456789abcdef-0.writing",
                                           "g" + mark + "0.writing",
                                           ".h" + mark + ".writing",
                                           ".i" + mark + "0.writing.bak",
                                           ".j\\0123456789abcdeF-0.writing",
                                           ".k\\0123456789abcde-0.writing",
                                           ".l\\00123456789abcdef-0.writing",
                                           "." + mark + "0.writing",
                                           ".m" + mark + "x0.writing",
                                           "sub/o.ini"};
    for (const std::string& name : removed)
        TempFolder::Write(Area() + name, "part");
    for (const std::string& name : held)
        TempFolder::Write(Area() + name, "held");
    for (const std::string& name : kept)
        TempFolder::Write(Area() + name, "kept");
    TempFolder::MakeDir(Area() + ".p" + mark + "0.writing");
    ASSERT_EQ(mkfifo((Area() + ".q" + mark + "0.writing").c_str(), 0644), 0);
    TempFolder::Write(tmp / ("outside/.r" + mark + "0.writing"), "elsewhere");

    // The first held file is locked by another process, the second by another open in this one.
    const auto lock = [](const std::string& path) {
        const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
        struct flock whole = {};
        whole.l_type = F_WRLCK;
        return fd >= 0 && fcntl(fd, F_OFD_SETLK, &whole) == 0 ? fd : -1;
    };
    const std::string elsewhere = Area() + held[0];
    int locked[2];
    ASSERT_EQ(pipe(locked), 0);
    const pid_t child = fork();
    if (child == 0) {
        const char answer = lock(elsewhere) >= 0 ? 'y' : 'n';
        if (write(locked[1], &answer, 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    ASSERT_GT(child, 0);
    char answer = 0;
    ASSERT_EQ(read(locked[0], &answer, 1), 1);
    close(locked[0]);
    close(locked[1]);
    const int own = lock(Area() + held[1]);
    EXPECT_EQ(answer, 'y');
    EXPECT_GE(own, 0);

    LoadSave_RemoveLeftoverWrites();
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(own);
    for (const std::string& name : removed)
        EXPECT_FALSE(TempFolder::Exists(Area() + name)) << name;
    for (const std::string& name : held)
        EXPECT_EQ(TempFolder::Read(Area() + name), "held") << name;
    for (const std::string& name : kept)
        EXPECT_EQ(TempFolder::Read(Area() + name), "kept") << name;
    EXPECT_TRUE(TempFolder::Exists(Area() + ".p" + mark + "0.writing"));
    EXPECT_TRUE(TempFolder::Exists(Area() + ".q" + mark + "0.writing"));
    EXPECT_TRUE(TempFolder::Exists(tmp / ("outside/.r" + mark + "0.writing")));

    // Once their writes have ended, their files go too.
    LoadSave_RemoveLeftoverWrites();
    for (const std::string& name : held)
        EXPECT_FALSE(TempFolder::Exists(Area() + name)) << name;
}

// What a process ending from another thread does first: it waits for the write in progress, a bounded
// time, and no later write starts.
TEST(SaveAreaWrites, HoldingThemWaitsForTheOneHalfwayAndLetsNoneStart) {
    ExpectInAFreshProcess("RUNNER_TEST_WRITE_PAUSE", "1000:slow.bin", HoldWritesWhileOneIsHalfway,
                          "a brief wait ran out, a long one held; the file whole; in the folder: slow.bin$");
}

// A write keeps its temporary file from the cleanup of leftover writes, here while it is halfway, and
// takes another name where its next one is taken; a rename that fails fails the write.
TEST(SaveAreaWrites, AWriteHalfwayKeepsItsFileFromACleanupAndFailsWhenItsRenameFails) {
    ExpectInAFreshProcess(
        "RUNNER_TEST_WRITE_PAUSE", "2000:p.ini", WritesHalfwayMeetACleanupAndAFolder,
        "the cleanup kept the write's file; the first write succeeded, p.ini new; the next "
        "write took another name, the taken name kept; with a folder in its place the second "
        "write failed and said why, the folder kept; in the folder: p.ini q.bin$");
}

// The moment between the making of a temporary file and its lock: a cleanup may remove the file then, and
// the write starts again with a new one.
TEST(SaveAreaWrites, AWriteWhoseFileACleanupTookBeforeItsLockStartsAgain) {
    ExpectInAFreshProcess(
        "RUNNER_TEST_LOCK_PAUSE", "1000:w.ini", ACleanupTakesAWritesFileBeforeItsLock,
        "the cleanup removed the write's file; the write succeeded, w.ini whole; in the folder: w.ini$");
}

// Where no temporary file can be made beside the file, nothing is written: not even over a file that
// could be written in place, which a process ended during the write would leave half new.
TEST(SaveAreaWrites, AFolderThatTakesNoNewFilesRefusesTheWrite) {
    ExpectInAFreshProcess(nullptr, nullptr, WritesIntoAFolderThatTakesNoNewFiles,
                          "both refused, each said why once; p.ini old; in the folder: p.ini$");
}

// Where the file system keeps no locks, no cleanup can tell a write in progress from an abandoned one, and
// removes neither; the writes themselves go on without the lock.
TEST(SaveAreaWrites, WhereNoLocksAreKeptAWriteWorksAndTheCleanupRemovesNothing) {
    ExpectInAFreshProcess("RUNNER_TEST_WRITE_PAUSE", "2000:n.ini", WritesWhereNoLocksAreKept,
                          "the cleanup kept the write's file; the other writer's file kept; the write "
                          "succeeded, n.ini whole; in the folder: \\.o\\.ini\\\\0123456789abcdef-0\\.writing "
                          "n\\.ini$");
}

// A file system that takes no backslash in a name, whichever error it gives, gets the file through a
// temporary file with "~" in its place.
TEST(SaveAreaWrites, WhereNamesWithABackslashAreRefusedTheTemporaryFileHasATilde) {
    const std::string made = "\\.NAME\\.ini~[0-9a-f]{16}-[0-9]+\\.writing";
    const std::string refused = "\\.NAME\\.ini\\\\[0-9a-f]{16}-[0-9]+\\.writing";
    std::string said;
    for (const std::string name : {"perm", "inval"}) {
        const auto named = [&](std::string text) { return text.replace(text.find("NAME"), 4, name); };
        said += name + "\\.ini written: refused " + named(refused) + ", made " + named(made) + ", ";
    }
    ExpectInAFreshProcess(nullptr, nullptr, WritesWhereBackslashesAreRefused,
                          said + "in the folder: inval\\.ini perm\\.ini$");
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
