#include "graphics/image_decode.h"

#include "core/memory.h"
#include "image_samples.h"
#include "runner/save_area.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

// Decodes a PNG and hands back a copy of its pixels, freeing the held decode.
std::vector<uint32_t> DecodePNG(const Bytes& bytes, int& width, int& height) {
    std::vector<uint32_t> pixels;
    const uint32_t* held = ReadPNG(bytes.data(), bytes.size(), width, height);
    if (held != nullptr) pixels.assign(held, held + static_cast<size_t>(width) * height);
    ReadPNG_Free();
    return pixels;
}

using Decoder = uint32_t* (*)(const uint8_t*, size_t, int&, int&);

std::vector<uint32_t> Decode(Decoder decoder, const Bytes& bytes, int& width, int& height) {
    std::vector<uint32_t> pixels;
    uint32_t* decoded = decoder(bytes.data(), bytes.size(), width, height);
    if (decoded != nullptr) pixels.assign(decoded, decoded + static_cast<size_t>(width) * height);
    MEM_FREE(decoded);
    return pixels;
}

// Every prefix shorter than the given number of bytes (all of them by default) fails to decode.
bool DecodesEveryPrefixToNothing(const Bytes& bytes, const std::function<bool(const Bytes&)>& decodes,
                                 size_t shorterThan = SIZE_MAX) {
    for (size_t cut = 0; cut < std::min(bytes.size(), shorterThan); ++cut) {
        if (decodes(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)))) {
            ADD_FAILURE() << "a prefix of " << cut << " bytes decoded";
            return false;
        }
    }
    return true;
}

// Cuts a 4-colour global map down to its first 2 colours while the image data keeps its 2-bit codes, so
// indexes 2 and 3 point past the map.
void ShrinkGlobalMapToTwo(Bytes& gif) {
    gif[10] = static_cast<uint8_t>(gif[10] & ~7);
    gif.erase(gif.begin() + 13 + 6, gif.begin() + 13 + 12);
}

int ChannelDistance(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int d = std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
        worst = std::max(worst, d);
    }
    return worst;
}

} // namespace

TEST(PNGDecode, EveryColourTypeComesOutAsBGRAWords) {
    int w = 0;
    int h = 0;
    // RGBA, 8 bits: exact.
    PNGSample rgba;
    rgba.width = 2;
    rgba.rows = {0x10, 0x20, 0x30, 0x40, 0xFF, 0x00, 0x80, 0xFF};
    EXPECT_EQ(DecodePNG(EncodePNG(rgba), w, h), (std::vector<uint32_t>{0x40102030u, 0xFFFF0080u}));
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);

    // RGB at 16 bits per channel keeps the high bytes and is opaque.
    PNGSample rgb16;
    rgb16.colourType = PNG_COLOR_TYPE_RGB;
    rgb16.bitDepth = 16;
    rgb16.rows = {0xAB, 0x01, 0xCD, 0x02, 0xEF, 0x03};
    EXPECT_EQ(DecodePNG(EncodePNG(rgb16), w, h), (std::vector<uint32_t>{0xFFABCDEFu}));

    // Gray at 1 bit and at 16 bits, gray with alpha: equal R, G and B.
    PNGSample gray1;
    gray1.colourType = PNG_COLOR_TYPE_GRAY;
    gray1.bitDepth = 1;
    gray1.width = 3;
    gray1.rows = {0xA0}; // 1, 0, 1
    EXPECT_EQ(DecodePNG(EncodePNG(gray1), w, h), (std::vector<uint32_t>{0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu}));
    PNGSample gray16;
    gray16.colourType = PNG_COLOR_TYPE_GRAY;
    gray16.bitDepth = 16;
    gray16.rows = {0x7F, 0xFF};
    EXPECT_EQ(DecodePNG(EncodePNG(gray16), w, h), (std::vector<uint32_t>{0xFF7F7F7Fu}));
    PNGSample grayAlpha;
    grayAlpha.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
    grayAlpha.rows = {0x33, 0x80};
    EXPECT_EQ(DecodePNG(EncodePNG(grayAlpha), w, h), (std::vector<uint32_t>{0x80333333u}));

    // A transparency chunk gives alpha to a palette image only.
    PNGSample palette;
    palette.colourType = PNG_COLOR_TYPE_PALETTE;
    palette.bitDepth = 4;
    palette.width = 2;
    palette.palette = {0xFF, 0, 0, 0, 0, 0xFF};
    palette.rows = {0x01};
    EXPECT_EQ(DecodePNG(EncodePNG(palette), w, h), (std::vector<uint32_t>{0xFFFF0000u, 0xFF0000FFu}));
    palette.paletteAlpha = {0x00, 0x7F};
    EXPECT_EQ(DecodePNG(EncodePNG(palette), w, h), (std::vector<uint32_t>{0x00FF0000u, 0x7F0000FFu}));
    PNGSample grayKeyed;
    grayKeyed.colourType = PNG_COLOR_TYPE_GRAY;
    grayKeyed.grayTransparent = 0x20;
    grayKeyed.rows = {0x20};
    EXPECT_EQ(DecodePNG(EncodePNG(grayKeyed), w, h), (std::vector<uint32_t>{0xFF202020u}));
}

TEST(PNGDecode, InterlacedRowsComeOutInOrder) {
    PNGSample sample;
    sample.width = 9;
    sample.height = 9;
    sample.colourType = PNG_COLOR_TYPE_GRAY;
    sample.interlaced = true;
    for (int i = 0; i < 81; ++i) sample.rows.push_back(static_cast<uint8_t>(i * 3));
    int w = 0;
    int h = 0;
    const std::vector<uint32_t> pixels = DecodePNG(EncodePNG(sample), w, h);
    ASSERT_EQ(pixels.size(), 81u);
    for (int i = 0; i < 81; ++i) EXPECT_EQ(pixels[i], 0xFF000000u | (i * 3) * 0x010101u) << i;
}

TEST(PNGDecode, OneDecodeIsHeldUntilFreed) {
    PNGSample red;
    red.rows = {0xFF, 0, 0, 0xFF};
    PNGSample blue;
    blue.width = 2;
    blue.rows = {0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF};
    const Bytes redBytes = EncodePNG(red);
    const Bytes blueBytes = EncodePNG(blue);
    int w = 0;
    int h = 0;
    const uint32_t* first = ReadPNG(redBytes.data(), redBytes.size(), w, h);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ReadPNG(blueBytes.data(), blueBytes.size(), w, h), first);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(first[0], 0xFFFF0000u);
    ReadPNG_Free();
    const uint32_t* second = ReadPNG(blueBytes.data(), blueBytes.size(), w, h);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(second[1], 0xFF0000FFu);
    ReadPNG_Free();
    ReadPNG_Free();
}

TEST(PNGDecode, BadInputFailsWithMinusOneSize) {
    GIFFrame frame;
    frame.indexes = {1};
    const Bytes gif = EncodeGIF(1, 1, {0, 0, 0, 255, 255, 255}, {frame});
    int w = 0;
    int h = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(ReadPNG(gif.data(), gif.size(), w, h), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Not a PNGReadPNG :: a PNG error occured");
    EXPECT_EQ(w, -1);
    EXPECT_EQ(h, -1);

    PNGSample sample;
    sample.width = 4;
    sample.height = 3;
    sample.rows.assign(48, 0x5A);
    const Bytes whole = EncodePNG(sample);
    testing::internal::CaptureStdout();
    DecodesEveryPrefixToNothing(whole, [](const Bytes& b) {
        int pw = 0;
        int ph = 0;
        return !DecodePNG(b, pw, ph).empty();
    });
    testing::internal::GetCapturedStdout();

    // A header claiming 100000 x 100000 pixels (40 GB) fails before anything is allocated.
    Bytes huge = whole;
    const uint8_t size[8] = {0, 1, 0x86, 0xA0, 0, 1, 0x86, 0xA0};
    std::memcpy(huge.data() + 16, size, 8);
    const uint32_t crc = static_cast<uint32_t>(crc32(0, huge.data() + 12, 17));
    const uint8_t crcBytes[4] = {static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(crc >> 16),
                                 static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
    std::memcpy(huge.data() + 29, crcBytes, 4);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(DecodePNG(huge, w, h).empty());
    testing::internal::GetCapturedStdout();
}

TEST(JPEGDecode, GrayRGBAndCMYKBecomeOpaqueColours) {
    int w = 0;
    int h = 0;
    const Bytes rgbSamples(8 * 8 * 3, 0);
    Bytes orange;
    for (int i = 0; i < 64; ++i) orange.insert(orange.end(), {0xF0, 0x80, 0x10});
    std::vector<uint32_t> pixels = Decode(JPEG_Decode, EncodeJPEG(8, 8, 3, orange), w, h);
    ASSERT_EQ(pixels.size(), 64u);
    EXPECT_EQ(w, 8);
    for (uint32_t p : pixels) EXPECT_LE(ChannelDistance(p, 0xFFF08010u), 3) << std::hex << p;

    pixels = Decode(JPEG_Decode, EncodeJPEG(8, 8, 1, Bytes(64, 0x64)), w, h);
    ASSERT_EQ(pixels.size(), 64u);
    for (uint32_t p : pixels) {
        EXPECT_EQ(p >> 24, 0xFFu);
        EXPECT_EQ(p & 0xFF, (p >> 8) & 0xFF);
        EXPECT_EQ(p & 0xFF, (p >> 16) & 0xFF);
        EXPECT_LE(ChannelDistance(p, 0xFF646464u), 1);
    }

    // Stored (inverted) CMYK: C 255, M 128, Y 0, K 200 gives R 200, G 100, B 0.
    Bytes cmyk;
    for (int i = 0; i < 64; ++i) cmyk.insert(cmyk.end(), {255, 128, 0, 200});
    pixels = Decode(JPEG_Decode, EncodeJPEG(8, 8, 4, cmyk), w, h);
    ASSERT_EQ(pixels.size(), 64u);
    for (uint32_t p : pixels) EXPECT_LE(ChannelDistance(p, 0xFFC86400u), 3) << std::hex << p;
}

TEST(JPEGDecode, TruncatedOrCorruptDataFails) {
    Bytes samples;
    for (int i = 0; i < 16 * 16 * 3; ++i) samples.push_back(static_cast<uint8_t>(i * 7));
    const Bytes whole = EncodeJPEG(16, 16, 3, samples);
    // Cut anywhere before its end-of-image marker, the image fails; without only that marker it is whole.
    DecodesEveryPrefixToNothing(
        whole,
        [](const Bytes& b) {
            int w = 0;
            int h = 0;
            return !Decode(JPEG_Decode, b, w, h).empty();
        },
        whole.size() - 2);
    int w = 0;
    int h = 0;
    EXPECT_EQ(Decode(JPEG_Decode, Bytes(whole.begin(), whole.end() - 2), w, h).size(), 256u);
    // A header claiming 20000 x 20000 pixels over a few hundred bytes of data fails before allocating.
    Bytes huge = whole;
    for (size_t i = 0; i + 8 < huge.size(); ++i) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0x4E;
            huge[i + 6] = huge[i + 8] = 0x20;
            break;
        }
    }
    EXPECT_TRUE(Decode(JPEG_Decode, huge, w, h).empty());
    Bytes garbage(whole.begin(), whole.begin() + 2);
    garbage.resize(400, 0x11);
    EXPECT_TRUE(Decode(JPEG_Decode, garbage, w, h).empty());
    EXPECT_EQ(JPEG_Decode(nullptr, 0, w, h), nullptr);
}

TEST(GIFDecode, FirstImageOnTheScreenWithItsTransparency) {
    const Bytes map = {9, 9, 9, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    GIFFrame frame;
    frame.width = 3;
    frame.height = 2;
    frame.transparent = 0;
    frame.indexes = {0, 1, 2, 3, 0, 1};
    GIFFrame later = frame;
    later.transparent = -1;
    later.indexes = {1, 1, 1, 1, 1, 1};
    int w = 0;
    int h = 0;
    std::vector<uint32_t> pixels = Decode(GIF_Decode, EncodeGIF(3, 2, map, {frame, later}), w, h);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(pixels, (std::vector<uint32_t>{0x00090909u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0x00090909u,
                                             0xFFFF0000u}));

    // A local map wins over the global one; an interlaced image comes out in row order.
    GIFFrame local;
    local.width = 1;
    local.height = 10;
    local.interlaced = true;
    local.localMap = {10, 20, 30, 40, 50, 60};
    local.indexes = {0, 1, 0, 1, 0, 1, 0, 1, 1, 1};
    pixels = Decode(GIF_Decode, EncodeGIF(1, 10, map, {local}), w, h);
    ASSERT_EQ(pixels.size(), 10u);
    for (int y = 0; y < 10; ++y) EXPECT_EQ(pixels[y], local.indexes[y] ? 0xFF28323Cu : 0xFF0A141Eu) << y;
}

TEST(GIFDecode, OffsetImagesIndexesAndMapsAreChecked) {
    const Bytes map = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    // An image smaller than the screen and offset in it; the rest of the screen stays 0, and so does a
    // pixel whose index lies past the map.
    GIFFrame frame;
    frame.left = 1;
    frame.top = 1;
    frame.width = 2;
    frame.height = 1;
    frame.indexes = {1, 3};
    Bytes bytes = EncodeGIF(4, 3, map, {frame});
    ShrinkGlobalMapToTwo(bytes);
    int w = 0;
    int h = 0;
    std::vector<uint32_t> pixels = Decode(GIF_Decode, bytes, w, h);
    EXPECT_EQ(pixels, (std::vector<uint32_t>{0, 0, 0, 0, 0, 0xFF040506u, 0, 0, 0, 0, 0, 0}));

    // Partly off the screen: clipped.
    frame.left = 3;
    frame.top = 2;
    frame.indexes = {0, 1};
    pixels = Decode(GIF_Decode, EncodeGIF(4, 3, map, {frame}), w, h);
    ASSERT_EQ(pixels.size(), 12u);
    EXPECT_EQ(pixels[11], 0xFF010203u);
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0u), 11);

    // No colour map at all, no image, truncation: failures.
    frame.left = 0;
    frame.top = 0;
    EXPECT_TRUE(Decode(GIF_Decode, EncodeGIF(2, 1, {}, {frame}), w, h).empty());
    EXPECT_TRUE(Decode(GIF_Decode, EncodeGIF(2, 1, map, {}), w, h).empty());
    const Bytes whole = EncodeGIF(2, 1, map, {frame});
    DecodesEveryPrefixToNothing(whole, [](const Bytes& b) {
        int pw = 0;
        int ph = 0;
        return !Decode(GIF_Decode, b, pw, ph).empty();
    });
    // A logical screen of 65535 x 65535 pixels is more than one block may hold.
    Bytes huge = whole;
    huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
    EXPECT_TRUE(Decode(GIF_Decode, huge, w, h).empty());
}

TEST(PNGWrite, WritesAnRGBAFileIntoTheSaveArea) {
    TempFolder tmp;
    tmp.SetEnv("XDG_DATA_HOME", tmp / "data");
    TempFolder::MakeDir(tmp / "game");
    TempFolder::Write(tmp / "game/g.win", "FORM");
    LoadSave_Reset();
    LoadSave_SetGamePath((tmp / "game/g.win").c_str());
    LoadSave_SetGameName("Shots");

    const uint8_t pixels[8] = {0x11, 0x22, 0x33, 0x44, 0xAA, 0xBB, 0xCC, 0xDD}; // R, G, B, A
    ASSERT_TRUE(write_png_file("sub/shot.png", pixels, 2, 1));
    const std::string written = TempFolder::Read(tmp / "data/Shots/sub/shot.png");
    int w = 0;
    int h = 0;
    EXPECT_EQ(DecodePNG(Bytes(written.begin(), written.end()), w, h),
              (std::vector<uint32_t>{0x44112233u, 0xDDAABBCCu}));

    testing::internal::CaptureStdout();
    EXPECT_FALSE(write_png_file("empty.png", pixels, 0, 1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[write_png_file] Error during writing header\n");
    EXPECT_FALSE(write_png_file("", pixels, 1, 1));
    LoadSave_Reset();
}
