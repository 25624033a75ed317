#include "graphics/frame/shader.h"

#include "core/console.h"
#include "core/convert.h"
#include "core/text.h"
#include "data/container.h"
#include "device/device.h"
#include "device/shader_compiler.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/transform.h"
#include "script/vm/vm_error.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

std::vector<std::unique_ptr<TShader>> g_shaders;
TShader* g_requested = nullptr;
TShader* g_applied = nullptr;
bool g_pending = false;

constexpr const char* kCompileFailed = "D3DXCompile failed - result\n";
constexpr int kCompiledPair = 2; // the third (vertex, fragment) pair

// A record's fixed part: name, type, eight sources and the attribute count.
constexpr uint32_t kRecordFixed = 0x2C;

bool ReadText(const CDataView& file, uint64_t at, std::optional<std::string>* out) {
    const char* text = nullptr;
    if (!file.ReadText(file.WordAt(at), &text)) return false;
    if (text) *out = text;
    else out->reset();
    return true;
}

bool LoadRecord(const CDataView& file, const IFFChunk& chunk, uint32_t at) {
    if (!chunk.Holds(at, kRecordFixed)) return false;
    std::optional<std::string> name;
    std::optional<std::string> sources[8];
    if (!ReadText(file, at, &name)) return false;
    for (int i = 0; i < 8; ++i)
        if (!ReadText(file, at + 8 + 4 * i, &sources[i])) return false;
    const uint32_t count = file.WordAt(at + 0x28);
    if (!chunk.Holds(static_cast<uint64_t>(at) + kRecordFixed, static_cast<uint64_t>(count) * 4)) return false;
    std::vector<std::string> attributes;
    for (uint32_t i = 0; i < count; ++i) {
        std::optional<std::string> attribute;
        if (!ReadText(file, at + kRecordFixed + 4ull * i, &attribute)) return false;
        attributes.push_back(attribute.value_or(""));
    }
    const char* texts[8];
    for (int i = 0; i < 8; ++i)
        texts[i] = sources[i] ? sources[i]->c_str() : nullptr;
    TShader* shader = Shader_Create(name ? name->c_str() : nullptr, file.WordAt(at + 4), texts, attributes);
    if (!Shader_Compile(shader) && !shader->errorText) {
        DebugConsole->Output("Invalid shader (is it marked as incompatible type for this target?) \"%s\":\n",
                             Text_Escaped(shader->name.c_str()).c_str());
        shader->errorText = "Invalid shader";
    }
    return true;
}

// Compiles one program of the pair; on failure the shader gets its error text and failed stage.
bool CompileStage(TShader* shader, TShaderCompiled* compiled, bool pixel) {
    const std::string& source = *shader->sources[kCompiledPair * 2 + (pixel ? 1 : 0)];
    const char* profile = pixel ? D3DXGetPixelShaderProfile(Frame_State().GR_D3DDevice)
                                : D3DXGetVertexShaderProfile(Frame_State().GR_D3DDevice);
    if (!profile) profile = pixel ? "ps_3_0" : "vs_3_0";
    CD3DXShaderCode* code = nullptr;
    CD3DXConstantTable* table = nullptr;
    std::string message;
    const uint32_t result = D3DXCompileShader(source.data(), source.size(), "main", profile, &code, &message, &table);
    (pixel ? compiled->pixelTable : compiled->vertexTable) = table;
    shader->failedStage = pixel ? 1 : 0;
    if (!message.empty()) {
        DebugConsole->Output(pixel ? "Error in fragment shader \"%s\"\n\n %s\n" : "Error in vertex shader \"%s\":\n\n %s\n",
                             Text_Escaped(shader->name.c_str()).c_str(), message.c_str());
        shader->errorText = message;
        if (pixel) {
            Shader_CompileState = ShaderCompileStateRecord{shader->name.c_str(), 1};
            Code_Error_Report(message.c_str(), true);
            Shader_CompileState.name = nullptr;
        }
        if (code) code->Release();
        return false;
    }
    CD3DShader* made = nullptr;
    if (D3D_Failed(result) || !code ||
        (Frame_State().GR_D3DDevice &&
         D3D_Failed(pixel ? Frame_State().GR_D3DDevice->CreatePixelShader(code, &made)
                          : Frame_State().GR_D3DDevice->CreateVertexShader(code, &made)))) {
        shader->errorText = kCompileFailed;
        if (code) code->Release();
        return false;
    }
    code->Release();
    (pixel ? compiled->pixelShader : compiled->vertexShader) = made;
    return true;
}

// The applied shader's entry of a handle, or null.
const TShaderUniform* AppliedUniform(int handle) {
    if (handle < 0 || !g_applied || !g_applied->compiled) return nullptr;
    const auto& uniforms = g_applied->compiled->uniforms;
    return static_cast<size_t>(handle) < uniforms.size() ? &uniforms[static_cast<size_t>(handle)] : nullptr;
}

// Writes the given values, four to a register and the last register filled with zeros, into as many of
// the entry's registers as they fill. Each value is converted to the type the uniform was declared
// with: the device's integer and boolean register files are one with the float registers here.
bool WriteUniform(int handle, const double* values, size_t count) {
    const TShaderUniform* u = AppliedUniform(handle);
    if (!u) return false;
    if (!Frame_State().GR_D3DDevice || u->type >= D3DXPT_SAMPLER) return true;
    const uint32_t registers = static_cast<uint32_t>(std::min<size_t>((count + 3) / 4, u->registerCount));
    if (registers == 0) return true;
    std::vector<uint32_t> words(static_cast<size_t>(registers) * 4, 0);
    const bool integer = u->type == D3DXPT_INT || u->type == D3DXPT_BOOL;
    for (size_t i = 0; i < std::min<size_t>(count, words.size()); ++i) {
        if (integer) {
            words[i] = static_cast<uint32_t>(X86_DoubleToInt32(values[i]));
        } else {
            const float f = X86_DoubleToFloat(values[i]);
            std::memcpy(&words[i], &f, sizeof f);
        }
    }
    const bool vertex = u->vertexStage != 0;
    if (integer) {
        const auto* data = reinterpret_cast<const int32_t*>(words.data());
        if (vertex)
            Frame_State().GR_D3DDevice->SetVertexShaderConstantI(u->registerIndex, data, registers);
        else
            Frame_State().GR_D3DDevice->SetPixelShaderConstantI(u->registerIndex, data, registers);
    } else {
        const auto* data = reinterpret_cast<const float*>(words.data());
        if (vertex)
            Frame_State().GR_D3DDevice->SetVertexShaderConstantF(u->registerIndex, data, registers);
        else
            Frame_State().GR_D3DDevice->SetPixelShaderConstantF(u->registerIndex, data, registers);
    }
    return true;
}

// One register of n values (1 to 4) given as doubles, narrowed as the setter's kind narrows them.
bool WriteVector(int handle, int n, const double (&values)[4], bool truncate) {
    double v[4] = {};
    for (int i = 0; i < std::clamp(n, 0, 4); ++i)
        v[i] = truncate ? static_cast<double>(X86_DoubleToInt32(values[i])) : static_cast<double>(X86_DoubleToFloat(values[i]));
    return WriteUniform(handle, v, 4);
}

template <typename T> bool WriteArray(int handle, const T* values, size_t count) {
    std::vector<double> v(values, values + count);
    return WriteUniform(handle, v.data(), v.size());
}

int Find(const TShader* shader, const char* name, bool sampler) {
    if (!shader || !shader->compiled || !name) return -1;
    const auto& uniforms = shader->compiled->uniforms;
    const std::string prefixed = std::string("_") + name;
    for (const std::string* wanted : {&prefixed, static_cast<const std::string*>(nullptr)}) {
        for (size_t i = 0; i < uniforms.size(); ++i) {
            if (wanted ? uniforms[i].name != *wanted : uniforms[i].name != name) continue;
            return sampler ? static_cast<int>(uniforms[i].registerIndex) : static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace

bool Shader_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == 0) continue;
        if (!LoadRecord(file, chunk, list[i])) {
            return Load_Fail("Chunk SHDR: shader %d is damaged (its record or a text it names lies outside the "
                             "chunk or the file)",
                             static_cast<int>(i));
        }
    }
    return true;
}

TShader* Shader_Create(const char* name, uint32_t type, const char* const sources[8],
                       const std::vector<std::string>& attributes) {
    auto shader = std::make_unique<TShader>();
    shader->id = static_cast<int32_t>(g_shaders.size());
    shader->name = name ? name : "";
    shader->type = type;
    for (int i = 0; i < 8; ++i)
        if (sources[i]) shader->sources[i] = sources[i];
    shader->attributes = attributes;
    g_shaders.push_back(std::move(shader));
    return g_shaders.back().get();
}

bool Shader_Compile(TShader* shader) {
    const auto& vertex = shader->sources[kCompiledPair * 2];
    const auto& fragment = shader->sources[kCompiledPair * 2 + 1];
    if (!vertex || vertex->empty() || !fragment || fragment->empty()) return false;
    auto* compiled = new TShaderCompiled();
    if (!CompileStage(shader, compiled, false) || !CompileStage(shader, compiled, true)) {
        Shader_FreeCompiled(compiled);
        return false;
    }
    shader->compiled = compiled;
    Shader_BuildUniformTable(shader);
    return true;
}

void Shader_BuildUniformTable(TShader* shader) {
    TShaderCompiled* compiled = shader->compiled;
    if (!compiled) return;
    compiled->uniforms.clear();
    for (const CD3DXConstantTable* table : {compiled->vertexTable, compiled->pixelTable}) {
        if (!table) continue;
        for (uint32_t i = 0; const D3DXCONSTANT_DESC* d = table->GetConstant(i); ++i) {
            compiled->uniforms.push_back(TShaderUniform{d->Name, d, table == compiled->vertexTable ? uint8_t{1} : uint8_t{0},
                                                        d->RegisterIndex, d->RegisterCount, d->Class, d->Type,
                                                        d->Bytes, d->Columns, d->Elements});
        }
    }
    shader->slots[SLOT_BASE_TEXTURE] = Shader_FindSampler(shader, "qn_BaseTexture");
    static const char* const kNames[] = {"qn_Matrices", "qn_Lights_Direction", "qn_Lights_PosRange",
                                         "qn_Lights_Colour", "qn_AmbientColour", "qn_LightingEnabled"};
    for (int i = 0; i < 6; ++i)
        shader->slots[SLOT_MATRICES + i] = Shader_FindUniform(shader, kNames[i]);
}

int Shader_FindUniform(const TShader* shader, const char* name) {
    return Find(shader, name, false);
}

int Shader_FindSampler(const TShader* shader, const char* name) {
    return Find(shader, name, true);
}

void Shader_Request(TShader* shader) {
    if (shader == g_requested) return;
    g_requested = shader;
    g_pending = shader != g_applied;
}

void Shader_Apply() {
    Graphics::Flush();
    g_pending = false;
    g_applied = g_requested;
    Shader_SetDeviceShader(g_applied);
    if (!g_applied) {
        Batcher_State().GR_BaseTextureStage = 0;
        return;
    }
    float matrices[5 * 16];
    for (int i = 0; i < 5; ++i)
        Graphics::GetMatrix(i, matrices + 16 * i);
    Shader_SetUniformMatrix(g_applied->slots[SLOT_MATRICES], 5, matrices);
    Batcher_State().GR_BaseTextureStage = g_applied->slots[SLOT_BASE_TEXTURE];
    float colours[8][4];
    for (int light = 0; light < 8; ++light)
        for (int c = 0; c < 4; ++c)
            colours[light][c] =
                Shader_State().GR_Lights.colour[light][c] * Shader_State().GR_Lights.enabled[light];
    float ambient[4];
    for (int c = 0; c < 4; ++c)
        ambient[c] = static_cast<float>((Shader_State().GR_Lights.ambient >> (8 * c)) & 0xFFu) / 255.0f;
    auto table = [](const float (&rows)[8][4]) { return std::vector<float>(&rows[0][0], &rows[0][0] + 32); };
    Shader_SetUniformFArray(g_applied->slots[SLOT_AMBIENT_COLOUR], std::vector<float>(ambient, ambient + 4));
    Shader_SetUniformFArray(g_applied->slots[SLOT_LIGHTS_DIRECTION],
                            table(Shader_State().GR_Lights.direction));
    Shader_SetUniformFArray(g_applied->slots[SLOT_LIGHTS_COLOUR], table(colours));
    Shader_SetUniformFArray(g_applied->slots[SLOT_LIGHTS_POSRANGE], table(Shader_State().GR_Lights.posRange));
    Shader_SetUniformB(g_applied->slots[SLOT_LIGHTING_ENABLED], 1, Shader_State().GR_Lights.lightingEnabled,
                       0, 0, 0);
}

void Shader_SetDeviceShader(TShader* shader) {
    if (shader && shader->errorText) {
        Shader_CompileState = ShaderCompileStateRecord{shader->name.c_str(), shader->failedStage};
        Code_Error_Report(shader->errorText->c_str(), true);
        Shader_CompileState.name = nullptr;
        return;
    }
    if (!Frame_State().GR_D3DDevice) return;
    const TShaderCompiled* compiled = shader ? shader->compiled : nullptr;
    Frame_State().GR_D3DDevice->SetVertexShader(compiled ? compiled->vertexShader : nullptr);
    Frame_State().GR_D3DDevice->SetPixelShader(compiled ? compiled->pixelShader : nullptr);
}

bool Shader_SetUniformF(int handle, int n, double a, double b, double c, double d) {
    return WriteVector(handle, n, {a, b, c, d}, false);
}

bool Shader_SetUniformI(int handle, int n, double a, double b, double c, double d) {
    return WriteVector(handle, n, {a, b, c, d}, true);
}

bool Shader_SetUniformB(int handle, int n, double a, double b, double c, double d) {
    return WriteVector(handle, n, {a, b, c, d}, true);
}

bool Shader_SetUniformFArray(int handle, const std::vector<float>& values) {
    return WriteArray(handle, values.data(), values.size());
}

bool Shader_SetUniformIArray(int handle, const std::vector<int32_t>& values) {
    return WriteArray(handle, values.data(), values.size());
}

bool Shader_SetUniformMatrix(int handle, int count, const float* values) {
    return WriteArray(handle, values, static_cast<size_t>(std::max(count, 0)) * 16);
}

void Shader_FreeCompiled(TShaderCompiled* compiled) {
    if (!compiled) return;
    if (compiled->vertexShader) compiled->vertexShader->Release();
    if (compiled->pixelShader) compiled->pixelShader->Release();
    if (compiled->vertexTable) compiled->vertexTable->Release();
    if (compiled->pixelTable) compiled->pixelTable->Release();
    delete compiled;
}

int Shader_Count() {
    return static_cast<int>(g_shaders.size());
}

TShader* Shader_Get(int id) {
    return id >= 0 && id < Shader_Count() ? g_shaders[static_cast<size_t>(id)].get() : nullptr;
}

TShader* Shader_Requested() {
    return g_requested;
}

TShader* Shader_Applied() {
    return g_applied;
}

bool Shader_ChangePending() {
    return g_pending;
}

void Shader_Clear() {
    if (g_applied && Frame_State().GR_D3DDevice) {
        Frame_State().GR_D3DDevice->SetVertexShader(nullptr);
        Frame_State().GR_D3DDevice->SetPixelShader(nullptr);
    }
    g_requested = g_applied = nullptr;
    g_pending = false;
    Batcher_State().GR_BaseTextureStage = 0;
    for (auto& shader : g_shaders)
        Shader_FreeCompiled(shader->compiled);
    g_shaders.clear();
}
