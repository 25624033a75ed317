// Textured quads per second through the batcher and the GL device, offscreen, against the same quads
// drawn with one raw GL call per frame (the limit of this machine's GL).
#include "device/device.h"
#include "device/gl/gl_context.h"
#include "gpu_wait.h"
#include "graphics/3d/shutdown.h"
#include "graphics/frame/frame.h"
#include "runner/backends.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

struct Vertex24 {
    float x, y, z;
    uint32_t colour;
    float u, v;
};

// The corners of quad i, a 16 x 16 square on a grid that wraps around the screen.
void QuadCorners(int i, float& x1, float& y1, float& x2, float& y2) {
    x1 = static_cast<float>((i * 7) % (kWidth - 16));
    y1 = static_cast<float>((i * 13) % (kHeight - 16));
    x2 = x1 + 16.0f;
    y2 = y1 + 16.0f;
}

void WriteQuad(Vertex24* v, int i) {
    float x1, y1, x2, y2;
    QuadCorners(i, x1, y1, x2, y2);
    const uint32_t c = 0xFFFFFFFFu;
    v[0] = {x1, y1, 0, c, 0, 0};
    v[1] = {x2, y1, 0, c, 1, 0};
    v[2] = {x2, y2, 0, c, 1, 1};
    v[3] = {x2, y2, 0, c, 1, 1};
    v[4] = {x1, y2, 0, c, 0, 1};
    v[5] = {x1, y1, 0, c, 0, 0};
}

void BM_BatchedQuads(benchmark::State& state) {
    const int quads = static_cast<int>(state.range(0));
    Runner_RegisterBackends();
    D3D_SetBackend(D3DBackend::OpenGL);
    Window_State().Window_DeviceState.gameSize = WindowSize{kWidth, kHeight};
    if (!GR_D3D_Init(nullptr, kWidth, kHeight, 0)) {
        state.SkipWithError("no GL device");
        return;
    }
    const int texture = Texture_Create(16, 16, false);
    std::vector<uint32_t> texels(256, 0xFF80C0FFu);
    GR_D3D_UploadTexture(Texture_Get(texture), 0, 16, 16, reinterpret_cast<const uint8_t*>(texels.data()));
    int64_t draws = 0;
    for (auto _ : state) {
        Graphics::StartFrame();
        const int before = Frame_State().Graphics_VertexBatchCount;
        for (int i = 0; i < quads; ++i) {
            auto* v = static_cast<Vertex24*>(Graphics::AllocVerts(4, Texture_Get(texture), 24, 6));
            if (v) WriteQuad(v, i);
        }
        Graphics::Flush();
        draws += Frame_State().Graphics_VertexBatchCount - before;
        Graphics::EndFrame(true);
        Bench_WaitForGPU();
    }
    state.counters["quads/s"] = benchmark::Counter(static_cast<double>(quads), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["draws/frame"] = static_cast<double>(draws) / static_cast<double>(state.iterations());
    Texture_FreeAll();
    Display_Free();
    GR_D3D_Quit();
}

// The same quads, one glDrawArrays per frame into a framebuffer object, with a minimal textured shader
// and the engine's default blending.
void BM_RawGLQuads(benchmark::State& state) {
    const int quads = static_cast<int>(state.range(0));
    CGLContext* context = GL_CreateHeadlessContext();
    if (!context) {
        state.SkipWithError("no GL context");
        return;
    }
    GLuint fbo = 0, colour = 0, texture = 0, vao = 0, vbo = 0;
    glGenTextures(1, &colour);
    glBindTexture(GL_TEXTURE_2D, colour);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kWidth, kHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
    std::vector<uint32_t> texels(256, 0xFF80C0FFu);
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 16, 16, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
    const char* vs = "#version 330 core\n"
                     "layout(location = 0) in vec3 p;\n"
                     "layout(location = 2) in vec4 c;\n"
                     "layout(location = 3) in vec2 t;\n"
                     "out vec4 vc; out vec2 vt;\n"
                     "void main() { gl_Position = vec4(p.x / 320.0 - 1.0, 1.0 - p.y / 240.0, 0.0, 1.0); vc = c; vt = t; }\n";
    const char* fs = "#version 330 core\n"
                     "in vec4 vc; in vec2 vt; uniform sampler2D s; out vec4 o;\n"
                     "void main() { o = texture(s, vt) * vc; }\n";
    GLuint program = glCreateProgram();
    for (auto [kind, text] : {std::pair{GL_VERTEX_SHADER, vs}, std::pair{GL_FRAGMENT_SHADER, fs}}) {
        GLuint shader = glCreateShader(kind);
        glShaderSource(shader, 1, &text, nullptr);
        glCompileShader(shader);
        glAttachShader(program, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(program);
    glUseProgram(program);
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(2);
    glEnableVertexAttribArray(3);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 24, nullptr);
    glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 24, reinterpret_cast<const void*>(12));
    glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, 24, reinterpret_cast<const void*>(16));
    glViewport(0, 0, kWidth, kHeight);
    // Blended as the engine draws by default.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    std::vector<Vertex24> vertices(static_cast<size_t>(quads) * 6);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        for (int i = 0; i < quads; ++i)
            WriteQuad(&vertices[static_cast<size_t>(i) * 6], i);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex24)), vertices.data(),
                     GL_STREAM_DRAW);
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices.size()));
        uint32_t pixel = 0;
        glReadPixels(0, 0, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &pixel);
        benchmark::DoNotOptimize(pixel);
    }
    state.counters["quads/s"] = benchmark::Counter(static_cast<double>(quads), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["draws/frame"] = 1;
    glDeleteProgram(program);
    glDeleteBuffers(1, &vbo);
    glDeleteVertexArrays(1, &vao);
    glDeleteTextures(1, &texture);
    glDeleteTextures(1, &colour);
    glDeleteFramebuffers(1, &fbo);
    delete context;
}

} // namespace

BENCHMARK(BM_BatchedQuads)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawGLQuads)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
