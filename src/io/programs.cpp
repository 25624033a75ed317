#include "io/programs.h"

#include "core/console.h"
#include "core/save_area.h"
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

extern char** environ;

// ---- Programs ----

namespace {

// Programs started without waiting (or whose wait the quit message ended); each later start collects
// those that have ended, so they do not linger as zombies.
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

bool Run(const std::vector<std::string>& argv, const char* directory, bool wait) {
    ReapChildren();
    pid_t pid;
    if (!Spawn(argv, directory, &pid)) return false;
    if (!wait) {
        g_children.push_back(pid);
        return true;
    }
    // The wait ends with the main loop, or with the window where it began after the loop's end, so the
    // player can always close the game.
    const CMessageWait player;
    for (;;) {
        pid_t done = waitpid(pid, nullptr, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) return true;
        ProcessMessages();
        if (player.Over()) {
            g_children.push_back(pid);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool TooLong(const char* text, const char* what) {
    if (!text || std::strlen(text) <= kShellTextSize) return false;
    DebugConsole->Output("The %s is longer than %d bytes: nothing was started\n", what,
                         static_cast<int>(kShellTextSize));
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

} // namespace

std::vector<std::string> Support_SplitWords(const char* text) {
    std::vector<std::string> words;
    if (!text) return words;
    std::string word;
    bool inWord = false;
    const char* p = text;
    while (*p) {
        const char c = *p++;
        if (IsBlank(c)) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            if (*p == '\n')
                ++p; // a line continuation joins the lines
            else if (*p)
                word += *p++;
        } else if (c == '\'') {
            while (*p && *p != '\'')
                word += *p++;
            if (*p) ++p;
        } else if (c == '"') {
            while (*p && *p != '"') {
                if (*p == '\\' && p[1] && std::strchr("$`\"\\\n", p[1])) {
                    if (p[1] != '\n') word += p[1];
                    p += 2;
                } else {
                    word += *p++;
                }
            }
            if (*p) ++p;
        } else {
            word += c;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

bool Support_ExecuteProgram(const char* program, const char* arguments, const char* directory, bool wait) {
    if (!program || TooLong(program, "program name") || TooLong(arguments, "argument text")) return false;
    struct stat st;
    std::vector<std::string> argv;
    if (stat(program, &st) == 0 || !std::strpbrk(program, " \t\n'\"\\"))
        argv.emplace_back(program);
    else
        argv = Support_SplitWords(program);
    if (argv.empty()) return false;
    for (std::string& word : Support_SplitWords(arguments))
        argv.push_back(std::move(word));
    return Run(argv, directory, wait);
}

std::string Support_GameFileOr(const char* name) {
    if (name == nullptr || *name == '\0' || std::strlen(name) > kShellTextSize) return name ? name : "";
    const std::string path = LoadSave_ReadPath(name);
    return path.empty() ? name : path;
}

bool Support_ShellExecute(const char* file, const char* parameters, const char* directory) {
    if (!file || !*file || TooLong(file, "file name") || TooLong(parameters, "parameter text")) return false;
    struct stat st;
    bool program = stat(file, &st) == 0 && S_ISREG(st.st_mode) && access(file, X_OK) == 0;
    std::vector<std::string> argv;
    if (program) {
        // A bare name would be searched on PATH by the spawn; the file meant is the one found here.
        argv.push_back(std::strchr(file, '/') ? file : std::string("./") + file);
        for (std::string& word : Support_SplitWords(parameters))
            argv.push_back(std::move(word));
    } else {
        // A name that starts with "-" would read as an option of the opener.
        argv = {"xdg-open", file[0] == '-' ? std::string("./") + file : std::string(file)};
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
    std::string item = g_params[static_cast<size_t>(n)];
    if (item.size() >= kShellTextSize) {
        size_t end = kShellTextSize - 1;
        while (end > 0 && (static_cast<unsigned char>(item[end]) & 0xC0) == 0x80)
            --end;
        item.resize(end);
    }
    return String_Duplicate(item.c_str());
}
