// The processes of a session: what a run of the runner (which leads a session of its own) left running.
#pragma once

#include <sys/types.h>
#include <vector>

// The processes of a session that are still running (a zombie has ended: it only waits for its new
// parent to collect it).
std::vector<pid_t> RunningInSession(pid_t session);
