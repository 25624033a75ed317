// Small games written with the data-file builder (code as source text), and runs of the real runner on
// them headless, with "-noerrors" and "-output", bounded in time.
#pragma once

#include <string>
#include <vector>

struct ScenarioEvent {
    int type;
    int number;
    std::string code;
};

struct ScenarioObject {
    std::string name;
    int depth = 0;
    bool persistent = false;
    int parent = -100;
    std::vector<ScenarioEvent> events;
};

struct ScenarioInstance {
    int x = 0, y = 0, object = 0, id = 0;
    std::string code; // creation code
};

struct ScenarioRoom {
    std::string name;
    int speed = 1000;
    bool persistent = false;
    std::string code;
    std::vector<ScenarioInstance> instances;
};

struct ScenarioTimeline {
    std::string name;
    std::vector<std::pair<int, std::string>> moments; // ascending steps
};

struct ScenarioGame {
    std::vector<ScenarioObject> objects;
    std::vector<ScenarioRoom> rooms;
    std::vector<ScenarioTimeline> timelines;
    std::vector<int> order; // empty: every room in index order
};

std::vector<uint8_t> BuildScenarioGame(const ScenarioGame& game);

struct ScenarioRun {
    int exitCode = -1;   // -1 when it did not end by itself
    bool timedOut = false;
    std::string log;     // the "-output" file: the game's messages and errors
    std::string console; // standard output
};

// Runs the runner in folder with the arguments, killed after timeoutSeconds; the log is folder/game.log.
ScenarioRun RunRunner(const std::string& folder, std::vector<std::string> arguments, int timeoutSeconds);

// Writes the game (and the files given as name and bytes) into a fresh folder and runs the runner there
// on it with "-noerrors" and "-output"; the run is killed after timeoutSeconds.
ScenarioRun RunScenario(const ScenarioGame& game, const std::vector<std::string>& extraArguments = {},
                        int timeoutSeconds = 20,
                        const std::vector<std::pair<std::string, std::string>>& files = {});

// The lines of a log that start with prefix, prefix removed.
std::vector<std::string> LinesStartingWith(const std::string& log, const std::string& prefix);
