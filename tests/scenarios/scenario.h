// Small games written with the data-file builder (code as source text), and runs of the real runner on
// them headless, with "-noerrors" and "-output", bounded in time.
#pragma once

#include "game_writer.h"
#include "io/input.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

using ScenarioEvent = GameEvent;
using ScenarioObject = GameObject;
using ScenarioInstance = GameInstance;
using ScenarioRoom = GameRoom;
using ScenarioTimeline = GameTimeline;
using ScenarioGame = GameDescription;

std::vector<uint8_t> BuildScenarioGame(const ScenarioGame& game);
// The data file with a "SOND" chunk of count records appended, written by hand: the count, then each
// record's offset (all pointing at the count word; the loader reads no record, so each sound has no file
// until one is given to it).
std::vector<uint8_t> WithSounds(std::vector<uint8_t> file, uint32_t count);
// A game of one room holding one instance of its one object, which has the events given.
ScenarioGame OneObjectGame(std::vector<ScenarioEvent> events);
// The body of the data file's general information (its "GEN8" chunk), or nullptr when it has none.
uint8_t* GeneralInformation(std::vector<uint8_t>& bytes);

struct ScenarioRun {
    int exitCode = -1;   // -1 when it did not end by itself
    bool timedOut = false;
    std::string log;     // the "-output" file: the game's messages and errors
    std::string console; // standard output
    std::string errors;  // standard error
    std::vector<std::pair<std::string, std::string>> files; // the files asked for that the run left
    size_t peakBytes = 0; // the runner's own peak resident memory, when measured (0 otherwise)
    double secondsAfterSignal = -1; // from the first signal sent (ScenarioStop) to the end of the run
    double secondsAfterSecondSignal = -1; // and from the second one, when it was sent
    double secondsAfterReady = -1; // from when the log first held the stop's readyLog (signal or none)
    int processId = 0;   // the runner's, also the id of the session (and of the process group) that it
                         // and the processes it starts run in
};

// A signal sent to a run once its log holds readyLog (none when signal is 0: the moment is only
// timed), and once more again seconds later when again is not negative (and the runner has taken the
// first: a second one sent while the first waits is lost).
// With standardOutputUnread the runner's standard output is a pipe that nothing reads, and the signal
// waits for that pipe to be full as well (the runner's next line on it does not return).
// With during, the test acts on the run (input sent to its window, say) once its log holds readyLog: during
// runs on a thread of its own, given the runner's process id, while the run is waited for as usual; it is
// waited for once the run has ended, so it bounds its own waits.
struct ScenarioStop {
    int signal = 0;
    std::string readyLog;
    double again = -1;
    bool standardOutputUnread = false;
    std::function<void(int processId)> during;
};

// Whether the scenarios run their games' code in the tree evaluator: every run then adds "-oldexec". The
// test program is registered for both ways; the environment variable RUNNER_SCENARIO_EXEC=oldexec
// selects this one.
bool ScenarioTreeMode();

// Environment variables the runs take over the harness's own (SDL_VIDEODRIVER=offscreen among them) while
// this lives: another video driver or display for the runs of one test.
class ScenarioEnvironment {
public:
    ScenarioEnvironment(std::initializer_list<std::pair<std::string, std::string>> variables);
    ~ScenarioEnvironment();
    ScenarioEnvironment(const ScenarioEnvironment&) = delete;
    ScenarioEnvironment& operator=(const ScenarioEnvironment&) = delete;
};

// A step the runs' child processes take, while this lives, before they start the runner (entering
// namespaces of the test's own, say); a child whose step fails ends with 122 and starts no runner.
class ScenarioChildStep {
public:
    explicit ScenarioChildStep(std::function<bool()> step);
    ~ScenarioChildStep();
    ScenarioChildStep(const ScenarioChildStep&) = delete;
    ScenarioChildStep& operator=(const ScenarioChildStep&) = delete;
};

// Runs the runner in folder with the arguments, killed after timeoutSeconds; the log is folder/game.log.
// With measurePeak the runner is started by a small process of its own, so that its peak memory is its
// own and not that of this test program, which a fork would lend it.
ScenarioRun RunRunner(const std::string& folder, std::vector<std::string> arguments, int timeoutSeconds,
                      bool measurePeak = false, const ScenarioStop& stop = {});

// Writes the game (and the files given as name and bytes, their folders made) into a fresh folder and runs the runner there
// on it with "-noerrors" and "-output" (and "-oldexec" in tree mode); the run is killed after
// timeoutSeconds.
ScenarioRun RunScenario(const ScenarioGame& game, const std::vector<std::string>& extraArguments = {},
                        int timeoutSeconds = 20,
                        const std::vector<std::pair<std::string, std::string>>& files = {});

// The same on a data file given as bytes; the files named in readBack are read from the folder after the
// run. The save area lies in the folder's "data" folder.
ScenarioRun RunDataFile(const std::vector<uint8_t>& bytes, const std::vector<std::string>& extraArguments = {},
                        int timeoutSeconds = 20, const std::vector<std::pair<std::string, std::string>>& files = {},
                        const std::vector<std::string>& readBack = {}, const ScenarioStop& stop = {});

struct ToolRun {
    int exitCode = -1;
    std::string out, errors;
};

// Runs a command-line tool with the arguments (a shell's words) in folder, standard output and error kept
// apart.
ToolRun RunTool(const std::string& folder, const std::string& tool, const std::string& arguments);

// Where a frame of an input recording ("-playback") holds whether each key is held and was pressed.
constexpr int kRecordedKeyDown = 2 + 2 * kIOKeyboardStringUnits + 8;
constexpr int kRecordedKeyPressed = kRecordedKeyDown + 2 * kIOKeyCount;

// A recording of frames frames in which each key of presses (frame, virtual key) is pressed in its frame.
std::string RecordedKeyPresses(int frames, const std::vector<std::pair<int, int>>& presses);

// The lines of a log that start with prefix, prefix removed.
std::vector<std::string> LinesStartingWith(const std::string& log, const std::string& prefix);
