#include "runner/command_line.h"

#include "audio/audio.h"
#include "core/console.h"
#include "ext/extensions.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/profiler.h"
#include "io/input.h"
#include "physics/physics.h"
#include "platform/platform.h"
#include "script/code_execute.h"
#include "script/compiler/compile.h"
#include "script/vm/vm.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

std::string CommandLine_Cut(std::string line) {
    if (line.size() > kCommandLineSize) line.resize(kCommandLineSize - 1);
    return line;
}

bool CommandLine_CheckArguments(int argc, const char* const* argv, std::string* error) {
    size_t total = 0;
    for (int i = 0; i < argc && argv && argv[i]; ++i) {
        const size_t length = std::strlen(argv[i]);
        if (length > kTokenSize) {
            *error = "An argument is longer than " + std::to_string(kTokenSize) + " characters: \"" +
                     std::string(argv[i], 40) + "...\"";
            return false;
        }
        total += length + 3; // a blank and two quotes at most
    }
    if (total >= kCommandLineSize) {
        *error = "The command line is longer than " + std::to_string(kCommandLineSize - 1) + " characters";
        return false;
    }
    return true;
}

std::string CommandLine_FromArguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) {
        if (!argv || !argv[i]) break;
        std::string argument = argv[i];
        bool quote = argument.empty();
        for (unsigned char c : argument)
            if (c < 33) quote = true;
        if (i > 0) line += ' ';
        if (quote) line += '"';
        line += argument;
        if (quote) line += '"';
    }
    return CommandLine_Cut(std::move(line));
}

size_t GetNextToken(size_t position, const std::string& text, std::string& token) {
    token.clear();
    const size_t n = text.size();
    while (position < n && static_cast<unsigned char>(text[position]) < 33)
        ++position;
    bool quoted = false;
    while (position < n) {
        const char c = text[position++];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (static_cast<unsigned char>(c) < 33 && !quoted) break;
        if (token.size() < kTokenSize) token += c;
    }
    return position;
}

namespace {

bool IsSwitch(const std::string& token) {
    static const char* const kSwitches[] = {"-debug",    "-trace",    "-ext",   "-noerrors", "-oldexec", "-noaudio",
                                            "-inawindow", "-game",    "-record", "-steam",   "-software", "-intel",
                                            "-vanillaGFX", "-playback", "-output", "-debugoutput"};
    for (const char* name : kSwitches)
        if (token == name) return true;
    return false;
}

} // namespace

std::optional<std::string> ParseCommandLine(const std::string& text, std::optional<std::string> gamePath) {
    RunnerSwitches& s = CommandLine_State().Runner_Switches;
    s.debugMode = false;
    s.extensionTrace = false;
    s.record = false;
    s.playback = false;
    s.noAudio = false;
    s.inAWindow = false;
    Profiler_State().Debug_Flags = 0;
    s.newExecution = true;

    std::string token;
    size_t position = 0;
    auto nextName = [&](std::string& into) { position = GetNextToken(position, text, into); };
    while (position < text.size()) {
        position = GetNextToken(position, text, token);
        if (token == "-debug") {
            if (!gamePath) {
                s.debugMode = true;
                Profiler_State().Debug_Flags = kDebugShowFPS;
                Physics_SetAssertHandler();
            }
        } else if (token == "-trace") {
            s.trace = true;
        } else if (token == "-ext") {
            s.extensionTrace = true;
        } else if (token == "-noerrors") {
            s.noErrors = true;
        } else if (token == "-oldexec") {
            s.newExecution = false;
        } else if (token == "-noaudio") {
            s.noAudio = true;
        } else if (token == "-inawindow") {
            s.inAWindow = true;
        } else if (token == "-game") {
            // A switch right after "-game" is a switch, not a file name: "-game" then names no file.
            std::string path;
            const size_t after = GetNextToken(position, text, path);
            if (IsSwitch(path)) path.clear();
            else position = after;
            if (!gamePath) gamePath = path;
        } else if (token == "-record") {
            s.record = true;
            nextName(s.recordFile);
        } else if (token == "-steam") {
            s.steam = true;
        } else if (token == "-software") {
            Frame_State().CommandLine_Graphics.softwareDevice = true;
        } else if (token == "-intel") {
            Frame_State().CommandLine_Graphics.manualClear = true;
            Frame_State().CommandLine_Graphics.manualBuffers = true;
        } else if (token == "-vanillaGFX") {
            Frame_State().CommandLine_Graphics.plainGraphics = true;
        } else if (token == "-playback") {
            s.playback = true;
            nextName(s.recordFile);
        } else if (token == "-output") {
            s.outputFile = true;
            nextName(s.outputName);
        } else if (token == "-debugoutput") {
            s.debugOutputFile = true;
            nextName(s.debugOutputName);
        }
    }

    // The subsystems that obey the switches. "-noerrors" holds for the whole run: nothing that reads
    // the game's options turns the error dialog back on.
    VMDebug_State().VM_Trace = s.trace;
    Extension_State().Extension_Trace = s.extensionTrace;
    Audio_State().Audio_NoAudio = s.noAudio;
    Code_TreeMode = !s.newExecution;
    if (s.noErrors) {
        CodeError_State().Code_ShowErrors = false;
        Platform_SetUnattended(true);
    }
    if (s.outputFile) Console_SetLogFile(0, s.outputName.c_str());
    if (s.debugOutputFile) Console_SetLogFile(1, s.debugOutputName.c_str());
    if (s.playback) IO_SetPlaybackFile(s.recordFile.c_str());
    else if (s.record) IO_SetRecordFile(s.recordFile.c_str());
    return gamePath;
}

bool CommandLine_CheckFiles(std::string* error) {
    const RunnerSwitches& s = CommandLine_State().Runner_Switches;
    struct Use {
        bool on;
        const std::string& path;
        const char* mode;
        const char* what;
    };
    const Use uses[] = {{s.playback, s.recordFile, "rb", "play back input from"},
                        {s.record && !s.playback, s.recordFile, "ab", "record input to"},
                        {s.outputFile, s.outputName, "a", "write the output to"},
                        {s.debugOutputFile, s.debugOutputName, "a", "write the debug output to"}};
    for (const Use& use : uses) {
        if (!use.on) continue;
        struct stat st;
        int reason = ENOENT;
        if (!use.path.empty()) {
            if (stat(use.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                reason = EISDIR;
            } else if (FILE* file = std::fopen(use.path.c_str(), use.mode)) {
                std::fclose(file);
                continue;
            } else {
                reason = errno;
            }
        }
        *error = std::string("Cannot ") + use.what + " \"" + use.path + "\": " + std::strerror(reason);
        return false;
    }
    return true;
}

std::optional<std::string> CommandLine_FindGameBeside(const std::string& folder) {
    const std::string path = folder + "data.win";
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return std::nullopt;
    std::fclose(file);
    return path;
}

bool CommandLine_InGameFolder(const std::string& gamePath) {
    const size_t slash = gamePath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : gamePath.substr(0, slash + 1);
    char* game = realpath(folder.c_str(), nullptr);
    char* here = realpath(".", nullptr);
    const bool same = game && here && std::strcmp(game, here) == 0;
    std::free(game);
    std::free(here);
    return same;
}

namespace {

// The parts of an "@" name, or false when one of them would leave the folder (empty, "." or "..").
bool SplitAtName(const std::string& name, std::vector<std::string>& parts) {
    parts.clear();
    size_t start = 0;
    for (;;) {
        const size_t at = name.find('@', start);
        parts.push_back(name.substr(start, at == std::string::npos ? std::string::npos : at - start));
        const std::string& part = parts.back();
        if (part.empty() || part == "." || part == "..") return false;
        if (at == std::string::npos) return parts.size() > 1;
        start = at + 1;
    }
}

// Moves without replacing: a hard link to the new name (which fails when it exists), then the old
// name goes.
bool MoveNoReplace(const std::string& from, const std::string& to) {
    if (link(from.c_str(), to.c_str()) != 0) return false;
    if (unlink(from.c_str()) != 0) {
        unlink(to.c_str());
        return false;
    }
    return true;
}

} // namespace

void UnpackAtFiles(const std::string& folder) {
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    std::vector<std::string> names;
    if (DIR* dir = opendir(base.empty() ? "." : base.c_str())) {
        while (dirent* entry = readdir(dir))
            if (std::string(entry->d_name).find('@') != std::string::npos) names.push_back(entry->d_name);
        closedir(dir);
    }
    std::vector<std::string> parts;
    for (const std::string& name : names) {
        if (name[0] == '.') continue; // hidden
        const std::string from = base + name;
        struct stat st;
        if (lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if ((st.st_mode & S_IWUSR) == 0) continue; // read-only
        if (!SplitAtName(name, parts)) continue;
        std::string to = base;
        bool ok = true;
        for (size_t i = 0; i + 1 < parts.size() && ok; ++i) {
            to += parts[i];
            struct stat folderStat;
            if (mkdir(to.c_str(), 0777) != 0 && errno != EEXIST) ok = false;
            // An existing name on the way must be a real folder, never a link that leads elsewhere.
            else if (lstat(to.c_str(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) ok = false;
            to += '/';
        }
        if (!ok) continue;
        to += parts.back();
        if (!MoveNoReplace(from, to))
            DebugConsole->Output("Could not move %s to %s\n", from.c_str(), to.c_str());
    }
}
