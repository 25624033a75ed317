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

// "<milliseconds>" followed by the separator given (none: the end of the value); 0 when the variable is
// unset or malformed, else the milliseconds, with rest at the text after the separator.
int ReadMilliseconds(const char* value, char separator, const char*& rest) {
    if (!value) return 0;
    char* end = nullptr;
    const long milliseconds = std::strtol(value, &end, 10);
    if (end == value || *end != separator || milliseconds <= 0 || milliseconds > 600000) return 0;
    rest = separator ? end + 1 : end;
    return static_cast<int>(milliseconds);
}

// "<milliseconds>:<text>", read once; no pause when the variable is unset or malformed.
Pause ReadPause(const char* variable) {
    Pause pause;
    const char* text = nullptr;
    const int milliseconds = ReadMilliseconds(std::getenv(variable), ':', text);
    if (milliseconds == 0 || *text == '\0') return pause;
    pause.milliseconds = milliseconds;
    pause.text = text;
    return pause;
}

// The pause's milliseconds when the last part of path is its text, else 0.
int PauseForFile(const Pause& pause, const char* path) {
    if (pause.milliseconds == 0 || !path) return 0;
    const char* slash = std::strrchr(path, '/');
    return pause.text == (slash ? slash + 1 : path) ? pause.milliseconds : 0;
}

// "<milliseconds>" alone; 0 when the variable is unset or malformed.
int ReadMillisecondsAlone(const char* variable) {
    const char* rest = nullptr;
    return ReadMilliseconds(std::getenv(variable), '\0', rest);
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

int TestHook_HoldDelay() {
    static const int delay = ReadMillisecondsAlone("RUNNER_TEST_HOLD_DELAY");
    return delay;
}

int TestHook_ClosingPause() {
    static const int pause = ReadMillisecondsAlone("RUNNER_TEST_CLOSING_PAUSE");
    return pause;
}

int TestHook_StopGrace() {
    static const int grace = ReadMillisecondsAlone("RUNNER_TEST_STOP_GRACE");
    return grace;
}

const DialogHold& TestHook_DialogHold() {
    static const DialogHold hold = [] {
        DialogHold read;
        const char* value = std::getenv("RUNNER_TEST_DIALOG_HOLD");
        if (!value) return read;
        for (const char* moment : {"fork", "start", "child"}) {
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
