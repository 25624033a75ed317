// Non-blocking TCP sockets and servers with packet framing, polled on the main thread.
//
// Every packet is a 12-byte header of three little-endian 32-bit words {0xDEADC0DE, 12, payload
// length} followed by the payload. A connection starts with a handshake: the connecting side sends a
// packet with the 8-byte payload {kHandshakeVersion, 0} and the accepting side answers {version, 1};
// packets either side queued meanwhile follow. A stream that breaks the framing (wrong magic or header
// size, a length above the reader's limit) or a handshake that is not one closes the connection with
// an error; nothing a peer sends can make a read or write go past a buffer or block the main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr uint32_t kPacketMagic = 0xDEADC0DEu;
constexpr uint32_t kPacketHeaderSize = 12;
constexpr uint32_t kMaxPacketLength = 16u << 20;
constexpr uint32_t kHandshakeVersion = 1;

struct zbPacketHeader {
    uint32_t magic;
    uint32_t headerSize;
    uint32_t length;
};
// The header's 12 bytes for a payload of length bytes.
void Packet_WriteHeader(uint8_t out[kPacketHeaderSize], uint32_t length);
// A little-endian 32-bit word of a packet, written or read.
void Packet_PutU32(uint8_t* out, uint32_t value);
uint32_t Packet_GetU32(const uint8_t* in);

// Reassembles packets from the bytes of a stream, however they were split.
class CPacketReader {
public:
    explicit CPacketReader(uint32_t maxLength = kMaxPacketLength) : m_maxLength(maxLength) {}
    // Adds received bytes.
    void Feed(const uint8_t* data, size_t size);
    // Takes the next whole packet's payload: false when none is whole yet, or once the stream is broken
    // (Error() then says why; every later call gives false).
    bool Next(std::vector<uint8_t>& payload);
    bool Broken() const { return !m_error.empty(); }
    const std::string& Error() const { return m_error; }
    // Bytes received and not yet taken.
    size_t Pending() const { return m_buffer.size() - m_start; }

private:
    uint32_t m_maxLength;
    std::vector<uint8_t> m_buffer;
    size_t m_start = 0;
    std::string m_error;
};

class zbServer;

class zbSocket {
public:
    enum class State { Connecting, Handshaking, Connected, Closed };

    zbSocket() = default;
    ~zbSocket();
    zbSocket(const zbSocket&) = delete;
    zbSocket& operator=(const zbSocket&) = delete;

    // Starts a connection to a numeric IPv4 or IPv6 address (or "localhost"); false (with the error
    // set) when it cannot even start.
    bool Connect(const char* host, int port);
    // Queues one packet; false when the socket is closed or the payload is too long.
    bool Send(const void* payload, size_t size);
    // Moves bytes without waiting: completes the connection and the handshake, writes what the peer
    // takes, reads what has arrived. False once the connection is closed.
    bool Poll();
    // The next packet received after the handshake.
    bool Receive(std::vector<uint8_t>& payload);
    void Close(const char* why = nullptr);

    State GetState() const { return m_state; }
    bool Connected() const { return m_state == State::Connected; }
    bool Closed() const { return m_state == State::Closed; }
    // Why the connection closed ("" when the peer closed it in order, or it was closed here).
    const std::string& Error() const { return m_error; }
    int Fd() const { return m_fd; }
    // Bytes queued and not yet taken by the peer.
    size_t Unsent() const { return m_out.size() - m_sent; }
    void SetMaxPacketLength(uint32_t length) { m_reader = CPacketReader(length); }

private:
    friend class zbServer;
    void Adopt(int fd); // an accepted connection
    void QueuePacket(const void* payload, size_t size);
    bool Flush();
    bool Fill();

    int m_fd = -1;
    State m_state = State::Closed;
    bool m_accepted = false;
    bool m_handshaken = false;
    bool m_peerClosed = false;
    std::string m_out;
    size_t m_sent = 0;
    CPacketReader m_reader;
    std::vector<std::vector<uint8_t>> m_received;
    size_t m_nextReceived = 0;
    std::string m_error;
};

class zbServer {
public:
    zbServer() = default;
    ~zbServer();
    zbServer(const zbServer&) = delete;
    zbServer& operator=(const zbServer&) = delete;

    // Opens a TCP server (type 0) on the port (0: any free port) taking at most maxClients connections
    // at once; flags are kept. Listens on every interface, or only on the loopback interface when
    // loopbackOnly is set. False (with the reason on the debug console) when it cannot.
    bool Init(int type, int port, int maxClients, int flags);
    // Drops the clients that closed at the last poll, accepts waiting connections (refusing those beyond
    // maxClients) and polls every client.
    void Poll();
    void Close();
    bool Listening() const { return m_fd >= 0; }
    int Port() const { return m_port; }
    int Fd() const { return m_fd; }
    std::vector<std::unique_ptr<zbSocket>>& Clients() { return m_clients; }

    bool isDebuggerServer = false;
    bool loopbackOnly = false;

private:
    int m_fd = -1;
    int m_port = 0;
    int m_maxClients = 1;
    int m_flags = 0;
    std::vector<std::unique_ptr<zbSocket>> m_clients;
};
