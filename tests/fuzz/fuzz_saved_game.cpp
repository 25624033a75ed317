// Loads arbitrary saved games into a running game: three rooms (the first persistent), instances with
// sprites, alarms, a path and a timeline, and code in their events. The first byte chooses the input's
// form: even, the rest is the saved game itself; odd, the rest edits a saved game of the running world
// (records of u16 offset, u8 length and that many bytes, written over it; an offset past its end cuts it
// there), so that edits reach deep into a well-formed saved game.
//
// A refused load must leave the world exactly as it was (it saves to the same bytes). An accepted one
// must save and load again to the same bytes, and the loaded world then runs one step, with the room
// change it asks for; afterwards the world's own saved game is loaded back.
#include "game_writer.h"
#include "runner/game_load.h"
#include "runner/run_loop.h"
#include "runner/startup.h"
#include "runner/step.h"
#include "core/memory.h"
#include "graphics/frame.h"
#include "io/message_pump.h"
#include "script/buffer.h"
#include "script/variables.h"
#include "script/compiler/compile.h"
#include "world/room.h"
#include "world/room_entry.h"
#include "world/saved_game.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string g_snapshot;

GameDescription FuzzGame() {
    GameDescription game;
    GameSprite sprite{"sBox", 0, 0, {GameImage{8, 8, std::vector<uint8_t>(8 * 8 * 4, 0xFF)}}};
    game.sprites.push_back(sprite);
    game.paths.push_back({"pLine", 0, false, 4, {{0, 0, 100}, {40, 10, 50}}});
    game.timelines.push_back({"tLine", {{1, "hp = 2;"}, {5, "timeline_position = 0;"}}});
    GameObject walker;
    walker.name = "oWalker";
    walker.sprite = 0;
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
    keeper.sprite = 0;
    keeper.persistent = true;
    keeper.events = {{3, 1, "y += 1;"}};
    game.objects.push_back(keeper);
    GameRoom first{"rFirst", 30, true, "", {{8, 8, 0, 100001, ""}, {20, 8, 1, 100002, ""}}, 64, 48, 0, -1};
    GameRoom second{"rSecond", 30, false, "", {{30, 30, 0, 100003, ""}}, 64, 48, 0, -1};
    GameRoom third{"rThird", 30, false, "", {}, 64, 48, 0, -1};
    game.rooms = {first, second, third};
    return game;
}

std::string SaveNow() {
    IBuffer buffer(0, eBuffer_Grow, 1);
    Game_WriteState(&buffer);
    return std::string(reinterpret_cast<const char*>(buffer.data), static_cast<size_t>(buffer.position));
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
    const std::vector<uint8_t> file = GameFile_Build(FuzzGame(), false, &error);
    if (file.empty()) __builtin_trap();
    if (!Runner_InitAll()) __builtin_trap();
    auto* data = static_cast<uint8_t*>(MEM_ALLOC(file.size() + 1));
    std::memcpy(data, file.data(), file.size());
    Game_SetData(data, static_cast<uint32_t>(file.size()));
    Code_Load(data, static_cast<uint32_t>(file.size()));
    if (!LoadGameData()) __builtin_trap();
    Variable_InitGlobals();
    if (!PrepareGame()) __builtin_trap();
    // Run-time errors of the loaded world end the code that raised them, not the process.
    Code_QuietErrors = true;
    Run_Running = 1;
    if (!StartGame()) __builtin_trap();
    DoAStep();
    GotoRoom(1);
    DoAStep();
    // A short flag table keeps the saved game small, so that edits land on its rooms.
    SavedGlobals globals{std::make_unique<CVariableList>(), std::vector<uint8_t>(16, 0)};
    globals.list->CopyFrom(Variable_Globals());
    Variable_UseGlobals(globals);
    g_snapshot = SaveNow();
    // The world goes before the leak check at exit.
    std::atexit([] {
        EndGame();
        Runner_Shutdown();
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) return 0;
    const std::string bytes = Input(data, size);
    if (!Load(bytes)) {
        if (SaveNow() != g_snapshot) __builtin_trap();
        return 0;
    }
    const std::string first = SaveNow();
    if (!Load(first) || SaveNow() != first) __builtin_trap();
    DoAStep();
    const int32_t code = New_Room;
    New_Room = -1;
    if (code != -100 && code != -400) Run_ChangeRoom(code, false);
    if (!Load(g_snapshot)) __builtin_trap();
    return 0;
}
