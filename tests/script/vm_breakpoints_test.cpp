#include "script/vm/vm_breakpoints.h"

#include <gtest/gtest.h>

TEST(Breakpoints, InsertAndRemoveRestoreTheCodeEvenWithTwoOnOneWord) {
    uint32_t code[3] = {0x11111111u, 0x22222222u, 0x33333333u};
    DebuggerClearBreakpoints();
    Debugger_Breakpoints.entries[0].codeWord = &code[1];
    Debugger_Breakpoints.entries[5].codeWord = &code[1];
    Debugger_Breakpoints.entries[255].codeWord = &code[2];
    Debugger_Breakpoints.count = 3;

    DebuggerInsertBreakpoints();
    EXPECT_EQ(code[0], 0x11111111u);
    EXPECT_EQ(code[1], kBreakInstructionWord);
    EXPECT_EQ(code[2], kBreakInstructionWord);

    DebuggerRemoveBreakpoints();
    EXPECT_EQ(code[1], 0x22222222u);
    EXPECT_EQ(code[2], 0x33333333u);

    DebuggerClearBreakpoints();
    EXPECT_EQ(Debugger_Breakpoints.count, 0);
    DebuggerInsertBreakpoints();
    EXPECT_EQ(code[1], 0x22222222u);
}
