// Games that draw one frame and save it: a room whose object draws with the given code, saves the screen
// on its second step and ends, and the saved frame read back.
#pragma once

#include "scenario.h"

#include "graphics/image/image_decode.h"

#include <string>
#include <utility>
#include <vector>

// One room of the game's size with one instance of the object "oDraw" drawing with the code.
inline ScenarioGame FrameGame(const std::string& draw, int width = 64, int height = 48) {
    ScenarioGame game;
    game.width = width;
    game.height = height;
    ScenarioObject o;
    o.name = "oDraw";
    o.events = {{8, 0, draw},
                {3, 0, "global.t += 1; if (global.t == 2) { screen_save(\"frame.png\"); game_end(); }"}};
    game.objects.push_back(o);
    ScenarioRoom room;
    room.name = "rFrame";
    room.width = width;
    room.height = height;
    room.code = "global.t = 0;";
    room.instances = {{0, 0, 0, 100001, ""}};
    game.rooms.push_back(room);
    return game;
}

struct SavedFrame {
    ScenarioRun run;
    std::vector<uint32_t> pixels; // 0xAARRGGBB, top row first
    int width = 0;
    int height = 0;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)] & 0xFFFFFFu; }
};

// Runs the game with the files given in its folder and reads back the frame it saved, and the other files
// named (into run.files, after the frame's).
inline SavedFrame RunFrame(const ScenarioGame& game, const std::vector<std::pair<std::string, std::string>>& files = {},
                           const std::vector<std::string>& readBack = {}) {
    SavedFrame f;
    const std::string frame = "data/" + game.name + "/frame.png";
    std::vector<std::string> names = {frame};
    names.insert(names.end(), readBack.begin(), readBack.end());
    f.run = RunDataFile(BuildScenarioGame(game), {}, 60, files, names);
    if (f.run.files.empty() || f.run.files[0].first != frame) return f;
    const std::string& png = f.run.files[0].second;
    const uint32_t* pixels = ReadPNG(reinterpret_cast<const uint8_t*>(png.data()), png.size(), f.width, f.height);
    if (pixels) f.pixels.assign(pixels, pixels + static_cast<size_t>(f.width) * f.height);
    ReadPNG_Free();
    return f;
}
