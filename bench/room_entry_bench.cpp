// Entering a room of 10,000 (and of 40,000 and 100,000) instances, through the whole runner: the room
// made from its definition, the instances created, linked by depth and entered in the instance table,
// their create events run, the room start and the changes the step applies after it. Rooms: every
// instance of one depth; instances of 100 objects of different depths, placed with the depths
// interleaved; one instance whose creation code makes the others with instance_create; instances that
// each set their depth in their create event, so that the step re-sorts them into the reverse of the
// order they were made in; and a room whose creation code deactivates every instance and activates
// them again. Each entry starts from an empty room; leaving the room again (its instances destroyed, in
// room order) is timed apart and reported as leave_ms.
#include "game_start.h"
#include "runner/step.h"
#include "world/room.h"
#include "world/room_entry.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

constexpr int kDepths = 100;
constexpr int kSizes[] = {10000, 40000, 100000};

// Room 0 is empty; then for each size the three kinds of room.
enum BenchRoom { kOneDepth, kManyDepths, kCreatedByCode, kDepthInCreate, kReactivated, kKinds };
int RoomIndex(int kind, int size) { return 1 + size * kKinds + kind; }

GameDescription RoomsGame() {
    GameDescription game;
    game.name = "Rooms";
    game.width = 640;
    game.height = 480;
    GameObject placed;
    placed.name = "obj_placed";
    game.objects.push_back(placed);
    GameObject maker;
    maker.name = "obj_maker";
    game.objects.push_back(maker);
    GameObject sorted;
    sorted.name = "obj_sorted";
    sorted.events.push_back(GameEvent{0, 0, "depth = -id;"});
    game.objects.push_back(sorted);
    for (int d = 0; d < kDepths; ++d) {
        GameObject layered;
        layered.name = "obj_depth" + std::to_string(d);
        layered.depth = (d * 37) % kDepths - kDepths / 2;
        game.objects.push_back(layered);
    }
    int id = 100001;
    auto addRoom = [&](const std::string& name, auto objectOf, int count, const std::string& code,
                       const std::string& roomCode = "") {
        GameRoom room;
        room.name = name;
        room.speed = 1000000;
        room.code = roomCode;
        for (int i = 0; i < count; ++i)
            room.instances.push_back(GameInstance{(i * 7) % 640, (i * 13) % 480, objectOf(i), id++, code});
        game.rooms.push_back(room);
    };
    addRoom("rm_empty", [](int) { return 0; }, 0, "");
    for (int n : kSizes) {
        const std::string size = std::to_string(n);
        addRoom("rm_one_depth" + size, [](int) { return 0; }, n, "");
        addRoom("rm_many_depths" + size, [](int i) { return 3 + i % kDepths; }, n, "");
        addRoom("rm_created" + size, [](int) { return 1; }, 1,
                "repeat (" + size + ") instance_create(0, 0, obj_placed);");
        addRoom("rm_depth_in_create" + size, [](int) { return 2; }, n, "");
        addRoom("rm_reactivated" + size, [](int) { return 0; }, n, "",
                "instance_deactivate_all(false); instance_activate_all();");
    }
    return game;
}

void BM_EnterRoom(benchmark::State& state) {
    static const bool started = Bench_StartGame(RoomsGame());
    if (!started) {
        state.SkipWithError("the game did not start");
        return;
    }
    const int kind = static_cast<int>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    const int instances = kSizes[size];
    double leaveSeconds = 0;
    for (auto _ : state) {
        GotoRoom(RoomIndex(kind, size));
        Run_ApplyDeferredChanges();
        state.PauseTiming();
        if (!Room_State().Run_Room || Room_State().Run_Room->active.count < instances)
            state.SkipWithError("the instances were not made");
        const auto before = std::chrono::steady_clock::now();
        GotoRoom(0);
        leaveSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
        state.ResumeTiming();
    }
    state.counters["instances"] = instances;
    state.counters["leave_ms"] = leaveSeconds * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_EnterRoom)
    ->ArgNames({"room", "size"})
    ->ArgsProduct({{kOneDepth, kManyDepths, kCreatedByCode, kDepthInCreate, kReactivated}, {0, 1, 2}})
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

} // namespace
