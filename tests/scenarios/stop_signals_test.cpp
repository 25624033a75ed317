// SIGINT and SIGTERM sent to games that cannot get to the end of their frame (code that never returns,
// an error box no one answers, a wait for a key), to games that are starting, and to runs held up in a
// write: a file or a console line half written, a named pipe in the save area, a standard output that
// nothing reads.
#include "scenario.h"

#include "core/files.h"
#include "support/emulator.h"
#include "support/http_server.h"
#include "support/session_processes.h"
#include "support/silent_resolver.h"
#include "support/temp_folder.h"
#include "support/virtual_x.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sched.h>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

struct StopCase {
    int signal;
    double again;   // the second signal's delay, or -1 for none
    int exitCode;   // what the run ends with
    double atLeast; // the seconds it takes after the first signal, at least and at most
    double atMost;
    bool heldPastSecondSignal = false; // a write or a line is held up past the second signal
};

// A run that should end before the grace is over (on a second signal, or by itself) is given a grace of
// ten seconds (a hook of the runner's): one that the grace ended instead would end far past the bounds
// of such runs (five seconds after the first signal at most, four after the second). Other runs have
// the usual two seconds.
constexpr const char* kLongGrace = "10000";

const char* GraceFor(const StopCase& c) {
    return c.again >= 0 || c.exitCode == 0 ? kLongGrace : "";
}

// After a second signal the run ends at once, but for a wait of a fifth of a second at most for a write
// in progress and the close of the dialogs' processes (half a second at most).
constexpr double kAtMostAfterSecondSignal = 4;
// Where a write or a line is held up past the second signal, the end waits a fifth of a second for it; a
// wait of a whole second, as after the grace, must not pass. That wait ends a whole second after the
// signal at the least, however busy the machine, while a busy machine delays the end after the fifth of
// a second: the bound lies nearer the second.
constexpr double kAtMostAfterSecondSignalPastAHeldWrite = 0.8;

void ExpectStopped(const ScenarioRun& run, const StopCase& c) {
    SCOPED_TRACE(testing::Message() << "signal " << c.signal << (c.again >= 0 ? " twice" : " once"));
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, c.exitCode) << run.errors << run.console.substr(0, 3000);
    EXPECT_GE(run.secondsAfterSignal, c.atLeast);
    EXPECT_LE(run.secondsAfterSignal, c.atMost);
    if (c.again >= 0) {
        EXPECT_GE(run.secondsAfterSecondSignal, 0) << "the run ended before the second signal";
        EXPECT_LE(run.secondsAfterSecondSignal, kAtMostAfterSecondSignal);
        // (Under the emulator, on a busy machine, the end after the second signal comes later than the
        // bound that tells its fifth of a second from a whole second.)
        if (c.heldPastSecondSignal && !RunsUnderEmulator()) {
            EXPECT_LE(run.secondsAfterSecondSignal, kAtMostAfterSecondSignalPastAHeldWrite);
        }
    }
    const std::string said = c.signal == SIGINT ? "SIGINT" : "SIGTERM";
    EXPECT_EQ(run.errors.find("The game did not end in time after " + said) != std::string::npos,
              c.exitCode != 0)
        << run.errors;
}

// The loop keeps saving the game, a file of some megabytes: the run must not end in the middle of a
// save, which would leave the file cut short.
TEST(StopSignals, CodeThatNeverReturnsIsEndedAfterTwoSecondsOrAtOnceOnASecondSignal) {
    const ScenarioGame game = OneObjectGame(
        {{0, 0,
          "global.s = string_repeat(\"x\", 8000000); game_save(\"kept.sav\"); game_save(\"big.sav\");"
          "show_debug_message(\"saved\"); while (true) game_save(\"big.sav\");"}});
    for (const StopCase& c : {StopCase{SIGINT, -1, 130, 1.9, 8}, StopCase{SIGTERM, -1, 143, 1.9, 8},
                              StopCase{SIGTERM, 0.3, 143, 0.3, 5}}) {
        ScenarioEnvironment environment{{"RUNNER_TEST_STOP_GRACE", GraceFor(c)}};
        const ScenarioRun run =
            RunDataFile(BuildScenarioGame(game), {}, 30, {}, {"data/Game/kept.sav", "data/Game/big.sav"},
                        ScenarioStop{c.signal, "saved", c.again});
        ExpectStopped(run, c);
        EXPECT_EQ(LinesStartingWith(run.log, "saved").size(), 1u) << run.log;
        ASSERT_EQ(run.files.size(), 2u);
        EXPECT_EQ(run.files[1].second.size(), run.files[0].second.size());
        EXPECT_TRUE(run.files[1].second == run.files[0].second);
    }
}

// The game's data file written into the folder, and the arguments that run it there as the scenarios
// run theirs: headless, "-noerrors", the log in game.log, the save area in data/Game.
std::vector<std::string> GameIn(const TempFolder& folder, const ScenarioGame& game) {
    const std::vector<uint8_t> bytes = BuildScenarioGame(game);
    std::ofstream(folder / "game.win", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    File_CreatePathDirectories((folder / "data/Game/").c_str());
    std::vector<std::string> arguments = {"-game", folder / "game.win", "-noerrors", "-output", folder / "game.log"};
    if (ScenarioTreeMode()) arguments.push_back("-oldexec");
    return arguments;
}

// The names in a folder that begin with prefix ("." and ".." left out).
std::vector<std::string> NamesIn(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

// The handlers are installed first; a signal at any later moment of start-up is kept for the main loop,
// which ends the game once its first room has started: the game's own end runs, and no step. (The grace
// is made long enough for the rest of a start-up on a busy machine, or under an emulator: the bound on
// the end is the other tests' concern.)
TEST(StopSignals, ASignalDuringStartUpEndsTheGameBeforeItsFirstStep) {
    const std::vector<uint8_t> bytes = BuildScenarioGame(OneObjectGame({{0, 0, "show_debug_message(\"created\");"},
                                                                        {3, 0, "show_debug_message(\"step\");"},
                                                                        {7, 3, "show_debug_message(\"game end\");"}}));
    for (const char* moment : {"handlers", "loaded", "window", "start", "room"}) {
        SCOPED_TRACE(moment);
        ScenarioEnvironment environment{{"RUNNER_TEST_SIGNAL_AT", moment}, {"RUNNER_TEST_STOP_GRACE", "60000"}};
        const ScenarioRun run = RunDataFile(bytes, {}, 90);
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, 0) << run.errors;
        EXPECT_EQ(LinesStartingWith(run.log, ""), (std::vector<std::string>{"created", "game end"}));
        EXPECT_EQ(run.errors.find("did not end in time"), std::string::npos) << run.errors;
    }
}

// A named pipe where the game writes an ini file: nothing reads it, and the write must not wait for a
// reader. It fails at once, as a folder in the way does, and the pipe stays.
TEST(StopSignals, ANamedPipeInTheSaveAreaFailsTheWriteAtOnce) {
    const std::string write = "ini_open(\"p.ini\"); ini_write_real(\"a\", \"b\", 1); ini_close();";
    const struct {
        std::string code;
        StopCase stop;
    } cases[] = {{write + "game_end();", {0, -1, 0, 0, 0}},
                 {"while (true) {" + write + "}", {SIGTERM, -1, 143, 1.9, 8}},
                 {"while (true) {" + write + "}", {SIGINT, 0.3, 130, 0.3, 5}}};
    for (const auto& c : cases) {
        TempFolder folder;
        ScenarioEnvironment environment{{"RUNNER_TEST_STOP_GRACE", GraceFor(c.stop)}};
        const std::vector<std::string> arguments =
            GameIn(folder, OneObjectGame({{3, 0, "show_debug_message(\"writing\");" + c.code}}));
        ASSERT_EQ(mkfifo((folder / "data/Game/p.ini").c_str(), 0644), 0);
        const ScenarioRun run =
            RunRunner(folder.Path(), arguments, 15, false, ScenarioStop{c.stop.signal, "writing", c.stop.again});
        if (c.stop.signal != 0) ExpectStopped(run, c.stop);
        else
            EXPECT_EQ(run.exitCode, 0) << run.errors;
        EXPECT_NE(run.console.find("Could not write \"" + folder / "data/Game/p.ini\": No such device or address\n"),
                  std::string::npos)
            << run.console.substr(0, 4000);
        struct stat st;
        ASSERT_EQ(lstat((folder / "data/Game/p.ini").c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
}

// Standard output is a pipe that nothing reads (a paused pager), and every ini_close fails on a folder
// in the way: the runner blocks as it says so. The watch waits a second at most for that line.
TEST(StopSignals, AStandardOutputNoOneReadsHoldsUpTheEndOneSecondAtMost) {
    for (const StopCase& c :
         {StopCase{SIGTERM, -1, 143, 2.8, 8}, StopCase{SIGTERM, 0.3, 143, 0.3, 5, true}}) {
        TempFolder folder;
        ScenarioEnvironment environment{{"RUNNER_TEST_STOP_GRACE", GraceFor(c)}};
        const std::vector<std::string> arguments = GameIn(
            folder, OneObjectGame({{3, 0,
                                    "show_debug_message(\"writing\"); while (true) {ini_open(\"d.ini\");"
                                    "ini_write_real(\"a\", \"b\", 1); ini_close();}"}}));
        TempFolder::MakeDir(folder / "data/Game/d.ini");
        const ScenarioRun run =
            RunRunner(folder.Path(), arguments, 30, false, ScenarioStop{c.signal, "writing", c.again, true});
        ExpectStopped(run, c);
        EXPECT_TRUE(NamesIn(folder / "data/Game", ".").empty()) << "a temporary file was left";
    }
}

// The game saves a large file, and the write stops halfway (a hook of the runner's) while the signals
// come: the end waits for it up to a second, a second signal a fifth of one, SIGKILL not at all. A write
// that did not finish leaves the old file whole, and its temporary file goes at the next start. (The
// write let finish stays halfway until the end holds the writes and goes on a tenth of a second later,
// well inside the second the end waits, whenever a busy machine sends the signal or wakes the game's
// thread: the grace bounds that end from below, and the file tells whether the write finished.)
TEST(StopSignals, ASaveInProgressAtTheEndIsLetFinishOrLeavesTheOldFileWhole) {
    const ScenarioGame game = OneObjectGame(
        {{0, 0,
          "global.s = string_repeat(\"x\", 4000000); game_save(\"kept.sav\"); game_save(\"big.sav\");"
          "show_debug_message(\"saved\"); while (true) {}"}});
    const std::string old(3000000, 'o');
    const struct {
        const char* pause; // milliseconds, or "held": until the end holds the writes
        bool oldFile;    // a big.sav from before
        StopCase stop;   // 9: SIGKILL
    } cases[] = {{"held", false, {SIGTERM, -1, 143, 1.9, 8}},
                 {"30000", true, {SIGTERM, -1, 143, 2.9, 8}},
                 {"30000", true, {SIGINT, 0.3, 130, 0.3, 5, true}},
                 {"30000", true, {SIGKILL, -1, -1, 0, 5}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "pause " << c.pause << ", signal " << c.stop.signal);
        TempFolder folder;
        const std::vector<std::string> arguments = GameIn(folder, game);
        if (c.oldFile) TempFolder::Write(folder / "data/Game/big.sav", old);
        {
            ScenarioEnvironment environment{{"RUNNER_TEST_WRITE_PAUSE", std::string(c.pause) + ":big.sav"},
                                            {"RUNNER_TEST_STOP_GRACE", GraceFor(c.stop)}};
            const ScenarioRun run = RunRunner(folder.Path(), arguments, 60, false,
                                              ScenarioStop{c.stop.signal, "big.sav\" is half written", c.stop.again});
            if (c.stop.signal == SIGKILL) {
                ASSERT_FALSE(run.timedOut);
                EXPECT_EQ(run.exitCode, -1);
            } else {
                ExpectStopped(run, c.stop);
            }
        }
        const std::string kept = TempFolder::Read(folder / "data/Game/kept.sav");
        const std::string big = TempFolder::Read(folder / "data/Game/big.sav");
        ASSERT_GT(kept.size(), 4000000u);
        if (!c.oldFile) {
            EXPECT_TRUE(big == kept) << "the save in progress did not finish whole: " << big.size() << " bytes";
            EXPECT_TRUE(NamesIn(folder / "data/Game", ".").empty());
            continue;
        }
        EXPECT_TRUE(big == old) << "the old file was not kept whole: " << big.size() << " bytes";
        EXPECT_EQ(NamesIn(folder / "data/Game", ".big.sav\\").size(), 1u);
        // The next start removes what the write left.
        GameIn(folder, OneObjectGame({{0, 0, "game_end();"}}));
        const ScenarioRun next = RunRunner(folder.Path(), arguments, 30);
        EXPECT_EQ(next.exitCode, 0) << next.errors;
        EXPECT_TRUE(NamesIn(folder / "data/Game", ".").empty());
        EXPECT_TRUE(TempFolder::Read(folder / "data/Game/big.sav") == old);
    }
}

// The game's line to the -output file stops halfway (a hook of the runner's) while the watch ends the
// run: the end waits for it, so the file's last line is whole, and no other line starts after it. The
// same when the line ends before the end waits for it (another hook delays the wait): the game's next
// line, which finds the consoles free, does not start either. (As with a save let finish, the grace
// bounds the end from below, and the log tells whether the line finished.) The line stays halfway until
// the end holds the consoles and goes on a tenth of a second later, well inside the second the end waits,
// so that neither a late signal nor a late wake of the game's thread on a busy machine changes the case.
TEST(StopSignals, TheLastLineOfTheLogIsWholeAfterTheWatchEndsTheRun) {
    const std::string line = "the first half of a line, then its marker and the second half";
    const std::vector<uint8_t> bytes =
        BuildScenarioGame(OneObjectGame({{0, 0, "while (true) show_debug_message(\"" + line + "\");"}}));
    for (const char* delay : {"", "800"}) {
        SCOPED_TRACE(testing::Message() << "delay " << delay);
        ScenarioEnvironment environment{{"RUNNER_TEST_LINE_PAUSE", "held:marker"}, {"RUNNER_TEST_HOLD_DELAY", delay}};
        const ScenarioRun run = RunDataFile(bytes, {}, 30, {}, {}, ScenarioStop{SIGTERM, "the first half", -1});
        ExpectStopped(run, StopCase{SIGTERM, -1, 143, 1.9, 8});
        EXPECT_EQ(run.log, line + "\n");
    }
}

// The game's code has ended and the runner closes what it holds, which takes longer than the grace (a
// hook of the runner's holds the closing for twenty seconds, longer than either grace): one signal then
// ends the run as it ends a game that does not end, two seconds after it; a second signal ends it at once.
TEST(StopSignals, AClosingThatOutlastsTheGraceIsEndedLikeAGame) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the closing does not depend on how the game's code ran";
    const std::vector<uint8_t> bytes = BuildScenarioGame(OneObjectGame({{0, 0, "game_end();"}}));
    for (const StopCase& c : {StopCase{SIGTERM, -1, 143, 1.9, 8}, StopCase{SIGINT, 0.5, 130, 0.5, 5}}) {
        ScenarioEnvironment environment{{"RUNNER_TEST_CLOSING_PAUSE", "20000"},
                                        {"RUNNER_TEST_STOP_GRACE", GraceFor(c)}};
        const ScenarioRun run =
            RunDataFile(bytes, {}, 30, {}, {}, ScenarioStop{c.signal, "Test hook: the closing is held", c.again});
        ExpectStopped(run, c);
    }
}

// A game that ends with a download of an image still running, held up by a stand-in of the test's own:
// a name server that never answers (in network and mount namespaces of the test's own, where it can
// make them), a server that takes the request and never answers, a body that comes a byte a second. The
// run ends soon after the game's end, as the same game without the download does, with no image event
// after the end; and a signal sent while the closing is held (a hook of the runner's holds it for a
// second, then the download is abandoned) ends it within the grace. A run that waited on the download
// would take ten seconds at least (the name server's, the resolver's two tries of five seconds; the
// others', a minute or more): both bounds lie at half that, whatever a busy machine adds to the end.
TEST(StopSignals, TheEndOfARunWaitsOnNoDownload) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the closing does not depend on how the game's code ran";
    CTestHttpServer server(CTestHttpServer::HoldingUp());
    TempFolder folder;
    std::string why;
    const bool namespaces = SilentResolverAvailable(folder.Path(), &why);
    if (!namespaces)
        std::cout << "No network namespace could be made here (" << why
                  << "): the name server that never answers is stood in for by a server that never answers\n";
    const auto game = [](const std::string& url) {
        return BuildScenarioGame(OneObjectGame(
            {{0, 0, url.empty() ? "game_end();" : "sprite_add(\"" + url + "\", 1, 0, 0, 0, 0); game_end();"},
             {7, 3, "show_debug_message(\"game end\");"},
             {7, 60, "show_debug_message(\"image event\");"}}));
    };
    const ScenarioRun plain = RunDataFile(game(""), {}, 30, {}, {}, ScenarioStop{0, "game end"});
    ASSERT_EQ(plain.exitCode, 0) << plain.errors;
    ASSERT_GE(plain.secondsAfterReady, 0);
    const struct {
        const char* name;
        std::string url;
        bool inNamespaces;
    } stands[] = {{"a name server that never answers", std::string("http://") + kSilentHost + "/a.png", true},
                  {"a server that never answers", server.Url("/silent"), false},
                  {"a body that trickles", server.Url("/trickle"), false}};
    for (const auto& stand : stands) {
        SCOPED_TRACE(stand.name);
        const bool inNamespaces = stand.inNamespaces && namespaces;
        const std::string url = stand.inNamespaces && !namespaces ? server.Url("/silent") : stand.url;
        ScenarioChildStep step(inNamespaces ? std::function<bool()>([&folder] {
            std::string reason;
            return EnterSilentResolver(folder.Path(), &reason);
        })
                                            : nullptr);
        const ScenarioRun ended = RunDataFile(game(url), {}, 30, {}, {}, ScenarioStop{0, "game end"});
        ASSERT_FALSE(ended.timedOut) << ended.console;
        EXPECT_EQ(ended.exitCode, 0) << ended.errors;
        EXPECT_EQ(LinesStartingWith(ended.log, ""), std::vector<std::string>{"game end"});
        EXPECT_GE(ended.secondsAfterReady, 0);
        EXPECT_LE(ended.secondsAfterReady, 5.0)
            << "the same game without the download ended " << plain.secondsAfterReady << " s after its end\n"
            << ended.log;

        ScenarioEnvironment environment{{"RUNNER_TEST_CLOSING_PAUSE", "1000"}};
        const ScenarioRun signalled =
            RunDataFile(game(url), {}, 30, {}, {}, ScenarioStop{SIGTERM, "Test hook: the closing is held"});
        ASSERT_FALSE(signalled.timedOut) << signalled.console;
        EXPECT_TRUE(signalled.exitCode == 0 || signalled.exitCode == 143) << signalled.exitCode;
        EXPECT_GE(signalled.secondsAfterSignal, 0);
        EXPECT_LE(signalled.secondsAfterSignal, 5.0) << signalled.log;
        EXPECT_EQ(LinesStartingWith(signalled.log, "image event"), std::vector<std::string>{});
    }
}

// Keeps the calling process (and what it starts) to one of the cores it may use, chosen by its id: its
// threads then share that core as they would on a busy machine. Left as it is where that cannot be done.
bool OnOneCore() {
    cpu_set_t own;
    if (sched_getaffinity(0, sizeof own, &own) != 0 || CPU_COUNT(&own) == 0) return true;
    int pick = static_cast<int>(getpid() % CPU_COUNT(&own));
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &own) || pick-- > 0) continue;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        sched_setaffinity(0, sizeof one, &one);
        break;
    }
    return true;
}

// A fatal error ends a game while its downloads of images are starting: setting up TLS with a server
// that takes the connection and never answers, resolving a name no server answers for, connecting to a
// port that never takes the connection. The process ends at once, with the error's exit code and
// nothing else: the transfers the end leaves running meet no clean-up of the libraries they are in, nor
// of the runner. The error comes at several steps after the downloads start, to meet them at each
// stage, and the runner has one core, so that the download threads' TLS set-up, which no stop can wake,
// outlasts the stop's wait for them even on an idle machine.
TEST(StopSignals, AFatalErrorEndsTheRunWhileDownloadsAreStarting) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "in the tree evaluator an error does not end the game";
    CTestHttpServer server(CTestHttpServer::HoldingUp());
    const CFullListener full;
    ASSERT_GT(full.Port(), 0);
    TempFolder folder;
    std::string why;
    const bool namespaces = SilentResolverAvailable(folder.Path(), &why);
    if (!namespaces) std::cout << "No network namespace could be made here (" << why << "): names are not tried\n";
    const std::string silent = "127.0.0.1:" + std::to_string(server.Port()) + "/silent";
    const std::string waiting = "127.0.0.1:" + std::to_string(full.Port()) + "/w.png";
    const std::string named = std::string(kSilentHost) + "/n.png";
    const struct {
        const char* name;
        std::vector<std::string> urls;
        bool inNamespaces;
    } stands[] = {{"servers that never answer",
                   {"https://" + silent, "https://" + silent, "https://" + silent, "https://" + silent,
                    "https://" + silent, "https://" + waiting, "http://" + silent, "http://" + waiting},
                   false},
                  {"a name server that never answers",
                   {"https://" + named, "https://" + named, "http://" + named, "https://" + named}, true}};
    for (const auto& stand : stands) {
        if (stand.inNamespaces && !namespaces) continue;
        ScenarioChildStep step([&folder, &stand] {
            std::string reason;
            return OnOneCore() && (!stand.inNamespaces || EnterSilentResolver(folder.Path(), &reason));
        });
        std::string downloads;
        for (const std::string& url : stand.urls)
            downloads += "sprite_add(\"" + url + "\", 1, 0, 0, 0, 0);";
        for (const int steps : {1, 2, 3, 5, 8, 12}) {
            SCOPED_TRACE(testing::Message() << stand.name << ", the error " << steps << " steps after");
            const ScenarioRun run = RunDataFile(
                BuildScenarioGame(OneObjectGame(
                    {{0, 0, "global.n = 0;" + downloads},
                     {3, 0,
                      "global.n += 1; if (global.n == " + std::to_string(steps) +
                          ") {show_debug_message(\"failing\"); var s; s = \"x\"; s = 1 + s;}"}})),
                {}, 30, {}, {}, ScenarioStop{0, "failing"});
            ASSERT_FALSE(run.timedOut) << run.console;
            EXPECT_EQ(run.exitCode, 255) << run.errors;
            EXPECT_NE(run.log.find("DoAdd :: Execution Error"), std::string::npos) << run.log;
            EXPECT_EQ(run.errors.find("Sanitizer"), std::string::npos) << run.errors;
            EXPECT_EQ(run.errors.find("runtime error"), std::string::npos) << run.errors;
            // The end waits for no transfer: at most a fraction of a second for the workers to wake.
            EXPECT_GE(run.secondsAfterReady, 0);
            EXPECT_LE(run.secondsAfterReady, 5.0) << run.log;
        }
        // The downloads went out: the server took requests (those over TLS are never whole requests).
        if (!stand.inNamespaces) {
            EXPECT_GT(server.Requests(), 0);
        }
    }
}

pid_t PidIn(const std::string& path) {
    return static_cast<pid_t>(std::atoi(TempFolder::Read(path).c_str()));
}

// The same, once a program has written it: one the game started just before a run that ended at once
// may not have got that far yet (ten seconds at most).
pid_t AwaitPidIn(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    pid_t pid = PidIn(path);
    for (; pid <= 0 && std::chrono::steady_clock::now() < deadline; pid = PidIn(path))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return pid;
}

// A desktop of the test's own for runs whose games show dialogs, with stand-ins first on PATH: the
// dialog tool "zenity" (a script given; it never answers) and "keeper", a program the game starts, which
// writes its id to keeper.pid and waits.
class Desktop {
public:
    explicit Desktop(const std::string& tool) : m_server("640x480x24") {
        TempFolder::MakeDir(m_folder / "bin");
        TempFolder::Write(m_folder / "bin/zenity", tool);
        TempFolder::Write(m_folder / "bin/keeper", "#!/bin/sh\necho $$ > keeper.pid\nexec sleep 60\n");
        for (const char* program : {"bin/zenity", "bin/keeper"})
            chmod((m_folder / program).c_str(), 0755);
    }
    bool Shown() const { return !m_server.Display().empty(); }
    const TempFolder& Folder() const { return m_folder; }

    // Runs the game whose one object's creation runs code, without "-noerrors", stopped as stop says;
    // hold is the dialog hook's setting ("" for none), grace the grace's ("" for the usual).
    ScenarioRun Run(const char* code, const char* hold, const ScenarioStop& stop,
                    const char* grace = "") const {
        for (const char* left : {"box.pid", "keeper.pid", "game.log"})
            std::remove((m_folder / left).c_str());
        const std::vector<uint8_t> bytes = BuildScenarioGame(OneObjectGame({{0, 0, code}}));
        std::ofstream(m_folder / "game.win", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ScenarioEnvironment environment{{"SDL_VIDEODRIVER", "x11"},
                                        {"DISPLAY", m_server.Display()},
                                        {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                                        {"PATH", m_folder / "bin:" + std::string(std::getenv("PATH"))},
                                        {"RUNNER_TEST_DIALOG_HOLD", hold},
                                        {"RUNNER_TEST_STOP_GRACE", grace}};
        return RunRunner(m_folder.Path(), {"-game", m_folder / "game.win", "-output", m_folder / "game.log"}, 30,
                         false, stop);
    }

private:
    TempFolder m_folder;
    VirtualXServer m_server;
};

// On a desktop, without "-noerrors": the error box is shown by a process of its own, the desktop's dialog
// tool (here a stand-in that never answers and, like a copy of the runner drawing the box, is not ended
// by SIGTERM or SIGINT) or a copy of the runner that SDL draws it in (SDL starts the copy first, and the
// tool when the copy cannot draw the box). Whichever it is, and whatever moment the end comes at (a hook
// of the runner's holds the box's thread before it starts a process, or while the start is under way,
// or the new process as it starts), the box is closed along with the run, with what its process
// started, and has ended when the run has, and a program that the game started before it is left
// running: of the processes the run started, only that program is left. A file dialog's tool is closed
// the same way. A wait for a key ends with the run as the close box ends it.
TEST(StopSignals, AnErrorBoxNoOneAnswersIsClosedAndAWaitForAKeyEnds) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the box and the wait do not depend on how the game's code runs";
    // The tool starts a process of its own as well, which goes with it.
    const Desktop desktop("#!/bin/sh\ntrap '' TERM INT HUP\necho $$ > box.pid\nsleep 60 > /dev/null &\n"
                          "echo 'the box is shown' >> game.log\nexec sleep 60\n");
    if (!desktop.Shown()) GTEST_SKIP() << "Xvfb could not be started";
    const TempFolder& folder = desktop.Folder();
    const char* failing = "execute_program(\"keeper\", \"\", false); show_debug_message(\"failing\");"
                          "var s; s = \"x\"; s = s + 1;";
    const char* waiting = "show_debug_message(\"waiting\"); keyboard_wait(); show_debug_message(\"waited\");";
    const char* asking = "execute_program(\"keeper\", \"\", false); get_open_filename(\"All|*.*\", \"\");";
    const struct {
        const char* code;
        const char* hold; // the hook's moment and process, "" for none
        const char* ready;
        StopCase stop;
        bool tool; // only where SDL shows the box with the tool
    } cases[] = {{failing, "", "failing", {SIGTERM, -1, 143, 1.9, 8}, false},
                 {failing, "", "failing", {SIGINT, 0.3, 130, 0.3, 5}, false},
                 {failing, "", "the box is shown", {SIGTERM, 0, 143, 0, 5}, true},
                 {failing, "fork:1", "dialog process 1 is held", {SIGTERM, 0, 143, 0, 5}, false},
                 {failing, "child:1", "dialog process 1 is held", {SIGINT, 0, 130, 0, 5}, false},
                 {failing, "fork:2", "dialog process 2 is held", {SIGINT, 0, 130, 0, 5}, true},
                 {failing, "child:2", "dialog process 2 is held", {SIGTERM, 0, 143, 0, 5}, true},
                 {asking, "", "the box is shown", {SIGINT, 0, 130, 0, 5}, false},
                 {asking, "start:1", "dialog process 1 is held", {SIGTERM, 0, 143, 0, 5}, false},
                 {waiting, "", "waiting", {SIGINT, -1, 0, 0, 5}, false},
                 {waiting, "", "waiting", {SIGTERM, -1, 0, 0, 5}, false}};
    bool toolShowsTheBox = false;
    for (const auto& c : cases) {
        if (c.tool && !toolShowsTheBox) continue;
        SCOPED_TRACE(testing::Message() << c.ready << ", hold \"" << c.hold << "\"");
        const ScenarioRun run =
            desktop.Run(c.code, c.hold, ScenarioStop{c.stop.signal, c.ready, c.stop.again}, GraceFor(c.stop));
        ExpectStopped(run, c.stop);
        if (c.stop.exitCode == 0) {
            EXPECT_EQ(LinesStartingWith(run.log, "waited").size(), 1u) << run.log;
            EXPECT_TRUE(RunningInSession(run.processId).empty());
            continue;
        }
        // The first run shows the box without a hook, long enough for either way of showing it.
        if (&c == &cases[0]) toolShowsTheBox = PidIn(folder / "box.pid") > 0;
        const pid_t keeper = AwaitPidIn(folder / "keeper.pid");
        EXPECT_GT(keeper, 0) << "the game's program did not start";
        const std::vector<pid_t> left = RunningInSession(run.processId);
        EXPECT_EQ(left, std::vector<pid_t>{keeper}) << "the box is still open, or the game's program was ended";
        for (const pid_t pid : left)
            kill(pid, SIGKILL);
    }
    if (!toolShowsTheBox) std::cout << "SDL drew the box itself: the moments of the tool's start were not tried\n";
}

// The runner is killed outright (SIGKILL: nothing of its own runs) while a file dialog is open: the
// dialog tool, a stand-in that SIGTERM, SIGINT and SIGHUP do not end (as a tool may catch them), ends with
// it all the same, and a second later nothing of the run is left.
TEST(StopSignals, AFileDialogEndsWithARunnerKilledOutright) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the dialog does not depend on how the game's code runs";
    const Desktop desktop("#!/bin/sh\ntrap '' TERM INT HUP\necho $$ > box.pid\n"
                          "echo 'the box is shown' >> game.log\nexec sleep 60\n");
    if (!desktop.Shown()) GTEST_SKIP() << "Xvfb could not be started";
    const ScenarioRun run =
        desktop.Run("get_save_filename(\"All|*.*\", \"\");", "", ScenarioStop{SIGKILL, "the box is shown"});
    ASSERT_FALSE(run.timedOut) << run.console;
    const pid_t tool = PidIn(desktop.Folder() / "box.pid");
    ASSERT_GT(tool, 0) << "the dialog tool did not start";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    std::vector<pid_t> left = RunningInSession(run.processId);
    while (!left.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        left = RunningInSession(run.processId);
    }
    EXPECT_TRUE(left.empty()) << left.size() << " processes of the run are left; the dialog tool is "
                              << (kill(tool, 0) == 0 ? "still running" : "gone");
    for (const pid_t pid : left)
        kill(pid, SIGKILL);
}

} // namespace
