// A name server that never answers, for the process that calls EnterSilentResolver: the process enters
// a network namespace and a mount namespace of its own, in which the loopback interface is up,
// /etc/resolv.conf names 127.0.0.1 alone, and a UDP socket there takes the queries and never reads them.
// Nothing the process sends leaves the namespace. Call it in a child of the test (after fork, before
// exec): the socket stays open across exec, in the program the child becomes.
#pragma once

#include <string>

// A network namespace of the process's own (and a mount namespace), with its loopback interface up: the
// ports the process and its children use there are theirs alone (a fixed port of the runner's, say).
// Call it in a child of the test, as below. False, with the reason in *why, when it cannot be made.
bool EnterOwnNetwork(std::string* why);
// Whether EnterOwnNetwork succeeds here, tried in a child of its own; the reason in *why if not.
bool OwnNetworkAvailable(std::string* why);

// A host name that only the name server can resolve (no hosts file holds it).
constexpr const char* kSilentHost = "images.silent-resolver.test";

// False, with the reason in *why, when the namespaces cannot be made (no permission, a kernel
// without them); the process is then unchanged, except perhaps for a namespace entered with no
// resolver in it.
bool EnterSilentResolver(const std::string& folder, std::string* why);

// Whether EnterSilentResolver succeeds here, tried in a child of its own; the reason in *why if not.
bool SilentResolverAvailable(const std::string& folder, std::string* why);
