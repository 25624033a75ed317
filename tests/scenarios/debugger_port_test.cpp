// The remote debugger's port as other local programs meet it, against a game that asks for the debugger.
// The port is fixed, so each run has a network namespace of its own; a peer process of the test's, started
// in that namespace beside the runner, plays the other side and writes what it saw to "peer.txt" in the
// game's folder, which ends the game.
#include "scenario.h"

#include "net/debugger.h"
#include "net/socket.h"
#include "support/session_processes.h"
#include "support/silent_resolver.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// A packet framed by hand: DE C0 AD DE, 0C 00 00 00, the length, then the payload.
Bytes Framed(uint32_t length, const Bytes& payload) {
    Bytes out{0xDE, 0xC0, 0xAD, 0xDE, 0x0C, 0x00, 0x00, 0x00};
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(length >> (8 * i)));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}
const Bytes kHello = Framed(8, {1, 0, 0, 0, 0, 0, 0, 0});
const Bytes kOutputCommand = Framed(4, {1, 0, 0, 0});

// A blocking connection to the debugger's port whose sends and receives give up after a fifth of a second;
// -1 when the port takes none before the deadline.
int Connect(Clock::time_point deadline) {
    for (;;) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval wait{0, 200000};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(kDebuggerPort);
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
        close(fd);
        if (Clock::now() > deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Sends until the bytes are all gone, the connection fails or the deadline passes: the count sent.
size_t SendUntil(int fd, const Bytes& bytes, Clock::time_point deadline) {
    size_t sent = 0;
    while (sent < bytes.size() && Clock::now() < deadline) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0)
            sent += static_cast<size_t>(n);
        else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            break;
    }
    return sent;
}

bool ReceiveExactly(int fd, uint8_t* out, size_t size, Clock::time_point deadline) {
    for (size_t got = 0; got < size;) {
        if (Clock::now() > deadline) return false;
        const ssize_t n = recv(fd, out + got, size - got, 0);
        if (n > 0)
            got += static_cast<size_t>(n);
        else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return false;
    }
    return true;
}

// The next packet's payload (of at most a megabyte), read as the runner frames it.
bool ReceivePacket(int fd, Bytes& payload, Clock::time_point deadline) {
    uint8_t header[12];
    if (!ReceiveExactly(fd, header, sizeof header, deadline)) return false;
    const uint32_t length = header[8] | header[9] << 8 | header[10] << 16 | static_cast<uint32_t>(header[11]) << 24;
    if (Bytes(header, header + 8) != Bytes(kHello.begin(), kHello.begin() + 8) || length > (1u << 20)) return false;
    payload.resize(length);
    return ReceiveExactly(fd, payload.data(), length, deadline);
}

// Shakes hands on the connection as a debugger does: the connection, or -1 (closed) when the runner does
// not answer.
int ShakeHands(int fd, Clock::time_point deadline) {
    Bytes welcome;
    if (fd >= 0 && SendUntil(fd, kHello, deadline) == kHello.size() &&
        ReceivePacket(fd, welcome, std::min(deadline, Clock::now() + std::chrono::seconds(2))) &&
        welcome == Bytes{1, 0, 0, 0, 1, 0, 0, 0})
        return fd;
    if (fd >= 0) close(fd);
    return -1;
}

// Asks for the console's output and waits for the answer (skipping the answers to earlier commands).
bool Answered(int fd, Clock::time_point deadline) {
    if (SendUntil(fd, kOutputCommand, deadline) != kOutputCommand.size()) return false;
    Bytes answer;
    while (ReceivePacket(fd, answer, deadline))
        if (answer.size() >= 4 && answer[0] == 1 && answer[1] == 0 && answer[2] == 0 && answer[3] == 0) return true;
    return false;
}

enum class Peer { None, Garbage, LargestCommands, SmallCommands, Silent };
constexpr std::chrono::seconds kFloodTime{4};

// Whether the game's log says it has started, waited for up to a minute (the runner may be slow to start).
bool GameStarted() {
    for (const Clock::time_point start = Clock::now(); Since(start) < 60;
         std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        std::ifstream log("game.log");
        if (std::string((std::istreambuf_iterator<char>(log)), {}).find("started") != std::string::npos) return true;
    }
    return false;
}

// The peer's side of a run, from the game's start; what it saw goes to "peer.txt" as lines of a name and
// a number.
void PlayPeer(Peer kind) {
    std::map<std::string, double> seen;
    const int first = GameStarted() ? Connect(Clock::now() + std::chrono::seconds(10)) : -1;
    const Clock::time_point connected = Clock::now();
    const Clock::time_point end = connected + kFloodTime;
    double& sent = seen["sent"];
    double& commands = seen["commands"];
    double& answers = seen["answers"];
    if (first < 0) {
        seen["no server"] = 1;
    } else if (kind == Peer::Garbage) {
        // Megabyte writes of bytes that are no packet, on a new connection whenever one is closed.
        const Bytes junk(1u << 20, 0x5A);
        for (int fd = first; fd >= 0 && Clock::now() < end; fd = Connect(end)) {
            ++seen["connections"];
            for (size_t n; Clock::now() < end && (n = SendUntil(fd, junk, end)) > 0;)
                sent += static_cast<double>(n);
            close(fd);
        }
    } else if (kind == Peer::LargestCommands || kind == Peer::SmallCommands) {
        // The largest commands the runner takes (the output command, the rest of the payload unread), or
        // the smallest in batches, sent without reading the answers until the flood is over.
        const int fd = ShakeHands(first, end);
        Bytes batch;
        if (kind == Peer::LargestCommands) {
            batch = Framed(kMaxPacketLength, {1, 0, 0, 0});
            batch.resize(kPacketHeaderSize + kMaxPacketLength);
        } else {
            for (int i = 0; i < 4096; ++i)
                batch.insert(batch.end(), kOutputCommand.begin(), kOutputCommand.end());
        }
        const size_t perBatch = kind == Peer::LargestCommands ? 1 : 4096;
        for (size_t n; fd >= 0 && Clock::now() < end && (n = SendUntil(fd, batch, end)) > 0;) {
            sent += static_cast<double>(n);
            if (n == batch.size()) commands += static_cast<double>(perBatch);
        }
        Bytes answer;
        for (const Clock::time_point until = Clock::now() + std::chrono::seconds(2);
             fd >= 0 && answers < commands && ReceivePacket(fd, answer, until);)
            answers += answer.size() >= 4 && answer[0] == 1 ? 1 : 0;
        if (fd >= 0) close(fd);
    } else if (kind == Peer::Silent) {
        // The first connection says nothing; a debugger tries from half a second later, again every tenth
        // of a second while it is turned away, and once in asks the console's output. It then stays idle
        // past the time limit of a handshake and asks again.
        const double limit = kHandshakeTimeLimitMs / 1000.0;
        seen["silent closed after"] = seen["answered after"] = -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        int debugger = -1;
        const auto silentClosed = [&] {
            char c;
            const ssize_t n = recv(first, &c, 1, MSG_DONTWAIT | MSG_PEEK);
            return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
        };
        while (Since(connected) < limit + 8 && (debugger < 0 || seen["silent closed after"] < 0)) {
            if (seen["silent closed after"] < 0 && silentClosed()) seen["silent closed after"] = Since(connected);
            if (debugger < 0) {
                const Clock::time_point until = Clock::now() + std::chrono::seconds(2);
                debugger = ShakeHands(Connect(until), until);
                if (debugger >= 0 && Answered(debugger, until + std::chrono::seconds(2)))
                    seen["answered after"] = Since(connected);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(limit + 1));
        seen["idle answered"] = debugger >= 0 && Answered(debugger, Clock::now() + std::chrono::seconds(5));
        if (debugger >= 0) close(debugger);
    }
    if (first >= 0 && kind == Peer::Silent) close(first);
    {
        std::ofstream out("peer.tmp");
        for (const auto& [name, value] : seen)
            out << name << "=" << value << "\n";
    }
    std::rename("peer.tmp", "peer.txt");
}

struct PortRun {
    ScenarioRun run;
    double stepsPerSecond = 0;
    std::map<std::string, double> peer;
};

// The game: 60 steps a second, counted against its own clock over the time a flood lasts ("steps N in MS"
// then); it says "started" at its first step and ends once the peer is done or the seconds have passed.
// (The clock starts again as the main loop begins, after the create events: a busy machine can take
// seconds to get there.)
PortRun RunGame(Peer kind, int seconds) {
    ScenarioGame game = OneObjectGame(
        {{0, 0, "global.t0 = -1; global.n = 0; global.told = false;"},
         {3, 0,
          "if (global.t0 < 0) {global.t0 = current_time; show_debug_message(\"started\");}"
          "global.n += 1; var e; e = current_time - global.t0;"
          "if (!global.told && e >= " + std::to_string(kFloodTime.count() * 1000) + ") {global.told = true;"
          "show_debug_message(\"steps \" + string(global.n) + \" in \" + string(e));}"
          "if (file_exists(\"peer.txt\") || e >= " + std::to_string(seconds * 1000) + ") game_end();"}});
    game.rooms[0].speed = 60;
    std::vector<uint8_t> bytes = BuildScenarioGame(game);
    GeneralInformation(bytes)[0] = 0; // its first byte: 0 starts the debugger's server
    TempFolder folder;
    TempFolder::Write(folder / "game.win", std::string(bytes.begin(), bytes.end()));
    ScenarioChildStep step([kind] {
        std::string why;
        if (!EnterOwnNetwork(&why)) return false;
        if (kind == Peer::None) return true;
        const pid_t peer = fork();
        if (peer == 0) {
            PlayPeer(kind);
            _exit(0);
        }
        return peer > 0;
    });
    PortRun result;
    result.run = RunRunner(folder.Path(),
                           {"-game", folder / "game.win", "-noerrors", "-output", folder / "game.log"}, 120, true);
    // The peer ends by itself once it has written what it saw; nothing of the run is left after that.
    const Clock::time_point start = Clock::now();
    while (kind != Peer::None && access((folder / "peer.txt").c_str(), F_OK) != 0 && Since(start) < 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (const pid_t pid : RunningInSession(result.run.processId))
        kill(pid, SIGKILL);
    std::ifstream in(folder / "peer.txt");
    for (std::string line; std::getline(in, line);)
        if (const size_t at = line.find('='); at != std::string::npos)
            result.peer[line.substr(0, at)] = std::strtod(line.c_str() + at + 1, nullptr);
    const std::vector<std::string> steps = LinesStartingWith(result.run.log, "steps ");
    int count = 0, ms = 0;
    if (steps.size() == 1 && std::sscanf(steps[0].c_str(), "%d in %d", &count, &ms) == 2 && ms > 0)
        result.stepsPerSecond = count * 1000.0 / ms;
    return result;
}

} // namespace

// Garbage in megabyte writes (on a new connection whenever one is closed), the largest commands, and the
// smallest commands by the thousand: the game keeps its steps (against its own clock, beside the same game
// with no peer), and its peak memory grows by no more than a packet's limit and a little more. (The runs
// last no longer than the one without a peer: a sanitizer's build holds on to what is freed for a while.)
// A machine busy with other work can slow one run and not the other: a flood whose game falls behind is
// tried again, up to three times, each beside a new run without the peer just before it; a flood that
// slows the game falls behind every time.
TEST(DebuggerPort, AFloodLeavesTheGameItsStepRateAndItsMemory) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the debugger's port does not depend on how the game's code runs";
    std::string why;
    if (!OwnNetworkAvailable(&why)) GTEST_SKIP() << "no network namespace can be made here: " << why;
    constexpr size_t kMargin = 8u << 20;
    for (const auto& [kind, name] : {std::pair{Peer::Garbage, "garbage"}, std::pair{Peer::LargestCommands, "largest"},
                                     std::pair{Peer::SmallCommands, "smallest"}}) {
        SCOPED_TRACE(name);
        PortRun plain, flood;
        for (int attempt = 1; attempt <= 3; ++attempt) {
            plain = RunGame(Peer::None, 6);
            ASSERT_EQ(plain.run.exitCode, 0) << plain.run.errors << plain.run.log;
            ASSERT_GT(plain.stepsPerSecond, 0) << plain.run.log;
            ASSERT_GT(plain.run.peakBytes, 0u);
            flood = RunGame(kind, 6);
            std::cout << name << ": " << flood.stepsPerSecond << " steps a second (" << plain.stepsPerSecond
                      << " without the peer), peak " << flood.run.peakBytes / 1048576.0 << " MB ("
                      << plain.run.peakBytes / 1048576.0 << " MB without), " << flood.peer["sent"] / 1048576.0
                      << " MB sent in " << flood.peer["connections"] << " connections, " << flood.peer["commands"]
                      << " commands, " << flood.peer["answers"] << " answers\n";
            if (flood.stepsPerSecond >= 0.8 * plain.stepsPerSecond) break;
        }
        ASSERT_FALSE(flood.run.timedOut) << flood.run.console;
        EXPECT_EQ(flood.run.exitCode, 0) << flood.run.errors;
        EXPECT_EQ(flood.peer.count("no server"), 0u);
        EXPECT_GE(flood.peer["sent"], 4 << 20) << "the peer flooded nothing";
        EXPECT_GE(flood.stepsPerSecond, 0.8 * plain.stepsPerSecond) << flood.run.log;
        EXPECT_LE(flood.run.peakBytes, plain.run.peakBytes + kMaxPacketLength + kMargin);
        if (kind != Peer::Garbage) {
            EXPECT_GE(flood.peer["answers"], 1) << "no command was answered";
        }
    }
}

// A peer that connects and says nothing is closed once the time limit of a handshake has passed; a debugger
// that tries meanwhile is turned away until then and answered soon after; a debugger that has shaken hands
// and stays idle for longer is still answered.
TEST(DebuggerPort, APeerThatSaysNothingGivesUpTheDebuggersPlaceInTime) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "the debugger's port does not depend on how the game's code runs";
    std::string why;
    if (!OwnNetworkAvailable(&why)) GTEST_SKIP() << "no network namespace can be made here: " << why;
    const PortRun run = RunGame(Peer::Silent, 60);
    ASSERT_FALSE(run.run.timedOut) << run.run.console;
    EXPECT_EQ(run.run.exitCode, 0) << run.run.errors;
    const double limit = kHandshakeTimeLimitMs / 1000.0;
    std::map<std::string, double> seen = run.peer;
    std::cout << "the silent peer closed after " << seen["silent closed after"] << " s, the debugger answered after "
              << seen["answered after"] << " s\n";
    EXPECT_EQ(seen.count("no server"), 0u);
    EXPECT_GE(seen["silent closed after"], limit - 0.25) << run.run.log;
    EXPECT_LE(seen["silent closed after"], limit + 2) << run.run.log;
    EXPECT_GE(seen["answered after"], 0.5) << run.run.log;
    EXPECT_LE(seen["answered after"], limit + 2) << run.run.log;
    EXPECT_EQ(seen["idle answered"], 1) << run.run.log;
}
