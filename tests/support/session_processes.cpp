#include "support/session_processes.h"

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>

std::vector<pid_t> RunningInSession(pid_t session) {
    std::vector<pid_t> running;
    DIR* proc = opendir("/proc");
    if (!proc) return running;
    while (const dirent* entry = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0) continue;
        // "pid (name) state ppid pgrp session ...": the name may hold blanks and parentheses. A process
        // that ends meanwhile fails the read (which a stream would throw for): it is left out.
        char stat[1024];
        ssize_t n = -1;
        if (const int fd = open(("/proc/" + std::string(entry->d_name) + "/stat").c_str(), O_RDONLY); fd >= 0) {
            n = read(fd, stat, sizeof stat - 1);
            close(fd);
        }
        if (n <= 0) continue;
        const std::string_view text(stat, static_cast<size_t>(n));
        const size_t name = text.rfind(')');
        if (name == std::string::npos) continue;
        std::istringstream rest(std::string(text.substr(name + 1)));
        std::string state;
        pid_t parent = 0, pgrp = 0, sid = 0;
        if (rest >> state >> parent >> pgrp >> sid && sid == session && state != "Z") running.push_back(pid);
    }
    closedir(proc);
    return running;
}
