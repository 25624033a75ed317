// Start-up of the runner as a whole process, from its start to its exit at the end of the first frame
// (the first step runs game_end): an empty game, and games of 1,000, 2,000 and 4,000 resources
// (sprites, backgrounds, scripts, objects with events, rooms with instances, timelines and paths, in
// fixed shares; code compiled into the file, as games ship). Every room runs 1,000 steps a second, so
// the first frame waits 1 ms for its turn, not the 33 ms of a room of speed 30. Each runner is run with
// "-noerrors -noaudio" and its output thrown away; the figures are medians of RUNS runs (default 7),
// after one run not counted: wall-clock and CPU (user and system, every thread) milliseconds.
//
// For the games with resources it reports what the start-up spends on them (the median of its CPU time
// above that of a run of the empty game made just before each run), that per resource, and that
// against a bare read of the same file: the runner's code reading it and its records into its tables
// and nothing more. The bare read is timed two ways: repeated in this process, whose caches and heap are
// warm after the first round (bare_read_ms), and as the start-up is, once in a fresh process of this
// program ("--bare-read FILE") that ends as the runner ends, its tables left to the system, above a
// fresh process reading the empty game just before it (cold_read_ms). The start-up is held against the
// second: it too reads the file once in a fresh process. "startup_bench --write-game N FILE" writes the
// game of N resources to FILE.
#include "data/container.h"
#include "game_writer.h"
#include "runner/game_load.h"
#include "runner/startup.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kCreateEvent = 0;
constexpr int kStepEvent = 3;

int Runs() {
    const char* runs = std::getenv("RUNS");
    const int n = runs ? std::atoi(runs) : 0;
    return n > 0 ? n : 7;
}

GameImage Box(int size, uint32_t rgb) {
    GameImage image;
    image.width = image.height = size;
    image.rgba.resize(static_cast<size_t>(size) * size * 4);
    for (size_t p = 0; p < image.rgba.size(); p += 4) {
        image.rgba[p] = static_cast<uint8_t>(rgb >> 16);
        image.rgba[p + 1] = static_cast<uint8_t>(rgb >> 8);
        image.rgba[p + 2] = static_cast<uint8_t>(rgb);
        image.rgba[p + 3] = 0xFF;
    }
    return image;
}

// A game of n resources (n a multiple of 20) and two more: of every 20, 4 sprites, 2 backgrounds, 5
// scripts, 5 objects (with create and step events), 2 rooms of 5 instances, 1 timeline and 1 path; and
// a first room whose one instance ends the game in its first step. n = 0 gives the empty game: that room
// and its object.
GameDescription ResourcesGame(int n) {
    const int units = n / 20;
    GameDescription game;
    game.name = "StartUp";
    game.width = 320;
    game.height = 240;
    for (int i = 0; i < units * 4; ++i)
        game.sprites.push_back(GameSprite{"spr" + std::to_string(i), 0, 0, {Box(8, 0x102030u * (i % 7 + 1))}});
    for (int i = 0; i < units * 2; ++i)
        game.backgrounds.push_back(GameBackground{"bg" + std::to_string(i), Box(8, 0x302010u * (i % 5 + 1))});
    for (int i = 0; i < units * 5; ++i)
        game.scripts.push_back(GameScript{"scr" + std::to_string(i),
                                          "var a; a = argument0 * " + std::to_string(i) + "; return a + 1;"});
    GameObject ender;
    ender.name = "obj_end";
    ender.events.push_back({kCreateEvent, 0, "game_end();"});
    game.objects.push_back(ender);
    for (int i = 0; i < units * 5; ++i) {
        GameObject object;
        object.name = "obj" + std::to_string(i);
        object.depth = i % 10;
        if (!game.sprites.empty()) object.sprite = i % static_cast<int>(game.sprites.size());
        const std::string script = game.scripts.empty() ? "0" : "scr" + std::to_string(i % game.scripts.size()) + "(2)";
        object.events.push_back({kCreateEvent, 0, "hp = " + script + ";"});
        object.events.push_back({kStepEvent, 0, "x += 1; if (x > room_width) x = 0;"});
        game.objects.push_back(object);
    }
    int id = 100001;
    GameRoom first;
    first.name = "rm_first";
    first.speed = 1000;
    first.instances.push_back(GameInstance{0, 0, 0, id++, ""});
    game.rooms.push_back(first);
    for (int i = 0; i < units * 2; ++i) {
        GameRoom room;
        room.name = "rm" + std::to_string(i);
        room.speed = 1000;
        for (int k = 0; k < 5; ++k)
            room.instances.push_back(GameInstance{k * 10, k * 5, 1 + (i * 5 + k) % (units * 5), id++, ""});
        game.rooms.push_back(room);
    }
    for (int i = 0; i < units; ++i) {
        game.timelines.push_back(GameTimeline{"tl" + std::to_string(i), {{0, "x = 1;"}, {30, "x = 2;"}}});
        game.paths.push_back(GamePath{"pth" + std::to_string(i), i % 2, false, 4,
                                      {{0, 0, 100}, {50, 0, 100}, {50, 50, 100}, {0, 50, 100}}});
    }
    return game;
}

struct GameFile {
    std::string path;
    int resources = 0;
};

// The data file of the game of n resources, written once into the temporary folder.
const GameFile& File(int n) {
    static std::map<int, GameFile> files;
    GameFile& file = files[n];
    if (!file.path.empty()) return file;
    const GameDescription game = ResourcesGame(n);
    file.resources = static_cast<int>(game.sprites.size() + game.backgrounds.size() + game.scripts.size() +
                                      game.objects.size() + game.rooms.size() + game.timelines.size() +
                                      game.paths.size());
    const std::vector<uint8_t> bytes = GameFile_Build(game, true);
    file.path = (std::filesystem::temp_directory_path() /
                 ("runner_startup_bench_" + std::to_string(n) + "_" + std::to_string(getpid()) + ".win"))
                    .string();
    std::ofstream(file.path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                     static_cast<std::streamsize>(bytes.size()));
    return file;
}

struct RemoveFiles {
    ~RemoveFiles() {
        for (int n : {0, 1000, 2000, 4000})
            std::filesystem::remove(std::filesystem::temp_directory_path() /
                                    ("runner_startup_bench_" + std::to_string(n) + "_" + std::to_string(getpid()) +
                                     ".win"));
    }
} g_removeFiles;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Run {
    double wall = -1; // seconds from starting the runner to its exit; negative when it failed
    double cpu = 0;   // its user and system seconds, every thread
};

// Runs the program args[0] with its output thrown away, to its exit.
Run Spawn(std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Run run;
    if (spawned != 0) return run;
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) return run;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return run;
    run.wall = seconds;
    run.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return run;
}

Run RunOnce(const std::string& path) {
    return Spawn({RUNNER_PATH, "-game", path, "-noerrors", "-noaudio"});
}

std::string g_self; // this program, for the bare reads in fresh processes

// The runner's own read of the file, in this process: the file read into memory and every chunk handed
// to its loader (the records read into the tables), without a window or a device, so no texture is made
// and nothing is prepared. Its traces go to /dev/null, as the runners' do. Repeated in one process the
// tables are freed after each read; a fresh process leaves them to its end, as the runner does.
double BareRead(const std::string& path, bool freeTables = true) {
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    static const bool initialised = Runner_InitAll();
    (void)initialised;
    const auto start = std::chrono::steady_clock::now();
    CGameFile game;
    bool read = RunnerLoadGame(path.c_str(), game);
    if (read) {
        Code_Load(game.Data(), game.Size());
        read = LoadGameData(game);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!freeTables) { // the runner's own end: nothing freed, no destructors
        std::fflush(nullptr);
        std::_Exit(read ? 0 : 1);
    }
    Game_FreeData();
    game.Free();
    Runner_ClearLoadFailed();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return read ? seconds : -1;
}

void BM_StartUp(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const GameFile& file = File(n);
    std::vector<double> walls, cpus, extra; // extra: CPU above the empty game's run just before
    if (RunOnce(file.path).wall < 0) { // warm-up: the libraries and the file into the page cache
        state.SkipWithError("the runner failed");
        return;
    }
    for (auto _ : state) {
        walls.clear();
        cpus.clear();
        extra.clear();
        for (int run = 0; run < Runs(); ++run) {
            // With resources, each run is paired with a run of the empty game just before it, so that the
            // machine's other work, which changes over the runs, weighs on both alike.
            const Run empty = n == 0 ? Run{} : RunOnce(File(0).path);
            const Run r = RunOnce(file.path);
            if (r.wall < 0 || (n != 0 && empty.wall < 0)) {
                state.SkipWithError("the runner failed");
                return;
            }
            walls.push_back(r.wall);
            cpus.push_back(r.cpu);
            extra.push_back(r.cpu - empty.cpu);
        }
        state.SetIterationTime(Median(walls));
    }
    const double wall = Median(walls), cpu = Median(cpus);
    state.counters["resources"] = file.resources;
    state.counters["wall_ms"] = wall * 1000;
    state.counters["cpu_ms"] = cpu * 1000;
    if (n == 0) return;
    std::vector<double> reads;
    for (int run = 0; run < 21; ++run)
        reads.push_back(BareRead(file.path));
    std::vector<double> coldReads;
    for (int run = 0; run < Runs(); ++run) {
        const Run empty = Spawn({g_self, "--bare-read", File(0).path});
        const Run full = Spawn({g_self, "--bare-read", file.path});
        if (empty.wall < 0 || full.wall < 0) {
            reads.assign(1, -1);
            break;
        }
        coldReads.push_back(full.cpu - empty.cpu);
    }
    const double read = Median(reads);
    if (read < 0) {
        state.SkipWithError("the file could not be read");
        return;
    }
    const double coldRead = Median(coldReads);
    // What the resources cost, taken from the CPU times, which the machine's other work disturbs less:
    // the median of the paired differences.
    const double spent = Median(extra);
    state.counters["on_resources_cpu_ms"] = spent * 1000;
    state.counters["us_per_resource"] = spent * 1e6 / file.resources;
    state.counters["bare_read_ms"] = read * 1000;
    state.counters["vs_bare_read"] = spent / read;
    state.counters["cold_read_ms"] = coldRead * 1000;
    state.counters["vs_cold_read"] = spent / coldRead;
}
BENCHMARK(BM_StartUp)
    ->ArgName("resources")
    ->Arg(0)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--bare-read") return BareRead(argv[2], false) < 0 ? 1 : 0;
    // The game of N resources written to FILE, for profiling a start-up by hand.
    if (argc == 4 && std::string(argv[1]) == "--write-game") {
        const std::vector<uint8_t> bytes = GameFile_Build(ResourcesGame(std::atoi(argv[2])), true);
        std::ofstream out(argv[3], std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return out ? 0 : 1;
    }
    g_self = std::filesystem::read_symlink("/proc/self/exe").string();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
