#include "net/async_requests.h"
#include "net/debugger.h"

#include <cstring>
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

namespace {
int g_cleanups = 0;
void CountCleanup(HTTP_REQ_CONTEXT*) {
    ++g_cleanups;
}
int32_t NoEvent(HTTP_REQ_CONTEXT*, void*, int32_t*) {
    return 0;
}
} // namespace

TEST(HttpRequests, AGetEndsAsAnUnansweredTransferOnTheList) {
    int user = 7;
    HTTP_Get("http://example.com/a.png", 5, NoEvent, CountCleanup, &user);
    HTTP_PollThreads();
    HTTP_REQ_CONTEXT* request = HTTP_RequestList;
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->active, 1);
    EXPECT_EQ(request->state, HTTP_STATE_DONE);
    EXPECT_EQ(request->status, 0);
    EXPECT_EQ(request->dataSize, 0);
    EXPECT_EQ(request->data, nullptr);
    EXPECT_EQ(request->kind, 5);
    EXPECT_EQ(request->user, &user);
    EXPECT_STREQ(request->url, "http://example.com/a.png");

    HTTP_RequestList = request->next;
    request->cleanup(request);
    delete request;
    EXPECT_EQ(g_cleanups, 1);
}
