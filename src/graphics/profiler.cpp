#include "graphics/profiler.h"

#include "core/console.h"
#include "core/convert.h"
#include "graphics/frame.h"
#include "platform/clock.h"

#include <climits>

namespace {

constexpr int kMaxMarkers = 1024;
constexpr int kStatisticsWarmUpFrames = 100;

struct ProfilerMarker {
    int64_t start;
    int64_t end;
    uint32_t colour;
    const char* name;
};

struct ProfilerState {
    bool started = false;
    ProfilerMarker markers[kMaxMarkers];
    int used = 0;
    int stack[kMaxMarkers];
    int depth = 0;
    uint64_t frameCounter = 0;
    float fpsReal = 0.0f;
    int32_t minFps = INT32_MAX;
    int32_t maxFps = INT32_MIN;
    int32_t averageFps = 30;
};

ProfilerState g_profiler;

} // namespace

void Profiler_Init() {
    g_profiler.started = false;
}

void Profiler_BeginFrame() {
    g_profiler.started = true;
    g_profiler.used = 0;
    g_profiler.depth = 0;
    Graphics_TextureSwapCount = 0;
    Graphics_VertexBatchCount = 0;
    Profiler_Push(0xFF000080u, "Total");
}

void Profiler_Push(uint32_t colour, const char* name) {
    if (!g_profiler.started) Profiler_BeginFrame();
    if (g_profiler.used >= kMaxMarkers) return;
    const int index = g_profiler.used++;
    g_profiler.markers[index] = ProfilerMarker{Timing_GetTime(), 0, colour, name};
    g_profiler.stack[g_profiler.depth++] = index;
}

void Profiler_Pop() {
    if (g_profiler.depth == 0) return;
    g_profiler.markers[g_profiler.stack[--g_profiler.depth]].end = Timing_GetTime();
}

// The overlay (bars, frame-rate line, title and the tap gestures that open it) needs the device and the
// mouse input, neither of which is built yet; the frame rate and its statistics are kept.
void Profiler_EndFrame() {
    if (!g_profiler.started) Profiler_BeginFrame();
    Profiler_Pop();
    const ProfilerMarker& total = g_profiler.markers[0];
    g_profiler.fpsReal = static_cast<float>(1000000.0 / static_cast<double>(total.end - total.start));
    const int32_t fps = X86_DoubleToInt32(g_profiler.fpsReal);
    g_profiler.depth = 0;
    if (g_profiler.frameCounter > kStatisticsWarmUpFrames) {
        if (fps < g_profiler.minFps) g_profiler.minFps = fps;
        if (fps > g_profiler.maxFps) g_profiler.maxFps = fps;
        g_profiler.averageFps = Wrap_Add32(g_profiler.averageFps, fps) / 2;
    }
    ++g_profiler.frameCounter;
    g_profiler.started = false;
}

float Profiler_GetFPSReal() {
    return g_profiler.fpsReal;
}

void Profiler_PrintFPS() {
    DebugConsole->Output("---------------------------------------------------------------\n");
    DebugConsole->Output("minFPS, maxFPS, avgFPS\n");
    DebugConsole->Output("%d, %d, %d\n", g_profiler.minFps, g_profiler.maxFps, g_profiler.averageFps);
}

namespace {

struct OverlaySaved {
    bool depthTest, fog, lighting;
    int cull;
    float view[16];
    float projection[16];
};
OverlaySaved g_overlay{};

} // namespace

// Screen space: no depth test, fog, lighting or culling, and a camera on the game-size screen with y
// growing downwards.
void Overlay_BeginDraw() {
    g_overlay.depthTest = GR_Settings.depthTestOn;
    g_overlay.fog = GR_Settings.fogOn;
    g_overlay.lighting = GR_Settings.lightingOn;
    g_overlay.cull = GR_Settings.engineCull;
    Graphics::GetMatrix(0, g_overlay.view);
    Graphics::GetMatrix(1, g_overlay.projection);
    g_RenderState.SetRenderState(RS_ZENABLE, 0);
    g_RenderState.SetRenderState(RS_FOGENABLE, 0);
    g_RenderState.SetRenderState(RS_LIGHTING, 0);
    g_RenderState.SetRenderState(RS_CULLMODE, 0);
    const float w = static_cast<float>(Window_GetGameWidth());
    const float h = static_cast<float>(Window_GetGameHeight());
    const float eye[3] = {w * 0.5f, h * 0.5f, -16000.0f};
    const float target[3] = {w * 0.5f, h * 0.5f, 0.0f};
    const float up[3] = {0.0f, 1.0f, 0.0f};
    float view[16];
    float projection[16];
    Matrix_BuildLookAt(view, eye, target, up);
    Matrix_BuildOrtho(projection, w, -h, 1.0f, 32000.0f);
    Graphics::SetMatrix(0, view);
    Graphics::SetMatrix(1, projection);
}

void Overlay_EndDraw() {
    g_RenderState.SetRenderState(RS_ZENABLE, g_overlay.depthTest ? 1u : 0u);
    g_RenderState.SetRenderState(RS_FOGENABLE, g_overlay.fog ? 1u : 0u);
    g_RenderState.SetRenderState(RS_LIGHTING, g_overlay.lighting ? 1u : 0u);
    g_RenderState.SetRenderState(RS_CULLMODE, static_cast<uint32_t>(g_overlay.cull));
    Graphics::SetMatrix(0, g_overlay.view);
    Graphics::SetMatrix(1, g_overlay.projection);
}
