// Runs a command and writes its peak resident memory in bytes to a file.
//
//   peak_memory OUT_FILE PROGRAM [ARGUMENTS...]
//
// A process's peak, as wait4 reports it, counts the resident memory of the process that forked it at the
// moment of the fork: a test program that has grown large would measure itself with every runner it
// starts. This small program is that fork's parent instead. It exits as the command did (128 plus the
// signal's number when a signal ended it), and takes down the command when it is itself told to stop
// (run by hand; the scenarios stop a run's whole process group).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

static pid_t g_child = 0;

static void ForwardStop(int signalNumber) {
    if (g_child > 0) kill(g_child, SIGKILL);
    _exit(128 + signalNumber);
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: peak_memory OUT_FILE PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    g_child = fork();
    if (g_child < 0) {
        std::perror("peak_memory: fork");
        return 2;
    }
    if (g_child == 0) {
        execv(argv[2], argv + 2);
        std::perror("peak_memory: exec");
        _exit(127);
    }
    std::signal(SIGTERM, ForwardStop);
    std::signal(SIGINT, ForwardStop);
    int status = 0;
    rusage usage{};
    while (wait4(g_child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("peak_memory: wait");
            return 2;
        }
    }
    if (FILE* out = std::fopen(argv[1], "w")) {
        std::fprintf(out, "%zu\n", static_cast<size_t>(usage.ru_maxrss) * 1024);
        std::fclose(out);
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
