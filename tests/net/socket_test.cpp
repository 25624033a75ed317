#include "net/network.h"
#include "net/socket.h"

#include "net/hand_packets.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

// Polls until done() or the seconds have passed.
template <typename F> bool PollUntil(F done, const std::function<void()>& poll, int seconds = 1) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A plain TCP connection to the loopback port, blocking; with a receive buffer of the size given, when
// one is.
int RawConnect(int port, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

const Bytes kHello{1, 0, 0, 0, 0, 0, 0, 0};

} // namespace

TEST(PacketReader, ReassemblesPacketsHoweverTheBytesArrive) {
    Bytes stream = Framed({'a', 'b', 'c'});
    const Bytes empty = Framed({});
    const Bytes second = Framed({0x00, 0xFF});
    stream.insert(stream.end(), empty.begin(), empty.end());
    stream.insert(stream.end(), second.begin(), second.end());
    uint8_t header[12];
    Packet_WriteHeader(header, 3);
    EXPECT_EQ(Bytes(header, header + 12), Bytes(stream.begin(), stream.begin() + 12));
    for (size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        CPacketReader reader;
        std::vector<Bytes> packets;
        Bytes payload;
        for (size_t at = 0; at < stream.size(); at += chunk) {
            reader.Feed(stream.data() + at, std::min(chunk, stream.size() - at));
            while (reader.Next(payload))
                packets.push_back(payload);
        }
        EXPECT_EQ(packets, (std::vector<Bytes>{{'a', 'b', 'c'}, {}, {0x00, 0xFF}})) << chunk;
        EXPECT_EQ(reader.Pending(), 0u);
    }
}

TEST(PacketReader, ABrokenHeaderBreaksTheStream) {
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {{0xDE, 0xC0, 0xAD, 0xDF, 12, 0, 0, 0, 0, 0, 0, 0}, "bad packet magic 0xDFADC0DE"},
        {{0xDE, 0xC0, 0xAD, 0xDE, 16, 0, 0, 0, 0, 0, 0, 0}, "bad packet header size 16"},
        {{0xDE, 0xC0, 0xAD, 0xDE, 12, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, "negative packet length -1"},
        {{0xDE, 0xC0, 0xAD, 0xDE, 12, 0, 0, 0, 0x01, 0x01, 0, 0}, "packet length 257 is above the limit of 256"},
    };
    for (const auto& [bytes, error] : cases) {
        CPacketReader reader(256);
        reader.Feed(bytes.data(), bytes.size());
        Bytes payload;
        EXPECT_FALSE(reader.Next(payload));
        EXPECT_EQ(reader.Error(), error);
        const Bytes good = Framed({1});
        reader.Feed(good.data(), good.size());
        EXPECT_FALSE(reader.Next(payload)); // broken for good
    }
}

// Fed as a socket reads, never past the packet that is coming, the reader holds that packet and its
// header, and the packets after it reuse the space.
TEST(PacketReader, HoldsThePacketComingAndReusesItsSpace) {
    constexpr uint32_t kLength = 1u << 20;
    Bytes big{0xDE, 0xC0, 0xAD, 0xDE, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00};
    big.resize(12 + kLength, 0x42);
    Bytes stream;
    for (int i = 0; i < 3; ++i)
        stream.insert(stream.end(), big.begin(), big.end());
    const Bytes small = Framed({1, 2});
    stream.insert(stream.end(), small.begin(), small.end());
    CPacketReader reader(kLength);
    std::vector<size_t> sizes;
    for (size_t at = 0; at < stream.size();) {
        const size_t n = std::min<size_t>(reader.Wanted(), 65536);
        ASSERT_GT(n, 0u);
        if (at < 3 * big.size() && at % big.size() == 12) EXPECT_EQ(reader.Wanted(), kLength); // its payload
        reader.Feed(stream.data() + at, n);
        at += n;
        std::span<const uint8_t> payload;
        if (reader.Peek(payload)) {
            sizes.push_back(payload.size());
            EXPECT_EQ(payload.back(), at <= 3 * big.size() ? 0x42 : 2);
            reader.Pop();
        }
        EXPECT_EQ(reader.Held(), 12 + kLength) << at;
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{kLength, kLength, kLength, 2}));
    EXPECT_EQ(reader.Pending(), 0u);
}

TEST(Sockets, TwoSocketsShakeHandsAndExchangePacketsOfAnySize) {
    auto server = std::make_unique<zbServer>();
    server->loopbackOnly = true;
    ASSERT_TRUE(server->Init(0, 0, 2, 1));
    const int port = server->Port();
    const int serverSlot = Network_AddServer(std::move(server));
    auto client = std::make_unique<zbSocket>();
    ASSERT_TRUE(client->Connect("127.0.0.1", port));
    // Queued before the connection is made: it follows the handshake.
    ASSERT_TRUE(client->Send("early", 5));
    const int clientSlot = Network_AddSocket(std::move(client));
    zbSocket* c = Network_Socket(clientSlot);
    zbServer* s = Network_Server(serverSlot);
    ASSERT_TRUE(PollUntil([&] { return c->Connected() && s->Clients().size() == 1 && s->Clients()[0]->Connected(); },
                          Network_Poll));
    zbSocket* peer = s->Clients()[0].get();

    // 4 MB cannot go out in one write: the rest goes at later polls and arrives whole.
    std::vector<uint8_t> big(4u << 20);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(peer->Send(big.data(), big.size()));
    ASSERT_TRUE(peer->Send("", 0));
    peer->Poll();
    EXPECT_GT(peer->Unsent(), 0u);
    std::vector<Bytes> got;
    Bytes payload;
    ASSERT_TRUE(PollUntil(
        [&] {
            while (c->Receive(payload))
                got.push_back(payload);
            return got.size() == 2;
        },
        Network_Poll));
    EXPECT_EQ(got[0], big);
    EXPECT_TRUE(got[1].empty());
    ASSERT_TRUE(PollUntil([&] { return peer->Receive(payload); }, Network_Poll));
    EXPECT_EQ(payload, (Bytes{'e', 'a', 'r', 'l', 'y'}));

    // A client that closes goes from the server's list at the next poll.
    Network_Free(clientSlot);
    ASSERT_TRUE(PollUntil([&] { return s->Clients().empty(); }, Network_Poll));
    EXPECT_EQ(Network_Socket(clientSlot), nullptr);
    Network_Shutdown();
    EXPECT_EQ(Network_Server(serverSlot), nullptr);
}

TEST(Sockets, PeersThatBreakTheProtocolAreDisconnectedWithAReason) {
    zbServer server;
    server.loopbackOnly = true;
    ASSERT_TRUE(server.Init(0, 0, 4, 1));
    struct Case {
        Bytes bytes;
        std::string error;
    };
    Bytes cut = Framed(kHello);
    const Bytes half = Framed({1, 2, 3, 4});
    cut.insert(cut.end(), half.begin(), half.begin() + 14);
    const std::vector<Case> cases = {
        {Framed({9, 9}), "the peer's first packet is not a handshake"},
        // Known from its header alone, before any of its 16 MB comes.
        {{0xDE, 0xC0, 0xAD, 0xDE, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01},
         "the peer's first packet is not a handshake"},
        {{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB}, "bad packet magic 0x33221100"},
        {cut, "the peer closed the connection in the middle of a packet"},
    };
    for (const Case& c : cases) {
        const int fd = RawConnect(server.Port());
        ASSERT_EQ(::send(fd, c.bytes.data(), c.bytes.size(), 0), static_cast<ssize_t>(c.bytes.size()));
        ::shutdown(fd, SHUT_WR);
        ASSERT_TRUE(PollUntil(
            [&] { return server.Clients().size() == 1 && server.Clients()[0]->Closed(); }, [&] { server.Poll(); }));
        EXPECT_EQ(server.Clients()[0]->Error(), c.error);
        ::close(fd);
        server.Poll(); // drops it
        EXPECT_TRUE(server.Clients().empty());
    }
    // Beyond the limit of clients, a connection is refused.
    zbServer one;
    ASSERT_TRUE(one.Init(0, 0, 1, 1));
    zbSocket first, second;
    ASSERT_TRUE(first.Connect("127.0.0.1", one.Port()));
    ASSERT_TRUE(second.Connect("127.0.0.1", one.Port()));
    ASSERT_TRUE(PollUntil([&] { return first.Connected(); }, [&] {
        one.Poll();
        first.Poll();
    }));
    ASSERT_TRUE(PollUntil([&] { return second.Closed(); }, [&] {
        one.Poll();
        second.Poll();
    }));
    EXPECT_FALSE(zbSocket().Connect("not an address", 1));
}

// A peer that sends commands by the thousand and reads none of the answers: a poll takes at most
// kPollPacketLimit of them, and none while kPollReadLimit bytes of answers wait for the peer; every one
// comes, in order, as the peer takes its answers. The answers a slow peer leaves are all the socket keeps.
TEST(Sockets, APollTakesABoundedShareOfAFloodAndNoneWhileAnswersWait) {
    zbServer server;
    server.loopbackOnly = true;
    ASSERT_TRUE(server.Init(0, 0, 1, 1));
    const int fd = RawConnect(server.Port());
    Bytes flood = Framed(kHello);
    for (int i = 0; i < 1000; ++i) {
        const Bytes command = Framed({static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)});
        flood.insert(flood.end(), command.begin(), command.end());
    }
    ASSERT_EQ(::send(fd, flood.data(), flood.size(), 0), static_cast<ssize_t>(flood.size()));
    std::vector<int> got;
    size_t most = 0;
    std::span<const uint8_t> command;
    const auto take = [&] {
        size_t taken = 0;
        for (auto& client : server.Clients())
            for (; client->Peek(command); client->Pop(), ++taken)
                got.push_back(command[0] | command[1] << 8);
        most = std::max(most, taken);
    };
    ASSERT_TRUE(PollUntil([&] { return take(), got.size() == 1000; }, [&] { server.Poll(); }, 10));
    EXPECT_EQ(most, kPollPacketLimit);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(got[static_cast<size_t>(i)], i);

    // Answers pile up past what the connection holds; a command that comes meanwhile waits in it.
    zbSocket* peer = server.Clients()[0].get();
    const Bytes answer(1u << 20, 0x33);
    for (int i = 0; i < 64 && peer->Unsent() < (8u << 20); ++i) {
        peer->Send(answer.data(), answer.size());
        server.Poll();
    }
    const Bytes last = Framed({0xE8, 0x03});
    ASSERT_EQ(::send(fd, last.data(), last.size(), 0), static_cast<ssize_t>(last.size()));
    int arrived = 0;
    ASSERT_TRUE(PollUntil([&] { return ::ioctl(peer->Fd(), FIONREAD, &arrived) == 0 && arrived > 0; }, [] {}, 10));
    for (int i = 0; i < 10; ++i) {
        ASSERT_GE(peer->Unsent(), kPollReadLimit);
        server.Poll();
        take();
    }
    EXPECT_EQ(got.size(), 1000u);
    std::vector<uint8_t> sink(1u << 20);
    ASSERT_TRUE(PollUntil(
        [&] {
            while (::recv(fd, sink.data(), sink.size(), MSG_DONTWAIT) > 0) {
            }
            return take(), got.size() == 1001;
        },
        [&] { server.Poll(); }, 10));
    EXPECT_EQ(got.back(), 1000);

    // A peer that takes its answers as fast as they come but always leaves a backlog unread: the socket
    // holds that backlog, not all that was ever sent.
    for (int i = 0; i < 64 && peer->Unsent() < (4u << 20); ++i) {
        peer->Send(answer.data(), answer.size());
        server.Poll();
    }
    const size_t held = peer->Held();
    for (int i = 0; i < 512; ++i) {
        ASSERT_GT(::recv(fd, sink.data(), 64u << 10, 0), 0);
        do { // (as the connection's own buffers grow, they take more of it)
            peer->Send(answer.data(), 64u << 10);
            server.Poll();
        } while (peer->Unsent() < (1u << 20));
    }
    EXPECT_LE(peer->Held(), held);
    ::close(fd);
}

// Reads what has arrived on a plain connection, at most `most` bytes, without waiting; true once the
// runner's side has ended the stream.
bool TakeArrived(int fd, Bytes& received, size_t most = SIZE_MAX) {
    uint8_t chunk[65536];
    while (most > 0) {
        const ssize_t n = ::recv(fd, chunk, std::min(most, sizeof chunk), MSG_DONTWAIT);
        if (n <= 0) return n == 0;
        received.insert(received.end(), chunk, chunk + n);
        most -= static_cast<size_t>(n);
    }
    return false;
}

// A peer that reads its long answers slowly falls behind by megabytes while more are queued, then catches
// up: every byte of every answer arrives once and in order.
TEST(Sockets, APeerThatFallsBehindAndCatchesUpGetsEveryAnswerInOrder) {
    zbServer server;
    server.loopbackOnly = true;
    ASSERT_TRUE(server.Init(0, 0, 1, 1));
    // Small buffers on both sides, so that the kernel takes little of what the socket has queued.
    const int fd = RawConnect(server.Port(), 16 << 10);
    const Bytes hello = Framed(kHello);
    ASSERT_EQ(::send(fd, hello.data(), hello.size(), 0), static_cast<ssize_t>(hello.size()));
    ASSERT_TRUE(PollUntil([&] { return server.Clients().size() == 1 && server.Clients()[0]->Connected(); },
                          [&] { server.Poll(); }, 30));
    zbSocket* peer = server.Clients()[0].get();
    const int small = 16 << 10;
    ASSERT_EQ(::setsockopt(peer->Fd(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);

    // 2,000 answers of 2,000 to 6,000 bytes, each byte telling its packet and its place; the peer reads
    // 4 KiB after every sixteenth.
    Bytes expected = Framed({1, 0, 0, 0, 1, 0, 0, 0});
    Bytes received;
    size_t behind = 0;
    for (int i = 0; i < 2000; ++i) {
        Bytes answer(2000 + static_cast<size_t>(i) * 7919 % 4000);
        for (size_t j = 0; j < answer.size(); ++j)
            answer[j] = static_cast<uint8_t>(i * 31 + j * 7 + (j >> 8));
        const Bytes framed = Framed(answer);
        expected.insert(expected.end(), framed.begin(), framed.end());
        ASSERT_TRUE(peer->Send(answer.data(), answer.size()));
        server.Poll();
        if (i % 16 == 0) TakeArrived(fd, received, 4096);
        behind = std::max(behind, peer->Unsent());
    }
    EXPECT_GT(behind, 4u << 20) << "the peer never fell behind";
    // The peer reads all it can until neither the socket nor the kernel holds anything more for it.
    const auto drained = [&] {
        int queued = 0;
        int readable = 0;
        return peer->Unsent() == 0 && ::ioctl(peer->Fd(), TIOCOUTQ, &queued) == 0 && queued == 0 &&
               ::ioctl(fd, FIONREAD, &readable) == 0 && readable == 0;
    };
    ASSERT_TRUE(PollUntil([&] { return TakeArrived(fd, received), drained(); }, [&] { server.Poll(); }, 60));
    EXPECT_EQ(received.size(), expected.size());
    const auto differ = std::mismatch(received.begin(), received.end(), expected.begin(), expected.end());
    EXPECT_TRUE(differ.first == received.end() && differ.second == expected.end())
        << "first wrong byte at " << differ.first - received.begin() << " of " << expected.size();
    ::close(fd);
}

// A peer that sends a command and ends its stream (a half-close) is answered: the connection stays until
// the command is taken and its answer has gone, then closes in order.
TEST(Sockets, APeerThatEndsItsStreamIsAnsweredBeforeTheConnectionCloses) {
    zbServer server;
    server.loopbackOnly = true;
    ASSERT_TRUE(server.Init(0, 0, 1, 1));
    const int fd = RawConnect(server.Port());
    const Bytes commands = FramedAll({kHello, {7}});
    ASSERT_EQ(::send(fd, commands.data(), commands.size(), 0), static_cast<ssize_t>(commands.size()));
    ::shutdown(fd, SHUT_WR);
    std::span<const uint8_t> taken;
    ASSERT_TRUE(PollUntil([&] { return server.Clients().size() == 1 && server.Clients()[0]->Peek(taken); },
                          [&] { server.Poll(); }, 30));
    EXPECT_EQ(taken[0], 7);
    // Polls that find the end of the stream while the command waits keep the connection.
    for (int i = 0; i < 5; ++i)
        server.Poll();
    ASSERT_EQ(server.Clients().size(), 1u);
    zbSocket* peer = server.Clients()[0].get();
    ASSERT_FALSE(peer->Closed());
    peer->Pop();
    ASSERT_TRUE(peer->Send("done", 4));
    Bytes received;
    ASSERT_TRUE(PollUntil([&] { return TakeArrived(fd, received); }, [&] { server.Poll(); }, 30));
    EXPECT_EQ(received, FramedAll({{1, 0, 0, 0, 1, 0, 0, 0}, {'d', 'o', 'n', 'e'}}));
    EXPECT_TRUE(peer->Closed());
    EXPECT_EQ(peer->Error(), "");
    ::close(fd);
}
