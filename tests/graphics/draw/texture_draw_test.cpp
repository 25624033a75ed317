// Textured quads as vertex streams, on the recording backend.
#include "graphics/draw/texture_draw.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/vertex.h"
#include "support/graphics_device.h"

#include <cstring>

namespace {

class TextureDrawTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        StartDevice(D3DBackend::Recording, 64, 48);
        id = Texture_Create(100, 50, false); // a 128 x 64 device texture
        ASSERT_GE(id, 0);
        entry = TPageEntry{32, 16, 20, 10, 5, 4, 20, 10, 30, 20, static_cast<int16_t>(id)};
        Graphics::Flush();
        Recording().ClearLog();
    }
    void TearDown() override {
        Texture_SetCornerIds(false);
        GraphicsDeviceTest::TearDown();
    }
    // Every draw since the last call: kind and vertices.
    struct Draw {
        uint32_t kind;
        std::vector<Vertex24> v;
    };
    std::vector<Draw> Take() {
        Graphics::Flush();
        std::vector<Draw> out;
        for (const D3DCall* call : Draws()) {
            Draw d{call->a, std::vector<Vertex24>(call->data.size() / sizeof(Vertex24))};
            std::memcpy(d.v.data(), call->data.data(), d.v.size() * sizeof(Vertex24));
            out.push_back(std::move(d));
        }
        Recording().ClearLog();
        return out;
    }
    std::vector<Vertex24> TakeOne() {
        auto draws = Take();
        EXPECT_EQ(draws.size(), 1u);
        return draws.empty() ? std::vector<Vertex24>{} : draws[0].v;
    }
    int id = -1;
    TPageEntry entry{};
};

#define EXPECT_AT(vertex, ex, ey)                                                                            \
    do {                                                                                                     \
        EXPECT_FLOAT_EQ((vertex).x, ex);                                                                     \
        EXPECT_FLOAT_EQ((vertex).y, ey);                                                                     \
    } while (0)

TEST_F(TextureDrawTest, PlainQuadsCoverTheImageInListOrder) {
    GR_Draw_SetAlpha(0.5f);
    ASSERT_TRUE(Texture_Draw(id, 3, 4));
    auto v = TakeOne();
    ASSERT_EQ(v.size(), 6u);
    // top-left, top-right, bottom-right, bottom-right, bottom-left, top-left
    EXPECT_AT(v[0], 3, 4);
    EXPECT_AT(v[1], 103, 4);
    EXPECT_AT(v[2], 103, 54);
    EXPECT_AT(v[4], 3, 54);
    EXPECT_AT(v[5], 3, 4);
    EXPECT_FLOAT_EQ(v[2].u, 0.78125f);
    EXPECT_FLOAT_EQ(v[2].v, 0.78125f);
    EXPECT_EQ(v[0].colour, 0x7FFFFFFFu); // white in the drawing alpha

    // An entry starts at its target offset and samples its source rectangle.
    ASSERT_TRUE(Texture_DrawEntry(&entry, 10, 10));
    v = TakeOne();
    EXPECT_AT(v[0], 15, 14);
    EXPECT_AT(v[2], 35, 24);
    EXPECT_FLOAT_EQ(v[0].u, 32.0f / 128);
    EXPECT_FLOAT_EQ(v[2].v, 26.0f / 64);

    // Invalid ids and entries draw nothing and say so.
    EXPECT_FALSE(Texture_Draw(id + 1, 0, 0));
    EXPECT_FALSE(Texture_DrawEntry(nullptr, 0, 0));
    TPageEntry dead = entry;
    dead.texture = 9;
    EXPECT_FALSE(Texture_DrawEntryExt(&dead, 0, 0, 0, 0, 1, 1, 0, 0, 1));
    EXPECT_TRUE(Take().empty());
    EXPECT_FLOAT_EQ(Texture_GetWidth(-1), 1.0f);
    EXPECT_FLOAT_EQ(Texture_GetWidth(id), 100.0f / 128);
}

TEST_F(TextureDrawTest, AlphaTruncatesExceptInTheGeneralEntryAndTiledForms) {
    // 0.999 x 255 = 254.745: truncated 254, rounded 255.
    Texture_DrawExt(id, 0, 0, 0, 0, 1, 1, 0, 0x0000FF, 0.999f);
    EXPECT_EQ(TakeOne()[0].colour, 0xFEFF0000u);
    Texture_DrawEntryGeneral(&entry, 0, 0, 30, 20, 0, 0, 1, 1, 0, 0x0000FF, 0x00FF00, 0xFF0000, 0, 0.999f);
    auto v = TakeOne();
    EXPECT_EQ(v[0].colour, 0xFFFF0000u);
    EXPECT_EQ(v[1].colour, 0xFF00FF00u);
    EXPECT_EQ(v[2].colour, 0xFF0000FFu);
    EXPECT_EQ(v[4].colour, 0xFF000000u);
    Texture_DrawGeneral(id, 0, 0, 10, 10, 0, 0, 1, 1, 0, 0x0000FF, 0, 0, 0, 0.999f);
    EXPECT_EQ(TakeOne()[0].colour, 0xFEFF0000u);
    Texture_DrawTiled(id, 0, 0, 0, 0, 1, 1, false, false, 0, 0, 64, 48, 0x0000FF, 0.999f);
    EXPECT_EQ(TakeOne()[0].colour, 0xFFFF0000u);
}

TEST_F(TextureDrawTest, RotationStartsAtItsThresholds) {
    // Fans: one draw each.
    Texture_DrawExt(id, 0, 0, 10, 10, 1, 1, 0.0005f, 0, 1);
    auto v = TakeOne();
    ASSERT_EQ(v.size(), 4u);
    EXPECT_AT(v[1], 110, 10);
    Texture_DrawExt(id, 0, 0, 10, 10, 1, 1, 0.005f, 0, 1);
    v = TakeOne();
    EXPECT_NE(v[1].y, 10.0f); // turned anticlockwise: the top-right corner rises
    EXPECT_LT(v[1].y, 10.0f);
    Texture_DrawGeneral(id, 0, 0, 10, 10, 10, 10, 1, 1, 0.005f, 0, 0, 0, 0, 1);
    v = TakeOne();
    EXPECT_AT(v[0], 10, 10);
    EXPECT_AT(v[1], 20, 10);
    // Turned, the General form puts its left and top edges at -0.5.
    Texture_DrawGeneral(id, 0, 0, 10, 10, 10, 10, 1, 1, 3.14159265f, 0, 0, 0, 0, 1);
    v = TakeOne();
    EXPECT_NEAR(v[0].x, 10.5f, 1e-4);
    EXPECT_NEAR(v[0].y, 10.5f, 1e-4);
    EXPECT_NEAR(v[2].x, 0.0f, 1e-4);
}

TEST_F(TextureDrawTest, EntryPartsAreClippedToTheCroppedRectangle) {
    // The part (0, 0, 30, 20) of the full image: the page holds (5, 4)-(25, 14); the point moves by the
    // margin and the quad covers the cropped rectangle only, in the part order.
    ASSERT_TRUE(Texture_DrawEntryPart(&entry, 0, 0, 30, 20, 10, 10, 1, 1, 0, 0, 1));
    auto v = TakeOne();
    ASSERT_EQ(v.size(), 6u);
    // top-left, top-right, bottom-left, top-right, bottom-right, bottom-left
    EXPECT_AT(v[0], 15, 14);
    EXPECT_AT(v[1], 35, 14);
    EXPECT_AT(v[2], 15, 24);
    EXPECT_AT(v[4], 35, 24);
    EXPECT_FLOAT_EQ(v[0].u, 32.0f / 128);
    EXPECT_FLOAT_EQ(v[4].u, 52.0f / 128);
    EXPECT_FLOAT_EQ(v[4].v, 26.0f / 64);

    // A part starting inside the cropped rectangle reaches no further than its right edge.
    ASSERT_TRUE(Texture_DrawEntryPart(&entry, 20, 6, 30, 30, 0, 0, 1, 1, 0, 0, 1));
    v = TakeOne();
    EXPECT_AT(v[4], 5, 8);
    EXPECT_FLOAT_EQ(v[4].u, 52.0f / 128);

    // A part wholly in the margin draws nothing, and is not an error.
    EXPECT_TRUE(Texture_DrawEntryPart(&entry, 26, 0, 4, 4, 0, 0, 1, 1, 0, 0, 1));
    EXPECT_TRUE(Texture_DrawEntryGeneral(&entry, 0, 15, 30, 5, 0, 0, 1, 1, 0, 0, 0, 0, 0, 1));
    EXPECT_TRUE(Take().empty());

    // A zero-size target is made 1 x 1 before anything divides by it.
    TPageEntry zero{0, 0, 4, 4, 0, 0, 0, 0, 4, 4, static_cast<int16_t>(id)};
    ASSERT_TRUE(Texture_DrawEntryPart(&zero, 0, 0, 4, 4, 0, 0, 1, 1, 0, 0, 1));
    EXPECT_EQ(zero.targetWidth, 1);
    EXPECT_EQ(zero.targetHeight, 1);
    v = TakeOne();
    EXPECT_FLOAT_EQ(v[4].u, 4.0f / 128);
}

TEST_F(TextureDrawTest, TiledQuadsCoverTheRegion) {
    // Without tiling: one quad when it meets the region, none when it starts past it.
    Texture_DrawTiled(id, 0, 0, 10, 10, 0.1f, 0.2f, false, false, 0, 0, 64, 48, 0, 1);
    EXPECT_EQ(Take().size(), 1u);
    Texture_DrawTiled(id, 0, 0, 70, 10, 0.1f, 0.2f, false, false, 0, 0, 64, 48, 0, 1);
    EXPECT_TRUE(Take().empty());
    // 10 x 10 tiles from x = 3 over 0..64 x 0..48: columns -7, 3, ..., 63 (8), rows -7, 3, ..., 43 (6).
    Texture_DrawTiled(id, 0, 0, 3, 3, 0.1f, 0.2f, true, true, 0, 0, 64, 48, 0, 1);
    const auto tiles = Take();
    ASSERT_EQ(tiles.size(), 48u);
    EXPECT_AT(tiles[0].v[0], -7, -7);
    EXPECT_AT(tiles.back().v[0], 63, 43);
    EXPECT_FALSE(Texture_DrawTiled(id, 0, 0, 0, 0, 0.001f, 1, true, true, 0, 0, 64, 48, 0, 1));

    // Entries: list quads batched together in the tiled order; 30 x 20 tiles over 64 x 48 from the left
    // edge 2 + 5 = 7 (top edge 4) start one tile further back: -53, -23, 7, 37 across, -36, -16, 4, 24, 44
    // down.
    Texture_DrawEntryTiled(&entry, 0, 0, 2, 0, 1, 1, true, true, 0, 0, 64, 48, 0, 1);
    const auto batch = Take();
    ASSERT_EQ(batch.size(), 1u);
    ASSERT_EQ(batch[0].v.size(), 20u * 6);
    // bottom-left, top-left, top-right, top-right, bottom-right, bottom-left
    EXPECT_AT(batch[0].v[1], -53, -36);
    EXPECT_AT(batch[0].v[0], -53, -26);
    EXPECT_AT(batch[0].v[2], -33, -36);
    EXPECT_AT(batch[0].v[4], -33, -26);
}

TEST_F(TextureDrawTest, TilingAHugeRegionDrawsOnlyWhatReachesThePixels) {
    // A region 15 million pixels tall, seen one to one: the 10 x 10 tiles of the 48 rows on screen.
    const float tall = 15335664.0f;
    Texture_DrawTiled(id, 0, 0, 3, 3, 0.1f, 0.2f, true, true, 0, 0, 64, tall, 0, 1);
    auto tiles = Take();
    ASSERT_EQ(tiles.size(), 8u * 6);
    EXPECT_AT(tiles.back().v[0], 63, 43);
    // The whole of it squeezed into the 48 rows: at most one tile for each row of pixels.
    Graphics::SetViewArea(0, 0, 64, tall, 0);
    Texture_DrawEntryTiled(&entry, 0, 0, 2, 0, 1, 1, true, true, 0, 0, 64, tall, 0, 1);
    tiles = Take();
    size_t quads = 0;
    for (const auto& batch : tiles)
        quads += batch.v.size() / 6;
    EXPECT_GT(quads, 4u * 40);
    EXPECT_LE(quads, 4u * 48);
}

// A view area of no height (a room of height 0) bounds only the horizontal span: a region a billion pixels
// wide still gets a tile or two for each column of pixels on screen, not 67 million.
TEST_F(TextureDrawTest, AViewOfNoHeightStillBoundsTheTilesAcross) {
    const float wide = 1073741920.0f;
    Graphics::SetViewArea(0, 0, wide, 0, 0);
    Texture_DrawEntryTiled(&entry, 0, 0, 0, 0, 1, 1, true, true, 0, 0, wide, 0, 0, 1);
    size_t quads = 0;
    for (const auto& batch : Take())
        quads += batch.v.size() / 6;
    EXPECT_LE(quads, 1000u);
}

// Under a turned view an ordinary region still gets every tile; one of more tiles than the port has pixels
// gets the tile under each pixel centre once: here the centres lie 100 units apart, so 64 x 48 tiles.
TEST_F(TextureDrawTest, TilingUnderATurnedViewDrawsAtMostATileForEachPixel) {
    Graphics::SetViewArea(0, 0, 64, 48, 30);
    Texture_DrawTiled(id, 0, 0, 3, 3, 0.1f, 0.2f, true, true, 0, 0, 64, 48, 0, 1);
    EXPECT_EQ(Take().size(), 48u);
    Graphics::SetViewArea(5000, 5000, 6400, 4800, 30);
    Texture_DrawTiled(id, 0, 0, 0, 0, 0.1f, 0.2f, true, true, 0, 0, 20000, 20000, 0, 1);
    EXPECT_EQ(Take().size(), 64u * 48);
}

// A port larger than the target is refused and the one before stays: the tiles are those of its pixels.
TEST_F(TextureDrawTest, APortTheDeviceRefusedDoesNotWidenTheTiling) {
    Graphics::SetViewPort(0, 0, INT32_MAX, 48);
    const float wide = 1000000.0f;
    Graphics::SetViewArea(0, 0, wide, 48, 0);
    Texture_DrawTiled(id, 0, 0, 0, 0, 0.1f, 0.2f, true, true, 0, 0, wide, 48, 0, 1);
    EXPECT_LE(Take().size(), 64u * 6);
}

TEST_F(TextureDrawTest, AlphaImagesBecomeWhitePixelsWithThatAlpha) {
    const uint8_t alpha[6] = {0, 10, 20, 30, 40, 255};
    const int glyphs = Texture_CreateFromAlpha(3, 2, alpha);
    ASSERT_GE(glyphs, 0);
    const TDeviceTexture* t = Texture_Get(glyphs);
    uint32_t first[3];
    std::memcpy(first, t->systemCopy, sizeof first);
    EXPECT_EQ(first[1], 0x0AFFFFFFu);
    EXPECT_EQ(Texture_CreateFromAlpha(0, 2, alpha), -1);
}

TEST_F(TextureDrawTest, CornerIdsMarkListCornersOnly) {
    Texture_SetCornerIds(true);
    Texture_DrawEntryPos(&entry, 0, 0, 10, 0, 10, 10, 0, 10, 0x808080, 1);
    auto v = TakeOne();
    EXPECT_EQ(v[0].colour, 0xFF808080u & ~0x10001u); // top-left 0/0
    EXPECT_EQ(v[1].colour, 0xFF808081u);             // top-right blue 1
    EXPECT_EQ(v[2].colour, 0xFF818080u);             // bottom-right red 1
    EXPECT_EQ(v[4].colour, 0xFF818081u);             // bottom-left both
    // The part order still marks each vertex by the corner it stands at.
    Texture_DrawEntryPart(&entry, 0, 0, 30, 20, 0, 0, 1, 1, 0, 0x808080, 1);
    v = TakeOne();
    EXPECT_EQ(v[2].colour, 0xFF818081u);
    // Fans carry none.
    Texture_DrawExt(id, 0, 0, 0, 0, 1, 1, 0, 0x808080, 1);
    EXPECT_EQ(TakeOne()[0].colour, 0xFF808080u);
}

} // namespace
