// Shaders: the table loaded from the "SHDR" chunk and compiled at load, each shader's uniforms, the
// shader requested and applied on the device, the built-in uniforms written at every apply (matrices,
// lights, ambient colour, lighting switch), and the uniform setters. The shader whose compile error is
// being reported is the error report's (script/vm/vm_error.h).
#pragma once

#include "data/data_view.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CD3DShader;
class CD3DXConstantTable;
struct D3DXCONSTANT_DESC;

// One top-level constant of either program; vertex constants come first.
struct TShaderUniform {
    std::string name;
    const D3DXCONSTANT_DESC* handle;
    uint8_t vertexStage; // 1 vertex program, 0 fragment program
    uint32_t registerIndex;
    uint32_t registerCount;
    uint32_t cls;
    uint32_t type;
    uint32_t bytes;
    uint32_t columns;
    uint32_t elements;
};

struct TShaderCompiled {
    CD3DShader* vertexShader = nullptr;
    CD3DXConstantTable* vertexTable = nullptr;
    CD3DShader* pixelShader = nullptr;
    CD3DXConstantTable* pixelTable = nullptr;
    std::vector<TShaderUniform> uniforms;
};

// The built-in slots of a shader, in order.
enum ShaderSlot {
    SLOT_BASE_TEXTURE = 0, // a sampler register
    SLOT_MATRICES,         // the others are uniform handles
    SLOT_LIGHTS_DIRECTION,
    SLOT_LIGHTS_POSRANGE,
    SLOT_LIGHTS_COLOUR,
    SLOT_AMBIENT_COLOUR,
    SLOT_LIGHTING_ENABLED,
    SLOT_COUNT
};

struct TShader {
    int32_t id = 0;
    std::string name;
    uint32_t type = 0;
    std::optional<std::string> sources[8]; // four (vertex, fragment) pairs; the third is compiled
    // Empty while the shader is usable.
    std::optional<std::string> errorText;
    uint8_t failedStage = 0; // 0 vertex program, 1 fragment program
    std::vector<std::string> attributes;
    TShaderCompiled* compiled = nullptr;
    int32_t slots[SLOT_COUNT] = {-1, -1, -1, -1, -1, -1, -1};
};

// The light data the built-in uniforms carry, written by the 3D layer: per light a direction
// (-dx, -dy, -dz, 1) or zeros, a position and range or zeros, a colour (r, g, b, 1) / 255 and an enable
// factor; the ambient colour (red in the low byte) and the lighting switch.
struct ShaderLightData {
    float direction[8][4] = {};
    float posRange[8][4] = {};
    float colour[8][4] = {};
    float enabled[8] = {};
    uint32_t ambient = 0;
    uint8_t lightingEnabled = 0;
};
// The lights the shaders see, reached through Shader_State().
struct ShaderState {
    ShaderLightData GR_Lights;
};

inline ShaderState& Shader_State() {
    static ShaderState state;
    return state;
}

// The "SHDR" chunk loader: every present record becomes a shader, compiled at once. False when a
// record, or a text it names, lies outside the chunk or the file.
bool Shader_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
TShader* Shader_Create(const char* name, uint32_t type, const char* const sources[8],
                       const std::vector<std::string>& attributes);
bool Shader_Compile(TShader* shader);
void Shader_BuildUniformTable(TShader* shader);
int Shader_FindUniform(const TShader* shader, const char* name);
int Shader_FindSampler(const TShader* shader, const char* name);
void Shader_Request(TShader* shader);
void Shader_Apply();
void Shader_SetDeviceShader(TShader* shader);
// n values (1 to 4) of one register; false when the handle names no uniform of the applied shader.
bool Shader_SetUniformF(int handle, int n, double a, double b, double c, double d);
bool Shader_SetUniformI(int handle, int n, double a, double b, double c, double d);
bool Shader_SetUniformB(int handle, int n, double a, double b, double c, double d);
// Four values per register, as many registers as the values fill and the uniform holds.
bool Shader_SetUniformFArray(int handle, const std::vector<float>& values);
bool Shader_SetUniformIArray(int handle, const std::vector<int32_t>& values);
// count 4 x 4 matrices (16 floats each).
bool Shader_SetUniformMatrix(int handle, int count, const float* values);
void Shader_FreeCompiled(TShaderCompiled* compiled);

int Shader_Count();
TShader* Shader_Get(int id);
TShader* Shader_Requested();
TShader* Shader_Applied();
bool Shader_ChangePending();
// Frees every shader and forgets the requested and applied ones (a new game is loaded, and at the end).
void Shader_Clear();
