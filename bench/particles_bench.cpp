// Frames of 10,000 live particles: one system updated (ageing, motion with gravity and wiggles, colour and
// alpha over the life) and drawn as small disks into an 800 x 600 frame on the GL device, offscreen.
// Reports frames per second of update and drawing together, and the share of the update alone. Every
// frame ends with a one-pixel read of the back buffer so that the GL work is finished inside the frame.
#include "core/random.h"
#include "device/device.h"
#include "gpu_wait.h"
#include "graphics/3d/shutdown.h"
#include "graphics/draw/draw.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/texture.h"
#include "graphics/image/embedded_images.h"
#include "graphics/particles/particles.h"
#include "runner/backends.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kParticles = 10000;

// Particles that live far longer than the run, spread over the frame, moving and fading as games
// usually make them.
int MakeSystem() {
    const int type = ParticleType_Create();
    ParticleType_Shape(type, 1);
    ParticleType_Size(type, 0.1f, 0.3f, 0, 0.05f);
    ParticleType_Life(type, 1000000, 1000000);
    ParticleType_Speed(type, 0.5f, 2, 0, 0.2f);
    ParticleType_Direction(type, 0, 360, 1, 10);
    ParticleType_Gravity(type, 0.01f, 270);
    ParticleType_Color2(type, 0x40C0FF, 0xFF4020);
    ParticleType_Alpha2(type, 1, 0.3f);
    const int system = ParticleSystem_Create();
    const int emitter = ParticleEmitter_Create(system);
    ParticleEmitter_Region(system, emitter, 0, kWidth, 0, kHeight, 0, 0);
    ParticleEmitter_Burst(system, emitter, type, kParticles);
    return system;
}

void BM_ParticleFrames(benchmark::State& state) {
    Runner_RegisterBackends();
    D3D_SetBackend(D3DBackend::OpenGL);
    Window_State().Window_DeviceState.gameSize = WindowSize{kWidth, kHeight};
    if (!GR_D3D_Init(nullptr, kWidth, kHeight, 0)) {
        state.SkipWithError("no GL device");
        return;
    }
    uint32_t size = 0;
    const uint8_t* table = EmbeddedImage_BuiltinTable(size);
    EmbeddedImage_SetTable(table, size);
    Particle_Init();
    Particle_CreateTextures();
    Random_SetSeed(1);
    const int system = MakeSystem();
    double updateSeconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        ParticleSystem_Update(system);
        updateSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Graphics::StartFrame();
        GR_Draw_Clear(0xFF000000u);
        ParticleSystem_DrawIt(system);
        Graphics::EndFrame(true);
        Bench_WaitForGPU();
    }
    if (ParticleSystem_ParticleCount(system) != kParticles) state.SkipWithError("particles died");
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["update_ms"] = updateSeconds * 1000.0 / static_cast<double>(state.iterations());
    state.counters["particles"] = kParticles;
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    state.SetLabel(renderer ? renderer : "?");
    Particle_Free();
    Texture_FreeAll();
    Display_Free();
    GR_D3D_Quit();
}
BENCHMARK(BM_ParticleFrames)->Iterations(200)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
