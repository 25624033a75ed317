// The process's command line: its capture, the switches it sets, the tokenizer, and the unpacking of
// files of the working directory whose names carry "@" into the folders those names describe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The start-up state the switches set. ParseCommandLine resets the first group before parsing.
struct RunnerSwitches {
    bool debugMode = false;   // "-debug": debug form and hooks
    bool extensionTrace = false;
    bool record = false;
    bool playback = false;
    bool noAudio = false;
    bool inAWindow = false;   // overrides the options' full screen
    bool newExecution = true; // false: "-oldexec", tree mode (see Code_TreeMode)

    bool trace = false;       // "-trace"
    bool noErrors = false;    // "-noerrors": no error dialog, for the whole run
    bool steam = false;
    std::string recordFile;   // the name "-record" or "-playback" gave (one slot for both)
    bool outputFile = false;
    std::string outputName;
    bool debugOutputFile = false;
    std::string debugOutputName;
};
// The switches of the command line, reached through CommandLine_State().
struct CommandLineState {
    RunnerSwitches Runner_Switches;
};

inline CommandLineState& CommandLine_State() {
    static CommandLineState state;
    return state;
}

// The command line's longest kept form: a line of up to this many characters stays whole, a longer one
// is cut to one character less.
constexpr size_t kCommandLineSize = 8192;
// A token keeps at most this many characters; the rest of a longer token is read and dropped.
constexpr size_t kTokenSize = 4095;

// False, with the reason, when an argument is longer than a token keeps or the arguments make a line
// longer than kCommandLineSize: such a command line is refused rather than cut.
bool CommandLine_CheckArguments(int argc, const char* const* argv, std::string* error);
// The process's arguments as one command line: joined by blanks, an argument holding a blank or a
// control character wrapped in double quotes, then cut as kCommandLineSize says.
std::string CommandLine_FromArguments(int argc, const char* const* argv);
// The cut applied to a captured line.
std::string CommandLine_Cut(std::string line);

// Reads the token that starts at or after position into token: characters below 33 are skipped first,
// then characters are taken until a character below 33 outside double quotes (a double quote toggles
// the quoting and is not kept). Gives the position after the last character read.
size_t GetNextToken(size_t position, const std::string& text, std::string& token);

// Sets the start-up state from the switches (see RunnerSwitches); "-debug" and "-game" act only while no
// game path is known. Also hands the switches to the subsystems that obey them. Gives the game file's
// path: gamePath, the one known before the parse ("data.win" beside the executable), or the first
// "-game" (empty when it names no file); none when neither is there.
std::optional<std::string> ParseCommandLine(const std::string& text,
                                            std::optional<std::string> gamePath = std::nullopt);

// False, with the file and the reason, when a file the switches name cannot be used: the "-playback"
// file read, the "-record", "-output" and "-debugoutput" files written (made when missing).
bool CommandLine_CheckFiles(std::string* error);

// The path of "data.win" in folder (with its final "/") when it can be opened; none otherwise.
std::optional<std::string> CommandLine_FindGameBeside(const std::string& folder);

// True when the working directory is the folder that holds the game file at gamePath.
bool CommandLine_InGameFolder(const std::string& gamePath);

// Moves every plain file of folder whose name holds "@" to the path the name describes ("a@b@f" becomes
// a/b/f, the folders made as needed). Names with an empty, "." or ".." part are left alone, so files
// land only below the folder; symbolic links, hidden and read-only files are not moved; an existing
// file is never replaced.
void UnpackAtFiles(const std::string& folder = ".");
