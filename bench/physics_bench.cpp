// 1,000 bodies, circles and boxes, dropped into a walled box in a physics room of 800 x 600 at room speed
// 60 (a step of 1/60 s), falling, piling up and settling over 600 steps; each reports landing on the floor
// through a collision event. Two measures:
// - physics_world: the room's world alone, stepped (the bodies made as the room makes them);
// - physics_room: frames of the whole runner (data file, window, GL device, vsync off): the step with the
//   world's update, the instances following their bodies, the collision events, and the draw of every
//   sprite. The frame's wait for the room speed is left out, so the figure is how fast the room could
//   run. Without a display the window is SDL's offscreen one.
// Both report steps (frames) per second.
#include "game_start.h"
#include "gpu_wait.h"
#include "graphics/frame/frame.h"
#include "io/message_pump.h"
#include "physics/physics.h"
#include "runner/step.h"
#include "world/room.h"

#include <benchmark/benchmark.h>
#include <box2d/box2d.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kBodies = 1000;
constexpr int kColumns = 40;
constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kSpeed = 60;
constexpr int kSteps = 600;
constexpr float kScale = 0.1f;
constexpr int kBodySize = 12;

// The walled box and the bodies: index 0 a wall, 1 the floor, 2 a circle, 3 a box.
const std::vector<float> kWall = {-8, -300, 8, -300, 8, 300, -8, 300};
const std::vector<float> kFloor = {-400, -8, 400, -8, 400, 8, -400, 8};
const std::vector<float> kCircle = {kBodySize / 2.0f, 0};
const std::vector<float> kSquare = {-6, -6, 6, -6, 6, 6, -6, 6};

struct Placed {
    int x, y, kind;
};

std::vector<Placed> Layout() {
    std::vector<Placed> placed = {{8, 300, 0}, {kWidth - 8, 300, 0}, {400, kHeight - 8, 1}};
    for (int i = 0; i < kBodies; ++i)
        placed.push_back({100 + (i % kColumns) * 15 + (i / kColumns % 2) * 5, 20 + (i / kColumns) * 16,
                          2 + i % 2});
    return placed;
}

GamePhysics Physics(int kind) {
    GamePhysics p;
    p.uses = true;
    p.shape = kind == 2 ? 0 : 1;
    p.points = kind == 0 ? kWall : kind == 1 ? kFloor : kind == 2 ? kCircle : kSquare;
    p.density = kind < 2 ? 0.0f : 1.0f;
    p.restitution = 0.2f;
    p.friction = 0.5f;
    return p;
}

// ---- The world alone

void BM_PhysicsWorldStep(benchmark::State& state) {
    CPhysicsWorld world(kScale, kSpeed);
    world.SetGravity(0, 10);
    std::vector<std::unique_ptr<CPhysicsObject>> bodies;
    std::vector<GamePhysics> kinds;
    for (int kind = 0; kind < 4; ++kind)
        kinds.push_back(Physics(kind));
    for (const Placed& p : Layout()) {
        const GamePhysics& k = kinds[static_cast<size_t>(p.kind)];
        PhysicsBodySettings s;
        s.name = "body";
        s.shape = k.shape;
        s.shapeValues = k.points.data();
        s.shapeValueCount = static_cast<int32_t>(k.points.size());
        s.density = k.density;
        s.restitution = k.restitution;
        s.friction = k.friction;
        s.linearDamping = k.linearDamping;
        s.angularDamping = k.angularDamping;
        s.x = static_cast<float>(p.x);
        s.y = static_cast<float>(p.y);
        bodies.emplace_back(world.CreateBody(s, nullptr));
        if (!bodies.back()) {
            state.SkipWithError("a body was refused");
            return;
        }
    }
    size_t touching = 0;
    for (auto _ : state) {
        world.Update(kSpeed);
        touching = world.TouchingContacts().size();
    }
    state.counters["steps_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bodies"] = kBodies;
    state.counters["contacts_at_end"] = static_cast<double>(touching);
}
BENCHMARK(BM_PhysicsWorldStep)->Iterations(kSteps)->Unit(benchmark::kMillisecond);

// ---- The whole runner

GameDescription Game() {
    GameDescription game;
    game.name = "Physics";
    game.width = kWidth;
    game.height = kHeight;
    GameSprite sprite;
    sprite.name = "spr_body";
    sprite.xOrigin = sprite.yOrigin = kBodySize / 2;
    sprite.frames.push_back({kBodySize, kBodySize, std::vector<uint8_t>(kBodySize * kBodySize * 4, 0xC0)});
    game.sprites.push_back(sprite);
    const char* names[] = {"obj_wall", "obj_floor", "obj_ball", "obj_crate"};
    for (int kind = 0; kind < 4; ++kind) {
        GameObject o;
        o.name = names[kind];
        o.sprite = 0;
        o.visible = kind >= 2;
        o.physics = Physics(kind);
        if (kind >= 2) o.events = {{0, 0, "landed = 0;"}, {4, 1, "landed = 1;"}};
        game.objects.push_back(o);
    }
    GameRoom room;
    room.name = "rm_physics";
    room.width = kWidth;
    room.height = kHeight;
    room.speed = kSpeed;
    room.physics = true;
    room.gravityY = 10;
    room.pixelsToMetres = kScale;
    int id = 100001;
    for (const Placed& p : Layout()) {
        GameInstance instance;
        instance.x = p.x;
        instance.y = p.y;
        instance.object = p.kind;
        instance.id = id++;
        room.instances.push_back(instance);
    }
    game.rooms.push_back(room);
    return game;
}

bool StartGame() {
    return Bench_StartGame(Game()) && Room_State().Run_Room != nullptr &&
           Room_State().Run_Room->physicsWorld != nullptr;
}

// A frame as the main loop runs it, less the wait for the room speed.
void Frame() {
    Graphics::StartFrame();
    DoAStep();
    Graphics::EndFrame(true);
    ProcessMessages();
    Bench_WaitForGPU();
}

void BM_FramesOfPhysicsRoom(benchmark::State& state) {
    static const bool started = StartGame();
    if (!started) {
        state.SkipWithError("the game did not start");
        return;
    }
    for (auto _ : state) {
        Frame();
        if (MessagePump_State().Run_Running != 1 || Room_State().New_Room != -1)
            state.SkipWithError("the game left its room");
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bodies"] = kBodies;
    state.counters["bodies_in_world"] = Room_State().Run_Room->physicsWorld->Box2DWorld()->GetBodyCount();
}
BENCHMARK(BM_FramesOfPhysicsRoom)->Iterations(kSteps)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
