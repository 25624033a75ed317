#include "io/programs.h"

#include "io/message_pump.h"
#include "io/support_builtins.h"
#include "platform/platform.h"
#include "script/functions.h"
#include "support/emulator.h"
#include "support/fake_world.h"
#include "support/game_folders.h"
#include "support/owned_text.h"
#include "support/run_code.h"
#include "support/temp_folder.h"
#include "world/action_builtins.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Words = std::vector<std::string>;

// Waits up to two seconds for a file that a program started without waiting writes.
std::string ReadWhenWritten(const std::string& path) {
    for (int i = 0; i < 200 && TempFolder::Read(path).empty(); ++i)
        usleep(10000);
    return TempFolder::Read(path);
}

} // namespace

TEST(SupportProcess, WordsAreSplitAsAShellSplitsThemWithoutExpanding) {
    EXPECT_EQ(Support_SplitWords(nullptr), Words{});
    EXPECT_EQ(Support_SplitWords("  a\tb\n c  "), (Words{"a", "b", "c"}));
    EXPECT_EQ(Support_SplitWords("\"two words\" 'it''s' \"\" ''"), (Words{"two words", "its", "", ""}));
    EXPECT_EQ(Support_SplitWords("a\\ b \\\"q\\\" 'x\\y' \"\\$HOME \\q\""),
              (Words{"a b", "\"q\"", "x\\y", "$HOME \\q"}));
    EXPECT_EQ(Support_SplitWords("$HOME * ; | `ls` a\\\nb"), (Words{"$HOME", "*", ";", "|", "`ls`", "ab"}));
    // An unclosed quote runs to the end.
    EXPECT_EQ(Support_SplitWords("one \"open quote"), (Words{"one", "open quote"}));
}

TEST(SupportProcess, ProgramsStartWithoutAShell) {
    TempFolder tmp;
    // Exit code 259 once made the wait loop spin for ever.
    EXPECT_TRUE(Support_ExecuteProgram("/bin/sh", "-c \"sleep 0.2; exit 259\"", nullptr, true));
    // Arguments are not interpreted by a shell: the ";" reaches the program as text.
    EXPECT_TRUE(Support_ExecuteProgram("/bin/sh", "-c 'echo \"$0\" > out' a;b", tmp.Path().c_str(), true));
    EXPECT_EQ(TempFolder::Read(tmp / "out"), "a;b\n");
    // (qemu-user runs the spawn's child as a fork, not sharing its parent's memory, so a start that fails
    // in the child is not reported back and reads as started.)
    if (!RunsUnderEmulator()) {
        EXPECT_FALSE(Support_ExecuteProgram((tmp / "missing-program").c_str(), nullptr, nullptr, true));
        EXPECT_FALSE(Support_ExecuteProgram("no-such-program-anywhere", nullptr, nullptr, true));
    }
    EXPECT_FALSE(Support_ExecuteProgram(nullptr, nullptr, nullptr, false));
    EXPECT_FALSE(Support_ExecuteProgram("", nullptr, nullptr, false));

    // A program whose name holds a blank runs as named; a quoted name that is no file is split as words.
    TempFolder::Write(tmp / "my tool.sh", "#!/bin/sh\necho \"$1\" > \"$2\"\n");
    chmod((tmp / "my tool.sh").c_str(), 0755);
    EXPECT_TRUE(
        Support_ExecuteProgram((tmp / "my tool.sh").c_str(), "\"two words\" r1", tmp.Path().c_str(), true));
    EXPECT_EQ(TempFolder::Read(tmp / "r1"), "two words\n");
    EXPECT_TRUE(Support_ExecuteProgram(("'" + tmp / "my tool.sh" + "' first").c_str(), "r2",
                                       tmp.Path().c_str(), true));
    EXPECT_EQ(TempFolder::Read(tmp / "r2"), "first\n");
    // Texts over 1,024 bytes start nothing.
    EXPECT_FALSE(Support_ExecuteProgram("/bin/true", std::string(1100, 'a').c_str(), nullptr, true));
    EXPECT_FALSE(Support_ExecuteProgram(std::string(1100, '/').c_str(), nullptr, nullptr, true));

    ASSERT_TRUE(
        Support_ShellExecute((tmp / "my tool.sh").c_str(), "\"two words\" result", tmp.Path().c_str()));
    EXPECT_EQ(ReadWhenWritten(tmp / "result"), "two words\n");
    EXPECT_FALSE(Support_ShellExecute(std::string(1100, 'x').c_str(), nullptr, nullptr));
}

// The quit message (the window was closed) ends a wait that the main loop began; the program goes on.
TEST(SupportProcess, ClosingTheGameEndsTheWait) {
    MessagePump_State().Run_Running = 1;
    Platform_PostMessage(WM_QUIT);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Support_ExecuteProgram("sleep", "3", nullptr, true));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(MessagePump_State().Run_Running, 0);
}

TEST(SupportParams, CommandLineItems) {
    const char* argv[] = {"runner", "-game", "caf\xC3\xA9 game.win"};
    Param_SetCommandLine(3, argv);
    EXPECT_EQ(Param_Count(), 3);
    EXPECT_EQ(Take(Param_String(2)), "caf\xC3\xA9 game.win");
    EXPECT_EQ(Take(Param_String(3)), "");
    EXPECT_EQ(Take(Param_String(-1)), "");
    // A long item is cut to 1,023 bytes, never inside a character.
    std::string accents = "a";
    for (int i = 0; i < 700; ++i)
        accents += "\xC3\xA9";
    const char* longArgv[] = {"runner", accents.c_str()};
    Param_SetCommandLine(2, longArgv);
    EXPECT_EQ(Take(Param_String(1)), accents.substr(0, 1023));
    Param_SetCommandLine(0, nullptr);
    EXPECT_EQ(Param_Count(), 0);
}

class ProgramBuiltins : public ::testing::Test {
protected:
    void SetUp() override {
        Code_Function_Free();
        Support_AddFunctions();
        self = world.Add(100001, 0);
        ScriptWorld_Install(&world);
        TakeFatalErrors();
        tmp.Chdir(tmp.Path());
    }
    void TearDown() override {
        ScriptWorld_Install(nullptr);
        Code_Function_Free();
    }
    std::string Run(const std::string& program) {
        return CompileAndRun(program, FakeWorld::AsInstance(self));
    }

    TempFolder tmp;
    FakeWorld world;
    FakeInstance* self = nullptr;
};

TEST_F(ProgramBuiltins, ProgramsDocumentsAndTheCommandLineFromSource) {
    // With wait set the call returns after the program has ended.
    EXPECT_EQ(Run("return execute_program(\"/bin/sh\", \"-c 'sleep 0.3; echo done > ended'\", 1)"), "1");
    EXPECT_EQ(TempFolder::Read(tmp / "ended"), "done\n");
    if (!RunsUnderEmulator()) { // (where a failed start reads as started: see above)
        EXPECT_EQ(Run("return execute_program(\"no-such-program-anywhere\", \"\", 1)"), "0");
    }
    EXPECT_EQ(Run("return execute_program(5, \"\", 0)"), "0");

    // A document or URL goes to the desktop's opener as its one argument.
    TempFolder::MakeDir(tmp / "bin");
    TempFolder::Write(tmp / "bin/xdg-open",
                      "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > \"" + tmp / "opened" + "\"\n");
    chmod((tmp / "bin/xdg-open").c_str(), 0755);
    tmp.SetEnv("PATH", tmp / "bin:" + std::getenv("PATH"));
    EXPECT_EQ(Run("return execute_shell(\"http://example.com/a b?x=1&y=$HOME;ls\", \"extra words\")"), "1");
    EXPECT_EQ(ReadWhenWritten(tmp / "opened"), "1|http://example.com/a b?x=1&y=$HOME;ls|");

    const char* argv[] = {"runner", "-game", "g.win"};
    Param_SetCommandLine(3, argv);
    EXPECT_EQ(Run("return parameter_count()"), "3");
    EXPECT_EQ(Run("return parameter_string(0) + parameter_string(2.4) + parameter_string(3)"),
              "'runnerg.win'");
    Param_SetCommandLine(0, nullptr);
}

// A document or program of the game's (execute_shell, execute_program, the web-page action) is its file
// in the save area or the game folder, wherever the runner was started; a name the game has no file for
// goes to the opener as it is.
TEST_F(ProgramBuiltins, TheGamesDocumentsAndProgramsAreItsOwnFilesFromAnyFolder) {
    GameFolders folders;
    TempFolder::MakeDir(folders.Temp("start"));
    folders.Folder().Chdir(folders.Temp("start"));
    TempFolder::Write(folders.Game("manual.txt"), "m");
    TempFolder::MakeDir(folders.Temp("data"));
    TempFolder::MakeDir(folders.Save(""));
    TempFolder::Write(folders.Save("notes.txt"), "n");
    TempFolder::Write(folders.Game("tool.sh"), "#!/bin/sh\necho \"$1\" > \"$2\"\n");
    chmod(folders.Game("tool.sh").c_str(), 0755);
    TempFolder::MakeDir(tmp / "bin");
    TempFolder::Write(tmp / "bin/xdg-open", "#!/bin/sh\nprintf '%s|' \"$@\" >> \"" + tmp / "opened" + "\"\n");
    chmod((tmp / "bin/xdg-open").c_str(), 0755);
    tmp.SetEnv("PATH", tmp / "bin:" + std::getenv("PATH"));

    EXPECT_EQ(Run("return execute_shell(\"manual.txt\", \"\")"), "1");
    EXPECT_EQ(ReadWhenWritten(tmp / "opened"), folders.Game("manual.txt") + "|");
    std::remove((tmp / "opened").c_str());
    EXPECT_EQ(Run("return execute_shell(\"notes.txt\", \"\")"), "1");
    EXPECT_EQ(ReadWhenWritten(tmp / "opened"), folders.Save("notes.txt") + "|");
    std::remove((tmp / "opened").c_str());
    EXPECT_EQ(Run("return execute_shell(\"elsewhere.txt\", \"\")"), "1");
    EXPECT_EQ(ReadWhenWritten(tmp / "opened"), "elsewhere.txt|");
    std::remove((tmp / "opened").c_str());
    InitActionFunctions();
    Run("action_webpage(\"manual.txt\")");
    EXPECT_EQ(ReadWhenWritten(tmp / "opened"), folders.Game("manual.txt") + "|");
    EXPECT_EQ(Run("return execute_program(\"tool.sh\", \"ran " + tmp / "ran" + "\", 1)"), "1");
    EXPECT_EQ(TempFolder::Read(tmp / "ran"), "ran\n");
}
