// Device textures, texture pages and the render-target stack, on the recording backend.
#include "graphics/image_samples.h"
#include "support/graphics_device.h"

#include <cstring>
#include <vector>

namespace {

class TextureTest : public GraphicsDeviceTest {
protected:
    void SetUp() override { StartDevice(D3DBackend::Recording, 64, 48); }

    static std::vector<uint8_t> RawPage(uint32_t w, uint32_t h, uint32_t kind, size_t pixelBytes) {
        std::vector<uint8_t> page(16 + pixelBytes);
        const uint32_t header[4] = {0x20574152u, w, h, kind};
        std::memcpy(page.data(), header, 16);
        for (size_t i = 0; i < pixelBytes; ++i)
            page[16 + i] = static_cast<uint8_t>(i);
        return page;
    }
};

TEST_F(TextureTest, PlainTexturesArePowersOfTwoAndTargetsKeepTheirSize) {
    TDeviceTexture* plain = GR_D3D_CreateTexture(100, 30, 1, 0, 6);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->Width(), 128);
    EXPECT_EQ(plain->Height(), 32);
    EXPECT_EQ(plain->flags, TEXFLAG_POOL_MANAGED);
    TDeviceTexture* target = GR_D3D_CreateTexture(100, 30, 1, TEXCREATE_RENDERTARGET, 6);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->Width(), 100);
    EXPECT_EQ(target->Height(), 30);
    EXPECT_NE(target->depthSurface, nullptr);
    // Up to the largest side the device makes, a texture holds its whole image.
    TDeviceTexture* tall = GR_D3D_CreateTexture(10, 5000, 1, 0, 6);
    ASSERT_NE(tall, nullptr);
    EXPECT_EQ(Texture_MaxSide(), 8192);
    EXPECT_EQ(tall->Height(), 8192);
    GR_D3D_FreeTexture(tall);
    TDeviceTexture* wide = GR_D3D_CreateTexture(9000, 10, 1, 0, 6);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->Width(), 8192);
    EXPECT_EQ(wide->Height(), 16);
    // A wider image is cropped to the texture, not written past it.
    std::vector<uint8_t> pixels(9000u * 10u * 4u, 0xAB);
    EXPECT_TRUE(GR_D3D_UploadTexture(wide, 0, 9000, 10, pixels.data()));
    EXPECT_EQ(wide->systemCopy[8191 * 4], 0xAB);
    EXPECT_EQ(wide->systemCopy[10 * 8192 * 4], 0x00) << "rows below the image stay zero";
    // A target the device cannot make gives null and leaves nothing behind.
    EXPECT_EQ(GR_D3D_CreateTexture(9000, 10, 1, TEXCREATE_RENDERTARGET, 6), nullptr);
    GR_D3D_FreeTexture(plain);
    GR_D3D_FreeTexture(target);
    GR_D3D_FreeTexture(wide);
    EXPECT_EQ(GR_D3D_TextureList(), GR_D3D_ScreenTexture());
}

TEST_F(TextureTest, RawPagesAreCheckedAndConvertedInACopy) {
    TTextureInfo info{};
    auto kind2 = RawPage(2, 2, 2, 16);
    EXPECT_EQ(GR_D3D_CreateTexturePage(kind2.data(), kind2.size(), &info, 6, 0), nullptr);
    auto shortPage = RawPage(4, 4, 0, 60);
    EXPECT_EQ(GR_D3D_CreateTexturePage(shortPage.data(), shortPage.size(), &info, 6, 0), nullptr);
    auto empty = RawPage(0, 4, 0, 0);
    EXPECT_EQ(GR_D3D_CreateTexturePage(empty.data(), empty.size(), &info, 6, 0), nullptr);
    auto huge = RawPage(0x80000000u, 0x80000000u, 0, 16);
    EXPECT_EQ(GR_D3D_CreateTexturePage(huge.data(), huge.size(), &info, 6, 0), nullptr);

    auto page = RawPage(2, 1, 0, 8);
    const auto original = page;
    TDeviceTexture* t = GR_D3D_CreateTexturePage(page.data(), page.size(), &info, 6, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(page, original) << "the loaded bytes stay as they were";
    EXPECT_EQ(info.width, 2);
    EXPECT_EQ(info.depth, 32);
    EXPECT_EQ(t->systemCopy[0], 2);
    EXPECT_EQ(t->systemCopy[2], 0);
    GR_D3D_FreeTexture(t);

    // 16-bit pages: nibbles reversed, rows at the texture's pitch (3 wide in a 4-wide texture).
    auto sixteen = RawPage(3, 2, 1, 12);
    t = GR_D3D_CreateTexturePage(sixteen.data(), sixteen.size(), &info, 6, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(info.formatCode, 11);
    EXPECT_EQ(t->Width(), 4);
    uint16_t first = 0;
    uint16_t secondRow = 0;
    std::memcpy(&first, t->systemCopy, 2);
    std::memcpy(&secondRow, t->systemCopy + 4 * 2, 2);
    EXPECT_EQ(first, 0x0010u) << "0x0100 reversed";
    EXPECT_EQ(secondRow, 0x6070u) << "0x0706 reversed, the first pixel of the second image row";
    GR_D3D_FreeTexture(t);
}

TEST_F(TextureTest, ImagePagesKeepTheirOwnSizeWithOneLevel) {
    PNGSample sample;
    sample.width = 3;
    sample.height = 2;
    sample.rows = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 128, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const Bytes png = EncodePNG(sample);
    const int id = Texture_CreateFromMemory(png.data(), png.size());
    ASSERT_TRUE(Texture_Exists(id));
    const TDeviceTexture* t = Texture_Get(id);
    EXPECT_EQ(t->Width(), 3);
    EXPECT_EQ(t->Height(), 2);
    EXPECT_EQ(t->packedSize >> 26, 0u) << "one level";
    float tw = 0, th = 0;
    ASSERT_TRUE(Texture_GetTexelSize(id, tw, th));
    EXPECT_FLOAT_EQ(tw, 1.0f / 3.0f);
    uint32_t texel = 0;
    std::memcpy(&texel, t->systemCopy + 8, 4);
    EXPECT_EQ(texel, 0x800000FFu);
    // Bytes that are no image give a record without a texture.
    const uint8_t junk[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    TTextureInfo info{};
    TDeviceTexture* none = GR_D3D_CreateTexturePage(junk, sizeof junk, &info, 6, 0);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->texture, nullptr);
    GR_D3D_FreeTexture(none);
}

TEST_F(TextureTest, RenderTargetStackRestoresTargetsAndRefusesANinthLevel) {
    TDeviceTexture* surface = GR_D3D_CreateTexture(16, 16, 1, TEXCREATE_RENDERTARGET, 6);
    CD3DSurface* before = nullptr;
    Frame_State().GR_D3DDevice->GetRenderTarget(0, &before);
    ASSERT_TRUE(GR_D3D_PushRenderTargets());
    ASSERT_TRUE(GR_D3D_SetRenderTarget(0, surface));
    CD3DSurface* during = nullptr;
    Frame_State().GR_D3DDevice->GetRenderTarget(0, &during);
    EXPECT_EQ(during, surface->colourSurface);
    during->Release();
    ASSERT_TRUE(GR_D3D_PopRenderTargets());
    CD3DSurface* after = nullptr;
    Frame_State().GR_D3DDevice->GetRenderTarget(0, &after);
    EXPECT_EQ(after, before);
    after->Release();
    before->Release();
    EXPECT_FALSE(GR_D3D_PopRenderTargets());

    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(GR_D3D_PushRenderTargets());
    EXPECT_FALSE(GR_D3D_PushRenderTargets());
    EXPECT_EQ(GR_D3D_RenderTargetDepth(), 8);
    GR_D3D_PopAllRenderTargets();
    EXPECT_EQ(GR_D3D_RenderTargetDepth(), 0);

    // A target drawn to is resolved at its first binding, not at the second.
    Recording().ClearLog();
    GR_D3D_SetTexture(0, surface);
    GR_D3D_SetTexture(0, surface);
    EXPECT_EQ(Recording().Count(D3DCallKind::StretchRect), 1u);
    const size_t calls = Recording().Log().size();
    GR_D3D_SetTexture(9, surface);
    EXPECT_EQ(Recording().Log().size(), calls);
    GR_D3D_FreeTexture(surface);
}

TEST_F(TextureTest, TheTableReusesFreedIdsAndHandlesNeverLookLikeIds) {
    const int a = Texture_Create(10, 10, false);
    const int b = Texture_Create(10, 10, false);
    EXPECT_EQ(b, a + 1);
    float tw = 0, th = 0;
    ASSERT_TRUE(Texture_GetTexelSize(a, tw, th));
    EXPECT_FLOAT_EQ(tw, 1.0f / 16.0f);
    Texture_Free(a);
    EXPECT_FALSE(Texture_Exists(a));
    EXPECT_EQ(Texture_Create(4, 4, false), a);
    // Page-entry handles: 0x100000 + slot, stable while registered, freed slots reused lowest first,
    // and every other number (a texture id, a sprite index, a stale handle) resolves to nothing.
    TPageEntry entries[3]{};
    const int32_t handle = PageEntry_Register(&entries[0]);
    EXPECT_EQ(handle, 0x100000);
    EXPECT_EQ(PageEntry_Register(&entries[1]), 0x100001);
    EXPECT_EQ(PageEntry_Register(&entries[0]), handle);
    EXPECT_EQ(static_cast<int32_t>(static_cast<float>(handle + 1)), handle + 1);
    EXPECT_EQ(PageEntry_FromHandle(handle), &entries[0]);
    EXPECT_EQ(PageEntry_FromHandle(a), nullptr);
    EXPECT_EQ(PageEntry_FromHandle(2048), nullptr);
    EXPECT_EQ(PageEntry_FromHandle(handle + 2), nullptr);
    PageEntry_Unregister(&entries[0]);
    EXPECT_EQ(PageEntry_FromHandle(handle), nullptr);
    EXPECT_EQ(PageEntry_Register(&entries[2]), handle);
    EXPECT_EQ(PageEntry_Register(nullptr), -1);
    PageEntry_ClearRegistry();
    EXPECT_EQ(PageEntry_FromHandle(handle), nullptr);
}

} // namespace
