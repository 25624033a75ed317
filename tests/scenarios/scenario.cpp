#include "scenario.h"

#include "data_builder.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// An action list of one code action whose code is text.
void ActionList(CDataBuilder::Chunk& c, const std::string& label, const std::string& code) {
    c.Label(label).U32(1).Ref(label + "a");
    c.Label(label + "a").Zeros(32).U32(0).Zeros(24).Text(code);
}

void Objects(CDataBuilder& b, const ScenarioGame& game) {
    CDataBuilder::Chunk& c = b.AddChunk("OBJT");
    std::vector<std::string> labels;
    for (size_t i = 0; i < game.objects.size(); ++i)
        labels.push_back("o" + std::to_string(i));
    c.OffsetList(labels);
    for (size_t i = 0; i < game.objects.size(); ++i) {
        const ScenarioObject& o = game.objects[i];
        const std::string id = labels[i];
        c.Label(id).Text(o.name).U32(0xFFFFFFFFu).U32(1).U32(0).S32(o.depth).U32(o.persistent).S32(o.parent).S32(-1);
        c.U32(0).U32(0).U32(0).F32(1).F32(0).U32(0).F32(0).F32(0).U32(0).F32(0.5f).U32(0).U32(1);
        constexpr int kTypes = 11;
        c.U32(kTypes);
        for (int t = 0; t < kTypes; ++t)
            c.Ref(id + "t" + std::to_string(t));
        for (int t = 0; t < kTypes; ++t) {
            std::vector<const ScenarioEvent*> events;
            for (const ScenarioEvent& e : o.events)
                if (e.type == t) events.push_back(&e);
            const std::string list = id + "t" + std::to_string(t);
            std::vector<std::string> names;
            for (size_t e = 0; e < events.size(); ++e)
                names.push_back(list + "e" + std::to_string(e));
            c.Label(list).OffsetList(names);
            for (size_t e = 0; e < events.size(); ++e) {
                c.Label(names[e]).U32(static_cast<uint32_t>(events[e]->number));
                ActionList(c, names[e] + "l", events[e]->code);
            }
        }
    }
}

void Rooms(CDataBuilder& b, const ScenarioGame& game) {
    CDataBuilder::Chunk& c = b.AddChunk("ROOM");
    std::vector<std::string> labels;
    for (size_t i = 0; i < game.rooms.size(); ++i)
        labels.push_back("r" + std::to_string(i));
    c.OffsetList(labels);
    for (size_t i = 0; i < game.rooms.size(); ++i) {
        const ScenarioRoom& r = game.rooms[i];
        const std::string id = labels[i];
        c.Label(id).Text(r.name).U32(0).S32(640).S32(480).S32(r.speed).U32(r.persistent).U32(0).U32(1);
        if (r.code.empty()) c.U32(0);
        else c.Text(r.code);
        c.U32(0).Ref("").Ref("").Ref(r.instances.empty() ? "" : id + "i").Ref("");
        c.U32(0).Zeros(16).F32(0).F32(0).F32(0.1f);
        if (r.instances.empty()) continue;
        std::vector<std::string> names;
        for (size_t k = 0; k < r.instances.size(); ++k)
            names.push_back(id + "i" + std::to_string(k));
        c.Label(id + "i").OffsetList(names);
        for (size_t k = 0; k < r.instances.size(); ++k) {
            const ScenarioInstance& d = r.instances[k];
            c.Label(names[k]).S32(d.x).S32(d.y).S32(d.object).S32(d.id);
            if (d.code.empty()) c.U32(0);
            else c.Text(d.code);
            c.F32(1).F32(1).U32(0xFFFFFFFFu).F32(0);
        }
    }
}

void Timelines(CDataBuilder& b, const ScenarioGame& game) {
    if (game.timelines.empty()) return;
    CDataBuilder::Chunk& c = b.AddChunk("TMLN");
    std::vector<std::string> labels;
    for (size_t i = 0; i < game.timelines.size(); ++i)
        labels.push_back("tl" + std::to_string(i));
    c.OffsetList(labels);
    for (size_t i = 0; i < game.timelines.size(); ++i) {
        const ScenarioTimeline& t = game.timelines[i];
        c.Label(labels[i]).Text(t.name).U32(static_cast<uint32_t>(t.moments.size()));
        for (size_t m = 0; m < t.moments.size(); ++m)
            c.S32(t.moments[m].first).Ref(labels[i] + "m" + std::to_string(m));
        for (size_t m = 0; m < t.moments.size(); ++m)
            ActionList(c, labels[i] + "m" + std::to_string(m), t.moments[m].second);
    }
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::vector<uint8_t> BuildScenarioGame(const ScenarioGame& game) {
    CDataBuilder b;
    CDataBuilder::GeneralInfo info;
    info.windowWidth = 64;
    info.windowHeight = 48;
    info.roomOrder = game.order;
    // New instances take ids after the last placed one.
    for (const ScenarioRoom& room : game.rooms)
        for (const ScenarioInstance& instance : room.instances)
            info.lastInstanceId = std::max(info.lastInstanceId, static_cast<uint32_t>(instance.id));
    if (info.roomOrder.empty())
        for (size_t i = 0; i < game.rooms.size(); ++i)
            info.roomOrder.push_back(static_cast<int32_t>(i));
    b.AddGeneralInfo(info);
    b.AddOptions(CDataBuilder::Options());
    Timelines(b, game);
    Objects(b, game);
    Rooms(b, game);
    b.StringTable();
    return b.Build();
}

ScenarioRun RunRunner(const std::string& folder, std::vector<std::string> arguments, int timeoutSeconds) {
    const std::string logPath = folder + "/game.log";
    const std::string outPath = folder + "/stdout.txt";
    arguments.insert(arguments.begin(), RUNNER_EXECUTABLE);
    ScenarioRun run;
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0) _exit(120);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("LP_NUM_THREADS", "0", 1);
        // A leak at the end of the run changes the exit code, so every scenario checks the shutdown too.
        setenv("ASAN_OPTIONS", "detect_leaks=1:intercept_tls_get_addr=0", 1);
        std::vector<char*> argv;
        for (std::string& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(121);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            run.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!run.timedOut && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.log = ReadAll(logPath);
    run.console = ReadAll(outPath);
    return run;
}

ScenarioRun RunScenario(const ScenarioGame& game, const std::vector<std::string>& extraArguments,
                        int timeoutSeconds, const std::vector<std::pair<std::string, std::string>>& files) {
    TempFolder folder;
    const std::string gamePath = folder.Path() + "/game.win";
    const std::vector<uint8_t> bytes = BuildScenarioGame(game);
    std::ofstream(gamePath, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    for (const auto& [name, contents] : files)
        TempFolder::Write(folder / name, contents);
    std::vector<std::string> arguments = {"-game", gamePath, "-noerrors", "-output", folder.Path() + "/game.log"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    return RunRunner(folder.Path(), arguments, timeoutSeconds);
}

std::vector<std::string> LinesStartingWith(const std::string& log, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line.substr(prefix.size()));
    return lines;
}
