#include "scenario.h"

#include "core/files.h"
#include "data_builder.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::pair<std::string, std::string>> g_environment;
std::function<bool()> g_childStep;

// Whether a signal sent to the process still waits to be taken by it: another one of the kind sent
// meanwhile would be lost in it.
bool SignalPending(pid_t pid, int signal) {
    const std::string status = ReadAll("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("\nShdPnd:");
    if (at == std::string::npos) return false;
    const unsigned long long pending = std::strtoull(status.c_str() + at + 8, nullptr, 16);
    return (pending >> (signal - 1)) & 1;
}

// The folder the runs make their temporary folders in (TMPDIR), one of this program's own, removed when
// it ends by the process that made it: a run that ends without removing its own (killed, or ended by a
// library's exit) leaves nothing behind in the system's.
TempFolder* g_runsTemporary = nullptr;
pid_t g_runsTemporaryOwner = 0;

const std::string& RunsTemporaryFolder() {
    if (!g_runsTemporary) {
        g_runsTemporary = new TempFolder;
        g_runsTemporaryOwner = getpid();
        std::atexit([] {
            if (getpid() == g_runsTemporaryOwner) delete g_runsTemporary;
        });
    }
    return g_runsTemporary->Path();
}

} // namespace

ScenarioEnvironment::ScenarioEnvironment(std::initializer_list<std::pair<std::string, std::string>> variables) {
    g_environment.assign(variables.begin(), variables.end());
}

ScenarioEnvironment::~ScenarioEnvironment() {
    g_environment.clear();
}

ScenarioChildStep::ScenarioChildStep(std::function<bool()> step) {
    g_childStep = std::move(step);
}

ScenarioChildStep::~ScenarioChildStep() {
    g_childStep = nullptr;
}

bool ScenarioTreeMode() {
    const char* mode = std::getenv("RUNNER_SCENARIO_EXEC");
    return mode != nullptr && std::strcmp(mode, "oldexec") == 0;
}

ToolRun RunTool(const std::string& folder, const std::string& tool, const std::string& arguments) {
    const std::string command = "cd '" + folder + "' && '" + tool + "' " + arguments + " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    ToolRun run;
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = ReadAll(folder + "/out.txt");
    run.errors = ReadAll(folder + "/err.txt");
    return run;
}

std::string RecordedKeyPresses(int frames, const std::vector<std::pair<int, int>>& presses) {
    std::string bytes(static_cast<size_t>(frames) * kIOPlaybackFrameSize, '\0');
    for (const auto& [frame, key] : presses) {
        const size_t at = static_cast<size_t>(frame) * kIOPlaybackFrameSize;
        bytes[at + kRecordedKeyDown + key] = bytes[at + kRecordedKeyPressed + key] = 1;
    }
    return bytes;
}

std::vector<uint8_t> BuildScenarioGame(const ScenarioGame& game) {
    return GameFile_Build(game);
}

std::vector<uint8_t> WithSounds(std::vector<uint8_t> file, uint32_t count) {
    auto u32 = [&](uint32_t v) {
        file.insert(file.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    };
    const auto countAt = static_cast<uint32_t>(file.size() + 8);
    file.insert(file.end(), {'S', 'O', 'N', 'D'});
    u32(4 + 4 * count);
    u32(count);
    for (uint32_t i = 0; i < count; ++i)
        u32(countAt);
    const auto size = static_cast<uint32_t>(file.size() - 8);
    for (int i = 0; i < 4; ++i)
        file[4 + static_cast<size_t>(i)] = uint8_t(size >> (8 * i));
    return file;
}

ScenarioGame OneObjectGame(std::vector<ScenarioEvent> events) {
    ScenarioGame game;
    ScenarioObject object;
    object.name = "oPlayer";
    object.events = std::move(events);
    game.objects.push_back(object);
    ScenarioRoom room;
    room.name = "rOnly";
    room.instances = {{0, 0, 0, 100001, ""}};
    game.rooms.push_back(room);
    return game;
}

uint8_t* GeneralInformation(std::vector<uint8_t>& bytes) {
    for (size_t at = 8; at + 8 <= bytes.size();) {
        uint32_t size = 0;
        std::memcpy(&size, &bytes[at + 4], 4);
        if (std::memcmp(&bytes[at], "GEN8", 4) == 0) return at + 8 < bytes.size() ? &bytes[at + 8] : nullptr;
        at += 8 + size;
    }
    return nullptr;
}

ScenarioRun RunRunner(const std::string& folder, std::vector<std::string> arguments, int timeoutSeconds,
                      bool measurePeak, const ScenarioStop& stop) {
    const std::string logPath = folder + "/game.log";
    const std::string outPath = folder + "/stdout.txt";
    const std::string errPath = folder + "/stderr.txt";
    const std::string peakPath = folder + "/peak.txt";
    arguments.insert(arguments.begin(), RUNNER_EXECUTABLE);
    if (measurePeak) arguments.insert(arguments.begin(), {PEAK_MEMORY_EXECUTABLE, peakPath});
    ScenarioRun run;
    const std::string temporary = RunsTemporaryFolder();
    int unread[2] = {-1, -1};
    if (stop.standardOutputUnread && pipe2(unread, O_CLOEXEC) != 0) unread[0] = unread[1] = -1;
    const pid_t child = fork();
    if (child == 0) {
        // A session (and a group) of its own: a run stopped for its time takes its group along, and the
        // processes it started can be told apart, even those that lead groups of their own.
        setsid();
        if (chdir(folder.c_str()) != 0) _exit(120);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (unread[1] >= 0) dup2(unread[1], 1);
        else if (out >= 0) dup2(out, 1);
        if (err >= 0) dup2(err, 2);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1); // the save area goes below it
        setenv("LP_NUM_THREADS", "0", 1);
        setenv("TMPDIR", temporary.c_str(), 1);
        // A leak at the end of the run changes the exit code, so every scenario checks the shutdown too.
        setenv("ASAN_OPTIONS", "detect_leaks=1:intercept_tls_get_addr=0", 1);
        // The stop signals reach the runner even where this program was started with them ignored.
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        for (const auto& [name, value] : g_environment)
            setenv(name.c_str(), value.c_str(), 1);
        if (g_childStep && !g_childStep()) _exit(122);
        std::vector<char*> argv;
        for (std::string& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(121);
    }
    run.processId = child;
    // Full once every buffer of the pipe is taken: a write end then takes nothing more.
    const auto unreadFull = [&] {
        pollfd writable{unread[1], POLLOUT, 0};
        return unread[1] < 0 || poll(&writable, 1, 0) == 0;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    std::optional<std::chrono::steady_clock::time_point> ready, signalled, signalledAgain;
    bool again = stop.again >= 0;
    int status = 0;
    std::thread acting;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        const auto now = std::chrono::steady_clock::now();
        if (!stop.readyLog.empty() && !ready && ReadAll(logPath).find(stop.readyLog) != std::string::npos) {
            ready = now;
            if (stop.during) acting = std::thread(stop.during, static_cast<int>(child));
        }
        if (stop.signal != 0 && !signalled && ready && unreadFull()) {
            kill(child, stop.signal);
            signalled = now;
        } else if (signalled && again && now - *signalled >= std::chrono::duration<double>(stop.again) &&
                   !SignalPending(child, stop.signal)) {
            kill(child, stop.signal);
            signalledAgain = now;
            again = false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            if (kill(-child, SIGKILL) != 0) kill(child, SIGKILL);
            waitpid(child, &status, 0);
            run.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (acting.joinable()) acting.join();
    for (const int end : unread)
        if (end >= 0) close(end);
    if (!run.timedOut && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    const auto secondsSince = [ended = std::chrono::steady_clock::now()](auto from) {
        return std::chrono::duration<double>(ended - from).count();
    };
    if (signalled && !run.timedOut) run.secondsAfterSignal = secondsSince(*signalled);
    if (signalledAgain && !run.timedOut) run.secondsAfterSecondSignal = secondsSince(*signalledAgain);
    if (ready && !run.timedOut) run.secondsAfterReady = secondsSince(*ready);
    // A run that ended before the wait saw its mark ended within one turn of the wait after it.
    if (!ready && !run.timedOut && !stop.readyLog.empty() &&
        ReadAll(logPath).find(stop.readyLog) != std::string::npos)
        run.secondsAfterReady = 0;
    if (measurePeak) run.peakBytes = std::strtoull(ReadAll(peakPath).c_str(), nullptr, 10);
    run.log = ReadAll(logPath);
    run.console = ReadAll(outPath);
    run.errors = ReadAll(errPath);
    return run;
}

ScenarioRun RunScenario(const ScenarioGame& game, const std::vector<std::string>& extraArguments,
                        int timeoutSeconds, const std::vector<std::pair<std::string, std::string>>& files) {
    return RunDataFile(BuildScenarioGame(game), extraArguments, timeoutSeconds, files);
}

ScenarioRun RunDataFile(const std::vector<uint8_t>& bytes, const std::vector<std::string>& extraArguments,
                        int timeoutSeconds, const std::vector<std::pair<std::string, std::string>>& files,
                        const std::vector<std::string>& readBack, const ScenarioStop& stop) {
    TempFolder folder;
    const std::string gamePath = folder.Path() + "/game.win";
    std::ofstream(gamePath, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    for (const auto& [name, contents] : files) {
        File_CreatePathDirectories((folder / name).c_str());
        TempFolder::Write(folder / name, contents);
    }
    std::vector<std::string> arguments = {"-game", gamePath, "-noerrors", "-output", folder.Path() + "/game.log"};
    if (ScenarioTreeMode()) arguments.push_back("-oldexec");
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    ScenarioRun run = RunRunner(folder.Path(), arguments, timeoutSeconds, false, stop);
    for (const std::string& name : readBack)
        if (access((folder / name).c_str(), F_OK) == 0) run.files.emplace_back(name, ReadAll(folder / name));
    return run;
}

std::vector<std::string> LinesStartingWith(const std::string& log, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line.substr(prefix.size()));
    return lines;
}
