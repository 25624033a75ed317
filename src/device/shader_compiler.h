// The shader compiler of the device layer: a vertex or pixel program in the high-level shading language
// of shader model 2 and 3 becomes GLSL 3.30 for the OpenGL backend, with the table of its constants.
//
// The source goes through glslang's HLSL front end to SPIR-V and through SPIRV-Cross to GLSL. The
// constants are laid out as the device's register files expect them: every top-level constant starts at
// a register of its own, an array element or a matrix column (a row for row_major) takes one register,
// and only the constants the program uses get registers, in declaration order. The backend feeds each
// GLSL uniform from those registers, so writes through the device's constant setters reach the program
// as they would reach the registers of the device the engine was written for.
//
// The translation runs in a child process, so that a program on which the front end fails hard ends that
// compile with an error, not the runner.
//
// Varyings are matched by semantic, every one as a vec4, so that a vertex program and a pixel program
// compiled apart link whatever sizes they gave the same semantic.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum D3DXREGISTER_SET : uint32_t { D3DXRS_BOOL = 0, D3DXRS_INT4 = 1, D3DXRS_FLOAT4 = 2, D3DXRS_SAMPLER = 3 };

enum D3DXPARAMETER_CLASS : uint32_t {
    D3DXPC_SCALAR = 0,
    D3DXPC_VECTOR = 1,
    D3DXPC_MATRIX_ROWS = 2,
    D3DXPC_MATRIX_COLUMNS = 3,
    D3DXPC_OBJECT = 4,
    D3DXPC_STRUCT = 5,
};

enum D3DXPARAMETER_TYPE : uint32_t {
    D3DXPT_VOID = 0,
    D3DXPT_BOOL = 1,
    D3DXPT_INT = 2,
    D3DXPT_FLOAT = 3,
    D3DXPT_SAMPLER = 10,
    D3DXPT_SAMPLER1D = 11,
    D3DXPT_SAMPLER2D = 12,
    D3DXPT_SAMPLER3D = 13,
    D3DXPT_SAMPLERCUBE = 14,
};

// One top-level constant. Rows and columns are the declared ones; elements is 1 for a constant that is
// not an array; bytes is 4 x rows x columns x elements (4 for a sampler).
struct D3DXCONSTANT_DESC {
    std::string Name;
    uint32_t RegisterSet;
    uint32_t RegisterIndex;
    uint32_t RegisterCount;
    uint32_t Class;
    uint32_t Type;
    uint32_t Rows;
    uint32_t Columns;
    uint32_t Elements;
    uint32_t StructMembers;
    uint32_t Bytes;
};

// The constants of one program, in table order.
class CD3DXConstantTable {
public:
    // Constant i under no parent; null past the last.
    const D3DXCONSTANT_DESC* GetConstant(uint32_t index) const {
        return index < constants.size() ? &constants[index] : nullptr;
    }
    void Release() { delete this; }

    std::vector<D3DXCONSTANT_DESC> constants;
};

// A GLSL uniform fed from registers: elements x (columns, or rows when rowMajor) registers from
// firstRegister, each giving its first rows (or columns) words. kind is D3DXPT_FLOAT, D3DXPT_INT or
// D3DXPT_BOOL (words sent as unsigned integers).
struct D3DShaderUniform {
    std::string name;
    uint32_t kind;
    uint32_t columns; // 1 for scalars and vectors
    uint32_t rows;    // components of a vector or of a matrix column
    bool rowMajor;
    uint32_t elements;
    uint32_t firstRegister;
};

// A sampler uniform bound to count consecutive stages from stage.
struct D3DShaderSampler {
    std::string name;
    uint32_t stage;
    uint32_t count;
};

// A vertex input: its GLSL location and the declaration usage and index that feed it.
struct D3DShaderInput {
    uint32_t location;
    uint8_t usage;
    uint8_t usageIndex;
};

// What compilation makes in place of byte code.
class CD3DXShaderCode {
public:
    void Release() { delete this; }

    bool pixel = false;
    std::string glsl;
    std::vector<D3DShaderInput> inputs;  // vertex programs
    std::vector<std::string> varyings;   // "dx_v_" names written (vertex) or read (pixel)
    std::vector<D3DShaderUniform> uniforms;
    std::vector<D3DShaderSampler> samplers;
};

// Registers of each file of a program.
constexpr uint32_t D3D_VertexConstantRegisters = 256;
constexpr uint32_t D3D_PixelConstantRegisters = 224;
constexpr uint32_t D3D_MaxVertexInputs = 16;

// Compiles length bytes of source (not zero-terminated) for entry point and profile ("vs_2_0",
// "vs_3_0", "ps_2_0", "ps_3_0"). On success code and table receive new objects and errors is empty. On
// failure the result is D3DERR_INVALIDCALL and errors holds the compiler's message. No macros, include
// handler or flags are taken: the engine passes none.
uint32_t D3DXCompileShader(const char* source, size_t length, const char* entry, const char* profile,
                           CD3DXShaderCode** code, std::string* errors, CD3DXConstantTable** table);

class CD3DDevice;
// The highest profiles the device's capabilities allow.
const char* D3DXGetVertexShaderProfile(const CD3DDevice* device);
const char* D3DXGetPixelShaderProfile(const CD3DDevice* device);
