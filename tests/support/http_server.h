// A small HTTP server for tests, on the loopback interface at an ephemeral port, answering each
// request on a thread of its own from a handler the test gives. It stops (and joins every thread)
// when destroyed.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CTestHttpServer {
public:
    struct Response {
        int status = 200;
        std::string body;
        std::string location;   // a Location header when not empty
        int delayMs = 0;        // wait before answering
        bool stall = false;     // send the head (promising 1,000 bytes), then nothing until stopped
        bool noLength = false;  // no Content-Length: the body ends when the connection closes
        int trickleMs = 0;      // the body a byte at a time, one each trickleMs (until the server stops)
        std::string raw;        // when not empty, sent as it is in place of a response
    };
    using Handler = std::function<Response(const std::string& path)>;

    explicit CTestHttpServer(Handler handler);
    ~CTestHttpServer();
    CTestHttpServer(const CTestHttpServer&) = delete;
    CTestHttpServer& operator=(const CTestHttpServer&) = delete;

    int Port() const { return m_port; }
    std::string Url(const std::string& path) const;
    // Requests being answered now, and the most there were at once.
    int MaxConcurrent() const { return m_maxConcurrent; }
    int Requests() const { return m_requests; }

    // A loopback port on which nothing listens.
    static int ClosedPort();
    // A handler that holds transfers up: "/silent" is taken and never answered (until the server
    // stops), anything else sends a body of 100 bytes a byte a second.
    static Handler HoldingUp();

private:
    void Accept();
    void Serve(int fd);
    bool Wait(int ms); // false when the server stops meanwhile

    Handler m_handler;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_concurrent{0};
    std::atomic<int> m_maxConcurrent{0};
    std::atomic<int> m_requests{0};
    std::mutex m_mutex;
    std::vector<std::thread> m_connections;
    std::thread m_acceptor;
};

// A loopback port whose queue of connections is full: a connection to it waits for an answer to its
// first packet, which never comes while this lives.
class CFullListener {
public:
    CFullListener();
    ~CFullListener();
    CFullListener(const CFullListener&) = delete;
    CFullListener& operator=(const CFullListener&) = delete;
    int Port() const { return m_port; } // 0 when it could not be made

private:
    int m_listen = -1;
    int m_port = 0;
    std::vector<int> m_waiting;
};
