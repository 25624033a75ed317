#include "core/console.h"

#include "core/debug_link.h"
#include "core/memory.h"
#include "core/process_exit.h"
#include "core/test_hooks.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace {

TConsole g_debugConsole(1);
TConsole g_releaseConsole(0);

// Index 0: the release log ("-output"); 1: the debug log ("-debugoutput").
std::string g_logPath[2];
bool g_logOn[2] = {false, false};

// Held while a text goes out, so that a line is written whole or not at all (Console_Hold). Recursive:
// a sink that writes to a console while a line goes out takes it again.
std::recursive_timed_mutex g_emitting;
// Set by Console_Hold: from then on no text starts (one under way on this thread, through a sink that
// writes to a console, goes on).
std::atomic<bool> g_held{false};
thread_local int t_emitting = 0;

} // namespace

tagIConsole* const DebugConsole = &g_debugConsole;
tagIConsole* const ReleaseConsole = &g_releaseConsole;

void Console_SetLogFile(int selector, const char* path) {
    int i = selector ? 1 : 0;
    g_logOn[i] = path != nullptr;
    g_logPath[i] = path ? path : "";
}

void tagIConsole::Output(const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    OutputV(format, args);
    va_end(args);
}

namespace {

// Writes a line to a log file; the test hook may stop it halfway (see test_hooks.h).
void WriteLine(FILE* f, const char* line) {
    if (const HookPause pause = TestHook_LinePause(line)) {
        const size_t half = std::strlen(line) / 2;
        std::fwrite(line, 1, half, f);
        std::fflush(f);
        TestHook_Pause(pause, g_held);
        line += half;
    }
    std::fputs(line, f);
}

// Formats the text once and sends it to the standard output, the debug form, the debugger and the log
// files that `logs` selects (index 0 the release log, 1 the debug log).
void Emit(const char* format, va_list args, const bool (&logs)[2]) {
    if (!format) return;
    char line[TConsole::kLineSize];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(line, sizeof line, format, copy);
    va_end(copy);
    if (n < 0) return;
    if (g_held.load() && t_emitting == 0) Process_AwaitEnd();
    std::lock_guard<std::recursive_timed_mutex> hold(g_emitting);
    struct Depth {
        Depth() { ++t_emitting; }
        ~Depth() { --t_emitting; }
    } depth;

    // Standard output gets the whole text; the other sinks get the line cut to 4095 characters.
    if (n < TConsole::kLineSize) {
        std::fwrite(line, 1, static_cast<size_t>(n), stdout);
    } else {
        std::string whole(static_cast<size_t>(n) + 1, '\0');
        std::vsnprintf(whole.data(), whole.size(), format, args);
        std::fwrite(whole.data(), 1, static_cast<size_t>(n), stdout);
    }

    if (DebugForm_IsOpen()) DebugForm_AddMessage(line);
    if (Debugger_ServerRunning()) DebuggerAppendOutput(line);

    for (int i = 0; i < 2; ++i) {
        if (!logs[i] || !g_logOn[i]) continue;
        if (FILE* f = std::fopen(g_logPath[i].c_str(), "a+")) {
            WriteLine(f, line);
            std::fclose(f);
        }
    }
    std::fflush(stdout);
}

} // namespace

void TConsole::OutputV(const char* format, va_list args) {
    const bool logs[2] = {m_selector == 0, m_selector != 0};
    Emit(format, args, logs);
}

bool Console_Hold(int waitMilliseconds) {
    // Test hook: the first hold lets the text going out finish before it waits for it, so that a text
    // that would start then finds the consoles free.
    if (!g_held.exchange(true)) TestHook_Sleep(TestHook_HoldDelay());
    return g_emitting.try_lock_for(std::chrono::milliseconds(waitMilliseconds > 0 ? waitMilliseconds : 0));
}

void Console_OutputBoth(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Emit(format, args, {true, true});
    va_end(args);
}

namespace {
// One formatting buffer shared by every TErrStreamConsole: their Output is not reentrant.
char g_errFormat[TErrStreamConsole::kFormatSize];
} // namespace

TErrStreamConsole::TErrStreamConsole()
    : m_capacity(kInitialCapacity), m_text(static_cast<char*>(MEM_ALLOC(kInitialCapacity))) {}

TErrStreamConsole::~TErrStreamConsole() {
    MEM_FREE(m_text);
}

void TErrStreamConsole::OutputV(const char* format, va_list args) {
    if (!format) return;
    int n = std::vsnprintf(g_errFormat, sizeof g_errFormat, format, args);
    if (n < 0) return;
    int added = static_cast<int>(std::strlen(g_errFormat));
    if (static_cast<int64_t>(m_length) + added + 2 >= m_capacity) {
        // The capacity is a 32-bit count; text that would take it past that cannot be held.
        int64_t grown = static_cast<int64_t>(m_capacity) + added + 1024;
        if (grown > INT32_MAX) MemoryManager::OutOfMemory();
        m_capacity = static_cast<int>(grown);
        m_text = static_cast<char*>(MEM_REALLOC(m_text, static_cast<size_t>(m_capacity)));
    }
    std::memcpy(m_text + m_length, g_errFormat, static_cast<size_t>(added) + 1);
    m_length += added;
}
