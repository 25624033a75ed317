// The command-line tools as a user meets them: asking for help, mistyped options, files they cannot
// read, and code that does not compile.
#include "scenario.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

TEST(Tools, HelpIsAskedForAndUnknownOptionsAreRefusedWithoutWritingAnything) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "runs no game";
    TempFolder folder;
    for (const char* tool : {DATABUILD_EXECUTABLE, VMASM_EXECUTABLE, VMDIS_EXECUTABLE}) {
        SCOPED_TRACE(tool);
        for (const char* help : {"-h", "--help"}) {
            const ToolRun run = RunTool(folder.Path(), tool, help);
            EXPECT_EQ(run.exitCode, 0);
            EXPECT_EQ(run.out.rfind("usage: ", 0), 0u) << run.out;
            EXPECT_FALSE(TempFolder::Exists(folder / help));
        }
        const ToolRun run = RunTool(folder.Path(), tool, "out.bin -x in.txt");
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.errors.find("unknown option -x"), std::string::npos) << run.errors;
        EXPECT_FALSE(TempFolder::Exists(folder / "out.bin"));
    }
    const ToolRun run = RunTool(folder.Path(), VMDIS_EXECUTABLE, "missing.bin");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("cannot read missing.bin"), std::string::npos) << run.errors;
}

TEST(Tools, CodeThatDoesNotCompileFailsTheBuildInBothModes) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "runs no game";
    TempFolder folder;
    TempFolder::Write(folder / "game.txt", "game G 64 48\nobject o - 0\nevent o create 0 code.txt\n"
                                           "room r 64 48 30 000000 -\ninstance r o 0 0\n");
    TempFolder::Write(folder / "code.txt", "x = 1;\ny = ;\n");
    for (const char* mode : {"", " -bytecode"}) {
        SCOPED_TRACE(mode);
        const ToolRun run = RunTool(folder.Path(), DATABUILD_EXECUTABLE, std::string("game.win -game game.txt") + mode);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.errors.find("Object.o.Create.0: Error in code at line 2"), std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find("at position 5"), std::string::npos) << run.errors;
        EXPECT_FALSE(TempFolder::Exists(folder / "game.win"));
    }
}

} // namespace
