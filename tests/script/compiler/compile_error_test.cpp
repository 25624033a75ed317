#include <gtest/gtest.h>

#include <string>

#include "core/memory.h"
#include "script/code.h"
#include "script/compiler/compile.h"

namespace {

TEST(CompileError, FormatCountsLinesAndBytes) {
    EXPECT_EQ(Code_Error_Format(1, "a = 1;\r\nb = ;", 12, "m"),
              "Error in code at line 2:\n   b = ;\n\nat position 5: m");
    // The line text keeps a CR before the LF; the column does not count it.
    EXPECT_EQ(Code_Error_Format(1, "x\r\n", 1, "m"), "Error in code at line 1:\n   x\r\n\nat position 2: m");
    // Positions past the text are clamped to its end; columns count bytes, not characters.
    EXPECT_EQ(Code_Error_Format(2, "1 +", 6, "m"), "Error in expression: 1 +\n position 4: m");
    EXPECT_EQ(Code_Error_Format(1, "\xC3\xA9=", 2, "m"),
              "Error in code at line 1:\n   \xC3\xA9=\n\nat position 3: m");
    EXPECT_EQ(Code_Error_Format(1, "a\nb\nc", -5, "m"), "Error in code at line 1:\n   a\n\nat position 1: m");
    EXPECT_EQ(Code_Error_Format(1, "a\nb\n", 4, "m"), "Error in code at line 3:\n   \n\nat position 1: m");
}

// A long line is quoted as the 256 bytes around the position, marked where cut; position and message stay.
TEST(CompileError, ALongLineIsQuotedAroundThePosition) {
    const std::string before(1000, 'a'), after(1000, 'b');
    std::string text = "x\n" + before + "#" + after;
    EXPECT_EQ(Code_Error_Format(1, text.c_str(), 1002, "m"),
              "Error in code at line 2:\n   ..." + before.substr(0, 128) + "#" + after.substr(0, 127) +
                  "...\n\nat position 1001: m");
    // At either end the window keeps to the line; a cut never splits a character.
    EXPECT_EQ(Code_Error_Format(2, text.c_str(), 0, "m"),
              "Error in expression: " + text.substr(0, 256) + "...\n position 1: m");
    text = std::string(300, 'a') + "\xC3\xA9" + std::string(254, 'b') + ";";
    EXPECT_EQ(Code_Error_Format(1, text.c_str(), static_cast<int>(text.size()) - 1, "m"),
              "Error in code at line 1:\n   ..." + std::string(254, 'b') + ";\n\nat position 557: m");
    text = std::string(255, 'a') + "\xC3\xA9" + std::string(300, 'b');
    EXPECT_EQ(Code_Error_Format(1, text.c_str(), 0, "m"),
              "Error in code at line 1:\n   " + std::string(255, 'a') + "...\n\nat position 1: m");
}

TEST(CompileError, FirstErrorOfAPhaseWins) {
    CCode code("abc", 0);
    CodeError_State().Code_ErrorFlag = false;
    Code_Error(&code, 1, "first");
    Code_Error(&code, 2, "second");
    EXPECT_TRUE(CodeError_State().Code_ErrorFlag);
    EXPECT_STREQ(CodeError_State().Code_ErrorText,
                 "Error in code at line 1:\n   abc\n\nat position 2: first");
    CodeError_State().Code_ErrorFlag = false;
}

TEST(CompileError, FrameTextBreaksLinesAndWidensTabs) {
    const std::string rule = "\r\n___________________________________________\r\n";
    EXPECT_EQ(Code_Error_FrameText("a\n\nb"), rule + "a\r\nb");
    EXPECT_EQ(Code_Error_FrameText("a\r\nb\n\rc\rd"), rule + "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(Code_Error_FrameText("\tx"), rule + "       x");
    // Many tabs widen the text far beyond twice its length.
    const std::string framed = Code_Error_FrameText(std::string(1000, '\t').c_str());
    EXPECT_EQ(framed.size(), rule.size() + 7000);
}

struct ShowLog {
    int forms = 0;
    bool lastMayIgnore = false;
    std::string lastFramed;
    bool answerAbort = false;
    int inputClears = 0;
    int endGames = 0;
} g_log;

void ResetShowState() {
    g_log = ShowLog();
    CodeError_State().Code_Aborting = false;
    CodeError_State().Code_ErrorOccurred = false;
    CodeError_State().Code_ShowErrors = true;
    CodeError_State().Code_AbortOnAnyError = false;
    CodeError_State().Code_QuietErrors = true;
    CodeErrorServices services{};
    services.showErrorForm = [](const char* framed, bool mayIgnore) {
        ++g_log.forms;
        g_log.lastFramed = framed;
        g_log.lastMayIgnore = mayIgnore;
        return g_log.answerAbort;
    };
    services.clearInput = [] { ++g_log.inputClears; };
    services.endGame = [] { ++g_log.endGames; };
    Code_SetErrorServices(services);
}

TEST(CompileError, ShowAsksTheFormAndAbortsOnce) {
    ResetShowState();
    Code_Error_Show("not fatal", false);
    EXPECT_EQ(g_log.forms, 1);
    EXPECT_TRUE(g_log.lastMayIgnore);
    EXPECT_EQ(g_log.inputClears, 1);
    EXPECT_EQ(g_log.endGames, 0);
    EXPECT_TRUE(CodeError_State().Code_ErrorOccurred);
    EXPECT_STREQ(CodeError_State().Code_LastErrorText, "not fatal");

    // Choosing Abort in the form ends the game; after that every show is silent.
    g_log.answerAbort = true;
    Code_Error_Show("user aborts", false);
    EXPECT_EQ(g_log.endGames, 1);
    EXPECT_TRUE(CodeError_State().Code_Aborting);
    Code_Error_Show("ignored", true);
    EXPECT_EQ(g_log.forms, 2);
    EXPECT_STREQ(CodeError_State().Code_LastErrorText, "user aborts");

    // An aborting error has no Ignore; "-noerrors" shows no form but still ends the game.
    ResetShowState();
    Code_Error_Show("fatal", true);
    EXPECT_FALSE(g_log.lastMayIgnore);
    EXPECT_EQ(g_log.endGames, 1);
    ResetShowState();
    CodeError_State().Code_ShowErrors = false;
    CodeError_State().Code_AbortOnAnyError = true;
    Code_Error_Show("made fatal by the option", false);
    EXPECT_EQ(g_log.forms, 0);
    EXPECT_EQ(g_log.endGames, 1);

    Code_Error_Show(nullptr, false);
    ResetShowState();
    Code_Error_Show(nullptr, false);
    EXPECT_EQ(CodeError_State().Code_LastErrorText, nullptr);

    Code_SetErrorServices(CodeErrorServices{});
    CodeError_State().Code_Aborting = false;
    CodeError_State().Code_QuietErrors = false;
    CodeError_State().Code_ShowErrors = true;
}

} // namespace
