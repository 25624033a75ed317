#include "device/gl/gl_device.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const CGLDevice* g_currentDevice = nullptr;

// Points and lines are moved this many pixels less than half a pixel, so that positions lying exactly
// between two pixel centres fall to the top-left one, as the device's tie rule has it.
constexpr float kTieBias = 1.0f / 32.0f;

struct GLFormat {
    GLint internal;
    GLenum format;
    GLenum type;
    bool alphaOne; // no alpha channel: alpha reads as 1
    bool redOnly;  // one channel: green and blue read as 1 too
};

bool FormatOf(uint32_t format, GLFormat& out) {
    switch (format) {
    case D3DFMT_A8R8G8B8: out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, false, false}; return true;
    case D3DFMT_X8R8G8B8: out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, true, false}; return true;
    case D3DFMT_A4R4G4B4: out = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, false, false}; return true;
    case D3DFMT_R16F: out = {GL_R16F, GL_RED, GL_HALF_FLOAT, true, true}; return true;
    case D3DFMT_R32F: out = {GL_R32F, GL_RED, GL_FLOAT, true, true}; return true;
    default: return false;
    }
}

GLenum Compare(uint32_t f) {
    static const GLenum table[] = {GL_ALWAYS, GL_NEVER,   GL_LESS,     GL_EQUAL, GL_LEQUAL,
                                   GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return f < 9 ? table[f] : GL_ALWAYS;
}

GLenum StencilOp(uint32_t op) {
    static const GLenum table[] = {GL_KEEP, GL_KEEP, GL_ZERO, GL_REPLACE, GL_INCR,
                                   GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return op < 9 ? table[op] : GL_KEEP;
}

// Blend factors; the second-colour factors act as the source colour ones, and the "both" factors name
// their source side here (the caller fixes the destination).
GLenum BlendFactor(uint32_t b) {
    switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR:
    case D3DBLEND_SRCCOLOR2: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
    case D3DBLEND_INVSRCCOLOR2: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
    case D3DBLEND_BOTHSRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
    case D3DBLEND_BOTHINVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return GL_ZERO;
    }
}

GLenum BlendEquation(uint32_t op) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

void UnpackColour(uint32_t c, float out[4]) {
    out[0] = static_cast<float>((c >> 16) & 0xFFu) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFFu) / 255.0f;
    out[2] = static_cast<float>(c & 0xFFu) / 255.0f;
    out[3] = static_cast<float>(c >> 24) / 255.0f;
}

float FloatOf(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void Multiply(const float* a, const float* b, float* out) {
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += static_cast<double>(a[i * 4 + k]) * b[k * 4 + j];
            out[i * 4 + j] = static_cast<float>(sum);
        }
    }
}

void ClearErrors() {
    while (glGetError() != GL_NO_ERROR) {
    }
}

// ---- generated shaders ----
//
// Program key bits: 0 textured; 1-3 colour op, 4-5 colour arg 1, 6-7 colour arg 2; 8-10 alpha op,
// 11-12 alpha arg 1, 13-14 alpha arg 2; 15 alpha test, 16-19 alpha function; 20 fog, 21-22 fog mode;
// 23 flat shading; 24 every diffuse colour opaque white; 25 lighting; 26 lit vertices take the
// material's diffuse colour (they have none of their own).
constexpr uint64_t kKeyLighting = 1ull << 25;
constexpr uint64_t kKeyMaterialDiffuse = 1ull << 26;

// The lit colour of a vertex, as the fixed-function pipeline computes it in camera space: the emissive
// colour, the material's ambient colour times the global ambient and the lights' ambient colours, and
// the diffuse colour times each light's diffuse colour and the cosine of its angle to the normal; point
// lights fall off with distance and stop at their range. Specular light is not computed. The alpha is
// that of the diffuse colour.
const char kLightingSource[] =
    "uniform mat4 uWorldView;\n"
    "uniform mat3 uNormalMatrix;\n"
    "uniform float uNormalize;\n"
    "uniform vec4 uGlobalAmbient;\n"
    "uniform vec4 uMaterialDiffuse;\n"
    "uniform vec4 uMaterialAmbient;\n"
    "uniform vec4 uMaterialEmissive;\n"
    "uniform float uLightKind[8];\n"
    "uniform vec4 uLightPlace[8];\n"
    "uniform vec4 uLightDiffuse[8];\n"
    "uniform vec4 uLightAmbient[8];\n"
    "uniform vec3 uLightAttenuation[8];\n"
    "vec4 Light(vec3 position, vec3 normal, vec4 diffuseColour) {\n"
    "    vec3 p = (uWorldView * vec4(position, 1.0)).xyz;\n"
    "    vec3 n = uNormalMatrix * normal;\n"
    "    if (uNormalize > 0.5 && dot(n, n) > 0.0) n = normalize(n);\n"
    "    vec3 ambient = uGlobalAmbient.rgb;\n"
    "    vec3 diffuse = vec3(0.0);\n"
    "    for (int i = 0; i < 8; ++i) {\n"
    "        if (uLightKind[i] == 0.0) continue;\n"
    "        vec3 l = uLightPlace[i].xyz;\n"
    "        float attenuation = 1.0;\n"
    "        if (uLightKind[i] == 1.0) {\n"
    "            vec3 d = uLightPlace[i].xyz - p;\n"
    "            float distance = length(d);\n"
    "            if (distance > uLightPlace[i].w) continue;\n"
    "            l = distance > 0.0 ? d / distance : vec3(0.0);\n"
    "            vec3 a = uLightAttenuation[i];\n"
    "            attenuation = 1.0 / (a.x + a.y * distance + a.z * distance * distance);\n"
    "        }\n"
    "        ambient += attenuation * uLightAmbient[i].rgb;\n"
    "        diffuse += attenuation * max(dot(n, l), 0.0) * uLightDiffuse[i].rgb;\n"
    "    }\n"
    "    vec3 lit = uMaterialEmissive.rgb + uMaterialAmbient.rgb * ambient + diffuseColour.rgb * diffuse;\n"
    "    return vec4(clamp(lit, 0.0, 1.0), diffuseColour.a);\n"
    "}\n";

const char* ArgExpression(uint32_t arg) {
    switch (arg) {
    case D3DTA_TEXTURE: return "tex";
    case D3DTA_TFACTOR: return "uTextureFactor";
    default: return "diffuse"; // the diffuse colour, also the current colour of stage 0
    }
}

std::string OpExpression(uint32_t op, uint32_t arg1, uint32_t arg2, const char* swizzle) {
    const std::string a = std::string(ArgExpression(arg1)) + swizzle;
    const std::string b = std::string(ArgExpression(arg2)) + swizzle;
    switch (op) {
    case D3DTOP_DISABLE: return std::string("diffuse") + swizzle;
    case D3DTOP_SELECTARG1: return a;
    case D3DTOP_SELECTARG2: return b;
    case D3DTOP_MODULATE2X: return "clamp(" + a + " * " + b + " * 2.0, 0.0, 1.0)";
    case D3DTOP_MODULATE4X: return "clamp(" + a + " * " + b + " * 4.0, 0.0, 1.0)";
    case D3DTOP_ADD: return "clamp(" + a + " + " + b + ", 0.0, 1.0)";
    default: return a + " * " + b;
    }
}

std::string VertexSource(uint64_t key) {
    const char* flat = (key >> 23) & 1 ? "flat " : "";
    const bool lit = key & kKeyLighting;
    std::string s = "#version 330 core\n"
                    "layout(location = 0) in vec3 inPosition;\n"
                    "layout(location = 1) in vec3 inNormal;\n"
                    "layout(location = 2) in vec4 inColour;\n"
                    "layout(location = 3) in vec2 inTexture;\n"
                    "uniform mat4 uWVP;\n"
                    "uniform vec3 uPixelShift;\n";
    if (lit) s += kLightingSource;
    s += std::string(flat) + "out vec4 vColour;\n";
    s += "out vec2 vTexture;\n"
         "out float vFogDepth;\n"
         "void main() {\n"
         "    vec4 p = uWVP * vec4(inPosition, 1.0);\n"
         "    vFogDepth = uPixelShift.z > 0.5 ? p.w : p.z / p.w;\n"
         "    gl_Position = vec4(p.x + p.w * uPixelShift.x, -p.y + p.w * uPixelShift.y, 2.0 * p.z - p.w, p.w);\n"
         "    vTexture = inTexture;\n";
    if (!lit) s += "    vColour = inColour;\n";
    else if (key & kKeyMaterialDiffuse) s += "    vColour = Light(inPosition, inNormal, uMaterialDiffuse);\n";
    else s += "    vColour = Light(inPosition, inNormal, inColour);\n";
    s += "}\n";
    return s;
}

std::string FragmentSource(uint64_t key) {
    const bool textured = key & 1;
    const uint32_t colourOp = (key >> 1) & 7, colourArg1 = (key >> 4) & 3, colourArg2 = (key >> 6) & 3;
    const uint32_t alphaOp = (key >> 8) & 7, alphaArg1 = (key >> 11) & 3, alphaArg2 = (key >> 13) & 3;
    const bool alphaTest = (key >> 15) & 1;
    const uint32_t alphaFunc = (key >> 16) & 15;
    const bool fog = (key >> 20) & 1;
    const uint32_t fogMode = (key >> 21) & 3;
    const char* flat = (key >> 23) & 1 ? "flat " : "";

    std::string s = "#version 330 core\n";
    s += std::string(flat) + "in vec4 vColour;\n";
    s += "in vec2 vTexture;\n"
         "in float vFogDepth;\n"
         "uniform sampler2D uTexture0;\n"
         "uniform vec4 uTextureFactor;\n"
         "uniform float uAlphaRef;\n"
         "uniform vec4 uFogColour;\n"
         "uniform vec3 uFogParams;\n"
         "layout(location = 0) out vec4 outColour;\n"
         "void main() {\n"
         "    vec4 diffuse = ";
    // When every vertex is opaque white the colour is that constant, which spares the rasteriser
    // interpolating it for every pixel (and turns a plain copy of a texture into one).
    s += (key >> 24) & 1 ? "vec4(1.0);\n" : "vColour;\n";
    s += textured ? "    vec4 tex = texture(uTexture0, vTexture);\n" : "    vec4 tex = vec4(1.0);\n";
    s += "    vec3 rgb = " + OpExpression(colourOp, colourArg1, colourArg2, ".rgb") + ";\n";
    s += "    float a = " + OpExpression(alphaOp, alphaArg1, alphaArg2, ".a") + ";\n";
    if (alphaTest) {
        static const char* const ops[] = {"true",  "false", "<",  "==", "<=",
                                          ">",     "!=",    ">=", "true"};
        const char* op = alphaFunc < 9 ? ops[alphaFunc] : "true";
        if (std::strcmp(op, "true") == 0 || std::strcmp(op, "false") == 0)
            s += std::string("    if (!") + op + ") discard;\n";
        else
            s += std::string("    if (!(floor(a * 255.0 + 0.5) ") + op + " uAlphaRef)) discard;\n";
    }
    if (fog) {
        if (fogMode == D3DFOG_EXP)
            s += "    float f = exp(-uFogParams.z * vFogDepth);\n";
        else if (fogMode == D3DFOG_EXP2)
            s += "    float f = exp(-(uFogParams.z * vFogDepth) * (uFogParams.z * vFogDepth));\n";
        else
            s += "    float f = (uFogParams.y - vFogDepth) / (uFogParams.y - uFogParams.x);\n";
        s += "    rgb = mix(uFogColour.rgb, rgb, clamp(f, 0.0, 1.0));\n";
    }
    s += "    outColour = vec4(rgb, a);\n"
         "}\n";
    return s;
}

GLuint Compile(GLenum kind, const std::string& source, bool* compiled = nullptr) {
    GLuint shader = glCreateShader(kind);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {0};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "GL shader compilation failed: %s\n", log);
    }
    if (compiled) *compiled = ok != 0;
    return shader;
}

// The layout of a fixed-function format code as declaration elements.
std::vector<D3DVERTEXELEMENT9> ElementsOfFVF(uint32_t fvf) {
    std::vector<D3DVERTEXELEMENT9> elements;
    uint16_t offset = 0;
    auto add = [&](bool present, uint8_t type, uint8_t usage, uint16_t size) {
        if (!present) return;
        elements.push_back(D3DVERTEXELEMENT9{0, offset, type, D3DDECLMETHOD_DEFAULT, usage, 0});
        offset = static_cast<uint16_t>(offset + size);
    };
    add(fvf & D3DFVF_XYZ, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 12);
    add(fvf & D3DFVF_NORMAL, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 12);
    add(fvf & D3DFVF_DIFFUSE, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 4);
    add(fvf & D3DFVF_TEX1, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 8);
    return elements;
}

// A constant-register uniform: its registers gathered as the GLSL type reads them, then sent.
void SendUniform(GLint location, const D3DShaderUniform& u, const uint32_t (*file)[4], uint32_t registers) {
    const bool matrix = u.columns > 1;
    const uint32_t perElement = matrix ? (u.rowMajor ? u.rows : u.columns) : 1;
    const uint32_t words = matrix ? (u.rowMajor ? u.columns : u.rows) : u.rows;
    if (words == 0 || words > 4 || u.elements == 0 ||
        static_cast<uint64_t>(u.firstRegister) + static_cast<uint64_t>(u.elements) * perElement > registers)
        return;
    uint32_t data[D3D_VertexConstantRegisters * 4];
    size_t n = 0;
    for (uint32_t e = 0; e < u.elements; ++e)
        for (uint32_t r = 0; r < perElement; ++r)
            for (uint32_t w = 0; w < words; ++w)
                data[n++] = file[u.firstRegister + e * perElement + r][w];
    const auto count = static_cast<GLsizei>(u.elements);
    const auto* f = reinterpret_cast<const GLfloat*>(data);
    if (u.kind == D3DXPT_FLOAT && matrix) {
        const GLboolean transpose = u.rowMajor ? GL_TRUE : GL_FALSE;
        using Setter = void (*)(GLint, GLsizei, GLboolean, const GLfloat*);
        // By columns (2 to 4), then by rows (2 to 4).
        static const Setter kSetters[3][3] = {
            {glUniformMatrix2fv, glUniformMatrix2x3fv, glUniformMatrix2x4fv},
            {glUniformMatrix3x2fv, glUniformMatrix3fv, glUniformMatrix3x4fv},
            {glUniformMatrix4x2fv, glUniformMatrix4x3fv, glUniformMatrix4fv}};
        if (u.columns <= 4 && u.rows >= 2 && u.rows <= 4) kSetters[u.columns - 2][u.rows - 2](location, count, transpose, f);
        return;
    }
    const auto* i = reinterpret_cast<const GLint*>(data);
    switch ((u.kind == D3DXPT_FLOAT ? 0 : u.kind == D3DXPT_INT ? 4 : 8) + words - 1) {
    case 0: glUniform1fv(location, count, f); break;
    case 1: glUniform2fv(location, count, f); break;
    case 2: glUniform3fv(location, count, f); break;
    case 3: glUniform4fv(location, count, f); break;
    case 4: glUniform1iv(location, count, i); break;
    case 5: glUniform2iv(location, count, i); break;
    case 6: glUniform3iv(location, count, i); break;
    case 7: glUniform4iv(location, count, i); break;
    case 8: glUniform1uiv(location, count, data); break;
    case 9: glUniform2uiv(location, count, data); break;
    case 10: glUniform3uiv(location, count, data); break;
    default: glUniform4uiv(location, count, data); break;
    }
}

// Whether the vertices carry a diffuse colour: the format code's, or a first colour element of the
// declaration.
bool HasDiffuse(uint32_t fvf, const CD3DVertexDeclaration* declaration) {
    if (!declaration) return (fvf & D3DFVF_DIFFUSE) != 0;
    for (const D3DVERTEXELEMENT9& e : declaration->Elements())
        if (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex == 0) return true;
    return false;
}

// The inverse of the upper 3 x 3 of a row-major matrix, row-major; zeros when it has none.
void Inverse3(const float* m, float out[9]) {
    const double a = m[0], b = m[1], c = m[2], d = m[4], e = m[5], f = m[6], g = m[8], h = m[9], i = m[10];
    const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    if (det == 0.0 || !std::isfinite(det)) {
        std::fill(out, out + 9, 0.0f);
        return;
    }
    const double r = 1.0 / det;
    const double inverse[9] = {(e * i - f * h) * r, (c * h - b * i) * r, (b * f - c * e) * r,
                               (f * g - d * i) * r, (a * i - c * g) * r, (c * d - a * f) * r,
                               (d * h - e * g) * r, (b * g - a * h) * r, (a * e - b * d) * r};
    for (int k = 0; k < 9; ++k)
        out[k] = static_cast<float>(inverse[k]);
}

// Whether every vertex is opaque white, as vertices without a diffuse colour are taken to be. With a
// declaration the colour is its first colour element.
bool AllDiffuseWhite(const uint8_t* vertices, uint32_t count, uint32_t stride, uint32_t fvf,
                     const CD3DVertexDeclaration* declaration) {
    size_t offset = ((fvf & D3DFVF_XYZ) ? 12 : 0) + ((fvf & D3DFVF_NORMAL) ? 12 : 0);
    if (declaration) {
        const D3DVERTEXELEMENT9* colour = nullptr;
        for (const D3DVERTEXELEMENT9& e : declaration->Elements())
            if (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex == 0) colour = &e;
        if (!colour) return true;
        if (colour->Type != D3DDECLTYPE_D3DCOLOR) return false;
        offset = colour->Offset;
    } else if (!(fvf & D3DFVF_DIFFUSE)) {
        return true;
    }
    const uint8_t* colour = vertices + offset;
    for (uint32_t i = 0; i < count; ++i, colour += stride) {
        uint32_t c;
        std::memcpy(&c, colour, sizeof c);
        if (c != 0xFFFFFFFFu) return false;
    }
    return true;
}

} // namespace

CGLDevice::CGLDevice(CGLContext* context) : m_context(context) {
    g_currentDevice = this;
    glGenVertexArrays(1, &m_vao);
    glBindVertexArray(m_vao);
    glGenBuffers(1, &m_vbo);
    glBindBuffer(GL_ARRAY_BUFFER, m_vbo);
    glGenFramebuffers(1, &m_drawFbo);
    glGenFramebuffers(1, &m_readFbo);
    glGenSamplers(kSamplerStages, m_samplers);
    for (uint32_t stage = 0; stage < kSamplerStages; ++stage)
        glBindSampler(stage, m_samplers[stage]);
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (maxSize > 0) {
        m_caps.MaxTextureWidth = m_caps.MaxTextureHeight =
            std::min<uint32_t>(m_caps.MaxTextureWidth, static_cast<uint32_t>(maxSize));
    }
    // Viewports with fractional corners (GL 4.1, or an extension before it) let SetGLViewport widen them.
    GLint major = 0, minor = 0, extensions = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    glGetIntegerv(GL_NUM_EXTENSIONS, &extensions);
    m_wideViewports = major > 4 || (major == 4 && minor >= 1);
    for (GLint i = 0; i < extensions && !m_wideViewports; ++i) {
        const auto* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        m_wideViewports = name && std::strcmp(name, "GL_ARB_viewport_array") == 0;
    }
    if (m_wideViewports) {
        GLint dims[2] = {0, 0};
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, dims);
        glGetFloatv(GL_VIEWPORT_BOUNDS_RANGE, m_viewportBounds);
        m_maxViewport[0] = static_cast<float>(dims[0]);
        m_maxViewport[1] = static_cast<float>(dims[1]);
    }
    ClearErrors();
    GLint maxTargets = 0;
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &maxTargets);
    if (maxTargets > 0 && static_cast<uint32_t>(maxTargets) < m_caps.NumSimultaneousRTs)
        m_caps.NumSimultaneousRTs = static_cast<uint32_t>(maxTargets);
}

CGLDevice::~CGLDevice() {
    MakeCurrent();
    ReleaseHeld();
    for (auto& entry : m_programs)
        glDeleteProgram(entry.second.name);
    for (auto& entry : m_shaderPrograms)
        glDeleteProgram(entry.second.name);
    glDeleteSamplers(kSamplerStages, m_samplers);
    if (m_presentProgram) glDeleteProgram(m_presentProgram);
    if (m_presentVao) glDeleteVertexArrays(1, &m_presentVao);
    glDeleteFramebuffers(1, &m_drawFbo);
    glDeleteFramebuffers(1, &m_readFbo);
    glDeleteBuffers(1, &m_vbo);
    glDeleteVertexArrays(1, &m_vao);
    if (g_currentDevice == this) g_currentDevice = nullptr;
    delete m_context;
}

void CGLDevice::MakeCurrent() {
    if (g_currentDevice == this) return;
    m_context->MakeCurrent();
    g_currentDevice = this;
}

bool CGLDevice::BackendCreateTexture(CD3DTexture& texture) {
    MakeCurrent();
    GLFormat f{};
    if (!FormatOf(texture.Format(), f)) return false;
    ClearErrors();
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    if (f.alphaOne) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    if (f.redOnly) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_G, GL_ONE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, GL_ONE);
    }
    // A new texture's pixels are all zero; a plain texture is made without them, since its first upload
    // (usually of every pixel) or its first use sends them (Filled). A target is attached at once.
    const bool target = texture.Usage() & D3DUSAGE_RENDERTARGET;
    glTexImage2D(GL_TEXTURE_2D, 0, f.internal, static_cast<GLsizei>(texture.Width()),
                 static_cast<GLsizei>(texture.Height()), 0, f.format, f.type, target ? texture.Pixels() : nullptr);
    texture.backendName = name;
    texture.backendUnfilled = !target;
    bool ok = glGetError() == GL_NO_ERROR;
    if (ok && target) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, name, 0);
        ok = glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    }
    m_statesChanged = true; // the stage-0 binding was disturbed
    return ok;
}

bool CGLDevice::BackendCreateSurface(CD3DSurface& surface) {
    MakeCurrent();
    ClearErrors();
    if (surface.Kind() == D3DSurfaceKind::DepthStencil) {
        const GLenum internal = surface.Format() == D3DFMT_D16   ? GL_DEPTH_COMPONENT16
                                : surface.Format() == D3DFMT_D32 ? GL_DEPTH_COMPONENT32
                                                                 : GL_DEPTH24_STENCIL8;
        GLuint name = 0;
        glGenRenderbuffers(1, &name);
        glBindRenderbuffer(GL_RENDERBUFFER, name);
        glRenderbufferStorage(GL_RENDERBUFFER, internal, static_cast<GLsizei>(surface.Width()),
                              static_cast<GLsizei>(surface.Height()));
        surface.backendName = name;
        return glGetError() == GL_NO_ERROR;
    }
    GLFormat f{};
    if (!FormatOf(surface.Format(), f)) return false;
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, f.internal, static_cast<GLsizei>(surface.Width()),
                 static_cast<GLsizei>(surface.Height()), 0, f.format, f.type, nullptr);
    surface.backendName = name;
    bool ok = glGetError() == GL_NO_ERROR;
    if (ok) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, name, 0);
        ok = glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    }
    m_statesChanged = true;
    return ok;
}

void CGLDevice::BackendDestroy(CD3DResource& resource) {
    if (resource.backendName == 0) return;
    MakeCurrent();
    if (auto* shader = dynamic_cast<CD3DShader*>(&resource)) {
        for (auto it = m_shaderPrograms.begin(); it != m_shaderPrograms.end();) {
            if (it->first.first == shader->Serial() || it->first.second == shader->Serial()) {
                if (m_shaderProgram == &it->second) m_shaderProgram = nullptr;
                glDeleteProgram(it->second.name);
                it = m_shaderPrograms.erase(it);
            } else {
                ++it;
            }
        }
        glDeleteShader(resource.backendName);
        resource.backendName = 0;
        return;
    }
    auto* surface = dynamic_cast<CD3DSurface*>(&resource);
    if (surface && surface->Kind() == D3DSurfaceKind::DepthStencil) {
        glDeleteRenderbuffers(1, &resource.backendName);
    } else {
        glDeleteTextures(1, &resource.backendName);
    }
    resource.backendName = 0;
    m_targetsChanged = true;
}

void CGLDevice::BackendUpload(CD3DTexture& texture, const D3DRECT& changed) {
    MakeCurrent();
    GLFormat f{};
    if (!FormatOf(texture.Format(), f) || texture.backendName == 0) return;
    const D3DRECT rect = texture.backendUnfilled ? D3DRECT{0, 0, static_cast<int32_t>(texture.Width()),
                                                           static_cast<int32_t>(texture.Height())}
                                                 : changed;
    texture.backendUnfilled = false;
    const uint32_t bpp = D3D_FormatBytes(texture.Format());
    glBindTexture(GL_TEXTURE_2D, texture.backendName);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(texture.Width()));
    const uint8_t* start = texture.Pixels() + static_cast<size_t>(rect.y1) * texture.Pitch() +
                           static_cast<size_t>(rect.x1) * bpp;
    glTexSubImage2D(GL_TEXTURE_2D, 0, rect.x1, rect.y1, rect.x2 - rect.x1, rect.y2 - rect.y1, f.format, f.type,
                    start);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    m_statesChanged = true;
}

uint32_t CGLDevice::Filled(CD3DTexture* texture) {
    if (!texture) return 0;
    if (texture->backendUnfilled)
        BackendUpload(*texture, D3DRECT{0, 0, static_cast<int32_t>(texture->Width()),
                                        static_cast<int32_t>(texture->Height())});
    return texture->backendName;
}

uint32_t CGLDevice::ColourName(const CD3DSurface& surface) {
    return surface.Container() ? Filled(surface.Container()) : surface.backendName;
}

void CGLDevice::ApplyTargets() {
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_drawFbo);
    if (!m_targetsChanged) return;
    m_targetsChanged = false;
    for (uint32_t slot = 0; slot < kMaxRenderTargets; ++slot) {
        const GLuint name = m_targets[slot] ? ColourName(*m_targets[slot]) : 0;
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + slot, GL_TEXTURE_2D, name, 0);
    }
    const GLuint depth = m_depthStencil ? m_depthStencil->backendName : 0;
    const bool hasStencil = m_depthStencil && m_depthStencil->Format() == D3DFMT_D24S8;
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, hasStencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                              GL_RENDERBUFFER, depth);
    // The fixed-function pipeline writes the first target only.
    const GLenum first = GL_COLOR_ATTACHMENT0;
    glDrawBuffers(1, &first);
}

void CGLDevice::ApplyStates() {
    const uint32_t* rs = m_renderStates;
    glDepthRange(m_viewport.MinZ, m_viewport.MaxZ);
    // Drawing stays inside the viewport: the target's edges clip a viewport that fills it, a scissor a
    // smaller one (the GL viewport may be the wider one of SetGLViewport).
    const CD3DSurface* target = m_targets[0];
    if (target && (m_viewport.X > 0 || m_viewport.Y > 0 || m_viewport.Width < target->Width() ||
                   m_viewport.Height < target->Height())) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(static_cast<GLint>(m_viewport.X), static_cast<GLint>(m_viewport.Y),
                  static_cast<GLsizei>(m_viewport.Width), static_cast<GLsizei>(m_viewport.Height));
    } else {
        glDisable(GL_SCISSOR_TEST);
    }

    if (rs[D3DRS_ZENABLE] && m_depthStencil) glEnable(GL_DEPTH_TEST);
    else glDisable(GL_DEPTH_TEST);
    glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    glDepthFunc(Compare(rs[D3DRS_ZFUNC]));

    const uint32_t mask = rs[D3DRS_COLORWRITEENABLE];
    glColorMask(mask & 1 ? GL_TRUE : GL_FALSE, mask & 2 ? GL_TRUE : GL_FALSE, mask & 4 ? GL_TRUE : GL_FALSE,
                mask & 8 ? GL_TRUE : GL_FALSE);

    if (rs[D3DRS_ALPHABLENDENABLE]) {
        glEnable(GL_BLEND);
        GLenum source = BlendFactor(rs[D3DRS_SRCBLEND]);
        GLenum destination = BlendFactor(rs[D3DRS_DESTBLEND]);
        // A "both" source factor sets the destination to the opposite alpha factor.
        if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) destination = GL_ONE_MINUS_SRC_ALPHA;
        if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) destination = GL_SRC_ALPHA;
        glBlendFunc(source, destination);
        glBlendEquation(BlendEquation(rs[D3DRS_BLENDOP]));
        float factor[4];
        UnpackColour(rs[D3DRS_BLENDFACTOR], factor);
        glBlendColor(factor[0], factor[1], factor[2], factor[3]);
    } else {
        glDisable(GL_BLEND);
    }

    if (rs[D3DRS_CULLMODE] == D3DCULL_NONE) {
        glDisable(GL_CULL_FACE);
    } else {
        // y is flipped on the way to GL, so the device's clockwise is GL's counter-clockwise.
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
        glCullFace(rs[D3DRS_CULLMODE] == D3DCULL_CW ? GL_FRONT : GL_BACK);
    }
    const uint32_t fill = rs[D3DRS_FILLMODE];
    glPolygonMode(GL_FRONT_AND_BACK, fill == D3DFILL_POINT ? GL_POINT : fill == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL);

    if (rs[D3DRS_STENCILENABLE] && m_depthStencil && m_depthStencil->Format() == D3DFMT_D24S8) {
        glEnable(GL_STENCIL_TEST);
        glStencilFunc(Compare(rs[D3DRS_STENCILFUNC]), static_cast<GLint>(rs[D3DRS_STENCILREF] & 0xFFu),
                      rs[D3DRS_STENCILMASK]);
        glStencilOp(StencilOp(rs[D3DRS_STENCILFAIL]), StencilOp(rs[D3DRS_STENCILZFAIL]),
                    StencilOp(rs[D3DRS_STENCILPASS]));
    } else {
        glDisable(GL_STENCIL_TEST);
    }
    glStencilMask(rs[D3DRS_STENCILWRITEMASK]);

    for (uint32_t stage = 0; stage < kSamplerStages; ++stage) {
        const uint32_t* ss = m_samplerStates[stage];
        auto filter = [](uint32_t f) { return f == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST; };
        auto address = [](uint32_t a) {
            return a == D3DTADDRESS_CLAMP    ? GL_CLAMP_TO_EDGE
                   : a == D3DTADDRESS_MIRROR ? GL_MIRRORED_REPEAT
                   : a == D3DTADDRESS_BORDER ? GL_CLAMP_TO_BORDER
                                             : GL_REPEAT;
        };
        glSamplerParameteri(m_samplers[stage], GL_TEXTURE_MAG_FILTER, filter(ss[D3DSAMP_MAGFILTER]));
        glSamplerParameteri(m_samplers[stage], GL_TEXTURE_MIN_FILTER, filter(ss[D3DSAMP_MINFILTER]));
        glSamplerParameteri(m_samplers[stage], GL_TEXTURE_WRAP_S, address(ss[D3DSAMP_ADDRESSU]));
        glSamplerParameteri(m_samplers[stage], GL_TEXTURE_WRAP_T, address(ss[D3DSAMP_ADDRESSV]));
    }
    // The fixed-function pipeline samples stage 0 only.
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, Filled(m_textures[0]));

    Multiply(m_world.m, m_view.m, m_worldView);
    Multiply(m_worldView, m_projection.m, m_wvp);
    m_uniformsChanged = true;
    m_statesChanged = false;
}

uint64_t CGLDevice::ProgramKey(bool whiteDiffuse, bool hasDiffuse) const {
    const uint32_t* rs = m_renderStates;
    const uint32_t* ts = m_stageStates[0];
    auto op = [](uint32_t o) -> uint64_t { return o >= 1 && o <= 7 ? o : D3DTOP_MODULATE; };
    auto arg = [](uint32_t a) -> uint64_t { return (a & 0xF) <= 3 ? (a & 0xF) : D3DTA_DIFFUSE; };
    uint64_t key = m_textures[0] ? 1 : 0;
    key |= op(ts[D3DTSS_COLOROP]) << 1 | arg(ts[D3DTSS_COLORARG1]) << 4 | arg(ts[D3DTSS_COLORARG2]) << 6;
    key |= op(ts[D3DTSS_ALPHAOP]) << 8 | arg(ts[D3DTSS_ALPHAARG1]) << 11 | arg(ts[D3DTSS_ALPHAARG2]) << 13;
    if (rs[D3DRS_ALPHATESTENABLE]) key |= 1ull << 15 | static_cast<uint64_t>(rs[D3DRS_ALPHAFUNC] & 15) << 16;
    // Table fog, or else vertex fog computed the same way from the depth.
    const uint32_t fogMode = rs[D3DRS_FOGTABLEMODE] != D3DFOG_NONE ? rs[D3DRS_FOGTABLEMODE] : rs[D3DRS_FOGVERTEXMODE];
    if (rs[D3DRS_FOGENABLE] && fogMode != D3DFOG_NONE) key |= 1ull << 20 | static_cast<uint64_t>(fogMode & 3) << 21;
    if (rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT) key |= 1ull << 23;
    if (rs[D3DRS_LIGHTING]) key |= kKeyLighting | (hasDiffuse ? 0 : kKeyMaterialDiffuse);
    else if (whiteDiffuse) key |= 1ull << 24;
    return key;
}

const CGLDevice::Program& CGLDevice::ProgramFor(uint64_t key) {
    auto found = m_programs.find(key);
    if (found != m_programs.end()) return found->second;
    Program program;
    const GLuint vs = Compile(GL_VERTEX_SHADER, VertexSource(key));
    const GLuint fs = Compile(GL_FRAGMENT_SHADER, FragmentSource(key));
    program.name = glCreateProgram();
    glAttachShader(program.name, vs);
    glAttachShader(program.name, fs);
    glLinkProgram(program.name);
    glDeleteShader(vs);
    glDeleteShader(fs);
    program.wvp = glGetUniformLocation(program.name, "uWVP");
    program.pixelShift = glGetUniformLocation(program.name, "uPixelShift");
    program.alphaRef = glGetUniformLocation(program.name, "uAlphaRef");
    program.fogColour = glGetUniformLocation(program.name, "uFogColour");
    program.fogParams = glGetUniformLocation(program.name, "uFogParams");
    program.textureFactor = glGetUniformLocation(program.name, "uTextureFactor");
    if (key & kKeyLighting) {
        static const char* const kNames[] = {"uWorldView",       "uNormalMatrix",    "uNormalize",
                                             "uGlobalAmbient",   "uMaterialDiffuse", "uMaterialAmbient",
                                             "uMaterialEmissive", "uLightKind",      "uLightPlace",
                                             "uLightDiffuse",    "uLightAmbient",    "uLightAttenuation"};
        static_assert(sizeof kNames / sizeof kNames[0] == sizeof program.lighting / sizeof program.lighting[0]);
        for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i)
            program.lighting[i] = glGetUniformLocation(program.name, kNames[i]);
    }
    glUseProgram(program.name);
    glUniform1i(glGetUniformLocation(program.name, "uTexture0"), 0);
    m_program = nullptr;
    m_shaderProgram = nullptr;
    return m_programs.emplace(key, program).first->second;
}

// The lights go to camera space: a point light's position and range, a directional light's direction
// towards the light, normalised (a zero direction stays zero).
void CGLDevice::SendLighting(const Program& program) {
    const int* at = program.lighting;
    const float* v = m_view.m;
    float kind[kLights] = {}, place[kLights][4] = {}, diffuse[kLights][4] = {}, ambient[kLights][4] = {};
    float attenuation[kLights][3] = {};
    for (uint32_t i = 0; i < kLights; ++i) {
        if (!m_lightOn[i]) continue;
        const D3DLIGHT9& light = m_lights[i];
        kind[i] = static_cast<float>(light.Type);
        if (light.Type == D3DLIGHT_POINT) {
            const double x = light.Position.x, y = light.Position.y, z = light.Position.z;
            for (int c = 0; c < 3; ++c)
                place[i][c] = static_cast<float>(x * v[c] + y * v[4 + c] + z * v[8 + c] + v[12 + c]);
            place[i][3] = light.Range;
        } else {
            const double x = light.Direction.x, y = light.Direction.y, z = light.Direction.z;
            double d[3], length = 0.0;
            for (int c = 0; c < 3; ++c) {
                d[c] = x * v[c] + y * v[4 + c] + z * v[8 + c];
                length += d[c] * d[c];
            }
            length = std::sqrt(length);
            for (int c = 0; c < 3; ++c)
                place[i][c] = length > 0.0 ? static_cast<float>(-d[c] / length) : 0.0f;
        }
        const D3DCOLORVALUE* colours[2] = {&light.Diffuse, &light.Ambient};
        float(*targets[2])[4] = {diffuse, ambient};
        for (int k = 0; k < 2; ++k) {
            targets[k][i][0] = colours[k]->r;
            targets[k][i][1] = colours[k]->g;
            targets[k][i][2] = colours[k]->b;
            targets[k][i][3] = colours[k]->a;
        }
        attenuation[i][0] = light.Attenuation0;
        attenuation[i][1] = light.Attenuation1;
        attenuation[i][2] = light.Attenuation2;
    }
    float normal[9];
    Inverse3(m_worldView, normal);
    float global[4];
    UnpackColour(m_renderStates[D3DRS_AMBIENT], global);
    glUniformMatrix4fv(at[0], 1, GL_FALSE, m_worldView);
    // The inverse, read by columns, is the inverse transpose that carries row-vector normals.
    glUniformMatrix3fv(at[1], 1, GL_TRUE, normal);
    glUniform1f(at[2], m_renderStates[D3DRS_NORMALIZENORMALS] ? 1.0f : 0.0f);
    glUniform4fv(at[3], 1, global);
    glUniform4fv(at[4], 1, &m_material.Diffuse.r);
    glUniform4fv(at[5], 1, &m_material.Ambient.r);
    glUniform4fv(at[6], 1, &m_material.Emissive.r);
    glUniform1fv(at[7], kLights, kind);
    glUniform4fv(at[8], kLights, &place[0][0]);
    glUniform4fv(at[9], kLights, &diffuse[0][0]);
    glUniform4fv(at[10], kLights, &ambient[0][0]);
    glUniform3fv(at[11], kLights, &attenuation[0][0]);
}

bool CGLDevice::BackendCreateShader(CD3DShader& shader) {
    MakeCurrent();
    bool compiled = false;
    const GLuint name = Compile(shader.Code().pixel ? GL_FRAGMENT_SHADER : GL_VERTEX_SHADER, shader.Code().glsl, &compiled);
    if (!compiled) {
        glDeleteShader(name);
        return false;
    }
    shader.backendName = name;
    return true;
}

const CGLDevice::ShaderProgram& CGLDevice::ShaderProgramFor(const CD3DShader& vertex, const CD3DShader& pixel) {
    const auto key = std::make_pair(vertex.Serial(), pixel.Serial());
    auto found = m_shaderPrograms.find(key);
    if (found != m_shaderPrograms.end()) return found->second;
    ShaderProgram program;
    // A varying the pixel program reads and the vertex program does not write reads as zero.
    std::string pixelText = pixel.Code().glsl;
    bool variant = false;
    for (const std::string& varying : pixel.Code().varyings) {
        const auto& written = vertex.Code().varyings;
        if (std::find(written.begin(), written.end(), varying) != written.end()) continue;
        const std::string declaration = "in vec4 " + varying + ";";
        const size_t at = pixelText.find(declaration);
        if (at == std::string::npos) continue;
        pixelText.replace(at, declaration.size(), "vec4 " + varying + " = vec4(0.0);");
        variant = true;
    }
    bool compiled = true;
    const GLuint fragment = variant ? Compile(GL_FRAGMENT_SHADER, pixelText, &compiled) : pixel.backendName;
    program.name = glCreateProgram();
    glAttachShader(program.name, vertex.backendName);
    glAttachShader(program.name, fragment);
    glLinkProgram(program.name);
    glDetachShader(program.name, vertex.backendName);
    glDetachShader(program.name, fragment);
    if (variant) glDeleteShader(fragment);
    GLint linked = 0;
    glGetProgramiv(program.name, GL_LINK_STATUS, &linked);
    program.linked = compiled && linked != 0;
    if (!program.linked) {
        char log[1024] = {0};
        glGetProgramInfoLog(program.name, sizeof log, nullptr, log);
        std::fprintf(stderr, "GL program link failed: %s\n", log);
        return m_shaderPrograms.emplace(key, program).first->second;
    }
    glUseProgram(program.name);
    m_program = nullptr;
    m_shaderProgram = nullptr;
    program.clipFix = glGetUniformLocation(program.name, "dx_ClipFix");
    program.alphaTest = glGetUniformLocation(program.name, "dx_AlphaTest");
    program.inputs = vertex.Code().inputs;
    const CD3DShader* shaders[2] = {&vertex, &pixel};
    for (int stage = 0; stage < 2; ++stage) {
        for (const D3DShaderUniform& u : shaders[stage]->Code().uniforms) {
            const GLint location = glGetUniformLocation(program.name, u.name.c_str());
            if (location >= 0) program.uniforms.push_back(ShaderProgram::Uniform{location, stage, u});
        }
        for (const D3DShaderSampler& sampler : shaders[stage]->Code().samplers) {
            const GLint location = glGetUniformLocation(program.name, sampler.name.c_str());
            if (location < 0) continue;
            GLint units[kSamplerStages];
            for (uint32_t i = 0; i < sampler.count && sampler.stage + i < kSamplerStages; ++i) {
                units[i] = static_cast<GLint>(sampler.stage + i);
                program.stages.push_back(sampler.stage + i);
            }
            glUniform1iv(location, static_cast<GLsizei>(std::min<uint32_t>(sampler.count, kSamplerStages)), units);
        }
    }
    return m_shaderPrograms.emplace(key, program).first->second;
}

void CGLDevice::UploadConstants(const ShaderProgram& program) {
    for (const ShaderProgram::Uniform& u : program.uniforms) {
        if (u.stage == 0) SendUniform(u.location, u.info, m_vertexConstants, D3D_VertexConstantRegisters);
        else SendUniform(u.location, u.info, m_pixelConstants, D3D_PixelConstantRegisters);
    }
}

void CGLDevice::BindInputs(const std::vector<D3DShaderInput>& inputs, bool fixedPipeline, uint32_t fvf,
                           uint32_t stride, uint32_t firstVertex, uint32_t vertexStep) {
    const std::vector<D3DVERTEXELEMENT9> fixed = m_declaration ? std::vector<D3DVERTEXELEMENT9>() : ElementsOfFVF(fvf);
    const std::vector<D3DVERTEXELEMENT9>& elements = m_declaration ? m_declaration->Elements() : fixed;
    const auto step = static_cast<GLsizei>(stride * vertexStep);
    for (const D3DShaderInput& input : inputs) {
        const D3DVERTEXELEMENT9* match = nullptr;
        for (const D3DVERTEXELEMENT9& e : elements)
            if (e.Usage == input.usage && e.UsageIndex == input.usageIndex) match = &e;
        if (!match) {
            // A missing colour is white to the fixed pipeline.
            const float fill = fixedPipeline && input.usage == D3DDECLUSAGE_COLOR ? 1.0f : 0.0f;
            glDisableVertexAttribArray(input.location);
            glVertexAttrib4f(input.location, fill, fill, fill, 1.0f);
            continue;
        }
        const auto* offset = reinterpret_cast<const void*>(static_cast<uintptr_t>(firstVertex) * stride + match->Offset);
        glEnableVertexAttribArray(input.location);
        switch (match->Type) {
        case D3DDECLTYPE_D3DCOLOR: glVertexAttribPointer(input.location, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, step, offset); break;
        case D3DDECLTYPE_UBYTE4: glVertexAttribPointer(input.location, 4, GL_UNSIGNED_BYTE, GL_FALSE, step, offset); break;
        default:
            glVertexAttribPointer(input.location, static_cast<GLint>(match->Type - D3DDECLTYPE_FLOAT1 + 1), GL_FLOAT,
                                  GL_FALSE, step, offset);
            break;
        }
    }
    // The fixed layout is set again at its next use.
    m_layoutFvf = ~0u;
}

void CGLDevice::DrawWithShaders(uint32_t type, uint32_t vertexCount, uint32_t stride, uint32_t fvf) {
    const ShaderProgram& program = ShaderProgramFor(*m_vertexShader, *m_pixelShader);
    if (!program.linked) return;
    if (&program != m_shaderProgram) {
        glUseProgram(program.name);
        m_shaderProgram = &program;
        m_program = nullptr;
        m_constantsChanged = true;
    }
    const uint32_t* rs = m_renderStates;
    const bool pointsOrLines = type <= D3DPT_LINESTRIP;
    const float clipScale = SetGLViewport(!pointsOrLines);
    const float shift = (pointsOrLines ? 1.0f - 2.0f * kTieBias : 1.0f) * clipScale;
    glUniform4f(program.clipFix, clipScale, shift / static_cast<float>(m_viewport.Width),
                shift / static_cast<float>(m_viewport.Height), 0.0f);
    const uint32_t function = rs[D3DRS_ALPHATESTENABLE] ? (rs[D3DRS_ALPHAFUNC] >= 1 && rs[D3DRS_ALPHAFUNC] <= 8 ? rs[D3DRS_ALPHAFUNC] : 8) : 0;
    glUniform2f(program.alphaTest, static_cast<float>(function), static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFFu));
    if (m_constantsChanged) {
        UploadConstants(program);
        m_constantsChanged = false;
    }
    for (uint32_t stage : program.stages) {
        glActiveTexture(GL_TEXTURE0 + stage);
        glBindTexture(GL_TEXTURE_2D, Filled(m_textures[stage]));
    }
    glActiveTexture(GL_TEXTURE0);
    // Every bound target receives its output.
    GLenum buffers[kMaxRenderTargets];
    GLsizei n = 0;
    while (n < static_cast<GLsizei>(kMaxRenderTargets) && m_targets[n]) {
        buffers[n] = GL_COLOR_ATTACHMENT0 + static_cast<GLenum>(n);
        ++n;
    }
    glDrawBuffers(n, buffers);
    DrawArrays(type, vertexCount, stride, fvf, &program);
    const GLenum first = GL_COLOR_ATTACHMENT0;
    glDrawBuffers(1, &first);
}

void CGLDevice::DrawArrays(uint32_t type, uint32_t vertexCount, uint32_t stride, uint32_t fvf,
                           const ShaderProgram* shaders) {
    // The inputs of the generated fixed-function programs.
    static const std::vector<D3DShaderInput> kFixedInputs = {
        {0, D3DDECLUSAGE_POSITION, 0}, {1, D3DDECLUSAGE_NORMAL, 0}, {2, D3DDECLUSAGE_COLOR, 0},
        {3, D3DDECLUSAGE_TEXCOORD, 0}};
    auto layout = [&](uint32_t firstVertex, uint32_t vertexStep) {
        if (shaders) BindInputs(shaders->inputs, false, fvf, stride, firstVertex, vertexStep);
        else if (m_declaration) BindInputs(kFixedInputs, true, fvf, stride, firstVertex, vertexStep);
        else SetVertexLayout(fvf, stride, firstVertex, vertexStep);
    };
    layout(0, 1);
    static const GLenum modes[] = {GL_POINTS,    GL_POINTS,         GL_LINES,         GL_LINE_STRIP,
                                   GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};
    glDrawArrays(modes[type], 0, static_cast<GLsizei>(vertexCount));
    // The device lights the last pixel of every line; GL leaves it out, so it is drawn as a point.
    if ((type == D3DPT_LINELIST || type == D3DPT_LINESTRIP) && m_renderStates[D3DRS_LASTPIXEL]) {
        if (type == D3DPT_LINELIST) {
            layout(1, 2);
            glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(vertexCount / 2));
        } else {
            glDrawArrays(GL_POINTS, static_cast<GLint>(vertexCount - 1), 1);
        }
    }
}

// A triangle with a corner outside the viewport sends a whole draw down GL's clipping path, which a
// software rasteriser runs slowly, triangle by triangle. So triangles go through a viewport twice as
// wide and high, centred on the device's, with clip-space x and y halved: halving is exact in floating
// point and the viewport transform doubles them back, so every window position is the same to the bit,
// while only geometry lying more than half a viewport outside is clipped. The scissor of ApplyStates
// keeps the pixels inside the device's viewport. Returns the factor for clip-space x and y.
float CGLDevice::SetGLViewport(bool wide) {
    const float x = static_cast<float>(m_viewport.X), y = static_cast<float>(m_viewport.Y);
    const float w = static_cast<float>(m_viewport.Width), h = static_cast<float>(m_viewport.Height);
    if (wide && m_wideViewports && 2.0f * w <= m_maxViewport[0] && 2.0f * h <= m_maxViewport[1] &&
        x - 0.5f * w >= m_viewportBounds[0] && y - 0.5f * h >= m_viewportBounds[0] &&
        x + 1.5f * w <= m_viewportBounds[1] && y + 1.5f * h <= m_viewportBounds[1]) {
        glViewportIndexedf(0, x - 0.5f * w, y - 0.5f * h, 2.0f * w, 2.0f * h);
        return 0.5f;
    }
    glViewport(static_cast<GLint>(m_viewport.X), static_cast<GLint>(m_viewport.Y),
               static_cast<GLsizei>(m_viewport.Width), static_cast<GLsizei>(m_viewport.Height));
    return 1.0f;
}

void CGLDevice::SetVertexLayout(uint32_t fvf, uint32_t stride, uint32_t firstVertex, uint32_t vertexStep) {
    const uint32_t step = stride * vertexStep;
    if (fvf == m_layoutFvf && step == m_layoutStride && firstVertex == 0) return;
    m_layoutFvf = firstVertex == 0 ? fvf : ~0u;
    m_layoutStride = step;
    uintptr_t offset = static_cast<uintptr_t>(firstVertex) * stride;
    auto pointer = [](uintptr_t o) { return reinterpret_cast<const void*>(o); };
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, static_cast<GLsizei>(step), pointer(offset));
    offset += (fvf & D3DFVF_XYZ) ? 12 : 0;
    if (fvf & D3DFVF_NORMAL) {
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, static_cast<GLsizei>(step), pointer(offset));
        offset += 12;
    } else {
        glDisableVertexAttribArray(1);
        glVertexAttrib3f(1, 0.0f, 0.0f, 0.0f);
    }
    if (fvf & D3DFVF_DIFFUSE) {
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, static_cast<GLsizei>(step), pointer(offset));
        offset += 4;
    } else {
        glDisableVertexAttribArray(2);
        glVertexAttrib4f(2, 1.0f, 1.0f, 1.0f, 1.0f);
    }
    if (fvf & D3DFVF_TEX1) {
        glEnableVertexAttribArray(3);
        glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, static_cast<GLsizei>(step), pointer(offset));
    } else {
        glDisableVertexAttribArray(3);
        glVertexAttrib2f(3, 0.0f, 0.0f);
    }
}

// A pair of programs set on the device draws in place of the fixed pipeline.
void CGLDevice::BackendDraw(uint32_t type, uint32_t vertexCount, const uint8_t* vertices, uint32_t stride,
                            uint32_t fvf) {
    MakeCurrent();
    ApplyTargets();
    if (m_statesChanged) ApplyStates();
    if (DrawAsCopy(type, vertexCount, vertices, stride, fvf)) return;
    if (m_vertexShader && m_pixelShader) {
        glBindVertexArray(m_vao);
        glBindBuffer(GL_ARRAY_BUFFER, m_vbo);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount) * stride, vertices, GL_STREAM_DRAW);
        DrawWithShaders(type, vertexCount, stride, fvf);
        AfterDraw(vertexCount);
        return;
    }
    const bool lit = m_renderStates[D3DRS_LIGHTING] != 0;
    const Program& program = ProgramFor(ProgramKey(!lit && AllDiffuseWhite(vertices, vertexCount, stride, fvf, m_declaration),
                                                   HasDiffuse(fvf, m_declaration)));
    const bool pointsOrLines = type <= D3DPT_LINESTRIP;
    if (&program != m_program) {
        glUseProgram(program.name);
        m_program = &program;
        m_shaderProgram = nullptr;
        m_uniformsChanged = true;
    }
    if (m_uniformsChanged || m_pointsOrLines != pointsOrLines) {
        const uint32_t* rs = m_renderStates;
        // Points and lines keep the device's viewport, whose edges decide which of their end pixels are lit.
        const float clipScale = SetGLViewport(!pointsOrLines);
        const float shift = (pointsOrLines ? 1.0f - 2.0f * kTieBias : 1.0f) * clipScale;
        // Fog depth: w under a perspective projection (element 11 is 1), else z.
        const float useW = m_projection.m[11] == 1.0f ? 1.0f : 0.0f;
        float wvp[16];
        std::memcpy(wvp, m_wvp, sizeof wvp);
        for (int row = 0; row < 4; ++row) {
            wvp[row * 4 + 0] *= clipScale;
            wvp[row * 4 + 1] *= clipScale;
        }
        glUniformMatrix4fv(program.wvp, 1, GL_FALSE, wvp);
        glUniform3f(program.pixelShift, shift / static_cast<float>(m_viewport.Width),
                    shift / static_cast<float>(m_viewport.Height), useW);
        glUniform1f(program.alphaRef, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFFu));
        float colour[4];
        UnpackColour(rs[D3DRS_FOGCOLOR], colour);
        glUniform4fv(program.fogColour, 1, colour);
        glUniform3f(program.fogParams, FloatOf(rs[D3DRS_FOGSTART]), FloatOf(rs[D3DRS_FOGEND]),
                    FloatOf(rs[D3DRS_FOGDENSITY]));
        UnpackColour(rs[D3DRS_TEXTUREFACTOR], colour);
        glUniform4fv(program.textureFactor, 1, colour);
        if (lit) SendLighting(program);
        m_uniformsChanged = false;
        m_pointsOrLines = pointsOrLines;
    }
    glBindVertexArray(m_vao);
    glBindBuffer(GL_ARRAY_BUFFER, m_vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount) * stride, vertices, GL_STREAM_DRAW);
    const bool unblended = BlendChangesNothing(vertices, vertexCount, stride, fvf);
    if (unblended) glDisable(GL_BLEND);
    DrawArrays(type, vertexCount, stride, fvf, nullptr);
    if (unblended) glEnable(GL_BLEND);
    AfterDraw(vertexCount);
}

// A software rasteriser starts on a frame's triangles only when they are flushed to it (at the latest
// when the frame is read or shown), and the draw calls before that only transform and sort them on the
// calling thread. Flushing every few thousand vertices lets its threads fill pixels while this thread
// goes on with the next draws; the order of the drawing, and so every pixel, stays the same.
void CGLDevice::AfterDraw(uint32_t vertexCount) {
    constexpr uint32_t kFlushVertices = 12288;
    m_verticesQueued += vertexCount;
    if (m_verticesQueued < kFlushVertices) return;
    glFlush();
    m_verticesQueued = 0;
}

// A fan of four vertices that puts a texture's texels one to one on the target's pixels, through the
// fixed pipeline with nothing between the texel and the pixel (white opaque vertices, the texture
// selected or modulated by them, no blend, alpha test, fog, lighting, depth or stencil test, culling,
// or partial colour mask), writes each texel unchanged: it is copied instead of drawn, which a software
// rasteriser does as a plain copy of memory. The screen's composition into the back buffer at its own
// size is such a draw. False (nothing done) for any other draw.
bool CGLDevice::DrawAsCopy(uint32_t type, uint32_t count, const uint8_t* vertices, uint32_t stride, uint32_t fvf) {
    const uint32_t* rs = m_renderStates;
    const uint32_t* ts = m_stageStates[0];
    Filled(m_textures[0]);
    const CD3DTexture* texture = m_textures[0];
    const CD3DSurface* target = m_targets[0];
    if (type != D3DPT_TRIANGLEFAN || count != 4 || fvf != (D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1) ||
        stride < 24 || m_vertexShader || m_pixelShader || m_declaration || !texture || !texture->backendName ||
        !target)
        return false;
    if (rs[D3DRS_ALPHABLENDENABLE] || rs[D3DRS_ALPHATESTENABLE] || rs[D3DRS_FOGENABLE] || rs[D3DRS_LIGHTING] ||
        (rs[D3DRS_COLORWRITEENABLE] & 0xF) != 0xF || (rs[D3DRS_ZENABLE] && m_depthStencil) ||
        (rs[D3DRS_STENCILENABLE] && m_depthStencil) || rs[D3DRS_CULLMODE] != D3DCULL_NONE ||
        rs[D3DRS_FILLMODE] != D3DFILL_SOLID)
        return false;
    // The stage gives the texel: the texture alone, or times the diffuse colour (white).
    auto texel = [](uint32_t op, uint32_t a1, uint32_t a2) {
        if (op == D3DTOP_SELECTARG1) return (a1 & 0xF) == D3DTA_TEXTURE;
        if (op == D3DTOP_SELECTARG2) return (a2 & 0xF) == D3DTA_TEXTURE;
        return op == D3DTOP_MODULATE && (((a1 & 0xF) == D3DTA_TEXTURE && (a2 & 0xF) == D3DTA_DIFFUSE) ||
                                         ((a1 & 0xF) == D3DTA_DIFFUSE && (a2 & 0xF) == D3DTA_TEXTURE));
    };
    if (!texel(ts[D3DTSS_COLOROP], ts[D3DTSS_COLORARG1], ts[D3DTSS_COLORARG2]) ||
        !texel(ts[D3DTSS_ALPHAOP], ts[D3DTSS_ALPHAARG1], ts[D3DTSS_ALPHAARG2]))
        return false;
    if (texture->Format() != D3DFMT_A8R8G8B8 || target->Format() != D3DFMT_A8R8G8B8 || target->Container() == texture)
        return false;
    // Each corner where the device puts it (pixel centres at whole numbers) and its texel coordinates.
    // All four share one w (so texels are spread evenly over the pixels) and lie inside the depth range
    // (outside it the draw would be clipped away).
    double x[4], y[4], u[4], v[4], w0 = 0;
    const float* m = m_wvp;
    for (uint32_t i = 0; i < 4; ++i) {
        float p[3], uv[2];
        uint32_t colour;
        std::memcpy(p, vertices + i * stride, sizeof p);
        std::memcpy(&colour, vertices + i * stride + 12, sizeof colour);
        std::memcpy(uv, vertices + i * stride + 16, sizeof uv);
        if (colour != 0xFFFFFFFFu) return false;
        const double cx = p[0] * m[0] + p[1] * m[4] + p[2] * m[8] + m[12];
        const double cy = p[0] * m[1] + p[1] * m[5] + p[2] * m[9] + m[13];
        const double cz = p[0] * m[2] + p[1] * m[6] + p[2] * m[10] + m[14];
        const double cw = p[0] * m[3] + p[1] * m[7] + p[2] * m[11] + m[15];
        if (i == 0) w0 = cw;
        if (!(cw > 0) || cw != w0 || !(cz >= 0 && cz <= cw)) return false;
        x[i] = m_viewport.X + (cx / cw + 1.0) * m_viewport.Width / 2.0;
        y[i] = m_viewport.Y + (1.0 - cy / cw) * m_viewport.Height / 2.0;
        u[i] = static_cast<double>(uv[0]) * texture->Width();
        v[i] = static_cast<double>(uv[1]) * texture->Height();
    }
    // An upright rectangle, corners in order round it, texels the same way up.
    if (x[0] != x[3] || x[1] != x[2] || y[0] != y[1] || y[2] != y[3] || u[0] != u[3] || u[1] != u[2] ||
        v[0] != v[1] || v[2] != v[3])
        return false;
    // Edges on pixel boundaries (half-way between centres), texel edges on whole texels, one texel a pixel.
    // Point sampling takes the same texels from edges up to the rasteriser's sub-pixel step away; a
    // filtered sample at a pixel's centre takes nothing of the next texel only when they are far closer.
    const uint32_t* ss = m_samplerStates[0];
    const double tolerance =
        ss[D3DSAMP_MINFILTER] == D3DTEXF_LINEAR || ss[D3DSAMP_MAGFILTER] == D3DTEXF_LINEAR ? 1.0 / 4096 : 1.0 / 256;
    auto whole = [tolerance](double a, int32_t& out) {
        if (!(std::fabs(a) < 1e6)) return false;
        const double n = std::floor(a + 0.5);
        out = static_cast<int32_t>(n);
        return std::fabs(a - n) < tolerance;
    };
    int32_t px0, px1, py0, py1, tx0, tx1, ty0, ty1;
    if (!whole(x[0] + 0.5, px0) || !whole(x[1] + 0.5, px1) || !whole(y[0] + 0.5, py0) || !whole(y[2] + 0.5, py1) ||
        !whole(u[0], tx0) || !whole(u[1], tx1) || !whole(v[0], ty0) || !whole(v[2], ty1))
        return false;
    if (px1 <= px0 || py1 <= py0 || tx1 - tx0 != px1 - px0 || ty1 - ty0 != py1 - py0) return false;
    // Inside the viewport (which the drawing would be clipped to) and inside the texture.
    if (px0 < static_cast<int32_t>(m_viewport.X) || py0 < static_cast<int32_t>(m_viewport.Y) ||
        px1 > static_cast<int32_t>(m_viewport.X + m_viewport.Width) ||
        py1 > static_cast<int32_t>(m_viewport.Y + m_viewport.Height) || tx0 < 0 || ty0 < 0 ||
        tx1 > static_cast<int32_t>(texture->Width()) || ty1 > static_cast<int32_t>(texture->Height()))
        return false;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture->backendName, 0);
    glBlitFramebuffer(tx0, ty0, tx1, ty1, px0, py0, px1, py1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    return true;
}

// Whether the blend of the fixed pipeline leaves every pixel the draw writes as the pipeline's output
// anyway, so that blending can be left out (for a software rasteriser the larger part of a pixel's
// cost). That holds for the usual alpha blend (source times its alpha, or premultiplied, plus the
// destination times one minus the source alpha) when the output alpha is 1: the texels sampled are
// opaque (the caller says so, for point sampling), every vertex colour is opaque, and the alpha the
// stage makes from them, and from the texture factor when it takes part, is theirs.
bool CGLDevice::BlendChangesNothing(const uint8_t* vertices, uint32_t count, uint32_t stride, uint32_t fvf) const {
    const uint32_t* rs = m_renderStates;
    const uint32_t* ts = m_stageStates[0];
    const uint32_t* ss = m_samplerStates[0];
    if (!m_opaqueSamples || !rs[D3DRS_ALPHABLENDENABLE] || rs[D3DRS_LIGHTING] || !m_textures[0] ||
        (rs[D3DRS_SRCBLEND] != D3DBLEND_SRCALPHA && rs[D3DRS_SRCBLEND] != D3DBLEND_ONE) ||
        rs[D3DRS_DESTBLEND] != D3DBLEND_INVSRCALPHA || rs[D3DRS_BLENDOP] != D3DBLENDOP_ADD ||
        ss[D3DSAMP_MINFILTER] == D3DTEXF_LINEAR || ss[D3DSAMP_MAGFILTER] == D3DTEXF_LINEAR)
        return false;
    // The alpha arguments as ProgramKey reads them: the texture, the factor or the diffuse colour.
    for (const uint32_t a : {ts[D3DTSS_ALPHAARG1], ts[D3DTSS_ALPHAARG2]}) {
        const uint32_t arg = (a & 0xF) <= 3 ? (a & 0xF) : D3DTA_DIFFUSE;
        if (arg == D3DTA_TFACTOR && (rs[D3DRS_TEXTUREFACTOR] >> 24) != 0xFF) return false;
    }
    if (!HasDiffuse(fvf, m_declaration)) return true;
    size_t offset = ((fvf & D3DFVF_XYZ) ? 12 : 0) + ((fvf & D3DFVF_NORMAL) ? 12 : 0);
    if (m_declaration) {
        for (const D3DVERTEXELEMENT9& e : m_declaration->Elements())
            if (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex == 0) {
                if (e.Type != D3DDECLTYPE_D3DCOLOR) return false;
                offset = e.Offset;
            }
    }
    const uint8_t* alpha = vertices + offset + 3;
    for (uint32_t i = 0; i < count; ++i, alpha += stride)
        if (*alpha != 0xFF) return false;
    return true;
}

// The clear covers the viewport of every bound target and writes all channels, depth and stencil.
void CGLDevice::BackendClear(uint32_t flags, uint32_t colour, float z, uint32_t stencil) {
    MakeCurrent();
    ApplyTargets();
    glEnable(GL_SCISSOR_TEST);
    glScissor(static_cast<GLint>(m_viewport.X), static_cast<GLint>(m_viewport.Y),
              static_cast<GLsizei>(m_viewport.Width), static_cast<GLsizei>(m_viewport.Height));
    if (flags & D3DCLEAR_TARGET) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        float c[4];
        UnpackColour(colour, c);
        for (uint32_t slot = 0; slot < kMaxRenderTargets; ++slot) {
            if (!m_targets[slot]) continue;
            GLenum buffers[kMaxRenderTargets] = {GL_NONE, GL_NONE, GL_NONE, GL_NONE};
            buffers[slot] = GL_COLOR_ATTACHMENT0 + slot;
            glDrawBuffers(kMaxRenderTargets, buffers);
            glClearBufferfv(GL_COLOR, static_cast<GLint>(slot), c);
        }
        const GLenum first = GL_COLOR_ATTACHMENT0;
        glDrawBuffers(1, &first);
    }
    if (flags & D3DCLEAR_ZBUFFER) glDepthMask(GL_TRUE);
    if (flags & D3DCLEAR_STENCIL) glStencilMask(0xFFu);
    const GLint s = static_cast<GLint>(stencil & 0xFFu);
    if ((flags & D3DCLEAR_ZBUFFER) && (flags & D3DCLEAR_STENCIL) && m_depthStencil->Format() == D3DFMT_D24S8)
        glClearBufferfi(GL_DEPTH_STENCIL, 0, z, s);
    else if (flags & D3DCLEAR_ZBUFFER)
        glClearBufferfv(GL_DEPTH, 0, &z);
    else if ((flags & D3DCLEAR_STENCIL) && m_depthStencil->Format() == D3DFMT_D24S8)
        glClearBufferiv(GL_STENCIL, 0, &s);
    // Masks and scissor go back to the states' values at the next draw.
    m_statesChanged = true;
    glDisable(GL_SCISSOR_TEST);
}

bool CGLDevice::BackendStretch(CD3DSurface& source, const D3DRECT& s, CD3DSurface& destination,
                               const D3DRECT& d, bool linear) {
    MakeCurrent();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, ColourName(source), 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_drawFbo);
    // The draw framebuffer is borrowed: its attachments are set again before the next draw.
    for (uint32_t slot = 0; slot < kMaxRenderTargets; ++slot)
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + slot, GL_TEXTURE_2D,
                               slot == 0 ? ColourName(destination) : 0, 0);
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    const GLenum first = GL_COLOR_ATTACHMENT0;
    glDrawBuffers(1, &first);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    // Unscaled, every pixel falls on a texel centre, where filtering changes nothing; a copy without
    // filtering is a plain copy of the pixels for the driver, while a filtered one runs a shader.
    const bool scaled = s.x2 - s.x1 != d.x2 - d.x1 || s.y2 - s.y1 != d.y2 - d.y1;
    glBlitFramebuffer(s.x1, s.y1, s.x2, s.y2, d.x1, d.y1, d.x2, d.y2, GL_COLOR_BUFFER_BIT,
                      linear && scaled ? GL_LINEAR : GL_NEAREST);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    m_targetsChanged = true;
    m_statesChanged = true;
    return true;
}

bool CGLDevice::BackendRead(CD3DSurface& surface, const D3DRECT& rect, uint8_t* dest, uint32_t pitch) {
    MakeCurrent();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, ColourName(surface), 0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    const GLsizei w = rect.x2 - rect.x1;
    for (int32_t y = rect.y1; y < rect.y2; ++y)
        glReadPixels(rect.x1, y, w, 1, GL_BGRA, GL_UNSIGNED_BYTE, dest + static_cast<size_t>(y - rect.y1) * pitch);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    return glGetError() == GL_NO_ERROR;
}

// The program of unscaled presents: one triangle over the window, each pixel fetching its texel of the
// back buffer, rows turned over.
bool CGLDevice::PresentProgram() {
    if (m_presentProgram) return true;
    static const char kVertex[] = "#version 330 core\n"
                                  "void main() {\n"
                                  "    gl_Position = vec4(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0, "
                                  "0.0, 1.0);\n"
                                  "}\n";
    static const char kFragment[] = "#version 330 core\n"
                                    "uniform sampler2D uBack;\n"
                                    "uniform int uTop;\n"
                                    "layout(location = 0) out vec4 outColour;\n"
                                    "void main() {\n"
                                    "    outColour = texelFetch(uBack, ivec2(int(gl_FragCoord.x), uTop - "
                                    "int(gl_FragCoord.y)), 0);\n"
                                    "}\n";
    bool compiled = false, fragmentCompiled = false;
    const GLuint vs = Compile(GL_VERTEX_SHADER, kVertex, &compiled);
    const GLuint fs = Compile(GL_FRAGMENT_SHADER, kFragment, &fragmentCompiled);
    const GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!compiled || !fragmentCompiled || !linked) {
        glDeleteProgram(program);
        return false;
    }
    m_presentProgram = program;
    m_presentTop = glGetUniformLocation(program, "uTop");
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "uBack"), 0);
    glGenVertexArrays(1, &m_presentVao);
    m_program = nullptr;
    m_shaderProgram = nullptr;
    return true;
}

// The back buffer goes onto the context's framebuffer, whose rows run bottom-up: unscaled by drawing it
// texel by texel, scaled by a filtered blit.
void CGLDevice::BackendPresent(CD3DSurface& backBuffer) {
    MakeCurrent();
    int w = 0;
    int h = 0;
    m_context->DrawableSize(w, h);
    if (w > 0 && h > 0) {
        const auto bw = static_cast<GLint>(backBuffer.Width()), bh = static_cast<GLint>(backBuffer.Height());
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        if (bw == w && bh == h && PresentProgram()) {
            glDisable(GL_BLEND);
            glDisable(GL_DEPTH_TEST);
            glDisable(GL_STENCIL_TEST);
            glDisable(GL_CULL_FACE);
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
            glViewport(0, 0, w, h);
            glUseProgram(m_presentProgram);
            glUniform1i(m_presentTop, h - 1);
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, ColourName(backBuffer));
            glBindVertexArray(m_presentVao);
            glDrawArrays(GL_TRIANGLES, 0, 3);
            glBindVertexArray(m_vao);
            m_program = nullptr;
            m_shaderProgram = nullptr;
        } else {
            glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
            glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, ColourName(backBuffer), 0);
            glBlitFramebuffer(0, 0, bw, bh, 0, h, w, 0, GL_COLOR_BUFFER_BIT, GL_LINEAR);
            glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        }
        m_statesChanged = true;
    }
    m_context->SwapBuffers();
    glFlush();
    m_verticesQueued = 0;
}

// The immediate interval presents at once; any other waits for the display.
void CGLDevice::BackendPresentParameters() {
    MakeCurrent();
    m_context->SetSwapInterval(PresentParameters().PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
}

CD3DDevice* GL_CreateDevice(void* window) {
    CGLContext* context = nullptr;
    if (window) context = GL_CreateWindowContext(window);
    if (!context) context = GL_CreateHeadlessContext();
    if (!context || !context->MakeCurrent()) {
        delete context;
        return nullptr;
    }
    return new CGLDevice(context);
}
