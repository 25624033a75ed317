// Writes damaged data files of the example game and of a game with scripts, paths, a shader, a timeline
// and two rooms, each in its two forms (code as text and as bytecode), for a run of the runner over them:
//   make_damaged_games OUT_FOLDER EXAMPLE_SOURCES [COUNT]
// OUT_FOLDER/base/ gets the four undamaged games and escape.rec (input that ends the example game);
// OUT_FOLDER/NNNN_BASE_KIND.win the COUNT damaged files (2,600 by default), the ten kinds of damage in
// turn over the four games; OUT_FOLDER/damage.txt one line per file: its name, its game and what was done.
#include "damaged_games.h"
#include "runner/builtin_registry.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

namespace {

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: make_damaged_games OUT_FOLDER EXAMPLE_SOURCES [COUNT]\n");
        return 2;
    }
    const std::string out = argv[1], sources = argv[2];
    const long count = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 2600;
    InitQNLFunctions();
    GameDescription example;
    std::string error;
    const std::vector<DamagedGameBase> bases = DamagedGames_ReadExample(sources, &example, &error)
                                                   ? DamagedGames_Bases(example, &error)
                                                   : std::vector<DamagedGameBase>{};
    if (bases.empty()) {
        std::fprintf(stderr, "make_damaged_games: %s\n", error.c_str());
        return 1;
    }
    mkdir(out.c_str(), 0777);
    mkdir((out + "/base").c_str(), 0777);
    for (const DamagedGameBase& base : bases)
        Write(out + "/base/" + base.name + ".win", base.bytes);
    Write(out + "/base/escape.rec", DamagedGames_EscapeRecording());
    std::ofstream list(out + "/damage.txt");
    for (long i = 0; i < count; ++i) {
        const auto kind = static_cast<Damage>(i % kDamageKinds);
        const DamagedGameBase& base = bases[static_cast<size_t>((i / kDamageKinds) % 4)];
        std::string what;
        const std::vector<uint8_t> damaged = Damage_Apply(base.bytes, kind, static_cast<uint64_t>(i), &what);
        char name[96];
        std::snprintf(name, sizeof name, "%04ld_%s_%s.win", i, base.name, Damage_Name(kind));
        if (!Write(out + "/" + name, damaged)) {
            std::fprintf(stderr, "make_damaged_games: cannot write %s/%s\n", out.c_str(), name);
            return 1;
        }
        list << name << '\t' << base.name << '\t' << what << '\n';
    }
    return 0;
}
