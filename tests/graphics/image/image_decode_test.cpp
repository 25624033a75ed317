#include "graphics/image/image_decode.h"

#include "core/memory.h"
#include "core/save_area.h"
#include "graphics/image_samples.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

using Pixels = std::vector<uint32_t>;
using Decoder = Pixels (*)(const Bytes&);

Pixels Copy(const uint32_t* pixels, int w, int h) {
    return pixels == nullptr ? Pixels{} : Pixels(pixels, pixels + static_cast<size_t>(w) * h);
}

// Each decodes and hands back a copy of the pixels, releasing the decoder's own.
Pixels PNG(const Bytes& bytes) {
    int w = 0;
    int h = 0;
    const uint32_t* held = ReadPNG(bytes.data(), bytes.size(), w, h);
    Pixels pixels = Copy(held, w, h);
    ReadPNG_Free();
    return pixels;
}

template <uint32_t* (*decode)(const uint8_t*, size_t, int&, int&)>
Pixels Decoded(const Bytes& bytes) {
    int w = 0;
    int h = 0;
    uint32_t* pixels = decode(bytes.data(), bytes.size(), w, h);
    Pixels copy = Copy(pixels, w, h);
    MEM_FREE(pixels);
    return copy;
}
constexpr Decoder JPEG = Decoded<JPEG_Decode>;
constexpr Decoder GIF = Decoded<GIF_Decode>;

// The length of the first prefix shorter than limit that decodes; limit when none does.
size_t FirstDecodingPrefix(Decoder decoder, const Bytes& bytes, size_t limit) {
    for (size_t cut = 0; cut < limit; ++cut) {
        if (!decoder(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut))).empty()) return cut;
    }
    return limit;
}

Bytes PNGOf(int type, int depth, int width, Bytes rows, Bytes palette = {}, Bytes paletteAlpha = {}) {
    PNGSample sample;
    sample.colourType = type;
    sample.bitDepth = depth;
    sample.width = width;
    sample.rows = std::move(rows);
    sample.palette = std::move(palette);
    sample.paletteAlpha = std::move(paletteAlpha);
    return EncodePNG(sample);
}

// Points the save area at tmp's "data/Shots" (or, with XDG_DATA_HOME at dataHome, dataHome's "Shots").
void UseSaveArea(TempFolder& tmp, const std::string& dataHome) {
    tmp.SetEnv("XDG_DATA_HOME", dataHome);
    TempFolder::MakeDir(tmp / "game");
    TempFolder::Write(tmp / "game/g.win", "FORM");
    LoadSave_Reset();
    LoadSave_SetGamePath((tmp / "game/g.win").c_str());
    LoadSave_SetGameName("Shots");
}

int ChannelDistance(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8)
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return worst;
}

} // namespace

TEST(PNGDecode, EveryColourTypeComesOutAsBGRAWords) {
    EXPECT_EQ(PNG(PNGOf(PNG_COLOR_TYPE_RGBA, 8, 2, {0x10, 0x20, 0x30, 0x40, 0xFF, 0x00, 0x80, 0xFF})),
              (Pixels{0x40102030u, 0xFFFF0080u}));
    // 16-bit channels keep their high bytes; 1-bit and 16-bit gray give equal R, G and B.
    EXPECT_EQ(PNG(PNGOf(PNG_COLOR_TYPE_RGB, 16, 1, {0xAB, 0x01, 0xCD, 0x02, 0xEF, 0x03})), (Pixels{0xFFABCDEFu}));
    EXPECT_EQ(PNG(PNGOf(PNG_COLOR_TYPE_GRAY, 1, 3, {0xA0})), (Pixels{0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu}));
    EXPECT_EQ(PNG(PNGOf(PNG_COLOR_TYPE_GRAY, 16, 1, {0x7F, 0xFF})), (Pixels{0xFF7F7F7Fu}));
    EXPECT_EQ(PNG(PNGOf(PNG_COLOR_TYPE_GRAY_ALPHA, 8, 1, {0x33, 0x80})), (Pixels{0x80333333u}));
    // A transparency chunk gives alpha to a palette image only; a keyed gray pixel stays opaque.
    const Bytes palette = {0xFF, 0, 0, 0, 0, 0xFF};
    EXPECT_EQ(PNG(PNGOf(PNG_COLOR_TYPE_PALETTE, 4, 2, {0x01}, palette)), (Pixels{0xFFFF0000u, 0xFF0000FFu}));
    EXPECT_EQ(PNG(PNGOf(PNG_COLOR_TYPE_PALETTE, 4, 2, {0x01}, palette, {0x00, 0x7F})),
              (Pixels{0x00FF0000u, 0x7F0000FFu}));
    PNGSample keyed;
    keyed.colourType = PNG_COLOR_TYPE_GRAY;
    keyed.grayTransparent = 0x20;
    keyed.rows = {0x20};
    EXPECT_EQ(PNG(EncodePNG(keyed)), (Pixels{0xFF202020u}));
    // Interlaced rows come out in order.
    PNGSample interlaced;
    interlaced.width = interlaced.height = 9;
    interlaced.colourType = PNG_COLOR_TYPE_GRAY;
    interlaced.interlaced = true;
    for (int i = 0; i < 81; ++i) interlaced.rows.push_back(static_cast<uint8_t>(i * 3));
    const Pixels pixels = PNG(EncodePNG(interlaced));
    ASSERT_EQ(pixels.size(), 81u);
    for (int i = 0; i < 81; ++i) EXPECT_EQ(pixels[i], 0xFF000000u | (i * 3) * 0x010101u) << i;
}

TEST(PNGDecode, OneDecodeIsHeldUntilFreed) {
    const Bytes red = PNGOf(PNG_COLOR_TYPE_RGBA, 8, 1, {0xFF, 0, 0, 0xFF});
    const Bytes blue = PNGOf(PNG_COLOR_TYPE_RGBA, 8, 2, {0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF});
    int w = 0;
    int h = 0;
    const uint32_t* first = ReadPNG(red.data(), red.size(), w, h);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ReadPNG(blue.data(), blue.size(), w, h), first);
    EXPECT_EQ(w, 1);
    ReadPNG_Free();
    const uint32_t* second = ReadPNG(blue.data(), blue.size(), w, h);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(second[1], 0xFF0000FFu);
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
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Not a PNG\nReadPNG :: a PNG error occured\n");
    EXPECT_EQ(w, -1);
    EXPECT_EQ(h, -1);

    const Bytes whole = PNGOf(PNG_COLOR_TYPE_RGBA, 8, 4, Bytes(16, 0x5A));
    testing::internal::CaptureStdout();
    EXPECT_EQ(FirstDecodingPrefix(PNG, whole, whole.size()), whole.size());
    // A header claiming 100000 x 100000 pixels (40 GB), with its checksum made right, fails.
    Bytes huge = whole;
    const uint8_t size[8] = {0, 1, 0x86, 0xA0, 0, 1, 0x86, 0xA0};
    std::memcpy(huge.data() + 16, size, 8);
    const uint32_t crc = static_cast<uint32_t>(crc32(0, huge.data() + 12, 17));
    for (int i = 0; i < 4; ++i) huge[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    EXPECT_TRUE(PNG(huge).empty());
    testing::internal::GetCapturedStdout();
}

TEST(JPEGDecode, GrayRGBAndCMYKBecomeOpaqueColours) {
    Bytes orange;
    Bytes cmyk;
    for (int i = 0; i < 64; ++i) {
        orange.insert(orange.end(), {0xF0, 0x80, 0x10});
        cmyk.insert(cmyk.end(), {255, 128, 0, 200});
    }
    Pixels pixels = JPEG(EncodeJPEG(8, 8, 3, orange));
    ASSERT_EQ(pixels.size(), 64u);
    for (uint32_t p : pixels) EXPECT_LE(ChannelDistance(p, 0xFFF08010u), 3) << std::hex << p;
    pixels = JPEG(EncodeJPEG(8, 8, 1, Bytes(64, 0x64)));
    ASSERT_EQ(pixels.size(), 64u);
    for (uint32_t p : pixels) EXPECT_EQ(p, 0xFF000000u | (p & 0xFF) * 0x010101u) << std::hex << p;
    EXPECT_LE(ChannelDistance(pixels[0], 0xFF646464u), 1);
    // Stored (inverted) CMYK: C 255, M 128, Y 0, K 200 gives R 200, G 100, B 0.
    pixels = JPEG(EncodeJPEG(8, 8, 4, cmyk));
    ASSERT_EQ(pixels.size(), 64u);
    for (uint32_t p : pixels) EXPECT_LE(ChannelDistance(p, 0xFFC86400u), 3) << std::hex << p;
}

TEST(JPEGDecode, TruncatedOrCorruptDataFails) {
    Bytes samples;
    for (int i = 0; i < 16 * 16 * 3; ++i) samples.push_back(static_cast<uint8_t>(i * 7));
    const Bytes whole = EncodeJPEG(16, 16, 3, samples);
    // Cut anywhere before its end-of-image marker, the image fails; without only that marker it is whole.
    EXPECT_EQ(FirstDecodingPrefix(JPEG, whole, whole.size() - 2), whole.size() - 2);
    EXPECT_EQ(JPEG(Bytes(whole.begin(), whole.end() - 2)).size(), 256u);
    // A header claiming 20000 x 20000 pixels over a few hundred bytes of data fails before allocating.
    Bytes huge = whole;
    const uint8_t startOfFrame[2] = {0xFF, 0xC0};
    const auto frame = std::search(huge.begin(), huge.end(), startOfFrame, startOfFrame + 2);
    ASSERT_NE(frame, huge.end());
    frame[5] = frame[7] = 0x4E;
    frame[6] = frame[8] = 0x20;
    EXPECT_TRUE(JPEG(huge).empty());
    Bytes garbage(whole.begin(), whole.begin() + 2);
    garbage.resize(400, 0x11);
    EXPECT_TRUE(JPEG(garbage).empty());
}

TEST(GIFDecode, FirstImageOnTheScreenWithItsMapAndTransparency) {
    const Bytes map = {9, 9, 9, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    GIFFrame frame;
    frame.width = 3;
    frame.height = 2;
    frame.transparent = 0;
    frame.indexes = {0, 1, 2, 3, 0, 1};
    GIFFrame later = frame;
    later.transparent = -1;
    later.indexes.assign(6, 1);
    EXPECT_EQ(GIF(EncodeGIF(3, 2, map, {frame, later})),
              (Pixels{0x00090909u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0x00090909u, 0xFFFF0000u}));
    // A local map wins over the global one; an interlaced image comes out in row order.
    GIFFrame local;
    local.width = 1;
    local.height = 10;
    local.interlaced = true;
    local.localMap = {10, 20, 30, 40, 50, 60};
    local.indexes = {0, 1, 0, 1, 0, 1, 0, 1, 1, 1};
    const Pixels pixels = GIF(EncodeGIF(1, 10, map, {local}));
    ASSERT_EQ(pixels.size(), 10u);
    for (int y = 0; y < 10; ++y) EXPECT_EQ(pixels[y], local.indexes[y] ? 0xFF28323Cu : 0xFF0A141Eu) << y;
}

TEST(GIFDecode, OffsetImagesIndexesAndMapsAreChecked) {
    const Bytes map = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    // An image smaller than the screen and offset in it: the rest of the screen stays 0, and so does a
    // pixel whose index lies past the map (cut from 4 colours to 2 while the codes keep 2 bits).
    GIFFrame frame;
    frame.left = 1;
    frame.top = 1;
    frame.width = 2;
    frame.indexes = {1, 3};
    Bytes bytes = EncodeGIF(4, 3, map, {frame});
    bytes[10] = static_cast<uint8_t>(bytes[10] & ~7);
    bytes.erase(bytes.begin() + 13 + 6, bytes.begin() + 13 + 12);
    EXPECT_EQ(GIF(bytes), (Pixels{0, 0, 0, 0, 0, 0xFF040506u, 0, 0, 0, 0, 0, 0}));
    // Partly off the screen: clipped.
    frame.left = 3;
    frame.top = 2;
    frame.indexes = {0, 1};
    EXPECT_EQ(GIF(EncodeGIF(4, 3, map, {frame})), (Pixels{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF010203u}));

    // No colour map at all, no image, truncation, a screen too large to hold: failures.
    frame.left = frame.top = 0;
    EXPECT_TRUE(GIF(EncodeGIF(2, 1, {}, {frame})).empty());
    EXPECT_TRUE(GIF(EncodeGIF(2, 1, map, {})).empty());
    const Bytes whole = EncodeGIF(2, 1, map, {frame});
    EXPECT_EQ(FirstDecodingPrefix(GIF, whole, whole.size()), whole.size());
    Bytes huge = whole;
    huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
    EXPECT_TRUE(GIF(huge).empty());
}

TEST(ImageDecode, CanvasesBeyondTheLargestTextureAreRefused) {
    // A side of 16384 decodes (a strip of frames); a side above it, or more pixels than the largest
    // texture the loaders take (4096 x 4096), is refused by every decoder from its header, however few
    // bytes the image takes: a screen of 14,852 x 1,540 in a few dozen bytes among them.
    const Bytes map = {0, 0, 0, 255, 255, 255};
    GIFFrame dot;
    dot.indexes = {1};
    EXPECT_EQ(GIF(EncodeGIF(16384, 1, map, {dot})).size(), 16384u);
    EXPECT_EQ(GIF(EncodeGIF(4096, 4, map, {dot})).size(), 4096u * 4);
    EXPECT_TRUE(GIF(EncodeGIF(16385, 1, map, {dot})).empty());
    const Bytes wide = EncodeGIF(14852, 1540, map, {dot});
    EXPECT_LT(wide.size(), 64u);
    EXPECT_TRUE(GIF(wide).empty());
    EXPECT_TRUE(GIF(EncodeGIF(4097, 4096, map, {dot})).empty());
    EXPECT_TRUE(PNG(PNGOf(PNG_COLOR_TYPE_GRAY, 8, 16385, Bytes(16385, 7))).empty());
    EXPECT_TRUE(JPEG(EncodeJPEG(16385, 8, 1, Bytes(16385 * 8, 7))).empty());
}

TEST(PNGWrite, WritesAnRGBAFileIntoTheSaveArea) {
    TempFolder tmp;
    UseSaveArea(tmp, tmp / "data");

    const uint8_t pixels[8] = {0x11, 0x22, 0x33, 0x44, 0xAA, 0xBB, 0xCC, 0xDD}; // R, G, B, A
    ASSERT_TRUE(write_png_file("sub/shot.png", pixels, 2, 1));
    const std::string written = TempFolder::Read(tmp / "data/Shots/sub/shot.png");
    EXPECT_EQ(PNG(Bytes(written.begin(), written.end())), (Pixels{0x44112233u, 0xDDAABBCCu}));

    testing::internal::CaptureStdout();
    EXPECT_FALSE(write_png_file("empty.png", pixels, 0, 1));
    // libpng's own reason comes first, on the console too.
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("libpng error: "), std::string::npos) << said;
    const std::string last = "[write_png_file] Error during writing header\n";
    EXPECT_EQ(said.substr(said.size() - std::min(said.size(), last.size())), last);
    EXPECT_FALSE(write_png_file("", pixels, 1, 1));

    // A save area below a plain file: the failure names the file and the reason.
    TempFolder::Write(tmp / "file", "");
    UseSaveArea(tmp, tmp / "file");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(write_png_file("shot.png", pixels, 2, 1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Could not write \"" + tmp / "file/Shots/shot.png" + "\": Not a directory\n");
    LoadSave_Reset();
}

TEST(PNGWrite, AnImageThatDoesNotCompressComesBackWhole) {
    // Noise in every channel, alpha too: deflate cannot shrink it, so the file's 300 KB outgrow the
    // encoder's first 64 KB of output several times over.
    TempFolder tmp;
    UseSaveArea(tmp, tmp / "data");
    constexpr int kWidth = 320;
    constexpr int kHeight = 240;
    std::mt19937 noise(20261208);
    Bytes rgba(static_cast<size_t>(kWidth) * kHeight * 4);
    for (uint8_t& byte : rgba) byte = static_cast<uint8_t>(noise() >> 24);
    ASSERT_TRUE(write_png_file("noise.png", rgba.data(), kWidth, kHeight));
    const std::string written = TempFolder::Read(tmp / "data/Shots/noise.png");
    EXPECT_GT(written.size(), 4u * 65536);

    Pixels expected;
    for (size_t i = 0; i < rgba.size(); i += 4)
        expected.push_back(static_cast<uint32_t>(rgba[i + 3]) << 24 | static_cast<uint32_t>(rgba[i]) << 16 |
                           static_cast<uint32_t>(rgba[i + 1]) << 8 | rgba[i + 2]);
    EXPECT_TRUE(PNG(Bytes(written.begin(), written.end())) == expected);
    // libpng's own reading of it gives the same bytes.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, written.data(), written.size())) << image.message;
    image.format = PNG_FORMAT_RGBA;
    Bytes read(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, read.data(), 0, nullptr)) << image.message;
    EXPECT_EQ(image.width, static_cast<png_uint_32>(kWidth));
    EXPECT_EQ(image.height, static_cast<png_uint_32>(kHeight));
    EXPECT_TRUE(read == rgba);
    LoadSave_Reset();
}
