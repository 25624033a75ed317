#include "net/debugger.h"

#include "core/console.h"
#include "net/debug_form.h"
#include "net/socket.h"
#include "script/vm/vm.h"
#include "script/vm/vm_debug.h"

#include <poll.h>

#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace {

DebuggerHost g_host{};
std::unique_ptr<zbServer> g_server;
// The output buffer: always NUL-terminated, at most kDebuggerOutputSize - 1 bytes of text.
char g_output[kDebuggerOutputSize];
size_t g_outputLength = 0;
bool g_linkReady = false;
// Set while the machine waits at a break: the answer the debugger gave (-1 none yet).
bool g_atBreak = false;
int g_breakAnswer = -1;
// The game was paused by the debugger (and is resumed when it leaves).
bool g_pausedByDebugger = false;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    out.resize(out.size() + 4);
    Packet_PutU32(out.data() + out.size() - 4, v);
}

zbSocket* Client() {
    if (!g_server) return nullptr;
    for (auto& client : g_server->Clients())
        if (!client->Closed()) return client.get();
    return nullptr;
}

// False when the connection has closed: the answer goes nowhere.
bool Reply(zbSocket& client, uint32_t code, const char* text = nullptr, size_t length = 0) {
    std::vector<uint8_t> packet;
    PutU32(packet, code);
    if (text) packet.insert(packet.end(), text, text + length);
    return client.Send(packet.data(), packet.size());
}

void SetPaused(bool paused) {
    if (g_host.setPaused) g_host.setPaused(paused);
}

// Answers a command of size bytes that starts with code (the rest of it is not read).
void Command(zbSocket& client, uint32_t code, size_t size) {
    if (size < 4) {
        DebugConsole->Output("Debugger: a command of %zu bytes is too short\n", size);
        const char* text = "command too short";
        Reply(client, kDebugUnknown, text, std::strlen(text));
        return;
    }
    switch (code) {
    case kDebugOutput:
        // Lines that no debugger will get stay for the next one.
        if (Reply(client, kDebugOutput, g_output, g_outputLength)) {
            g_outputLength = 0;
            g_output[0] = '\0';
        }
        return;
    case kDebugPause:
        g_pausedByDebugger = true;
        SetPaused(true);
        break;
    case kDebugResume:
        if (g_atBreak) g_breakAnswer = 0;
        g_pausedByDebugger = false;
        SetPaused(false);
        break;
    case kDebugStep:
        if (g_atBreak) {
            // Stop again where the source line (or the code) changes.
            const VMContext* c = VM_CurrentContext;
            VMDebugEntry entry;
            const VMCodeNames running = c ? VM_RunningCode(*c) : VMCodeNames{nullptr, nullptr, nullptr};
            const bool found = c && VM_FindDebugEntry(running.debugTable, c->pc, &entry);
            VMDebug_State().VM_StepLine = VM_GetLineNumber(found ? &entry : nullptr, running.text, nullptr);
            VMDebug_State().VM_StepText = running.text;
            VMDebug_State().VM_SingleStep = true;
            g_breakAnswer = 1;
        } else if (g_host.isPaused && g_host.isPaused() && g_host.step) {
            g_host.step();
        }
        break;
    default: {
        DebugConsole->Output("Debugger: unknown command %u\n", code);
        char text[48];
        const int n = std::snprintf(text, sizeof text, "unknown command %u", code);
        Reply(client, kDebugUnknown, text, static_cast<size_t>(n));
        return;
    }
    }
    Reply(client, code);
}

// Accepts, moves bytes and answers every command that arrived; a debugger that left resumes the game
// (also one that came, paused it and left within this call).
void Serve() {
    if (!g_server) return;
    g_server->Poll();
    for (auto& client : g_server->Clients()) {
        if (client->Closed() && !client->Error().empty())
            DebugConsole->Output("Debugger: connection closed: %s\n", client->Error().c_str());
        // Each packet is dropped before its command runs: a step of the game may serve the link again.
        std::span<const uint8_t> packet;
        while (client->Peek(packet)) {
            const size_t size = packet.size();
            const uint32_t code = size >= 4 ? Packet_GetU32(packet.data()) : 0;
            client->Pop();
            Command(*client, code, size);
        }
        client->Poll();
    }
    if (!Client()) {
        if (g_atBreak) g_breakAnswer = 0;
        if (g_pausedByDebugger) SetPaused(false);
        g_pausedByDebugger = false;
    }
}

// Waits up to ms for the server's sockets to have something to read.
void WaitForTraffic(int ms) {
    std::vector<pollfd> fds;
    if (g_server && g_server->Fd() >= 0) fds.push_back(pollfd{g_server->Fd(), POLLIN, 0});
    if (zbSocket* client = Client(); client && client->Fd() >= 0)
        fds.push_back(pollfd{client->Fd(), client->WaitEvents(), 0});
    ::poll(fds.data(), fds.size(), ms);
}

bool LinkRunning() {
    return g_server && g_linkReady;
}

void AppendOutput(const char* line) {
    const size_t length = std::strlen(line);
    if (g_outputLength + length > kDebuggerOutputSize - 1) return;
    std::memcpy(g_output + g_outputLength, line, length + 1);
    g_outputLength += length;
}

int WaitWhilePaused() {
    zbSocket* client = Client();
    if (!client) return 0; // no debugger to resume the game
    const VMContext* c = VM_CurrentContext;
    int32_t line = -1;
    const char* name = "";
    if (c) {
        const VMCodeNames running = VM_RunningCode(*c);
        VMDebugEntry entry;
        const bool found = VM_FindDebugEntry(running.debugTable, c->pc, &entry);
        line = VM_GetLineNumber(found ? &entry : nullptr, running.text, nullptr);
        if (running.name) name = running.name;
    }
    std::vector<uint8_t> notice;
    PutU32(notice, static_cast<uint32_t>(line));
    notice.insert(notice.end(), name, name + std::strlen(name));
    Reply(*client, kDebugBreakNotice, reinterpret_cast<const char*>(notice.data()), notice.size());

    SetPaused(true);
    g_atBreak = true;
    g_breakAnswer = -1;
    while (g_breakAnswer < 0) {
        if (g_host.pumpMessages && !g_host.pumpMessages()) {
            g_breakAnswer = 0; // the run is ending
            break;
        }
        Serve();
        if (g_breakAnswer < 0) WaitForTraffic(10);
    }
    g_atBreak = false;
    SetPaused(false);
    return g_breakAnswer;
}

} // namespace

void Debugger_SetHost(const DebuggerHost& host) {
    g_host = host;
    DebugForm_SetHost(host);
}

void DebuggerInitRemoteInterface() {
    DebugLink_Install(DebugLinkHooks{DebugForm_Open, DebugForm_Add, LinkRunning, AppendOutput, WaitWhilePaused});
}

bool Debugger_StartServer(int port) {
    if (g_server) return true;
    auto server = std::make_unique<zbServer>();
    server->isDebuggerServer = true;
    server->loopbackOnly = true;
    if (!server->Init(0, port, 1, 1)) return false;
    g_server = std::move(server);
    DebuggerCreateIPSocket();
    return true;
}

void DebuggerCreateIPSocket() {
    g_outputLength = 0;
    g_output[0] = '\0';
    g_linkReady = true;
}

void Debugger_Stop() {
    g_server.reset();
    g_linkReady = false;
    g_outputLength = 0;
    g_output[0] = '\0';
    g_pausedByDebugger = false;
}

int Debugger_Port() {
    return g_server ? g_server->Port() : 0;
}

bool Debugger_ClientConnected() {
    zbSocket* client = Client();
    return client && client->Connected();
}

void DebuggerPoll() {
    Serve();
    DebugForm_Poll();
}

const char* Debugger_Output() {
    return g_output;
}
