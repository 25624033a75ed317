// The render-state cache and the settings that feed it, on the recording backend.
#include "graphics/frame/profiler.h"
#include "support/graphics_device.h"

#include <cstring>

namespace {

class RenderStateTest : public GraphicsDeviceTest {
protected:
    void SetUp() override { StartDevice(D3DBackend::Recording, 64, 48); }
    // Value of the last device render state sent, or -1.
    int64_t LastSent(uint32_t state) {
        int64_t value = -1;
        for (const D3DCall& call : Recording().Log())
            if (call.kind == D3DCallKind::SetRenderState && call.a == state) value = call.b;
        return value;
    }
};

TEST_F(RenderStateTest, TheFirstOffAfterStartUpReachesTheDevice) {
    // The start-up leaves blending, depth writes and all colour channels on at the device.
    Graphics::Flush();
    Recording().ClearLog();
    RenderState_State().g_RenderState.SetRenderState(RS_ALPHABLENDENABLE, 0);
    GR_D3D_SetZWriteEnable(false);
    Graphics::SetColourWriteEnable(false, false, false, false);
    Graphics::Flush();
    EXPECT_EQ(LastSent(D3DRS_ALPHABLENDENABLE), 0);
    EXPECT_EQ(LastSent(D3DRS_ZWRITEENABLE), 0);
    EXPECT_EQ(LastSent(D3DRS_COLORWRITEENABLE), 0);
    // Repeated values stop at the device cache.
    Recording().ClearLog();
    GR_D3D_SetRenderState(RS_ALPHABLENDENABLE, 0);
    EXPECT_EQ(LastSent(D3DRS_ALPHABLENDENABLE), -1);
}

TEST_F(RenderStateTest, EngineValuesMapOntoDeviceValues) {
    Recording().ClearLog();
    GR_D3D_SetRenderState(RS_CULLMODE, 1);
    EXPECT_EQ(LastSent(D3DRS_CULLMODE), D3DCULL_CW);
    GR_D3D_SetRenderState(RS_CULLMODE, 7);
    EXPECT_EQ(LastSent(D3DRS_CULLMODE), D3DCULL_NONE);
    GR_D3D_SetRenderState(RS_SRCBLEND, 18);
    EXPECT_EQ(LastSent(D3DRS_SRCBLEND), D3DBLEND_ZERO);
    GR_D3D_SetRenderState(RS_ZFUNC, 0);
    EXPECT_EQ(LastSent(D3DRS_ZFUNC), D3DCMP_ALWAYS);
    GR_D3D_SetRenderState(26, 9);
    EXPECT_EQ(LastSent(D3DRS_STENCILFAIL), D3DSTENCILOP_KEEP);
    const size_t calls = Recording().Log().size();
    GR_D3D_SetRenderState(14, 1);
    GR_D3D_SetRenderState(33, 1);
    GR_D3D_SetDeviceRenderState(210, 1);
    EXPECT_EQ(Recording().Log().size(), calls);

    Graphics::SetBlendMode(7);
    EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_SRCBLEND], 5u);
    EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_DESTBLEND], 6u);
    GR_D3D_SetHidden(true);
    EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_ZENABLE], 0u) << "no depth test outside 3D mode";
    const uint64_t samplers = RenderState_State().g_RenderState.samplerDirty;
    Graphics::SetInterpolationExt(8, false);
    EXPECT_EQ(RenderState_State().g_RenderState.samplerDirty, samplers);
}

TEST_F(RenderStateTest, EachBlendModeSendsItsFactorPair) {
    // bm_normal, bm_add, bm_max, bm_subtract, then a mode that is none of them; the factors as the
    // device numbers them (1 zero, 2 one, 4 inverse source colour, 5 source alpha, 6 inverse source alpha).
    const uint32_t modes[][3] = {{0, 5, 6}, {1, 5, 2}, {2, 5, 4}, {3, 1, 4}, {7, 5, 6}};
    for (const auto& [mode, source, destination] : modes) {
        Graphics::SetBlendMode(static_cast<int>(mode));
        Graphics::Flush();
        EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_SRCBLEND], source) << "mode " << mode;
        EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_DESTBLEND], destination) << "mode " << mode;
        EXPECT_EQ(static_cast<uint32_t>(LastSent(D3DRS_SRCBLEND)), source) << "mode " << mode;
        EXPECT_EQ(static_cast<uint32_t>(LastSent(D3DRS_DESTBLEND)), destination) << "mode " << mode;
    }
}

TEST_F(RenderStateTest, SaveRestoreAndApplyAllResendTheTrackedSlots) {
    Graphics::Flush();
    RenderState_State().g_RenderState.Save();
    Graphics::SetBlendMode(1);
    GR_D3D_SetCulling(true);
    RenderState_State().g_RenderState.Restore();
    EXPECT_FALSE(RenderState_State().g_RenderState.Pending());
    Recording().ClearLog();
    GR_D3D_InvalidateDeviceCache();
    RenderState_State().g_RenderState.ApplyAll();
    EXPECT_NE(LastSent(D3DRS_SRCBLEND), -1);
    EXPECT_EQ(LastSent(D3DRS_ZFUNC), -1) << "the depth function is not re-sent";
    EXPECT_EQ(LastSent(D3DRS_STENCILENABLE), -1);
    size_t samplerCalls = Recording().Count(D3DCallKind::SetSamplerState);
    EXPECT_EQ(samplerCalls, 10u);
}

TEST_F(RenderStateTest, FogRangeIsNormalisedAndKeptUnsignedAcrossAReset) {
    GR_D3D_SetFog(true, 0x0000FF, 40000.0f, 50000.0f);
    // Orthographic: the range goes to the device at once, over the projection's 1..32000.
    Recording().ClearLog();
    GR_D3D_SetFog(true, 0x0000FF, 3200.9f, 32000.0f);
    uint32_t start = static_cast<uint32_t>(LastSent(D3DRS_FOGSTART));
    float f = 0;
    std::memcpy(&f, &start, 4);
    EXPECT_FLOAT_EQ(f, static_cast<float>((3200.9f - 1.0) / 31999.0));
    EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_FOGCOLOR], 0xFFFF0000u);

    GR_D3D_SetFog(true, 0, 40000.0f, 50000.0f);
    GR_D3D_ApplySettings();
    EXPECT_EQ(RenderState_State().GR_Settings.fogStart, 40000.0f);
    EXPECT_EQ(RenderState_State().GR_Settings.fogEnd, 50000.0f);
}

TEST_F(RenderStateTest, TheOverlayDrawsInScreenSpaceAndPutsEverythingBack) {
    GR_D3D_Set3DMode(true);
    GR_D3D_SetCulling(true);
    GR_D3D_SetProjectionPerspective(0, 0, 64, 48, 0);
    Graphics::Flush();
    float view[16], projection[16];
    Graphics::GetMatrix(0, view);
    Graphics::GetMatrix(1, projection);
    Overlay_BeginDraw();
    EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_ZENABLE], 0u);
    EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_CULLMODE], 0u);
    float screen[16];
    Graphics::GetMatrix(1, screen);
    EXPECT_FLOAT_EQ(screen[5], -2.0f / 48.0f);
    Overlay_EndDraw();
    EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_ZENABLE], 1u);
    EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_CULLMODE], 2u);
    float after[16];
    Graphics::GetMatrix(1, after);
    EXPECT_EQ(std::memcmp(after, projection, sizeof after), 0);
    Graphics::GetMatrix(0, after);
    EXPECT_EQ(std::memcmp(after, view, sizeof after), 0);
}

TEST_F(RenderStateTest, OrthographicFogDrawsPendingVerticesFirst) {
    GR_Draw_Rectangle(0, 0, 5, 5, false);
    Recording().ClearLog();
    GR_D3D_SetFog(true, 0, 10.0f, 20.0f);
    const auto& log = Recording().Log();
    size_t draw = log.size();
    size_t fog = log.size();
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].kind == D3DCallKind::DrawPrimitive && draw == log.size()) draw = i;
        if (log[i].kind == D3DCallKind::SetRenderState && log[i].a == D3DRS_FOGSTART && fog == log.size()) fog = i;
    }
    ASSERT_LT(fog, log.size());
    EXPECT_LT(draw, fog);
}

} // namespace
