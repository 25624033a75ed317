#include "net/network.h"

#include "net/async_requests.h"
#include "net/debugger.h"

#include <vector>

namespace {

struct Slot {
    std::unique_ptr<zbSocket> socket;
    std::unique_ptr<zbServer> server;
    bool Used() const { return socket || server; }
};
std::vector<Slot> g_slots;

int FreeSlot() {
    for (size_t i = 0; i < g_slots.size(); ++i)
        if (!g_slots[i].Used()) return static_cast<int>(i);
    g_slots.emplace_back();
    return static_cast<int>(g_slots.size() - 1);
}

Slot* At(int slot) {
    return slot >= 0 && static_cast<size_t>(slot) < g_slots.size() ? &g_slots[static_cast<size_t>(slot)] : nullptr;
}

} // namespace

// The engine's networking and legacy multiplayer built-ins are not part of this runner: both groups
// register nothing.
void InitMPlayFunctions() {}
void InitNetworkFunctions() {}

int Network_AddSocket(std::unique_ptr<zbSocket> socket) {
    const int slot = FreeSlot();
    g_slots[static_cast<size_t>(slot)].socket = std::move(socket);
    return slot;
}

int Network_AddServer(std::unique_ptr<zbServer> server) {
    const int slot = FreeSlot();
    g_slots[static_cast<size_t>(slot)].server = std::move(server);
    return slot;
}

zbSocket* Network_Socket(int slot) {
    Slot* s = At(slot);
    return s ? s->socket.get() : nullptr;
}

zbServer* Network_Server(int slot) {
    Slot* s = At(slot);
    return s ? s->server.get() : nullptr;
}

void Network_Free(int slot) {
    if (Slot* s = At(slot)) *s = Slot{};
}

void Network_Poll() {
    for (Slot& slot : g_slots) {
        if (slot.server) slot.server->Poll();
        if (slot.socket) slot.socket->Poll();
    }
}

void Network_Shutdown() {
    g_slots.clear();
    Debugger_Stop();
    HTTP_Shutdown();
}
