#include "core/console.h"

#include "core/debug_link.h"
#include "support/fresh_process.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

TEST(Console, EachConsoleAppendsToItsOwnFileOnly) {
    TempFolder tmp;
    std::string debugLog = tmp / "debug.log", releaseLog = tmp / "release.log";
    Console_SetLogFile(1, debugLog.c_str());
    testing::internal::CaptureStdout();
    DebugConsole->Output("%s %d\n", "step", 2);
    ReleaseConsole->Output("error text\n");
    ReleaseConsole->Output(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "step 2\nerror text\n");
    EXPECT_EQ(TempFolder::Read(debugLog), "step 2\n");
    EXPECT_FALSE(TempFolder::Exists(releaseLog)) << "no \"-output\" file was named";

    // The formatted line reaches the file as it is, never taken for a format again.
    Console_SetLogFile(0, releaseLog.c_str());
    ReleaseConsole->Output("%s\n", "100% done %d %s");
    EXPECT_EQ(TempFolder::Read(releaseLog), "100% done %d %s\n");

    // A file that cannot be opened is skipped; standard output still gets the line.
    Console_SetLogFile(1, (tmp / "no/such/dir.log").c_str());
    testing::internal::CaptureStdout();
    DebugConsole->Output("still printed\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "still printed\n");
    Console_SetLogFile(0, nullptr);
    Console_SetLogFile(1, nullptr);
}

TEST(Console, AReportForBothConsolesIsPrintedOnceAndReachesBothFiles) {
    TempFolder tmp;
    const std::string debugLog = tmp / "debug.log", releaseLog = tmp / "release.log";
    Console_SetLogFile(0, releaseLog.c_str());
    Console_SetLogFile(1, debugLog.c_str());
    testing::internal::CaptureStdout();
    Console_OutputBoth("load of %s refused\n", "slot.sav");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "load of slot.sav refused\n");
    EXPECT_EQ(TempFolder::Read(debugLog), "load of slot.sav refused\n");
    EXPECT_EQ(TempFolder::Read(releaseLog), "load of slot.sav refused\n");
    Console_SetLogFile(0, nullptr);
    Console_SetLogFile(1, nullptr);
}

TEST(TErrStreamConsole, KeepsEverythingPastItsFirstBlock) {
    TErrStreamConsole err;
    std::string piece(1000, 'e'), expected;
    for (int i = 0; i < 150; ++i) {
        err.Output("%s", piece.c_str());
        expected += piece;
    }
    EXPECT_GT(err.Capacity(), 150000);
    EXPECT_EQ(std::string(err.Text()), expected);
}

namespace {

// A sink of the debug form that a line passes through before it reaches the log files: a slow one
// (a fifth of a second a line) or one that never returns.
std::atomic<int> g_sinkEntered{0};
std::atomic<bool> g_sinkNeverReturns{false};

void SlowSink(const char*) {
    g_sinkEntered.fetch_add(1);
    while (g_sinkNeverReturns.load())
        pause();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

// Another thread's line on its way out through the slow sink to the -output file log, which the thread
// is left to finish or not.
void LineThroughTheSink(const std::string& log, bool neverReturns) {
    if (!std::freopen("/dev/null", "w", stdout)) std::_Exit(3);
    Console_SetLogFile(0, log.c_str());
    g_sinkNeverReturns = neverReturns;
    DebugLink_Install(DebugLinkHooks{[] { return true; }, SlowSink, nullptr, nullptr, nullptr});
    std::thread([] { ReleaseConsole->Output("the last line, whole\n"); }).detach();
    while (g_sinkEntered.load() == 0)
        std::this_thread::yield();
}

// Console_Hold waits for the line on its way out, then lets no line start.
std::string HoldAfterTheLine() {
    TempFolder tmp;
    const std::string log = tmp / "release.log";
    LineThroughTheSink(log, false);
    const bool held = Console_Hold(5000);
    const std::string written = TempFolder::Read(log);
    std::thread([] { ReleaseConsole->Output("a line too late\n"); }).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return "held " + std::to_string(held) + ", log \"" + written + "\", sink entered " +
           std::to_string(g_sinkEntered.load()) + " times, log after " +
           (TempFolder::Read(log) == written ? "unchanged" : "changed");
}

// Console_Hold gives up on a line that never gets out.
std::string HoldAfterALineThatStays() {
    TempFolder tmp;
    LineThroughTheSink(tmp / "release.log", true);
    const auto start = std::chrono::steady_clock::now();
    const bool held = Console_Hold(200);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return "held " + std::to_string(held) + ", waited " +
           (seconds >= 0.19 && seconds < 2 ? "about 0.2 s" : std::to_string(seconds));
}

// Two threads write lines at once; what reached standard output and the log is counted.
std::string LinesOfTwoThreads() {
    TempFolder tmp;
    const std::string out = tmp / "stdout.txt", log = tmp / "release.log";
    if (!std::freopen(out.c_str(), "w", stdout)) std::_Exit(3);
    Console_SetLogFile(0, log.c_str());
    const auto write = [](char c) {
        const std::string text = "line of " + std::string(200, c);
        for (int i = 0; i < 60; ++i)
            ReleaseConsole->Output("%s\n", text.c_str());
    };
    std::thread a(write, 'a');
    std::thread b(write, 'b');
    a.join();
    b.join();
    std::fflush(stdout);
    std::string saw;
    for (const std::string& path : {out, log}) {
        std::istringstream in(TempFolder::Read(path));
        int whole = 0, mixed = 0;
        for (std::string line; std::getline(in, line);) {
            if (line == "line of " + std::string(200, 'a') || line == "line of " + std::string(200, 'b'))
                ++whole;
            else
                ++mixed;
        }
        saw += std::to_string(whole) + " whole, " + std::to_string(mixed) + " mixed; ";
    }
    return saw;
}

} // namespace

// Console_Hold is how a process ending from another thread keeps the last line whole: it waits (for a
// time at most) for the line going out, and no line starts after it.
TEST(ConsoleHold, WaitsForTheLineGoingOutAndLetsNoLaterLineStart) {
    ExpectInAFreshProcess(nullptr, nullptr, HoldAfterTheLine,
                          "held 1, log \"the last line, whole\n\", sink entered 1 times, log after unchanged");
    ExpectInAFreshProcess(nullptr, nullptr, HoldAfterALineThatStays, "held 0, waited about 0.2 s");
}

// Lines of two threads written at once reach standard output and the log file each in one piece, also
// when a log's write is split in two (the runner's test hook, which stops each line halfway).
TEST(Console, LinesOfTwoThreadsNeverMixWithinALine) {
    ExpectInAFreshProcess("RUNNER_TEST_LINE_PAUSE", "1:line of", LinesOfTwoThreads,
                          "120 whole, 0 mixed; 120 whole, 0 mixed; ");
}
