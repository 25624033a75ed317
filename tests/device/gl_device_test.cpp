// Pixels drawn by the GL backend, read back from its targets.
#include "device/device.h"
#include "graphics/frame/vertex.h"
#include "support/pixel_mask.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

class GLDeviceTest : public testing::Test {
protected:
    static constexpr uint32_t kW = 32;
    static constexpr uint32_t kH = 24;

    void SetUp() override {
        // The rasteriser draws on the calling thread: its worker threads would outlive the test and
        // meet the leak checker at exit.
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
        // The engine's screen-space setup: pixel coordinates, y down, moved up-left by half a pixel.
        D3DMATRIX p{};
        p.m[0] = 2.0f / kW;
        p.m[5] = -2.0f / kH;
        p.m[10] = 1.0f;
        p.m[12] = -1.0f - 1.0f / kW;
        p.m[13] = 1.0f + 1.0f / kH;
        p.m[15] = 1.0f;
        device->SetTransform(D3DTS_PROJECTION, p);
        device->SetRenderState(D3DRS_LIGHTING, 0);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, 0);
        // Stage 0 as the engine sets it: texture times diffuse, colour and alpha.
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000u, 1.0f, 0);
    }
    void TearDown() override {
        delete device;
        d3d->Release();
    }

    std::vector<uint32_t> Read(CD3DSurface* surface = nullptr) {
        CD3DSurface* s = surface;
        if (!s) device->GetRenderTarget(0, &s);
        std::vector<uint32_t> pixels(static_cast<size_t>(s->Width()) * s->Height());
        const D3DRECT all{0, 0, static_cast<int32_t>(s->Width()), static_cast<int32_t>(s->Height())};
        EXPECT_EQ(device->ReadPixels(s, all, reinterpret_cast<uint8_t*>(pixels.data()), s->Width() * 4), D3D_OK);
        if (!surface) s->Release();
        return pixels;
    }

    // A managed A8R8G8B8 texture holding the texels given, row after row.
    CD3DTexture* TextureOf(uint32_t width, uint32_t height, const uint32_t* texels) {
        CD3DTexture* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
        uint32_t pitch = 0;
        uint8_t* bits = nullptr;
        if (!texture || texture->LockRect(0, &pitch, &bits, nullptr, 0) != D3D_OK) return texture;
        for (uint32_t row = 0; row < height; ++row)
            std::memcpy(bits + row * pitch, texels + row * width, width * 4);
        texture->UnlockRect(0);
        return texture;
    }

    void FillRect(float x1, float y1, float x2, float y2, uint32_t colour) {
        const Vertex16 v[6] = {{x1, y1, 0, colour}, {x2, y1, 0, colour}, {x2, y2, 0, colour},
                               {x2, y2, 0, colour}, {x1, y2, 0, colour}, {x1, y1, 0, colour}};
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(Vertex16));
    }

    CD3D* d3d = nullptr;
    CD3DDevice* device = nullptr;
};

TEST_F(GLDeviceTest, EdgesThroughPixelCentresFollowTheTopLeftRule) {
    // Pixel coordinates without the half-pixel move: every edge passes through pixel centres.
    D3DMATRIX p{};
    p.m[0] = 2.0f / kW;
    p.m[5] = -2.0f / kH;
    p.m[10] = 1.0f;
    p.m[12] = -1.0f;
    p.m[13] = 1.0f;
    p.m[15] = 1.0f;
    device->SetTransform(D3DTS_PROJECTION, p);
    FillRect(1, 1, 4, 4, 0xFFFFFFFFu);
    // The same square wound the other way.
    const uint32_t c = 0xFFFFFFFFu;
    const Vertex16 v[6] = {{8, 1, 0, c}, {8, 4, 0, c}, {11, 4, 0, c}, {11, 4, 0, c}, {11, 1, 0, c}, {8, 1, 0, c}};
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(Vertex16));
    auto expected = BoxMask(kW, kH, 1, 1, 3, 3);
    const auto second = BoxMask(kW, kH, 8, 1, 10, 3);
    for (size_t i = 0; i < expected.size(); ++i)
        if (second[i] == '#') expected[i] = '#';
    EXPECT_EQ(PixelMask(Read(), kW, c), expected);
}

TEST_F(GLDeviceTest, ClearCoversTheViewportOnlyWhateverTheWriteMasks) {
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    const D3DVIEWPORT9 vp{4, 2, 10, 6, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(vp), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x80123456u, 1.0f, 0);
    EXPECT_EQ(PixelMask(Read(), kW, 0x80123456u), BoxMask(kW, kH, 4, 2, 13, 7));
    // The masks still hold for drawing.
    device->SetViewport(D3DVIEWPORT9{0, 0, kW, kH, 0, 1});
    FillRect(0, 0, 32, 24, 0xFFFFFFFFu);
    EXPECT_EQ(Read()[0], 0xFF000000u);
}

TEST_F(GLDeviceTest, TrianglesPastTheViewportAreCutAtItsEdges) {
    // Past the target's edges, a little and very far.
    FillRect(24, 16, 40, 30, 0xFFFF0000u);
    FillRect(-100000, -100000, 3, 2, 0xFF00FF00u);
    auto expected = BoxMask(kW, kH, 24, 16, 31, 23);
    EXPECT_EQ(PixelMask(Read(), kW, 0xFFFF0000u), expected);
    EXPECT_EQ(PixelMask(Read(), kW, 0xFF00FF00u), BoxMask(kW, kH, 0, 0, 2, 1));
    // Inside a viewport smaller than the target.
    device->SetViewport(D3DVIEWPORT9{4, 2, 10, 6, 0.0f, 1.0f});
    FillRect(-1000, -1000, 1000, 1000, 0xFFFFFFFFu);
    EXPECT_EQ(PixelMask(Read(), kW, 0xFFFFFFFFu), BoxMask(kW, kH, 4, 2, 13, 7));
}

// Drawing goes to the rasteriser in parts once enough vertices are queued: a long run of draws, in
// large and small calls, keeps its order and loses none of them.
TEST_F(GLDeviceTest, LongRunsOfDrawsKeepTheirOrder) {
    auto quads = [](float x1, float y1, float x2, float y2, uint32_t colour, int count) {
        std::vector<Vertex16> v;
        for (int i = 0; i < count; ++i)
            for (const auto& corner : {std::pair{x1, y1}, {x2, y1}, {x2, y2}, {x2, y2}, {x1, y2}, {x1, y1}})
                v.push_back(Vertex16{corner.first, corner.second, 0, colour});
        return v;
    };
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    const auto red = quads(0, 0, 32, 24, 0xFFFF0000u, 1500);
    const auto green = quads(2, 2, 20, 20, 0xFF00FF00u, 3000);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 3000, red.data(), sizeof(Vertex16));
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 6000, green.data(), sizeof(Vertex16));
    for (int i = 0; i < 2100; ++i) // one quad a call, past the point where the queue is flushed
        FillRect(4 + static_cast<float>(i % 2), 4, 10, 10, i % 2 ? 0xFF0000FFu : 0xFFFFFFFFu);
    const std::vector<uint32_t> pixels = Read();
    EXPECT_EQ(PixelMask(pixels, kW, 0xFF0000FFu), BoxMask(kW, kH, 5, 4, 9, 9));
    EXPECT_EQ(pixels[4 * kW + 4], 0xFFFFFFFFu);
    EXPECT_EQ(pixels[2 * kW + 2], 0xFF00FF00u);
    EXPECT_EQ(pixels[20 * kW + 20], 0xFFFF0000u);
}

TEST_F(GLDeviceTest, BlendingAndAlphaTestGiveTheExpectedBytes) {
    FillRect(0, 0, 32, 24, 0xFF0000FFu);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    FillRect(0, 0, 4, 4, 0x80FF0000u);
    // Additive.
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    FillRect(8, 0, 12, 4, 0x80FF0000u);
    // "Both" source alpha sets the destination factor itself.
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_BOTHINVSRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    FillRect(16, 0, 20, 4, 0x40FF0000u);
    // The alpha test drops alpha not above the reference.
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device->SetRenderState(D3DRS_ALPHAREF, 0x40);
    FillRect(0, 8, 4, 12, 0x40FFFFFFu);
    FillRect(8, 8, 12, 12, 0x41FFFFFFu);
    const auto px = Read();
    auto near = [](uint32_t got, uint32_t want) {
        for (int shift = 0; shift < 32; shift += 8) {
            const int a = static_cast<int>((got >> shift) & 0xFF);
            const int b = static_cast<int>((want >> shift) & 0xFF);
            if (a - b > 1 || b - a > 1) return false;
        }
        return true;
    };
    // red 255 x 128/255; blue 255 x 127/255; alpha 128 x 128/255 + 255 x 127/255.
    EXPECT_PRED2(near, px[0], 0xBF80007Fu) << std::hex << px[0];
    EXPECT_PRED2(near, px[8], 0xFF8000FFu) << std::hex << px[8];
    // Source factor 1 - 0.25, destination 0.25: red 191, blue 64.
    EXPECT_PRED2(near, px[16] & 0x00FFFFFFu, 0x00BF0040u) << std::hex << px[16];
    EXPECT_EQ(px[8 * kW + 0], 0xFF0000FFu);
    EXPECT_EQ(px[8 * kW + 8], 0x41FFFFFFu);
}

TEST_F(GLDeviceTest, TableFogFollowsDepthUnderAnOrthographicProjection) {
    device->SetRenderState(D3DRS_FOGENABLE, 1);
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGCOLOR, 0xFF000000u);
    const float start = 0.0f, end = 1.0f;
    uint32_t bits = 0;
    std::memcpy(&bits, &start, 4);
    device->SetRenderState(D3DRS_FOGSTART, bits);
    std::memcpy(&bits, &end, 4);
    device->SetRenderState(D3DRS_FOGEND, bits);
    const Vertex16 v[6] = {{0, 0, 0.5f, 0xFFFFFFFFu}, {8, 0, 0.5f, 0xFFFFFFFFu}, {8, 8, 0.5f, 0xFFFFFFFFu},
                           {8, 8, 0.5f, 0xFFFFFFFFu}, {0, 8, 0.5f, 0xFFFFFFFFu}, {0, 0, 0.5f, 0xFFFFFFFFu}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(Vertex16));
    const uint32_t grey = Read()[0] & 0xFFu;
    EXPECT_GE(grey, 126u);
    EXPECT_LE(grey, 129u);
}

// Lit vertices: each triangle is flat-shaded, so it takes the colour lit at its first vertex, worked out
// here by hand from the lights, the material and the ambient colour.
TEST_F(GLDeviceTest, LightingTakesTheLightsMaterialAndAmbientColour) {
    struct Lit {
        float x, y, z, nx, ny, nz;
        uint32_t colour;
    };
    device->SetRenderState(D3DRS_LIGHTING, 1);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, 1);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    device->SetRenderState(D3DRS_AMBIENT, 0x00336699u);
    D3DMATERIAL9 material{};
    material.Ambient = D3DCOLORVALUE{0.5f, 0.5f, 0.5f, 1.0f};
    material.Emissive = D3DCOLORVALUE{0.0f, 0.0f, 0.1f, 0.0f};
    ASSERT_EQ(device->SetMaterial(material), D3D_OK);
    D3DLIGHT9 sun{};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = D3DCOLORVALUE{1.0f, 0.5f, 0.25f, 0.0f};
    sun.Direction = D3DVECTOR{0.0f, 0.0f, 2.0f}; // normalised by the device
    D3DLIGHT9 lamp{};
    lamp.Type = D3DLIGHT_POINT;
    lamp.Diffuse = D3DCOLORVALUE{0.0f, 1.0f, 0.0f, 0.0f};
    lamp.Position = D3DVECTOR{12.0f, 4.0f, 0.0f};
    lamp.Range = 10.0f;
    lamp.Attenuation0 = 1.0f;
    lamp.Attenuation1 = 0.1f;
    ASSERT_EQ(device->SetLight(0, sun), D3D_OK);
    ASSERT_EQ(device->SetLight(1, lamp), D3D_OK);
    ASSERT_EQ(device->SetLight(2, sun), D3D_OK); // defined, never switched on
    EXPECT_EQ(device->SetLight(8, sun), D3DERR_INVALIDCALL);
    lamp.Range = -1.0f;
    EXPECT_EQ(device->SetLight(1, lamp), D3DERR_INVALIDCALL);
    device->LightEnable(0, true);
    device->LightEnable(1, true);

    // Three triangles, first vertex at (x, 4): facing the sun; turned 60 degrees from it (normal given
    // unnormalised); facing the lamp 5 units away, edge-on to the sun. The lamp reaches the first two
    // edge-on (the first exactly at its range) and not the last one.
    const float s = 0.8660254f;
    const uint32_t grey = 0xFF808080u;
    const Lit v[9] = {{2, 4, 0, 0, 0, -1, grey},      {7, 4, 0, 0, 0, -1, grey},      {2, 9, 0, 0, 0, -1, grey},
                      {10, 4, 0, 0, 2 * s, -1, grey}, {15, 4, 0, 0, 2 * s, -1, grey}, {10, 9, 0, 0, 2 * s, -1, grey},
                      {17, 4, 0, -1, 0, 0, grey},     {22, 4, 0, -1, 0, 0, grey},     {17, 9, 0, -1, 0, 0, grey}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 3, v, sizeof(Lit));
    // Without a normal only the ambient and emissive colours remain.
    const Vertex16 plain[3] = {{25, 4, 0, grey}, {30, 4, 0, grey}, {25, 9, 0, grey}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, plain, sizeof(Vertex16));

    // ambient = 0.5 x (0x33, 0x66, 0x99) / 255 + (0, 0, 0.1); diffuse colour 128 / 255.
    const double ambient[3] = {0.5 * 0x33 / 255.0, 0.5 * 0x66 / 255.0, 0.5 * 0x99 / 255.0 + 0.1};
    const double cd = 128 / 255.0;
    auto expect = [&](int x, double r, double g, double b) {
        const double lit[3] = {ambient[0] + cd * r, ambient[1] + cd * g, ambient[2] + cd * b};
        const uint32_t pixel = Read()[static_cast<size_t>(5 * kW + x)];
        for (int c = 0; c < 3; ++c) {
            const double want = std::min(1.0, lit[c]) * 255.0;
            const double got = static_cast<double>(pixel >> (16 - 8 * c) & 0xFFu);
            EXPECT_NEAR(got, want, 1.5) << "pixel " << x << " channel " << c;
        }
        EXPECT_EQ(pixel >> 24, 0xFFu);
    };
    expect(3, 1.0, 0.5, 0.25);
    expect(11, 0.5, 0.25, 0.125);
    expect(18, 0.0, 1.0 / (1.0 + 0.1 * 5.0), 0.0);
    expect(26, 0.0, 0.0, 0.0);
}

TEST_F(GLDeviceTest, TexturesSampleTopRowFirstAndAMissingTextureIsWhite) {
    const uint32_t texels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    CD3DTexture* texture = TextureOf(2, 2, texels);
    ASSERT_TRUE(texture);

    auto quad = [&](float x1, float y1, float x2, float y2, uint32_t colour) {
        const Vertex24 v[4] = {{x1, y1, 0, colour, 0, 0}, {x2, y1, 0, colour, 1, 0},
                               {x2, y2, 0, colour, 1, 1}, {x1, y2, 0, colour, 0, 1}};
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(Vertex24));
    };
    device->SetTexture(0, texture);
    quad(0, 0, 4, 4, 0xFFFFFFFFu);
    // Modulated by the diffuse colour.
    quad(8, 0, 12, 4, 0xFF808080u);
    device->SetTexture(0, nullptr);
    quad(16, 0, 20, 4, 0xFF00FF00u);
    const auto px = Read();
    EXPECT_EQ(px[0], 0xFFFF0000u);
    EXPECT_EQ(px[3], 0xFF00FF00u);
    EXPECT_EQ(px[3 * kW], 0xFF0000FFu);
    EXPECT_EQ(px[3 * kW + 3], 0xFFFFFFFFu);
    EXPECT_EQ(px[8] & 0x00FF0000u, 0x00800000u);
    EXPECT_EQ(px[16], 0xFF00FF00u);
    texture->Release();
}

// A new texture is all zero wherever nothing was written into it: one never locked, and one of which
// one texel was locked and written, drawn texel for texel over an opaque background.
TEST_F(GLDeviceTest, TexelsNeverWrittenAreZero) {
    CD3DTexture* blank = nullptr;
    CD3DTexture* partly = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &blank), D3D_OK);
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &partly), D3D_OK);
    const D3DRECT one{1, 0, 2, 1};
    uint32_t pitch = 0;
    uint8_t* bits = nullptr;
    ASSERT_EQ(partly->LockRect(0, &pitch, &bits, &one, 0), D3D_OK);
    const uint32_t red = 0xFFFF0000u;
    std::memcpy(bits, &red, 4);
    partly->UnlockRect(0);

    auto quad = [&](float x, CD3DTexture* texture) {
        const Vertex24 v[4] = {{x, 0, 0, 0xFFFFFFFFu, 0, 0}, {x + 2, 0, 0, 0xFFFFFFFFu, 1, 0},
                               {x + 2, 2, 0, 0xFFFFFFFFu, 1, 1}, {x, 2, 0, 0xFFFFFFFFu, 0, 1}};
        device->SetTexture(0, texture);
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(Vertex24));
    };
    quad(0, blank);
    quad(4, partly);
    device->SetTexture(0, nullptr);
    const auto px = Read();
    for (uint32_t at : {0u, 1u, kW, kW + 1, 4u, 4 + kW, 5 + kW}) EXPECT_EQ(px[at], 0u) << at;
    EXPECT_EQ(px[5], red);
    blank->Release();
    partly->Release();
}

// A texture put one texel to a pixel through a plain stage lands exactly, whether the device copies it
// (no blend) or draws it (an added blend of one and zero, which changes nothing), sampled by points or
// filtered; a quarter of a pixel off, it is drawn and still sampled texel by texel; beyond the depth
// range, nothing lands.
TEST_F(GLDeviceTest, TexturesPutOneToOneLandTexelForTexel) {
    uint32_t seed = 7;
    std::vector<uint32_t> texels(256);
    for (uint32_t& texel : texels) {
        seed = seed * 1664525u + 1013904223u;
        texel = seed;
    }
    CD3DTexture* texture = TextureOf(16, 16, texels.data());
    ASSERT_TRUE(texture);
    device->SetTexture(0, texture);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    // Texels (2, 3)-(12, 11) at pixels (5, 4)-(15, 12).
    auto quad = [&](float dx, float z = 0) {
        const float x1 = 5 + dx, y1 = 4, x2 = 15 + dx, y2 = 12;
        const float u1 = 2 / 16.0f, v1 = 3 / 16.0f, u2 = 12 / 16.0f, v2 = 11 / 16.0f;
        const Vertex24 v[4] = {{x1, y1, z, 0xFFFFFFFFu, u1, v1}, {x2, y1, z, 0xFFFFFFFFu, u2, v1},
                               {x2, y2, z, 0xFFFFFFFFu, u2, v2}, {x1, y2, z, 0xFFFFFFFFu, u1, v2}};
        device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(Vertex24));
    };
    auto expect = [&](const std::vector<uint32_t>& px) {
        for (uint32_t y = 0; y < kH; ++y)
            for (uint32_t x = 0; x < kW; ++x) {
                const bool inside = x >= 5 && x < 15 && y >= 4 && y < 12;
                const uint32_t want = inside ? texels[(y - 4 + 3) * 16 + (x - 5 + 2)] : 0xFF000000u;
                ASSERT_EQ(px[y * kW + x], want) << x << ", " << y;
            }
    };
    quad(0);
    const auto copied = Read();
    expect(copied);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    quad(0);
    EXPECT_EQ(Read(), copied);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    // A quarter of a pixel to the right covers the same pixels.
    quad(0.25f);
    expect(Read());
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    quad(0);
    expect(Read());
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    quad(0, 1.5f);
    EXPECT_EQ(Read(), std::vector<uint32_t>(kW * kH, 0xFF000000u));
    texture->Release();
}

TEST_F(GLDeviceTest, RenderTargetsKeepRowsTopDownThroughStretchAndRead) {
    CD3DSurface* target = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, 0, 0, false, &target), D3D_OK);
    CD3DSurface* back = nullptr;
    device->GetRenderTarget(0, &back);
    device->SetRenderTarget(0, target);
    D3DVIEWPORT9 vp{};
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 8u);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    // The projection still maps 32 x 24 pixels; the top row of the whole target is the first drawn.
    FillRect(0, 0, 32, 6, 0xFFFFFF00u);
    const auto own = Read(target);
    EXPECT_EQ(own[0], 0xFFFFFF00u);
    EXPECT_EQ(own[7 * 8], 0xFF000000u);
    device->SetRenderTarget(0, back);
    ASSERT_EQ(device->StretchRect(target, nullptr, back, nullptr, D3DTEXF_POINT), D3D_OK);
    const auto px = Read();
    EXPECT_EQ(px[0], 0xFFFFFF00u);
    EXPECT_EQ(px[(kH - 1) * kW], 0xFF000000u);
    back->Release();
    target->Release();
}

TEST_F(GLDeviceTest, SixteenBitTexturesAndDepthTest) {
    CD3DTexture* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, &texture), D3D_OK);
    uint32_t pitch = 0;
    uint8_t* bits = nullptr;
    texture->LockRect(0, &pitch, &bits, nullptr, 0);
    const uint16_t texel = 0xF0F8; // opaque red 0, green 15, blue 8
    std::memcpy(bits, &texel, 2);
    texture->UnlockRect(0);
    device->SetTexture(0, texture);
    const Vertex24 v[4] = {{0, 0, 0.5f, 0xFFFFFFFFu, 0, 0}, {4, 0, 0.5f, 0xFFFFFFFFu, 1, 0},
                           {4, 4, 0.5f, 0xFFFFFFFFu, 1, 1}, {0, 4, 0.5f, 0xFFFFFFFFu, 0, 1}};
    device->SetRenderState(D3DRS_ZENABLE, 1);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(Vertex24));
    device->SetTexture(0, nullptr);
    // Farther than what is there: hidden.
    const Vertex16 w[3] = {{0, 0, 0.75f, 0xFFFF0000u}, {8, 0, 0.75f, 0xFFFF0000u}, {0, 8, 0.75f, 0xFFFF0000u}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, w, sizeof(Vertex16));
    const auto px = Read();
    EXPECT_EQ(px[0], 0xFF00FF88u);
    EXPECT_EQ(px[5], 0xFFFF0000u);
    texture->Release();
}

} // namespace
