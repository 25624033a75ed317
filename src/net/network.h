// Networking as the start-up, the run loop and the shutdown reach it: the table of socket slots polled
// once per step, and the built-in groups of networking (see the README for what they hold).
#pragma once

#include "net/socket.h"

#include <memory>

void InitMPlayFunctions();
void InitNetworkFunctions();

// The socket slots: a slot holds a socket or a server; a freed slot is reused, lowest first.
int Network_AddSocket(std::unique_ptr<zbSocket> socket);
int Network_AddServer(std::unique_ptr<zbServer> server);
// The socket or server of a slot, or null.
zbSocket* Network_Socket(int slot);
zbServer* Network_Server(int slot);
void Network_Free(int slot);

// Once per step after the begin step: moves the bytes of every socket and server slot.
void Network_Poll();
// Frees the socket slots, stops the remote debugger's server, and ends the HTTP transfers (their
// requests are deleted).
void Network_Shutdown();
