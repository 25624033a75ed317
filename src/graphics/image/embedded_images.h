// The images built into the runner: fourteen particle shapes (and a plain image before them), the
// built-in font with its glyph table, and the start-up image. They are drawn by code when the runner is
// built (tools/imagegen), into a table of "RAW " images (u32 magic, width, height, kind 0, then R, G,
// B, A bytes per pixel): u32 count, then count pairs {u32 byte size, u32 offset from the table start},
// the first image at offset 256.
#pragma once

#include <cstdint>

constexpr int kEmbeddedImageCount = 17;
constexpr int kEmbeddedImageFont = 15;
constexpr int kEmbeddedImageStartUp = 16;

// The table, made when the runner is built; size receives its length in bytes.
const uint8_t* EmbeddedImage_BuiltinTable(uint32_t& size);

// The bytes of image index inside a table of tableSize bytes; false when the index or the table's own
// sizes and offsets lie outside it.
bool EmbeddedImage_Find(const uint8_t* table, uint32_t tableSize, int index, const uint8_t*& data,
                        uint32_t& size);

// The built-in font covers characters 32 to 136; per character {x, y, advance width, height} in pixels
// of the 256 x 128 font image.
constexpr int kBuiltinFontFirst = 32;
constexpr int kBuiltinFontLast = 136;
// Left extern: a constant table, defined once beside the font image.
extern const uint8_t BuiltinFont_GlyphTable[kBuiltinFontLast - kBuiltinFontFirst + 1][4];
