// Object lifetimes, state kept across a reset and the call log, on the recording backend.
#include "device/device.h"
#include "device/recording/recording_device.h"

#include <gtest/gtest.h>

namespace {

class DeviceStateTest : public testing::Test {
protected:
    void SetUp() override {
        D3D_SetBackend(D3DBackend::Recording);
        d3d = Direct3DCreate9(32);
        params.BackBufferWidth = 100;
        params.BackBufferHeight = 50;
        params.EnableAutoDepthStencil = 1;
        params.AutoDepthStencilFormat = D3DFMT_D24S8;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x42, &params, &device), D3D_OK);
    }
    void TearDown() override {
        delete device;
        d3d->Release();
        D3D_SetBackend(D3DBackend::OpenGL);
    }
    CD3D* d3d = nullptr;
    CD3DDevice* device = nullptr;
    D3DPRESENT_PARAMETERS params{};
};

TEST_F(DeviceStateTest, TargetsAreCountedAndSlotZeroSetsTheViewport) {
    CD3DTexture* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(16, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture),
              D3D_OK);
    CD3DSurface* level = texture->GetSurfaceLevel(0);
    CD3DSurface* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    D3DVIEWPORT9 vp{};
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 16u);
    EXPECT_EQ(vp.Height, 8u);
    // The device holds the level (and so the texture) until the target changes.
    level->Release();
    EXPECT_EQ(texture->Release(), 1u);
    EXPECT_EQ(device->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 100u);
    back->Release();
    // A viewport outside the target is refused.
    EXPECT_EQ(device->SetViewport(D3DVIEWPORT9{90, 0, 20, 10, 0, 1}), D3DERR_INVALIDCALL);
}

TEST_F(DeviceStateTest, ObjectsReleasedAfterTheirDeviceAreOnlyFreed) {
    CD3DTexture* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    CD3DSurface* level = texture->GetSurfaceLevel(0);
    delete device;
    device = nullptr;
    uint32_t pitch = 0;
    uint8_t* bits = nullptr;
    ASSERT_EQ(texture->LockRect(0, &pitch, &bits, nullptr, 0), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    level->Release();
    EXPECT_EQ(texture->Release(), 0u);
}

// What a texture's memory says of its alpha holds only while that memory is what the backend samples.
TEST_F(DeviceStateTest, OpacityIsKnownFromTheMemoryOnlyWhileNothingElseWroteTheTexture) {
    CD3DTexture* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    uint32_t pitch = 0;
    uint8_t* bits = nullptr;
    ASSERT_EQ(texture->LockRect(0, &pitch, &bits, nullptr, 0), D3D_OK);
    for (uint32_t i = 0; i < 16; ++i)
        bits[i * 4 + 3] = i == 15 ? 0x80 : 0xFF; // the last pixel, (3, 3), is half transparent
    const uint32_t serial = texture->ContentSerial();
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_NE(texture->ContentSerial(), serial);
    EXPECT_TRUE(texture->OpaqueIn(D3DRECT{0, 0, 3, 4}));
    EXPECT_FALSE(texture->OpaqueIn(D3DRECT{2, 2, 4, 4}));
    EXPECT_FALSE(texture->OpaqueIn(D3DRECT{0, 0, 5, 1})) << "outside the texture";
    EXPECT_FALSE(texture->OpaqueIn(D3DRECT{1, 1, 1, 2})) << "empty";
    // Changed in memory without being sent: not what the backend has.
    ASSERT_EQ(texture->LockRect(0, &pitch, &bits, nullptr, D3DLOCK_NO_DIRTY_UPDATE), D3D_OK);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_FALSE(texture->OpaqueIn(D3DRECT{0, 0, 1, 1}));
    // Sent whole again, then stretched into: the memory no longer follows.
    CD3DTexture* copy = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &copy), D3D_OK);
    ASSERT_EQ(device->UpdateTexture(texture, copy), D3D_OK);
    EXPECT_TRUE(copy->OpaqueIn(D3DRECT{0, 0, 1, 1}));
    CD3DSurface* back = nullptr;
    CD3DSurface* level = copy->GetSurfaceLevel(0);
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    ASSERT_EQ(device->StretchRect(back, nullptr, level, nullptr, D3DTEXF_POINT), D3D_OK);
    EXPECT_FALSE(copy->OpaqueIn(D3DRECT{0, 0, 1, 1}));
    level->Release();
    back->Release();
    copy->Release();
    texture->Release();
    // Render targets and formats other than A8R8G8B8 are never known.
    ASSERT_EQ(device->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture),
              D3D_OK);
    EXPECT_FALSE(texture->OpaqueIn(D3DRECT{0, 0, 1, 1}));
    texture->Release();
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    EXPECT_FALSE(texture->OpaqueIn(D3DRECT{0, 0, 1, 1}));
    texture->Release();
}

TEST_F(DeviceStateTest, ResetKeepsSamplersStagesAndTransformsButNotRenderStates) {
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    D3DMATRIX m{};
    m.m[0] = 2.0f;
    device->SetTransform(D3DTS_WORLD, m);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->InjectLoss(D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    params.BackBufferWidth = 200;
    ASSERT_EQ(device->Reset(params), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device->GetSamplerState(0, D3DSAMP_MAGFILTER), D3DTEXF_LINEAR);
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_ALPHAOP), D3DTOP_MODULATE);
    D3DMATRIX got{};
    device->GetTransform(D3DTS_WORLD, &got);
    EXPECT_EQ(got.m[0], 2.0f);
    EXPECT_EQ(device->GetRenderState(D3DRS_ALPHABLENDENABLE), 0u);
    D3DVIEWPORT9 vp{};
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 200u);
}

TEST_F(DeviceStateTest, DrawsAreLoggedWithTheirVerticesAndBadDrawsRefused) {
    auto* recording = static_cast<CRecordingDevice*>(device);
    CD3DVertexBuffer* buffer = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(16 * 6, D3DUSAGE_DYNAMIC, 0x42, D3DPOOL_SYSTEMMEM, &buffer), D3D_OK);
    uint8_t* data = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
    data[16] = 7;
    device->SetFVF(0x42);
    device->SetStreamSource(0, buffer, 16, 16);
    // Locked buffers and ranges past the end are refused.
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    buffer->Unlock();
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3DERR_INVALIDCALL);
    recording->ClearLog();
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    ASSERT_EQ(recording->Count(D3DCallKind::DrawPrimitive), 1u);
    const D3DCall& call = recording->Log().back();
    EXPECT_EQ(call.a, static_cast<uint32_t>(D3DPT_TRIANGLELIST));
    EXPECT_EQ(call.data.size(), 48u);
    EXPECT_EQ(call.data[0], 7);
    device->SetStreamSource(0, nullptr, 0, 0);
    buffer->Release();
}

} // namespace

namespace {

int g_made = 0;
void* g_window = nullptr;

CD3DDevice* CountingRecordingDevice(void* window) {
    ++g_made;
    g_window = window;
    return Recording_CreateDevice(window);
}

} // namespace

// The device is made by the maker registered for the chosen backend; a backend without one is refused.
TEST(DeviceBackendTable, CreateDeviceUsesTheRegisteredMaker) {
    D3D_SetBackend(D3DBackend::Recording);
    CD3D* d3d = Direct3DCreate9(32);
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 8;
    params.BackBufferHeight = 8;
    CD3DDevice* device = nullptr;
    int window = 0;
    D3D_RegisterBackend(D3DBackend::Recording, CountingRecordingDevice);
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, 0x42, &params, &device), D3D_OK);
    EXPECT_EQ(g_made, 1);
    EXPECT_EQ(g_window, &window);
    EXPECT_NE(dynamic_cast<CRecordingDevice*>(device), nullptr);
    delete device;
    device = nullptr;

    D3D_RegisterBackend(D3DBackend::Recording, nullptr);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x42, &params, &device), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(g_made, 1);

    D3D_RegisterBackend(D3DBackend::Recording, Recording_CreateDevice);
    D3D_SetBackend(D3DBackend::OpenGL);
    d3d->Release();
}
