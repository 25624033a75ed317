#include "graphics/image/embedded_images.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

struct RawImage {
    uint32_t width = 0;
    uint32_t height = 0;
    const uint8_t* rgba = nullptr;
};

RawImage Image(int index) {
    uint32_t tableSize = 0;
    const uint8_t* table = EmbeddedImage_BuiltinTable(tableSize);
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    RawImage image;
    if (!EmbeddedImage_Find(table, tableSize, index, data, size) || size < 16) return image;
    if (std::memcmp(data, "RAW ", 4) != 0 || U32(data + 12) != 0) return image;
    image.width = U32(data + 4);
    image.height = U32(data + 8);
    if (size != 16 + image.width * image.height * 4) return RawImage{};
    image.rgba = data + 16;
    return image;
}

int OpaquePixels(const RawImage& image, uint32_t x0, uint32_t y0, uint32_t w, uint32_t h) {
    int count = 0;
    for (uint32_t y = y0; y < y0 + h; ++y)
        for (uint32_t x = x0; x < x0 + w; ++x) count += image.rgba[(y * image.width + x) * 4 + 3] > 127;
    return count;
}

} // namespace

TEST(EmbeddedImages, TableHoldsSeventeenRawImagesOfTheExpectedSizes) {
    uint32_t tableSize = 0;
    const uint8_t* table = EmbeddedImage_BuiltinTable(tableSize);
    ASSERT_GE(tableSize, 256u);
    EXPECT_EQ(U32(table), 17u);
    EXPECT_EQ(U32(table + 8), 256u);
    for (int i = 0; i < kEmbeddedImageCount; ++i) {
        const RawImage image = Image(i);
        ASSERT_NE(image.rgba, nullptr) << i;
        if (i < 15) {
            EXPECT_EQ(image.width, 64u);
            EXPECT_EQ(image.height, 64u);
            EXPECT_GT(OpaquePixels(image, 0, 0, 64, 64), 0) << i;
        }
    }
    EXPECT_EQ(Image(kEmbeddedImageFont).width, 256u);
    EXPECT_EQ(Image(kEmbeddedImageFont).height, 128u);
    EXPECT_EQ(Image(kEmbeddedImageStartUp).width, 512u);
    EXPECT_EQ(Image(kEmbeddedImageStartUp).height, 384u);
}

TEST(EmbeddedImages, LookUpsStayInsideTheTable) {
    uint32_t tableSize = 0;
    const uint8_t* table = EmbeddedImage_BuiltinTable(tableSize);
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    EXPECT_FALSE(EmbeddedImage_Find(table, tableSize, 17, data, size));
    EXPECT_FALSE(EmbeddedImage_Find(table, tableSize, -1, data, size));
    EXPECT_FALSE(EmbeddedImage_Find(nullptr, 0, 0, data, size));
    // A table cut short: the entry of the last image points past its end.
    EXPECT_TRUE(EmbeddedImage_Find(table, tableSize, 16, data, size));
    EXPECT_FALSE(EmbeddedImage_Find(table, tableSize - 1, 16, data, size));
    EXPECT_EQ(data, nullptr);
    EXPECT_FALSE(EmbeddedImage_Find(table, 20, 5, data, size));
}

TEST(EmbeddedImages, EveryGlyphOfTheBuiltInFontIsDrawnInItsCell) {
    const RawImage font = Image(kEmbeddedImageFont);
    ASSERT_NE(font.rgba, nullptr);
    for (int c = kBuiltinFontFirst; c <= kBuiltinFontLast; ++c) {
        const uint8_t* g = BuiltinFont_GlyphTable[c - kBuiltinFontFirst];
        ASSERT_LE(g[0] + g[2], 256) << c;
        ASSERT_LE(g[1] + g[3], 128) << c;
        const int ink = OpaquePixels(font, g[0], g[1], g[2], g[3]);
        if (c == ' ')
            EXPECT_EQ(ink, 0);
        else
            EXPECT_GT(ink, 0) << c;
    }
}
