// Loads arbitrary saved games into a running game: the example game, followed by three rooms of their
// own (the first persistent) with instances that have sprites, alarms, a path and a timeline, and code
// in their events. The first byte chooses the input's form: even, the rest is the saved game itself (the
// seeds are saved games of the example game); odd, the rest edits a saved game of the running world
// (records of u16 offset, u8 length and that many bytes, written over it; an offset past its end cuts it
// there), so that edits reach deep into a well-formed saved game.
//
// A refused load must leave the world exactly as it was (it saves to the same bytes). An accepted one
// must save and load again to the same bytes, and the loaded world then runs one step, with the room
// change it asks for; afterwards the world's own saved game is loaded back.
#include "corpus/damaged_games.h"
#include "example_world.h"
#include "graphics/frame/frame.h"
#include "io/message_pump.h"
#include "runner/step.h"
#include "world/room.h"
#include "world/room_entry.h"
#include "world/room_table.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string g_snapshot;

// The example game, then the fuzzer's own sprite, path, timeline, objects and rooms after its own.
GameDescription FuzzGame() {
    GameDescription game;
    std::string error;
    if (!DamagedGames_ReadExample(EXAMPLE_GAME_SOURCES, &game, &error)) __builtin_trap();
    const int sprite = static_cast<int>(game.sprites.size());
    const int walkerObject = static_cast<int>(game.objects.size());
    GameSprite box{"sBox", 0, 0, {GameImage{8, 8, std::vector<uint8_t>(8 * 8 * 4, 0xFF)}}};
    game.sprites.push_back(box);
    game.paths.push_back({"pLine", 0, false, 4, {{0, 0, 100}, {40, 10, 50}}});
    game.timelines.push_back({"tLine", {{1, "hp = 2;"}, {5, "timeline_position = 0;"}}});
    GameObject walker;
    walker.name = "oWalker";
    walker.sprite = sprite;
    walker.events = {{0, 0,
                      "hp = 1; alarm[0] = 3; path_start(pLine, 2, 1, false); timeline_index = tLine;"
                      "timeline_running = true; global.count = 0;"},
                     {2, 0, "alarm[0] = 3; global.count = 1;"},
                     {3, 0, "x += 1; image_angle += 5;"},
                     {4, 0, "x = xprevious;"},
                     {7, 8, "speed = 1;"}};
    game.objects.push_back(walker);
    GameObject keeper;
    keeper.name = "oKeeper";
    keeper.sprite = sprite;
    keeper.persistent = true;
    keeper.events = {{3, 1, "y += 1;"}};
    game.objects.push_back(keeper);
    const int keeperObject = walkerObject + 1;
    GameRoom first{"rFirst", 30, true, "", {{8, 8, walkerObject, 100101, ""}, {20, 8, keeperObject, 100102, ""}},
                   64, 48, 0, -1};
    GameRoom second{"rSecond", 30, false, "", {{30, 30, walkerObject, 100103, ""}}, 64, 48, 0, -1};
    GameRoom third{"rThird", 30, false, "", {}, 64, 48, 0, -1};
    game.rooms.insert(game.rooms.end(), {first, second, third});
    return game;
}

bool Load(const std::string& bytes) {
    Buffer_Standard buffer(static_cast<int>(bytes.size()), eBuffer_Fixed, 1);
    if (!bytes.empty()) std::memcpy(buffer.data, bytes.data(), bytes.size());
    return Game_LoadState(&buffer);
}

// The input in saved-game form.
std::string Input(const uint8_t* data, size_t size) {
    if (size == 0) return std::string();
    if ((data[0] & 1) == 0) return std::string(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string bytes = g_snapshot;
    for (size_t at = 1; at + 3 <= size;) {
        const size_t offset = static_cast<size_t>(data[at]) | static_cast<size_t>(data[at + 1]) << 8;
        size_t n = data[at + 2];
        at += 3;
        if (offset >= bytes.size()) {
            bytes.resize(offset % (bytes.size() + 1));
            continue;
        }
        n = std::min({n, size - at, bytes.size() - offset});
        std::memcpy(bytes.data() + offset, data + at, n);
        at += n;
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Traces go to the standard output; the fuzzer's own report must stay readable.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    std::string error;
    if (!World_Start(GameFile_Build(FuzzGame(), false, &error))) __builtin_trap();
    // The example's room, then the fuzzer's first (kept when left) and second.
    const int firstOwnRoom = Room_Count() - 3;
    DoAStep();
    GotoRoom(firstOwnRoom);
    DoAStep();
    GotoRoom(firstOwnRoom + 1);
    DoAStep();
    World_ShortFlagTable();
    g_snapshot = World_Save();
    // The world goes before the leak check at exit.
    std::atexit(World_End);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) return 0;
    const std::string bytes = Input(data, size);
    if (!Load(bytes)) {
        if (World_Save() != g_snapshot) __builtin_trap();
        return 0;
    }
    const std::string first = World_Save();
    if (!Load(first) || World_Save() != first) __builtin_trap();
    DoAStep();
    const int32_t code = Room_State().New_Room;
    Room_State().New_Room = -1;
    if (code != -100 && code != -400) Run_ChangeRoom(code, false);
    if (!Load(g_snapshot)) __builtin_trap();
    return 0;
}
