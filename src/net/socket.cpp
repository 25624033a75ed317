#include "net/socket.h"

#include "core/console.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void NoDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace

void Packet_PutU32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Packet_GetU32(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 | static_cast<uint32_t>(in[2]) << 16 |
           static_cast<uint32_t>(in[3]) << 24;
}

void Packet_WriteHeader(uint8_t out[kPacketHeaderSize], uint32_t length) {
    Packet_PutU32(out, kPacketMagic);
    Packet_PutU32(out + 4, kPacketHeaderSize);
    Packet_PutU32(out + 8, length);
}

// --- CPacketReader ---

void CPacketReader::Feed(const uint8_t* data, size_t size) {
    if (Broken() || size == 0) return;
    if (m_start > 0 && m_start >= m_buffer.size() / 2) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
        m_start = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + size);
}

bool CPacketReader::Next(std::vector<uint8_t>& payload) {
    if (Broken() || Pending() < kPacketHeaderSize) return false;
    const uint8_t* header = m_buffer.data() + m_start;
    const uint32_t magic = Packet_GetU32(header);
    const uint32_t headerSize = Packet_GetU32(header + 4);
    const int32_t length = static_cast<int32_t>(Packet_GetU32(header + 8));
    char text[96];
    if (magic != kPacketMagic)
        std::snprintf(text, sizeof text, "bad packet magic 0x%08X", magic);
    else if (headerSize != kPacketHeaderSize)
        std::snprintf(text, sizeof text, "bad packet header size %u", headerSize);
    else if (length < 0)
        std::snprintf(text, sizeof text, "negative packet length %d", length);
    else if (static_cast<uint32_t>(length) > m_maxLength)
        std::snprintf(text, sizeof text, "packet length %d is above the limit of %u", length, m_maxLength);
    else
        text[0] = '\0';
    if (text[0]) {
        m_error = text;
        m_buffer.clear();
        m_buffer.shrink_to_fit();
        m_start = 0;
        return false;
    }
    if (Pending() - kPacketHeaderSize < static_cast<size_t>(length)) return false;
    const uint8_t* body = header + kPacketHeaderSize;
    payload.assign(body, body + length);
    m_start += kPacketHeaderSize + static_cast<size_t>(length);
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
    return true;
}

// --- zbSocket ---

zbSocket::~zbSocket() {
    Close();
}

bool zbSocket::Connect(const char* host, int port) {
    Close();
    m_error.clear();
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (host && std::strcmp(host, "localhost") == 0 ? 0 : AI_NUMERICHOST);
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (!host || port <= 0 || port > 65535 || ::getaddrinfo(host, service.c_str(), &hints, &found) != 0) {
        m_error = std::string("cannot connect to ") + (host ? host : "(null)") + ":" + service;
        return false;
    }
    m_fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int result = -1;
    if (m_fd >= 0) result = ::connect(m_fd, found->ai_addr, found->ai_addrlen);
    ::freeaddrinfo(found);
    if (m_fd < 0 || (result != 0 && errno != EINPROGRESS)) {
        m_error = std::string("connect: ") + std::strerror(errno);
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        return false;
    }
    NoDelay(m_fd);
    m_accepted = false;
    m_handshaken = false;
    m_peerClosed = false;
    m_state = State::Connecting;
    uint8_t hello[8];
    Packet_PutU32(hello, kHandshakeVersion);
    Packet_PutU32(hello + 4, 0);
    QueuePacket(hello, sizeof hello);
    return true;
}

void zbSocket::Adopt(int fd) {
    m_fd = fd;
    m_accepted = true;
    m_state = State::Handshaking;
    NoDelay(fd);
}

void zbSocket::QueuePacket(const void* payload, size_t size) {
    uint8_t header[kPacketHeaderSize];
    Packet_WriteHeader(header, static_cast<uint32_t>(size));
    if (m_sent > 0 && m_sent == m_out.size()) {
        m_out.clear();
        m_sent = 0;
    }
    m_out.append(reinterpret_cast<const char*>(header), sizeof header);
    m_out.append(static_cast<const char*>(payload), size);
}

bool zbSocket::Send(const void* payload, size_t size) {
    if (m_state == State::Closed || size > kMaxPacketLength || (size && !payload)) return false;
    QueuePacket(payload, size);
    return true;
}

void zbSocket::Close(const char* why) {
    if (why && m_error.empty()) m_error = why;
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_state = State::Closed;
}

bool zbSocket::Flush() {
    while (m_sent < m_out.size()) {
        const ssize_t n = ::send(m_fd, m_out.data() + m_sent, m_out.size() - m_sent, MSG_NOSIGNAL);
        if (n > 0) {
            m_sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        Close((std::string("send: ") + std::strerror(errno)).c_str());
        return false;
    }
    m_out.clear();
    m_sent = 0;
    return true;
}

// Reads what has arrived; false when the peer has closed its side (m_peerClosed) or the read failed.
bool zbSocket::Fill() {
    uint8_t buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            m_reader.Feed(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (n == 0)
            m_peerClosed = true;
        else
            Close((std::string("recv: ") + std::strerror(errno)).c_str());
        return false;
    }
}

bool zbSocket::Poll() {
    if (m_state == State::Closed) return false;
    if (m_state == State::Connecting) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        if (error != 0) {
            Close((std::string("connect: ") + std::strerror(error)).c_str());
            return false;
        }
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return true; // not yet
        m_state = State::Handshaking;
    }
    if (!Flush()) return false;
    Fill();
    std::vector<uint8_t> payload;
    while (m_reader.Next(payload)) {
        if (m_handshaken) {
            m_received.push_back(std::move(payload));
            continue;
        }
        // The first packet is the handshake: a hello to a server, the answer to a client.
        if (payload.size() != 8 || Packet_GetU32(payload.data()) != kHandshakeVersion ||
            Packet_GetU32(payload.data() + 4) != (m_accepted ? 0u : 1u)) {
            Close("the peer's first packet is not a handshake");
            return false;
        }
        if (m_accepted) {
            uint8_t welcome[8];
            Packet_PutU32(welcome, kHandshakeVersion);
            Packet_PutU32(welcome + 4, 1);
            // The answer goes before anything queued already.
            std::string queued = m_out.substr(m_sent);
            m_out.clear();
            m_sent = 0;
            QueuePacket(welcome, sizeof welcome);
            m_out += queued;
        }
        m_handshaken = true;
        if (m_state != State::Closed) m_state = State::Connected;
    }
    if (m_reader.Broken()) {
        Close(m_reader.Error().c_str());
        return false;
    }
    if (m_peerClosed) {
        // An orderly close; one that cuts a packet short is an error.
        Close(m_reader.Pending() ? "the peer closed the connection in the middle of a packet" : nullptr);
        return false;
    }
    if (m_state == State::Closed) return false;
    return Flush();
}

bool zbSocket::Receive(std::vector<uint8_t>& payload) {
    if (m_nextReceived >= m_received.size()) return false;
    payload = std::move(m_received[m_nextReceived++]);
    if (m_nextReceived == m_received.size()) {
        m_received.clear();
        m_nextReceived = 0;
    }
    return true;
}

// --- zbServer ---

zbServer::~zbServer() {
    Close();
}

bool zbServer::Init(int type, int port, int maxClients, int flags) {
    Close();
    if (type != 0) {
        DebugConsole->Output("Server: socket type %d is not supported\n", type);
        return false;
    }
    m_maxClients = maxClients < 1 ? 1 : maxClients;
    m_flags = flags;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const int on = 1;
    socklen_t length = sizeof address;
    if (fd < 0 || port < 0 || port > 65535 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        DebugConsole->Output("Server: cannot listen on port %d: %s\n", port, std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return false;
    }
    m_fd = fd;
    m_port = ntohs(address.sin_port);
    return true;
}

void zbServer::Poll() {
    if (m_fd < 0) return;
    std::erase_if(m_clients, [](const std::unique_ptr<zbSocket>& c) { return c->Closed(); });
    for (;;) {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) break;
        if (static_cast<int>(m_clients.size()) >= m_maxClients) {
            ::close(fd);
            continue;
        }
        m_clients.push_back(std::make_unique<zbSocket>());
        m_clients.back()->Adopt(fd);
    }
    for (auto& client : m_clients)
        client->Poll();
}

void zbServer::Close() {
    m_clients.clear();
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_port = 0;
}
