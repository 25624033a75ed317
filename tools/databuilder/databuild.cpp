// Writes a game data file from the command line:
//   databuild OUT [-name TEXT] [-version N] [-size W H] [-code NAME LISTING]... [-source NAME FILE]...
//                 [-chunk TAG FILE]...
//   databuild OUT -game DESCRIPTION [-bytecode]
// The second form writes the whole game a description file gives (see game_writer.h); its code files are
// found beside the description. Its code is written as source text, or with -bytecode compiled into a code
// chunk; in both forms every code text must compile, or nothing is written.
// -code assembles a bytecode listing into a code entry (names become reference chains); -source compiles
// source text into a code entry; -chunk adds a chunk whose body is the bytes of FILE, for data files made by
// hand (a chunk the description does not write, or a damaged one to try the runner on). The general
// information and the options come first, then the given chunks in order, then the code and the strings.
#include "data_builder.h"
#include "game_writer.h"

#include "../tool_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: databuild OUT [-name TEXT] [-version N] [-size W H] [-code NAME LISTING]... "
    "[-source NAME FILE]... [-chunk TAG FILE]...\n"
    "       databuild OUT -game DESCRIPTION [-bytecode]\n"
    "       databuild -h | --help\n"
    "The description format, and what -chunk is for, are in tools/databuilder/FORMAT.md.\n";

int Usage(const std::string& mistake) {
    std::fprintf(stderr, "databuild: %s\n%s", mistake.c_str(), kUsage);
    return 2;
}

// Builds the game a description file gives and writes it to out.
int BuildGame(const char* out, const char* description, bool bytecode) {
    std::vector<unsigned char> text;
    std::string reason;
    if (!Tool_ReadFile(description, text, &reason)) {
        std::fprintf(stderr, "databuild: cannot read %s: %s\n", description, reason.c_str());
        return 1;
    }
    std::string folder = description;
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "" : folder.substr(0, slash);
    GameDescription game;
    std::string error;
    if (!GameFile_Parse(std::string(text.begin(), text.end()), folder, &game, &error)) {
        std::fprintf(stderr, "databuild: %s: %s\n", description, error.c_str());
        return 1;
    }
    // Code kept as text is compiled here too, so that a mistake fails the build rather than the game.
    if (!bytecode) GameFile_Build(game, true, &error);
    const std::vector<uint8_t> bytes =
        error.empty() ? GameFile_Build(game, bytecode, &error) : std::vector<uint8_t>{};
    if (!error.empty()) {
        std::fprintf(stderr, "databuild: %s: %s\n", description, error.c_str());
        return 1;
    }
    if (!Tool_WriteFile(out, bytes.data(), bytes.size(), &reason)) {
        std::fprintf(stderr, "databuild: cannot write %s: %s\n", out, reason.c_str());
        std::remove(out);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (const int code = Tool_CheckArguments(
            "databuild", argc, argv,
            {"-name", "-version", "-size", "-code", "-source", "-chunk", "-game", "-bytecode"}, kUsage))
        return code == 1 ? 0 : code;
    // The engine's start-up traces (the built-in groups it registers to compile the code) are not the
    // tool's output.
    if (!std::freopen("/dev/null", "w", stdout)) return Usage("cannot quiet the standard output");
    if (argc < 2) return Usage("no output file given");
    if (argv[1][0] == '-') return Usage(std::string("the output file comes first, not ") + argv[1]);
    if ((argc == 4 || argc == 5) && std::strcmp(argv[2], "-game") == 0) {
        if (argc == 5 && std::strcmp(argv[4], "-bytecode") != 0)
            return Usage(std::string("unexpected ") + argv[4]);
        return BuildGame(argv[1], argv[3], argc == 5);
    }
    CDataBuilder builder;
    CDataBuilder::GeneralInfo info;
    std::vector<std::pair<std::string, std::vector<unsigned char>>> chunks;
    // Listings and source texts in order, each with whether it is source.
    std::vector<std::pair<std::pair<std::string, std::string>, bool>> code;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        auto more = [&](int n) { return i + n < argc; };
        if (arg == "-name" && more(1)) {
            info.name = argv[++i];
        } else if (arg == "-version" && more(1)) {
            info.version = static_cast<uint8_t>(std::atoi(argv[++i]));
        } else if (arg == "-size" && more(2)) {
            info.windowWidth = static_cast<uint32_t>(std::atoi(argv[++i]));
            info.windowHeight = static_cast<uint32_t>(std::atoi(argv[++i]));
        } else if ((arg == "-code" || arg == "-source") && more(2)) {
            std::vector<unsigned char> text;
            std::string reason;
            if (!Tool_ReadFile(argv[i + 2], text, &reason)) {
                std::fprintf(stderr, "databuild: cannot read %s: %s\n", argv[i + 2], reason.c_str());
                return 1;
            }
            code.push_back({{argv[i + 1], std::string(text.begin(), text.end())}, arg == "-source"});
            i += 2;
        } else if (arg == "-chunk" && more(2) && std::strlen(argv[i + 1]) == 4) {
            std::vector<unsigned char> body;
            std::string reason;
            if (!Tool_ReadFile(argv[i + 2], body, &reason)) {
                std::fprintf(stderr, "databuild: cannot read %s: %s\n", argv[i + 2], reason.c_str());
                return 1;
            }
            chunks.emplace_back(argv[i + 1], body);
            i += 2;
        } else {
            return Usage("misplaced option or missing value: " + arg);
        }
    }
    builder.AddGeneralInfo(info);
    CDataBuilder::Options options;
    options.words[4] = 1;
    builder.AddOptions(options);
    for (const auto& [tag, body] : chunks)
        builder.AddChunk(tag.c_str()).Bytes(body.data(), body.size());
    for (const auto& [entry, source] : code) {
        const auto& [name, text] = entry;
        std::string error;
        if (source ? builder.AddCodeSource(name, text, &error) < 0
                   : !builder.AddCodeListing(name, text, &error)) {
            std::fprintf(stderr, "databuild: %s: %s\n", name.c_str(), error.c_str());
            return 1;
        }
    }
    const std::vector<uint8_t> bytes = builder.Build();
    std::string reason;
    if (!Tool_WriteFile(argv[1], bytes.data(), bytes.size(), &reason)) {
        std::fprintf(stderr, "databuild: cannot write %s: %s\n", argv[1], reason.c_str());
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
