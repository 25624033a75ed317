#include "net/async_requests.h"

#include <cstring>
#include <gtest/gtest.h>

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
