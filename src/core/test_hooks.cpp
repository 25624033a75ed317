#include "core/test_hooks.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

struct Pause {
    HookPause pause;
    std::string text;
};

// A pause that lasts until held stops for a minute at most.
constexpr int kUntilHeldAtMost = 60000;

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

// "<milliseconds>:<text>" or "held:<text>", read once; no pause when the variable is unset or malformed.
Pause ReadPause(const char* variable) {
    Pause read;
    const char* value = std::getenv(variable);
    const char* text = nullptr;
    if (value && std::strncmp(value, "held:", 5) == 0) {
        read.pause = HookPause{kUntilHeldAtMost, true};
        text = value + 5;
    } else {
        read.pause.milliseconds = ReadMilliseconds(value, ':', text);
    }
    if (!read.pause || *text == '\0') return Pause{};
    read.text = text;
    return read;
}

// The pause when the last part of path is its text, else none.
HookPause PauseForFile(const Pause& pause, const char* path) {
    if (!pause.pause || !path) return HookPause{};
    const char* slash = std::strrchr(path, '/');
    return pause.text == (slash ? slash + 1 : path) ? pause.pause : HookPause{};
}

// "<milliseconds>" alone; 0 when the variable is unset or malformed.
int ReadMillisecondsAlone(const char* variable) {
    const char* rest = nullptr;
    return ReadMilliseconds(std::getenv(variable), '\0', rest);
}

} // namespace

HookPause TestHook_WritePause(const char* path) {
    static const Pause pause = ReadPause("RUNNER_TEST_WRITE_PAUSE");
    return PauseForFile(pause, path);
}

int TestHook_LockPause(const char* path) {
    static const Pause pause = ReadPause("RUNNER_TEST_LOCK_PAUSE");
    return PauseForFile(pause, path).milliseconds;
}

HookPause TestHook_LinePause(const char* line) {
    static const Pause pause = ReadPause("RUNNER_TEST_LINE_PAUSE");
    return pause.pause && line && std::strstr(line, pause.text.c_str()) ? pause.pause : HookPause{};
}

void TestHook_Pause(const HookPause& pause, const std::atomic<bool>& held) {
    if (!pause.untilHeld) {
        TestHook_Sleep(pause.milliseconds);
        return;
    }
    constexpr int kSlice = 5;
    for (int waited = 0; waited < pause.milliseconds && !held.load(); waited += kSlice)
        TestHook_Sleep(kSlice);
    if (held.load()) TestHook_Sleep(100);
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
