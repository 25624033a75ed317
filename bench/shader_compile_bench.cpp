// What a shader costs at load: both programs of a typical pair (built-in matrices, a texture, a tint)
// compiled to GLSL, each in the child process the compiler runs in, with and without the GL device's
// own compile of the result.
#include "device/device.h"
#include "runner/backends.h"
#include "device/shader_compiler.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>

namespace {

const std::string kVertex = R"(
struct VSIn { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
struct VSOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
float4x4 qn_Matrices[5];
VSOut main(VSIn i) { VSOut o; o.pos = mul(qn_Matrices[4], i.pos); o.col = i.col; o.uv = i.uv; return o; }
)";

const std::string kFragment = R"(
sampler2D qn_BaseTexture;
float4 u_Tint;
float4 main(float4 col : COLOR0, float2 uv : TEXCOORD0) : COLOR0 { return tex2D(qn_BaseTexture, uv) * col * u_Tint; }
)";

void Compile(const std::string& source, const char* profile, CD3DDevice* device) {
    CD3DXShaderCode* code = nullptr;
    CD3DXConstantTable* table = nullptr;
    std::string errors;
    if (D3DXCompileShader(source.data(), source.size(), "main", profile, &code, &errors, &table) != D3D_OK) std::abort();
    if (device) {
        CD3DShader* shader = nullptr;
        if (code->pixel ? device->CreatePixelShader(code, &shader) : device->CreateVertexShader(code, &shader)) std::abort();
        shader->Release();
    }
    code->Release();
    table->Release();
}

// One shader: its vertex and its fragment program.
void BM_ShaderPairToGLSL(benchmark::State& state) {
    for (auto _ : state) {
        Compile(kVertex, "vs_3_0", nullptr);
        Compile(kFragment, "ps_3_0", nullptr);
    }
}
BENCHMARK(BM_ShaderPairToGLSL)->Unit(benchmark::kMillisecond);

void BM_ShaderPairOnTheGLDevice(benchmark::State& state) {
    setenv("LP_NUM_THREADS", "0", 0);
    Runner_RegisterBackends();
    CD3D* d3d = Direct3DCreate9(32);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = pp.BackBufferHeight = 64;
    pp.BackBufferFormat = D3DFMT_A8R8G8B8;
    CD3DDevice* device = nullptr;
    if (d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x42, &pp, &device) != D3D_OK) std::abort();
    for (auto _ : state) {
        Compile(kVertex, "vs_3_0", device);
        Compile(kFragment, "ps_3_0", device);
    }
    delete device;
    d3d->Release();
}
BENCHMARK(BM_ShaderPairOnTheGLDevice)->Unit(benchmark::kMillisecond);

} // namespace
