#include "support/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace {

int ListenOnLoopback(int& port, int backlog = 64) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, backlog) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

bool SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

const char* Reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 404: return "Not Found";
    default: return "Status";
    }
}

} // namespace

CTestHttpServer::CTestHttpServer(Handler handler) : m_handler(std::move(handler)) {
    m_listen = ListenOnLoopback(m_port);
    if (m_listen >= 0) m_acceptor = std::thread([this] { Accept(); });
}

CTestHttpServer::~CTestHttpServer() {
    m_stop = true;
    if (m_acceptor.joinable()) m_acceptor.join();
    for (std::thread& t : m_connections)
        t.join();
    if (m_listen >= 0) ::close(m_listen);
}

std::string CTestHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

int CTestHttpServer::ClosedPort() {
    int port = 0;
    const int fd = ListenOnLoopback(port);
    if (fd >= 0) ::close(fd);
    return port;
}

CTestHttpServer::Handler CTestHttpServer::HoldingUp() {
    return [](const std::string& path) {
        Response r;
        r.body = std::string(100, 'x');
        if (path == "/silent")
            r.delayMs = 3600 * 1000;
        else
            r.trickleMs = 1000;
        return r;
    };
}

bool CTestHttpServer::Wait(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (m_stop) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return !m_stop;
}

void CTestHttpServer::Accept() {
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connections.emplace_back([this, fd] { Serve(fd); });
    }
}

void CTestHttpServer::Serve(int fd) {
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos && !m_stop && head.size() < 65536) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        head.append(buffer, static_cast<size_t>(n));
    }
    const size_t start = head.find(' ');
    const size_t end = start == std::string::npos ? start : head.find(' ', start + 1);
    if (end != std::string::npos && !m_stop) {
        const int now = ++m_concurrent;
        ++m_requests;
        for (int seen = m_maxConcurrent; now > seen && !m_maxConcurrent.compare_exchange_weak(seen, now);) {
        }
        const Response r = m_handler(head.substr(start + 1, end - start - 1));
        const bool answer = Wait(r.delayMs);
        // Counted as answered before the answer goes out: the client may ask again once it has it.
        --m_concurrent;
        if (answer) {
            if (!r.raw.empty()) {
                SendAll(fd, r.raw);
            } else {
                std::string out = "HTTP/1.1 " + std::to_string(r.status) + " " + Reason(r.status) + "\r\n";
                if (r.stall)
                    out += "Content-Length: 1000\r\n";
                else if (!r.noLength)
                    out += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
                if (!r.location.empty()) out += "Location: " + r.location + "\r\n";
                out += "Connection: close\r\n\r\n";
                const bool sent = SendAll(fd, out);
                for (size_t i = 0; sent && r.trickleMs > 0 && i < r.body.size() && Wait(r.trickleMs); ++i)
                    SendAll(fd, r.body.substr(i, 1));
                if (sent && !r.stall && r.trickleMs <= 0) SendAll(fd, r.body);
                // A stalled answer holds the connection until the client gives up or the server stops.
                while (r.stall && !m_stop) {
                    pollfd p{fd, POLLIN, 0};
                    char c;
                    if (::poll(&p, 1, 20) > 0 && ::recv(fd, &c, 1, 0) <= 0) break;
                }
            }
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

CFullListener::CFullListener() {
    m_listen = ListenOnLoopback(m_port, 0);
    if (m_listen < 0) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(m_port));
    // The queue holds one connection that no one accepts; those after it wait.
    for (int i = 0; i < 2; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        m_waiting.push_back(fd);
    }
}

CFullListener::~CFullListener() {
    for (const int fd : m_waiting)
        if (fd >= 0) ::close(fd);
    if (m_listen >= 0) ::close(m_listen);
}
