#include "device/shader_compiler.h"

#include "device/d3d_types.h"
#include "device/device.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/MachineIndependent/localintermediate.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv_glsl.hpp>

#include <chrono>
#include <algorithm>
#include <climits>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <exception>
#include <memory>
#include <sstream>

namespace {

using spirv_cross::CompilerGLSL;
using spirv_cross::SPIRType;

// Thrown for a program the translation refuses; its text is the compiler's message.
struct CompileError : std::exception {
    explicit CompileError(std::string text) : message(std::move(text)) {}
    const char* what() const noexcept override { return message.c_str(); }
    std::string message;
};

struct Profile {
    bool pixel;
    uint32_t registers;
};

bool ParseProfile(const char* profile, Profile* out) {
    if (!profile) return false;
    if (std::strcmp(profile, "vs_2_0") == 0 || std::strcmp(profile, "vs_3_0") == 0) {
        *out = {false, D3D_VertexConstantRegisters};
        return true;
    }
    if (std::strcmp(profile, "ps_2_0") == 0) {
        *out = {true, 32};
        return true;
    }
    if (std::strcmp(profile, "ps_3_0") == 0) {
        *out = {true, D3D_PixelConstantRegisters};
        return true;
    }
    return false;
}

// The usage and index a semantic names ("TEXCOORD3", "COLOR" = "COLOR0"); false for another text.
bool ParseSemantic(const std::string& semantic, uint8_t* usage, uint8_t* index) {
    static const char* const kNames[D3DDECLUSAGE_COUNT] = {
        "POSITION", "BLENDWEIGHT", "BLENDINDICES", "NORMAL",    "PSIZE", "TEXCOORD", "TANGENT",
        "BINORMAL", "TESSFACTOR",  "POSITIONT",    "COLOR",     "FOG",   "DEPTH",    "SAMPLE"};
    std::string upper;
    for (char c : semantic)
        upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    size_t digits = upper.size();
    while (digits > 0 && upper[digits - 1] >= '0' && upper[digits - 1] <= '9')
        --digits;
    const std::string name = upper.substr(0, digits);
    const std::string number = upper.substr(digits);
    if (number.size() > 2) return false;
    const int n = number.empty() ? 0 : std::stoi(number);
    if (n > 15) return false;
    for (uint8_t u = 0; u < D3DDECLUSAGE_COUNT; ++u) {
        if (name == kNames[u]) {
            *usage = u;
            *index = static_cast<uint8_t>(n);
            return true;
        }
    }
    return false;
}

std::string SemanticName(uint8_t usage, uint8_t index) {
    static const char* const kNames[D3DDECLUSAGE_COUNT] = {
        "POSITION", "BLENDWEIGHT", "BLENDINDICES", "NORMAL",    "PSIZE", "TEXCOORD", "TANGENT",
        "BINORMAL", "TESSFACTOR",  "POSITIONT",    "COLOR",     "FOG",   "DEPTH",    "SAMPLE"};
    return std::string(kNames[usage]) + std::to_string(index);
}

// Nesting of brackets deep enough to exhaust the front end's recursion is refused before parsing.
constexpr int kMaxNesting = 200;

bool NestingWithinLimit(const char* source, size_t length) {
    int depth = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = source[i];
        if (c == '(' || c == '[' || c == '{') {
            if (++depth > kMaxNesting) return false;
        } else if ((c == ')' || c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

std::vector<uint32_t> ToSpirv(const char* source, size_t length, const char* entry, bool pixel) {
    if (length > static_cast<size_t>(INT_MAX)) throw CompileError("error: the source is too long\n");
    if (!NestingWithinLimit(source, length)) throw CompileError("error: expressions are nested too deeply\n");
    const EShLanguage stage = pixel ? EShLangFragment : EShLangVertex;
    glslang::TShader shader(stage);
    const int lengths[1] = {static_cast<int>(length)};
    shader.setStringsWithLengths(&source, lengths, 1);
    shader.setEntryPoint(entry ? entry : "main");
    shader.setEnvInput(glslang::EShSourceHlsl, stage, glslang::EShClientOpenGL, 100);
    shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setEnvTargetHlslFunctionality1();
    shader.setAutoMapBindings(true);
    shader.setAutoMapLocations(true);
    const auto messages = static_cast<EShMessages>(EShMsgReadHlsl | EShMsgHlslDX9Compatible);
    if (!shader.parse(GetDefaultResources(), 100, false, messages)) throw CompileError(shader.getInfoLog());
    if (shader.getIntermediate()->getNumEntryPoints() == 0)
        throw CompileError(std::string("error: entrypoint '") + (entry ? entry : "main") + "' not found\n");
    glslang::TProgram program;
    program.addShader(&shader);
    if (!program.link(messages)) throw CompileError(program.getInfoLog());
    std::vector<uint32_t> spirv;
    glslang::SpvOptions options;
    options.disableOptimizer = true;
    glslang::GlslangToSpv(*program.getIntermediate(stage), spirv, &options);
    if (spirv.empty()) throw CompileError("error: no code generated\n");
    return spirv;
}

uint64_t ElementsOf(const SPIRType& type) {
    if (type.array.size() > 1) throw CompileError("error: arrays of arrays are not supported\n");
    if (type.array.empty()) return 1;
    if (type.array[0] == 0 || !type.array_size_literal[0]) throw CompileError("error: arrays need a constant size\n");
    return type.array[0];
}

bool MemberRowMajor(const CompilerGLSL& c, const SPIRType& parent, uint32_t member) {
    return c.has_member_decoration(parent.self, member, spv::DecorationRowMajor);
}

uint32_t KindOf(const SPIRType& type) {
    switch (type.basetype) {
    case SPIRType::Float: return D3DXPT_FLOAT;
    case SPIRType::Int: return D3DXPT_INT;
    case SPIRType::UInt:
    case SPIRType::Boolean: return D3DXPT_BOOL;
    default: throw CompileError("error: a constant has a type the device cannot hold\n");
    }
}

// Registers of one element of a type.
uint64_t RegistersPerElement(const CompilerGLSL& c, const SPIRType& type, bool rowMajor) {
    if (type.basetype == SPIRType::Struct) {
        uint64_t sum = 0;
        for (uint32_t m = 0; m < type.member_types.size(); ++m) {
            const SPIRType& member = c.get_type(type.member_types[m]);
            sum += RegistersPerElement(c, member, MemberRowMajor(c, type, m)) * ElementsOf(member);
            if (sum > 0x10000) throw CompileError("error: a constant is too large\n");
        }
        return sum;
    }
    KindOf(type);
    if (type.columns > 1) return rowMajor ? type.vecsize : type.columns;
    return 1;
}

uint64_t BytesOf(const CompilerGLSL& c, const SPIRType& type) {
    uint64_t bytes = 0;
    if (type.basetype == SPIRType::Struct) {
        for (uint32_t m = 0; m < type.member_types.size(); ++m)
            bytes += BytesOf(c, c.get_type(type.member_types[m]));
    } else {
        bytes = 4ull * type.columns * type.vecsize;
    }
    return bytes * ElementsOf(type);
}

// The GLSL uniforms of a constant of the given type and GLSL name, fed from registers from first.
void AddUniforms(const CompilerGLSL& c, const SPIRType& type, bool rowMajor, const std::string& name,
                 uint32_t first, std::vector<D3DShaderUniform>& out) {
    const uint64_t elements = ElementsOf(type);
    if (type.basetype != SPIRType::Struct) {
        out.push_back(D3DShaderUniform{name, KindOf(type), type.columns, type.vecsize, rowMajor,
                                       static_cast<uint32_t>(elements), first});
        return;
    }
    uint32_t reg = first;
    for (uint64_t e = 0; e < elements; ++e) {
        const std::string element = type.array.empty() ? name : name + "[" + std::to_string(e) + "]";
        for (uint32_t m = 0; m < type.member_types.size(); ++m) {
            const SPIRType& member = c.get_type(type.member_types[m]);
            const bool memberRowMajor = MemberRowMajor(c, type, m);
            AddUniforms(c, member, memberRowMajor, element + "." + c.get_member_name(type.self, m), reg, out);
            reg += static_cast<uint32_t>(RegistersPerElement(c, member, memberRowMajor) * ElementsOf(member));
        }
    }
}

D3DXCONSTANT_DESC DescribeConstant(const CompilerGLSL& c, const SPIRType& type, bool rowMajor,
                                   const std::string& name, uint32_t reg, uint32_t count) {
    D3DXCONSTANT_DESC d{};
    d.Name = name;
    d.RegisterIndex = reg;
    d.RegisterCount = count;
    d.Elements = static_cast<uint32_t>(ElementsOf(type));
    d.Bytes = static_cast<uint32_t>(BytesOf(c, type));
    d.Rows = 1;
    d.Columns = 1;
    if (type.basetype == SPIRType::Struct) {
        d.Class = D3DXPC_STRUCT;
        d.Type = D3DXPT_VOID;
        d.RegisterSet = D3DXRS_FLOAT4;
        d.StructMembers = static_cast<uint32_t>(type.member_types.size());
        return d;
    }
    d.Type = KindOf(type);
    d.RegisterSet = d.Type == D3DXPT_FLOAT ? D3DXRS_FLOAT4 : d.Type == D3DXPT_INT ? D3DXRS_INT4 : D3DXRS_BOOL;
    if (type.columns > 1) {
        // The front end holds a declared R x C matrix as C rows of R-component columns.
        d.Class = rowMajor ? D3DXPC_MATRIX_COLUMNS : D3DXPC_MATRIX_ROWS;
        d.Rows = type.columns;
        d.Columns = type.vecsize;
    } else {
        d.Class = type.vecsize > 1 ? D3DXPC_VECTOR : D3DXPC_SCALAR;
        d.Columns = type.vecsize;
    }
    return d;
}

uint32_t SamplerType(const SPIRType& type) {
    switch (type.image.dim) {
    case spv::Dim1D: return D3DXPT_SAMPLER1D;
    case spv::Dim2D: return D3DXPT_SAMPLER2D;
    case spv::Dim3D: return D3DXPT_SAMPLER3D;
    case spv::DimCube: return D3DXPT_SAMPLERCUBE;
    default: return D3DXPT_SAMPLER;
    }
}

// A varying of the interface: its GLSL variable and the vec4 that carries it between the programs.
struct Varying {
    std::string variable; // dx_o_ or dx_i_ name
    std::string carrier;  // dx_v_ name
    uint32_t size;
};

void CheckVaryingType(const SPIRType& type) {
    if (type.basetype != SPIRType::Float || type.columns != 1 || !type.array.empty() || type.vecsize > 4)
        throw CompileError("error: varyings must be float scalars or vectors\n");
}

std::string VecType(uint32_t size) {
    return size == 1 ? "float" : "vec" + std::to_string(size);
}

// Rewrites the declaration line of each varying into a plain global and a vec4 of the interface, and
// adds the copies between them at the start (pixel) or end (vertex) of main, with the extra lines given.
std::string RewriteInterface(const std::string& glsl, bool pixel, const std::vector<Varying>& varyings,
                             const std::string& header, const std::string& functions, std::string prologue,
                             std::string epilogue) {
    std::istringstream in(glsl);
    std::string out;
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        bool replaced = false;
        for (const Varying& v : varyings) {
            const std::string tail = " " + v.variable + ";";
            if (line.size() < tail.size() || line.compare(line.size() - tail.size(), tail.size(), tail) != 0) continue;
            const std::string keyword = pixel ? "in " : "out ";
            const size_t at = line.find(keyword);
            if (at == std::string::npos) continue;
            out += VecType(v.size) + " " + v.variable + ";\n";
            out += line.substr(0, at) + keyword + "vec4 " + v.carrier + ";\n";
            replaced = true;
            break;
        }
        if (line == "void main()") out += functions;
        if (!replaced) out += line + "\n";
        if (first) {
            out += header;
            first = false;
        }
    }
    for (const Varying& v : varyings) {
        static const char* const kRead[] = {"", ".x", ".xy", ".xyz", ""};
        static const char* const kPad[] = {"", ", 0.0, 0.0, 1.0", ", 0.0, 1.0", ", 1.0", ""};
        if (pixel)
            prologue = "    " + v.variable + " = " + v.carrier + kRead[v.size] + ";\n" + prologue;
        else
            epilogue = "    " + v.carrier + " = vec4(" + v.variable + kPad[v.size] + ");\n" + epilogue;
    }
    const size_t main = out.find("\nvoid main()\n{\n");
    const size_t end = out.rfind('}');
    if (main == std::string::npos || end == std::string::npos || end < main)
        throw CompileError("error: the translated program has no entry point\n");
    out.insert(end, epilogue);
    out.insert(main + std::strlen("\nvoid main()\n{\n"), prologue);
    return out;
}

const char* const kVertexHeader = "uniform vec4 dx_ClipFix;\n";
const char* const kVertexEpilogue =
    "    gl_Position = vec4(gl_Position.x * dx_ClipFix.x + gl_Position.w * dx_ClipFix.y,\n"
    "                       -gl_Position.y * dx_ClipFix.x + gl_Position.w * dx_ClipFix.z,\n"
    "                       2.0 * gl_Position.z - gl_Position.w, gl_Position.w);\n";
const char* const kPixelHeader = "uniform vec2 dx_AlphaTest;\n";
// The alpha test follows the pixel program as it follows the fixed pipeline: x is the comparison (0 for
// no test), y the reference.
const char* const kAlphaFunction =
    "bool dx_AlphaPass(float a)\n"
    "{\n"
    "    float v = floor(clamp(a, 0.0, 1.0) * 255.0 + 0.5);\n"
    "    int f = int(dx_AlphaTest.x);\n"
    "    float r = dx_AlphaTest.y;\n"
    "    if (f == 1) return false;\n"
    "    if (f == 2) return v < r;\n"
    "    if (f == 3) return v == r;\n"
    "    if (f == 4) return v <= r;\n"
    "    if (f == 5) return v > r;\n"
    "    if (f == 6) return v != r;\n"
    "    if (f == 7) return v >= r;\n"
    "    return true;\n"
    "}\n\n";

void Translate(std::vector<uint32_t> spirv, const Profile& profile, CD3DXShaderCode& code,
               CD3DXConstantTable& table) {
    CompilerGLSL glsl(std::move(spirv));
    CompilerGLSL::Options options;
    options.version = 330;
    options.es = false;
    options.enable_420pack_extension = false;
    options.emit_uniform_buffer_as_plain_uniforms = true;
    glsl.set_common_options(options);
    const auto active = glsl.get_active_interface_variables();
    const spirv_cross::ShaderResources resources = glsl.get_shader_resources(active);
    if (!resources.storage_buffers.empty() || !resources.storage_images.empty() ||
        !resources.separate_images.empty() || !resources.separate_samplers.empty() ||
        !resources.push_constant_buffers.empty() || !resources.atomic_counters.empty())
        throw CompileError("error: the program uses resources the profile does not have\n");

    std::vector<Varying> varyings;
    for (const auto& input : resources.stage_inputs) {
        uint8_t usage = 0, index = 0;
        const std::string semantic = glsl.get_decoration_string(input.id, spv::DecorationUserSemantic);
        if (!ParseSemantic(semantic, &usage, &index))
            throw CompileError("error: invalid input semantic '" + semantic + "'\n");
        const SPIRType& type = glsl.get_type(input.type_id);
        if (!profile.pixel) {
            if (type.columns != 1 || !type.array.empty() || code.inputs.size() >= D3D_MaxVertexInputs)
                throw CompileError("error: invalid vertex input '" + semantic + "'\n");
            const uint32_t location = static_cast<uint32_t>(code.inputs.size());
            glsl.set_decoration(input.id, spv::DecorationLocation, location);
            code.inputs.push_back(D3DShaderInput{location, usage, index});
            continue;
        }
        CheckVaryingType(type);
        const std::string name = SemanticName(usage, index);
        glsl.set_name(input.id, "dx_i_" + name);
        varyings.push_back(Varying{"dx_i_" + name, "dx_v_" + name, type.vecsize});
    }
    bool hasColour0 = false;
    for (const auto& output : resources.stage_outputs) {
        const std::string semantic = glsl.get_decoration_string(output.id, spv::DecorationUserSemantic);
        uint8_t usage = 0, index = 0;
        if (!ParseSemantic(semantic, &usage, &index))
            throw CompileError("error: invalid output semantic '" + semantic + "'\n");
        const SPIRType& type = glsl.get_type(output.type_id);
        CheckVaryingType(type);
        if (profile.pixel) {
            if (usage == D3DDECLUSAGE_DEPTH && index == 0) {
                glsl.unset_decoration(output.id, spv::DecorationLocation);
                glsl.set_decoration(output.id, spv::DecorationBuiltIn, spv::BuiltInFragDepth);
            } else if (usage == D3DDECLUSAGE_COLOR && index < 4) {
                glsl.set_decoration(output.id, spv::DecorationLocation, index);
                glsl.set_name(output.id, "dx_out" + std::to_string(index));
                hasColour0 = hasColour0 || index == 0;
            } else {
                throw CompileError("error: invalid output semantic '" + semantic + "'\n");
            }
            continue;
        }
        if (usage == D3DDECLUSAGE_POSITION && index == 0) {
            glsl.unset_decoration(output.id, spv::DecorationLocation);
            glsl.set_decoration(output.id, spv::DecorationBuiltIn, spv::BuiltInPosition);
            continue;
        }
        if (usage == D3DDECLUSAGE_PSIZE && index == 0 && type.vecsize == 1) {
            glsl.unset_decoration(output.id, spv::DecorationLocation);
            glsl.set_decoration(output.id, spv::DecorationBuiltIn, spv::BuiltInPointSize);
            continue;
        }
        const std::string name = SemanticName(usage, index);
        glsl.set_name(output.id, "dx_o_" + name);
        glsl.unset_decoration(output.id, spv::DecorationLocation);
        varyings.push_back(Varying{"dx_o_" + name, "dx_v_" + name, type.vecsize});
    }

    // Constants: every uniform block's used members, in declaration order, then the samplers.
    struct Pending {
        uint32_t blockType;
        uint32_t member;
        uint32_t variable;
        uint32_t reg;
    };
    std::vector<Pending> pending;
    uint32_t next = 0;
    uint32_t blockNumber = 0;
    for (const auto& block : resources.uniform_buffers) {
        // The two programs of a pair are linked together: their blocks need names of their own.
        const std::string blockName =
            std::string(profile.pixel ? "dx_PSGlobals" : "dx_VSGlobals") + std::to_string(blockNumber++);
        glsl.set_name(block.id, blockName);
        glsl.set_name(block.base_type_id, blockName + "_Type");
        const SPIRType& type = glsl.get_type(block.base_type_id);
        std::vector<bool> used(type.member_types.size(), false);
        for (const auto& range : glsl.get_active_buffer_ranges(block.id))
            if (range.index < used.size()) used[range.index] = true;
        for (uint32_t m = 0; m < type.member_types.size(); ++m) {
            if (!used[m]) continue;
            const SPIRType& member = glsl.get_type(type.member_types[m]);
            const bool rowMajor = MemberRowMajor(glsl, type, m);
            const uint64_t count = RegistersPerElement(glsl, member, rowMajor) * ElementsOf(member);
            if (count == 0 || next + count > profile.registers)
                throw CompileError("error: the constants need more than the " + std::to_string(profile.registers) +
                                   " registers of the profile\n");
            table.constants.push_back(DescribeConstant(glsl, member, rowMajor, glsl.get_member_name(type.self, m),
                                                       next, static_cast<uint32_t>(count)));
            pending.push_back(Pending{type.self, m, block.id, next});
            next += static_cast<uint32_t>(count);
        }
    }
    std::vector<std::pair<uint32_t, uint32_t>> samplers; // variable, table index
    for (const auto& sampler : resources.sampled_images) {
        const SPIRType& type = glsl.get_type(sampler.type_id);
        const uint64_t count = ElementsOf(type);
        const uint32_t stage = glsl.get_decoration(sampler.id, spv::DecorationBinding);
        if (stage + count > CD3DDevice::kSamplerStages)
            throw CompileError("error: sampler '" + sampler.name + "' lies outside the sampler stages\n");
        D3DXCONSTANT_DESC d{};
        d.Name = glsl.get_name(sampler.id);
        d.RegisterSet = D3DXRS_SAMPLER;
        d.RegisterIndex = stage;
        d.RegisterCount = static_cast<uint32_t>(count);
        d.Class = D3DXPC_OBJECT;
        d.Type = SamplerType(type);
        d.Rows = d.Columns = 1;
        d.Elements = static_cast<uint32_t>(count);
        d.Bytes = 4 * d.Elements;
        samplers.emplace_back(sampler.id, static_cast<uint32_t>(table.constants.size()));
        table.constants.push_back(d);
    }

    const std::string text = glsl.compile();
    // Names are final once the program is written (reserved words are renamed then).
    for (const Pending& p : pending) {
        const SPIRType& blockType = glsl.get_type(p.blockType);
        const SPIRType& member = glsl.get_type(blockType.member_types[p.member]);
        AddUniforms(glsl, member, MemberRowMajor(glsl, blockType, p.member),
                    glsl.get_name(p.variable) + "." + glsl.get_member_name(p.blockType, p.member), p.reg,
                    code.uniforms);
    }
    for (const auto& [variable, index] : samplers) {
        const D3DXCONSTANT_DESC& d = table.constants[index];
        code.samplers.push_back(D3DShaderSampler{glsl.get_name(variable), d.RegisterIndex, d.RegisterCount});
    }
    for (const Varying& v : varyings)
        code.varyings.push_back(v.carrier);
    code.pixel = profile.pixel;
    if (profile.pixel)
        code.glsl = RewriteInterface(text, true, varyings, kPixelHeader, kAlphaFunction, "",
                                     hasColour0 ? "    if (!dx_AlphaPass(dx_out0.a)) discard;\n" : "");
    else
        code.glsl = RewriteInterface(text, false, varyings, kVertexHeader, "", "", kVertexEpilogue);
}

// ---- the translation in a process of its own ----
//
// The front end has faults of its own on some malformed programs (it can crash, or run for very long),
// so programs are translated in a child process that lives from the first compile on: a program it
// fails on costs that compile (and a new child for the next one), not the runner. The built-in symbol
// tables are made in this process first, so that the child starts with them.

constexpr int kCompileSeconds = 10;

// The result and the requests cross the socket as fields written by Writer and read back by Reader;
// Transfer lists the fields of a result once for both.
struct Writer {
    std::string bytes;
    void Field(uint32_t& v) { bytes.append(reinterpret_cast<const char*>(&v), 4); }
    void Field(std::string& s) {
        uint32_t n = static_cast<uint32_t>(s.size());
        Field(n);
        bytes += s;
    }
    template <typename T> void Small(T& v) {
        uint32_t word = static_cast<uint32_t>(v);
        Field(word);
    }
    template <typename T, typename F> void List(std::vector<T>& items, size_t, F each) {
        uint32_t n = static_cast<uint32_t>(items.size());
        Field(n);
        for (T& item : items)
            each(item);
    }
};

struct Reader {
    const std::string& bytes;
    size_t at = 0;
    bool ok = true;
    void Field(uint32_t& v) {
        v = 0;
        if (bytes.size() - at < 4) {
            ok = false;
            return;
        }
        std::memcpy(&v, bytes.data() + at, 4);
        at += 4;
    }
    void Field(std::string& s) {
        uint32_t n = 0;
        Field(n);
        if (!ok || bytes.size() - at < n) {
            ok = false;
            return;
        }
        s = bytes.substr(at, n);
        at += n;
    }
    template <typename T> void Small(T& v) {
        uint32_t word = 0;
        Field(word);
        v = static_cast<T>(word);
    }
    // A list of records of at least minimum bytes each, as many as the rest can hold.
    template <typename T, typename F> void List(std::vector<T>& items, size_t minimum, F each) {
        uint32_t n = 0;
        Field(n);
        if (!ok || n > (bytes.size() - at) / minimum) {
            ok = false;
            return;
        }
        items.resize(n);
        for (T& item : items)
            each(item);
    }
};

template <typename IO> void Transfer(IO& io, CD3DXShaderCode& code, CD3DXConstantTable& table) {
    io.Small(code.pixel);
    io.Field(code.glsl);
    io.List(code.inputs, 12, [&](D3DShaderInput& i) {
        io.Field(i.location);
        io.Small(i.usage);
        io.Small(i.usageIndex);
    });
    io.List(code.varyings, 4, [&](std::string& v) { io.Field(v); });
    io.List(code.uniforms, 28, [&](D3DShaderUniform& u) {
        io.Field(u.name);
        io.Field(u.kind);
        io.Field(u.columns);
        io.Field(u.rows);
        io.Small(u.rowMajor);
        io.Field(u.elements);
        io.Field(u.firstRegister);
    });
    io.List(code.samplers, 12, [&](D3DShaderSampler& sampler) {
        io.Field(sampler.name);
        io.Field(sampler.stage);
        io.Field(sampler.count);
    });
    io.List(table.constants, 44, [&](D3DXCONSTANT_DESC& d) {
        io.Field(d.Name);
        for (uint32_t* f : {&d.RegisterSet, &d.RegisterIndex, &d.RegisterCount, &d.Class, &d.Type, &d.Rows,
                            &d.Columns, &d.Elements, &d.StructMembers, &d.Bytes})
            io.Field(*f);
    });
}

// Makes the front end's symbol tables in this process, from programs it is known to take.
void WarmUp() {
    static const bool done = [] {
        glslang::InitializeProcess();
        const char* const programs[2] = {"float4 main() : POSITION { return 0; }", "float4 main() : COLOR0 { return 0; }"};
        for (int pixel = 0; pixel < 2; ++pixel) {
            try {
                ToSpirv(programs[pixel], std::strlen(programs[pixel]), "main", pixel == 1);
            } catch (const std::exception&) {
            }
        }
        return true;
    }();
    (void)done;
}

// The compiler process: it reads requests (a length, then the profile's kind, the entry point's name and
// the source) and answers each (a length, then "1" and the result or "0" and the message), until its
// end of the socket closes.
struct CompilerProcess {
    pid_t pid = -1;
    int fd = -1;
};
CompilerProcess g_compiler;

bool SendAll(int fd, const std::string& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

// Reads exactly count bytes; with a deadline, false once it passes.
bool ReceiveAll(int fd, size_t count, std::string* out, const std::chrono::steady_clock::time_point* deadline) {
    out->clear();
    char chunk[65536];
    while (out->size() < count) {
        if (deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd, POLLIN, 0};
            const int ready = poll(&p, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) return false;
        }
        const ssize_t n = recv(fd, chunk, std::min(sizeof chunk, count - out->size()), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out->append(chunk, static_cast<size_t>(n));
    }
    return true;
}

std::string Framed(std::string payload) {
    Writer w;
    w.Field(payload);
    return w.bytes;
}

bool ReceiveFramed(int fd, std::string* payload, const std::chrono::steady_clock::time_point* deadline) {
    std::string header;
    if (!ReceiveAll(fd, 4, &header, deadline)) return false;
    uint32_t length = 0;
    std::memcpy(&length, header.data(), 4);
    return ReceiveAll(fd, length, payload, deadline);
}

std::string Answer(const std::string& request) {
    Reader r{request};
    Profile profile{};
    std::string entry, source;
    r.Small(profile.pixel);
    r.Field(profile.registers);
    r.Field(entry);
    r.Field(source);
    if (!r.ok) return "0error: a damaged request\n";
    try {
        CD3DXShaderCode code;
        CD3DXConstantTable table;
        Translate(ToSpirv(source.data(), source.size(), entry.c_str(), profile.pixel), profile, code, table);
        Writer w;
        Transfer(w, code, table);
        return "1" + w.bytes;
    } catch (const std::exception& e) {
        return std::string("0") + (*e.what() ? e.what() : "error: the program cannot be translated\n");
    }
}

// The child keeps only its socket and the standard streams, and dies quietly on a fault.
[[noreturn]] void CompilerMain(int fd) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP})
        std::signal(signal, SIG_DFL);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (fd != 3) {
        dup2(fd, 3);
        close(fd);
    }
    close_range(4, ~0u, 0);
    std::string request;
    while (ReceiveFramed(3, &request, nullptr))
        if (!SendAll(3, Framed(Answer(request)))) break;
    _exit(0);
}

void StopCompiler() {
    if (g_compiler.fd >= 0) close(g_compiler.fd);
    if (g_compiler.pid > 0) {
        kill(g_compiler.pid, SIGKILL);
        while (waitpid(g_compiler.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    g_compiler = CompilerProcess{};
}

bool StartCompiler() {
    WarmUp();
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        CompilerMain(fds[1]);
    }
    close(fds[1]);
    if (child < 0) {
        close(fds[0]);
        return false;
    }
    g_compiler = CompilerProcess{child, fds[0]};
    return true;
}

bool CompileIsolated(const std::string& source, const std::string& entry, const Profile& profile,
                     CD3DXShaderCode& code, CD3DXConstantTable& table, std::string* errors) {
    *errors = "error: the compiler failed on this program\n";
    if (g_compiler.pid <= 0 && !StartCompiler()) return false;
    Writer request;
    Profile sent = profile;
    std::string entryName = entry, text = source;
    request.Small(sent.pixel);
    request.Field(sent.registers);
    request.Field(entryName);
    request.Field(text);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kCompileSeconds);
    std::string reply;
    if (!SendAll(g_compiler.fd, Framed(request.bytes)) || !ReceiveFramed(g_compiler.fd, &reply, &deadline) ||
        reply.empty()) {
        // A compiler that failed, or took too long, is replaced at the next compile.
        StopCompiler();
        return false;
    }
    if (reply[0] == '0') {
        *errors = reply.substr(1);
        return false;
    }
    const std::string result = reply.substr(1);
    Reader r{result};
    Transfer(r, code, table);
    if (!r.ok || r.at != result.size()) return false;
    errors->clear();
    return true;
}

} // namespace

uint32_t D3DXCompileShader(const char* source, size_t length, const char* entry, const char* profile,
                           CD3DXShaderCode** code, std::string* errors, CD3DXConstantTable** table) {
    if (!code || !errors || !table) return D3DERR_INVALIDCALL;
    *code = nullptr;
    *table = nullptr;
    errors->clear();
    Profile p{};
    if (!ParseProfile(profile, &p)) {
        *errors = "error: invalid profile\n";
        return D3DERR_INVALIDCALL;
    }
    auto made = std::make_unique<CD3DXShaderCode>();
    auto constants = std::make_unique<CD3DXConstantTable>();
    const std::string text(source ? source : "", source ? length : 0);
    if (!CompileIsolated(text, entry ? entry : "main", p, *made, *constants, errors)) return D3DERR_INVALIDCALL;
    *code = made.release();
    *table = constants.release();
    return D3D_OK;
}

const char* D3DXGetVertexShaderProfile(const CD3DDevice* device) {
    if (!device) return nullptr;
    return (device->GetDeviceCaps().VertexShaderVersion & 0xFFFFu) >= 0x300 ? "vs_3_0" : "vs_2_0";
}

const char* D3DXGetPixelShaderProfile(const CD3DDevice* device) {
    if (!device) return nullptr;
    return (device->GetDeviceCaps().PixelShaderVersion & 0xFFFFu) >= 0x300 ? "ps_3_0" : "ps_2_0";
}
