#include "graphics/frame/profiler.h"

#include "core/console.h"
#include "core/convert.h"
#include "data/general_info.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/vertex.h"
#include "graphics/image/embedded_images.h"
#include "io/input.h"
#include "platform/clock.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kMaxMarkers = 1024;
constexpr int kStatisticsWarmUpFrames = 100;
// The time the game's width spans in the bars: a fifteenth of a second.
constexpr double kBarSpanMicroseconds = 66666.664;
constexpr int kTriangleList = 4;

struct ProfilerMarker {
    int64_t start;
    int64_t end;
    uint32_t colour;
    const char* name;
    int depth; // markers open around it when it was opened
};

struct ProfilerState {
    bool started = false;
    ProfilerMarker markers[kMaxMarkers];
    int used = 0;
    int stack[kMaxMarkers];
    int depth = 0;
    // Pushes dropped because every record was in use: their pops are dropped too, so that they do not
    // close the markers around them.
    int dropped = 0;
    uint64_t frameCounter = 0;
    int64_t frameMicroseconds = 0;
    float fpsReal = 0.0f;
    int32_t fps = 0;
    int32_t minFps = INT32_MAX;
    int32_t maxFps = INT32_MIN;
    int32_t averageFps = 30;
};

ProfilerState g_profiler;
ProfilerHost g_host{};
TDeviceTexture* g_overlayFont = nullptr;

// ---- Taps

// Cells of the 10 x 10 grid, one tap each: the four corners clockwise from the top left, the top left
// again and the centre twice opens the overlay; the top corners twice and the bottom corners twice
// open its menu.
const GestureTap kOpenPattern[7] = {{0, 0, 1}, {9, 0, 1}, {9, 9, 1}, {0, 9, 1}, {0, 0, 1}, {5, 5, 1}, {5, 5, 1}};
const GestureTap kMenuPattern[8] = {{0, 0, 1}, {9, 0, 1}, {0, 0, 1}, {9, 0, 1},
                                    {0, 9, 1}, {9, 9, 1}, {0, 9, 1}, {9, 9, 1}};
int g_openProgress = 0;
int g_menuProgress = 0;

// The pointer in the game area; false when the window has no size to map from.
bool MappedPointer(int& x, int& y) {
    const WindowSize window = Window_State().Window_DeviceState.clientSize;
    if (window.width <= 0 || window.height <= 0) return false;
    int width = window.width, height = window.height;
    if (!g_host.gameArea || !g_host.gameArea(width, height)) {
        width = window.width;
        height = window.height;
    }
    x = static_cast<int>(static_cast<int64_t>(Input_State().IO_RawMouse.x[0]) * width / window.width);
    y = static_cast<int>(static_cast<int64_t>(Input_State().IO_RawMouse.y[0]) * height / window.height);
    return true;
}

// ---- Drawing

void FillRect(float x1, float y1, float x2, float y2, uint32_t colour) {
    auto* v = static_cast<Vertex16*>(Graphics::AllocVerts(kTriangleList, nullptr, 16, 6));
    if (!v) return;
    const float corners[6][2] = {{x1, y1}, {x2, y1}, {x2, y2}, {x2, y2}, {x1, y2}, {x1, y1}};
    for (const auto& c : corners)
        *v++ = Vertex16{c[0], c[1], 0.0f, colour};
}

const uint8_t* Glyph(unsigned char c) {
    if (c < kBuiltinFontFirst || c > kBuiltinFontLast) return nullptr;
    return BuiltinFont_GlyphTable[c - kBuiltinFontFirst];
}

void FormatV(char (&text)[2048], const char* format, va_list args) {
    std::vsnprintf(text, sizeof text, format, args);
}

} // namespace

void Profiler_SetHost(const ProfilerHost& host) {
    g_host = host;
}

void Profiler_Init() {
    g_profiler.started = false;
    if (!g_overlayFont) g_overlayFont = EmbeddedImage_CreateTexture(kEmbeddedImageFont);
}

void Profiler_ReleaseDevice() {
    if (g_overlayFont) GR_D3D_FreeTexture(g_overlayFont);
    g_overlayFont = nullptr;
}

void Profiler_BeginFrame() {
    g_profiler.started = true;
    g_profiler.used = 0;
    g_profiler.depth = 0;
    g_profiler.dropped = 0;
    Frame_State().Graphics_TextureSwapCount = 0;
    Frame_State().Graphics_VertexBatchCount = 0;
    Profiler_Push(0xFF000080u, "Total");
}

void Profiler_Push(uint32_t colour, const char* name) {
    if (!g_profiler.started) Profiler_BeginFrame();
    if (g_profiler.used >= kMaxMarkers) {
        ++g_profiler.dropped;
        return;
    }
    const int index = g_profiler.used++;
    g_profiler.markers[index] = ProfilerMarker{Timing_GetTime(), 0, colour, name, g_profiler.depth};
    g_profiler.stack[g_profiler.depth++] = index;
}

void Profiler_Pop() {
    if (g_profiler.dropped > 0) {
        --g_profiler.dropped;
        return;
    }
    if (g_profiler.depth == 0) return;
    g_profiler.markers[g_profiler.stack[--g_profiler.depth]].end = Timing_GetTime();
}

void Profiler_EndFrame() {
    if (!g_profiler.started) Profiler_BeginFrame();
    // Markers still open inside "Total" (or dropped) close with the frame.
    g_profiler.dropped = 0;
    while (g_profiler.depth > 1)
        Profiler_Pop();
    Profiler_Pop();
    const ProfilerMarker& total = g_profiler.markers[0];
    g_profiler.frameMicroseconds = total.end - total.start > 0 ? total.end - total.start : 1;
    g_profiler.fpsReal = static_cast<float>(1000000.0 / static_cast<double>(g_profiler.frameMicroseconds));
    const int32_t fps = X86_DoubleToInt32(g_profiler.fpsReal);
    g_profiler.fps = fps;
    g_profiler.depth = 0;
    if (g_profiler.frameCounter > kStatisticsWarmUpFrames) {
        if (fps < g_profiler.minFps) g_profiler.minFps = fps;
        if (fps > g_profiler.maxFps) g_profiler.maxFps = fps;
        g_profiler.averageFps = Wrap_Add32(g_profiler.averageFps, fps) / 2;
    }
    ++g_profiler.frameCounter;

    Debug_GestureUpdate();
    if (Profiler_State().Debug_Flags & (kDebugShowFPS | kDebugOverlayOpen)) {
        Overlay_BeginDraw();
        if (Profiler_State().Debug_Flags & kDebugShowFPS) {
            Profiler_DrawBars();
            Overlay_PrintfOutlined(0, 0, 0xFF000000u, 0xFFFFFFFFu, "%dfps\t\t(%d)(%d)", fps,
                                   Frame_State().Graphics_TextureSwapCount,
                                   Frame_State().Graphics_VertexBatchCount);
        }
        if (Profiler_State().Debug_Flags & kDebugOverlayOpen) Overlay_DrawTitle();
        Graphics::Flush();
        Overlay_EndDraw();
    }
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

// ---- The overlay

float Overlay_DrawText(float x, float y, float xscale, float yscale, uint32_t colour, const char* text,
                       int maxChars) {
    float advance = 0;
    if (!text) return advance;
    for (int n = 0; text[n] && n < maxChars; ++n) {
        const unsigned char c = static_cast<unsigned char>(text[n]);
        if (c == '\t') continue;
        const uint8_t* g = Glyph(c);
        if (!g) continue;
        const float width = g[2] * xscale;
        if (c != ' ') {
            auto* v = static_cast<Vertex24*>(Graphics::AllocVerts(kTriangleList, g_overlayFont, 24, 6));
            if (v) {
                const float x1 = x + advance, y1 = y, x2 = x1 + width, y2 = y + g[3] * yscale;
                const float u1 = g[0] / 256.0f, v1 = g[1] / 128.0f;
                const float u2 = (g[0] + g[2]) / 256.0f, v2 = (g[1] + g[3]) / 128.0f;
                const Vertex24 quad[6] = {{x1, y1, 0, colour, u1, v1}, {x2, y1, 0, colour, u2, v1},
                                          {x2, y2, 0, colour, u2, v2}, {x2, y2, 0, colour, u2, v2},
                                          {x1, y2, 0, colour, u1, v2}, {x1, y1, 0, colour, u1, v1}};
                for (const Vertex24& q : quad)
                    *v++ = q;
            }
        }
        advance += width;
    }
    return advance;
}

int Overlay_TextWidth(const char* text) {
    int width = 0;
    for (const char* p = text; p && *p; ++p)
        if (const uint8_t* g = *p == '\t' ? nullptr : Glyph(static_cast<unsigned char>(*p))) width += g[2];
    return width;
}

void Overlay_Printf(float x, float y, uint32_t colour, const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    FormatV(text, format, args);
    va_end(args);
    Overlay_DrawText(x, y, 1, 1, colour, text, INT_MAX);
}

void Overlay_PrintfOutlined(float x, float y, uint32_t outline, uint32_t colour, const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    FormatV(text, format, args);
    va_end(args);
    const float around[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 2}};
    for (const auto& at : around)
        Overlay_DrawText(at[0], at[1], 1, 1, outline, text, INT_MAX);
    Overlay_DrawText(x, y, 1, 1, colour, text, INT_MAX);
}

void Overlay_PrintfCentred(float y, int width, uint32_t colour, const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    FormatV(text, format, args);
    va_end(args);
    const float x = static_cast<float>((width + 1 - Overlay_TextWidth(text)) / 2);
    Overlay_DrawText(x, y, 1, 1, colour, text, INT_MAX);
}

void Overlay_DrawTitle() {
    const int width = Window_GetGameWidth();
    FillRect(0, 0, static_cast<float>(width), 100, 0xC0000000u);
    const bool marked = g_host.objectsMarked && g_host.objectsMarked();
    Overlay_PrintfCentred(40, width, 0xFFFFFFFFu, "Zebo Games Runner v%d.%d(%d)[%s]%c", 1, 2, 0, "r0",
                          marked ? '*' : ' ');
    if (GeneralInfo_State().g_GeneralInfo.present)
        Overlay_PrintfCentred(
            54, width, 0xFFFFFFFFu, "Game : %s v%d.%d",
            GeneralInfo_State().g_GeneralInfo.fileName ? GeneralInfo_State().g_GeneralInfo.fileName : "",
            GeneralInfo_State().g_Options.versionMajor, GeneralInfo_State().g_Options.versionMinor);
    Overlay_Printf(static_cast<float>(width - 80), 80, 0xFFFFFFFFu, "CLOSE");
    if (Profiler_State().Debug_Flags & kDebugMenuOpen)
        Overlay_Printf(10, 10, 0xFFFFFFFFu, "%s",
                       (Profiler_State().Debug_Flags & kDebugShowFPS) ? "FPS : ON" : "FPS : OFF");
}

// The white band spans the frame; below it each marker is a bar of its own colour (given with red and
// blue the other way round), one row further down per marker open around it.
void Profiler_DrawBars() {
    if (g_host.paused && g_host.paused()) return;
    const double scale = Window_GetGameWidth() / kBarSpanMicroseconds;
    const int64_t start = g_profiler.markers[0].start;
    const auto x = [&](int64_t t) { return static_cast<float>(static_cast<double>(t - start) * scale); };
    FillRect(0, 10, static_cast<float>(g_profiler.frameMicroseconds * scale), 20, 0xFFFFFFFFu);
    for (int i = 0; i < g_profiler.used; ++i) {
        const ProfilerMarker& m = g_profiler.markers[i];
        const uint32_t c = m.colour;
        const uint32_t device = (c & 0xFF00FF00u) | (c & 0xFFu) << 16 | (c >> 16 & 0xFFu);
        const float top = 20.0f + 4.0f * static_cast<float>(m.depth);
        FillRect(x(m.start), top, x(m.end > m.start ? m.end : m.start), top + 4.0f, device);
    }
}

// ---- Taps

bool Debug_GestureMatch(int x, int y, int& progress, const GestureTap* pattern, int length) {
    const int gameWidth = Window_GetGameWidth(), gameHeight = Window_GetGameHeight();
    if (gameWidth <= 0 || gameHeight <= 0 || progress < 0 || progress >= length) return false;
    const double column = static_cast<double>(x) / gameWidth * 10.0;
    const double row = static_cast<double>(y) / gameHeight * 10.0;
    if (!(column >= 0 && column < 10 && row >= 0 && row < 10)) return false;
    const GestureTap& expected = pattern[progress];
    const int cellColumn = static_cast<int>(column), cellRow = static_cast<int>(row);
    if (std::abs(cellColumn - expected.column) <= expected.tolerance &&
        std::abs(cellRow - expected.row) <= expected.tolerance) {
        if (++progress < length) return false;
        progress = 0;
        return true;
    }
    progress = 0;
    return false;
}

bool Debug_GestureUpdate() {
    int x = 0, y = 0;
    if (!IO_MouseCheckPressed(1, 0) || !MappedPointer(x, y)) return false;
    if (!(Profiler_State().Debug_Flags & kDebugOverlayOpen)) {
        if (!Debug_GestureMatch(x, y, g_openProgress, kOpenPattern, 7)) return false;
        Profiler_State().Debug_Flags |= kDebugOverlayOpen;
        return true;
    }
    const int gameWidth = Window_GetGameWidth();
    if (x > gameWidth - 80 && x < gameWidth - 16 && y >= 81 && y <= 95)
        Profiler_State().Debug_Flags &= ~(kDebugOverlayOpen | kDebugMenuOpen);
    if (Profiler_State().Debug_Flags & kDebugMenuOpen) {
        if (x >= 11 && x <= 73 && y >= 11 && y <= 25) Profiler_State().Debug_Flags ^= kDebugShowFPS;
        return false;
    }
    if (!Debug_GestureMatch(x, y, g_menuProgress, kMenuPattern, 8)) return false;
    Profiler_State().Debug_Flags |= kDebugMenuOpen;
    return true;
}

void Debug_GestureReset() {
    g_openProgress = 0;
    g_menuProgress = 0;
    Profiler_State().Debug_Flags = 0;
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
    g_overlay.depthTest = RenderState_State().GR_Settings.depthTestOn;
    g_overlay.fog = RenderState_State().GR_Settings.fogOn;
    g_overlay.lighting = RenderState_State().GR_Settings.lightingOn;
    g_overlay.cull = RenderState_State().GR_Settings.engineCull;
    Graphics::GetMatrix(0, g_overlay.view);
    Graphics::GetMatrix(1, g_overlay.projection);
    RenderState_State().g_RenderState.SetRenderState(RS_ZENABLE, 0);
    RenderState_State().g_RenderState.SetRenderState(RS_FOGENABLE, 0);
    RenderState_State().g_RenderState.SetRenderState(RS_LIGHTING, 0);
    RenderState_State().g_RenderState.SetRenderState(RS_CULLMODE, 0);
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
    RenderState_State().g_RenderState.SetRenderState(RS_ZENABLE, g_overlay.depthTest ? 1u : 0u);
    RenderState_State().g_RenderState.SetRenderState(RS_FOGENABLE, g_overlay.fog ? 1u : 0u);
    RenderState_State().g_RenderState.SetRenderState(RS_LIGHTING, g_overlay.lighting ? 1u : 0u);
    RenderState_State().g_RenderState.SetRenderState(RS_CULLMODE, static_cast<uint32_t>(g_overlay.cull));
    Graphics::SetMatrix(0, g_overlay.view);
    Graphics::SetMatrix(1, g_overlay.projection);
}
