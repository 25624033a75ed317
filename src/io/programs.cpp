#include "io/programs.h"

#include "core/text.h"
#include "io/message_pump.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

// ---- Programs ----

namespace {

// Programs started without waiting; each later start collects those that have ended, so they do not
// linger as zombies.
std::vector<pid_t> g_children;

void ReapChildren() {
    for (size_t i = 0; i < g_children.size();) {
        if (waitpid(g_children[i], nullptr, WNOHANG) != 0) {
            g_children[i] = g_children.back();
            g_children.pop_back();
        } else {
            ++i;
        }
    }
}

bool Spawn(const std::vector<std::string>& argv, const char* directory, pid_t* pid) {
    if (argv.empty() || argv[0].empty()) return false;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (directory && *directory) posix_spawn_file_actions_addchdir_np(&actions, directory);
    int rc = posix_spawnp(pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
}

void SplitInto(std::vector<std::string>& out, const char* text) {
    if (!text) return;
    while (*text) {
        std::string item = Support_NextCommandLineItem(text);
        if (!item.empty()) out.push_back(item);
    }
}

bool Run(std::vector<std::string> argv, const char* directory, bool wait) {
    ReapChildren();
    pid_t pid;
    if (!Spawn(argv, directory, &pid)) return false;
    if (!wait) {
        g_children.push_back(pid);
        return true;
    }
    for (;;) {
        pid_t done = waitpid(pid, nullptr, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) break;
        ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

} // namespace

std::string Support_NextCommandLineItem(const char*& text) {
    std::string item;
    while (*text && static_cast<unsigned char>(*text) < 33)
        ++text;
    bool quoted = false;
    for (; *text; ++text) {
        if (*text == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && static_cast<unsigned char>(*text) < 33) break;
        item += *text;
    }
    return item;
}

bool Support_ExecuteProgram(const char* program, const char* arguments, const char* directory, bool wait) {
    if (!program) return false;
    std::vector<std::string> argv{program};
    SplitInto(argv, arguments);
    return Run(argv, directory, wait);
}

bool Support_ShellExecute(const char* file, const char* parameters, const char* directory) {
    if (!file || !*file) return false;
    struct stat st;
    bool program = stat(file, &st) == 0 && S_ISREG(st.st_mode) && access(file, X_OK) == 0;
    std::vector<std::string> argv;
    if (program) {
        // A bare name would be searched on PATH by the spawn; the file meant is the one found here.
        argv.push_back(std::strchr(file, '/') ? file : std::string("./") + file);
        SplitInto(argv, parameters);
    } else {
        argv = {"xdg-open", file};
    }
    return Run(argv, directory, false);
}

// ---- Command line ----

namespace {
std::vector<std::string> g_params;
} // namespace

void Param_SetCommandLine(int argc, const char* const* argv) {
    g_params.clear();
    for (int i = 0; i < argc && argv && argv[i]; ++i)
        g_params.emplace_back(argv[i]);
}

int Param_Count() {
    return static_cast<int>(g_params.size());
}

char* Param_String(int n) {
    if (n < 0 || n >= Param_Count()) return String_Duplicate("");
    return String_Duplicate(g_params[static_cast<size_t>(n)].c_str());
}
