#include "io/programs.h"

#include "support/owned_text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

TEST(SupportProcess, ProgramsStartWithoutAShell) {
    TempFolder tmp;
    // Exit code 259 once made the wait loop spin for ever.
    EXPECT_TRUE(Support_ExecuteProgram("/bin/sh", "-c \"sleep 0.2; exit 259\"", nullptr, true));
    // Arguments are not interpreted by a shell: the ";" reaches the program as text.
    EXPECT_TRUE(Support_ExecuteProgram("/bin/sh", "-c \"echo $0 > out\" a;b", tmp.Path().c_str(), true));
    EXPECT_EQ(TempFolder::Read(tmp / "out"), "a;b\n");
    EXPECT_FALSE(Support_ExecuteProgram((tmp / "missing-program").c_str(), nullptr, nullptr, true));
    EXPECT_FALSE(Support_ExecuteProgram(nullptr, nullptr, nullptr, false));

    TempFolder::Write(tmp / "tool.sh", "#!/bin/sh\necho \"$1\" > \"$2\"\n");
    chmod((tmp / "tool.sh").c_str(), 0755);
    ASSERT_TRUE(Support_ShellExecute((tmp / "tool.sh").c_str(), "\"two words\" result", tmp.Path().c_str()));
    for (int i = 0; i < 200 && TempFolder::Read(tmp / "result").empty(); ++i)
        usleep(10000);
    EXPECT_EQ(TempFolder::Read(tmp / "result"), "two words\n");
}

TEST(SupportParams, CommandLineItems) {
    const char* argv[] = {"runner", "-game", "caf\xC3\xA9 game.win"};
    Param_SetCommandLine(3, argv);
    EXPECT_EQ(Param_Count(), 3);
    EXPECT_EQ(Take(Param_String(2)), "caf\xC3\xA9 game.win");
    EXPECT_EQ(Take(Param_String(3)), "");
    EXPECT_EQ(Take(Param_String(-1)), "");
    Param_SetCommandLine(0, nullptr);
    EXPECT_EQ(Param_Count(), 0);
}
