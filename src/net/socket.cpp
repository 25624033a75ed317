#include "net/socket.h"

#include "core/console.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void NoDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
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

size_t CPacketReader::Wanted() const {
    if (Broken()) return 0;
    // Past m_next lies the header of the packet that is coming (or nothing); before it, its payload.
    return m_next > m_buffer.size() ? m_next - m_buffer.size() : m_next + kPacketHeaderSize - m_buffer.size();
}

// Makes room for the buffer to reach end: the packets taken go first, then the buffer grows (by doubling
// up to a whole packet's size, so that many small packets do not each move it, then to what is needed).
void CPacketReader::Reserve(size_t end) {
    if (end <= m_buffer.capacity()) return;
    if (m_start > 0) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
        end -= m_start;
        m_next -= m_start;
        m_readyEnd -= m_start;
        m_start = 0;
    }
    if (end <= m_buffer.capacity()) return;
    const size_t doubled = std::min<size_t>(2 * m_buffer.capacity(), size_t{m_maxLength} + kPacketHeaderSize);
    m_buffer.reserve(std::max(end, doubled));
}

void CPacketReader::CheckHeader() {
    const uint8_t* header = m_buffer.data() + m_next;
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
        m_start = m_readyEnd = m_next = m_ready = 0;
        return;
    }
    m_next += kPacketHeaderSize + static_cast<size_t>(length);
    Reserve(m_next);
}

void CPacketReader::Feed(const uint8_t* data, size_t size) {
    while (size > 0 && !Broken()) {
        const size_t take = std::min(size, Wanted());
        const bool header = m_next + kPacketHeaderSize > m_buffer.size(); // the bytes go to a header
        Reserve(m_buffer.size() + take);
        m_buffer.insert(m_buffer.end(), data, data + take);
        data += take;
        size -= take;
        if (header && m_buffer.size() == m_next + kPacketHeaderSize) CheckHeader();
        if (!Broken() && m_buffer.size() == m_next && m_readyEnd < m_next) {
            m_readyEnd = m_next;
            ++m_ready;
        }
    }
}

bool CPacketReader::NextLength(uint32_t& length) const {
    if (m_next <= m_start) return false;
    length = Packet_GetU32(m_buffer.data() + m_start + 8);
    return true;
}

bool CPacketReader::Peek(std::span<const uint8_t>& payload) const {
    uint32_t length = 0;
    if (m_ready == 0 || !NextLength(length)) return false;
    payload = std::span<const uint8_t>(m_buffer.data() + m_start + kPacketHeaderSize, length);
    return true;
}

void CPacketReader::Pop() {
    uint32_t length = 0;
    if (m_ready == 0 || !NextLength(length)) return;
    m_start += kPacketHeaderSize + length;
    --m_ready;
    if (m_start == m_buffer.size()) {
        m_buffer.clear(); // the storage stays for the packets that follow
        m_start = m_readyEnd = m_next = 0;
    }
}

bool CPacketReader::Next(std::vector<uint8_t>& payload) {
    std::span<const uint8_t> next;
    if (!Peek(next)) return false;
    payload.assign(next.begin(), next.end());
    Pop();
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
    m_peerEnded = false;
    m_startedMs = NowMs();
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
    m_startedMs = NowMs();
    m_state = State::Handshaking;
    NoDelay(fd);
}

void zbSocket::QueuePacket(const void* payload, size_t size) {
    uint8_t header[kPacketHeaderSize];
    Packet_WriteHeader(header, static_cast<uint32_t>(size));
    // What the peer has taken goes once it is half the queue, so a peer that always leaves some of it
    // unread does not make the queue grow with all that was ever sent.
    if (m_sent > 0 && m_sent >= m_out.size() / 2) {
        m_out.erase(0, m_sent);
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

bool zbSocket::MayRead() const {
    return !m_peerEnded && m_reader.Ready() < kPollPacketLimit && m_reader.ReadyBytes() < kPollReadLimit &&
           !(m_accepted && Unsent() >= kPollReadLimit);
}

short zbSocket::WaitEvents() const {
    return static_cast<short>((MayRead() ? POLLIN : 0) | (Unsent() > 0 ? POLLOUT : 0));
}

// Reads what has arrived, no further than the packet that is coming and within the limits of one poll;
// false once the connection is closed.
bool zbSocket::Fill() {
    uint8_t buffer[65536];
    size_t budget = kPollReadLimit;
    while (budget > 0 && MayRead()) {
        const ssize_t n = ::recv(m_fd, buffer, std::min({sizeof buffer, budget, m_reader.Wanted()}), 0);
        if (n > 0) {
            budget -= static_cast<size_t>(n);
            m_reader.Feed(buffer, static_cast<size_t>(n));
            if (!CheckReceived()) return false;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (n == 0 && !m_reader.Partial()) { // the end of the stream: what came before it is still answered
            m_peerEnded = true;
            return true;
        }
        Close(n == 0 ? "the peer closed the connection in the middle of a packet"
                     : (std::string("recv: ") + std::strerror(errno)).c_str());
        return false;
    }
    return true;
}

// Acts on the bytes just received: a broken stream closes the connection, and so does a first packet that
// is not a handshake, as soon as its header shows it; a handshake is answered.
bool zbSocket::CheckReceived() {
    if (m_reader.Broken()) {
        Close(m_reader.Error().c_str());
        return false;
    }
    if (m_handshaken) return true;
    uint32_t length = 0;
    std::span<const uint8_t> hello;
    if (m_reader.NextLength(length) && length != 8) {
        Close("the peer's first packet is not a handshake");
        return false;
    }
    if (!m_reader.Peek(hello)) return true;
    // The first packet is the handshake: a hello to a server, the answer to a client.
    if (Packet_GetU32(hello.data()) != kHandshakeVersion ||
        Packet_GetU32(hello.data() + 4) != (m_accepted ? 0u : 1u)) {
        Close("the peer's first packet is not a handshake");
        return false;
    }
    m_reader.Pop();
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
    m_state = State::Connected;
    return true;
}

// False, the connection closed, once the time for its handshake has run out.
bool zbSocket::InTime() {
    if (m_handshaken || NowMs() - m_startedMs < kHandshakeTimeLimitMs) return true;
    char text[64];
    std::snprintf(text, sizeof text, "no handshake within %d seconds", kHandshakeTimeLimitMs / 1000);
    Close(text);
    return false;
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
        if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return InTime(); // not yet
        m_state = State::Handshaking;
    }
    // What has arrived counts before the time runs out.
    if (!Flush() || !Fill() || !InTime() || !Flush()) return false;
    // A peer whose stream has ended is done with once its packets are taken and its answers have gone.
    if (m_peerEnded && m_reader.Ready() == 0 && Unsent() == 0) {
        Close();
        return false;
    }
    return true;
}

bool zbSocket::Receive(std::vector<uint8_t>& payload) {
    return m_handshaken && m_reader.Next(payload);
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
    for (int accepted = 0; accepted < kPollAcceptLimit; ++accepted) {
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
