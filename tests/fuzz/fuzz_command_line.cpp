// Feeds arbitrary bytes as the process's arguments (separated by NUL bytes): the check that refuses
// arguments too long to keep, the joining into one command line, its tokens and the switches it sets.
// A command line that the check lets through must come apart into exactly the arguments it was made
// from, whenever none of them holds a double quote.
#include "fuzz_quiet.h"
#include "core/console.h"
#include "io/input.h"
#include "runner/command_line.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return 0;
    std::vector<std::string> arguments(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) arguments.emplace_back();
        else arguments.back() += static_cast<char>(data[i]);
    }
    if (arguments.size() > 256) return 0;
    std::vector<const char*> argv;
    bool quotes = false;
    for (const std::string& a : arguments) {
        argv.push_back(a.c_str());
        quotes = quotes || a.find('"') != std::string::npos;
    }
    std::string error;
    if (!CommandLine_CheckArguments(static_cast<int>(argv.size()), argv.data(), &error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    const std::string line = CommandLine_FromArguments(static_cast<int>(argv.size()), argv.data());
    if (line.size() >= kCommandLineSize) __builtin_trap(); // nothing may be cut from a checked line
    std::vector<std::string> tokens;
    for (size_t position = 0; position < line.size();) {
        std::string token;
        position = GetNextToken(position, line, token);
        tokens.push_back(token);
    }
    if (!quotes && tokens != arguments) __builtin_trap();

    ParseCommandLine(line);
    CommandLine_State().Runner_Switches = RunnerSwitches();
    Console_SetLogFile(0, nullptr);
    Console_SetLogFile(1, nullptr);
    Input_State().IO_State.mode = IOMode::Off;
    return 0;
}
