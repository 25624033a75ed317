// The shader compiler's constant tables and messages, and programs drawing on the GL backend.
#include "device/device.h"
#include "device/shader_compiler.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Compiled {
    uint32_t result = 0;
    CD3DXShaderCode* code = nullptr;
    CD3DXConstantTable* table = nullptr;
    std::string errors;
    ~Compiled() {
        if (code) code->Release();
        if (table) table->Release();
    }
    const D3DXCONSTANT_DESC* Find(const char* name) const {
        for (uint32_t i = 0; const D3DXCONSTANT_DESC* d = table->GetConstant(i); ++i)
            if (d->Name == name) return d;
        return nullptr;
    }
};

void CompileInto(Compiled& out, const std::string& source, const char* profile) {
    out.result = D3DXCompileShader(source.data(), source.size(), "main", profile, &out.code, &out.errors, &out.table);
}

// A vertex program that places position through a matrix written as the engine writes matrices (row
// by row into consecutive registers) and passes colour and texture coordinates on, with a float2
// varying the pixel programs read as float4.
const char* const kVertex = R"(
struct VSIn { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
struct VSOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
float4x4 u_Transform;
VSOut main(VSIn i) {
    VSOut o;
    o.pos = mul(u_Transform, i.pos);
    o.col = i.col;
    o.uv = i.uv;
    return o;
}
)";

TEST(ShaderCompiler, ConstantsGetRegistersOfTheirOwnInDeclarationOrderAndOnlyWhenUsed) {
    Compiled c;
    CompileInto(c, R"(
float unused;
float a;
float3 b[3];
float4x3 m;
row_major float4x3 r;
int n;
bool flag;
sampler2D tex : register(s2);
float4 main(float4 p : POSITION) : POSITION {
    float4 q = p * a + float4(b[1], 0) + float4(mul(p, m), 0) + float4(mul(p, r), 0);
    return flag ? q * n : tex2Dlod(tex, float4(0, 0, 0, 0));
}
)", "vs_3_0");
    ASSERT_EQ(c.result, D3D_OK) << c.errors;
    EXPECT_EQ(c.Find("unused"), nullptr);
    struct Expected {
        const char* name;
        uint32_t index, count, cls, type, rows, columns, elements, bytes;
    };
    const Expected expected[] = {
        {"a", 0, 1, D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1, 1, 4},
        {"b", 1, 3, D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 3, 3, 36},
        {"m", 4, 3, D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 3, 1, 48},
        {"r", 7, 4, D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 4, 3, 1, 48},
        {"n", 11, 1, D3DXPC_SCALAR, D3DXPT_INT, 1, 1, 1, 4},
        {"flag", 12, 1, D3DXPC_SCALAR, D3DXPT_BOOL, 1, 1, 1, 4},
        {"tex", 2, 1, D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 1, 1, 1, 4},
    };
    for (const Expected& e : expected) {
        const D3DXCONSTANT_DESC* d = c.Find(e.name);
        ASSERT_NE(d, nullptr) << e.name;
        EXPECT_EQ(d->RegisterIndex, e.index) << e.name;
        EXPECT_EQ(d->RegisterCount, e.count) << e.name;
        EXPECT_EQ(d->Class, e.cls) << e.name;
        EXPECT_EQ(d->Type, e.type) << e.name;
        EXPECT_EQ(d->Rows, e.rows) << e.name;
        EXPECT_EQ(d->Columns, e.columns) << e.name;
        EXPECT_EQ(d->Elements, e.elements) << e.name;
        EXPECT_EQ(d->Bytes, e.bytes) << e.name;
    }
    EXPECT_EQ(c.table->GetConstant(0)->Name, "a");
    EXPECT_EQ(c.table->GetConstant(7), nullptr);
}

TEST(ShaderCompiler, RefusedProgramsGiveTheCompilersMessage) {
    const struct {
        std::string source;
        const char* profile;
        const char* inMessage;
    } cases[] = {
        {"float4 main() : COLOR0 { return undefinedThing; }", "ps_3_0", "undefinedThing"},
        {"", "ps_3_0", "main"},
        {"float4 main(float4 p : BOGUS) : POSITION { return p; }", "vs_3_0", "BOGUS"},
        {"float4 big[300]; float4 main(float4 p : POSITION) : POSITION { return big[int(p.x)]; }", "vs_3_0",
         "registers"},
        {std::string(400, '(') + std::string(400, ')'), "vs_3_0", "nested"},
        {"float4 main() : COLOR0 { return 1; }", "gs_4_0", "profile"},
        // A program the front end itself fails on (it crashes on this one).
        {"float4x3 m; float4 main(float1 p : POSITION) : POSITION { return float4(mul(p, m), 1); }", "vs_3_0",
         "the compiler failed on this program"},
    };
    for (const auto& k : cases) {
        Compiled c;
        CompileInto(c, k.source, k.profile);
        EXPECT_NE(c.result, D3D_OK) << k.source;
        EXPECT_EQ(c.code, nullptr);
        EXPECT_NE(c.errors.find(k.inMessage), std::string::npos) << c.errors;
    }
    // Bytes that are not text are refused, not read past.
    Compiled c;
    const char binary[] = {'\x01', '\xFF', '\0', '\x80', 'f', '\0'};
    c.result = D3DXCompileShader(binary, sizeof binary, "main", "ps_3_0", &c.code, &c.errors, &c.table);
    EXPECT_NE(c.result, D3D_OK);
    EXPECT_FALSE(c.errors.empty());
}

// Programs drawing on the GL device into a small target.
class ShaderDrawTest : public testing::Test {
protected:
    static constexpr uint32_t kW = 16;
    static constexpr uint32_t kH = 16;

    void SetUp() override {
        setenv("LP_NUM_THREADS", "0", 0);
        D3D_SetBackend(D3DBackend::OpenGL);
        d3d = Direct3DCreate9(32);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = kW;
        pp.BackBufferHeight = kH;
        pp.BackBufferFormat = D3DFMT_A8R8G8B8;
        pp.EnableAutoDepthStencil = 1;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x42, &pp, &device), D3D_OK);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, 0);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    }
    void TearDown() override {
        for (CD3DShader* s : shaders)
            s->Release();
        delete device;
        d3d->Release();
    }
    CD3DShader* Make(const std::string& source, bool pixel) {
        Compiled c;
        CompileInto(c, source, pixel ? "ps_3_0" : "vs_3_0");
        EXPECT_EQ(c.result, D3D_OK) << c.errors;
        if (!c.code) return nullptr;
        CD3DShader* s = nullptr;
        EXPECT_EQ(pixel ? device->CreatePixelShader(c.code, &s) : device->CreateVertexShader(c.code, &s), D3D_OK);
        if (s) shaders.push_back(s);
        return s;
    }
    uint32_t Pixel(int x, int y) {
        CD3DSurface* s = nullptr;
        device->GetRenderTarget(0, &s);
        uint32_t p = 0;
        const D3DRECT r{x, y, x + 1, y + 1};
        EXPECT_EQ(device->ReadPixels(s, r, reinterpret_cast<uint8_t*>(&p), 4), D3D_OK);
        s->Release();
        return p;
    }
    // A matrix taking pixel coordinates to clip space, y down, with the engine's half-pixel move.
    void SetScreenMatrix(uint32_t reg) {
        float m[16] = {};
        m[0] = 2.0f / kW;
        m[5] = -2.0f / kH;
        m[10] = 1.0f;
        m[12] = -1.0f - 1.0f / kW;
        m[13] = 1.0f + 1.0f / kH;
        m[15] = 1.0f;
        device->SetVertexShaderConstantF(reg, m, 4);
    }
    // A quad of 24-byte vertices (position, colour, uv) over (x1, y1)-(x2, y2).
    void Quad(float x1, float y1, float x2, float y2, uint32_t colour) {
        struct V {
            float x, y, z;
            uint32_t c;
            float u, v;
        };
        const V v[4] = {{x1, y1, 0, colour, 0, 0}, {x2, y1, 0, colour, 1, 0}, {x1, y2, 0, colour, 0, 1},
                        {x2, y2, 0, colour, 1, 1}};
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    }

    CD3D* d3d = nullptr;
    CD3DDevice* device = nullptr;
    std::vector<CD3DShader*> shaders;
};

TEST_F(ShaderDrawTest, UniformsOfEveryKindReachThePixels) {
    ASSERT_TRUE(device->SetVertexShader(Make(kVertex, false)) == D3D_OK);
    // The float2 texture coordinate is read as a float4 (z 0, w 1); the tint, an int scale, a bool and
    // an array element (one register each) and a column-major matrix shape the colour.
    ASSERT_EQ(device->SetPixelShader(Make(R"(
float4 u_Tint;
int u_Scale;
bool u_Flag;
float u_Table[4];
float2x2 u_M;
float4 main(float4 col : COLOR0, float4 uv : TEXCOORD0) : COLOR0 {
    float2 t = mul(u_M, float2(1, 0));
    return float4(u_Tint.r * u_Scale, u_Flag ? u_Table[2] : 0, t.y, uv.w * col.a);
}
)", true)), D3D_OK);
    SetScreenMatrix(0);
    const float tint[4] = {0.25f, 0, 0, 0};
    device->SetPixelShaderConstantF(0, tint, 1);
    const int32_t scale[4] = {2, 0, 0, 0};
    device->SetPixelShaderConstantI(1, scale, 1);
    const int32_t flag[4] = {1, 0, 0, 0};
    device->SetPixelShaderConstantI(2, flag, 1);
    const float table[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0.6f, 0, 0, 0, 0, 0, 0, 0};
    device->SetPixelShaderConstantF(3, table, 4);
    // Two column registers: column 0 = (a, c), column 1 = (b, d) of the matrix (a b; c d).
    const float m[8] = {0.1f, 0.8f, 0, 0, 0.3f, 0.4f, 0, 0};
    device->SetPixelShaderConstantF(7, m, 2);
    Quad(2, 2, 10, 10, 0xFFFFFFFFu);
    const uint32_t p = Pixel(5, 5);
    EXPECT_EQ(p >> 16 & 0xFF, 128u); // 0.25 x 2
    EXPECT_EQ(p >> 8 & 0xFF, 153u);  // 0.6
    EXPECT_EQ(p & 0xFF, 204u);       // c = 0.8
    EXPECT_EQ(p >> 24, 255u);
    // The matrix placed the quad: its edges lie on pixel boundaries as the device's rules give them.
    EXPECT_EQ(Pixel(1, 5), 0xFF000000u);
    EXPECT_NE(Pixel(2, 2), 0xFF000000u);
    EXPECT_NE(Pixel(9, 9), 0xFF000000u);
    EXPECT_EQ(Pixel(10, 10), 0xFF000000u);
}

TEST_F(ShaderDrawTest, DeclarationsFeedInputsBySemanticAndSamplersUseTheirStages) {
    device->SetVertexShader(Make(R"(
float4x4 u_Transform;
struct VSOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD1; };
VSOut main(float2 p : POSITION, float4 weights : BLENDWEIGHT, float4 bytes : TEXCOORD1) {
    VSOut o;
    o.pos = mul(u_Transform, float4(p, 0, 1));
    o.col = float4(bytes.x / 255.0, weights.y, 0, 1);
    o.uv = bytes.zw / 255.0;
    return o;
}
)", false));
    device->SetPixelShader(Make(R"(
sampler2D s_Other : register(s3);
float4 main(float4 col : COLOR0, float2 uv : TEXCOORD1) : COLOR0 {
    return float4(col.rg, tex2D(s_Other, float2(0.5, 0.5)).b, 1);
}
)", true));
    SetScreenMatrix(0);
    CD3DTexture* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    uint32_t pitch = 0;
    uint8_t* bits = nullptr;
    texture->LockRect(0, &pitch, &bits, nullptr, 0);
    const uint32_t blue = 0xFF000077u;
    std::memcpy(bits, &blue, 4);
    texture->UnlockRect(0);
    device->SetTexture(3, texture);
    // The elements in an order of their own: bytes, position, weights.
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_UBYTE4, 0, D3DDECLUSAGE_TEXCOORD, 1},
                                          {0, 4, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_BLENDWEIGHT, 0},
                                          D3DDECL_END};
    CD3DVertexDeclaration* declaration = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    device->SetVertexDeclaration(declaration);
    struct V {
        uint8_t b[4];
        float x, y;
        float w[4];
    };
    const V v[3] = {{{200, 0, 0, 0}, 0, 0, {0, 0.5f, 0, 0}},
                    {{200, 0, 0, 0}, 16, 0, {0, 0.5f, 0, 0}},
                    {{200, 0, 0, 0}, 0, 16, {0, 0.5f, 0, 0}}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(V)), D3D_OK);
    EXPECT_EQ(Pixel(2, 2), 0xFFC88077u);
    declaration->Release();
    texture->Release();

    // Two elements of one usage and index are refused.
    const D3DVERTEXELEMENT9 twice[] = {{0, 0, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_BLENDWEIGHT, 0},
                                       {0, 4, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_BLENDWEIGHT, 0},
                                       D3DDECL_END};
    CD3DVertexDeclaration* refused = nullptr;
    EXPECT_EQ(device->CreateVertexDeclaration(twice, &refused), D3DERR_INVALIDCALL);
    EXPECT_EQ(refused, nullptr);
}

TEST_F(ShaderDrawTest, AlphaTestAppliesAfterThePixelProgramAndUnwrittenVaryingsReadZero) {
    device->SetVertexShader(Make(kVertex, false));
    // TEXCOORD5 is written by no vertex program: it reads as zero.
    device->SetPixelShader(Make(R"(
float4 main(float4 col : COLOR0, float4 extra : TEXCOORD5) : COLOR0 { return float4(1, extra.x, 0, col.a); }
)", true));
    SetScreenMatrix(0);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device->SetRenderState(D3DRS_ALPHAREF, 0x80);
    Quad(0, 0, 8, 16, 0x80FFFFFFu); // alpha 128: refused
    Quad(8, 0, 16, 16, 0x81FFFFFFu);
    EXPECT_EQ(Pixel(3, 3), 0xFF000000u);
    EXPECT_EQ(Pixel(12, 3), 0x81FF0000u);
}

} // namespace
