// The matrix set, the builders, the transform stack and the projections.
#include "support/graphics_device.h"

#include <cstring>

namespace {

class TransformTest : public GraphicsDeviceTest {
protected:
    void SetUp() override { StartDevice(D3DBackend::Recording, 640, 480); }
};

TEST_F(TransformTest, WorldTransformsApplyInOrderAndTheStackHoldsFiftyOne) {
    GR_D3D_TransformSetRotationZ(90);
    float x = 1, y = 0, z = 0;
    GR_D3D_TransformVertex(x, y, z);
    EXPECT_NEAR(x, 0.0f, 1e-6f);
    EXPECT_NEAR(y, -1.0f, 1e-6f);
    GR_D3D_TransformAddTranslation(10, 0, 0);
    x = 1, y = 0, z = 0;
    GR_D3D_TransformVertex(x, y, z);
    EXPECT_NEAR(x, 10.0f, 1e-5f);
    EXPECT_NEAR(y, -1.0f, 1e-6f);
    // An axis rotation about x by a equals the x rotation by a.
    float axis[16], rx[16];
    const float xAxis[3] = {1, 0, 0};
    Matrix_BuildRotationAxis(axis, xAxis, -30.0f);
    Matrix_BuildRotationX(rx, 30.0f);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(axis[i], rx[i], 1e-6f) << i;

    GR_D3D_TransformStackClear();
    for (int i = 0; i < 51; ++i)
        EXPECT_TRUE(GR_D3D_TransformStackPush()) << i;
    EXPECT_FALSE(GR_D3D_TransformStackPush());
    for (int i = 0; i < 51; ++i)
        EXPECT_TRUE(GR_D3D_TransformStackPop()) << i;
    EXPECT_FALSE(GR_D3D_TransformStackPop());
    EXPECT_FALSE(GR_D3D_TransformStackTop());
    EXPECT_FALSE(GR_D3D_TransformStackDiscard());
    EXPECT_TRUE(GR_D3D_TransformStackEmpty());
}

TEST_F(TransformTest, ProjectionRoundTripsDoNotDriftAndTheDeviceGetsTheHalfPixel) {
    GR_D3D_SetProjectionOrtho(0, 0, 640, 480, 0);
    float kept[16];
    Graphics::GetMatrix(1, kept);
    for (int i = 0; i < 5; ++i) {
        float m[16];
        Graphics::GetMatrix(1, m);
        Graphics::SetMatrix(1, m);
    }
    float after[16];
    Graphics::GetMatrix(1, after);
    EXPECT_EQ(std::memcmp(kept, after, sizeof after), 0);
    D3DMATRIX device{};
    Frame_State().GR_D3DDevice->GetTransform(D3DTS_PROJECTION, &device);
    EXPECT_FLOAT_EQ(device.m[12], static_cast<float>(kept[12] - 1.0 / 640));
    EXPECT_FLOAT_EQ(device.m[13], static_cast<float>(kept[13] + 1.0 / 480));

    // The room point (0, 0) lands on the top-left corner of the view, (640, 480) on the bottom-right.
    float wvp[16];
    Graphics::GetMatrix(4, wvp);
    auto clip = [&](float px, float py, float& cx, float& cy) {
        cx = px * wvp[0] + py * wvp[4] + wvp[12];
        cy = px * wvp[1] + py * wvp[5] + wvp[13];
        const float w = px * wvp[3] + py * wvp[7] + wvp[15];
        cx /= w;
        cy /= w;
    };
    float cx = 0, cy = 0;
    clip(0, 0, cx, cy);
    EXPECT_NEAR(cx, -1.0f - 1.0f / 640, 1e-5f);
    EXPECT_NEAR(cy, 1.0f + 1.0f / 480, 1e-5f);
    clip(640, 480, cx, cy);
    EXPECT_NEAR(cx, 1.0f - 1.0f / 640, 1e-5f);
    EXPECT_NEAR(cy, -1.0f + 1.0f / 480, 1e-5f);
    EXPECT_TRUE(Transform_State().GR_Transform.surfaceTarget);
    EXPECT_TRUE(Transform_State().GR_Transform.orthographic);
}

TEST_F(TransformTest, ThreeDModeAndTheDrawingDepth) {
    GR_D3D_SetDepth(20000);
    EXPECT_EQ(GR_D3D_GetDepth(), 0.0f);
    EXPECT_TRUE(GR_D3D_Set3DMode(true));
    EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_ZENABLE], 1u);
    GR_D3D_SetDepth(20000);
    EXPECT_EQ(GR_D3D_GetDepth(), 16000.0f);
    GR_D3D_SetDepth(-5);
    EXPECT_EQ(GR_D3D_GetDepth(), -5.0f);
    // A second start changes nothing and flushes nothing.
    GR_Draw_Point(0, 0);
    Recording().ClearLog();
    EXPECT_TRUE(GR_D3D_Set3DMode(true));
    EXPECT_TRUE(Draws().empty());
    EXPECT_TRUE(GR_D3D_Set3DMode(false));
    EXPECT_EQ(Draws().size(), 1u);
}

} // namespace
