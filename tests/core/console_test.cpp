#include "core/console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ConsoleLogTest : public testing::Test {
protected:
    void SetUp() override {
        std::string base = testing::TempDir() + "console_" + std::to_string(getpid());
        debugPath = base + "_debug.log";
        releasePath = base + "_release.log";
        std::remove(debugPath.c_str());
        std::remove(releasePath.c_str());
    }
    void TearDown() override {
        Console_SetLogFile(0, nullptr);
        Console_SetLogFile(1, nullptr);
        std::remove(debugPath.c_str());
        std::remove(releasePath.c_str());
    }
    std::string debugPath, releasePath;
};

} // namespace

TEST_F(ConsoleLogTest, EachConsoleAppendsToItsOwnFileOnly) {
    Console_SetLogFile(1, debugPath.c_str());
    testing::internal::CaptureStdout();
    DebugConsole->Output("Code_Load()\n");
    DebugConsole->Output("%s %d\n", "step", 2);
    ReleaseConsole->Output("error text\n");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Code_Load()\nstep 2\nerror text\n");
    EXPECT_EQ(ReadFile(debugPath), "Code_Load()\nstep 2\n");
    EXPECT_EQ(ReadFile(releasePath), "") << "no \"-output\" file was named";

    Console_SetLogFile(0, releasePath.c_str());
    testing::internal::CaptureStdout();
    ReleaseConsole->Output("%s\n", "100% done %d %s");
    ReleaseConsole->Output(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "100% done %d %s\n");
    EXPECT_EQ(ReadFile(releasePath), "100% done %d %s\n") << "the line is never formatted twice";
}

TEST_F(ConsoleLogTest, UnopenableFileIsSkippedAndLongLinesAreCutForTheFile) {
    Console_SetLogFile(1, (testing::TempDir() + "no_such_dir/x/debug.log").c_str());
    testing::internal::CaptureStdout();
    DebugConsole->Output("still printed\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "still printed\n");

    Console_SetLogFile(1, debugPath.c_str());
    std::string longLine(5000, 'x');
    testing::internal::CaptureStdout();
    DebugConsole->Output("%s", longLine.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), longLine);
    EXPECT_EQ(ReadFile(debugPath), std::string(TConsole::kLineSize - 1, 'x'));
}

TEST(TErrStreamConsole, KeepsEverythingAndGrowsByTheNewTextPlus1024) {
    TErrStreamConsole err;
    EXPECT_EQ(err.Capacity(), 102400);
    EXPECT_STREQ(err.Text(), "");
    std::string chunk(999, 'e');
    std::string expected;
    int capacity = 102400;
    for (int i = 0; i < 150; ++i) {
        std::string piece = chunk + std::to_string(i % 10);
        if (static_cast<int>(expected.size() + piece.size()) + 2 >= capacity)
            capacity += static_cast<int>(piece.size()) + 1024;
        err.Output("%s", piece.c_str());
        expected += piece;
    }
    EXPECT_EQ(err.Capacity(), capacity);
    EXPECT_GT(capacity, 102400);
    EXPECT_EQ(std::string(err.Text()), expected);

    TErrStreamConsole cut;
    std::string huge(20000, 'h');
    cut.Output("%s%%", huge.c_str());
    EXPECT_EQ(std::string(cut.Text()), std::string(TErrStreamConsole::kFormatSize - 1, 'h'));
}
