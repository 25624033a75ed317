#include "core/console.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

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
