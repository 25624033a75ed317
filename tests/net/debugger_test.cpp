#include "net/debug_form.h"
#include "net/debugger.h"

#include "core/console.h"
#include "net/hand_packets.h"
#include "net/socket.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"
#include "script/vm/vm.h"
#include "script/vm/vm_asm.h"
#include "script/vm/vm_breakpoints.h"
#include "script/vm/vm_buffer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Command(uint32_t code) {
    return Bytes{static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code >> 16),
                 static_cast<uint8_t>(code >> 24)};
}
uint32_t CodeOf(const Bytes& packet) {
    return packet.size() < 4 ? 0 : packet[0] | packet[1] << 8 | packet[2] << 16 | static_cast<uint32_t>(packet[3]) << 24;
}
std::string TextOf(const Bytes& packet, size_t from) {
    return packet.size() <= from ? "" : std::string(packet.begin() + static_cast<std::ptrdiff_t>(from), packet.end());
}

// The test's debugger: a socket of the runner's own kind, answering the runner's packets from a script.
struct Client {
    zbSocket socket;
    std::vector<Bytes> received;
    void Poll() {
        socket.Poll();
        Bytes packet;
        while (socket.Receive(packet))
            received.push_back(packet);
    }
};
Client* g_client = nullptr;
std::function<void()> g_onPump;
std::function<void()> g_onStep;
bool g_paused = false;
int g_steps = 0;

// A plain blocking connection to the debugger's port.
int RawConnect() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(Debugger_Port()));
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

// A debugger on a plain connection: sends the handshake and the bytes given, ends its stream, and reads
// until the runner closes the connection (polling the link meanwhile): the packets it got (a failure when
// the connection is still open after 30 seconds).
std::vector<Bytes> SendAndEnd(const Bytes& commands) {
    const int fd = RawConnect();
    Bytes stream = Framed({1, 0, 0, 0, 0, 0, 0, 0});
    stream.insert(stream.end(), commands.begin(), commands.end());
    EXPECT_EQ(::send(fd, stream.data(), stream.size(), 0), static_cast<ssize_t>(stream.size()));
    ::shutdown(fd, SHUT_WR);
    Bytes received;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (bool ended = false; !ended;) {
        if (std::chrono::steady_clock::now() > end) {
            ADD_FAILURE() << "the runner did not close the connection";
            break;
        }
        DebuggerPoll();
        uint8_t chunk[4096];
        ssize_t n;
        while ((n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT)) > 0)
            received.insert(received.end(), chunk, chunk + n);
        ended = n == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::close(fd);
    std::vector<Bytes> packets;
    for (size_t at = 0; at + 12 <= received.size();) {
        const size_t length = CodeOf(Bytes(received.begin() + static_cast<std::ptrdiff_t>(at + 8), received.end()));
        if (at + 12 + length > received.size()) break;
        packets.emplace_back(received.begin() + static_cast<std::ptrdiff_t>(at + 12),
                             received.begin() + static_cast<std::ptrdiff_t>(at + 12 + length));
        at += 12 + length;
    }
    return packets;
}

bool Pump() {
    if (g_onPump) g_onPump();
    return true;
}

class DebuggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_paused = false;
        g_steps = 0;
        Debugger_SetHost(DebuggerHost{Pump, [](bool p) { g_paused = p; }, [] { return g_paused; },
                                      [] {
                                          ++g_steps;
                                          if (g_onStep) g_onStep();
                                      },
                                      [] { return 30; }, [] { return 29; }});
        DebuggerInitRemoteInterface();
        ASSERT_TRUE(Debugger_StartServer(0));
        ASSERT_TRUE(Debugger_ServerRunning());
        ASSERT_TRUE(client.socket.Connect("127.0.0.1", Debugger_Port()));
        ASSERT_TRUE(Until([&] { return client.socket.Connected() && Debugger_ClientConnected(); }));
        g_client = &client;
    }
    void TearDown() override {
        g_onPump = nullptr;
        g_onStep = nullptr;
        g_client = nullptr;
        Debugger_Stop();
        DebuggerClearBreakpoints();
        Debugger_SetHost(DebuggerHost{});
        EXPECT_FALSE(Debugger_ServerRunning());
    }
    // Polls the link and the client until done() or 30 seconds have passed.
    bool Until(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            DebuggerPoll();
            client.Poll();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    Bytes Ask(uint32_t code) {
        client.received.clear();
        const Bytes c = Command(code);
        client.socket.Send(c.data(), c.size());
        EXPECT_TRUE(Until([&] { return !client.received.empty(); }));
        return client.received.empty() ? Bytes{} : client.received.front();
    }
    Client client;
};

} // namespace

TEST_F(DebuggerTest, AGameStopsAtABreakpointStepsOneLineAndResumes) {
    // One instruction per source line: "a" push, "b" conversion, "c" return.
    VMWriteBuffer code(64), debug(16);
    std::string error;
    ASSERT_TRUE(VM_Assemble(".pos 0\npush.d 5\n.pos 2\nconv.d.v\n.pos 4\nret.v", code, &debug, error)) << error;
    const char* text = "a\nb\nc";
    const uint32_t push = *reinterpret_cast<uint32_t*>(code.data);
    ASSERT_TRUE(Debugger_SetBreakpoint(reinterpret_cast<uint32_t*>(code.data)));
    EXPECT_FALSE(Debugger_SetBreakpoint(reinterpret_cast<uint32_t*>(code.data))); // set already

    // The debugger steps at the first stop and resumes at the second; at each stop the game is paused.
    std::vector<std::string> stops;
    std::vector<bool> pausedAtStop;
    g_onPump = [&] {
        g_client->Poll();
        for (const Bytes& packet : g_client->received) {
            if (CodeOf(packet) != kDebugBreakNotice) continue;
            const int line = static_cast<int>(CodeOf(Bytes(packet.begin() + 4, packet.end())));
            stops.push_back(std::to_string(line) + " " + TextOf(packet, 8) + " at " + std::to_string(VM_CurrentContext->pc));
            pausedAtStop.push_back(g_paused);
            const Bytes c = Command(stops.size() == 1 ? kDebugStep : kDebugResume);
            g_client->socket.Send(c.data(), c.size());
        }
        g_client->received.clear();
    };
    ScriptValue result{};
    VM_Execute("test", nullptr, nullptr, &code, &result, &debug, text);
    EXPECT_EQ(stops, (std::vector<std::string>{"1 test at 0", "2 test at 12"}));
    EXPECT_EQ(pausedAtStop, (std::vector<bool>{true, true}));
    EXPECT_FALSE(g_paused);
    EXPECT_EQ(result.real, 5); // the instructions under the stops ran
    EXPECT_FALSE(VMDebug_State().VM_SingleStep);

    // The breakpoint is still there: a debugger that leaves while the game stands resumes it.
    g_onPump = [&] { g_client->socket.Close(); };
    result = ScriptValue{};
    VM_Execute("test", nullptr, nullptr, &code, &result, &debug, text);
    EXPECT_EQ(result.real, 5);
    EXPECT_TRUE(Debugger_ClearBreakpoint(reinterpret_cast<uint32_t*>(code.data)));
    EXPECT_FALSE(Debugger_ClearBreakpoint(reinterpret_cast<uint32_t*>(code.data)));
    EXPECT_EQ(*reinterpret_cast<uint32_t*>(code.data), push);
}

TEST_F(DebuggerTest, OutputGathersConsoleLinesUpToTheBufferAndEmptiesWhenSent) {
    testing::internal::CaptureStdout();
    const std::string line(999, 'x');
    for (int i = 0; i < 32; ++i)
        DebugConsole->Output("%s\n", line.c_str()); // 32,000 bytes
    DebugConsole->Output("%s\n", std::string(767, 'y').c_str()); // 32,768: dropped whole
    DebugConsole->Output("%s\n", std::string(766, 'z').c_str()); // 32,767: fits
    testing::internal::GetCapturedStdout();
    const std::string gathered = Debugger_Output();
    ASSERT_EQ(gathered.size(), 32767u);
    EXPECT_EQ(gathered.find('y'), std::string::npos);
    EXPECT_EQ(gathered.substr(32000), std::string(766, 'z') + "\n");

    const Bytes answer = Ask(kDebugOutput);
    EXPECT_EQ(CodeOf(answer), static_cast<uint32_t>(kDebugOutput));
    EXPECT_EQ(TextOf(answer, 4), gathered);
    EXPECT_STREQ(Debugger_Output(), "");
}

TEST_F(DebuggerTest, PauseStepAndResumeBetweenStepsAndGarbageIsAnswered) {
    EXPECT_EQ(CodeOf(Ask(kDebugPause)), static_cast<uint32_t>(kDebugPause));
    EXPECT_TRUE(g_paused);
    Ask(kDebugStep);
    Ask(kDebugStep);
    EXPECT_EQ(g_steps, 2);
    const Bytes unknown = Ask(77);
    EXPECT_EQ(CodeOf(unknown), static_cast<uint32_t>(kDebugUnknown));
    EXPECT_EQ(TextOf(unknown, 4), "unknown command 77");
    Ask(kDebugResume);
    EXPECT_FALSE(g_paused);
    Ask(kDebugStep); // not paused: nothing to step
    EXPECT_EQ(g_steps, 2);

    // A pause held by a debugger that leaves is lifted.
    Ask(kDebugPause);
    client.socket.Close();
    EXPECT_TRUE(Until([] { return !g_paused; }));

    // Garbage from a new connection closes it; the server takes the next one.
    const int fd = RawConnect();
    ASSERT_EQ(::send(fd, "GET / HTTP/1.1\r\n\r\n", 18, 0), 18);
    char c;
    EXPECT_TRUE(Until([&] { return ::recv(fd, &c, 1, MSG_DONTWAIT) == 0; })); // closed by the runner
    ::close(fd);
    Client next;
    ASSERT_TRUE(next.socket.Connect("127.0.0.1", Debugger_Port()));
    EXPECT_TRUE(Until([&] {
        next.Poll();
        return next.socket.Connected();
    }));
}

// A debugger that sends its commands and ends its stream (as "nc -N" does) gets every answer before the
// connection closes; console lines leave the buffer only in an answer that goes out, so those of a
// connection cut in the middle of a packet reach the next debugger.
TEST_F(DebuggerTest, ADebuggerThatEndsItsStreamIsAnsweredAndNoConsoleLineIsLost) {
    client.socket.Close();
    ASSERT_TRUE(Until([] { return !Debugger_ClientConnected(); }));
    testing::internal::CaptureStdout();
    DebugConsole->Output("first\n");
    testing::internal::GetCapturedStdout();
    const std::vector<Bytes> answers = SendAndEnd(FramedAll({Command(kDebugOutput), Command(kDebugPause)}));
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[0], (Bytes{1, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(CodeOf(answers[1]), static_cast<uint32_t>(kDebugOutput));
    EXPECT_EQ(TextOf(answers[1], 4), "first\n");
    EXPECT_EQ(CodeOf(answers[2]), static_cast<uint32_t>(kDebugPause));
    EXPECT_FALSE(g_paused) << "the debugger that left lifted its pause";

    testing::internal::CaptureStdout();
    DebugConsole->Output("second\n");
    testing::internal::GetCapturedStdout();
    Bytes cut = FramedAll({Command(kDebugOutput), Command(kDebugPause)});
    cut.resize(cut.size() - 2);
    for (const Bytes& answer : SendAndEnd(cut))
        EXPECT_NE(CodeOf(answer), static_cast<uint32_t>(kDebugOutput)) << "an answer after the connection closed";

    Client next;
    ASSERT_TRUE(next.socket.Connect("127.0.0.1", Debugger_Port()));
    ASSERT_TRUE(Until([&] {
        next.Poll();
        return next.socket.Connected();
    }));
    const Bytes ask = Command(kDebugOutput);
    next.socket.Send(ask.data(), ask.size());
    ASSERT_TRUE(Until([&] {
        next.Poll();
        return !next.received.empty();
    }));
    EXPECT_EQ(TextOf(next.received[0], 4).rfind("second\n", 0), 0u) << TextOf(next.received[0], 4);
}

// A step of the paused game may serve the link again (game code that stops at a breakpoint does): the
// command that ran the step is neither run nor answered a second time.
TEST_F(DebuggerTest, AStepThatServesTheLinkAgainIsAnsweredOnce) {
    Ask(kDebugPause);
    bool inside = false;
    g_onStep = [&] {
        if (inside) return;
        inside = true;
        DebuggerPoll();
        inside = false;
    };
    client.received.clear();
    for (uint32_t code : {kDebugStep, kDebugResume}) {
        const Bytes c = Command(code);
        client.socket.Send(c.data(), c.size());
        ASSERT_TRUE(Until([&] { return !client.received.empty() && CodeOf(client.received.back()) == code; }));
    }
    std::vector<uint32_t> codes;
    for (const Bytes& answer : client.received)
        codes.push_back(CodeOf(answer));
    EXPECT_EQ(codes, (std::vector<uint32_t>{kDebugStep, kDebugResume}));
    EXPECT_EQ(g_steps, 1);
}

TEST(DebugForm, ShowsMessagesAndStatusAndStepsThePausedGame) {
    CFakePlatform fake;
    fake.hasDisplay = true;
    Platform_SetBackend(&fake);
    bool paused = false;
    static bool* s_paused = &paused;
    static int s_steps = 0;
    Debugger_SetHost(DebuggerHost{nullptr, [](bool p) { *s_paused = p; }, [] { return *s_paused; },
                                  [] { ++s_steps; }, [] { return 30; }, [] { return 29; }});
    DebuggerInitRemoteInterface();
    CDebugForm form;
    form.Create();
    ASSERT_NE(fake.openPanel, nullptr);
    EXPECT_TRUE(DebugForm_IsOpen());
    testing::internal::CaptureStdout();
    DebugConsole->Output("first\n");
    ReleaseConsole->Output("second\n");
    testing::internal::GetCapturedStdout();
    const CTextPanel* panel = DebugForm_Panel();
    EXPECT_EQ(panel->Lines(), (std::deque<std::string>{"first", "second"}));
    EXPECT_EQ(panel->Selected(), 1);
    EXPECT_EQ(panel->Status(), "Room speed: 30   FPS: 29");

    fake.openPanel->Press(1); // step: the game is not paused
    fake.openPanel->Press(0); // pause
    fake.openPanel->Press(1); // step
    DebuggerPoll();
    EXPECT_TRUE(paused);
    EXPECT_EQ(s_steps, 1);
    EXPECT_EQ(panel->Buttons()[0], "Run");
    fake.openPanel->Press(0);
    DebuggerPoll();
    EXPECT_FALSE(paused);
    EXPECT_EQ(panel->Buttons()[0], "Pause");

    form.Close();
    EXPECT_EQ(fake.openPanel, nullptr);
    EXPECT_FALSE(DebugForm_IsOpen());
    Debugger_SetHost(DebuggerHost{});
    Platform_SetBackend(nullptr);
}
