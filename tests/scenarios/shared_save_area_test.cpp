// Two copies of the runner writing into one save area, the one in a PID namespace of its own (as a
// container or a sandboxed launcher runs a game), where neither can see the other's process.
#include "scenario.h"

#include "core/files.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// A game's data file written as folder/game.win, and the arguments that run it there as the scenarios run
// theirs: headless, "-noerrors", the log in folder/game.log.
std::vector<std::string> GameIn(const std::string& folder, const ScenarioGame& game) {
    const std::vector<uint8_t> bytes = BuildScenarioGame(game);
    TempFolder::MakeDir(folder);
    std::ofstream(folder + "/game.win", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::vector<std::string> arguments = {"-game", folder + "/game.win", "-noerrors", "-output",
                                          folder + "/game.log"};
    if (ScenarioTreeMode()) arguments.push_back("-oldexec");
    return arguments;
}

struct StartedRun {
    pid_t process = -1;        // ends with the runner's exit code; the id of its process group too
    bool ownNamespace = false; // the runner runs in a PID namespace of its own
};

int ExitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Starts the runner in folder with the arguments and the environment variables, its standard output and
// error in stdout.txt and stderr.txt there, and returns at once. Where this process may make namespaces
// (as root), the runner is the second process of a PID namespace of its own, with its own /proc; else it
// runs in this one.
StartedRun StartInPidNamespace(const std::string& folder, std::vector<std::string> arguments,
                               const std::vector<std::pair<std::string, std::string>>& environment) {
    arguments.insert(arguments.begin(), RUNNER_EXECUTABLE);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string out = folder + "/stdout.txt", err = folder + "/stderr.txt";
    int told[2];
    if (pipe2(told, O_CLOEXEC) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (chdir(folder.c_str()) != 0 || outFd < 0 || errFd < 0) _exit(120);
        dup2(outFd, 1);
        dup2(errFd, 2);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("LP_NUM_THREADS", "0", 1);
        setenv("ASAN_OPTIONS", "detect_leaks=1:intercept_tls_get_addr=0", 1);
        for (const auto& [name, value] : environment)
            setenv(name.c_str(), value.c_str(), 1);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        const bool own = unshare(CLONE_NEWPID | CLONE_NEWNS) == 0;
        if (write(told[1], own ? "y" : "n", 1) != 1) _exit(122);
        if (!own) {
            execv(argv[0], argv.data());
            _exit(121);
        }
        const pid_t init = fork();
        if (init == 0) {
            // Process 1 of the new namespace; /proc shows the namespace's processes, and this process's
            // mounts stay its own.
            if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0)
                mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr);
            const pid_t runner = fork();
            if (runner == 0) {
                execv(argv[0], argv.data());
                _exit(121);
            }
            int status = 0;
            waitpid(runner, &status, 0);
            _exit(ExitCodeOf(status));
        }
        int status = 0;
        waitpid(init, &status, 0);
        _exit(ExitCodeOf(status));
    }
    close(told[1]);
    char answer = 'n';
    const bool said = read(told[0], &answer, 1) == 1;
    close(told[0]);
    return {child, said && answer == 'y'};
}

// Waits up to timeoutSeconds for the run to end; its exit code, or -1 (the run killed) when it did not.
int AwaitRun(const StartedRun& run, int timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    while (waitpid(run.process, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(-run.process, SIGKILL);
            waitpid(run.process, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ExitCodeOf(status);
}

// The names in a folder that hold part ("." and ".." left out).
std::vector<std::string> NamesHolding(const std::string& folder, const std::string& part) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && name.find(part) != std::string::npos) names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

// Runner A saves a large game, and the save stops halfway (a hook of the runner's) for long enough that
// runner B, started meanwhile on the same save area, cleans up what earlier runs left there, saves an ini
// file of its own, reads the game's own file named like a temporary file, and ends. A's save then goes on
// and arrives whole, as does B's; the game's files named like temporary files stay.
TEST(SharedSaveArea, TwoRunnersInDifferentPidNamespacesBothFinishTheirSaves) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the saves do not depend on how the game's code runs";
    constexpr int kPauseSeconds = 10;
    TempFolder folder;
    const std::string area = folder / "data/Game/";
    File_CreatePathDirectories(area.c_str());
    // What earlier runs of the game left: its own files, named as temporary files are and were.
    TempFolder::Write(area + ".cfg~30000-1.writing", "[s]\r\nk=kept\r\n");
    TempFolder::Write(area + ".old.sav~30000-0.writing", "earlier");

    const std::vector<std::string> a =
        GameIn(folder / "a",
               OneObjectGame({{0, 0,
                               "global.s = string_repeat(\"a\", 1000000); game_save(\"kept.sav\");"
                               "game_save(\"a.sav\"); show_debug_message(\"a saved\"); game_end();"}}));
    const std::vector<std::string> b =
        GameIn(folder / "b",
               OneObjectGame({{0, 0,
                               "ini_open(\"b.ini\"); ini_write_string(\"s\", \"k\", \"b\"); ini_close();"
                               "ini_open(\".cfg~30000-1.writing\");"
                               "show_debug_message(\"cfg \" + ini_read_string(\"s\", \"k\", \"gone\"));"
                               "ini_close(); game_end();"}}));
    const StartedRun runA =
        StartInPidNamespace(folder / "a", a,
                            {{"XDG_DATA_HOME", folder / "data"},
                             {"RUNNER_TEST_WRITE_PAUSE", std::to_string(kPauseSeconds * 1000) + ":a.sav"}});
    ASSERT_GT(runA.process, 0);
    if (!runA.ownNamespace)
        std::cout
            << "No PID namespace could be made here: runner A runs in this one, and the test covers the "
               "lock between two processes of one namespace only.\n";
    const auto halfway = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (TempFolder::Read(folder / "a/game.log").find("a.sav\" is half written") == std::string::npos &&
           std::chrono::steady_clock::now() < halfway)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto started = std::chrono::steady_clock::now();

    ScenarioEnvironment environment{{"XDG_DATA_HOME", folder / "data"}};
    const ScenarioRun runB = RunRunner(folder / "b", b, 60);
    // B must have run its start while A's save was halfway, or the test saw nothing.
    const bool overlapped =
        std::chrono::steady_clock::now() - started < std::chrono::seconds(kPauseSeconds - 2) &&
        !TempFolder::Exists(area + "a.sav");
    const int exitA = AwaitRun(runA, kPauseSeconds + 60);
    const std::string logA = TempFolder::Read(folder / "a/game.log");
    const std::string consoleA = TempFolder::Read(folder / "a/stdout.txt");

    EXPECT_TRUE(overlapped) << "runner B did not end within " << kPauseSeconds - 2
                            << " seconds of A's save going halfway";
    EXPECT_EQ(exitA, 0) << TempFolder::Read(folder / "a/stderr.txt");
    EXPECT_EQ(LinesStartingWith(logA, "a saved").size(), 1u) << logA;
    EXPECT_EQ(consoleA.find("Could not write"), std::string::npos) << consoleA.substr(0, 4000);
    const std::string kept = TempFolder::Read(area + "kept.sav");
    EXPECT_GT(kept.size(), 1000000u);
    EXPECT_TRUE(TempFolder::Read(area + "a.sav") == kept) << "A's save is not whole";

    EXPECT_FALSE(runB.timedOut);
    EXPECT_EQ(runB.exitCode, 0) << runB.errors;
    EXPECT_EQ(LinesStartingWith(runB.log, "cfg "), std::vector<std::string>{"kept"}) << runB.log;
    EXPECT_EQ(TempFolder::Read(area + "b.ini"), "[s]\r\nk=b\r\n");
    EXPECT_EQ(TempFolder::Read(area + ".old.sav~30000-0.writing"), "earlier");
    EXPECT_TRUE(NamesHolding(area, "\\").empty()) << "a temporary file was left";
}

} // namespace
