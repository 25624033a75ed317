#include "graphics/image/embedded_images.h"


namespace {

// Font layout: 16 cells per row of 16 x 18 pixels; each glyph advances 12 pixels; a line is 16 pixels
// high.
constexpr int kCellWidth = 16;
constexpr int kCellHeight = 18;
constexpr int kGlyphAdvance = 12;
constexpr int kGlyphHeight = 16;

uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

const uint8_t BuiltinFont_GlyphTable[kBuiltinFontLast - kBuiltinFontFirst + 1][4] = {
#define GLYPH(k) {static_cast<uint8_t>((k) % 16 * kCellWidth), static_cast<uint8_t>((k) / 16 * kCellHeight), \
                  kGlyphAdvance, kGlyphHeight}
#define GLYPHS8(k) GLYPH(k), GLYPH(k + 1), GLYPH(k + 2), GLYPH(k + 3), GLYPH(k + 4), GLYPH(k + 5), \
                   GLYPH(k + 6), GLYPH(k + 7)
    GLYPHS8(0),  GLYPHS8(8),  GLYPHS8(16), GLYPHS8(24), GLYPHS8(32), GLYPHS8(40), GLYPHS8(48),
    GLYPHS8(56), GLYPHS8(64), GLYPHS8(72), GLYPHS8(80), GLYPHS8(88), GLYPHS8(96), GLYPH(104),
#undef GLYPHS8
#undef GLYPH
};

bool EmbeddedImage_Find(const uint8_t* table, uint32_t tableSize, int index, const uint8_t*& data,
                        uint32_t& size) {
    data = nullptr;
    size = 0;
    if (table == nullptr || tableSize < 4 || index < 0) return false;
    const uint32_t count = GetU32(table);
    if (static_cast<uint32_t>(index) >= count || 4 + (static_cast<uint64_t>(index) + 1) * 8 > tableSize) return false;
    const uint32_t imageSize = GetU32(table + 4 + index * 8);
    const uint32_t offset = GetU32(table + 8 + index * 8);
    if (static_cast<uint64_t>(offset) + imageSize > tableSize) return false;
    data = table + offset;
    size = imageSize;
    return true;
}
