#include "core/console.h"
#include "data/general_info.h"
#include "graphics/frame/profiler.h"
#include "io/input.h"
#include "platform/platform.h"
#include "runner/command_line.h"
#include "script/compiler/compile.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override { CommandLine_State().Runner_Switches = RunnerSwitches(); }
    void TearDown() override {
        CommandLine_State().Runner_Switches = RunnerSwitches();
        CodeError_State().Code_ShowErrors = true;
        Platform_SetUnattended(false);
        Console_SetLogFile(0, nullptr);
        Console_SetLogFile(1, nullptr);
        Input_State().IO_State.mode = IOMode::Off;
    }
};

TEST_F(CommandLineTest, LongLinesAndLongTokensAreCutNeverOverrun) {
    EXPECT_EQ(CommandLine_Cut(std::string(8192, 'a')).size(), 8192u); // exactly the buffer: whole
    EXPECT_EQ(CommandLine_Cut(std::string(8193, 'a')).size(), 8191u);
    const std::string longToken(5000, 'x');
    std::string token;
    size_t end = GetNextToken(0, "  " + longToken + " -trace", token);
    EXPECT_EQ(token.size(), 4095u);
    GetNextToken(end, "  " + longToken + " -trace", token);
    EXPECT_EQ(token, "-trace"); // the rest of the long token was read and dropped
}

TEST_F(CommandLineTest, ArgumentsWithBlanksComeBackWhole) {
    const char* argv[] = {"runner", "-game", "/a folder/my game.win", "-noerrors"};
    EXPECT_EQ(ParseCommandLine(CommandLine_FromArguments(4, argv)), "/a folder/my game.win");
    EXPECT_TRUE(CommandLine_State().Runner_Switches.noErrors);
}

TEST_F(CommandLineTest, DebugAndGameActOnlyWhileNoGameIsKnown) {
    EXPECT_EQ(ParseCommandLine("runner -debug -game first.win -game second.win -debug"), "first.win");
    EXPECT_TRUE(CommandLine_State().Runner_Switches.debugMode);
    EXPECT_EQ(Profiler_State().Debug_Flags, kDebugShowFPS);

    CommandLine_State().Runner_Switches = RunnerSwitches();
    // "data.win" beside the executable
    EXPECT_EQ(ParseCommandLine("runner -game other.win -debug", std::string("data.win")), "data.win");
    EXPECT_FALSE(CommandLine_State().Runner_Switches.debugMode);
}

// The game file the parse gives on to the start-up: none without one, empty for a "-game" that names
// no file (a switch after it is a switch).
TEST_F(CommandLineTest, TheParseGivesTheGameFileOn) {
    EXPECT_EQ(ParseCommandLine("runner -debug -game first.win -game second.win"), "first.win");
    CommandLine_State().Runner_Switches = RunnerSwitches();
    EXPECT_EQ(ParseCommandLine("runner -noerrors"), std::nullopt);
    CommandLine_State().Runner_Switches = RunnerSwitches();
    EXPECT_EQ(ParseCommandLine("runner -game -noerrors"), "");
    EXPECT_TRUE(CommandLine_State().Runner_Switches.noErrors);
}

TEST_F(CommandLineTest, RecordThenPlaybackKeepsBothFlagsAndTheLastName) {
    ParseCommandLine("runner -record one.rec -playback two.rec -output");
    EXPECT_TRUE(CommandLine_State().Runner_Switches.record);
    EXPECT_TRUE(CommandLine_State().Runner_Switches.playback);
    EXPECT_EQ(CommandLine_State().Runner_Switches.recordFile, "two.rec");
    EXPECT_TRUE(CommandLine_State().Runner_Switches.outputFile); // last, with no name: an empty one
    EXPECT_EQ(CommandLine_State().Runner_Switches.outputName, "");
    EXPECT_EQ(Input_State().IO_State.mode, IOMode::Playback);
}

TEST_F(CommandLineTest, NoErrorsHoldsThroughTheOptionsReset) {
    ParseCommandLine("runner -noerrors");
    Options_Clear();
    EXPECT_FALSE(CodeError_State().Code_ShowErrors);
    EXPECT_FALSE(Platform_IsInteractive());
}

TEST(UnpackAtFiles, FilesLandOnlyInFoldersBelowWithoutReplacingAnything) {
    TempFolder folder;
    const std::string& d = folder.Path();
    TempFolder::Write(folder / "a@b@f.txt", "moved");
    TempFolder::Write(folder / "..@..@x", "up");
    TempFolder::Write(folder / "@etc@y", "root");
    TempFolder::Write(folder / "a@.@z", "dot");
    TempFolder::Write(folder / "k@kept", "new");
    TempFolder::MakeDir(folder / "k");
    TempFolder::Write(folder / "k/kept", "old");
    TempFolder::Write(folder / "ro@file", "read-only");
    chmod((folder / "ro@file").c_str(), 0444);
    TempFolder::MakeDir(folder / "dir@sub");
    ASSERT_EQ(symlink("/etc/hostname", (folder / "link@name").c_str()), 0);

    UnpackAtFiles(d);

    EXPECT_EQ(TempFolder::Read(folder / "a/b/f.txt"), "moved");
    EXPECT_FALSE(TempFolder::Exists(folder / "a@b@f.txt"));
    for (const char* stays : {"..@..@x", "@etc@y", "a@.@z", "k@kept", "ro@file", "dir@sub", "link@name"})
        EXPECT_TRUE(TempFolder::Exists(folder / stays)) << stays;
    EXPECT_EQ(TempFolder::Read(folder / "k/kept"), "old");
    EXPECT_FALSE(TempFolder::Exists(folder / "link"));
    EXPECT_FALSE(TempFolder::Exists(folder / "ro"));
}

} // namespace
