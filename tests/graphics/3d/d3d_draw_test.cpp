// The 3D layer on the recording backend: primitives in chunks, vertex colours, texture-page coordinates,
// the shapes' vertices and the lights given to the device and to the shaders.
#include "graphics/3d/d3d_draw.h"
#include "graphics/device_output.h"
#include "graphics/frame/shader.h"
#include "graphics/frame/texture.h"
#include "script/compiler/compile.h"

#include <cmath>
#include <cstring>

namespace {

class D3DDrawTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        StartRecording(64, 48);
        GR_3D_Reset();
    }
    void TearDown() override {
        GR_3D_SetRecorder(nullptr);
        GraphicsRecorder_Free(&recorder);
        GR_3D_Reset();
        PageEntry_ClearRegistry();
        GraphicsDeviceTest::TearDown();
    }
    // The vertices of every draw since the last ClearLog, in order.
    std::vector<std::vector<Vertex36>> Drawn() {
        Graphics::Flush();
        std::vector<std::vector<Vertex36>> drawn;
        for (const D3DCall* call : Draws()) {
            EXPECT_EQ(call->c, 36u);
            std::vector<Vertex36> v(call->data.size() / sizeof(Vertex36));
            std::memcpy(v.data(), call->data.data(), v.size() * sizeof(Vertex36));
            drawn.push_back(v);
        }
        return drawn;
    }
    static std::vector<int> Order(const RecorderList& list) {
        std::vector<int> order;
        for (int i = 0; i < list.count; ++i)
            order.push_back(static_cast<int>(list.vertices[i].x));
        return order;
    }
    GraphicsRecorder recorder;
};

TEST_F(D3DDrawTest, LongStripsAndFansContinueInChunksWithoutGapsAndKeepTheirWinding) {
    GR_3D_PrimitiveBegin(5, -1);
    for (int i = 0; i < 2500; ++i)
        GR_3D_Vertex(static_cast<float>(i), 0, 0, 0, 0, 0, 0, 0, i % 2 == 0, 0xFF, 1.0f);
    GR_3D_PrimitiveEnd();
    const auto drawn = Drawn();
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[0].size(), 1000u);
    EXPECT_EQ(drawn[1].size(), 1000u);
    EXPECT_EQ(drawn[2].size(), 504u);
    EXPECT_EQ(drawn[1][0].x, 998.0f);
    EXPECT_EQ(drawn[1][1].x, 999.0f);
    EXPECT_EQ(drawn[1][2].x, 1000.0f);
    EXPECT_EQ(drawn[2][0].x, 1996.0f);

    // Unfolded by the recorder: the strip's own triangles, each wound as in one long strip, and each
    // vertex keeps its colour's mark.
    GR_3D_SetRecorder(&recorder);
    GR_3D_PrimitiveBegin(5, -1);
    for (int i = 0; i < 2500; ++i)
        GR_3D_Vertex(static_cast<float>(i), 0, 0, 0, 0, 0, 0, 0, i % 2 == 0, 0xFF, 1.0f);
    GR_3D_PrimitiveEnd();
    std::vector<int> expected;
    for (int i = 0; i + 2 < 2500; ++i) {
        if (i % 2 == 0) expected.insert(expected.end(), {i, i + 1, i + 2});
        else expected.insert(expected.end(), {i + 2, i + 1, i});
    }
    std::vector<int> strip = Order(recorder.triangles);
    EXPECT_EQ(strip.size(), expected.size());
    EXPECT_EQ(strip, expected);
    for (int i = 0; i < recorder.triangles.count; ++i)
        ASSERT_EQ(recorder.triangles.drawColour[static_cast<size_t>(i)], strip[static_cast<size_t>(i)] % 2) << i;

    GraphicsRecorder_Free(&recorder);
    GR_3D_PrimitiveBegin(6, -1);
    for (int i = 0; i < 1500; ++i)
        GR_3D_Vertex(static_cast<float>(i), 0, 0, 0, 0, 0, 0, 0, false, 0, 0);
    GR_3D_PrimitiveEnd();
    expected.clear();
    for (int i = 0; i + 2 < 1500; ++i)
        expected.insert(expected.end(), {0, i + 1, i + 2});
    EXPECT_EQ(Order(recorder.triangles), expected);

    // A line strip carries its last vertex over; a triangle list breaks after 999 vertices.
    GraphicsRecorder_Free(&recorder);
    GR_3D_PrimitiveBegin(3, -1);
    for (int i = 0; i < 1001; ++i)
        GR_3D_Vertex(static_cast<float>(i), 0, 0, 0, 0, 0, 0, 0, false, 0, 0);
    GR_3D_PrimitiveEnd();
    EXPECT_EQ(recorder.lines.count, 2000);
    EXPECT_EQ(recorder.lines.vertices[1998].x, 999.0f);
    GR_3D_PrimitiveBegin(4, -1);
    for (int i = 0; i < 1000; ++i)
        GR_3D_Vertex(static_cast<float>(i), 0, 0, 0, 0, 0, 0, 0, false, 0, 0);
    GR_3D_PrimitiveEnd();
    EXPECT_EQ(recorder.triangles.count, 1000);
}

TEST_F(D3DDrawTest, VertexColoursAndVerticesWithoutABegin) {
    GR_Draw_SetColour(0x0000FF); // red
    GR_Draw_SetAlpha(0.5f);
    // Vertices before any begin, and after a begin of an unknown kind, are dropped.
    GR_3D_Vertex(1, 2, 3, 0, 0, 0, 0, 0, false, 0, 0);
    GR_3D_PrimitiveEnd();
    GR_3D_PrimitiveBegin(0, -1);
    GR_3D_Vertex(1, 2, 3, 0, 0, 0, 0, 0, false, 0, 0);
    GR_3D_PrimitiveEnd();
    EXPECT_TRUE(Drawn().empty());

    GR_3D_PrimitiveBegin(1, -1);
    GR_3D_Vertex(1, 2, 3, 0, 0, -1, 0.25f, 0.5f, true, 0xFF, 2.0f);     // red, alpha clamped to 1
    GR_3D_Vertex(1, 2, 3, 0, 0, -1, 0, 0, true, 0x102030, -1.0f);       // alpha 0
    GR_3D_Vertex(1, 2, 3, 0, 0, -1, 0, 0, true, 0x102030, 0.5f);        // 127.5 truncated
    GR_3D_Vertex(1, 2, 3, 0, 0, -1, 0, 0, true, 0x102030, std::nanf("")); // NaN counts as 0
    GR_3D_Vertex(1, 2, 3, 0, 0, -1, 0, 0, false, 0, 0);                 // the drawing colour
    GR_3D_PrimitiveEnd();
    const auto drawn = Drawn();
    ASSERT_EQ(drawn.size(), 1u);
    ASSERT_EQ(drawn[0].size(), 5u);
    EXPECT_EQ(drawn[0][0].colour, 0xFFFF0000u);
    EXPECT_EQ(drawn[0][0].u, 0.25f);
    EXPECT_EQ(drawn[0][0].nz, -1.0f);
    EXPECT_EQ(drawn[0][1].colour, 0x00312010u);
    EXPECT_EQ(drawn[0][2].colour, 0x7F312010u);
    EXPECT_EQ(drawn[0][3].colour, 0x00312010u);
    EXPECT_EQ(drawn[0][4].colour, 0x7FFF0000u);
}

TEST_F(D3DDrawTest, TexturePageEntriesMapCoordinatesAndUnknownTexturesDrawUntextured) {
    TDeviceTexture* t = GR_D3D_CreateTexture(64, 32, 1, 0, 6);
    const int id = Texture_AddExisting(t, 64, 32);
    TPageEntry entry{8, 4, 16, 16, 0, 0, 16, 16, 16, 16, static_cast<int16_t>(id)};
    const int32_t handle = PageEntry_Register(&entry);
    GR_3D_PrimitiveBegin(4, handle);
    for (int i = 0; i < 3; ++i)
        GR_3D_Vertex(0, 0, 0, 0, 0, 0, 0.5f, 1.0f, false, 0, 0);
    GR_3D_PrimitiveEnd();
    auto drawn = Drawn();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0][0].u, 16.0f / 64.0f);
    EXPECT_EQ(drawn[0][0].v, 20.0f / 32.0f);

    // A texture id is used as it is; a number that is neither draws without a texture, and no error.
    Recording().ClearLog();
    CodeError_State().Code_Aborting = false;
    for (int64_t texture : {static_cast<int64_t>(id), static_cast<int64_t>(12345)}) {
        GR_3D_PrimitiveBegin(4, texture);
        for (int i = 0; i < 3; ++i)
            GR_3D_Vertex(0, 0, 0, 0, 0, 0, 0.5f, 1.0f, false, 0, 0);
        GR_3D_PrimitiveEnd();
    }
    drawn = Drawn();
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0][0].u, 0.5f);
    EXPECT_FALSE(CodeError_State().Code_Aborting);
    std::vector<uint32_t> textures;
    for (const D3DCall& call : Recording().Log())
        if (call.kind == D3DCallKind::SetTexture && call.a == 0) textures.push_back(call.b);
    ASSERT_GE(textures.size(), 2u);
    EXPECT_NE(textures[textures.size() - 2], 0u);
    EXPECT_EQ(textures.back(), 0u);
}

TEST_F(D3DDrawTest, ShapesTessellateAsTheirTablesSayWithRepeatOnWhileTheyDraw) {
    GR_3D_DrawBlock(0, 0, 0, 10, 20, 30, -1, 2, 3);
    auto drawn = Drawn();
    ASSERT_EQ(drawn.size(), 1u);
    const auto& block = drawn[0];
    ASSERT_EQ(block.size(), 36u);
    // The z = z1 face: (x1,y1) (x1,y2) (x2,y2), (x2,y2) (x2,y1) (x1,y1).
    const float face[6][4] = {{0, 0, 0, 0}, {0, 20, 0, 3}, {10, 20, 2, 3}, {10, 20, 2, 3}, {10, 0, 2, 0}, {0, 0, 0, 0}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(block[i].x, face[i][0]);
        EXPECT_EQ(block[i].y, face[i][1]);
        EXPECT_EQ(block[i].z, 0.0f);
        EXPECT_EQ(block[i].u, face[i][2]);
        EXPECT_EQ(block[i].v, face[i][3]);
        EXPECT_EQ(block[i].nz, -1.0f);
    }
    // The z = z2 face runs its coordinates the other way round: (0,0) (h,0) (h,v).
    EXPECT_EQ(block[7].x, 10.0f);
    EXPECT_EQ(block[7].u, 2.0f);
    EXPECT_EQ(block[7].v, 0.0f);
    // The x = x2 face starts at (y2, z1) with normal (1, 0, 0).
    EXPECT_EQ(block[18].x, 10.0f);
    EXPECT_EQ(block[18].y, 20.0f);
    EXPECT_EQ(block[18].nx, 1.0f);

    // Steps below 3 and above 128 are clamped: a closed cylinder of n steps is 4n triangles.
    GR_3D_SetRecorder(&recorder);
    GR_3D_DrawCylinder(0, 0, 0, 10, 10, 10, -1, 1, 1, true, 2);
    EXPECT_EQ(recorder.triangles.count, 12 * 3);
    GraphicsRecorder_Free(&recorder);
    GR_3D_DrawCylinder(0, 0, 0, 10, 10, 10, -1, 1, 1, true, 200);
    EXPECT_EQ(recorder.triangles.count, 512 * 3);
    GraphicsRecorder_Free(&recorder);
    GR_3D_DrawCone(0, 0, 0, 10, 10, 10, -1, 1, 1, false, 4);
    EXPECT_EQ(recorder.triangles.count, 8 * 3);
    EXPECT_EQ(recorder.triangles.vertices[0].x, 5.0f); // the apex
    EXPECT_EQ(recorder.triangles.vertices[0].z, 10.0f);
    GraphicsRecorder_Free(&recorder);
    GR_3D_DrawEllipsoid(-1, -1, -1, 1, 1, 1, -1, 1, 1, 4); // 2 rings of 4 steps
    EXPECT_EQ(recorder.triangles.count, 16 * 3);
    for (int i = 0; i < recorder.triangles.count; ++i) {
        const Vertex36& v = recorder.triangles.vertices[i];
        EXPECT_NEAR(v.x * v.x + v.y * v.y + v.z * v.z, 1.0, 1e-6) << i;
        EXPECT_NEAR(v.nx, v.x, 1e-6);
    }
    GR_3D_SetRecorder(nullptr);

    // A wall of no length draws nothing and touches no setting; a floor may slope.
    Graphics::Flush();
    Recording().ClearLog();
    GR_3D_DrawWall(5, 5, 0, 5, 5, 10, -1, 1, 1);
    Graphics::Flush();
    EXPECT_TRUE(Recording().Log().empty());
    GR_3D_DrawWall(0, 0, 0, 0, 10, 5, -1, 1, 1);
    GR_3D_DrawFloor(0, 0, 0, 10, 10, 5, -1, 1, 1);
    drawn = Drawn();
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0][0].nx, 1.0f);
    EXPECT_EQ(drawn[0][0].ny, 0.0f);
    EXPECT_EQ(drawn[1][1].z, 0.0f);
    EXPECT_EQ(drawn[1][2].z, 5.0f);
    // Each shape drew with wrapping addresses and put the clamp back.
    EXPECT_FALSE(Graphics::GetRepeat());
    std::vector<uint32_t> addresses;
    for (const D3DCall& call : Recording().Log())
        if (call.kind == D3DCallKind::SetSamplerState && call.a == 0 && call.b == D3DSAMP_ADDRESSU)
            addresses.push_back(call.c);
    EXPECT_EQ(addresses, (std::vector<uint32_t>{D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP, D3DTADDRESS_WRAP,
                                                D3DTADDRESS_CLAMP}));
}

TEST_F(D3DDrawTest, LightsReachTheDeviceAndTheShaderTables) {
    GR_3D_LightDefineDirection(1, 0, 3, 4, 0x0000FF);
    D3DLIGHT9 light{};
    ASSERT_EQ(Frame_State().GR_D3DDevice->GetLight(1, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_FLOAT_EQ(light.Direction.y, 0.6f);
    EXPECT_FLOAT_EQ(light.Direction.z, 0.8f);
    EXPECT_EQ(light.Diffuse.r, 1.0f);
    EXPECT_EQ(light.Diffuse.a, 0.0f);
    EXPECT_FLOAT_EQ(Shader_State().GR_Lights.direction[1][1], -0.6f);
    EXPECT_EQ(Shader_State().GR_Lights.direction[1][3], 1.0f);
    EXPECT_EQ(Shader_State().GR_Lights.colour[1][0], 255 * 0.003921568859368563f);

    // A zero direction stays zero; an index past 7 is reported and changes nothing.
    GR_3D_LightDefineDirection(2, 0, 0, 0, 0xFFFFFF);
    EXPECT_EQ(Shader_State().GR_Lights.direction[2][0], 0.0f);
    EXPECT_FALSE(std::isnan(Shader_State().GR_Lights.direction[2][2]));
    GR_3D_LightDefineDirection(8, 1, 0, 0, 0xFFFFFF);
    ASSERT_NE(CodeError_State().Code_LastErrorText, nullptr);
    EXPECT_NE(std::strstr(CodeError_State().Code_LastErrorText,
                          "Light index out of range - must be between 0 and 7 (inclusive)"),
              nullptr);
    EXPECT_EQ(Frame_State().GR_D3DDevice->GetLight(8, &light), D3DERR_INVALIDCALL);

    GR_3D_LightDefinePoint(3, 1, 2, 3, 50, 0x00FF00);
    ASSERT_EQ(Frame_State().GR_D3DDevice->GetLight(3, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_POINT);
    EXPECT_EQ(light.Range, 50.0f);
    EXPECT_EQ(light.Attenuation0, 1.0f);
    EXPECT_FLOAT_EQ(light.Attenuation1, 0.02f);
    EXPECT_EQ(Shader_State().GR_Lights.posRange[3][3], 50.0f);
    EXPECT_EQ(Shader_State().GR_Lights.direction[3][3], 0.0f);
    GR_3D_LightDefinePoint(4, 1, 2, 3, 0, 0x00FF00);
    ASSERT_EQ(Frame_State().GR_D3DDevice->GetLight(4, &light), D3D_OK);
    EXPECT_EQ(light.Attenuation1, 0.0f);

    GR_3D_LightEnable(3, true);
    EXPECT_TRUE(Frame_State().GR_D3DDevice->GetLightEnable(3));
    EXPECT_EQ(Shader_State().GR_Lights.enabled[3], 1.0f);
    GR_3D_LightDefineAmbient(0x112233);
    EXPECT_EQ(Frame_State().GR_D3DDevice->GetRenderState(D3DRS_AMBIENT), 0x00332211u);
    EXPECT_EQ(Frame_State().GR_D3DDevice->GetMaterial().Ambient.g, 1.0f);
    EXPECT_EQ(Frame_State().GR_D3DDevice->GetMaterial().Emissive.r, 0.0f);
    GR_3D_SetLighting(true);
    Graphics::Flush();
    EXPECT_EQ(Shader_State().GR_Lights.lightingEnabled, 1);
    EXPECT_EQ(Frame_State().GR_D3DDevice->GetRenderState(D3DRS_LIGHTING), 1u);
}

} // namespace
