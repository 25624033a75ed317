// Log consoles. DebugConsole carries every trace of start-up, loading and the subsystems; ReleaseConsole
// carries the game's own messages and its error texts. TErrStreamConsole collects text in memory.
#pragma once

#include <cstdarg>

class tagIConsole {
public:
    virtual ~tagIConsole() = default;
    // Kept for the shape of the console family; nothing calls it.
    virtual bool Init(int, int) { return true; }
    // printf-like output.
    void Output(const char* format, ...) __attribute__((format(printf, 2, 3)));
    virtual void OutputV(const char* format, va_list args) = 0;
};

class TConsole : public tagIConsole {
public:
    // selector 1: the debug log file ("-debugoutput"); 0: the release log file ("-output").
    explicit TConsole(unsigned char selector) : m_selector(selector) {}
    void OutputV(const char* format, va_list args) override;

    static constexpr int kLineSize = 4096;

private:
    unsigned char m_selector;
};

class TErrStreamConsole : public tagIConsole {
public:
    TErrStreamConsole();
    ~TErrStreamConsole() override;
    TErrStreamConsole(const TErrStreamConsole&) = delete;
    TErrStreamConsole& operator=(const TErrStreamConsole&) = delete;

    void OutputV(const char* format, va_list args) override;
    const char* Text() const { return m_text; }
    int Capacity() const { return m_capacity; }

    static constexpr int kInitialCapacity = 102400;
    static constexpr int kFormatSize = 16384;

private:
    int m_capacity;
    char* m_text;
    int m_length = 0;
};

// Left extern: constant pointers to the two consoles, fixed before any code runs.
extern tagIConsole* const DebugConsole;
extern tagIConsole* const ReleaseConsole;

// One text on both consoles at once: the standard output gets it once, and each console's log file
// gets it (a report that the game's player and its developer both need).
void Console_OutputBoth(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Log files named on the command line; each console appends every line to its own file while the file
// is set. A null path turns the file off.
void Console_SetLogFile(int selector, const char* path);

// For a process about to end from another thread: keeps every later text from starting (a thread that
// would write one waits for the end) and waits up to waitMilliseconds for a text that is going out to
// reach standard output and the log files whole. False when the wait ran out (a write that does not
// return, to a pipe no one reads).
bool Console_Hold(int waitMilliseconds);
