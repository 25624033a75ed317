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

} // namespace

int TestHook_WritePause(const char* path) {
    static const Pause pause = ReadPause("RUNNER_TEST_WRITE_PAUSE");
    if (pause.milliseconds == 0 || !path) return 0;
    const char* slash = std::strrchr(path, '/');
    return pause.text == (slash ? slash + 1 : path) ? pause.milliseconds : 0;
}

int TestHook_LinePause(const char* line) {
    static const Pause pause = ReadPause("RUNNER_TEST_LINE_PAUSE");
    return pause.milliseconds != 0 && line && std::strstr(line, pause.text.c_str()) ? pause.milliseconds : 0;
}

const DialogHold& TestHook_DialogHold() {
    static const DialogHold hold = [] {
        DialogHold read;
        const char* value = std::getenv("RUNNER_TEST_DIALOG_HOLD");
        if (!value) return read;
        for (const char* moment : {"fork", "child"}) {
            const size_t length = std::strlen(moment);
            if (std::strncmp(value, moment, length) != 0 || value[length] != ':') continue;
            const int process = std::atoi(value + length + 1);
            if (process > 0) read = DialogHold{moment, process};
        }
        return read;
    }();
    return hold;
}

void TestHook_Sleep(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
