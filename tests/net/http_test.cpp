#include "net/async_requests.h"

#include "core/console.h"
#include "support/http_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

namespace {

struct Result {
    int32_t status = -1;
    std::string body;
    int32_t kind = -1;
};
std::map<int, Result> g_results; // by user number
int g_cleanups = 0;
int g_mostRunning = 0;

int32_t Record(HTTP_REQ_CONTEXT* request, void* user, int32_t*) {
    Result& r = g_results[static_cast<int>(reinterpret_cast<intptr_t>(user))];
    r.status = request->status;
    r.body.assign(request->data ? request->data : "", static_cast<size_t>(request->dataSize));
    r.kind = request->kind;
    return 0;
}
void CountCleanup(HTTP_REQ_CONTEXT*) {
    ++g_cleanups;
}

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_results.clear();
        g_cleanups = 0;
        HTTP_SetLimits(HttpLimits{});
    }
    void TearDown() override {
        HTTP_Shutdown();
        HTTP_SetLimits(HttpLimits{});
    }
    static void Get(const std::string& url, int user) {
        HTTP_Get(url.c_str(), 5, Record, CountCleanup, reinterpret_cast<void*>(static_cast<intptr_t>(user)));
    }
    // Polls as the asynchronous stage does, completing finished requests, until `count` have completed
    // or the time is up.
    static void Complete(size_t count, int timeoutMs = 3000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (g_results.size() < count && std::chrono::steady_clock::now() < end) {
            g_mostRunning = std::max(g_mostRunning, HTTP_RunningTransfers());
            HTTP_PollThreads();
            for (HTTP_REQ_CONTEXT** link = &HTTP_State().HTTP_RequestList; *link;) {
                HTTP_REQ_CONTEXT* request = *link;
                if (request->state != HTTP_STATE_DONE) {
                    link = &request->next;
                    continue;
                }
                *link = request->next;
                int32_t map = -1;
                request->completion(request, request->user, &map);
                request->cleanup(request);
                delete request;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
};

} // namespace

TEST_F(HttpTest, AnswersCompleteWithTheirStatusAndBody) {
    CTestHttpServer server([](const std::string& path) {
        CTestHttpServer::Response r;
        if (path == "/a.png") r.body = std::string("\x89PNG\0body", 9);
        if (path == "/moved") {
            r.status = 302;
            r.location = "/a.png";
        }
        if (path == "/missing") {
            r.status = 404;
            r.body = "not here";
        }
        if (path == "/open") {
            r.noLength = true;
            r.body = "until the end";
        }
        return r;
    });
    Get(server.Url("/a.png"), 1);
    Get(server.Url("/moved"), 2);
    Get(server.Url("/missing"), 3);
    Get(server.Url("/open"), 4);
    Get("http://127.0.0.1:" + std::to_string(CTestHttpServer::ClosedPort()) + "/x", 5);
    Complete(5);
    ASSERT_EQ(g_results.size(), 5u);
    EXPECT_EQ(g_results[1].status, 200);
    EXPECT_EQ(g_results[1].body, std::string("\x89PNG\0body", 9));
    EXPECT_EQ(g_results[1].kind, 5);
    EXPECT_EQ(g_results[2].status, 200); // the redirect was followed
    EXPECT_EQ(g_results[2].body, g_results[1].body);
    EXPECT_EQ(g_results[3].status, 404); // an error page still arrives
    EXPECT_EQ(g_results[3].body, "not here");
    EXPECT_EQ(g_results[4].body, "until the end");
    EXPECT_EQ(g_results[5].status, 0); // refused
    EXPECT_EQ(g_results[5].body, "");
    EXPECT_EQ(g_cleanups, 5);
    EXPECT_EQ(HTTP_State().HTTP_RequestList, nullptr);
}

TEST_F(HttpTest, BadAnswersAndURLsFailWithoutData) {
    CTestHttpServer server([](const std::string& path) {
        CTestHttpServer::Response r;
        if (path == "/big") r.body = std::string(5000, 'x');
        if (path == "/bigstream") {
            r.body = std::string(5000, 'x');
            r.noLength = true;
        }
        if (path == "/elsewhere") {
            r.status = 302;
            r.location = "file:///etc/passwd";
        }
        if (path == "/garbage") r.raw = std::string("\x01\x02 not http at all\r\n\r\n", 22);
        if (path == "/slow") r.stall = true;
        return r;
    });
    HttpLimits limits;
    limits.maxBytes = 1000;
    limits.stallSeconds = 1;
    HTTP_SetLimits(limits);
    Get(server.Url("/big"), 1);
    Get(server.Url("/bigstream"), 2);
    Get(server.Url("/elsewhere"), 3);
    Get(server.Url("/garbage"), 4);
    Get(server.Url("/slow"), 5);
    Get("file:///etc/passwd", 6);
    Get("ftp://127.0.0.1/x", 7);
    Get("", 8);
    Complete(8, 4000);
    ASSERT_EQ(g_results.size(), 8u);
    for (auto& [user, result] : g_results) {
        EXPECT_EQ(result.body, "") << user;
        if (user >= 4) {
            EXPECT_EQ(result.status, user == 5 ? 200 : 0) << user;
        }
    }
    EXPECT_EQ(g_results[3].status, 302); // the redirect to a file was not followed
}

TEST_F(HttpTest, AtMostEightTransfersRunAtOnce) {
    CTestHttpServer server([](const std::string&) {
        CTestHttpServer::Response r;
        r.delayMs = 150;
        r.body = "ok";
        return r;
    });
    for (int i = 0; i < 20; ++i)
        Get(server.Url("/" + std::to_string(i)), i);
    Complete(20);
    ASSERT_EQ(g_results.size(), 20u);
    for (auto& [user, result] : g_results)
        EXPECT_EQ(result.body, "ok") << user;
    EXPECT_EQ(server.Requests(), 20);
    // Eight at once when the machine keeps up; never more.
    EXPECT_LE(server.MaxConcurrent(), kHttpMaxTransfers);
    EXPECT_GT(server.MaxConcurrent(), 1);
    EXPECT_LE(g_mostRunning, kHttpMaxTransfers);
}

TEST_F(HttpTest, ShutdownStopsTransfersInFlightAndFreesTheirRequests) {
    CTestHttpServer server([](const std::string& path) {
        CTestHttpServer::Response r;
        r.stall = path == "/slow";
        r.delayMs = path == "/late" ? 5000 : 0;
        return r;
    });
    for (int i = 0; i < 12; ++i)
        Get(server.Url(i % 2 ? "/slow" : "/late"), i);
    const auto start = std::chrono::steady_clock::now();
    while (HTTP_RunningTransfers() < kHttpMaxTransfers &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(2))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    HTTP_Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_EQ(HTTP_RunningTransfers(), 0);
    EXPECT_EQ(HTTP_State().HTTP_RequestList, nullptr);
    EXPECT_EQ(g_cleanups, 12);
    EXPECT_TRUE(g_results.empty());
    // The pool starts again for new requests.
    Get("ftp://x", 1);
    Complete(1);
    EXPECT_EQ(g_results.size(), 1u);
}

// Transfers held up by a server that takes the request and never answers and by a body that comes a
// byte a second: the shutdown abandons them at once, and neither waits for them nor completes them (a
// name server that never answers is tried on the runner itself, in the scenarios). The shutdown may
// wait five seconds here, so that one that did not wake the transfers would wait for them: once they
// have sent their requests they wait for the network a second at a time, and the shutdown comes most of
// a second before their waits end.
TEST_F(HttpTest, ShutdownWaitsOnNoServer) {
    CTestHttpServer server(CTestHttpServer::HoldingUp());
    HttpLimits limits;
    limits.stopWaitMs = 5000;
    HTTP_SetLimits(limits);
    Get(server.Url("/silent"), 1);
    Get(server.Url("/trickle"), 2);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (server.Requests() < 2 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(server.Requests(), 2);
    // Past the fifth of a second that libcurl waits at first after connecting.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(HTTP_RunningTransfers(), 2);
    const auto start = std::chrono::steady_clock::now();
    HTTP_Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(HTTP_RunningTransfers(), 0);
    EXPECT_EQ(g_cleanups, 2);
    EXPECT_TRUE(g_results.empty());
}

namespace {

// Registered before the pool's first transfer, so that it runs after the pool's own exit handler: it
// says whether the process went on past that handler, into the libraries' handlers (the TLS library's
// clean-up among them).
void SayALaterHandlerRan() {
    std::fputs("a later exit handler ran\n", stderr);
}

// Runs work, which ends with an exit, in a fresh start of the test program: it must end with code, and
// no handler registered before the pool's own may have run.
template <typename Work>
void ExpectTheExitEndsThePoolFirst(Work work, int code) {
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atexit(SayALaterHandlerRan);
            work();
        },
        testing::ExitedWithCode(code), testing::Not(testing::HasSubstr("a later exit handler ran")));
    GTEST_FLAG_SET(death_test_style, style);
}

} // namespace

// An exit while transfers set up TLS with a server that never answers, and a stop that waits for none of
// them: the workers are left running, inside the TLS library, whose clean-up would free what they use.
// The pool's exit handler ends the process itself, with the exit's code.
TEST_F(HttpTest, AnExitThatLeavesTransfersRunningEndsTheProcessAtTheirStop) {
    CTestHttpServer server(CTestHttpServer::HoldingUp());
    const std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/silent";
    ExpectTheExitEndsThePoolFirst(
        [&] {
            HttpLimits limits;
            limits.stopWaitMs = 0;
            HTTP_SetLimits(limits);
            for (int i = 0; i < kHttpMaxTransfers; ++i)
                Get(url, i);
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (HTTP_RunningTransfers() < kHttpMaxTransfers && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::exit(HTTP_RunningTransfers() == kHttpMaxTransfers ? 7 : 1);
        },
        7);
}

// An exit from a thread of its own (a library's), while the thread that uses the pool goes on starting
// transfers over https and http and polling them: the process ends with the exit's code in the pool's
// handler, which leaves that thread's list of jobs alone, and no transfer starts after it.
TEST_F(HttpTest, AnExitFromAnotherThreadEndsTheProcessAtThePoolsStop) {
    CTestHttpServer server(CTestHttpServer::HoldingUp());
    ExpectTheExitEndsThePoolFirst(
        [&] {
            Get(server.Url("/silent"), 0);
            std::thread([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                std::exit(5);
            }).detach();
            for (int i = 1;; i += 2) {
                Get("https://127.0.0.1:" + std::to_string(server.Port()) + "/silent", i);
                Get(server.Url("/silent"), i + 1);
                HTTP_PollThreads();
            }
        },
        5);
}
