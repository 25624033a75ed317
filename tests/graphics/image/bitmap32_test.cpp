#include "graphics/image/bitmap32.h"

#include "graphics/image/bitmap.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Image = std::unique_ptr<CBitmap32>;

std::vector<uint32_t> Pixels(const CBitmap32& image) {
    const Bitmap32Pixels& p = image.GetPixels();
    if (p.data == nullptr) return {};
    return std::vector<uint32_t>(p.data, p.data + static_cast<size_t>(image.GetWidth()) * image.GetHeight());
}

// A working image with the given words, through a format-7 image with its alpha.
Image FromWords(int32_t w, int32_t h, const std::vector<uint32_t>& words) {
    std::unique_ptr<BitmapLoader> loader(BitmapLoader::Create(words.data(), w, h));
    std::unique_ptr<IBitmap> frame(loader->GetFrame(0));
    return Image(CBitmap32::CBitmap32_Alpha(*frame, false, false));
}

} // namespace

TEST(CBitmap32Make, FromImagesOfEachAcceptedFormat) {
    std::unique_ptr<TBitmap> rgb(TBitmap::Create());
    rgb->SetFormat(BITMAP_FORMAT_24BIT);
    rgb->SetWidth(2);
    rgb->SetHeight(1);
    uint8_t* p = rgb->Lock(0, nullptr, nullptr);
    const uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
    std::copy(bytes, bytes + 6, p);
    Image opaque(CBitmap32::CBitmap32_FromBitmap(*rgb, false, false));
    EXPECT_EQ(Pixels(*opaque), (std::vector<uint32_t>{0xFF030201u, 0xFF060504u}));
    // Alpha is kept only from format 7.
    EXPECT_FALSE(Image(CBitmap32::CBitmap32_Alpha(*rgb, false, false))->IsValid());
    EXPECT_EQ(Pixels(*FromWords(1, 1, {0x12345678u})), (std::vector<uint32_t>{0x12345678u}));
    std::unique_ptr<BitmapLoader> loader(BitmapLoader::Create(std::vector<uint32_t>{0x12345678u}.data(), 1, 1));
    std::unique_ptr<IBitmap> frame(loader->GetFrame(0));
    EXPECT_EQ(Pixels(*Image(CBitmap32::CBitmap32_Choose(*frame, false, false, false))),
              (std::vector<uint32_t>{0xFF345678u}));
    // Other formats give an invalid image, which CreateTBitmap turns into nothing.
    std::unique_ptr<TBitmap> highColour(TBitmap::Create());
    highColour->SetFormat(BITMAP_FORMAT_16BIT);
    highColour->SetWidth(2);
    highColour->SetHeight(1);
    ASSERT_NE(highColour->Lock(0, nullptr, nullptr), nullptr);
    Image none(CBitmap32::CBitmap32_FromBitmap(*highColour, false, false));
    EXPECT_FALSE(none->IsValid());
    EXPECT_EQ(none->CreateTBitmap(), nullptr);
}

TEST(CBitmap32Make, CreateTBitmapDeliversRGBABytes) {
    Image image = FromWords(2, 1, {0x44332211u, 0x88776655u});
    std::unique_ptr<TBitmap> bitmap(image->CreateTBitmap());
    ASSERT_NE(bitmap, nullptr);
    const uint8_t* p = bitmap->Lock(0, nullptr, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 8), (std::vector<uint8_t>{0x33, 0x22, 0x11, 0x44, 0x77, 0x66, 0x55, 0x88}));
}

TEST(CBitmap32Make, RegionsMustLieInsideTheSource) {
    Image source = FromWords(3, 2, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(Pixels(*Image(CBitmap32::CBitmap32_Region(*source, 1, 0, 2, 2))), (std::vector<uint32_t>{2, 3, 5, 6}));
    EXPECT_FALSE(Image(CBitmap32::CBitmap32_Region(*source, 1, 0, 3, 2))->IsValid());
    EXPECT_FALSE(Image(CBitmap32::CBitmap32_Region(*source, -1, 0, 1, 1))->IsValid());
    EXPECT_FALSE(Image(CBitmap32::CBitmap32_Region(*source, 0, 0, -1, 1))->IsValid());
    EXPECT_FALSE(Image(CBitmap32::CBitmap32_Region(*source, INT32_MAX, 0, 2, 1))->IsValid());
    Image empty(CBitmap32::CBitmap32_Region(*source, 3, 0, 0, 2));
    EXPECT_TRUE(empty->IsValid());
    EXPECT_EQ(empty->GetWidth(), 0);
    Image copy(CBitmap32::CBitmap32_Copy(*source));
    EXPECT_EQ(Pixels(*copy), Pixels(*source));
}

TEST(CBitmap32Make, FillsAndGradients) {
    EXPECT_EQ(Pixels(*Image(CBitmap32::CBitmap32_Fill(0, -3, 0x0000FF))), (std::vector<uint32_t>{0xFFFF0000u}));
    EXPECT_FALSE(Image(CBitmap32::CBitmap32_Fill(0x10000, 0x10000, 0))->IsValid());
    // Horizontal, width 4: t = 0, 0.25, 0.5, 0.75 of black to red (0, 63.75, 127.5, 191.25).
    EXPECT_EQ(Pixels(*Image(CBitmap32::CBitmap32_Gradient(4, 1, 0x000000, 0x0000FF, 0))),
              (std::vector<uint32_t>{0xFF000000u, 0xFF400000u, 0xFF800000u, 0xFFBF0000u}));
    // Rectangle: colour1 along the border, 1 / 2.5 and 2 / 2.5 of the way further in.
    std::vector<uint32_t> rect = Pixels(*Image(CBitmap32::CBitmap32_Gradient(5, 5, 0x000000, 0x00FF00, 2)));
    EXPECT_EQ(rect[0], 0xFF000000u);
    EXPECT_EQ(rect[6], 0xFF006600u);
    EXPECT_EQ(rect[12], 0xFF00CC00u);
    // Ellipses centred at (3, 3) of a 6 x 6, radii 3, 2, 1, painted at t = 0, 1/3, 2/3: corners keep colour1.
    std::vector<uint32_t> ellipse = Pixels(*Image(CBitmap32::CBitmap32_Gradient(6, 6, 0x000000, 0xFFFFFF, 3)));
    EXPECT_EQ(ellipse[0], 0xFF000000u);
    EXPECT_EQ(ellipse[2 * 6 + 2], 0xFF555555u);
    EXPECT_EQ(ellipse[3 * 6 + 3], 0xFFAAAAAAu);
    EXPECT_EQ(Pixels(*Image(CBitmap32::CBitmap32_Gradient(4, 1, 0x000000, 0x0000FF, 4)))[1], 0xFF800000u);
    EXPECT_EQ(Pixels(*Image(CBitmap32::CBitmap32_Gradient(2, 1, 0xFFFFFF, 0xFFFFFF, 9)))[0], 0xFF000000u);
}

// The elliptic gradient painted as its steps say: every pixel colour1, then each ellipse over the last.
std::vector<uint32_t> PaintedEllipses(int w, int h, uint32_t c1, uint32_t c2) {
    std::vector<uint32_t> p(static_cast<size_t>(w) * h, 0xFF000000u | (c1 & 0xFF) << 16 | (c1 & 0xFF00) | (c1 >> 16 & 0xFF));
    const double half = std::min(w, h) * 0.5;
    for (int i = 0; i < half; ++i) {
        const double rx = (w - 2.0 * i) * 0.5, ry = (h - 2.0 * i) * 0.5;
        const uint32_t c = CBitmap32::Lerp(c1, c2, i / half);
        for (int y = i; y <= h - 1 - i; ++y)
            for (int x = i; x <= w - 1 - i; ++x) {
                const double dx = (x - w * 0.5) / rx, dy = (y - h * 0.5) / ry;
                if (dx * dx + dy * dy <= 1.0)
                    p[static_cast<size_t>(y) * w + x] = 0xFF000000u | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
            }
    }
    return p;
}

TEST(CBitmap32Make, EllipticGradientsMatchTheirPaintedStepsAtAnySize) {
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {2, 9}, {7, 5}, {16, 9}, {33, 40}, {64, 63}})
        EXPECT_EQ(Pixels(*Image(CBitmap32::CBitmap32_Gradient(w, h, 0x102030, 0xF0E0D0, 3))),
                  PaintedEllipses(w, h, 0x102030, 0xF0E0D0))
            << w << " x " << h;
    // A large one is made in about the time of its pixels, not of its pixels times its size.
    Image large(CBitmap32::CBitmap32_Gradient(2048, 2048, 0, 0xFFFFFF, 3));
    EXPECT_EQ(large->GetPixels().data[1024 * 2048 + 1024], 0xFFFFFFFFu) << "ellipse 1023 of 1024";
    EXPECT_EQ(large->GetPixels().data[1024 * 2048], 0xFF000000u) << "only ellipse 0";
}

TEST(CBitmap32Edit, RemoveBackBleedsNeighbourColoursIntoTheHoles) {
    // White background keyed from the bottom-left pixel. The bottom-left hole sees only holes (the one
    // above was coloured earlier in the scan but is still transparent) and keeps its white.
    Image image = FromWords(3, 2, {0xFFFFFFFFu, 0xFF112233u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFF445566u});
    image->RemoveBack();
    EXPECT_EQ(Pixels(*image), (std::vector<uint32_t>{0x00112233u, 0xFF112233u, 0x00112233u, 0x00FFFFFFu,
                                                     0x00445566u, 0xFF445566u}));
    // A hole with only holes around it stays as it is.
    Image holes = FromWords(2, 1, {0x00ABCDEFu, 0x00123456u});
    holes->BleedTransparent();
    EXPECT_EQ(Pixels(*holes), (std::vector<uint32_t>{0x00ABCDEFu, 0x00123456u}));
}

TEST(CBitmap32Edit, SmoothEdgesLowersAlphaNextToEachHole) {
    Image pair = FromWords(2, 1, {0xFF000000u, 0x00000000u});
    pair->SmoothEdges();
    EXPECT_EQ(Pixels(*pair)[0], 0xDF000000u);
    // The centre of a 3 x 3 with transparent corners loses 4 x 32; an alpha of 32 reaches 0 and then
    // counts as a hole itself.
    Image ring = FromWords(3, 3, {0, 0xFF000000u, 0, 0xFF000000u, 0xFF000000u, 0xFF000000u, 0, 0xFF000000u, 0});
    ring->SmoothEdges();
    EXPECT_EQ(Pixels(*ring)[4] >> 24, 255u - 4 * 32);
    Image faint = FromWords(3, 1, {0, 0x20000000u, 0x50000000u});
    faint->SmoothEdges();
    EXPECT_EQ(Pixels(*faint), (std::vector<uint32_t>{0, 0, 0x30000000u}));
}

TEST(CBitmap32Edit, AlphaFromColoursOverTheCommonArea) {
    Image image = FromWords(2, 2, {0xFF000001u, 0x10000002u, 0xFF000003u, 0xFF000004u});
    Image mask = FromWords(1, 2, {0xFF3C3C3Cu, 0xFFFFFFFFu});
    image->AlphaFromColours(mask.get());
    EXPECT_EQ(Pixels(*image), (std::vector<uint32_t>{0x3C000001u, 0x10000002u, 0xFF000003u, 0xFF000004u}));
    image->AlphaFromColours(nullptr);
    EXPECT_EQ(Pixels(*image)[0], 0x3C000001u);
}

TEST(CBitmap32Edit, ResizeIsNearestNeighbour) {
    Image image = FromWords(2, 2, {1, 2, 3, 4});
    image->Resize(4, 4);
    EXPECT_EQ(Pixels(*image), (std::vector<uint32_t>{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
    image->Resize(1, 2);
    EXPECT_EQ(Pixels(*image), (std::vector<uint32_t>{1, 3}));
    image->Resize(-1, 2);
    EXPECT_EQ(image->GetWidth(), 1);
    // A frame of width 0 (a strip cut into more frames than it has columns) resizes to transparent pixels.
    Image source = FromWords(2, 1, {5, 6});
    Image empty(CBitmap32::CBitmap32_Region(*source, 0, 0, 0, 1));
    empty->Resize(2, 2);
    EXPECT_EQ(Pixels(*empty), (std::vector<uint32_t>{0, 0, 0, 0}));
}

TEST(CBitmap32Edit, OpaqueRectSpansTheVisiblePixels) {
    Image image = FromWords(4, 3, {0, 0, 0, 0, 0, 0x01000000u, 0, 0, 0, 0, 0xFF000000u, 0});
    const IntRect rect = image->OpaqueRect();
    EXPECT_EQ(std::vector<int>({rect.left, rect.top, rect.right, rect.bottom}), std::vector<int>({1, 1, 2, 2}));
    const IntRect clear = FromWords(4, 3, std::vector<uint32_t>(12, 0x00FFFFFFu))->OpaqueRect();
    EXPECT_EQ(std::vector<int>({clear.left, clear.top, clear.right, clear.bottom}), std::vector<int>({3, 2, 0, 0}));
}
