// Encoders that make the images the decoder tests read: PNG through libpng, JPEG through libjpeg and GIF
// through giflib, all into memory.
#pragma once

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct PNGSample {
    int width = 1;
    int height = 1;
    int colourType = 6; // libpng colour type
    int bitDepth = 8;
    bool interlaced = false;
    Bytes rows;            // packed rows, top-down, as libpng takes them (16-bit samples big-endian)
    Bytes palette;         // R, G, B triples
    Bytes paletteAlpha;    // tRNS of a palette image
    int grayTransparent = -1; // tRNS of a gray image
};
Bytes EncodePNG(const PNGSample& sample);
// An 8-bit RGBA PNG of w x h pixels given as words 0xAARRGGBB, rows top-down.
Bytes EncodePNGWords(int w, int h, const std::vector<uint32_t>& argb);
// Columns of colours, each `width` pixels wide, h rows high: words for EncodePNGWords.
std::vector<uint32_t> ColumnWords(const std::vector<uint32_t>& colours, int width, int h);

// components 1 (gray), 3 (RGB) or 4 (CMYK, written with the Adobe marker); samples are pixel-interleaved.
Bytes EncodeJPEG(int width, int height, int components, const Bytes& samples);

struct GIFFrame {
    int left = 0;
    int top = 0;
    int width = 1;
    int height = 1;
    bool interlaced = false;
    Bytes localMap; // R, G, B triples; empty for none
    int transparent = -1;
    Bytes indexes; // width x height, rows top-down
};
// screenMap empty: no global colour map.
Bytes EncodeGIF(int screenWidth, int screenHeight, const Bytes& screenMap, const std::vector<GIFFrame>& frames);
