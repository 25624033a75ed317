// Frames of a room of 10,000 (and of 50,000) moving instances, each with a 26 x 37 sprite drawn by the
// default draw, run by the whole runner (data file, window, GL device) at 800 x 600 with vsync off.
// Without a display the window is SDL's offscreen one. Reports frames per second and the CPU time of
// the whole process (every thread, the rasteriser's too) per frame, which the machine's other work
// disturbs less; every frame ends with a one-pixel read of the back buffer so that the GL work is
// finished inside the frame. FRAMES in
// the environment sets the number of frames timed (default 300 for 10,000 instances, 100 for 50,000).
// bench/love_sprites/main.lua does the same work for comparison (bench/sprites_vs_love.sh runs both).
#include "device/device.h"
#include "game_start.h"
#include "gpu_wait.h"
#include "graphics/frame/frame.h"
#include "io/message_pump.h"
#include "runner/run_loop.h"
#include "world/room_entry.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr int kCounts[] = {10000, 50000}; // the instances of rooms 0 and 1
constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kSpriteWidth = 26;
constexpr int kSpriteHeight = 37;
constexpr int kStepEvent = 3;

// Opaque orange framed by a one-pixel light border (the Lua program makes the same image).
GameImage SpriteImage() {
    GameImage image;
    image.width = kSpriteWidth;
    image.height = kSpriteHeight;
    image.rgba.resize(static_cast<size_t>(kSpriteWidth) * kSpriteHeight * 4);
    for (int y = 0; y < kSpriteHeight; ++y)
        for (int x = 0; x < kSpriteWidth; ++x) {
            const bool edge = x == 0 || y == 0 || x == kSpriteWidth - 1 || y == kSpriteHeight - 1;
            uint8_t* p = &image.rgba[(static_cast<size_t>(y) * kSpriteWidth + x) * 4];
            p[0] = edge ? 0xFF : 0xC0;
            p[1] = edge ? 0xE0 : 0x80;
            p[2] = edge ? 0xA0 : 0x40;
            p[3] = 0xFF;
        }
    return image;
}

// The rooms: instance i starts at ((i * 37) mod 800, (i * 53) mod 600) and moves one pixel right a
// step, wrapping to 0 past 800.
GameDescription Game() {
    GameDescription game;
    game.name = "Sprites";
    game.width = kWidth;
    game.height = kHeight;
    GameSprite sprite;
    sprite.name = "spr_box";
    sprite.frames.push_back(SpriteImage());
    game.sprites.push_back(sprite);
    GameObject mover;
    mover.name = "obj_mover";
    mover.sprite = 0;
    mover.events.push_back({kStepEvent, 0, "x += 1; if (x > 800) x = 0;"});
    game.objects.push_back(mover);
    int id = 100001;
    for (int count : kCounts) {
        GameRoom room;
        room.name = "rm_sprites" + std::to_string(count);
        room.width = kWidth;
        room.height = kHeight;
        room.speed = 1000000; // far above what a frame takes, so the wait never sleeps
        room.colour = 0;
        for (int i = 0; i < count; ++i) {
            GameInstance instance;
            instance.x = (i * 37) % kWidth;
            instance.y = (i * 53) % kHeight;
            instance.object = 0;
            instance.id = id++;
            room.instances.push_back(instance);
        }
        game.rooms.push_back(room);
    }
    return game;
}

// Whether the back buffer holds any sprite pixel (the frame is cleared to black).
bool SomethingDrawn() {
    CD3DSurface* back = nullptr;
    Frame_State().GR_D3DDevice->GetBackBuffer(&back);
    if (!back) return false;
    std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
    Frame_State().GR_D3DDevice->ReadPixels(back, D3DRECT{0, 0, kWidth, kHeight},
                                           reinterpret_cast<uint8_t*>(pixels.data()), kWidth * 4);
    back->Release();
    size_t lit = 0;
    for (uint32_t p : pixels) lit += (p & 0xFFFFFFu) != 0;
    return lit > pixels.size() / 2;
}

// The CPU seconds of the process so far, all threads.
double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_FramesOfMovingSprites(benchmark::State& state) {
    static const bool started = Bench_StartGame(Game());
    if (!started) {
        state.SkipWithError("the game did not start");
        return;
    }
    const int room = state.range(0) == kCounts[0] ? 0 : 1;
    if (RoomEntry_State().Run_RoomIndex != room) GotoRoom(room);
    for (int i = 0; i < 10; ++i) { // warm-up: first uploads and shader builds
        Run_Frame();
        ProcessMessages();
    }
    if (!SomethingDrawn()) {
        state.SkipWithError("the sprites were not drawn");
        return;
    }
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        Run_Frame();
        ProcessMessages();
        Bench_WaitForGPU();
        if (MessagePump_State().Run_Running != 1) state.SkipWithError("the game stopped");
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_frame"] =
        (ProcessCpuSeconds() - cpuStart) * 1000.0 / static_cast<double>(state.iterations());
    state.counters["instances"] = kCounts[room];
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    state.SetLabel(renderer ? renderer : "?");
}
int Frames(int fallback) {
    const char* frames = std::getenv("FRAMES");
    const int n = frames ? std::atoi(frames) : 0;
    return n > 0 ? n : fallback;
}

BENCHMARK(BM_FramesOfMovingSprites)->Arg(kCounts[0])->Iterations(Frames(300))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FramesOfMovingSprites)->Arg(kCounts[1])->Iterations(Frames(100))->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
