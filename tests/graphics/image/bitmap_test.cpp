#include "graphics/image/bitmap.h"

#include "core/stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A BMP file: 14-byte file header, 40-byte information header, palette, then the given rows as stored.
Bytes MakeBMP(int32_t width, int32_t height, uint16_t bits, const Bytes& palette, const Bytes& rows,
              uint32_t coloursUsed = 0) {
    Bytes b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(54 + palette.size() + rows.size()));
    Put32(b, 10, static_cast<uint32_t>(54 + palette.size()));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = static_cast<uint8_t>(bits);
    Put32(b, 46, coloursUsed);
    b.insert(b.end(), palette.begin(), palette.end());
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

std::unique_ptr<TBitmap> Load(const Bytes& file) {
    CStream stream(static_cast<int64_t>(file.size()));
    stream.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
    stream.SetPosition(0);
    std::unique_ptr<TBitmap> bitmap(TBitmap::Create());
    bitmap->Load(&stream);
    return bitmap;
}

Bytes Row(const TBitmap& bitmap, int32_t y) {
    auto& b = const_cast<TBitmap&>(bitmap);
    uint8_t* row = nullptr;
    int32_t pitch = 0;
    if (b.Lock(y, &row, &pitch) == nullptr || row == nullptr) return {};
    return Bytes(row, row + pitch);
}

} // namespace

TEST(TBitmap, PitchLockAndAssign) {
    EXPECT_EQ(TBitmap::PitchFor(10, BITMAP_FORMAT_4BIT), 5);
    EXPECT_EQ(TBitmap::PitchFor(9, BITMAP_FORMAT_1BIT), 1);

    std::unique_ptr<TBitmap> bitmap(TBitmap::Create());
    bitmap->SetWidth(3);
    bitmap->SetHeight(2);
    uint8_t* row = nullptr;
    int32_t pitch = 0;
    uint8_t* pixels = bitmap->Lock(1, &row, &pitch);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(bitmap->BlockSize(), 52u + 24u);
    EXPECT_EQ(pixels, bitmap->Block() + 52);
    EXPECT_EQ(row, pixels + 12);
    EXPECT_EQ(pitch, 12);
    for (int i = 0; i < 24; ++i) pixels[i] = static_cast<uint8_t>(i);
    // A copy finds the pixels of a block the system made, 52 bytes into it.
    std::unique_ptr<TBitmap> copy(TBitmap::Create());
    copy->Assign(*bitmap);
    EXPECT_EQ(copy->GetWidth(), 3);
    EXPECT_EQ(Row(*copy, 1), (Bytes{12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23}));
    // Growing the image past its block makes the rows unreachable rather than out of bounds.
    bitmap->SetHeight(3);
    EXPECT_EQ(bitmap->Lock(0, nullptr, nullptr), nullptr);
}

TEST(BitmapLoader, EachFrameIsANewIndependentImage) {
    const uint32_t pixels[2] = {0x11223344u, 0xAABBCCDDu};
    std::unique_ptr<BitmapLoader> loader(BitmapLoader::Create(pixels, 2, 1));
    ASSERT_NE(loader, nullptr);
    EXPECT_EQ(loader->GetFrame(1), nullptr);
    std::unique_ptr<IBitmap> a(loader->GetFrame(0));
    std::unique_ptr<IBitmap> b(loader->GetFrame(0));
    ASSERT_NE(a, nullptr);
    uint8_t* first = a->Lock(0, nullptr, nullptr);
    EXPECT_EQ(std::memcmp(first, pixels, 8), 0);
    first[0] = 0;
    EXPECT_EQ(b->Lock(0, nullptr, nullptr)[0], 0x44);
    EXPECT_EQ(BitmapLoader::Create(pixels, 0x10000, 0x10000), nullptr);
}

TEST(TBitmapBMP, PaddedRowsAreReadInEitherDirection) {
    // 3 x 2 at 24 bits: rows of 9 bytes padded to 12, stored bottom-up.
    const Bytes bottomUp = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};
    std::unique_ptr<TBitmap> bitmap = Load(MakeBMP(3, 2, 24, {}, bottomUp));
    EXPECT_EQ(bitmap->GetFormat(), BITMAP_FORMAT_24BIT);
    EXPECT_EQ(bitmap->GetHeight(), 2);
    EXPECT_EQ(Row(*bitmap, 0), (Bytes{11, 12, 13, 14, 15, 16, 17, 18, 19}));
    EXPECT_EQ(Row(*bitmap, 1), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // A negative height stores the rows top-down.
    bitmap = Load(MakeBMP(3, -2, 24, {}, bottomUp));
    EXPECT_EQ(bitmap->GetHeight(), 2);
    EXPECT_EQ(Row(*bitmap, 0), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}));

    // 16 and 1 bits keep their format; only 8 bits widen.
    bitmap = Load(MakeBMP(2, 1, 16, {}, {1, 2, 3, 4}));
    EXPECT_EQ(bitmap->GetFormat(), BITMAP_FORMAT_16BIT);
    EXPECT_EQ(Row(*bitmap, 0), (Bytes{1, 2, 3, 4}));
    bitmap = Load(MakeBMP(9, 1, 1, {0, 0, 0, 0, 255, 255, 255, 0}, {0xAA, 0x80, 0, 0}));
    EXPECT_EQ(bitmap->GetFormat(), BITMAP_FORMAT_1BIT);
    EXPECT_EQ(Row(*bitmap, 0), (Bytes{0xAA}));
}

TEST(TBitmapBMP, PaletteImagesWidenToOpaqueWords) {
    const Bytes palette = {0x10, 0x20, 0x30, 0, 0xA0, 0xB0, 0xC0, 0};
    std::unique_ptr<TBitmap> bitmap = Load(MakeBMP(2, 1, 8, palette, {1, 0, 0, 0}, 2));
    EXPECT_EQ(bitmap->GetFormat(), BITMAP_FORMAT_32BIT);
    EXPECT_EQ(Row(*bitmap, 0), (Bytes{0xA0, 0xB0, 0xC0, 0xFF, 0x10, 0x20, 0x30, 0xFF}));
    // An index past the palette leaves no image.
    bitmap = Load(MakeBMP(2, 1, 8, palette, {2, 0, 0, 0}, 2));
    EXPECT_EQ(bitmap->Block(), nullptr);
    EXPECT_EQ(bitmap->GetWidth(), 0);
}

TEST(TBitmapBMP, HeadersThatDoNotMatchTheDataLeaveNoImage) {
    const Bytes rows(12, 7);
    EXPECT_NE(Load(MakeBMP(1, 3, 24, {}, rows))->Block(), nullptr);
    std::vector<Bytes> bad = {
        MakeBMP(1, 4, 24, {}, rows),          // more rows than data
        MakeBMP(0, 3, 24, {}, rows),          // no width
        MakeBMP(1, 0, 24, {}, rows),          // no height
        MakeBMP(-1, 3, 24, {}, rows),         // negative width
        MakeBMP(0x40000000, 1, 32, {}, rows), // rows far past the data
        MakeBMP(1, INT32_MIN, 24, {}, rows),
        Bytes{'B', 'M', 1, 2, 3},             // header cut short
    };
    Bytes badOffset = MakeBMP(1, 3, 24, {}, rows);
    Put32(badOffset, 10, 0xFFFFFFF0u);
    bad.push_back(badOffset);
    for (size_t i = 0; i < bad.size(); ++i) {
        std::unique_ptr<TBitmap> bitmap = Load(bad[i]);
        EXPECT_EQ(bitmap->Block(), nullptr) << i;
    }
    // Not a BMP: nothing is read.
    EXPECT_EQ(Load(Bytes{'P', 'N', 0, 0})->Block(), nullptr);
}
