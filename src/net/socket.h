// Non-blocking TCP sockets and servers with packet framing, polled on the main thread.
//
// Every packet is a 12-byte header of three little-endian 32-bit words {0xDEADC0DE, 12, payload
// length} followed by the payload. A connection starts with a handshake: the connecting side sends a
// packet with the 8-byte payload {kHandshakeVersion, 0} and the accepting side answers {version, 1};
// packets either side queued meanwhile follow. A stream that breaks the framing (wrong magic or header
// size, a length above the reader's limit) or a handshake that is not one closes the connection with
// an error as soon as the bytes that break it arrive: a header is checked before anything after it is
// read, and nothing is read past the packet that is coming. A connection whose handshake is not done
// within kHandshakeTimeLimitMs of its start is closed; one that is done is never closed for being idle.
// A peer that ends its stream in order (closing it, or only its sending side) is still answered: the
// connection closes once every packet received before the end has been taken and every answer queued
// has gone out, or at once, with an error, when the end cuts a packet short.
//
// Nothing a peer sends can make a read or write go past a buffer or block the main thread, and what it
// makes the runner hold is bounded: one poll of a socket reads at most kPollReadLimit bytes, and reads
// nothing while kPollPacketLimit packets, or kPollReadLimit bytes of them, wait to be taken (nor, on an
// accepted connection, while kPollReadLimit bytes of answers wait for the peer to take them). A socket
// then holds no more than the packet it is receiving (up to the length limit, with its header), less
// than kPollReadLimit bytes of packets waiting beside it, and the answers not yet sent; the packets that
// follow reuse the space. A server accepts at most kPollAcceptLimit connections at a poll.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

constexpr uint32_t kPacketMagic = 0xDEADC0DEu;
constexpr uint32_t kPacketHeaderSize = 12;
constexpr uint32_t kMaxPacketLength = 16u << 20;
constexpr uint32_t kHandshakeVersion = 1;
constexpr int kHandshakeTimeLimitMs = 3000;
constexpr size_t kPollReadLimit = 256u << 10;
constexpr size_t kPollPacketLimit = 64;
constexpr int kPollAcceptLimit = 16;

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

// Reassembles packets from the bytes of a stream, however they were split, checking each header as soon
// as its bytes are in. The packets received stay in one buffer, which later packets reuse.
class CPacketReader {
public:
    explicit CPacketReader(uint32_t maxLength = kMaxPacketLength) : m_maxLength(maxLength) {}
    // Adds received bytes; those after a header that breaks the stream are dropped.
    void Feed(const uint8_t* data, size_t size);
    // Bytes that end the header or the packet that is coming (0 once the stream is broken): what a read
    // may take without going past it.
    size_t Wanted() const;
    // The next whole packet's payload, valid until the reader next changes: false when none is whole yet,
    // or once the stream is broken (Error() then says why; every later call gives false).
    bool Peek(std::span<const uint8_t>& payload) const;
    // Drops the packet Peek gives.
    void Pop();
    // Peek and Pop, the payload copied out.
    bool Next(std::vector<uint8_t>& payload);
    // The length the header of the next packet gives, once that header is in.
    bool NextLength(uint32_t& length) const;
    bool Broken() const { return !m_error.empty(); }
    const std::string& Error() const { return m_error; }
    // Bytes received and not yet taken.
    size_t Pending() const { return m_buffer.size() - m_start; }
    // Whole packets not yet taken, their count and their bytes (headers included).
    size_t Ready() const { return m_ready; }
    size_t ReadyBytes() const { return m_readyEnd - m_start; }
    // Bytes of a packet not yet whole.
    size_t Partial() const { return m_buffer.size() - m_readyEnd; }
    // Bytes the reader holds in memory.
    size_t Held() const { return m_buffer.capacity(); }

private:
    void Reserve(size_t end);
    void CheckHeader();

    uint32_t m_maxLength;
    std::vector<uint8_t> m_buffer;
    size_t m_start = 0;    // where the first packet not taken starts
    size_t m_readyEnd = 0; // where the last whole packet ends
    size_t m_next = 0;     // where the first packet whose header is not yet checked starts
    size_t m_ready = 0;
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
    // takes, reads what has arrived, and closes a connection whose peer is done (above). False once the
    // connection is closed.
    bool Poll();
    // The next packet received after the handshake, copied out.
    bool Receive(std::vector<uint8_t>& payload);
    // The next packet received after the handshake, valid until the next Pop or Poll; Pop drops it.
    bool Peek(std::span<const uint8_t>& payload) const { return m_handshaken && m_reader.Peek(payload); }
    void Pop() {
        if (m_handshaken) m_reader.Pop();
    }
    void Close(const char* why = nullptr);

    State GetState() const { return m_state; }
    bool Connected() const { return m_state == State::Connected; }
    bool Closed() const { return m_state == State::Closed; }
    // Why the connection closed ("" when the peer closed it in order, or it was closed here).
    const std::string& Error() const { return m_error; }
    int Fd() const { return m_fd; }
    // Bytes queued and not yet taken by the peer.
    size_t Unsent() const { return m_out.size() - m_sent; }
    // Bytes the socket holds in memory: what it has received and what it has to send.
    size_t Held() const { return m_reader.Held() + m_out.capacity(); }
    // What a wait for this socket's traffic waits for (poll's events): bytes it would read, room for
    // bytes it has to send.
    short WaitEvents() const;
    void SetMaxPacketLength(uint32_t length) { m_reader = CPacketReader(length); }

private:
    friend class zbServer;
    void Adopt(int fd); // an accepted connection
    void QueuePacket(const void* payload, size_t size);
    bool Flush();
    bool Fill();
    bool MayRead() const;
    bool CheckReceived();
    bool InTime();

    int m_fd = -1;
    State m_state = State::Closed;
    bool m_accepted = false;
    bool m_handshaken = false;
    bool m_peerEnded = false; // the peer's stream has ended: nothing more is read
    int64_t m_startedMs = 0; // when the connection started, on the monotonic clock
    std::string m_out;
    size_t m_sent = 0;
    CPacketReader m_reader;
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
