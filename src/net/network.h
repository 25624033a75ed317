// Networking as the start-up and the run loop reach it: the socket layer and the debugger's server.
#pragma once

void InitMPlayFunctions();
void InitNetworkFunctions();
// Once per step after the begin step.
void Network_Poll();
// Frees the socket slots.
void Network_Shutdown();

// A listening server; the start-up makes one for the remote debugger.
class zbServer {
public:
    // Opens the server; false when it could not be opened.
    bool Init(int type, int port, int maxClients, int flags);

    bool isDebuggerServer = false;
};
