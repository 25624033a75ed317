#include "support/emulator.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

// The emulator answers a process's questions about itself as the emulated program would (its
// /proc/self/exe is that program), but not a question about another process, which the kernel answers:
// the program that process runs is the emulator. A child asks that of its parent, which runs what the
// child does on a machine of its own. (Only calls that are safe after a fork run in the child.)
bool RunsUnderEmulator() {
    static const bool emulated = [] {
        const pid_t child = fork();
        if (child == 0) {
            char own[PATH_MAX], parents[PATH_MAX], parentExe[64];
            std::snprintf(parentExe, sizeof(parentExe), "/proc/%d/exe", static_cast<int>(getppid()));
            const ssize_t ownSize = readlink("/proc/self/exe", own, sizeof(own));
            const ssize_t parentSize = readlink(parentExe, parents, sizeof(parents));
            const bool differ = ownSize > 0 && parentSize > 0 &&
                                (ownSize != parentSize || std::memcmp(own, parents, ownSize) != 0);
            _exit(differ ? 1 : 0);
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child) return false;
        return WIFEXITED(status) && WEXITSTATUS(status) == 1;
    }();
    return emulated;
}
