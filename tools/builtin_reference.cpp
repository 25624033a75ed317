// builtin_reference: writes the reference page of everything the runner registers at start-up for game
// code (every built-in function with its argument count and group, every built-in variable, every
// named constant) and the table of the README that counts, group by group, the functions the runner does
// not have; with --check it only compares both with what they would be now.
#include "ext/platform_builtins.h"
#include "runner/builtin_registry.h"
#include "script/compiler/constants.h"
#include "script/functions.h"
#include "script/value.h"
#include "script/variables.h"
#include "world/builtin_variables.h"

#include "tool_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] =
    "usage: builtin_reference [--check] PAGE README\n"
    "  Writes PAGE, the reference of the built-in functions, variables and constants, and the table of\n"
    "  the README between its marker lines that counts the functions the runner does not have.\n"
    "  --check  writes nothing: fails, saying what differs, when either is not what it would write\n";

const char kBegin[] = "<!-- built-in counts: made by builtin_reference -->\n";
const char kEnd[] = "<!-- end of the built-in counts -->\n";

// How many registrations each group of the engine's start-up registry holds in the engine itself.
const std::map<std::string, int> kEngineGroupSizes = {
    {"HighScore", 0},
    {"Game", 83},
    {"Math", 87},
    {"Graphic", 242},
    {"Action", 136},
    {"File", 80},
    {"Resource", 195},
    {"Interaction", 102},
    {"3D", 93},
    {"Particle", 82},
    {"Misc", 94},
    {"DS", 126},
    {"Sound", 79},
    {"DPlay", 29},
    {"Physics", 48},
    {"Gamepad", 16},
    {"Buffers", 25 + 18},
    {"Networking", 12},
    {"Shaders", 15 + 8 + 39},
    {"Zebo", 198 + 33},
};

struct Registry {
    std::vector<BuiltinGroupEntries> groups;
    int constantsOfTheLibrary = 0; // the first index of the library's constants
};

// Registers everything as the start-up does, with the start-up's traces kept off standard output.
Registry Register() {
    std::fflush(stdout);
    const int saved = dup(1);
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, 1);
    Registry r;
    r.groups = InitQNLFunctionsByGroup();
    Variable_BuiltIn_Init();
    Code_Constant_Init(true);
    r.constantsOfTheLibrary = Code_Constant_Count();
    InitMiscConstants();
    std::fflush(stdout);
    if (saved >= 0) dup2(saved, 1);
    if (quiet >= 0) close(quiet);
    if (saved >= 0) close(saved);
    return r;
}

std::string Count(int n) {
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

// The shortest text that reads back as the same double.
std::string RealText(double value) {
    char text[40];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    return text;
}

std::string ValueText(const ScriptValue* value) {
    if (value == nullptr) return "";
    if (value->IsString()) return "\"" + std::string(value->str ? value->str : "") + "\"";
    if (value->IsReal()) return RealText(value->real);
    return "undefined";
}

struct GroupCount {
    std::string name;
    int here = 0;
    int engine = 0;
};

std::vector<GroupCount> Counts(const Registry& r) {
    std::vector<GroupCount> counts;
    for (const BuiltinGroupEntries& g : r.groups) {
        if (g.name == "HighScore") continue; // reads the high-score table; registers nothing
        const auto engine = kEngineGroupSizes.find(g.name);
        counts.push_back(
            GroupCount{g.name, g.end - g.first, engine == kEngineGroupSizes.end() ? -1 : engine->second});
    }
    return counts;
}

// The table of the README: what each group lacks.
std::string CountsTable(const Registry& r) {
    std::ostringstream out;
    out << "| group | registrations here | in the engine | not here |\n|---|---|---|---|\n";
    int here = 0, engine = 0;
    for (const GroupCount& c : Counts(r)) {
        out << "| " << c.name << " | " << Count(c.here) << " | " << Count(c.engine) << " | "
            << Count(c.engine - c.here) << " |\n";
        here += c.here;
        engine += c.engine;
    }
    out << "| all | " << Count(here) << " | " << Count(engine) << " | " << Count(engine - here) << " |\n";
    return out.str();
}

std::string Page(const Registry& r) {
    std::ostringstream out;
    out << "# Built-in functions, variables and constants\n\n"
           "Everything the runner registers for game code at start-up, in the order of registration: the\n"
           "functions by the group of the start-up registry that registers them (a function's index is the\n"
           "id by which loaded code calls it), the built-in variables, and the named constants. A name\n"
           "that is not here does not exist for a game: code kept as source text that calls or names it\n"
           "does not compile, and bytecode that does is refused as the game loads.\n\n"
           "This page is made from the registry by `builtin_reference`, and the test suite fails when it\n"
           "no longer matches: after adding or removing a registration, make it anew with\n"
           "`cmake --build BUILD --target builtin_reference_update` (BUILD being the build folder).\n\n"
           "## Functions\n\n"
           "\"any\" stands for a function that takes any number of arguments. A name registered twice has\n"
           "two entries; a call by name finds the first.\n\n";
    out << CountsTable(r) << "\n";
    for (const BuiltinGroupEntries& g : r.groups) {
        if (g.first == g.end) continue;
        out << "### " << g.name << "\n\n| index | function | arguments |\n|---|---|---|\n";
        for (int i = g.first; i < g.end; ++i) {
            const BuiltInFunction* f = Code_Function_Entry(i);
            out << "| " << i << " | `" << f->name << "` | "
                << (f->argumentCount < 0 ? std::string("any") : std::to_string(f->argumentCount)) << " |\n";
        }
        out << "\n";
    }
    const int variables = Variable_BuiltIn_Count();
    out << "## Variables\n\n"
           "Instance variables belong to each instance (`other.x`, `inst.speed`); global ones to the game;\n"
           "the platform's are read-only answers about the machine.\n\n"
           "| index | variable | kind | can be set |\n|---|---|---|---|\n";
    for (int i = 0; i < variables; ++i) {
        const char* kind = i < kBuiltInInstanceVariables                             ? "instance"
                           : i < kBuiltInInstanceVariables + kBuiltInGlobalVariables ? "global"
                                                                                     : "platform";
        out << "| " << i << " | `" << Variable_BuiltIn_GetName(i) << "` | " << kind << " | "
            << (Variable_BuiltIn_CanSet(i) ? "yes" : "no") << " |\n";
    }
    out << "\n## Constants\n\n"
           "The engine's own, then the platform's (operating systems, devices, browsers, online services,\n"
           "assets, data-structure kinds). A game's resources and its own constants are named besides\n"
           "these; a name defined twice takes its last value. `dll_cdecl` and `dll_stdcall` are missing\n"
           "when the game runs as a Steam build.\n\n"
           "| constant | value | kind |\n|---|---|---|\n";
    for (int i = 0; i < Code_Constant_Count(); ++i) {
        const char* name = Code_Constant_Name(i);
        out << "| `" << (name ? name : "") << "` | " << ValueText(Code_Constant_Value(i)) << " | "
            << (i < r.constantsOfTheLibrary ? "engine" : "platform") << " |\n";
    }
    return out.str();
}

bool ReadText(const char* path, std::string& text) {
    std::vector<unsigned char> bytes;
    if (!Tool_ReadFile(path, bytes)) return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

bool WriteText(const char* path, const std::string& text) {
    return Tool_WriteFile(path, text.data(), text.size());
}

// The README with the counts table put between its markers; false when the markers are missing.
bool WithCounts(const std::string& readme, const std::string& table, std::string& out) {
    const size_t begin = readme.find(kBegin);
    const size_t end = begin == std::string::npos ? std::string::npos : readme.find(kEnd, begin);
    if (end == std::string::npos) return false;
    out = readme.substr(0, begin + sizeof kBegin - 1) + table + readme.substr(end);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (const int code = Tool_CheckArguments("builtin_reference", argc, argv, {"--check"}, kUsage))
        return code == 1 ? 0 : code;
    const bool check = argc == 4 && std::string(argv[1]) == "--check";
    if (argc != (check ? 4 : 3)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const char* pagePath = argv[check ? 2 : 1];
    const char* readmePath = argv[check ? 3 : 2];

    const Registry registry = Register();
    struct Unregister {
        ~Unregister() {
            Code_Function_Free();
            Variable_BuiltIn_Clear();
            Code_Constant_Free();
        }
    } unregister;
    for (const GroupCount& c : Counts(registry)) {
        if (c.engine < 0 || c.here > c.engine) {
            std::fprintf(
                stderr, "builtin_reference: the group %s registers %d functions, more than the engine's %d\n",
                c.name.c_str(), c.here, c.engine);
            return 1;
        }
    }
    const std::string page = Page(registry);
    std::string readme, newReadme;
    if (!ReadText(readmePath, readme)) {
        std::fprintf(stderr, "builtin_reference: cannot read %s\n", readmePath);
        return 1;
    }
    if (!WithCounts(readme, CountsTable(registry), newReadme)) {
        std::fprintf(
            stderr, "builtin_reference: %s has no lines \"%.*s\" and \"%.*s\" to put the counts between\n",
            readmePath, static_cast<int>(sizeof kBegin - 2), kBegin, static_cast<int>(sizeof kEnd - 2), kEnd);
        return 1;
    }
    if (check) {
        std::string current;
        bool same = true;
        if (!ReadText(pagePath, current) || current != page) {
            std::fprintf(stderr, "%s does not list what the runner registers now.\n", pagePath);
            same = false;
        }
        if (newReadme != readme) {
            std::fprintf(stderr, "%s does not count what the runner registers now.\n", readmePath);
            same = false;
        }
        if (!same)
            std::fputs("Made anew by: cmake --build BUILD --target builtin_reference_update (BUILD: the "
                       "build folder)\n",
                       stderr);
        return same ? 0 : 1;
    }
    if (!WriteText(pagePath, page) || (newReadme != readme && !WriteText(readmePath, newReadme))) {
        std::fprintf(stderr, "builtin_reference: cannot write %s or %s\n", pagePath, readmePath);
        return 1;
    }
    return 0;
}
