#include "core/test_hooks.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

struct Pause {
    int milliseconds = 0;
    std::string text;
};

// "<milliseconds>:<text>", read once; no pause when the variable is unset or malformed.
Pause ReadPause(const char* variable) {
    Pause pause;
    const char* value = std::getenv(variable);
    if (!value) return pause;
    char* end = nullptr;
    const long milliseconds = std::strtol(value, &end, 10);
    if (end == value || *end != ':' || end[1] == '\0' || milliseconds <= 0 || milliseconds > 600000) return pause;
    pause.milliseconds = static_cast<int>(milliseconds);
    pause.text = end + 1;
    return pause;
}

// The pause's milliseconds when the last part of path is its text, else 0.
int PauseForFile(const Pause& pause, const char* path) {
    if (pause.milliseconds == 0 || !path) return 0;
    const char* slash = std::strrchr(path, '/');
    return pause.text == (slash ? slash + 1 : path) ? pause.milliseconds : 0;
}

} // namespace

int TestHook_WritePause(const char* path) {
    static const Pause pause = ReadPause("RUNNER_TEST_WRITE_PAUSE");
    return PauseForFile(pause, path);
}

int TestHook_LockPause(const char* path) {
    static const Pause pause = ReadPause("RUNNER_TEST_LOCK_PAUSE");
    return PauseForFile(pause, path);
}

int TestHook_LinePause(const char* line) {
    static const Pause pause = ReadPause("RUNNER_TEST_LINE_PAUSE");
    return pause.milliseconds != 0 && line && std::strstr(line, pause.text.c_str()) ? pause.milliseconds : 0;
}

void TestHook_Sleep(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
