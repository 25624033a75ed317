#include "net/network.h"

// The socket layer is not built yet: no built-ins, nothing to poll or free, and no server opens.
void InitMPlayFunctions() {}
void InitNetworkFunctions() {}
void Network_Poll() {}
void Network_Shutdown() {}

bool zbServer::Init(int /*type*/, int /*port*/, int /*maxClients*/, int /*flags*/) {
    return false;
}
